// The corner table of the non-empty tiles, written through the writer's own
// functions and read back with GDAL's ogrinfo.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "corner_table.hpp"
#include "run_binary.hpp"
#include "shapes_checks.hpp"
#include "tile_table.hpp"

namespace tessaro {
namespace {

using test::OgrLayer;
using test::TempDir;

const std::vector<std::string> kFields = {
    "TileName: String (12.0)", "TileRow: Integer (5.0)", "TileCol: Integer (5.0)", "Xmin: Real (16.6)",
    "Ymin: Real (16.6)",       "Xmax: Real (16.6)",      "Ymax: Real (16.6)"};

struct Occupied {
    unsigned i, j;  // 0-based row and column
    std::uint32_t nPts;
};

// One record as ogrinfo prints it.
struct Corners {
    const char* name;
    int row, col;
    const char *xmin, *ymin, *xmax, *ymax;
};

std::vector<std::string> attributes(const Corners& c) {
    return {std::string("TileName (String) = ") + c.name,   "TileRow (Integer) = " + std::to_string(c.row),
            "TileCol (Integer) = " + std::to_string(c.col), std::string("Xmin (Real) = ") + c.xmin,
            std::string("Ymin (Real) = ") + c.ymin,         std::string("Xmax (Real) = ") + c.xmax,
            std::string("Ymax (Real) = ") + c.ymax};
}

void set_counts(const Tile& grid, const std::vector<Occupied>& occupied) {
    initializeTileStructure(grid.Rows, grid.Cols);
    for (const auto& o : occupied)
        _tileInfo.at(static_cast<std::uint16_t>(o.i), static_cast<std::uint16_t>(o.j)).nPts = o.nPts;
}

std::string write_table(const TempDir& dir, const Tile& grid, double tile_size) {
    const std::string name = dir.file("T_TileCoords.dbf");
    createCoordinateDBF(name);
    addtoCoordinateDBF(name, grid, tile_size);
    return name;
}

struct CornerCase {
    const char* name;
    Tile grid;
    double tile_size;
    std::vector<Occupied> occupied;
    std::vector<Corners> records;
};

const std::vector<CornerCase> kCornerCases = {
    {"1x1",
     {1, 1, 1000, 2000, 1100, 2100},
     100,
     {{0, 0, 9}},
     {{"R1C1", 1, 1, "1000.000000", "2000.000000", "1100.000000", "2100.000000"}}},
    {"2x2 with two tiles in use: rows from the lowest Y, columns from the lowest X",
     {2, 2, 1000, 2000, 1200, 2200},
     100,
     {{1, 0, 4}, {0, 1, 1}},
     {{"R1C2", 1, 2, "1100.000000", "2000.000000", "1200.000000", "2100.000000"},
      {"R2C1", 2, 1, "1000.000000", "2100.000000", "1100.000000", "2200.000000"}}},
    {"3x3 with three tiles in use",
     {3, 3, -15.5, 0.25, 15, 30.25},
     10,
     {{2, 1, 1}, {0, 0, 3}, {1, 2, 2}},
     {{"R1C1", 1, 1, "-15.500000", "0.250000", "-5.500000", "10.250000"},
      {"R2C3", 2, 3, "4.500000", "10.250000", "14.500000", "20.250000"},
      {"R3C2", 3, 2, "-5.500000", "20.250000", "4.500000", "30.250000"}}},
    {"no tile in use", {2, 3, 0, 0, 30, 20}, 10, {}, {}},
    {"100 rows: three digits",
     {100, 3, 0, 0, 3, 100},
     1,
     {{0, 0, 1}, {99, 2, 1}},
     {{"R001C001", 1, 1, "0.000000", "0.000000", "1.000000", "1.000000"},
      {"R100C003", 100, 3, "2.000000", "99.000000", "3.000000", "100.000000"}}},
    {"coordinates that fill all 16 characters",
     {1, 1, 123456789.5, -9999999.25, 123456790, -9999998.75},
     0.5,
     {{0, 0, 1}},
     {{"R1C1", 1, 1, "123456789.500000", "-9999999.250000", "123456790.000000", "-9999998.750000"}}},
};

TEST(CornerTable, OneRecordPerTileInUseWithPlainCorners) {
    for (const auto& c : kCornerCases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        set_counts(c.grid, c.occupied);
        const OgrLayer layer = test::read_layer(write_table(dir, c.grid, c.tile_size));
        ASSERT_EQ(layer.problem, "");
        EXPECT_EQ(test::directory_entries(dir.path), std::vector<std::string>{"T_TileCoords.dbf"});
        EXPECT_EQ(layer.geometry, "None");
        EXPECT_EQ(layer.fields, kFields);
        ASSERT_EQ(layer.feature_count, static_cast<long>(c.records.size()));
        ASSERT_EQ(layer.features.size(), c.records.size());
        for (std::size_t k = 0; k < c.records.size(); ++k) {
            SCOPED_TRACE("record " + std::to_string(k));
            EXPECT_EQ(layer.features[k].attributes, attributes(c.records[k]));
            EXPECT_EQ(layer.features[k].geometry, "");
        }
    }
}

TEST(CornerTable, ExistingTableIsReplaced) {
    TempDir dir;
    Tile grid{2, 2, 0, 0, 20, 20};
    set_counts(grid, {{0, 0, 1}, {0, 1, 1}, {1, 0, 1}, {1, 1, 1}});
    write_table(dir, grid, 10);
    grid = {1, 1, 5, 5, 15, 15};
    set_counts(grid, {{0, 0, 2}});
    const OgrLayer layer = test::read_layer(write_table(dir, grid, 10));
    ASSERT_EQ(layer.problem, "");
    ASSERT_EQ(layer.features.size(), 1u);
    EXPECT_EQ(layer.features[0].attributes,
              attributes({"R1C1", 1, 1, "5.000000", "5.000000", "15.000000", "15.000000"}));
}

TEST(CornerTable, LongPrefixIsUsedWhole) {
    TempDir dir;
    const std::string name = dir.file(std::string(230, 'q') + "_TileCoords.dbf");
    const Tile grid{1, 1, 0, 0, 10, 10};
    set_counts(grid, {{0, 0, 1}});
    createCoordinateDBF(name);
    addtoCoordinateDBF(name, grid, 10);
    const OgrLayer layer = test::read_layer(name);
    ASSERT_EQ(layer.problem, "");
    EXPECT_EQ(layer.feature_count, 1);
    EXPECT_EQ(test::directory_entries(dir.path).size(), 1u);
}

struct FailureCase {
    const char* name;
    const char* file;  // relative to the case directory
    bool create;       // createCoordinateDBF before addtoCoordinateDBF
    Tile grid;
    const char* message;   // with %s for the path of `file`
    long file_size_limit;  // 0: none
};

const Tile kOneTile{1, 1, 0, 0, 10, 10};

// Every failure ends the run with status -1 after one message naming the
// file; a corner that does not fit its field is one of them.
const std::vector<FailureCase> kFailureCases = {
    {"directory missing", "missing/T_TileCoords.dbf", true, kOneTile, "DBFCreate(%s) failed.\n", 0},
    {"table to open missing", "T_TileCoords.dbf", false, kOneTile, "Failed to open %s for writing\n", 0},
    {"corner wider than its field",
     "T_TileCoords.dbf",
     true,
     {1, 1, 1234567890.5, 0, 1234567900, 10},
     "Failed to write Xmin = 1234567890.500000 of tile R1C1 to %s\n",
     0},
    {"negative corner wider than its field",
     "T_TileCoords.dbf",
     true,
     {1, 1, 0, -123456789.5, 10, -123456779},
     "Failed to write Ymin = -123456789.500000 of tile R1C1 to %s\n",
     0},
    {"records beyond the file size limit",
     "T_TileCoords.dbf",
     true,
     {30, 30, 0, 0, 300, 300},
     "Failed to write TileName of tile R##C## to %s\n",
     8192},
};

// Replaces each "##" of `expected` by the digits found at that place in
// `actual`, so that the tile at which a limit strikes need not be pinned.
std::string with_digits_of(std::string expected, const std::string& actual) {
    for (std::size_t at; (at = expected.find("##")) != std::string::npos;) {
        std::size_t end = at;
        while (end < actual.size() && actual[end] >= '0' && actual[end] <= '9') ++end;
        expected.replace(at, 2, actual.substr(at, end - at));
    }
    return expected;
}

TEST(CornerTable, FailuresEndTheRunWithOneMessage) {
    for (const auto& c : kFailureCases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string file = dir.file(c.file);
        initializeTileStructure(c.grid.Rows, c.grid.Cols);
        for (std::uint16_t i = 0; i < c.grid.Rows; ++i)
            for (std::uint16_t j = 0; j < c.grid.Cols; ++j) _tileInfo.at(i, j).nPts = 1;
        const test::ChildResult r = test::run_in_child(
            [&] {
                if (c.create) createCoordinateDBF(file);
                addtoCoordinateDBF(file, c.grid, 10);
            },
            c.file_size_limit);
        char expected[4096];
        std::snprintf(expected, sizeof expected, c.message, file.c_str());
        EXPECT_EQ(r.output, with_digits_of(expected, r.output));
        EXPECT_EQ(r.status, 255);
    }
}

TEST(CornerTable, DiskFullEndsTheRunNamingTheFile) {
    TempDir dir;
    const std::string file = dir.file("T_TileCoords.dbf");
    ASSERT_EQ(symlink("/dev/full", file.c_str()), 0);
    set_counts(kOneTile, {{0, 0, 1}});
    const test::ChildResult r = test::run_in_child([&] { createCoordinateDBF(file); });
    EXPECT_EQ(r.output, "Failed to write " + file + ": No space left on device\n");
    EXPECT_EQ(r.status, 255);
}

// Run as root, the writer drops to an unprivileged user first, since
// permission bits do not bind root.
TEST(CornerTable, UnwritableDirectoryEndsTheRun) {
    TempDir dir;
    const std::string locked = dir.file("locked");
    ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(locked.c_str(), 0555), 0);
    const test::ChildResult r = test::run_in_child([&] {
        test::drop_root();
        createCoordinateDBF(locked + "/T_TileCoords.dbf");
    });
    EXPECT_EQ(r.output, "DBFCreate(" + locked + "/T_TileCoords.dbf) failed.\n");
    EXPECT_EQ(r.status, 255);
}

}  // namespace
}  // namespace tessaro
