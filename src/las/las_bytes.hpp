// Little-endian byte access and the layout of the LAS public header block:
// the one place that knows how fields lie in file bytes. LAS files store every
// field little-endian, so these work on hosts of either byte order.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessaro {

// The low `size` bytes (1 to 8) of an unsigned value, least significant first.
inline std::uint64_t load_le(const unsigned char* p, std::size_t size) {
    std::uint64_t v = 0;
    for (std::size_t k = 0; k < size; ++k) v |= static_cast<std::uint64_t>(p[k]) << (8 * k);
    return v;
}

inline void store_le(unsigned char* p, std::size_t size, std::uint64_t v) {
    for (std::size_t k = 0; k < size; ++k) p[k] = static_cast<unsigned char>(v >> (8 * k));
}

inline std::uint16_t load_u16le(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t load_u32le(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::int32_t load_i32le(const unsigned char* p) {
    return static_cast<std::int32_t>(load_u32le(p));
}
inline double load_f64le(const unsigned char* p) {
    return std::bit_cast<double>(load_le(p, 8));
}

inline void store_u16le(unsigned char* p, std::uint16_t v) {
    store_le(p, 2, v);
}
inline void store_u32le(unsigned char* p, std::uint32_t v) {
    store_le(p, 4, v);
}
inline void store_i32le(unsigned char* p, std::int32_t v) {
    store_le(p, 4, static_cast<std::uint32_t>(v));
}
inline void store_f64le(unsigned char* p, double v) {
    store_le(p, 8, std::bit_cast<std::uint64_t>(v));
}

// How a header field's bytes are read: as text or opaque bytes, as an unsigned
// little-endian integer, or as a little-endian IEEE double.
enum class FieldKind { text, unsigned_int, real };

struct HeaderField {
    std::size_t offset;
    std::size_t size;
    FieldKind kind;
    std::string_view name;
};

// Every field of the 227-byte LAS 1.0 - 1.2 public header block, in file order,
// under the names the LAS format gives them. las_records.hpp checks the table
// against the LAS12Header record at compile time.
inline constexpr std::array<HeaderField, 37> kHeaderFields{{
    {0, 4, FieldKind::text, "FileSignature"},
    {4, 2, FieldKind::unsigned_int, "FileSourceID"},
    {6, 2, FieldKind::unsigned_int, "GlobalEncoding"},
    {8, 4, FieldKind::unsigned_int, "GUIDData1"},
    {12, 2, FieldKind::unsigned_int, "GUIDData2"},
    {14, 2, FieldKind::unsigned_int, "GUIDData3"},
    {16, 8, FieldKind::text, "GUIDData4"},
    {24, 1, FieldKind::unsigned_int, "VersionMajor"},
    {25, 1, FieldKind::unsigned_int, "VersionMinor"},
    {26, 32, FieldKind::text, "SystemIdentifier"},
    {58, 32, FieldKind::text, "GeneratingSoftware"},
    {90, 2, FieldKind::unsigned_int, "FileCreationDay"},
    {92, 2, FieldKind::unsigned_int, "FileCreationYear"},
    {94, 2, FieldKind::unsigned_int, "HeaderSize"},
    {96, 4, FieldKind::unsigned_int, "OffsetToData"},
    {100, 4, FieldKind::unsigned_int, "NumberOfVariableLengthRecords"},
    {104, 1, FieldKind::unsigned_int, "PointDataFormatID"},
    {105, 2, FieldKind::unsigned_int, "PointDataRecordLength"},
    {107, 4, FieldKind::unsigned_int, "NumberOfPointReturns"},
    {111, 4, FieldKind::unsigned_int, "NumberOfPointsByReturn[0]"},
    {115, 4, FieldKind::unsigned_int, "NumberOfPointsByReturn[1]"},
    {119, 4, FieldKind::unsigned_int, "NumberOfPointsByReturn[2]"},
    {123, 4, FieldKind::unsigned_int, "NumberOfPointsByReturn[3]"},
    {127, 4, FieldKind::unsigned_int, "NumberOfPointsByReturn[4]"},
    {131, 8, FieldKind::real, "XScaleFactor"},
    {139, 8, FieldKind::real, "YScaleFactor"},
    {147, 8, FieldKind::real, "ZScaleFactor"},
    {155, 8, FieldKind::real, "XOffset"},
    {163, 8, FieldKind::real, "YOffset"},
    {171, 8, FieldKind::real, "ZOffset"},
    {179, 8, FieldKind::real, "MaxX"},
    {187, 8, FieldKind::real, "MinX"},
    {195, 8, FieldKind::real, "MaxY"},
    {203, 8, FieldKind::real, "MinY"},
    {211, 8, FieldKind::real, "MaxZ"},
    {219, 8, FieldKind::real, "MinZ"},
    {227, 0, FieldKind::text, ""},  // the end of the block
}};

// The field of that name; the end marker for an unknown name.
constexpr const HeaderField& header_field(std::string_view name) {
    for (const HeaderField& f : kHeaderFields)
        if (f.name == name) return f;
    return kHeaderFields.back();
}

// The offset of the field of that name, for code that reads or patches header bytes.
constexpr std::size_t header_offset(std::string_view name) {
    return header_field(name).offset;
}

// The field that holds header byte `offset` (below 227).
constexpr const HeaderField& header_field_at(std::size_t offset) {
    for (const HeaderField& f : kHeaderFields)
        if (offset >= f.offset && offset < f.offset + f.size) return f;
    return kHeaderFields.back();
}

// The fields tile one after another from byte 0 to byte 227.
constexpr bool header_fields_tile_the_block() {
    std::size_t next = 0;
    for (const HeaderField& f : kHeaderFields) {
        if (f.offset != next) return false;
        next = f.offset + f.size;
    }
    return next == 227;
}
static_assert(header_fields_tile_the_block());

}  // namespace tessaro
