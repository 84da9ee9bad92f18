// tessaro_gensurvey: writes a sample airborne survey (overlapping flight-line
// strips of LAS files) and the list file that names them.

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "survey_writer.hpp"

namespace {

constexpr const char* kUsage =
    "Usage: tessaro_gensurvey --dir DIR [options]\n"
    "\n"
    "Writes a sample airborne LiDAR survey: FILES overlapping east-west flight-line\n"
    "strips, one LAS file each, named DIR/STEM_NN.las (NN from 01), and a list file\n"
    "DIR/NAME with one file path per line. The same options and seed always give\n"
    "the same bytes.\n"
    "\n"
    "Options:\n"
    "  --dir DIR          output directory, created if missing (required)\n"
    "  --list NAME        name of the list file in DIR (default survey.txt)\n"
    "  --stem S           file name stem (default strip)\n"
    "  --files N          number of strips / files, at least 1 (default 4)\n"
    "  --points N         points in all files together (default 200000)\n"
    "  --version V        LAS version 1.0, 1.1, 1.2, 1.3 or 1.4 (default 1.2)\n"
    "  --format F         point data format 0 to 3, or 6 to 8 with --version 1.4\n"
    "                     (default 1)\n"
    "  --extra-bytes N    N bytes after the standard fields of every record, with\n"
    "                     values derived from the point, described by an Extra\n"
    "                     Bytes VLR (default 0)\n"
    "  --undescribed      no Extra Bytes VLR describes the extra bytes\n"
    "  --evlrs N          N extended VLRs after the points of every file (LAS 1.4):\n"
    "                     the first holds the strip's trajectory (65600 bytes), the\n"
    "                     others a note (default 0)\n"
    "  --wkt W            the coordinate system as an OGC WKT record (LAS 1.4), in a\n"
    "                     VLR (vlr) or an EVLR (evlr); sets the global encoding's\n"
    "                     WKT bit\n"
    "  --scale S          X, Y and Z scale factor (default 0.01)\n"
    "  --offset-x X       X offset (default: the origin X)\n"
    "  --offset-y Y       Y offset (default: the origin Y)\n"
    "  --offset-z Z       Z offset (default 0)\n"
    "  --origin-x X       west edge of the surveyed area (default 500000)\n"
    "  --origin-y Y       south edge of the surveyed area (default 4000000)\n"
    "  --width W          east-west extent in metres (default 2000)\n"
    "  --height H         north-south extent in metres (default 2000)\n"
    "  --vlrs             add a projection VLR and a text description VLR to every file;\n"
    "                     the projection is a GeoKeyDirectory, or OGC WKT for formats\n"
    "                     6 to 8 and with --wkt\n"
    "  --seed N           seed of the pseudo-random stream (default 1)\n"
    "  --order O          order of the point records: scan (as the scanner recorded\n"
    "                     them), random (each strip shuffled; a strip is held in\n"
    "                     memory) or tiled (one file per tile of side --tile-size,\n"
    "                     named DIR/STEM_R<row>C<col>.las) (default scan)\n"
    "  --tile-size T      tile side of --order tiled (default 250)\n"
    "  --laz              compress every file (LAZ, named STEM_NN.laz)\n"
    "  --chunk-points N   points in each chunk of a LAZ file (default 50000)\n"
    "  --help             show this text\n";

// A command-line mistake: the message is printed with a hint at --help.
struct UsageError {
    std::string message;
};

unsigned long long parse_unsigned(std::string_view option, std::string_view word, unsigned long long max) {
    unsigned long long value = 0;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc() || end != word.data() + word.size() || value > max)
        throw UsageError{std::string(option) + " needs a whole number up to " + std::to_string(max) +
                         ", not '" + std::string(word) + "'"};
    return value;
}

double parse_double(std::string_view option, const std::string& word) {
    errno = 0;
    char* end = nullptr;
    double value = std::strtod(word.c_str(), &end);
    if (word.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(value))
        throw UsageError{std::string(option) + " needs a finite number, not '" + word + "'"};
    return value;
}

double parse_positive(std::string_view option, const std::string& word) {
    double value = parse_double(option, word);
    if (!(value > 0.0)) throw UsageError{std::string(option) + " must be positive, not '" + word + "'"};
    return value;
}

std::uint8_t parse_version_minor(const std::string& word) {
    if (word == "1.0") return 0;
    if (word == "1.1") return 1;
    if (word == "1.2") return 2;
    if (word == "1.3") return 3;
    if (word == "1.4") return 4;
    throw UsageError{"--version must be 1.0, 1.1, 1.2, 1.3 or 1.4, not '" + word + "'"};
}

struct Options {
    tessaro::survey::SurveySpec spec;
    bool have_dir = false;
    bool help = false;
};

Options parse_options(int argc, char** argv) {
    Options o;
    std::optional<double> offset_x, offset_y;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            o.help = true;
            return o;
        }
        if (option == "--vlrs") {
            o.spec.with_vlrs = true;
            continue;
        }
        if (option == "--undescribed") {
            o.spec.describe_extra_bytes = false;
            continue;
        }
        if (option == "--laz") {
            o.spec.laz = true;
            continue;
        }
        if (i + 1 >= argc) throw UsageError{"unknown option or missing value: " + option};
        const std::string value = argv[++i];
        auto& s = o.spec;
        if (option == "--dir") {
            if (value.empty()) throw UsageError{"--dir needs a directory name"};
            s.directory = value;
            o.have_dir = true;
        } else if (option == "--list") {
            if (value.empty() || value.find('/') != std::string::npos)
                throw UsageError{"--list needs a plain file name, not '" + value + "'"};
            s.list_name = value;
        } else if (option == "--stem") {
            if (value.empty() || value.find('/') != std::string::npos)
                throw UsageError{"--stem needs a plain name, not '" + value + "'"};
            s.file_stem = value;
        } else if (option == "--files") {
            s.files = static_cast<unsigned>(parse_unsigned(option, value, 65535));
            if (s.files == 0) throw UsageError{"--files must be at least 1"};
        } else if (option == "--points") {
            s.points = parse_unsigned(option, value, 1'000'000'000'000ULL);
        } else if (option == "--version") {
            s.VersionMinor = parse_version_minor(value);
        } else if (option == "--format") {
            s.PointDataFormatID = static_cast<std::uint8_t>(parse_unsigned(option, value, 8));
            if (s.PointDataFormatID == 4 || s.PointDataFormatID == 5)
                throw UsageError{"--format must be 0 to 3 or 6 to 8, not '" + value + "'"};
        } else if (option == "--extra-bytes") {
            s.extra_bytes = static_cast<unsigned>(parse_unsigned(option, value, 65535));
        } else if (option == "--evlrs") {
            s.evlrs = static_cast<unsigned>(parse_unsigned(option, value, 65535));
        } else if (option == "--wkt") {
            if (value == "vlr")
                s.wkt = tessaro::survey::WktPlace::vlr;
            else if (value == "evlr")
                s.wkt = tessaro::survey::WktPlace::evlr;
            else
                throw UsageError{"--wkt must be vlr or evlr, not '" + value + "'"};
        } else if (option == "--scale") {
            s.XScaleFactor = s.YScaleFactor = s.ZScaleFactor = parse_positive(option, value);
        } else if (option == "--offset-x") {
            offset_x = parse_double(option, value);
        } else if (option == "--offset-y") {
            offset_y = parse_double(option, value);
        } else if (option == "--offset-z") {
            s.ZOffset = parse_double(option, value);
        } else if (option == "--origin-x") {
            s.origin_x = parse_double(option, value);
        } else if (option == "--origin-y") {
            s.origin_y = parse_double(option, value);
        } else if (option == "--width") {
            s.width = parse_positive(option, value);
        } else if (option == "--height") {
            s.height = parse_positive(option, value);
        } else if (option == "--order") {
            if (value == "scan")
                s.order = tessaro::survey::RecordOrder::scan;
            else if (value == "random")
                s.order = tessaro::survey::RecordOrder::random;
            else if (value == "tiled")
                s.order = tessaro::survey::RecordOrder::tiled;
            else
                throw UsageError{"--order must be scan, random or tiled, not '" + value + "'"};
        } else if (option == "--tile-size") {
            s.tile_size = parse_positive(option, value);
        } else if (option == "--chunk-points") {
            s.laz_chunk_points = static_cast<std::uint32_t>(parse_unsigned(option, value, 0xFFFFFFFFULL));
            if (s.laz_chunk_points == 0) throw UsageError{"--chunk-points must be at least 1"};
        } else if (option == "--seed") {
            s.seed = static_cast<std::uint32_t>(parse_unsigned(option, value, 0xFFFFFFFFULL));
        } else {
            throw UsageError{"unknown option: " + option};
        }
    }
    if (!o.have_dir) throw UsageError{"--dir is required"};
    o.spec.XOffset = offset_x.value_or(o.spec.origin_x);
    o.spec.YOffset = offset_y.value_or(o.spec.origin_y);
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = parse_options(argc, argv);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "tessaro_gensurvey: %s\nTry 'tessaro_gensurvey --help'.\n", e.message.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const auto& spec = options.spec;
    try {
        auto paths = tessaro::survey::generate_survey(spec);
        unsigned long long bytes = 0;
        for (const auto& path : paths) bytes += std::filesystem::file_size(path);
        std::printf("Wrote %zu files, %llu points, %llu bytes\nList file: %s/%s\n", paths.size(), spec.points,
                    bytes, spec.directory.c_str(), spec.list_name.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessaro_gensurvey: %s\n", e.what());
        return 1;
    }
    return 0;
}
