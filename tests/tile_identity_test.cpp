// The same surveys give the same bytes on every processor and build: one run
// per LAS version and point format of that version, each with variable-length records, a
// buffer and the tile index, and checksums of its inputs and outputs compared
// with those that the x86-64 build recorded in tests/tile_identity.txt.
// Builds for other processors (big-endian s390x, arm64 with its unsigned
// char) and the build without SSE2 arithmetic run the same test.
//
// After a deliberate change of what tessaro writes, record the checksums anew
// on x86-64 with
//   TESSARO_RECORD_IDENTITY=1 build/tests/tile_identity_test
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run_binary.hpp"
#include "survey_writer.hpp"

using namespace tessaro;
using tessaro::test::RunResult;
using tessaro::test::TempDir;

namespace {

const std::string kRecorded = std::string(TESSARO_SOURCE_DIR) + "/tests/tile_identity.txt";

// FNV-1a, 64 bits: enough to tell files apart that should be equal.
struct Checksum {
    std::uint64_t value = 0xcbf29ce484222325ULL;
    void add(const std::string& bytes) {
        for (const char c : bytes) value = (value ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
        value = (value ^ 0xffU) *
                0x100000001b3ULL;  // a separator, so that names and contents do not run together
    }
    std::string hex() const {
        char text[17];
        std::snprintf(text, sizeof text, "%016" PRIx64, value);
        return text;
    }
};

// Count and checksum of the files in `dir` whose names end in one of
// `extensions`, taken in name order; `listing` gets a line per file.
std::string checksum_of(const std::string& dir, const std::vector<std::string>& extensions,
                        std::string& listing) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string ext = e.path().extension().string();
        if (std::find(extensions.begin(), extensions.end(), ext) != extensions.end())
            names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    Checksum all;
    for (const std::string& name : names) {
        Checksum one;
        one.add(test::read_file(dir + "/" + name));
        listing += "  " + one.hex() + " " + name + "\n";
        all.add(name);
        all.add(one.hex());
    }
    return std::to_string(names.size()) + " " + all.hex();
}

// The line of one run: "1.2-3 inputs <n> <sum> outputs <n> <sum>". The input
// LAS files (not the list, which names the temporary directory), then the tile
// files and the tile index; a projection file comes from PROJ's database and
// is left out.
std::string identity_line(unsigned minor, unsigned format, std::string& listing) {
    TempDir dir;
    survey::SurveySpec spec;
    spec.directory = dir.path;
    spec.files = 3;
    spec.points = 6000;
    spec.width = 620;
    spec.height = 410;
    spec.VersionMinor = static_cast<std::uint8_t>(minor);
    spec.PointDataFormatID = static_cast<std::uint8_t>(format);
    spec.with_vlrs = true;
    spec.seed = 11 + format;
    survey::generate_survey(spec);
    std::filesystem::create_directory(dir.file("tiles"));
    // Every other run snaps the extent to a raster as well.
    std::vector<std::string> args = {dir.file("survey.txt"), "tiles/T", "100", "-b", "7.5", "-s"};
    if (format % 2 == 1) args.insert(args.end(), {"-r", "3.5"});
    const RunResult r = test::run_tessaro(args, dir.path);
    EXPECT_EQ(r.status, 0) << r.output;

    const std::string name = "1." + std::to_string(minor) + "-" + std::to_string(format);
    listing += name + "\n";
    const std::string inputs = checksum_of(dir.path, {".las"}, listing);
    const std::string outputs = checksum_of(dir.file("tiles"), {".las", ".shp", ".shx", ".dbf"}, listing);
    return name + " inputs " + inputs + " outputs " + outputs;
}

std::vector<std::string> recorded_lines() {
    std::vector<std::string> lines;
    std::ifstream in(kRecorded);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') lines.push_back(line);
    return lines;
}

}  // namespace

TEST(TileIdentity, EveryVersionAndFormatGivesTheRecordedBytes) {
    std::vector<std::string> lines;
    std::string listing;
    // Versions 1.0 and 1.1 know point formats 0 and 1 only.
    for (unsigned minor = 0; minor <= 2; ++minor)
        for (unsigned format = 0; format <= (minor == 2 ? 3U : 1U); ++format)
            lines.push_back(identity_line(minor, format, listing));

    if (std::getenv("TESSARO_RECORD_IDENTITY") != nullptr) {
#if !defined(__x86_64__)
        FAIL() << "the checksums are recorded by the x86-64 build";
#endif
        std::ofstream out(kRecorded, std::ios::trunc);
        out << "# Checksums of the inputs and outputs of tile_identity_test, recorded by the\n"
               "# x86-64 build: version-format, then count and checksum of the input files\n"
               "# and of the tile and tile-index files.\n";
        for (const std::string& line : lines) out << line << "\n";
        ASSERT_TRUE(out.flush()) << kRecorded;
        return;
    }
    const std::vector<std::string> recorded = recorded_lines();
    EXPECT_EQ(recorded, lines) << "files of each run, with their checksums:\n" << listing;
}
