#include "tiling_support.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tessaro::test {

survey::PointRecord point_at(double x, double y, double z, unsigned return_number, unsigned seed) {
    survey::PointRecord p;
    p.X = static_cast<std::int32_t>(std::llround(x * 100.0));
    p.Y = static_cast<std::int32_t>(std::llround(y * 100.0));
    p.Z = static_cast<std::int32_t>(std::llround(z * 100.0));
    p.Intensity = static_cast<std::uint16_t>(seed * 7919U + 13U);
    p.bitfield = static_cast<std::uint8_t>((return_number & 7U) | (((return_number & 7U) ? 5U : 1U) << 3));
    p.Classification = static_cast<std::uint8_t>(seed % 32U);
    p.ScanAngleRank = static_cast<std::uint8_t>(seed * 3U);
    p.UserData = static_cast<std::uint8_t>(seed >> 8);
    p.PointSourceID = static_cast<std::uint16_t>(seed >> 4);
    p.GPSTime = 1000.0 + seed * 0.25;
    p.Red = static_cast<std::uint16_t>(seed * 31U);
    p.Green = static_cast<std::uint16_t>(seed * 37U);
    p.Blue = static_cast<std::uint16_t>(seed * 41U);
    return p;
}

survey::LasFileSpec file_spec(unsigned version_minor, unsigned format, bool extras) {
    survey::LasFileSpec spec;
    spec.VersionMinor = static_cast<std::uint8_t>(version_minor);
    spec.PointDataFormatID = static_cast<std::uint8_t>(format);
    spec.XScaleFactor = spec.YScaleFactor = spec.ZScaleFactor = 0.01;
    spec.XOffset = spec.YOffset = spec.ZOffset = 0.0;
    if (extras) {
        spec.header_extension = {0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6};
        survey::VariableLengthRecord projection;
        projection.UserID = "LASF_Projection";
        projection.RecordID = 34735;
        projection.Description = "GeoKeyDirectoryTag";
        projection.payload = {1, 0, 1, 0, 0, 0, 1, 0, 0x00, 0x04, 0, 0, 1, 0, 2, 0};
        survey::VariableLengthRecord text;
        text.UserID = "Tessaro tests";
        text.RecordID = 7;
        text.Description = "free text";
        const std::string words = "tiles keep the variable length records of their creating file";
        text.payload.assign(words.begin(), words.end());
        spec.vlrs = {projection, text};
        spec.pre_point_padding = {0xDD, 0xCC};
    }
    return spec;
}

std::vector<survey::PointRecord> cloud(std::size_t n, double x0, double y0, double x1, double y1,
                                       unsigned seed) {
    std::uint64_t state = 0x243F6A8885A308D3ULL ^ seed;
    auto next = [&state]() {
        state += 0x9E3779B97F4A7C15ULL;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    };
    const auto cx = static_cast<std::uint64_t>(std::llround((x1 - x0) * 100.0));
    const auto cy = static_cast<std::uint64_t>(std::llround((y1 - y0) * 100.0));
    std::vector<survey::PointRecord> points;
    points.reserve(n);
    for (std::size_t k = 0; k < n; ++k) {
        const double x = x0 + static_cast<double>(next() % cx) / 100.0;
        const double y = y0 + static_cast<double>(next() % cy) / 100.0;
        const double z = static_cast<double>(next() % 50000) / 100.0;
        points.push_back(
            point_at(x, y, z, static_cast<unsigned>(next() % 8), seed * 100003U + static_cast<unsigned>(k)));
    }
    return points;
}

void write_list(const std::string& dir, const std::string& list, const std::vector<std::string>& names) {
    std::string text;
    for (const auto& n : names) text += n + "\n";
    write_file(dir + "/" + list, text);
}

namespace {

std::string number_word(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", v);
    std::string s = text;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
}

}  // namespace

std::vector<std::string> tessaro_args(const std::string& list, const std::string& prefix,
                                      const std::string& size, const RunOptions& options) {
    std::vector<std::string> args{list, prefix, size};
    if (options.resolution > 0) {
        args.push_back("-r");
        args.push_back(number_word(options.resolution));
    }
    if (options.buffer > 0) {
        args.push_back("-b");
        args.push_back(number_word(options.buffer));
    }
    return args;
}

verify::ConservationReport verify_tiles(const std::string& dir, const std::string& list,
                                        const std::string& prefix, double tile_size,
                                        const RunOptions& options) {
    verify::ConservationRequest rq;
    rq.list_file = list;
    rq.tile_prefix = prefix;
    rq.tile_size = tile_size;
    rq.buffer = options.buffer;
    rq.snap = options.resolution > 0;
    rq.resolution = options.resolution;
    rq.directory = dir;
    rq.unbounded = options.unbounded;
    return verify::check_conservation(rq);
}

CheckedRun run_and_verify(const std::string& dir, const std::string& list, const std::string& prefix,
                          double tile_size, const RunOptions& options) {
    CheckedRun out;
    const std::vector<std::string> args = tessaro_args(list, prefix, number_word(tile_size), options);
    out.run = options.unbounded ? run_program(TESSARO_UNBOUNDED_BIN, args, dir) : run_tessaro(args, dir);
    out.check = verify_tiles(dir, list, prefix, tile_size, options);
    return out;
}

std::vector<std::string> files_with_stem(const std::string& dir, const std::string& stem) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.size() >= stem.size() + 4 && name.compare(0, stem.size(), stem) == 0 &&
            name.compare(name.size() - 4, 4, ".las") == 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

LasContent read_las(const std::string& path) {
    const std::string bytes = read_file(path);
    if (bytes.size() < kHeaderBytes) throw std::runtime_error("no LAS header in " + path);
    LasContent c;
    c.las = survey::decode_header(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    c.header = c.las.base;
    const bool v14 = c.header.VersionMinor >= 4;
    c.points = v14 ? c.las.NumberOfPointRecords : c.header.NumberOfPointReturns;
    std::size_t end = bytes.size();
    const std::uint64_t evlrs = c.las.StartOfFirstExtendedVariableLengthRecord;
    if (v14 && c.las.NumberOfExtendedVariableLengthRecords != 0 && evlrs >= c.header.OffsetToData)
        end = static_cast<std::size_t>(std::min<std::uint64_t>(evlrs, end));
    const std::size_t len = c.header.PointDataRecordLength;
    for (std::size_t at = c.header.OffsetToData; len != 0 && at + len <= end; at += len)
        c.records.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                               bytes.begin() + static_cast<std::ptrdiff_t>(at + len));
    return c;
}

}  // namespace tessaro::test
