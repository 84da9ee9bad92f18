#include "survey_writer.hpp"

#include "laz_writer.hpp"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string_view>

#include "console.hpp"
#include "tile_grid.hpp"

namespace tessaro::survey {
namespace {

constexpr std::size_t kVlrHeaderBytes = 54;
constexpr std::size_t kEvlrHeaderBytes = 60;
// LAS 1.0 marks every VLR header with this value where later versions reserve
// the field.
constexpr std::uint16_t kLas10RecordSignature = 0xAABB;
// Points encoded per write call: about 2 MiB of format 3 records.
constexpr std::size_t kBlockPoints = 65536;
// Global encoding bit 4: the coordinate system is given as OGC WKT.
constexpr std::uint16_t kWktBit = 0x10;

// Fields that LAS 1.3 and 1.4 add after the 227-byte block, at their file
// offsets.
constexpr std::size_t kStartOfWaveformAt = 227;       // u64, 1.3 and 1.4
constexpr std::size_t kStartOfFirstEvlrAt = 235;      // u64, 1.4
constexpr std::size_t kNumberOfEvlrsAt = 243;         // u32
constexpr std::size_t kNumberOfPointRecordsAt = 247;  // u64
constexpr std::size_t kPointsByReturnAt = 255;        // 15 x u64
constexpr std::size_t kHeader13Bytes = 235;
constexpr std::size_t kHeader14Bytes = 375;
static_assert(kStartOfWaveformAt == kHeaderBytes && kStartOfWaveformAt + 8 == kHeader13Bytes);
static_assert(kStartOfFirstEvlrAt == kHeader13Bytes && kStartOfFirstEvlrAt + 8 == kNumberOfEvlrsAt);
static_assert(kNumberOfEvlrsAt + 4 == kNumberOfPointRecordsAt &&
              kNumberOfPointRecordsAt + 8 == kPointsByReturnAt);
static_assert(kPointsByReturnAt + std::size_t{15} * 8 == kHeader14Bytes);

constexpr std::size_t kExtraBytesDescriptorBytes = 192;

// Copies `text` into a fixed-size field, cut to its size, zero-filled.
template <std::size_t N>
void copy_text(char (&field)[N], std::string_view text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(N, text.size()));
}

void copy_text(unsigned char* field, std::size_t size, std::string_view text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(size, text.size()));
}

PointFormatLayout checked_layout(unsigned format) {
    PointFormatLayout layout = point_format_layout(format);
    if (layout.size == 0)
        throw std::invalid_argument("point data format " + std::to_string(format) +
                                    " is not 0 to 3 or 6 to 8");
    return layout;
}

std::size_t record_length_of(const LasFileSpec& spec) {
    const std::size_t length =
        point_format_layout(spec.PointDataFormatID).size + std::size_t{spec.extra_bytes};
    if (length > std::numeric_limits<std::uint16_t>::max())
        throw std::invalid_argument("record of " + std::to_string(length) +
                                    " bytes too long for PointDataRecordLength");
    return length;
}

std::uint64_t mix64(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// Fills `count` extra bytes after a record's standard fields, field by field
// of extra_bytes_fields, from a hash of the standard fields' image. The image
// is little-endian on every host, so the bytes are too.
void fill_extra_bytes(const unsigned char* standard, std::size_t standard_size,
                      const std::vector<ExtraBytesField>& fields, unsigned char* out) {
    std::uint64_t h = 0x6A09E667F3BCC909ULL;
    for (std::size_t i = 0; i < standard_size; i += 8)
        h = mix64(h ^ load_le(standard + i, std::min<std::size_t>(8, standard_size - i)));
    for (std::size_t k = 0; k < fields.size(); ++k) {
        const ExtraBytesField& f = fields[k];
        const std::uint64_t v = mix64(h + 0x9E3779B97F4A7C15ULL * (k + 1));
        switch (f.data_type) {
            // Whole numbers below 2^24 over 256 and below 2^53 over 1024 are
            // exact in their type: finite, and the same after any decode.
            case 9:
                store_le(out + f.offset, 4,
                         std::bit_cast<std::uint32_t>(static_cast<float>(v >> 40) / 256.0f));
                break;
            case 10: store_f64le(out + f.offset, static_cast<double>(v >> 11) / 1024.0); break;
            default: store_le(out + f.offset, f.size, v);
        }
    }
}

// Running counts and stored-coordinate extremes of the points of one file.
struct PointTally {
    std::uint64_t count = 0;
    std::uint64_t by_return[15] = {};
    std::int32_t min[3] = {0, 0, 0};
    std::int32_t max[3] = {0, 0, 0};

    void add(std::int32_t x, std::int32_t y, std::int32_t z, unsigned return_number) {
        const std::int32_t c[3] = {x, y, z};
        for (int i = 0; i < 3; ++i) {
            if (count == 0 || c[i] < min[i]) min[i] = c[i];
            if (count == 0 || c[i] > max[i]) max[i] = c[i];
        }
        ++count;
        if (return_number >= 1 && return_number <= 15) ++by_return[return_number - 1];
    }

    // Adds the record image `rec` of `format`.
    void add_record(const unsigned char* rec, unsigned format) {
        add(load_i32le(rec), load_i32le(rec + 4), load_i32le(rec + 8), return_number_of(rec[14], format));
    }
};

// Header fields that follow from the layout alone; counts and bounds zero.
LasHeader layout_header(const LasFileSpec& spec) {
    const std::size_t block = header_block_size(spec.VersionMinor);
    if (block == 0)
        throw std::invalid_argument("LAS 1." + std::to_string(spec.VersionMinor) + " is not a known version");
    if (!spec.evlrs.empty() && spec.VersionMinor < 4)
        throw std::invalid_argument("extended VLRs need LAS 1.4");
    LasHeader full;
    LAS12Header& h = full.base;
    std::memcpy(h.LASF, "LASF", 4);
    h.FileSourceID = spec.FileSourceID;
    h.GlobalEncoding = spec.GlobalEncoding;
    if (spec.VersionMinor >= 4 && point_format_layout(spec.PointDataFormatID).extended)
        h.GlobalEncoding |= kWktBit;
    h.VersionMajor = spec.VersionMajor;
    h.VersionMinor = spec.VersionMinor;
    copy_text(h.SystemIdentifier, spec.SystemIdentifier);
    copy_text(h.GeneratingSoftware, spec.GeneratingSoftware);
    h.FileCreationDay = spec.FileCreationDay;
    h.FileCreationYear = spec.FileCreationYear;

    std::size_t header_size = block + spec.header_extension.size();
    if (header_size > std::numeric_limits<std::uint16_t>::max())
        throw std::invalid_argument("header extension too large for HeaderSize");
    std::size_t vlr_bytes = 0;
    for (const auto& vlr : spec.vlrs) vlr_bytes += kVlrHeaderBytes + vlr.payload.size();
    std::size_t offset = header_size + vlr_bytes + spec.pre_point_padding.size();
    if (offset > std::numeric_limits<std::uint32_t>::max())
        throw std::invalid_argument("bytes before the points too large for OffsetToData");

    h.HeaderSize = static_cast<std::uint16_t>(header_size);
    h.OffsetToData = static_cast<std::uint32_t>(offset);
    h.NumberOfVariableLengthRecords = static_cast<std::uint32_t>(spec.vlrs.size());
    h.PointDataFormatID = spec.PointDataFormatID;
    h.PointDataRecordLength = static_cast<std::uint16_t>(record_length_of(spec));
    h.XScaleFactor = spec.XScaleFactor;
    h.YScaleFactor = spec.YScaleFactor;
    h.ZScaleFactor = spec.ZScaleFactor;
    h.XOffset = spec.XOffset;
    h.YOffset = spec.YOffset;
    h.ZOffset = spec.ZOffset;
    full.NumberOfExtendedVariableLengthRecords = static_cast<std::uint32_t>(spec.evlrs.size());
    full.StartOfFirstExtendedVariableLengthRecord = spec.evlrs.empty() ? 0 : offset;
    return full;
}

// Puts the counts and the actual-coordinate bounds of `tally` into `h`, and
// the start of the EVLRs after the tally's records. The conversion is
// monotone, so the extremes of the stored integers give the extremes of the
// actual coordinates (swapped for a negative scale).
void apply_tally(LasHeader& full, const PointTally& tally) {
    LAS12Header& h = full.base;
    const bool fits = tally.count <= std::numeric_limits<std::uint32_t>::max();
    if (h.VersionMinor >= 4) {
        full.NumberOfPointRecords = tally.count;
        std::copy(std::begin(tally.by_return), std::end(tally.by_return), full.NumberOfPointsByReturn);
        if (full.NumberOfExtendedVariableLengthRecords != 0)
            full.StartOfFirstExtendedVariableLengthRecord =
                h.OffsetToData + tally.count * h.PointDataRecordLength;
    } else if (!fits) {
        throw std::invalid_argument("more points than NumberOfPointReturns can count");
    }
    // LAS 1.4 leaves the legacy counts zero for formats 6 to 8 and for counts
    // beyond 32 bits.
    const bool legacy = fits && !(h.VersionMinor >= 4 && point_format_layout(h.PointDataFormatID).extended);
    h.NumberOfPointReturns = legacy ? static_cast<std::uint32_t>(tally.count) : 0;
    for (int k = 0; k < 5; ++k)
        h.NumberOfPointsByReturn[k] = legacy ? static_cast<std::uint32_t>(tally.by_return[k]) : 0;
    if (tally.count == 0) return;
    const double scale[3] = {h.XScaleFactor, h.YScaleFactor, h.ZScaleFactor};
    const double offset[3] = {h.XOffset, h.YOffset, h.ZOffset};
    double lo[3], hi[3];
    for (int i = 0; i < 3; ++i) {
        double a = actual_coordinate(tally.min[i], scale[i], offset[i]);
        double b = actual_coordinate(tally.max[i], scale[i], offset[i]);
        lo[i] = std::min(a, b);
        hi[i] = std::max(a, b);
    }
    h.MinX = lo[0], h.MaxX = hi[0];
    h.MinY = lo[1], h.MaxY = hi[1];
    h.MinZ = lo[2], h.MaxZ = hi[2];
}

// The 54-byte header and the payload of one VLR, appended to `out`.
void append_vlr(std::vector<unsigned char>& out, const VariableLengthRecord& vlr,
                std::uint8_t version_minor) {
    if (vlr.payload.size() > std::numeric_limits<std::uint16_t>::max())
        throw std::invalid_argument("VLR payload too large for RecordLengthAfterHeader");
    unsigned char head[kVlrHeaderBytes];
    store_u16le(head, version_minor == 0 ? kLas10RecordSignature : 0);
    copy_text(head + 2, 16, vlr.UserID);
    store_u16le(head + 18, vlr.RecordID);
    store_u16le(head + 20, static_cast<std::uint16_t>(vlr.payload.size()));
    copy_text(head + 22, 32, vlr.Description);
    out.insert(out.end(), head, head + kVlrHeaderBytes);
    out.insert(out.end(), vlr.payload.begin(), vlr.payload.end());
}

// The 60-byte header and the payload of one EVLR, appended to `out`.
void append_evlr(std::vector<unsigned char>& out, const VariableLengthRecord& evlr) {
    unsigned char head[kEvlrHeaderBytes];
    store_u16le(head, 0);
    copy_text(head + 2, 16, evlr.UserID);
    store_u16le(head + 18, evlr.RecordID);
    store_le(head + 20, 8, evlr.payload.size());
    copy_text(head + 28, 32, evlr.Description);
    out.insert(out.end(), head, head + kEvlrHeaderBytes);
    out.insert(out.end(), evlr.payload.begin(), evlr.payload.end());
}

// An output file that reports every failed write and close by exception.
struct OutputFile {
    std::string path;
    FilePtr file;

    explicit OutputFile(const std::string& name) : path(name), file(std::fopen(name.c_str(), "wb")) {
        if (!file) throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
    }

    void write(const void* data, std::size_t size) {
        if (size != 0 && std::fwrite(data, 1, size, file.get()) != size)
            throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    }

    void rewind_to_start() {
        if (std::fseek(file.get(), 0, SEEK_SET) != 0)
            throw std::runtime_error("cannot seek in " + path + ": " + std::strerror(errno));
    }

    void close() {
        if (std::fclose(file.release()) != 0)
            throw std::runtime_error("cannot close " + path + ": " + std::strerror(errno));
    }
};

// The header block laid out as LAS 1.<layout_minor> lays it, whatever
// version the header's own field names.
std::vector<unsigned char> header_image(const LasHeader& header, unsigned layout_minor) {
    const std::size_t block = header_block_size(layout_minor);
    if (block == 0)
        throw std::invalid_argument("LAS 1." + std::to_string(layout_minor) + " is not a known version");
    std::vector<unsigned char> image(block);
    header_to_bytes(header.base, image.data());
    if (layout_minor >= 3)
        store_le(image.data() + kStartOfWaveformAt, 8, header.StartOfWaveformDataPacketRecord);
    if (layout_minor >= 4) {
        store_le(image.data() + kStartOfFirstEvlrAt, 8, header.StartOfFirstExtendedVariableLengthRecord);
        store_u32le(image.data() + kNumberOfEvlrsAt, header.NumberOfExtendedVariableLengthRecords);
        store_le(image.data() + kNumberOfPointRecordsAt, 8, header.NumberOfPointRecords);
        for (std::size_t k = 0; k < 15; ++k)
            store_le(image.data() + kPointsByReturnAt + 8 * k, 8, header.NumberOfPointsByReturn[k]);
    }
    return image;
}

void write_header(OutputFile& out, const LasHeader& header, unsigned layout_minor) {
    const std::vector<unsigned char> image = header_image(header, layout_minor);
    out.write(image.data(), image.size());
}

}  // namespace

PointFormatLayout point_format_layout(unsigned format) {
    switch (format) {
        case 0: return {20, false, -1, -1, -1};
        case 1: return {28, false, 20, -1, -1};
        case 2: return {26, false, -1, 20, -1};
        case 3: return {34, false, 20, 28, -1};
        case 6: return {30, true, 22, -1, -1};
        case 7: return {36, true, 22, 30, -1};
        case 8: return {38, true, 22, 30, 36};
        default: return {};
    }
}

unsigned return_number_of(std::uint8_t bitfield, unsigned format) {
    return bitfield & (point_format_layout(format).extended ? 0x0FU : 0x07U);
}

std::uint16_t header_block_size(unsigned version_minor) {
    if (version_minor <= 2) return static_cast<std::uint16_t>(kHeaderBytes);
    if (version_minor == 3) return static_cast<std::uint16_t>(kHeader13Bytes);
    if (version_minor == 4) return static_cast<std::uint16_t>(kHeader14Bytes);
    return 0;
}

std::vector<unsigned char> header_bytes(const LasHeader& header) {
    return header_image(header, header.base.VersionMinor);
}

LasHeader decode_header(const unsigned char* bytes, std::size_t size) {
    if (size < kHeaderBytes) throw std::invalid_argument("shorter than a LAS header");
    LasHeader header;
    header.base = header_from_bytes(bytes);
    const unsigned minor = header.base.VersionMinor;
    const std::size_t block = header_block_size(minor);
    if (block == 0) throw std::invalid_argument("LAS 1." + std::to_string(minor) + " is not a known version");
    if (size < block)
        throw std::invalid_argument("shorter than the header of LAS 1." + std::to_string(minor));
    if (minor >= 3) header.StartOfWaveformDataPacketRecord = load_le(bytes + kStartOfWaveformAt, 8);
    if (minor >= 4) {
        header.StartOfFirstExtendedVariableLengthRecord = load_le(bytes + kStartOfFirstEvlrAt, 8);
        header.NumberOfExtendedVariableLengthRecords = load_u32le(bytes + kNumberOfEvlrsAt);
        header.NumberOfPointRecords = load_le(bytes + kNumberOfPointRecordsAt, 8);
        for (std::size_t k = 0; k < 15; ++k)
            header.NumberOfPointsByReturn[k] = load_le(bytes + kPointsByReturnAt + 8 * k, 8);
    }
    return header;
}

void encode_point_into(const PointRecord& p, unsigned format, unsigned char* out) {
    const PointFormatLayout layout = checked_layout(format);
    store_i32le(out, p.X);
    store_i32le(out + 4, p.Y);
    store_i32le(out + 8, p.Z);
    store_u16le(out + 12, p.Intensity);
    out[14] = p.bitfield;
    if (layout.extended) {
        out[15] = p.ExtendedFlags;
        out[16] = p.Classification;
        out[17] = p.UserData;
        store_u16le(out + 18, static_cast<std::uint16_t>(p.ScanAngle));
        store_u16le(out + 20, p.PointSourceID);
    } else {
        out[15] = p.Classification;
        out[16] = p.ScanAngleRank;
        out[17] = p.UserData;
        store_u16le(out + 18, p.PointSourceID);
    }
    if (layout.gps_offset >= 0) store_f64le(out + layout.gps_offset, p.GPSTime);
    if (layout.rgb_offset >= 0) {
        unsigned char* rgb = out + layout.rgb_offset;
        store_u16le(rgb, p.Red);
        store_u16le(rgb + 2, p.Green);
        store_u16le(rgb + 4, p.Blue);
    }
    if (layout.nir_offset >= 0) store_u16le(out + layout.nir_offset, p.NIR);
}

std::vector<unsigned char> encode_point(const PointRecord& point, unsigned format) {
    std::vector<unsigned char> bytes(checked_layout(format).size);
    encode_point_into(point, format, bytes.data());
    return bytes;
}

PointRecord decode_point(const unsigned char* b, unsigned format) {
    const PointFormatLayout layout = checked_layout(format);
    PointRecord p;
    p.X = load_i32le(b);
    p.Y = load_i32le(b + 4);
    p.Z = load_i32le(b + 8);
    p.Intensity = load_u16le(b + 12);
    p.bitfield = b[14];
    if (layout.extended) {
        p.ExtendedFlags = b[15];
        p.Classification = b[16];
        p.UserData = b[17];
        p.ScanAngle = static_cast<std::int16_t>(load_u16le(b + 18));
        p.PointSourceID = load_u16le(b + 20);
    } else {
        p.Classification = b[15];
        p.ScanAngleRank = b[16];
        p.UserData = b[17];
        p.PointSourceID = load_u16le(b + 18);
    }
    if (layout.gps_offset >= 0) p.GPSTime = load_f64le(b + layout.gps_offset);
    if (layout.rgb_offset >= 0) {
        const unsigned char* rgb = b + layout.rgb_offset;
        p.Red = load_u16le(rgb);
        p.Green = load_u16le(rgb + 2);
        p.Blue = load_u16le(rgb + 4);
    }
    if (layout.nir_offset >= 0) p.NIR = load_u16le(b + layout.nir_offset);
    return p;
}

void encode_record_into(const PointRecord& point, unsigned format, std::size_t record_length,
                        unsigned char* out) {
    const std::size_t size = checked_layout(format).size;
    if (record_length < size)
        throw std::invalid_argument("a record of " + std::to_string(record_length) +
                                    " bytes is shorter than format " + std::to_string(format));
    const std::size_t extra = record_length - size;
    if (!point.ExtraBytes.empty() && point.ExtraBytes.size() != extra)
        throw std::invalid_argument("a point with " + std::to_string(point.ExtraBytes.size()) +
                                    " extra bytes in a record with " + std::to_string(extra));
    encode_point_into(point, format, out);
    if (extra == 0) return;
    if (point.ExtraBytes.empty())
        fill_extra_bytes(out, size, extra_bytes_fields(extra), out + size);
    else
        std::memcpy(out + size, point.ExtraBytes.data(), extra);
}

std::vector<unsigned char> encode_record(const PointRecord& point, unsigned format,
                                         std::size_t record_length) {
    std::vector<unsigned char> bytes(std::max(record_length, std::size_t{checked_layout(format).size}));
    encode_record_into(point, format, record_length, bytes.data());
    return bytes;
}

PointRecord decode_record(const unsigned char* bytes, unsigned format, std::size_t record_length) {
    const std::size_t size = checked_layout(format).size;
    if (record_length < size)
        throw std::invalid_argument("a record of " + std::to_string(record_length) +
                                    " bytes is shorter than format " + std::to_string(format));
    PointRecord p = decode_point(bytes, format);
    p.ExtraBytes.assign(bytes + size, bytes + record_length);
    return p;
}

std::vector<ExtraBytesField> extra_bytes_fields(std::size_t count) {
    // Types in turn: u16, i32, f32, u8, i16, f64, u32, i8; a type that no
    // longer fits ends the cycle, and single bytes fill what is left.
    struct Kind {
        std::uint8_t type;
        std::size_t size;
        const char* name;
    };
    static constexpr Kind kCycle[] = {{3, 2, "u16"}, {6, 4, "i32"},  {9, 4, "f32"}, {1, 1, "u8"},
                                      {4, 2, "i16"}, {10, 8, "f64"}, {5, 4, "u32"}, {2, 1, "i8"}};
    std::vector<ExtraBytesField> fields;
    std::size_t at = 0;
    for (std::size_t k = 0; at < count; ++k) {
        Kind kind = kCycle[k % std::size(kCycle)];
        if (kind.size > count - at) kind = {1, 1, "u8"};
        fields.push_back(
            {"extra " + std::to_string(fields.size() + 1) + " " + kind.name, kind.type, at, kind.size});
        at += kind.size;
    }
    return fields;
}

std::vector<unsigned char> derived_extra_bytes(const PointRecord& point, unsigned format, std::size_t count) {
    const std::vector<unsigned char> standard = encode_point(point, format);
    std::vector<unsigned char> extra(count);
    fill_extra_bytes(standard.data(), standard.size(), extra_bytes_fields(count), extra.data());
    return extra;
}

VariableLengthRecord extra_bytes_vlr(std::size_t count) {
    const std::vector<ExtraBytesField> fields = extra_bytes_fields(count);
    if (fields.size() * kExtraBytesDescriptorBytes > std::numeric_limits<std::uint16_t>::max())
        throw std::invalid_argument("the descriptors of " + std::to_string(count) +
                                    " extra bytes do not fit a VLR");
    VariableLengthRecord vlr;
    vlr.UserID = "LASF_Spec";
    vlr.RecordID = 4;
    vlr.Description = "Extra Bytes";
    vlr.payload.assign(fields.size() * kExtraBytesDescriptorBytes, 0);
    for (std::size_t k = 0; k < fields.size(); ++k) {
        // reserved[2], data_type, options (no no-data, minimum, maximum,
        // scale or offset), name[32], then the value fields, all zero, and
        // the description[32] at 160.
        unsigned char* d = vlr.payload.data() + k * kExtraBytesDescriptorBytes;
        d[2] = fields[k].data_type;
        copy_text(d + 4, 32, fields[k].name);
        copy_text(d + 160, 32, "Derived from the point");
    }
    return vlr;
}

VariableLengthRecord wkt_record(const std::string& wkt) {
    VariableLengthRecord vlr;
    vlr.UserID = "LASF_Projection";
    vlr.RecordID = 2112;
    vlr.Description = "OGC WKT Coordinate System";
    vlr.payload.assign(wkt.begin(), wkt.end());
    vlr.payload.push_back(0);
    return vlr;
}

std::vector<unsigned char> pre_point_bytes(const LasFileSpec& spec) {
    std::vector<unsigned char> out(spec.header_extension);
    for (const auto& vlr : spec.vlrs) append_vlr(out, vlr, spec.VersionMinor);
    out.insert(out.end(), spec.pre_point_padding.begin(), spec.pre_point_padding.end());
    return out;
}

std::vector<unsigned char> post_point_bytes(const LasFileSpec& spec) {
    std::vector<unsigned char> out;
    for (const auto& evlr : spec.evlrs) append_evlr(out, evlr);
    return out;
}

LasHeader make_las_header(const LasFileSpec& spec, const std::vector<PointRecord>& points) {
    LasHeader h = layout_header(spec);
    PointTally tally;
    for (const auto& p : points)
        tally.add(p.X, p.Y, p.Z, return_number_of(p.bitfield, spec.PointDataFormatID));
    apply_tally(h, tally);
    return h;
}

LAS12Header make_header(const LasFileSpec& spec, const std::vector<PointRecord>& points) {
    return make_las_header(spec, points).base;
}

void write_las_file(const std::string& path, const LasFileSpec& spec,
                    const std::vector<PointRecord>& points) {
    write_las_file(path, spec, make_las_header(spec, points), points);
}

void write_las_file(const std::string& path, const LasFileSpec& spec, const LAS12Header& header,
                    const std::vector<PointRecord>& points) {
    LasHeader full = make_las_header(spec, points);
    full.base = header;
    write_las_file(path, spec, full, points);
}

void write_las_file(const std::string& path, const LasFileSpec& spec, const LasHeader& header,
                    const std::vector<PointRecord>& points) {
    if (!points.empty()) checked_layout(spec.PointDataFormatID);
    const std::size_t size = points.empty() ? 0 : record_length_of(spec);
    const std::vector<unsigned char> between = pre_point_bytes(spec);
    const std::vector<unsigned char> after = post_point_bytes(spec);
    OutputFile out(path);
    write_header(out, header, spec.VersionMinor);
    out.write(between.data(), between.size());
    std::vector<unsigned char> block(std::min(points.size(), kBlockPoints) * size);
    for (std::size_t first = 0; first < points.size(); first += kBlockPoints) {
        std::size_t n = std::min(kBlockPoints, points.size() - first);
        for (std::size_t i = 0; i < n; ++i)
            encode_record_into(points[first + i], spec.PointDataFormatID, size, block.data() + i * size);
        out.write(block.data(), n * size);
    }
    out.write(after.data(), after.size());
    out.close();
}

// ---------------------------------------------------------------------------
// Sample survey generator.
//
// The survey is flown in east-west flight lines stacked from south to north,
// every other one flown westward. Each strip is a band across the whole width
// of the area whose across-track edges overlap the neighbouring strips by a
// quarter of the strip width. Along each strip the scanner sweeps across track
// in a zigzag; every pulse yields one to five returns, more where the terrain
// carries vegetation. All randomness comes from a splitmix64 stream seeded by
// the survey seed and the strip number, so the bytes written depend on nothing
// but the SurveySpec.

namespace {

constexpr double kStripOverlap = 0.25;    // share of a strip's width shared with a neighbour
constexpr double kReturnsPerPulse = 1.5;  // rough mean, sets the scan line spacing
constexpr double kMaxScanAngle = 20.0;    // degrees either side of nadir
constexpr double kFlightSpeed = 60.0;     // metres per second along track
constexpr double kWeekStart = 230000.0;   // GPS seconds of the week at the first strip
constexpr double kStripInterval = 900.0;  // seconds from one strip's start to the next

struct Random {
    std::uint64_t state;

    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    // Uniform in [-1, 1).
    double symmetric() { return 2.0 * unit() - 1.0; }
};

// Smooth ground height in metres at a position relative to the area origin.
double terrain_height(double lx, double ly) {
    return 180.0 + 25.0 * std::sin(lx * 0.0041 + 1.0) * std::cos(ly * 0.0033) +
           8.0 * std::sin(0.013 * (lx + 0.5 * ly)) + 2.0 * std::cos(0.051 * lx - 0.037 * ly);
}

// Vegetation cover from 0 (open ground) to 1 (dense forest).
double vegetation_cover(double lx, double ly) {
    double v = std::sin(lx * 0.0093) * std::sin(ly * 0.0071 + 0.5) + 0.35 * std::sin((lx - ly) * 0.021);
    return std::clamp(v, 0.0, 1.0);
}

struct StripLayout {
    unsigned index = 0;  // 0-based
    unsigned long long points = 0;
    double centre_y = 0.0, half_width = 0.0;
    double scan_lines = 1.0;  // across-track sweeps over the strip length
    double edge_band = 0.0;   // share of a sweep at either end that is flagged as edge
    double spacing = 1.0;     // nominal point spacing in metres
    bool eastward = true;
};

StripLayout lay_strip(const SurveySpec& spec, unsigned index) {
    StripLayout s;
    s.index = index;
    s.points = spec.points / spec.files + (index < spec.points % spec.files ? 1 : 0);
    double width = spec.height / (1.0 + (spec.files - 1) * (1.0 - kStripOverlap));
    s.half_width = width / 2.0;
    s.centre_y = spec.origin_y + s.half_width + index * width * (1.0 - kStripOverlap);
    s.eastward = index % 2 == 0;
    double pulses = std::max(1.0, static_cast<double>(s.points) / kReturnsPerPulse);
    s.spacing = std::sqrt(spec.width * width / pulses);
    s.scan_lines = std::max(1.0, std::round(spec.width / s.spacing));
    double per_line = std::max(1.0, pulses / s.scan_lines);
    s.edge_band = std::min(0.5, 1.0 / per_line);
    return s;
}

std::int32_t to_stored(double actual, double scale, double offset) {
    double q = std::round((actual - offset) / scale);
    if (!(q >= std::numeric_limits<std::int32_t>::min() && q <= std::numeric_limits<std::int32_t>::max()))
        throw std::invalid_argument("coordinate " + std::to_string(actual) +
                                    " does not fit a stored 32-bit integer with this scale and offset");
    return static_cast<std::int32_t>(q);
}

std::uint16_t to_u16(double v) {
    return static_cast<std::uint16_t>(std::clamp(v, 0.0, 65535.0));
}

// Generates the points of one strip into fixed-size blocks, handing each
// full block to `flush`.
template <typename Flush>
void generate_strip(const SurveySpec& spec, const StripLayout& s, Flush&& flush) {
    const unsigned format = spec.PointDataFormatID;
    const PointFormatLayout layout = point_format_layout(format);
    const std::size_t standard = layout.size;
    const std::size_t size = standard + spec.extra_bytes;
    const std::vector<ExtraBytesField> extra_fields = extra_bytes_fields(spec.extra_bytes);
    std::vector<unsigned char> block(kBlockPoints * size);
    std::size_t in_block = 0;
    Random rng{spec.seed * 0xD1B54A32D192ED03ULL + (s.index + 1) * 0x8CB92BA72F3D8DD7ULL};
    const double duration = spec.width / kFlightSpeed;
    const double strip_start = kWeekStart + s.index * kStripInterval;
    const double x_max = spec.origin_x + spec.width, y_max = spec.origin_y + spec.height;

    PointRecord p;
    p.PointSourceID = static_cast<std::uint16_t>(s.index + 1);
    p.UserData = 0;
    unsigned long long done = 0, pulses = 0;
    while (done < s.points) {
        // Pulse position: the along-track share follows the point count, the
        // across-track position follows the zigzag sweep.
        double along = static_cast<double>(done) / static_cast<double>(s.points);
        double sweep = along * s.scan_lines;
        double phase = sweep - std::floor(sweep);
        bool forward = static_cast<long long>(std::floor(sweep)) % 2 == 0;
        double across = forward ? phase : 1.0 - phase;  // 0 = south edge of the strip
        bool edge = phase < s.edge_band || phase > 1.0 - s.edge_band;
        // The bands shared with the neighbouring strips.
        bool overlap = (across < kStripOverlap && s.index > 0) ||
                       (across > 1.0 - kStripOverlap && s.index + 1 < spec.files);

        double track = along * spec.width + 0.3 * s.spacing * rng.symmetric();
        double x = s.eastward ? spec.origin_x + track : x_max - track;
        double y =
            s.centre_y - s.half_width + across * 2.0 * s.half_width + 0.4 * s.spacing * rng.symmetric();
        x = std::clamp(x, spec.origin_x, x_max);
        y = std::clamp(y, spec.origin_y, y_max);
        double lx = x - spec.origin_x, ly = y - spec.origin_y;
        double ground = terrain_height(lx, ly) + 0.04 * rng.symmetric();
        double cover = vegetation_cover(lx, ly);
        double canopy = cover * (14.0 + 10.0 * rng.unit());

        unsigned returns = 1;
        if (rng.unit() < 0.15 + 0.75 * cover) {
            double u = rng.unit();
            // Formats 6 to 8 count up to 15 returns, the others up to 5.
            returns = layout.extended ? 2 + static_cast<unsigned>(u * u * u * u * u * u * 14.0)
                                      : 2 + static_cast<unsigned>(u * u * 4.0);
        }
        returns = static_cast<unsigned>(std::min<unsigned long long>(returns, s.points - done));

        double angle = (2.0 * across - 1.0) * kMaxScanAngle;
        p.ScanAngleRank = static_cast<std::uint8_t>(static_cast<std::int8_t>(std::lround(angle)));
        p.ScanAngle = static_cast<std::int16_t>(std::lround(angle / 0.006));
        // Formats 6 to 8: overlap flag, scanner channel (two channels fire in
        // turn), scan direction and edge of flight line.
        p.ExtendedFlags = static_cast<std::uint8_t>((overlap ? 0x08 : 0) | (pulses % 2) << 4 |
                                                    (forward ? 0x40 : 0) | (edge ? 0x80 : 0));
        ++pulses;
        p.GPSTime = strip_start + along * duration;
        p.X = to_stored(x, spec.XScaleFactor, spec.XOffset);
        p.Y = to_stored(y, spec.YScaleFactor, spec.YOffset);

        for (unsigned r = 1; r <= returns; ++r) {
            bool last = r == returns;
            double z = ground;
            if (!last) {
                double share = 1.0 - static_cast<double>(r - 1) / static_cast<double>(returns - 1);
                z = ground + canopy * share * (0.85 + 0.15 * rng.unit()) + 0.3;
            }
            double above = z - ground;
            p.Z = to_stored(z, spec.ZScaleFactor, spec.ZOffset);
            p.bitfield =
                layout.extended
                    ? static_cast<std::uint8_t>(r | returns << 4)
                    : static_cast<std::uint8_t>(r | returns << 3 | (forward ? 0x40 : 0) | (edge ? 0x80 : 0));
            if (last)
                p.Classification = rng.unit() < 0.9 ? 2 : 1;
            else
                p.Classification = above > 5.0 ? 5 : above > 2.0 ? 4 : 3;
            if (rng.unit() < 0.001) p.Classification = 7;
            double base = last ? 420.0 : 180.0;
            p.Intensity = to_u16((base + 160.0 * rng.unit()) / std::sqrt(static_cast<double>(r)));
            double shade = 0.8 + 0.4 * rng.unit();
            if (last && p.Classification == 2) {
                p.Red = to_u16(128.0 * shade * 256.0);
                p.Green = to_u16(104.0 * shade * 256.0);
                p.Blue = to_u16(72.0 * shade * 256.0);
                p.NIR = to_u16(90.0 * shade * 256.0);
            } else {
                p.Red = to_u16(58.0 * shade * 256.0);
                p.Green = to_u16(112.0 * shade * 256.0);
                p.Blue = to_u16(46.0 * shade * 256.0);
                p.NIR = to_u16(200.0 * shade * 256.0);  // vegetation reflects near infrared
            }
            unsigned char* rec = block.data() + in_block * size;
            encode_point_into(p, format, rec);
            if (!extra_fields.empty()) fill_extra_bytes(rec, standard, extra_fields, rec + standard);
            if (++in_block == kBlockPoints) {
                flush(block.data(), in_block, size);
                in_block = 0;
            }
        }
        done += returns;
    }
    if (in_block != 0) flush(block.data(), in_block, size);
}

void append_u16(std::vector<unsigned char>& out, std::uint16_t v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

// A GeoKeyDirectory: projected, WGS 84 / UTM zone 33N, metres horizontally and
// vertically.
VariableLengthRecord projection_vlr() {
    VariableLengthRecord vlr;
    vlr.UserID = "LASF_Projection";
    vlr.RecordID = 34735;
    vlr.Description = "GeoKeyDirectoryTag";
    const std::uint16_t keys[][4] = {
        {1024, 0, 1, 1},      // GTModelTypeGeoKey: projected
        {1025, 0, 1, 1},      // GTRasterTypeGeoKey: pixel is area
        {3072, 0, 1, 32633},  // ProjectedCSTypeGeoKey: WGS 84 / UTM 33N
        {3076, 0, 1, 9001},   // ProjLinearUnitsGeoKey: metre
        {4099, 0, 1, 9001},   // VerticalUnitsGeoKey: metre
    };
    const std::uint16_t count = static_cast<std::uint16_t>(std::size(keys));
    for (std::uint16_t v : {std::uint16_t{1}, std::uint16_t{1}, std::uint16_t{0}, count})
        append_u16(vlr.payload, v);
    for (const auto& key : keys)
        for (std::uint16_t v : key) append_u16(vlr.payload, v);
    return vlr;
}

VariableLengthRecord description_vlr(const SurveySpec& spec, unsigned strip) {
    VariableLengthRecord vlr;
    vlr.UserID = "LASF_Spec";
    vlr.RecordID = 3;
    vlr.Description = "Text area description";
    std::string text = "Sample airborne survey, flight line " + std::to_string(strip + 1) + " of " +
                       std::to_string(spec.files) + ", generated from seed " + std::to_string(spec.seed);
    vlr.payload.assign(text.begin(), text.end());
    vlr.payload.push_back(0);
    return vlr;
}

// WGS 84 / UTM zone 33N, the coordinate system of projection_vlr, as OGC WKT.
constexpr const char* kUtm33nWkt =
    "PROJCS[\"WGS 84 / UTM zone 33N\",GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,"
    "298.257223563,AUTHORITY[\"EPSG\",\"7030\"]],AUTHORITY[\"EPSG\",\"6326\"]],PRIMEM[\"Greenwich\",0,"
    "AUTHORITY[\"EPSG\",\"8901\"]],UNIT[\"degree\",0.0174532925199433,AUTHORITY[\"EPSG\",\"9122\"]],"
    "AUTHORITY[\"EPSG\",\"4326\"]],PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"latitude_of_origin\",0],"
    "PARAMETER[\"central_meridian\",15],PARAMETER[\"scale_factor\",0.9996],PARAMETER[\"false_easting\","
    "500000],"
    "PARAMETER[\"false_northing\",0],UNIT[\"metre\",1,AUTHORITY[\"EPSG\",\"9001\"]],AXIS[\"Easting\",EAST],"
    "AXIS[\"Northing\",NORTH],AUTHORITY[\"EPSG\",\"32633\"]]";

// Samples of a strip's trajectory EVLR: 32 bytes each, so that the payload is
// longer than the 65535 bytes a VLR can hold.
constexpr std::size_t kTrajectorySamples = 2050;
constexpr double kFlyingHeight = 1200.0;  // metres above the area's datum

// The aircraft's path over a strip: GPS time, X, Y and height, little-endian
// doubles, sampled evenly from the strip's first to its last pulse.
VariableLengthRecord trajectory_evlr(const SurveySpec& spec, unsigned strip) {
    const StripLayout s = lay_strip(spec, strip);
    VariableLengthRecord evlr;
    evlr.UserID = "Tessaro";
    evlr.RecordID = 1;
    evlr.Description = "Strip trajectory";
    evlr.payload.resize(kTrajectorySamples * 32);
    const double start = kWeekStart + strip * kStripInterval, duration = spec.width / kFlightSpeed;
    for (std::size_t k = 0; k < kTrajectorySamples; ++k) {
        const double along = static_cast<double>(k) / static_cast<double>(kTrajectorySamples - 1);
        const double track = along * spec.width;
        const double sample[4] = {start + along * duration,
                                  s.eastward ? spec.origin_x + track : spec.origin_x + spec.width - track,
                                  s.centre_y, kFlyingHeight + 3.0 * std::sin(along * 7.0)};
        for (std::size_t i = 0; i < 4; ++i) store_f64le(evlr.payload.data() + 32 * k + 8 * i, sample[i]);
    }
    return evlr;
}

VariableLengthRecord note_evlr(const SurveySpec& spec, unsigned strip, unsigned number) {
    VariableLengthRecord evlr;
    evlr.UserID = "Tessaro";
    evlr.RecordID = static_cast<std::uint16_t>(number);
    evlr.Description = "Processing note";
    const std::string text = "Note " + std::to_string(number) + " on flight line " +
                             std::to_string(strip + 1) + " of a survey generated from seed " +
                             std::to_string(spec.seed);
    evlr.payload.assign(text.begin(), text.end());
    evlr.payload.push_back(0);
    return evlr;
}

LasFileSpec strip_file_spec(const SurveySpec& spec, unsigned strip) {
    LasFileSpec f;
    f.VersionMajor = 1;
    f.VersionMinor = spec.VersionMinor;
    f.PointDataFormatID = spec.PointDataFormatID;
    f.extra_bytes = spec.extra_bytes;
    f.XScaleFactor = spec.XScaleFactor;
    f.YScaleFactor = spec.YScaleFactor;
    f.ZScaleFactor = spec.ZScaleFactor;
    f.XOffset = spec.XOffset;
    f.YOffset = spec.YOffset;
    f.ZOffset = spec.ZOffset;
    // Version 1.0 reserves the bytes that later versions use for the source ID.
    f.FileSourceID = spec.VersionMinor == 0 ? 0 : static_cast<std::uint16_t>(strip + 1);
    // Formats 6 to 8 give their coordinate system as WKT only.
    WktPlace wkt = spec.wkt;
    if (wkt == WktPlace::none && spec.with_vlrs && point_format_layout(spec.PointDataFormatID).extended)
        wkt = WktPlace::vlr;
    if (wkt != WktPlace::none) f.GlobalEncoding |= kWktBit;
    if (wkt == WktPlace::vlr) f.vlrs.push_back(wkt_record(kUtm33nWkt));
    if (spec.with_vlrs) {
        if (wkt == WktPlace::none) f.vlrs.push_back(projection_vlr());
        f.vlrs.push_back(description_vlr(spec, strip));
    }
    if (spec.extra_bytes != 0 && spec.describe_extra_bytes)
        f.vlrs.push_back(extra_bytes_vlr(spec.extra_bytes));
    for (unsigned k = 1; k <= spec.evlrs; ++k)
        f.evlrs.push_back(k == 1 ? trajectory_evlr(spec, strip) : note_evlr(spec, strip, k));
    if (wkt == WktPlace::evlr) f.evlrs.push_back(wkt_record(kUtm33nWkt));
    return f;
}

void check_survey_spec(const SurveySpec& spec) {
    if (spec.files == 0) throw std::invalid_argument("a survey needs at least one file");
    if (spec.files > std::numeric_limits<std::uint16_t>::max())
        throw std::invalid_argument("too many files for 16-bit point source IDs");
    if (spec.VersionMinor > 4) throw std::invalid_argument("version must be 1.0 to 1.4");
    const PointFormatLayout layout = checked_layout(spec.PointDataFormatID);
    if (layout.extended && spec.VersionMinor < 4)
        throw std::invalid_argument("point data formats 6 to 8 need LAS 1.4");
    if (spec.VersionMinor < 4 && (spec.evlrs != 0 || spec.wkt != WktPlace::none))
        throw std::invalid_argument("EVLRs and OGC WKT records need LAS 1.4");
    if (spec.evlrs > std::numeric_limits<std::uint16_t>::max())
        throw std::invalid_argument("at most 65535 EVLRs");
    if (layout.size + std::size_t{spec.extra_bytes} > std::numeric_limits<std::uint16_t>::max())
        throw std::invalid_argument("too many extra bytes for a 16-bit record length");
    if (spec.extra_bytes != 0 && spec.describe_extra_bytes) extra_bytes_vlr(spec.extra_bytes);
    if (spec.VersionMinor < 4 && spec.points / spec.files >= std::numeric_limits<std::uint32_t>::max())
        throw std::invalid_argument("too many points per file for a 32-bit point count");
    for (double scale : {spec.XScaleFactor, spec.YScaleFactor, spec.ZScaleFactor})
        if (!(scale > 0.0) || !std::isfinite(scale))
            throw std::invalid_argument("scale factors must be positive");
    if (spec.order == RecordOrder::tiled && !(spec.tile_size > 0.0 && std::isfinite(spec.tile_size)))
        throw std::invalid_argument("the tile size must be positive");
    if (!(spec.width > 0.0) || !(spec.height > 0.0) || !std::isfinite(spec.width) ||
        !std::isfinite(spec.height))
        throw std::invalid_argument("width and height must be positive");
    // The area corners must be representable; points never leave the area.
    to_stored(spec.origin_x, spec.XScaleFactor, spec.XOffset);
    to_stored(spec.origin_x + spec.width, spec.XScaleFactor, spec.XOffset);
    to_stored(spec.origin_y, spec.YScaleFactor, spec.YOffset);
    to_stored(spec.origin_y + spec.height, spec.YScaleFactor, spec.YOffset);
}

std::string strip_path(const SurveySpec& spec, unsigned strip) {
    char number[16];
    std::snprintf(number, sizeof number, "%02u", strip + 1);
    return spec.directory + "/" + spec.file_stem + "_" + number + ".las";
}

// Tallies the records of a block and writes them to `out`.
void write_block(OutputFile& out, PointTally& tally, unsigned format, const unsigned char* data,
                 std::size_t n, std::size_t size) {
    for (std::size_t i = 0; i < n; ++i) tally.add_record(data + i * size, format);
    out.write(data, n * size);
}

// The records of one strip in a pseudo-random order (Fisher-Yates, its own
// stream of the seed), so that consecutive records fall anywhere in the strip.
// Holds the strip in memory.
std::vector<unsigned char> shuffled_strip(const SurveySpec& spec, const StripLayout& layout) {
    std::vector<unsigned char> records;
    std::size_t size = 0;
    generate_strip(spec, layout, [&](const unsigned char* data, std::size_t n, std::size_t len) {
        records.insert(records.end(), data, data + n * len);
        size = len;
    });
    if (size == 0) return records;
    Random rng{spec.seed * 0x9E6C63D0676A9A99ULL + (layout.index + 1) * 0xC2B2AE3D27D4EB4FULL};
    std::vector<unsigned char> held(size);
    for (std::size_t k = records.size() / size; k > 1; --k) {
        const std::size_t j = static_cast<std::size_t>(rng.next() % k);
        unsigned char* a = records.data() + (k - 1) * size;
        unsigned char* b = records.data() + j * size;
        std::memcpy(held.data(), a, size);
        std::memcpy(a, b, size);
        std::memcpy(b, held.data(), size);
    }
    return records;
}

// Writes one strip file: a header with zero counts first, the points in
// blocks and the EVLRs, then the header again with the final counts, bounds
// and EVLR start.
void write_strip(const SurveySpec& spec, unsigned strip, const std::string& path) {
    const LasFileSpec file_spec = strip_file_spec(spec, strip);
    const unsigned format = spec.PointDataFormatID;
    LasHeader header = layout_header(file_spec);
    const std::vector<unsigned char> between = pre_point_bytes(file_spec);
    OutputFile out(path);
    write_header(out, header, spec.VersionMinor);
    out.write(between.data(), between.size());
    PointTally tally;
    const StripLayout layout = lay_strip(spec, strip);
    if (spec.order == RecordOrder::random) {
        const std::vector<unsigned char> records = shuffled_strip(spec, layout);
        const std::size_t size = record_length_of(file_spec);
        write_block(out, tally, format, records.data(), records.size() / size, size);
    } else {
        generate_strip(spec, layout, [&](const unsigned char* data, std::size_t n, std::size_t size) {
            write_block(out, tally, format, data, n, size);
        });
    }
    const std::vector<unsigned char> after = post_point_bytes(file_spec);
    out.write(after.data(), after.size());
    apply_tally(header, tally);
    out.rewind_to_start();
    write_header(out, header, spec.VersionMinor);
    out.close();
}

// Most tiles a tiled survey may have: each holds a file open while the
// strips are generated.
constexpr unsigned kMaxSurveyTiles = 4096;

// The tiles of a tiled survey: the tiler's own grid over the points' extent
// (without buffer or snap), so that each file lies in one tile of a run with
// the same tile size.
Tile lay_survey_tiles(const SurveySpec& spec) {
    PointTally all;
    for (unsigned strip = 0; strip < spec.files; ++strip)
        generate_strip(spec, lay_strip(spec, strip),
                       [&](const unsigned char* data, std::size_t n, std::size_t size) {
                           for (std::size_t i = 0; i < n; ++i)
                               all.add_record(data + i * size, spec.PointDataFormatID);
                       });
    const double XMin = actual_coordinate(all.min[0], spec.XScaleFactor, spec.XOffset);
    const double YMin = actual_coordinate(all.min[1], spec.YScaleFactor, spec.YOffset);
    const double XMax = actual_coordinate(all.max[0], spec.XScaleFactor, spec.XOffset);
    const double YMax = actual_coordinate(all.max[1], spec.YScaleFactor, spec.YOffset);
    const Tile t = lay_tile_grid(XMin, YMin, XMax, YMax, spec.tile_size, false, 0.0, false, 0.0);
    if (tile_count(t) > kMaxSurveyTiles)
        throw std::invalid_argument("a tiled survey of " + std::to_string(tile_count(t)) +
                                    " tiles; at most " + std::to_string(kMaxSurveyTiles) + " are possible");
    return t;
}

// One file of a tiled survey, opened when its first point arrives.
struct TileFile {
    std::unique_ptr<OutputFile> out;
    LasHeader header;
    PointTally tally;
};

// Generates the strips again and writes every point to the file of its tile.
std::vector<std::string> write_tiled_survey(const SurveySpec& spec) {
    const Tile t = lay_survey_tiles(spec);
    const LasFileSpec file_spec = strip_file_spec(spec, 0);
    const std::vector<unsigned char> between = pre_point_bytes(file_spec);
    const std::vector<unsigned char> after = post_point_bytes(file_spec);
    const int width = digit_width(t);
    const auto path_of = [&](unsigned r, unsigned c) {
        return spec.directory + "/" + spec.file_stem + "_" + tile_label(width, r + 1, c + 1) + ".las";
    };
    std::vector<TileFile> tiles(static_cast<std::size_t>(t.Rows) * t.Cols);
    for (unsigned strip = 0; strip < spec.files; ++strip) {
        generate_strip(
            spec, lay_strip(spec, strip), [&](const unsigned char* data, std::size_t n, std::size_t size) {
                for (std::size_t i = 0; i < n; ++i) {
                    const unsigned char* rec = data + i * size;
                    const double x = actual_coordinate(load_i32le(rec), spec.XScaleFactor, spec.XOffset);
                    const double y = actual_coordinate(load_i32le(rec + 4), spec.YScaleFactor, spec.YOffset);
                    const unsigned r = clamp_tile_index(std::floor((y - t.YMin) / spec.tile_size), t.Rows);
                    const unsigned c = clamp_tile_index(std::floor((x - t.XMin) / spec.tile_size), t.Cols);
                    TileFile& tf = tiles[static_cast<std::size_t>(r) * t.Cols + c];
                    if (!tf.out) {
                        tf.out = std::make_unique<OutputFile>(path_of(r, c));
                        tf.header = layout_header(file_spec);
                        write_header(*tf.out, tf.header, spec.VersionMinor);
                        tf.out->write(between.data(), between.size());
                    }
                    write_block(*tf.out, tf.tally, spec.PointDataFormatID, rec, 1, size);
                }
            });
    }
    std::vector<std::string> paths;
    for (unsigned r = 0; r < t.Rows; ++r) {
        for (unsigned c = 0; c < t.Cols; ++c) {
            TileFile& tf = tiles[static_cast<std::size_t>(r) * t.Cols + c];
            if (!tf.out) continue;
            tf.out->write(after.data(), after.size());
            apply_tally(tf.header, tf.tally);
            tf.out->rewind_to_start();
            write_header(*tf.out, tf.header, spec.VersionMinor);
            tf.out->close();
            paths.push_back(path_of(r, c));
        }
    }
    return paths;
}

}  // namespace

std::vector<std::string> generate_survey(const SurveySpec& spec) {
    check_survey_spec(spec);
    std::error_code ec;
    std::filesystem::create_directories(spec.directory, ec);
    if (ec) throw std::runtime_error("cannot create directory " + spec.directory + ": " + ec.message());

    std::vector<std::string> paths;
    if (spec.order == RecordOrder::tiled) {
        paths = write_tiled_survey(spec);
    } else {
        for (unsigned strip = 0; strip < spec.files; ++strip) {
            paths.push_back(strip_path(spec, strip));
            write_strip(spec, strip, paths.back());
        }
    }
    if (spec.laz) {
        // Each file compressed, under the same name in .laz.
        for (std::string& path : paths) {
            const std::string laz = path.substr(0, path.size() - 4) + ".laz";
            compress_las_file(path, laz, spec.laz_chunk_points);
            std::filesystem::remove(path);
            path = laz;
        }
    }
    std::string list_text;
    for (const std::string& path : paths) list_text += path + "\n";
    OutputFile list(spec.directory + "/" + spec.list_name);
    list.write(list_text.data(), list_text.size());
    list.close();
    return paths;
}

}  // namespace tessaro::survey
