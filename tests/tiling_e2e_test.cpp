// End-to-end tests of the tiler: small surveys written point by point, cut by
// the real binary, and checked by the conservation check and by hand.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tiling_support.hpp"

using namespace tessaro;
using namespace tessaro::test;
using survey::PointRecord;

namespace {

// Stored X and Y of a record: the tests place points on the 0.01 grid.
std::pair<std::int32_t, std::int32_t> xy_of(const std::vector<unsigned char>& rec) {
    return {load_i32le(rec.data()), load_i32le(rec.data() + 4)};
}

std::pair<std::int32_t, std::int32_t> xy_of(double x, double y) {
    const PointRecord p = point_at(x, y);
    return {p.X, p.Y};
}

using TileContents = std::map<std::string, std::vector<std::pair<double, double>>>;

// Every tile file with stem `stem` in `dir` holds exactly the listed points,
// in this order, and no other tile file exists.
void expect_tiles(const std::string& dir, const std::string& stem, const TileContents& want) {
    std::vector<std::string> names;
    for (const auto& [name, points] : want) names.push_back(stem + name);
    EXPECT_EQ(files_with_stem(dir, stem), names);
    for (const auto& [name, points] : want) {
        SCOPED_TRACE(name);
        const LasContent c = read_las(dir + "/" + stem + name);
        ASSERT_EQ(c.records.size(), points.size());
        EXPECT_EQ(+c.header.NumberOfPointReturns, points.size());
        for (std::size_t k = 0; k < points.size(); ++k)
            EXPECT_EQ(xy_of(c.records[k]), xy_of(points[k].first, points[k].second)) << "record " << k;
    }
}

void expect_sound(const CheckedRun& r) {
    EXPECT_EQ(r.run.status, 0) << r.run.output;
    EXPECT_TRUE(r.check.ok) << r.check.message << "\n" << r.run.output;
}

std::vector<PointRecord> points_at(const std::vector<std::pair<double, double>>& xy) {
    std::vector<PointRecord> out;
    unsigned seed = 1;
    for (auto [x, y] : xy) out.push_back(point_at(x, y, 50.0 + seed, 1 + seed % 5, seed)), ++seed;
    return out;
}

struct FormatCase {
    unsigned minor, format;
};
constexpr FormatCase kFormats[] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}, {2, 2}, {2, 3}};

TEST(TilingEndToEnd, EveryVersionFormatAndOptionSetConservesRecords) {
    const RunOptions option_sets[] = {{0, 0}, {3, 0}, {0, 1}, {3, 1}};
    for (const FormatCase& f : kFormats) {
        SCOPED_TRACE("LAS 1." + std::to_string(f.minor) + " format " + std::to_string(f.format));
        TempDir dir;
        survey::write_las_file(dir.file("west.las"), file_spec(f.minor, f.format, true),
                               cloud(400, 0.37, 0.21, 100, 60, 1));
        survey::write_las_file(dir.file("east.las"), file_spec(f.minor, f.format, true),
                               cloud(300, 40, 30, 129.83, 89.47, 2));
        write_list(dir.path, "list.txt", {"west.las", "east.las"});
        for (unsigned k = 0; k < std::size(option_sets); ++k) {
            const RunOptions& o = option_sets[k];
            SCOPED_TRACE("buffer " + std::to_string(o.buffer) + " resolution " +
                         std::to_string(o.resolution));
            const std::string prefixes[] = {"T0_", "T1_", "T2_", "T3_"};
            const CheckedRun r = run_and_verify(dir.path, "list.txt", prefixes[k], 25, o);
            expect_sound(r);
            EXPECT_EQ(r.check.records, 700U);
            EXPECT_EQ(r.check.copies > 0, o.buffer > 0);
        }
    }
}

// Tile side 8 and buffer 2 (a quarter of a tile); the data run from 2 to 30,
// so the buffered grid has its origin at 0 and edges at 0, 8, 16, 24, 32.
TEST(TilingEndToEnd, RecordsOnEdgesAndAtExactlyTheBufferDistance) {
    TempDir dir;
    const std::vector<std::pair<double, double>> xy = {
        {2, 2},        // corner of the grid: one tile
        {30, 30},      // last tile, 2 from its left and lower edges: no copy
        {6.5, 12},     // 1.5 left of an edge: copied right
        {6, 12},       // exactly 2 left of an edge: not copied
        {10, 12},      // exactly 2 right of an edge: not copied
        {9.5, 12},     // 1.5 right of an edge: copied left
        {16, 20},      // on a column boundary: the right tile, copied left
        {7, 7},        // upper-right corner: four tiles
        {23.5, 8.25},  // lower-right corner: four tiles
        {12, 14},      // exactly 2 below an edge: not copied
    };
    survey::write_las_file(dir.file("edges.las"), file_spec(2, 0, false), points_at(xy));
    write_list(dir.path, "list.txt", {"edges.las"});
    const CheckedRun r = run_and_verify(dir.path, "list.txt", "E_", 8, {2, 0});
    expect_sound(r);
    EXPECT_EQ(r.check.copies, 9U);
    expect_tiles(dir.path, "E_",
                 {
                     {"R1C1.las", {{2, 2}, {7, 7}}},
                     {"R1C2.las", {{7, 7}}},
                     {"R1C3.las", {{23.5, 8.25}}},
                     {"R1C4.las", {{23.5, 8.25}}},
                     {"R2C1.las", {{6.5, 12}, {6, 12}, {9.5, 12}, {7, 7}}},
                     {"R2C2.las", {{6.5, 12}, {10, 12}, {9.5, 12}, {7, 7}, {12, 14}}},
                     {"R2C3.las", {{23.5, 8.25}}},
                     {"R2C4.las", {{23.5, 8.25}}},
                     {"R3C2.las", {{16, 20}}},
                     {"R3C3.las", {{16, 20}}},
                     {"R4C4.las", {{30, 30}}},
                 });
}

TEST(TilingEndToEnd, PointsOnTheNorthAndEastEdgeLandInTheLastRowAndColumn) {
    TempDir dir;
    survey::write_las_file(dir.file("edge.las"), file_spec(2, 1, false),
                           points_at({{0, 0}, {32, 32}, {32, 5}, {5, 32}, {16, 16}}));
    write_list(dir.path, "list.txt", {"edge.las"});
    const CheckedRun r = run_and_verify(dir.path, "list.txt", "N_", 8);
    expect_sound(r);
    // 32 / 8 is a whole number: the file's range is clamped to the 4 x 4 grid.
    EXPECT_NE(r.run.output.find("\nedge.las: 16 tiles\n"), std::string::npos) << r.run.output;
    expect_tiles(dir.path, "N_",
                 {
                     {"R1C1.las", {{0, 0}}},
                     {"R1C4.las", {{32, 5}}},
                     {"R3C3.las", {{16, 16}}},
                     {"R4C1.las", {{5, 32}}},
                     {"R4C4.las", {{32, 32}}},
                 });
}

TEST(TilingEndToEnd, FileWithoutPointsCreatesAndRemovesItsRange) {
    TempDir dir;
    survey::write_las_file(dir.file("south.las"), file_spec(2, 1, false), cloud(200, 0, 0, 100, 50, 3));
    const survey::LasFileSpec spec = file_spec(2, 1, true);
    LAS12Header empty = survey::make_header(spec, {});
    empty.MinX = 0;
    empty.MinY = 0;
    empty.MaxX = 99.99;
    empty.MaxY = 99.99;
    survey::write_las_file(dir.file("empty.las"), spec, empty, {});
    write_list(dir.path, "list.txt", {"south.las", "empty.las"});
    // A stale file of a tile in the empty file's range is created anew (and
    // so truncated), then removed because it stayed empty.
    write_file(dir.file("Z_R4C4.las"), "stale");
    const CheckedRun r = run_and_verify(dir.path, "list.txt", "Z_", 25);
    EXPECT_FALSE(file_exists(dir.file("Z_R4C4.las")));
    expect_sound(r);
    EXPECT_NE(r.run.output.find("\nempty.las: 16 tiles\n"), std::string::npos) << r.run.output;
    EXPECT_NE(r.run.output.find("\rProcessing 0 returns in file empty.las (2 / 2)\nDistributed to\n\n\r"),
              std::string::npos)
        << r.run.output;
    // Only the two southern rows, filled by south.las, have files.
    const std::vector<std::string> files = files_with_stem(dir.path, "Z_");
    EXPECT_EQ(files.size(), 8U);
    for (const std::string& f : files) EXPECT_TRUE(f.rfind("Z_R1", 0) == 0 || f.rfind("Z_R2", 0) == 0) << f;
}

// Text right-aligned in a field of `width`.
std::string right(const std::string& text, std::size_t width) {
    return std::string(width > text.size() ? width - text.size() : 0, ' ') + text;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find('\n', start)) != std::string::npos; start = at + 1)
        lines.push_back(text.substr(start, at - start));
    lines.push_back(text.substr(start));
    return lines;
}

TEST(TilingEndToEnd, ConsoleReportOfASmallRun) {
    TempDir dir;
    std::vector<PointRecord> one = cloud(6, 1, 1, 49, 49, 4);
    one.push_back(point_at(0, 0));
    const std::vector<PointRecord> east = cloud(1234, 50, 1, 99, 49, 5);
    one.insert(one.end(), east.begin(), east.end());
    std::vector<PointRecord> two = cloud(11, 51, 51, 99, 99, 6);
    two.push_back(point_at(100, 100));
    const std::vector<PointRecord> south = cloud(3, 51, 1, 99, 49, 7);
    two.insert(two.end(), south.begin(), south.end());
    survey::write_las_file(dir.file("one.las"), file_spec(2, 1, false), one);
    survey::write_las_file(dir.file("two.las"), file_spec(2, 1, false), two);
    write_list(dir.path, "list.txt", {"one.las", "two.las"});
    const CheckedRun r = run_and_verify(dir.path, "list.txt", "T_", 50);
    expect_sound(r);

    std::string want = banner();
    want += "- - - - - - - - - - - - - - - - - -\n\n";
    want += "All files in list.txt have consistent point location scale and offset\n\n";
    want += "Approximately 0.0 MB to be distributed in tiles\n";
    want += "\nTotal Number of Points in data: " + right("1256", 15) + "\n";
    want += "Min X in data:                  " + right("0.00", 18) + "\n";
    want += "Max X in data:                  " + right("100.00", 18) + "\n";
    want += "Min Y in data:                  " + right("0.00", 18) + "\n";
    want += "Max Y in data:                  " + right("100.00", 18) + "\n";
    want += "X Range:                        " + right("100.00", 18) + "\n";
    want += "Y Range:                        " + right("100.00", 18) + "\n";
    want += "\nTiling Information\n------------------\n";
    want += "X Min       " + right("0.00", 38) + "\n";
    want += "Y Min       " + right("0.00", 38) + "\n";
    want += "X Max       " + right("100.00", 38) + "\n";
    want += "Y Max       " + right("100.00", 38) + "\n";
    want += "Tile Rows  " + right("2", 36) + "\n";
    want += "Tile Cols  " + right("2", 36) + "\n";
    want += "# of Tiles  " + right("4", 35) + "\n";
    want += "\nTiles per laser file ...\n";
    want += "one.las:  2 tiles\n";
    want += "two.las:  2 tiles\n";
    want += "\n";
    want += "\rProcessing 1241 returns in file one.las (1 / 2)\n";
    want += "Distributed to\n";
    want += "T_R1C1.las (    7 returns )\n";
    want += "T_R1C2.las ( 1234 returns )\n";
    want += "\n";
    want += "\rProcessing 15 returns in file two.las (2 / 2)\n";
    want += "Distributed to\n";
    want += "T_R1C2.las (  3 returns )\n";
    want += "T_R2C2.las ( 12 returns )\n";
    want += "\n";
    want += "\r" + std::string(78, ' ');
    want += "\nElapsed time #.### seconds\n";

    const std::string got = std::regex_replace(
        r.run.output, std::regex("Elapsed time [0-9]+\\.[0-9]{3} seconds"), "Elapsed time #.### seconds");
    const std::vector<std::string> a = lines_of(got), b = lines_of(want);
    for (std::size_t k = 0; k < std::max(a.size(), b.size()); ++k)
        EXPECT_EQ(k < a.size() ? a[k] : "<none>", k < b.size() ? b[k] : "<none>") << "line " << k + 1;
    EXPECT_EQ(r.run.errors, "");
}

TEST(TilingEndToEnd, SpanCheckPasses99TilesAndRefuses100) {
    TempDir dir;
    // 9 rows by 11 columns of tile side 10.
    survey::write_las_file(dir.file("wide.las"), file_spec(2, 0, false), points_at({{0, 0}, {109, 89}}));
    write_list(dir.path, "wide.txt", {"wide.las"});
    const CheckedRun pass = run_and_verify(dir.path, "wide.txt", "W_", 10);
    expect_sound(pass);
    EXPECT_NE(pass.run.output.find("\nwide.las: 99 tiles\n"), std::string::npos) << pass.run.output;

    // 10 rows by 10 columns.
    survey::write_las_file(dir.file("square.las"), file_spec(2, 0, false), points_at({{0, 0}, {99, 99}}));
    write_list(dir.path, "square.txt", {"square.las"});
    const CheckedRun refused = run_and_verify(dir.path, "square.txt", "S_", 10);
    EXPECT_EQ(refused.run.status, 255);
    const std::string message =
        "\nTiles per laser file ...\n\nSpecified Tile Size (10.000) distributes contents of file square.las "
        "in more "
        "than 99 files. Make Tile Size coarser (larger)\n";
    ASSERT_GE(refused.run.output.size(), message.size());
    EXPECT_EQ(refused.run.output.substr(refused.run.output.size() - message.size()), message);
    EXPECT_TRUE(files_with_stem(dir.path, "S_").empty());
    EXPECT_TRUE(refused.check.ok && refused.check.refusal_expected) << refused.check.message;
}

TEST(TilingEndToEnd, RecordsOutsideTheirHeaderBoundsAreStillTiled) {
    TempDir dir;
    survey::write_las_file(dir.file("base.las"), file_spec(2, 1, false), cloud(300, 0, 0, 100, 100, 8));
    // Header bounds 40..60 square; points well outside them, one beyond the
    // whole grid on each side.
    std::vector<PointRecord> wild = cloud(50, 40, 40, 60, 60, 9);
    const std::vector<PointRecord> stray = points_at({{5, 95}, {95, 5}, {-20, 50}, {150, 150}, {50, -3}});
    wild.insert(wild.end(), stray.begin(), stray.end());
    const survey::LasFileSpec spec = file_spec(2, 1, false);
    LAS12Header h = survey::make_header(spec, wild);
    h.MinX = h.MinY = 40;
    h.MaxX = h.MaxY = 59.99;
    survey::write_las_file(dir.file("wild.las"), spec, h, wild);
    write_list(dir.path, "list.txt", {"base.las", "wild.las"});
    for (const RunOptions o : {RunOptions{0, 0}, RunOptions{4, 0}}) {
        SCOPED_TRACE(o.buffer);
        const CheckedRun r = run_and_verify(dir.path, "list.txt", o.buffer > 0 ? "B_" : "U_", 25, o);
        expect_sound(r);
        EXPECT_EQ(r.check.records, 355U);
        EXPECT_NE(r.run.output.find("\nWarning: 5 records of wild.las lie outside its header bounds\n"),
                  std::string::npos)
            << r.run.output;
    }
}

// A file whose header claims one corner while its records scatter over a
// 60 x 60 grid: 3600 tiles opened on demand, far more than the 128 files the
// process may open here. The files of the streams used least recently are
// closed and reopened for appending when they next write, so the run ends
// sound and the report counts every tile once.
TEST(TilingEndToEnd, RecordsScatteredOverManyTilesOutsideTheRangeNeedFewOpenFiles) {
    TempDir dir;
    const survey::LasFileSpec spec = file_spec(2, 0, false);
    survey::write_las_file(dir.file("sw.las"), spec, points_at({{0.5, 0.5}}));
    survey::write_las_file(dir.file("ne.las"), spec, points_at({{59.5, 59.5}}));
    std::vector<PointRecord> scattered = cloud(20000, 0, 0, 60, 60, 21);
    LAS12Header h = survey::make_header(spec, scattered);
    h.MinX = h.MinY = 0;
    h.MaxX = h.MaxY = 1.5;
    survey::write_las_file(dir.file("scattered.las"), spec, h, scattered);
    write_list(dir.path, "list.txt", {"sw.las", "ne.las", "scattered.las"});
    std::string command = "ulimit -n 128 && exec " + test::shell_command(TESSARO_BIN);
    for (const std::string& a : tessaro_args("list.txt", "S_", "1", RunOptions{0.2, 0}))
        command += " '" + a + "'";
    const RunResult run = run_program("/bin/sh", {"-c", command}, dir.path);
    ASSERT_EQ(run.status, 0) << run.output << run.errors;
    const verify::ConservationReport check = verify_tiles(dir.path, "list.txt", "S_", 1, RunOptions{0.2, 0});
    EXPECT_TRUE(check.ok) << check.message;
    const std::string second = run.output.substr(run.output.find("(3 / 3)"));
    std::size_t lines = 0;
    for (std::size_t at = second.find("\nS_R"); at != std::string::npos; at = second.find("\nS_R", at + 1))
        ++lines;
    EXPECT_EQ(lines, 3600U) << second.substr(0, 2000);
}

TEST(TilingEndToEnd, TilesKeepTheVariableLengthRecordsOfTheirCreatingFile) {
    TempDir dir;
    survey::write_las_file(dir.file("a.las"), file_spec(2, 3, true), cloud(100, 0, 0, 49, 49, 10));
    survey::write_las_file(dir.file("b.las"), file_spec(2, 3, false), cloud(100, 51, 0, 100, 49, 11));
    survey::LasFileSpec c_spec = file_spec(2, 3, true);
    c_spec.vlrs[1].payload.assign(300, 0x5A);
    c_spec.header_extension.clear();
    c_spec.SystemIdentifier = "last file";
    survey::write_las_file(dir.file("c.las"), c_spec, cloud(100, 30, 30, 100, 100, 12));
    write_list(dir.path, "list.txt", {"a.las", "b.las", "c.las"});
    const CheckedRun r = run_and_verify(dir.path, "list.txt", "V_", 50);
    expect_sound(r);
    const LAS12Header a = read_las(dir.file("a.las")).header;
    const LAS12Header c = read_las(dir.file("c.las")).header;
    const LAS12Header t11 = read_las(dir.file("V_R1C1.las")).header;  // created by a.las
    const LAS12Header t12 = read_las(dir.file("V_R1C2.las")).header;  // created by b.las
    const LAS12Header t22 = read_las(dir.file("V_R2C2.las")).header;  // created by c.las
    EXPECT_EQ(+t11.OffsetToData, +a.OffsetToData);
    EXPECT_EQ(+t11.HeaderSize, +a.HeaderSize);
    EXPECT_EQ(+t11.NumberOfVariableLengthRecords, 2U);
    EXPECT_EQ(+t12.OffsetToData, 227U);
    EXPECT_EQ(+t12.NumberOfVariableLengthRecords, 0U);
    EXPECT_EQ(+t22.OffsetToData, +c.OffsetToData);
    EXPECT_EQ(+t22.HeaderSize, 227U);
    EXPECT_EQ(std::string(t12.SystemIdentifier), "last file");
    expect_sound(run_and_verify(dir.path, "list.txt", "B_", 50, {3, 1}));
}

TEST(TilingEndToEnd, PrefixWithADirectoryPartPlacesTheTilesThere) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("out/sub"));
    survey::write_las_file(dir.file("in.las"), file_spec(1, 1, true), cloud(200, 0, 0, 60, 60, 13));
    write_list(dir.path, "list.txt", {"in.las"});
    const CheckedRun r = run_and_verify(dir.path, "list.txt", "out/sub/T_", 20, {2, 0});
    expect_sound(r);
    EXPECT_EQ(files_with_stem(dir.file("out/sub"), "T_").size(), r.check.tiles);
    EXPECT_TRUE(files_with_stem(dir.path, "T_").empty());
    EXPECT_NE(r.run.output.find("\nout/sub/T_R1C1.las ("), std::string::npos) << r.run.output;
}

// A run keeps state only for the tiles it touches, so a huge grid needs no
// more memory than the tiles in use. An address-space limit far below what
// per-tile tables of the whole grid would take stands in for a memory check;
// a sanitized build reserves more address space than that for itself, and
// an emulator for another processor more than that for its own start.
std::string memory_limited(const std::vector<std::string>& args) {
#if defined(__SANITIZE_ADDRESS__)
    const bool limited = false;
#else
    const bool limited = test::program_command(TESSARO_BIN).size() == 1;
#endif
    std::string command = limited ? "ulimit -v 262144; exec " : "exec ";
    command += test::shell_command(TESSARO_BIN);
    for (const std::string& a : args) command += " '" + a + "'";
    return command;
}

TEST(TilingEndToEnd, HugeGridIsRefusedByTheSpanCheckBeforeAnyPerTileState) {
    TempDir dir;
    // 560 m x 280 m by 0.1: 5600 x 2800 tiles, all in the one file's range.
    survey::write_las_file(dir.file("wide.las"), file_spec(2, 0, false), points_at({{0, 0}, {560, 280}}));
    write_list(dir.path, "list.txt", {"wide.las"});
    const RunResult r = run_program("/bin/sh", {"-c", memory_limited({"list.txt", "G_", "0.1"})}, dir.path);
    EXPECT_EQ(r.status, 255) << r.output;
    EXPECT_NE(r.output.find("# of Tiles                             15680000\n"), std::string::npos)
        << r.output;
    const std::string refusal =
        "\nTiles per laser file ...\n\nSpecified Tile Size (0.100) distributes contents of file wide.las in "
        "more than 99 files. Make Tile Size coarser (larger)\n";
    EXPECT_EQ(r.output.substr(r.output.size() - std::min(r.output.size(), refusal.size())), refusal);
    EXPECT_TRUE(files_with_stem(dir.path, "G_").empty());
}

// Two surveys 500 km apart in 40 m tiles: 10000 x 7500 outlines, whose main
// files would pass the 4 GiB a shapefile can hold. The run stops as soon as the
// grid is known, naming the first set it would write, and writes nothing.
TEST(TilingEndToEnd, TileIndexTooLargeForAShapefileIsRefusedBeforeAnyTile) {
    TempDir dir;
    survey::write_las_file(dir.file("west.las"), file_spec(2, 0, false), points_at({{0, 0}}));
    survey::write_las_file(dir.file("east.las"), file_spec(2, 0, false), points_at({{399990, 299990}}));
    write_list(dir.path, "list.txt", {"west.las", "east.las"});
    const RunResult r = run_tessaro({"list.txt", "I", "40", "-b", "1", "-s"}, dir.path);
    EXPECT_EQ(r.status, 255) << r.output;
    const std::string refusal =
        "# of Tiles                             75000000\n\nThe tile index I_Tiles_w_buffer.shp would take "
        "10200000100 bytes, more than the 4294967295 a shapefile can hold: use a larger tile size, or leave "
        "out -s\n";
    EXPECT_EQ(r.output.substr(r.output.size() - std::min(r.output.size(), refusal.size())), refusal);
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"east.las", "list.txt", "west.las"}));
}

TEST(TilingEndToEnd, CorridorOverAHugeGridKeepsStateOnlyForTheTilesInUse) {
    TempDir dir;
    // 26 blocks of 200 m x 200 m every 4 km along the diagonal of a 100 km
    // box, cut into 25 m tiles: a grid of some 4000 x 4000 tiles, of which
    // about 2000 receive points.
    std::vector<std::string> names;
    for (unsigned k = 0; k < 26; ++k) {
        const double at = 4000.0 * k;
        names.push_back("block" + std::to_string(k) + ".las");
        survey::write_las_file(dir.file(names.back()), file_spec(2, 1, false),
                               cloud(2000, at, at, at + 200, at + 200, k + 1));
    }
    write_list(dir.path, "list.txt", names);
    const RunResult r = run_program("/bin/sh", {"-c", memory_limited({"list.txt", "C_", "25"})}, dir.path);
    ASSERT_EQ(r.status, 0) << r.output;
    const std::size_t at = r.output.find("# of Tiles");
    ASSERT_NE(at, std::string::npos) << r.output;
    EXPECT_GT(std::stoull(r.output.substr(at + 10)), 16000000U) << r.output;
    const verify::ConservationReport check = verify_tiles(dir.path, "list.txt", "C_", 25);
    EXPECT_TRUE(check.ok) << check.message;
    EXPECT_EQ(check.records, 52000U);
    EXPECT_LT(check.tiles, 26U * 81U);
}

// LAS 1.3 and 1.4 surveys, and records with extra bytes, through
// tessaro_unbounded: every run ends sound and its tiles pass the check of
// tessaro_unbounded runs, while tessaro refuses the same list at its first
// file with the messages it has always printed for such files.
TEST(TilingEndToEnd, Las13And14AndExtraBytesRunsOfTheUnboundedTilerAreSoundAndTessaroRefusesThem) {
    using survey::RecordOrder;
    using survey::WktPlace;
    struct Kind {
        const char* what;
        unsigned minor, format, extra_bytes;
        bool describe;
        unsigned evlrs;
        WktPlace wkt;
        bool with_vlrs;
        RecordOrder order;
        double tile_size, buffer, resolution;
        // The last file's global encoding differs: in LAS 1.3 it claims
        // waveform packets, in LAS 1.4 it lacks the WKT bit of the others.
        bool last_encoding_differs = false;
    };
    const Kind kinds[] = {
        {"1.3 format 1, scan order, buffer, the last file with a waveform bit", 3, 1, 0, true, 0,
         WktPlace::none, true, RecordOrder::scan, 100, 5, 0, true},
        {"1.4 format 1, WKT VLR, the last file without the WKT bit", 4, 1, 0, true, 0, WktPlace::vlr, false,
         RecordOrder::scan, 100, 5, 0, true},
        {"1.3 format 3, described extra bytes, tiled order, buffer and snap", 3, 3, 6, true, 0,
         WktPlace::none, false, RecordOrder::tiled, 100, 4, 10},
        {"1.4 format 1, undescribed extra bytes, an EVLR, random order, snap", 4, 1, 3, false, 1,
         WktPlace::none, false, RecordOrder::random, 100, 0, 7},
        {"1.4 format 6, extra bytes, EVLRs with the WKT in one, random order, buffer, files over 99 tiles", 4,
         6, 9, true, 2, WktPlace::evlr, false, RecordOrder::random, 40, 3, 0},
        {"1.4 format 7, undescribed extra bytes, EVLRs, WKT VLR, tiled order, buffer", 4, 7, 5, false, 3,
         WktPlace::vlr, false, RecordOrder::tiled, 100, 5, 0},
        {"1.4 format 8, extra bytes, EVLRs, VLRs, scan order", 4, 8, 29, true, 2, WktPlace::none, true,
         RecordOrder::scan, 100, 0, 0},
        {"1.2 format 3, extra bytes, scan order, buffer", 2, 3, 6, true, 0, WktPlace::none, true,
         RecordOrder::scan, 100, 3, 0},
    };
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.what);
        TempDir dir;
        survey::SurveySpec spec;
        spec.directory = dir.path;
        spec.files = 3;
        spec.points = 6000;
        spec.width = 600;
        spec.height = 450;
        spec.VersionMinor = static_cast<std::uint8_t>(k.minor);
        spec.PointDataFormatID = static_cast<std::uint8_t>(k.format);
        spec.extra_bytes = k.extra_bytes;
        spec.describe_extra_bytes = k.describe;
        spec.evlrs = k.evlrs;
        spec.wkt = k.wkt;
        spec.with_vlrs = k.with_vlrs;
        spec.order = k.order;
        spec.tile_size = k.tile_size;
        spec.seed = 31 + k.format;
        const std::vector<std::string> files = survey::generate_survey(spec);
        if (k.last_encoding_differs) {
            std::string last = read_file(files.back());
            last[6] = static_cast<char>(k.minor == 3 ? 0x02 : 0x00);
            write_file(files.back(), last);
        }

        const CheckedRun r =
            run_and_verify(dir.path, "survey.txt", "U_", k.tile_size, {k.buffer, k.resolution, true});
        expect_sound(r);
        EXPECT_EQ(r.check.records, 6000U);
        EXPECT_EQ(r.check.copies > 0, k.buffer > 0);

        const RunResult refused =
            run_tessaro(tessaro_args("survey.txt", "B_", std::to_string(static_cast<int>(k.tile_size)),
                                     {k.buffer, k.resolution}),
                        dir.path);
        EXPECT_EQ(refused.status, 255);
        const std::string& first = files.front();
        const std::string message =
            k.minor == 2
                ? "\nData format of " + first + " (3) is incompatible with Length of Data Record (40)\n"
                : "\nCannot handle las files of version 1." + std::to_string(k.minor) + "\n";
        EXPECT_EQ(refused.output, banner() + message + "\n" + first + " is not a valid LAS file\n");
        EXPECT_TRUE(files_with_stem(dir.path, "B_").empty());
    }
}

// The check itself must notice every kind of damage to a sound run.
TEST(ConservationCheck, NoticesDamagedTiles) {
    TempDir dir;
    survey::write_las_file(dir.file("in.las"), file_spec(2, 1, true), cloud(500, 0, 0, 100, 100, 14));
    write_list(dir.path, "list.txt", {"in.las"});
    ASSERT_TRUE(run_and_verify(dir.path, "list.txt", "D_", 50, {5, 0}).check.ok);
    const std::string tile = dir.file("D_R1C1.las");
    const std::string original = read_file(tile);
    const LAS12Header h = header_from_bytes(reinterpret_cast<const unsigned char*>(original.data()));
    const std::size_t first = h.OffsetToData;
    const std::size_t len = h.PointDataRecordLength;

    // Leftovers of a run with another grid: D_R01C01.las to D_R05C05.las.
    std::vector<std::string> strays;
    for (char r = '1'; r <= '5'; ++r)
        for (char c = '1'; c <= '5'; ++c) strays.push_back(std::string("D_R0") + r + "C0" + c + ".las");
    struct Damage {
        const char* what;
        std::function<void()> apply;
        const char* message;
    };
    const Damage damages[] = {
        {"record byte changed",
         [&] {
             std::string s = original;
             s[first + len + 3] ^= 1;
             write_file(tile, s);
         },
         "record 1 differs at byte 3"},
        {"two records swapped",
         [&] {
             std::string s = original;
             std::swap_ranges(s.begin() + first, s.begin() + first + len, s.begin() + first + len);
             write_file(tile, s);
         },
         "record 0 differs"},
        {"last record cut off", [&] { write_file(tile, original.substr(0, original.size() - len)); },
         "ends after"},
        {"record appended", [&] { write_file(tile, original + original.substr(first, len)); }, "more than"},
        {"half a record appended", [&] { write_file(tile, original + "xyz"); }, "trailing bytes"},
        {"point count changed",
         [&] {
             std::string s = original;
             s[107] ^= 1;
             write_file(tile, s);
         },
         "NumberOfPointReturns"},
        {"bounds changed",
         [&] {
             std::string s = original;
             s[190] ^= 1;
             write_file(tile, s);
         },
         "MinX"},
        {"VLR byte changed",
         [&] {
             std::string s = original;
             s[first - 5] ^= 1;
             write_file(tile, s);
         },
         "before the point records"},
        {"tile removed", [&] { std::remove(tile.c_str()); }, "is missing"},
        {"stray tile", [&] { write_file(dir.file("D_R9C9.las"), original); }, "exists, but no record"},
        {"stray tile of a grid with longer names", [&] { write_file(dir.file("D_R01C01.las"), original); },
         "D_R01C01.las exists, but no record"},
        {"every stray tile counted, the first 20 named",
         [&] {
             for (const std::string& name : strays) write_file(dir.file(name), original);
         },
         "25 tile files exist, but no record belongs to their tiles:\n  D_R01C01.las\n"},
        {"every stray tile counted, the rest summed up",
         [&] {
             for (const std::string& name : strays) write_file(dir.file(name), original);
         },
         "\n  D_R04C05.las\n  ... and 5 more"},
    };
    verify::ConservationRequest rq{"list.txt", "D_", 50, 5, false, 0, dir.path};
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        d.apply();
        const verify::ConservationReport report = verify::check_conservation(rq);
        EXPECT_FALSE(report.ok);
        EXPECT_NE(report.message.find(d.message), std::string::npos) << report.message;
        write_file(tile, original);
        std::remove(dir.file("D_R9C9.las").c_str());
        for (const std::string& name : strays) std::remove(dir.file(name).c_str());
        ASSERT_TRUE(verify::check_conservation(rq).ok);
    }
}

}  // namespace
