#include "survey_writer.hpp"

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
// LAS 1.0 marks every VLR header with this value where later versions reserve
// the field.
constexpr std::uint16_t kLas10RecordSignature = 0xAABB;
// Points encoded per write call: about 2 MiB of format 3 records.
constexpr std::size_t kBlockPoints = 65536;

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

std::uint16_t checked_record_size(unsigned format) {
    std::uint16_t size = point_record_size(format);
    if (size == 0)
        throw std::invalid_argument("point data format " + std::to_string(format) + " is not 0 to 3");
    return size;
}

// Running counts and stored-coordinate extremes of the points of one file.
struct PointTally {
    std::uint64_t count = 0;
    std::uint32_t by_return[5] = {0, 0, 0, 0, 0};
    std::int32_t min[3] = {0, 0, 0};
    std::int32_t max[3] = {0, 0, 0};

    void add(std::int32_t x, std::int32_t y, std::int32_t z, std::uint8_t bitfield) {
        const std::int32_t c[3] = {x, y, z};
        for (int i = 0; i < 3; ++i) {
            if (count == 0 || c[i] < min[i]) min[i] = c[i];
            if (count == 0 || c[i] > max[i]) max[i] = c[i];
        }
        ++count;
        unsigned r = bitfield & 7U;
        if (r >= 1 && r <= 5) ++by_return[r - 1];
    }
};

// Header fields that follow from the layout alone; counts and bounds zero.
LAS12Header layout_header(const LasFileSpec& spec) {
    LAS12Header h{};
    std::memcpy(h.LASF, "LASF", 4);
    h.FileSourceID = spec.FileSourceID;
    h.VersionMajor = spec.VersionMajor;
    h.VersionMinor = spec.VersionMinor;
    copy_text(h.SystemIdentifier, spec.SystemIdentifier);
    copy_text(h.GeneratingSoftware, spec.GeneratingSoftware);
    h.FileCreationDay = spec.FileCreationDay;
    h.FileCreationYear = spec.FileCreationYear;

    std::size_t header_size = kHeaderBytes + spec.header_extension.size();
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
    h.PointDataRecordLength = point_record_size(spec.PointDataFormatID);
    h.XScaleFactor = spec.XScaleFactor;
    h.YScaleFactor = spec.YScaleFactor;
    h.ZScaleFactor = spec.ZScaleFactor;
    h.XOffset = spec.XOffset;
    h.YOffset = spec.YOffset;
    h.ZOffset = spec.ZOffset;
    return h;
}

// Puts the counts and the actual-coordinate bounds of `tally` into `h`. The
// conversion is monotone, so the extremes of the stored integers give the
// extremes of the actual coordinates (swapped for a negative scale).
void apply_tally(LAS12Header& h, const PointTally& tally) {
    if (tally.count > std::numeric_limits<std::uint32_t>::max())
        throw std::invalid_argument("more points than NumberOfPointReturns can count");
    h.NumberOfPointReturns = static_cast<std::uint32_t>(tally.count);
    std::copy(std::begin(tally.by_return), std::end(tally.by_return), h.NumberOfPointsByReturn);
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

void write_header(OutputFile& out, const LAS12Header& header) {
    unsigned char image[kHeaderBytes];
    header_to_bytes(header, image);
    out.write(image, sizeof image);
}

}  // namespace

void encode_point_into(const PointRecord& p, unsigned format, unsigned char* out) {
    checked_record_size(format);
    store_i32le(out, p.X);
    store_i32le(out + 4, p.Y);
    store_i32le(out + 8, p.Z);
    store_u16le(out + 12, p.Intensity);
    out[14] = p.bitfield;
    out[15] = p.Classification;
    out[16] = p.ScanAngleRank;
    out[17] = p.UserData;
    store_u16le(out + 18, p.PointSourceID);
    if (format == 1 || format == 3) store_f64le(out + 20, p.GPSTime);
    if (format == 2 || format == 3) {
        unsigned char* rgb = out + (format == 2 ? 20 : 28);
        store_u16le(rgb, p.Red);
        store_u16le(rgb + 2, p.Green);
        store_u16le(rgb + 4, p.Blue);
    }
}

std::vector<unsigned char> encode_point(const PointRecord& point, unsigned format) {
    std::vector<unsigned char> bytes(checked_record_size(format));
    encode_point_into(point, format, bytes.data());
    return bytes;
}

PointRecord decode_point(const unsigned char* b, unsigned format) {
    checked_record_size(format);
    PointRecord p;
    p.X = load_i32le(b);
    p.Y = load_i32le(b + 4);
    p.Z = load_i32le(b + 8);
    p.Intensity = load_u16le(b + 12);
    p.bitfield = b[14];
    p.Classification = b[15];
    p.ScanAngleRank = b[16];
    p.UserData = b[17];
    p.PointSourceID = load_u16le(b + 18);
    if (format == 1 || format == 3) p.GPSTime = load_f64le(b + 20);
    if (format == 2 || format == 3) {
        const unsigned char* rgb = b + (format == 2 ? 20 : 28);
        p.Red = load_u16le(rgb);
        p.Green = load_u16le(rgb + 2);
        p.Blue = load_u16le(rgb + 4);
    }
    return p;
}

std::vector<unsigned char> pre_point_bytes(const LasFileSpec& spec) {
    std::vector<unsigned char> out(spec.header_extension);
    for (const auto& vlr : spec.vlrs) append_vlr(out, vlr, spec.VersionMinor);
    out.insert(out.end(), spec.pre_point_padding.begin(), spec.pre_point_padding.end());
    return out;
}

LAS12Header make_header(const LasFileSpec& spec, const std::vector<PointRecord>& points) {
    LAS12Header h = layout_header(spec);
    PointTally tally;
    for (const auto& p : points) tally.add(p.X, p.Y, p.Z, p.bitfield);
    apply_tally(h, tally);
    return h;
}

void write_las_file(const std::string& path, const LasFileSpec& spec,
                    const std::vector<PointRecord>& points) {
    write_las_file(path, spec, make_header(spec, points), points);
}

void write_las_file(const std::string& path, const LasFileSpec& spec, const LAS12Header& header,
                    const std::vector<PointRecord>& points) {
    const std::size_t size = points.empty() ? 0 : checked_record_size(spec.PointDataFormatID);
    const std::vector<unsigned char> between = pre_point_bytes(spec);
    OutputFile out(path);
    write_header(out, header);
    out.write(between.data(), between.size());
    std::vector<unsigned char> block(std::min(points.size(), kBlockPoints) * size);
    for (std::size_t first = 0; first < points.size(); first += kBlockPoints) {
        std::size_t n = std::min(kBlockPoints, points.size() - first);
        for (std::size_t i = 0; i < n; ++i)
            encode_point_into(points[first + i], spec.PointDataFormatID, block.data() + i * size);
        out.write(block.data(), n * size);
    }
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
    const std::size_t size = point_record_size(format);
    std::vector<unsigned char> block(kBlockPoints * size);
    std::size_t in_block = 0;
    Random rng{spec.seed * 0xD1B54A32D192ED03ULL + (s.index + 1) * 0x8CB92BA72F3D8DD7ULL};
    const double duration = spec.width / kFlightSpeed;
    const double strip_start = kWeekStart + s.index * kStripInterval;
    const double x_max = spec.origin_x + spec.width, y_max = spec.origin_y + spec.height;

    PointRecord p;
    p.PointSourceID = static_cast<std::uint16_t>(s.index + 1);
    p.UserData = 0;
    unsigned long long done = 0;
    while (done < s.points) {
        // Pulse position: the along-track share follows the point count, the
        // across-track position follows the zigzag sweep.
        double along = static_cast<double>(done) / static_cast<double>(s.points);
        double sweep = along * s.scan_lines;
        double phase = sweep - std::floor(sweep);
        bool forward = static_cast<long long>(std::floor(sweep)) % 2 == 0;
        double across = forward ? phase : 1.0 - phase;  // 0 = south edge of the strip
        bool edge = phase < s.edge_band || phase > 1.0 - s.edge_band;

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
            returns = 2 + static_cast<unsigned>(u * u * 4.0);
        }
        returns = static_cast<unsigned>(std::min<unsigned long long>(returns, s.points - done));

        double angle = (2.0 * across - 1.0) * kMaxScanAngle;
        p.ScanAngleRank = static_cast<std::uint8_t>(static_cast<std::int8_t>(std::lround(angle)));
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
                static_cast<std::uint8_t>(r | returns << 3 | (forward ? 0x40 : 0) | (edge ? 0x80 : 0));
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
            } else {
                p.Red = to_u16(58.0 * shade * 256.0);
                p.Green = to_u16(112.0 * shade * 256.0);
                p.Blue = to_u16(46.0 * shade * 256.0);
            }
            encode_point_into(p, format, block.data() + in_block * size);
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

LasFileSpec strip_file_spec(const SurveySpec& spec, unsigned strip) {
    LasFileSpec f;
    f.VersionMajor = 1;
    f.VersionMinor = spec.VersionMinor;
    f.PointDataFormatID = spec.PointDataFormatID;
    f.XScaleFactor = spec.XScaleFactor;
    f.YScaleFactor = spec.YScaleFactor;
    f.ZScaleFactor = spec.ZScaleFactor;
    f.XOffset = spec.XOffset;
    f.YOffset = spec.YOffset;
    f.ZOffset = spec.ZOffset;
    // Version 1.0 reserves the bytes that later versions use for the source ID.
    f.FileSourceID = spec.VersionMinor == 0 ? 0 : static_cast<std::uint16_t>(strip + 1);
    if (spec.with_vlrs) {
        f.vlrs.push_back(projection_vlr());
        f.vlrs.push_back(description_vlr(spec, strip));
    }
    return f;
}

void check_survey_spec(const SurveySpec& spec) {
    if (spec.files == 0) throw std::invalid_argument("a survey needs at least one file");
    if (spec.files > std::numeric_limits<std::uint16_t>::max())
        throw std::invalid_argument("too many files for 16-bit point source IDs");
    if (spec.VersionMinor > 2) throw std::invalid_argument("version must be 1.0, 1.1 or 1.2");
    checked_record_size(spec.PointDataFormatID);
    if (spec.points / spec.files >= std::numeric_limits<std::uint32_t>::max())
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
void write_block(OutputFile& out, PointTally& tally, const unsigned char* data, std::size_t n,
                 std::size_t size) {
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char* rec = data + i * size;
        tally.add(load_i32le(rec), load_i32le(rec + 4), load_i32le(rec + 8), rec[14]);
    }
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
    unsigned char held[64];
    for (std::size_t k = records.size() / size; k > 1; --k) {
        const std::size_t j = static_cast<std::size_t>(rng.next() % k);
        unsigned char* a = records.data() + (k - 1) * size;
        unsigned char* b = records.data() + j * size;
        std::memcpy(held, a, size);
        std::memcpy(a, b, size);
        std::memcpy(b, held, size);
    }
    return records;
}

// Writes one strip file: a header with zero counts first, the points in
// blocks, then the header again with the final counts and bounds.
void write_strip(const SurveySpec& spec, unsigned strip, const std::string& path) {
    const LasFileSpec file_spec = strip_file_spec(spec, strip);
    LAS12Header header = layout_header(file_spec);
    const std::vector<unsigned char> between = pre_point_bytes(file_spec);
    OutputFile out(path);
    write_header(out, header);
    out.write(between.data(), between.size());
    PointTally tally;
    const StripLayout layout = lay_strip(spec, strip);
    if (spec.order == RecordOrder::random) {
        const std::vector<unsigned char> records = shuffled_strip(spec, layout);
        const std::size_t size = point_record_size(spec.PointDataFormatID);
        write_block(out, tally, records.data(), records.size() / size, size);
    } else {
        generate_strip(spec, layout, [&](const unsigned char* data, std::size_t n, std::size_t size) {
            write_block(out, tally, data, n, size);
        });
    }
    apply_tally(header, tally);
    out.rewind_to_start();
    write_header(out, header);
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
                           for (std::size_t i = 0; i < n; ++i) {
                               const unsigned char* rec = data + i * size;
                               all.add(load_i32le(rec), load_i32le(rec + 4), load_i32le(rec + 8), rec[14]);
                           }
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
    LAS12Header header{};
    PointTally tally;
};

// Generates the strips again and writes every point to the file of its tile.
std::vector<std::string> write_tiled_survey(const SurveySpec& spec) {
    const Tile t = lay_survey_tiles(spec);
    const LasFileSpec file_spec = strip_file_spec(spec, 0);
    const std::vector<unsigned char> between = pre_point_bytes(file_spec);
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
                        write_header(*tf.out, tf.header);
                        tf.out->write(between.data(), between.size());
                    }
                    write_block(*tf.out, tf.tally, rec, 1, size);
                }
            });
    }
    std::vector<std::string> paths;
    for (unsigned r = 0; r < t.Rows; ++r) {
        for (unsigned c = 0; c < t.Cols; ++c) {
            TileFile& tf = tiles[static_cast<std::size_t>(r) * t.Cols + c];
            if (!tf.out) continue;
            apply_tally(tf.header, tf.tally);
            tf.out->rewind_to_start();
            write_header(*tf.out, tf.header);
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
    std::string list_text;
    for (const std::string& path : paths) list_text += path + "\n";
    OutputFile list(spec.directory + "/" + spec.list_name);
    list.write(list_text.data(), list_text.size());
    list.close();
    return paths;
}

}  // namespace tessaro::survey
