#include "las_records.hpp"

#include <algorithm>
#include <array>
#include <cstddef>

namespace tessaro {
namespace {

// Turns a little-endian image into host order or back (its own inverse).
void swap_to_host(unsigned char* image) {
    if constexpr (std::endian::native == std::endian::big) {
        for (const HeaderField& f : kHeaderFields)
            if (f.kind != FieldKind::text) std::reverse(image + f.offset, image + f.offset + f.size);
    } else {
        (void)image;
    }
}

// Offsets of the extension's fields, from header byte 227.
constexpr std::size_t kWaveformAt = offsetof(LAS14HeaderExtension, StartOfWaveformDataPacketRecord);
constexpr std::size_t kEvlrStartAt = offsetof(LAS14HeaderExtension, StartOfFirstExtendedVariableLengthRecord);
constexpr std::size_t kEvlrCountAt = offsetof(LAS14HeaderExtension, NumberOfExtendedVariableLengthRecords);
constexpr std::size_t kPointRecordsAt = offsetof(LAS14HeaderExtension, NumberOfPointRecords);
constexpr std::size_t kByReturnAt = offsetof(LAS14HeaderExtension, NumberOfPointsByReturn);

}  // namespace

LAS12Header header_from_bytes(const unsigned char* bytes) {
    std::array<unsigned char, kHeaderBytes> image;
    std::memcpy(image.data(), bytes, kHeaderBytes);
    swap_to_host(image.data());
    LAS12Header h;
    std::memcpy(&h, image.data(), kHeaderBytes);
    return h;
}

void header_to_bytes(const LAS12Header& header, unsigned char* bytes) {
    std::memcpy(bytes, &header, kHeaderBytes);
    swap_to_host(bytes);
}

LAS14HeaderExtension extension_from_bytes(const unsigned char* bytes, std::size_t n) {
    unsigned char image[sizeof(LAS14HeaderExtension)] = {};
    std::memcpy(image, bytes, std::min(n, sizeof image));
    LAS14HeaderExtension e{};
    e.StartOfWaveformDataPacketRecord = load_le(image + kWaveformAt, 8);
    e.StartOfFirstExtendedVariableLengthRecord = load_le(image + kEvlrStartAt, 8);
    e.NumberOfExtendedVariableLengthRecords = load_u32le(image + kEvlrCountAt);
    e.NumberOfPointRecords = load_le(image + kPointRecordsAt, 8);
    for (std::size_t k = 0; k < 15; ++k)
        e.NumberOfPointsByReturn[k] = load_le(image + kByReturnAt + 8 * k, 8);
    return e;
}

void extension_to_bytes(const LAS14HeaderExtension& e, unsigned char* bytes, std::size_t n) {
    unsigned char image[sizeof(LAS14HeaderExtension)];
    store_le(image + kWaveformAt, 8, e.StartOfWaveformDataPacketRecord);
    store_le(image + kEvlrStartAt, 8, e.StartOfFirstExtendedVariableLengthRecord);
    store_u32le(image + kEvlrCountAt, e.NumberOfExtendedVariableLengthRecords);
    store_le(image + kPointRecordsAt, 8, e.NumberOfPointRecords);
    for (std::size_t k = 0; k < 15; ++k)
        store_le(image + kByReturnAt + 8 * k, 8, e.NumberOfPointsByReturn[k]);
    std::memcpy(bytes, image, std::min(n, sizeof image));
}

}  // namespace tessaro
