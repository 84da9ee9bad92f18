#include "las_records.hpp"

#include <algorithm>
#include <array>

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

}  // namespace tessaro
