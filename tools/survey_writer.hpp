// The project's own LAS writer and sample survey generator. The demo, the
// end-to-end tests and the benchmark make all their input with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "las_records.hpp"

namespace tessaro::survey {

// One point with every field of formats 0 to 3; fields a format lacks are not
// written.
struct PointRecord {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    std::int32_t Z = 0;
    std::uint16_t Intensity = 0;
    std::uint8_t bitfield = 1;  // return number in bits 0-2, number of returns in 3-5
    std::uint8_t Classification = 0;
    std::uint8_t ScanAngleRank = 0;
    std::uint8_t UserData = 0;
    std::uint16_t PointSourceID = 0;
    double GPSTime = 0.0;
    std::uint16_t Red = 0;
    std::uint16_t Green = 0;
    std::uint16_t Blue = 0;
};

// A variable-length record: its 54-byte header fields and its payload.
struct VariableLengthRecord {
    std::string UserID;  // at most 16 bytes
    std::uint16_t RecordID = 0;
    std::string Description;  // at most 32 bytes
    std::vector<unsigned char> payload;
};

// How one LAS file is laid out.
struct LasFileSpec {
    std::uint8_t VersionMajor = 1;
    std::uint8_t VersionMinor = 2;
    std::uint8_t PointDataFormatID = 1;
    double XScaleFactor = 0.01, YScaleFactor = 0.01, ZScaleFactor = 0.01;
    double XOffset = 0.0, YOffset = 0.0, ZOffset = 0.0;
    std::string SystemIdentifier = "Tessaro survey generator";
    std::string GeneratingSoftware = "tessaro_gensurvey";
    std::uint16_t FileCreationDay = 1;
    std::uint16_t FileCreationYear = 2026;
    std::uint16_t FileSourceID = 0;
    std::vector<VariableLengthRecord> vlrs;
    // Bytes between the 227-byte header block and the first VLR (a header
    // extension); HeaderSize becomes 227 + this size.
    std::vector<unsigned char> header_extension;
    // Bytes after the last VLR and before the first point record.
    std::vector<unsigned char> pre_point_padding;
};

// The file image of one point record in `format` (0 to 3).
std::vector<unsigned char> encode_point(const PointRecord& point, unsigned format);

// Writes the file image of one point record in `format` (0 to 3) to `out`,
// which holds at least point_record_size(format) bytes.
void encode_point_into(const PointRecord& point, unsigned format, unsigned char* out);

// Decodes a point record image of `format` back into a PointRecord.
PointRecord decode_point(const unsigned char* bytes, unsigned format);

// The bytes a file of `spec` holds between its 227-byte header block and its
// first point record: header extension, VLRs (54-byte header each, then the
// payload) and the padding before the points.
std::vector<unsigned char> pre_point_bytes(const LasFileSpec& spec);

// The header a file of these points gets: counts by return, bounds from the
// actual coordinates, sizes and offsets from the layout of `spec`.
LAS12Header make_header(const LasFileSpec& spec, const std::vector<PointRecord>& points);

// Writes a complete LAS file with the header of make_header. Throws
// std::runtime_error when the file cannot be written.
void write_las_file(const std::string& path, const LasFileSpec& spec, const std::vector<PointRecord>& points);

// Writes a LAS file with an explicit header (for files whose header disagrees
// with their points); the bytes between header and points follow `spec`.
void write_las_file(const std::string& path, const LasFileSpec& spec, const LAS12Header& header,
                    const std::vector<PointRecord>& points);

// The order in which a survey's point records are written.
enum class RecordOrder {
    scan,    // as the scanner recorded them: zigzag sweeps along each strip
    random,  // each strip's records shuffled
    tiled,   // one file per square tile of side `tile_size`, records in scan order
};

// A realistic survey: overlapping flight-line strips of multi-return points.
struct SurveySpec {
    std::string directory = ".";
    std::string list_name = "survey.txt";  // list file, written in `directory`
    std::string file_stem = "strip";       // files are <stem>_NN.las
    unsigned files = 4;
    unsigned long long points = 200000;  // in all files together
    std::uint8_t VersionMinor = 2;
    std::uint8_t PointDataFormatID = 1;
    double XScaleFactor = 0.01, YScaleFactor = 0.01, ZScaleFactor = 0.01;
    double XOffset = 500000.0, YOffset = 4000000.0, ZOffset = 0.0;
    double origin_x = 500000.0, origin_y = 4000000.0;  // south-west corner of the area
    double width = 2000.0, height = 2000.0;            // extent of the surveyed area
    bool with_vlrs = false;                            // a projection VLR and a text VLR in every file
    std::uint32_t seed = 1;
    RecordOrder order = RecordOrder::scan;
    // With RecordOrder::tiled: the side of the tiles, laid from the survey's
    // smallest X and Y as the tiler lays its grid, so that each file lies in
    // one tile of a tiler run with the same tile size.
    double tile_size = 250.0;
};

// Writes the files and the list file of a survey; returns the paths of the
// LAS files as written in the list: `directory`/<stem>_NN.las, one per strip,
// or with RecordOrder::tiled `directory`/<stem>_R<row>C<col>.las, one per
// tile that holds points (row and column from 1, zero-padded alike).
std::vector<std::string> generate_survey(const SurveySpec& spec);

}  // namespace tessaro::survey
