#include "tile_grid.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <limits>
#include <string>
#include <vector>

using namespace tessaro;

namespace {

struct GridCase {
    const char* what;
    double MinX, MinY, MaxX, MaxY, TileSize;
    bool snap;
    double resolution;
    bool buffered;
    double buffer;
    double XMin, YMin, XMax, YMax;
    unsigned Rows, Cols;
};

// Extents as the tiler lays them; coordinates within 1e-9 (a buffer
// subtraction is one rounding), counts exact.
const GridCase kGridCases[] = {
    {"worked example, no options", 12.34, 3.20, 987.65, 749.90, 250, false, 0, false, 0, 12.34, 3.20, 987.65,
     749.90, 3, 4},
    {"worked example, -r 1", 12.34, 3.20, 987.65, 749.90, 250, true, 1, false, 0, 12, 3, 988, 750, 3, 4},
    {"worked example, -b 10", 12.34, 3.20, 987.65, 749.90, 250, false, 0, true, 10, 2.34, -6.80, 997.65,
     759.90, 4, 4},
    {"worked example, -r 1 -b 10", 12.34, 3.20, 987.65, 749.90, 250, true, 1, true, 10, 2, -7, 998, 760, 4,
     4},
    {"200 x 150 by 50", 0, 0, 200, 150, 50, false, 0, false, 0, 0, 0, 200, 150, 3, 4},
    {"200 x 150 by 50, -r 5 moves maxima up a step", 0, 0, 200, 150, 50, true, 5, false, 0, 0, 0, 205, 155, 4,
     5},
    {"negative coordinates snap toward minus infinity", -12.5, -12.5, 7.5, 7.5, 5, true, 5, false, 0, -15,
     -15, 10, 10, 5, 5},
    {"-b alone is not snapped", 0.25, 0.75, 10.25, 20.75, 10, false, 0, true, 0.5, -0.25, 0.25, 10.75, 21.25,
     3, 2},
    {"height exactly k tiles gives k rows", 100.5, 100.5, 350.5, 350.5, 50, false, 0, false, 0, 100.5, 100.5,
     350.5, 350.5, 5, 5},
    {"zero extent gives one row and one column", 42, 17, 42, 17, 10, false, 0, false, 0, 42, 17, 42, 17, 1,
     1},
    {"zero height only", 0, 5, 95, 5, 10, false, 0, false, 0, 0, 5, 95, 5, 1, 10},
};

TEST(TileGrid, LaysExtentAndCountsForEveryOptionCombination) {
    for (const GridCase& c : kGridCases) {
        SCOPED_TRACE(c.what);
        const Tile t = lay_tile_grid(c.MinX, c.MinY, c.MaxX, c.MaxY, c.TileSize, c.snap, c.resolution,
                                     c.buffered, c.buffer);
        EXPECT_NEAR(t.XMin, c.XMin, 1e-9);
        EXPECT_NEAR(t.YMin, c.YMin, 1e-9);
        EXPECT_NEAR(t.XMax, c.XMax, 1e-9);
        EXPECT_NEAR(t.YMax, c.YMax, 1e-9);
        EXPECT_EQ(t.Rows, c.Rows);
        EXPECT_EQ(t.Cols, c.Cols);
        EXPECT_EQ(tile_count(t), c.Rows * c.Cols);
    }
}

TEST(TileGrid, SnappedExtentIsExactMultipleOfResolution) {
    const Tile t = lay_tile_grid(12.34, 3.20, 987.65, 749.90, 250, true, 1, true, 10);
    EXPECT_EQ(t.XMin, 2.0);
    EXPECT_EQ(t.YMin, -7.0);
    EXPECT_EQ(t.XMax, 998.0);
    EXPECT_EQ(t.YMax, 760.0);
}

// fail() prints on standard output; the death test matches standard error.
void lay_with_stdout_on_stderr(double TileSize) {
    dup2(STDERR_FILENO, STDOUT_FILENO);
    lay_tile_grid(0, 0, 70000, 10, TileSize, false, 0, false, 0);
}

TEST(TileGridDeathTest, RefusesMoreThan65535Columns) {
    EXPECT_EXIT(lay_with_stdout_on_stderr(1.0), testing::ExitedWithCode(255), "65535");
}

TEST(TileGrid, Accepts65535Columns) {
    const Tile t = lay_tile_grid(0, 0, 65535, 10, 1.0, false, 0, false, 0);
    EXPECT_EQ(t.Cols, 65535);
}

struct NameCase {
    std::uint16_t Rows, Cols;
    int width;
    std::string first, last;
};

TEST(TileNames, WidthComesFromTheLargerCount) {
    const NameCase cases[] = {
        {12, 8, 2, "P/R01C01.las", "P/R12C08.las"},  {8, 12, 2, "P/R01C01.las", "P/R08C12.las"},
        {9, 9, 1, "P/R1C1.las", "P/R9C9.las"},       {1, 100, 3, "P/R001C001.las", "P/R001C100.las"},
        {10, 10, 2, "P/R01C01.las", "P/R10C10.las"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.last);
        const Tile t{c.Rows, c.Cols, 0, 0, 0, 0};
        const int bufsize = digit_width(t);
        EXPECT_EQ(bufsize, c.width);
        EXPECT_EQ(tile_file_name("P/", bufsize, 0, 0), c.first);
        EXPECT_EQ(tile_file_name("P/", bufsize, static_cast<std::uint16_t>(c.Rows - 1),
                                 static_cast<std::uint16_t>(c.Cols - 1)),
                  c.last);
    }
}

TEST(TileNames, WorkedExampleRunsFromSouthWestToNorthEast) {
    const Tile t = lay_tile_grid(12.34, 3.20, 987.65, 749.90, 250, false, 0, false, 0);
    const int bufsize = digit_width(t);
    EXPECT_EQ(tile_file_name("T_", bufsize, 0, 0), "T_R1C1.las");
    EXPECT_EQ(tile_file_name("T_", bufsize, 0, 3), "T_R1C4.las");  // row 0 is the lowest Y, columns run east
    EXPECT_EQ(tile_file_name("T_", bufsize, 2, 0), "T_R3C1.las");
    EXPECT_EQ(tile_file_name("T_", bufsize, 2, 3), "T_R3C4.las");
    EXPECT_EQ(tile_label(2, 3, 14), "R03C14");
}

struct RangeCase {
    const char* what;
    double MinX, MinY, MaxX, MaxY, buffer;
    unsigned row_min, row_max, col_min, col_max;
};

TEST(TileRange, ClampsIntoTheGrid) {
    // 200 x 150 by 50 without options: 3 rows, 4 columns, edges at the data maxima.
    const Tile grid = lay_tile_grid(0, 0, 200, 150, 50, false, 0, false, 0);
    const RangeCase cases[] = {
        {"inside one tile", 60, 60, 90, 90, 0, 1, 1, 1, 1},
        {"maximum on an inner boundary counts the tile above", 60, 60, 100, 100, 0, 1, 2, 1, 2},
        {"maximum on the grid's north and east edge stays in the last tile", 160, 110, 200, 150, 0, 2, 2, 3,
         3},
        {"buffer past the upper edge clamps", 160, 110, 199, 149, 5, 2, 2, 3, 3},
        {"buffer below the grid clamps to 0, no wrap", 0, 0, 10, 10, 5, 0, 0, 0, 0},
        {"whole grid", 0, 0, 200, 150, 0, 0, 2, 0, 3},
        {"buffer reaching the west edge strictly", 51, 55, 60, 60, 1.5, 1, 1, 0, 1},
    };
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(c.what);
        const TileRange r = tile_range_of(c.MinX, c.MinY, c.MaxX, c.MaxY, grid, 50, c.buffer);
        EXPECT_EQ(r.row_min, c.row_min);
        EXPECT_EQ(r.row_max, c.row_max);
        EXPECT_EQ(r.col_min, c.col_min);
        EXPECT_EQ(r.col_max, c.col_max);
        EXPECT_EQ(r.count(), (c.row_max - c.row_min + 1) * (c.col_max - c.col_min + 1));
    }
}

TEST(TileRange, ClampTileIndexHandlesNonFiniteAndFarPositions) {
    EXPECT_EQ(clamp_tile_index(-1.0, 4), 0);
    EXPECT_EQ(clamp_tile_index(-1e300, 4), 0);
    EXPECT_EQ(clamp_tile_index(4.0, 4), 3);
    EXPECT_EQ(clamp_tile_index(1e300, 4), 3);
    EXPECT_EQ(clamp_tile_index(std::numeric_limits<double>::quiet_NaN(), 4), 0);
    EXPECT_EQ(clamp_tile_index(2.0, 4), 2);
}

}  // namespace
