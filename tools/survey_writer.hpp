// The project's own LAS writer and sample survey generator. The demo, the
// end-to-end tests and the benchmark make all their input with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "las_records.hpp"

namespace tessaro::survey {

// One point with every field of formats 0 to 3 and 6 to 8; fields a format
// lacks are not written.
struct PointRecord {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    std::int32_t Z = 0;
    std::uint16_t Intensity = 0;
    // Byte 14. Formats 0 to 3: return number in bits 0-2, number of returns in
    // 3-5, scan direction in 6, edge of flight line in 7. Formats 6 to 8:
    // return number in bits 0-3, number of returns in 4-7.
    std::uint8_t bitfield = 1;
    // Byte 15 of formats 6 to 8: classification flags in bits 0-3 (synthetic,
    // key point, withheld, overlap), scanner channel in 4-5, scan direction in
    // 6, edge of flight line in 7.
    std::uint8_t ExtendedFlags = 0;
    std::uint8_t Classification = 0;
    std::uint8_t ScanAngleRank = 0;  // formats 0 to 3: signed whole degrees
    std::int16_t ScanAngle = 0;      // formats 6 to 8: steps of 0.006 degrees
    std::uint8_t UserData = 0;
    std::uint16_t PointSourceID = 0;
    double GPSTime = 0.0;
    std::uint16_t Red = 0;
    std::uint16_t Green = 0;
    std::uint16_t Blue = 0;
    std::uint16_t NIR = 0;  // format 8
    // The bytes after the standard fields of a record longer than its format.
    // Left empty, a writer fills them with derived_extra_bytes of the point.
    std::vector<unsigned char> ExtraBytes;
};

// Where the standard fields of a point data format lie in its record.
struct PointFormatLayout {
    std::uint16_t size = 0;  // bytes of the standard fields; 0 for a format the writer lacks
    bool extended = false;   // formats 6 to 8: 4-bit return fields, a flags byte, 16-bit scan angle
    int gps_offset = -1;     // -1: no GPS time
    int rgb_offset = -1;     // -1: no colour
    int nir_offset = -1;     // -1: no near infrared
};

// The layout of formats 0 to 3 and 6 to 8; size 0 for any other.
PointFormatLayout point_format_layout(unsigned format);

// The return number that byte 14 of a record of `format` holds: bits 0-2 in
// formats 0 to 3, bits 0-3 in formats 6 to 8.
unsigned return_number_of(std::uint8_t bitfield, unsigned format);

// Bytes of the public header block of LAS 1.<version_minor>: 227 up to 1.2,
// 235 for 1.3, 375 for 1.4, and 0 for a later minor version.
std::uint16_t header_block_size(unsigned version_minor);

// The header of a LAS file of any version: the block that every version
// shares, then the fields that LAS 1.3 and 1.4 add (written only for them).
struct LasHeader {
    LAS12Header base{};
    std::uint64_t StartOfWaveformDataPacketRecord = 0;           // 1.3 and 1.4
    std::uint64_t StartOfFirstExtendedVariableLengthRecord = 0;  // 1.4
    std::uint32_t NumberOfExtendedVariableLengthRecords = 0;     // 1.4
    std::uint64_t NumberOfPointRecords = 0;                      // 1.4
    std::uint64_t NumberOfPointsByReturn[15] = {};               // 1.4
};

// The file image of a header block: header_block_size(base.VersionMinor)
// bytes, little-endian. Throws std::invalid_argument for a version above 1.4.
std::vector<unsigned char> header_bytes(const LasHeader& header);

// Decodes the header block at the start of a file image of `size` bytes.
// Throws std::invalid_argument when the image is shorter than the block of
// its version or the version is above 1.4.
LasHeader decode_header(const unsigned char* bytes, std::size_t size);

// A variable-length record: its header fields and its payload. As an extended
// record (LAS 1.4, after the points) its header is 60 bytes, else 54.
struct VariableLengthRecord {
    std::string UserID;  // at most 16 bytes
    std::uint16_t RecordID = 0;
    std::string Description;  // at most 32 bytes
    std::vector<unsigned char> payload;
};

// How one LAS file is laid out.
struct LasFileSpec {
    std::uint8_t VersionMajor = 1;
    std::uint8_t VersionMinor = 2;  // 0 to 4
    std::uint8_t PointDataFormatID = 1;
    // Written as given, with bit 4 (coordinate system as OGC WKT) added for
    // formats 6 to 8 in LAS 1.4, which requires it.
    std::uint16_t GlobalEncoding = 0;
    // Bytes after the standard fields of every record: PointDataRecordLength
    // is the format's size plus this.
    unsigned extra_bytes = 0;
    double XScaleFactor = 0.01, YScaleFactor = 0.01, ZScaleFactor = 0.01;
    double XOffset = 0.0, YOffset = 0.0, ZOffset = 0.0;
    std::string SystemIdentifier = "Tessaro survey generator";
    std::string GeneratingSoftware = "tessaro_gensurvey";
    std::uint16_t FileCreationDay = 1;
    std::uint16_t FileCreationYear = 2026;
    std::uint16_t FileSourceID = 0;
    std::vector<VariableLengthRecord> vlrs;
    // Bytes between the version's header block and the first VLR (a header
    // extension); HeaderSize becomes header_block_size + this size.
    std::vector<unsigned char> header_extension;
    // Bytes after the last VLR and before the first point record.
    std::vector<unsigned char> pre_point_padding;
    // Extended variable-length records after the points (LAS 1.4 only).
    std::vector<VariableLengthRecord> evlrs;
};

// The file image of the standard fields of one point record in `format`.
std::vector<unsigned char> encode_point(const PointRecord& point, unsigned format);

// Writes the file image of the standard fields of one point record in
// `format` to `out`, which holds at least point_format_layout(format).size
// bytes. Throws std::invalid_argument for a format the writer lacks.
void encode_point_into(const PointRecord& point, unsigned format, unsigned char* out);

// Decodes the standard fields of a point record image of `format`.
PointRecord decode_point(const unsigned char* bytes, unsigned format);

// The image of a whole record of `record_length` bytes: the standard fields
// of `format`, then the point's ExtraBytes, or derived_extra_bytes where they
// are empty. Throws std::invalid_argument when record_length is shorter than
// the format or ExtraBytes is neither empty nor of the length that remains.
std::vector<unsigned char> encode_record(const PointRecord& point, unsigned format,
                                         std::size_t record_length);
void encode_record_into(const PointRecord& point, unsigned format, std::size_t record_length,
                        unsigned char* out);

// Decodes a whole record: the standard fields, and the bytes after them into
// ExtraBytes.
PointRecord decode_record(const unsigned char* bytes, unsigned format, std::size_t record_length);

// One field of the extra bytes as the writer lays them out and describes them.
struct ExtraBytesField {
    std::string name;
    std::uint8_t data_type = 0;  // Extra Bytes type: 1 u8, 2 i8, 3 u16, 4 i16, 5 u32, 6 i32, 9 f32, 10 f64
    std::size_t offset = 0;      // from the first extra byte
    std::size_t size = 0;
};

// The fields that `count` extra bytes hold: integers and floating-point
// numbers of several sizes in turn, single bytes at the end.
std::vector<ExtraBytesField> extra_bytes_fields(std::size_t count);

// The `count` extra bytes the writer gives a point of `format`: each field of
// extra_bytes_fields a value derived from the point's standard fields, so
// that records differ and the same point always gets the same bytes. The
// floating-point fields hold finite values.
std::vector<unsigned char> derived_extra_bytes(const PointRecord& point, unsigned format, std::size_t count);

// The Extra Bytes record (user ID "LASF_Spec", record ID 4) that describes
// `count` extra bytes as extra_bytes_fields lays them out: one 192-byte
// descriptor a field. Throws std::invalid_argument when the descriptors do
// not fit a VLR.
VariableLengthRecord extra_bytes_vlr(std::size_t count);

// An OGC WKT coordinate system record (user ID "LASF_Projection", record ID
// 2112) holding `wkt` and its terminating zero.
VariableLengthRecord wkt_record(const std::string& wkt);

// The bytes a file of `spec` holds between its header block and its first
// point record: header extension, VLRs (54-byte header each, then the
// payload) and the padding before the points.
std::vector<unsigned char> pre_point_bytes(const LasFileSpec& spec);

// The bytes a file of `spec` holds after its points: each EVLR's 60-byte
// header, then its payload.
std::vector<unsigned char> post_point_bytes(const LasFileSpec& spec);

// The header a file of these points gets: counts by return, bounds from the
// actual coordinates, sizes and offsets from the layout of `spec`. In LAS 1.4
// the 64-bit count and 15 counts by return are set; the legacy 32-bit ones
// are zero for formats 6 to 8 and where the count does not fit 32 bits.
LasHeader make_las_header(const LasFileSpec& spec, const std::vector<PointRecord>& points);

// The 227-byte block of make_las_header.
LAS12Header make_header(const LasFileSpec& spec, const std::vector<PointRecord>& points);

// Writes a complete LAS file with the header of make_las_header. Throws
// std::runtime_error when the file cannot be written and
// std::invalid_argument when `spec` cannot be laid out.
void write_las_file(const std::string& path, const LasFileSpec& spec, const std::vector<PointRecord>& points);

// Writes a LAS file with an explicit header (for files whose header disagrees
// with their points): its fields are written as given, in the header block
// of the version of `spec`; the bytes between header and points, and after
// the points, follow `spec`.
void write_las_file(const std::string& path, const LasFileSpec& spec, const LasHeader& header,
                    const std::vector<PointRecord>& points);

// As above with an explicit 227-byte block; the fields LAS 1.3 and 1.4 add
// are those of make_las_header.
void write_las_file(const std::string& path, const LasFileSpec& spec, const LAS12Header& header,
                    const std::vector<PointRecord>& points);

// The order in which a survey's point records are written.
enum class RecordOrder {
    scan,    // as the scanner recorded them: zigzag sweeps along each strip
    random,  // each strip's records shuffled
    tiled,   // one file per square tile of side `tile_size`, records in scan order
};

// Where a survey's files carry their coordinate system as OGC WKT (LAS 1.4).
enum class WktPlace {
    none,  // no WKT record; with_vlrs gives formats 0 to 3 a GeoKeyDirectory
    vlr,   // a WKT VLR before the points
    evlr,  // a WKT EVLR after the points
};

// A realistic survey: overlapping flight-line strips of multi-return points.
struct SurveySpec {
    std::string directory = ".";
    std::string list_name = "survey.txt";  // list file, written in `directory`
    std::string file_stem = "strip";       // files are <stem>_NN.las
    unsigned files = 4;
    unsigned long long points = 200000;  // in all files together
    std::uint8_t VersionMinor = 2;       // 0 to 4
    std::uint8_t PointDataFormatID = 1;  // 0 to 3, or 6 to 8 in LAS 1.4
    double XScaleFactor = 0.01, YScaleFactor = 0.01, ZScaleFactor = 0.01;
    double XOffset = 500000.0, YOffset = 4000000.0, ZOffset = 0.0;
    double origin_x = 500000.0, origin_y = 4000000.0;  // south-west corner of the area
    double width = 2000.0, height = 2000.0;            // extent of the surveyed area
    // A projection VLR and a text VLR in every file: the projection is a
    // GeoKeyDirectory for formats 0 to 3, OGC WKT for formats 6 to 8 (as LAS
    // 1.4 requires) or wherever `wkt` places it.
    bool with_vlrs = false;
    // The coordinate system as OGC WKT, with or without with_vlrs; sets the
    // global encoding's WKT bit.
    WktPlace wkt = WktPlace::none;
    // Bytes after the standard fields of every record (derived_extra_bytes),
    // described by an Extra Bytes VLR or not.
    unsigned extra_bytes = 0;
    bool describe_extra_bytes = true;
    // EVLRs after the points of every file (LAS 1.4): the first holds the
    // strip's trajectory (the first strip's in a tiled survey) and is longer
    // than a VLR can be, the others a note.
    unsigned evlrs = 0;
    std::uint32_t seed = 1;
    RecordOrder order = RecordOrder::scan;
    // With RecordOrder::tiled: the side of the tiles, laid from the survey's
    // smallest X and Y as the tiler lays its grid, so that each file lies in
    // one tile of a tiler run with the same tile size.
    double tile_size = 250.0;
    // The files compressed (LAZ, named .laz), in chunks of this many points.
    bool laz = false;
    std::uint32_t laz_chunk_points = 50000;
};

// Writes the files and the list file of a survey; returns the paths of the
// LAS files as written in the list: `directory`/<stem>_NN.las, one per strip,
// or with RecordOrder::tiled `directory`/<stem>_R<row>C<col>.las, one per
// tile that holds points (row and column from 1, zero-padded alike).
std::vector<std::string> generate_survey(const SurveySpec& spec);

}  // namespace tessaro::survey
