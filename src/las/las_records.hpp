// Byte images of the LAS 1.0 - 1.2 public header block and point data records.
//
// Every record here is declared packed so that its size and field offsets are
// exactly those of the file layout; the static_asserts below pin them. Files
// store every field little-endian; `header_from_bytes` / `header_to_bytes` are
// the one place that turns file bytes into a record and back, so the code works
// on hosts of either byte order.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace tessaro {

#pragma pack(push, 1)

struct LAS12Header {
    char LASF[4];
    std::uint16_t FileSourceID;
    std::uint16_t GlobalEncoding;
    std::uint32_t GUIDData1;
    std::uint16_t GUIDData2;
    std::uint16_t GUIDData3;
    std::uint8_t GUIDData4[8];
    std::uint8_t VersionMajor;
    std::uint8_t VersionMinor;
    char SystemIdentifier[32];
    char GeneratingSoftware[32];
    std::uint16_t FileCreationDay;
    std::uint16_t FileCreationYear;
    std::uint16_t HeaderSize;
    std::uint32_t OffsetToData;
    std::uint32_t NumberOfVariableLengthRecords;
    std::uint8_t PointDataFormatID;
    std::uint16_t PointDataRecordLength;
    std::uint32_t NumberOfPointReturns;
    std::uint32_t NumberOfPointsByReturn[5];
    double XScaleFactor;
    double YScaleFactor;
    double ZScaleFactor;
    double XOffset;
    double YOffset;
    double ZOffset;
    double MaxX;
    double MinX;
    double MaxY;
    double MinY;
    double MaxZ;
    double MinZ;
};

// The leading 15 bytes common to every point record format.
struct ReturnStruct {
    std::int32_t X;
    std::int32_t Y;
    std::int32_t Z;
    std::uint16_t Intensity;
    std::int8_t bitfield;
};

struct LAS12fm0 {
    std::int32_t X;
    std::int32_t Y;
    std::int32_t Z;
    std::uint16_t Intensity;
    std::int8_t bitfield;
    std::uint8_t Classification;
    std::uint8_t ScanAngleRank;
    std::uint8_t UserData;
    std::uint16_t PointSourceID;
};

struct LAS12fm1 {
    LAS12fm0 base;
    double GPSTime;
};

struct LAS12fm2 {
    LAS12fm0 base;
    std::uint16_t Red;
    std::uint16_t Green;
    std::uint16_t Blue;
};

struct LAS12fm3 {
    LAS12fm0 base;
    double GPSTime;
    std::uint16_t Red;
    std::uint16_t Green;
    std::uint16_t Blue;
};

#pragma pack(pop)

inline constexpr std::size_t kHeaderBytes = 227;

static_assert(sizeof(LAS12Header) == kHeaderBytes);
static_assert(offsetof(LAS12Header, VersionMajor) == 24);
static_assert(offsetof(LAS12Header, GeneratingSoftware) == 58);
static_assert(offsetof(LAS12Header, HeaderSize) == 94);
static_assert(offsetof(LAS12Header, OffsetToData) == 96);
static_assert(offsetof(LAS12Header, PointDataFormatID) == 104);
static_assert(offsetof(LAS12Header, PointDataRecordLength) == 105);
static_assert(offsetof(LAS12Header, NumberOfPointReturns) == 107);
static_assert(offsetof(LAS12Header, NumberOfPointsByReturn) == 111);
static_assert(offsetof(LAS12Header, XScaleFactor) == 131);
static_assert(offsetof(LAS12Header, MaxX) == 179);
static_assert(offsetof(LAS12Header, MinZ) == 219);
static_assert(sizeof(ReturnStruct) == 15);
static_assert(sizeof(LAS12fm0) == 20);
static_assert(sizeof(LAS12fm1) == 28);
static_assert(sizeof(LAS12fm2) == 26);
static_assert(sizeof(LAS12fm3) == 34);
static_assert(sizeof(double) == 8 && std::numeric_limits<double>::is_iec559);

// Size in bytes of the point record of a LAS point data format (0 to 3), or 0.
constexpr std::uint16_t point_record_size(unsigned format) {
    switch (format) {
        case 0: return sizeof(LAS12fm0);
        case 1: return sizeof(LAS12fm1);
        case 2: return sizeof(LAS12fm2);
        case 3: return sizeof(LAS12fm3);
        default: return 0;
    }
}

// Decodes a 227-byte header image as stored in a file.
LAS12Header header_from_bytes(const unsigned char* bytes);

// Encodes a header into its 227-byte file image.
void header_to_bytes(const LAS12Header& header, unsigned char* bytes);

// Little-endian field access for point records, which are never decoded whole.
inline std::int32_t load_i32le(const unsigned char* p) {
    std::uint32_t v = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                      static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    return static_cast<std::int32_t>(v);
}

inline void store_i32le(unsigned char* p, std::int32_t value) {
    auto v = static_cast<std::uint32_t>(value);
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// The common leading part of a point record image of any format.
inline ReturnStruct return_from_bytes(const unsigned char* record) {
    ReturnStruct r;
    r.X = load_i32le(record);
    r.Y = load_i32le(record + 4);
    r.Z = load_i32le(record + 8);
    r.Intensity = static_cast<std::uint16_t>(record[12] | record[13] << 8);
    r.bitfield = static_cast<std::int8_t>(record[14]);
    return r;
}

// Actual coordinate: stored integer times scale, then plus offset.
inline double actual_coordinate(std::int32_t stored, double scale, double offset) {
    return static_cast<double>(stored) * scale + offset;
}

// Return number: the three lowest bits of the bit field, 0 to 7.
inline unsigned return_number(std::int8_t bitfield) {
    return static_cast<unsigned>(static_cast<std::uint8_t>(bitfield)) & 7U;
}

}  // namespace tessaro
