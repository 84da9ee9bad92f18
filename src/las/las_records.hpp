// Byte images of the LAS 1.0 - 1.2 public header block and point data records.
//
// Every record here is declared packed so that its size and field offsets are
// exactly those of the file layout; the static_asserts below pin them to the
// field table of las_bytes.hpp. Files store every field little-endian;
// `header_from_bytes` / `header_to_bytes` are the one place that turns file
// bytes into a record and back, so the code works on hosts of either byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

#include "las_bytes.hpp"

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

// The fields LAS 1.3 (the first) and LAS 1.4 (all) add to the public header
// block after its first 227 bytes.
struct LAS14HeaderExtension {
    std::uint64_t StartOfWaveformDataPacketRecord;
    std::uint64_t StartOfFirstExtendedVariableLengthRecord;
    std::uint32_t NumberOfExtendedVariableLengthRecords;
    std::uint64_t NumberOfPointRecords;
    std::uint64_t NumberOfPointsByReturn[15];
};

// The LAS 1.4 public header block; a LAS 1.3 block is its first 235 bytes.
struct LAS14Header {
    LAS12Header base;
    LAS14HeaderExtension extension;
};

#pragma pack(pop)

inline constexpr std::size_t kHeaderBytes = 227;
inline constexpr std::size_t kLAS13HeaderBytes = 235;
inline constexpr std::size_t kLAS14HeaderBytes = 375;
static_assert(sizeof(LAS14HeaderExtension) == kLAS14HeaderBytes - kHeaderBytes);
static_assert(sizeof(LAS14Header) == kLAS14HeaderBytes);
static_assert(offsetof(LAS14Header, extension) +
                  offsetof(LAS14HeaderExtension, StartOfWaveformDataPacketRecord) ==
              227);
static_assert(offsetof(LAS14Header, extension) +
                  offsetof(LAS14HeaderExtension, StartOfFirstExtendedVariableLengthRecord) ==
              235);
static_assert(offsetof(LAS14Header, extension) +
                  offsetof(LAS14HeaderExtension, NumberOfExtendedVariableLengthRecords) ==
              243);
static_assert(offsetof(LAS14Header, extension) + offsetof(LAS14HeaderExtension, NumberOfPointRecords) == 247);
static_assert(offsetof(LAS14Header, extension) + offsetof(LAS14HeaderExtension, NumberOfPointsByReturn) ==
              255);

// Bytes of the public header block of LAS 1.<minor>: 227 up to 1.2, 235 for
// 1.3, 375 for 1.4.
constexpr std::size_t header_bytes_of_version(unsigned minor) {
    return minor <= 2 ? kHeaderBytes : minor == 3 ? kLAS13HeaderBytes : kLAS14HeaderBytes;
}

// Decodes the first `n` bytes (0, 8 or 148) of an extension as stored in a
// file, from header byte 227 on; the fields beyond them are zero.
LAS14HeaderExtension extension_from_bytes(const unsigned char* bytes, std::size_t n);

// Encodes the first `n` bytes of an extension into its file image.
void extension_to_bytes(const LAS14HeaderExtension& extension, unsigned char* bytes, std::size_t n);

// A point data record format: the size of its own fields, the bits of byte
// 14 that hold the return number, and whether its point counts stand only in
// the LAS 1.4 header fields (the formats of 64-bit counts and 15 returns).
struct PointFormat {
    std::uint8_t id;
    std::uint16_t size;
    std::uint8_t return_mask;
    bool extended;
};

// Bit 7 of the header's point format byte: the points are compressed.
inline constexpr std::uint8_t kCompressedFormatBit = 0x80;
// The bits of that byte that hold the format in a compressed file (bit 6 is
// set by some writers too).
inline constexpr std::uint8_t kCompressedFormatMask = 0x3F;

// Bits of the header's global encoding (LAS 1.3 on): waveform packets in
// the file or in a file beside it, and (LAS 1.4) the coordinate system held
// as OGC WKT rather than GeoTIFF keys.
inline constexpr std::uint16_t kWaveformInternalBit = 0x02;
inline constexpr std::uint16_t kWaveformExternalBit = 0x04;
inline constexpr std::uint16_t kWktEncodingBit = 0x10;

// The formats a tiler copies: no waveform packets.
inline constexpr PointFormat kPointFormats[] = {
    {0, 20, 7, false}, {1, 28, 7, false}, {2, 26, 7, false}, {3, 34, 7, false},
    {6, 30, 15, true}, {7, 36, 15, true}, {8, 38, 15, true},
};

// The format of that number, or null for one not in kPointFormats.
constexpr const PointFormat* find_point_format(unsigned id) {
    for (const PointFormat& f : kPointFormats)
        if (f.id == id) return &f;
    return nullptr;
}

// What every file of a run shares and the tiler works from: the LAS version,
// the point format and the record length (the format's fields and any extra
// bytes after them).
struct LasKind {
    std::uint8_t VersionMinor = 2;
    PointFormat format = kPointFormats[1];
    std::uint16_t record_length = 28;
    // The points are compressed (LAZ): files named *.laz, whose point format
    // byte carries kCompressedFormatBit.
    bool compressed = false;

    // The extension of the run's files and of its tiles.
    const char* extension() const { return compressed ? ".laz" : ".las"; }

    std::size_t header_bytes() const { return header_bytes_of_version(VersionMinor); }
    // The header counts points in 64 bits and by 15 return numbers.
    bool counts_in_64_bits() const { return VersionMinor >= 4; }
};

static_assert(sizeof(LAS12Header) == kHeaderBytes);

// Whether the record member at `offset` of `size` bytes is the table's field `name`.
constexpr bool is_header_field(std::string_view name, std::size_t offset, std::size_t size) {
    const HeaderField& f = header_field(name);
    return f.name == name && f.offset == offset && f.size == size;
}
static_assert(is_header_field("FileSignature", offsetof(LAS12Header, LASF), sizeof(LAS12Header::LASF)));
static_assert(is_header_field("FileSourceID", offsetof(LAS12Header, FileSourceID),
                              sizeof(LAS12Header::FileSourceID)));
static_assert(is_header_field("GlobalEncoding", offsetof(LAS12Header, GlobalEncoding),
                              sizeof(LAS12Header::GlobalEncoding)));
static_assert(is_header_field("GUIDData1", offsetof(LAS12Header, GUIDData1), sizeof(LAS12Header::GUIDData1)));
static_assert(is_header_field("GUIDData2", offsetof(LAS12Header, GUIDData2), sizeof(LAS12Header::GUIDData2)));
static_assert(is_header_field("GUIDData3", offsetof(LAS12Header, GUIDData3), sizeof(LAS12Header::GUIDData3)));
static_assert(is_header_field("GUIDData4", offsetof(LAS12Header, GUIDData4), sizeof(LAS12Header::GUIDData4)));
static_assert(is_header_field("VersionMajor", offsetof(LAS12Header, VersionMajor),
                              sizeof(LAS12Header::VersionMajor)));
static_assert(is_header_field("VersionMinor", offsetof(LAS12Header, VersionMinor),
                              sizeof(LAS12Header::VersionMinor)));
static_assert(is_header_field("SystemIdentifier", offsetof(LAS12Header, SystemIdentifier),
                              sizeof(LAS12Header::SystemIdentifier)));
static_assert(is_header_field("GeneratingSoftware", offsetof(LAS12Header, GeneratingSoftware),
                              sizeof(LAS12Header::GeneratingSoftware)));
static_assert(is_header_field("FileCreationDay", offsetof(LAS12Header, FileCreationDay),
                              sizeof(LAS12Header::FileCreationDay)));
static_assert(is_header_field("FileCreationYear", offsetof(LAS12Header, FileCreationYear),
                              sizeof(LAS12Header::FileCreationYear)));
static_assert(is_header_field("HeaderSize", offsetof(LAS12Header, HeaderSize),
                              sizeof(LAS12Header::HeaderSize)));
static_assert(is_header_field("OffsetToData", offsetof(LAS12Header, OffsetToData),
                              sizeof(LAS12Header::OffsetToData)));
static_assert(is_header_field("NumberOfVariableLengthRecords",
                              offsetof(LAS12Header, NumberOfVariableLengthRecords),
                              sizeof(LAS12Header::NumberOfVariableLengthRecords)));
static_assert(is_header_field("PointDataFormatID", offsetof(LAS12Header, PointDataFormatID),
                              sizeof(LAS12Header::PointDataFormatID)));
static_assert(is_header_field("PointDataRecordLength", offsetof(LAS12Header, PointDataRecordLength),
                              sizeof(LAS12Header::PointDataRecordLength)));
static_assert(is_header_field("NumberOfPointReturns", offsetof(LAS12Header, NumberOfPointReturns),
                              sizeof(LAS12Header::NumberOfPointReturns)));
static_assert(is_header_field("NumberOfPointsByReturn[0]", offsetof(LAS12Header, NumberOfPointsByReturn),
                              sizeof(std::uint32_t)));
static_assert(is_header_field("XScaleFactor", offsetof(LAS12Header, XScaleFactor),
                              sizeof(LAS12Header::XScaleFactor)));
static_assert(is_header_field("YScaleFactor", offsetof(LAS12Header, YScaleFactor),
                              sizeof(LAS12Header::YScaleFactor)));
static_assert(is_header_field("ZScaleFactor", offsetof(LAS12Header, ZScaleFactor),
                              sizeof(LAS12Header::ZScaleFactor)));
static_assert(is_header_field("XOffset", offsetof(LAS12Header, XOffset), sizeof(LAS12Header::XOffset)));
static_assert(is_header_field("YOffset", offsetof(LAS12Header, YOffset), sizeof(LAS12Header::YOffset)));
static_assert(is_header_field("ZOffset", offsetof(LAS12Header, ZOffset), sizeof(LAS12Header::ZOffset)));
static_assert(is_header_field("MaxX", offsetof(LAS12Header, MaxX), sizeof(LAS12Header::MaxX)));
static_assert(is_header_field("MinX", offsetof(LAS12Header, MinX), sizeof(LAS12Header::MinX)));
static_assert(is_header_field("MaxY", offsetof(LAS12Header, MaxY), sizeof(LAS12Header::MaxY)));
static_assert(is_header_field("MinY", offsetof(LAS12Header, MinY), sizeof(LAS12Header::MinY)));
static_assert(is_header_field("MaxZ", offsetof(LAS12Header, MaxZ), sizeof(LAS12Header::MaxZ)));
static_assert(is_header_field("MinZ", offsetof(LAS12Header, MinZ), sizeof(LAS12Header::MinZ)));
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
static_assert(point_record_size(0) == kPointFormats[0].size &&
              point_record_size(1) == kPointFormats[1].size &&
              point_record_size(2) == kPointFormats[2].size && point_record_size(3) == kPointFormats[3].size);

// Decodes a 227-byte header image as stored in a file.
LAS12Header header_from_bytes(const unsigned char* bytes);

// Encodes a header into its 227-byte file image.
void header_to_bytes(const LAS12Header& header, unsigned char* bytes);

// The common leading part of a point record image of any format.
inline ReturnStruct return_from_bytes(const unsigned char* record) {
    ReturnStruct r;
    r.X = load_i32le(record);
    r.Y = load_i32le(record + 4);
    r.Z = load_i32le(record + 8);
    r.Intensity = load_u16le(record + 12);
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

// Return number of a record of a format whose return number bits are `mask`.
inline unsigned return_number(const unsigned char* record, unsigned mask) {
    return record[14] & mask;
}

}  // namespace tessaro
