#include "distribution.hpp"
#include "stored_span.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include <string>
#include <utility>
#include <vector>

using namespace tessaro;

namespace {

using Cells = std::vector<std::pair<int, int>>;

Cells placed(const Tile& grid, double TileSize, double buffer, double x, double y) {
    const double i_dbl = (y - grid.YMin) / TileSize;
    const double j_dbl = (x - grid.XMin) / TileSize;
    const Placement pl = place_record(i_dbl, j_dbl, grid, buffer / TileSize);
    Cells out;
    for (unsigned k = 0; k < pl.count; ++k) out.emplace_back(pl.row[k], pl.col[k]);
    return out;
}

struct PlaceCase {
    const char* what;
    double x, y, buffer;
    Cells cells;  // (row, column), in writing order
};

// A 3 x 3 grid of tiles of side 8 from the origin; with buffer 2, q is 0.25.
// All coordinates are exact in binary, so every distance is exact.
TEST(PlaceRecord, HomeTileAndBufferNeighboursInWritingOrder) {
    const Tile grid{3, 3, 0, 0, 24, 24};
    const PlaceCase cases[] = {
        {"1.5 left of the right edge copies right", 6.5, 12, 2, {{1, 0}, {1, 1}}},
        {"exactly the buffer from the right edge does not copy", 6, 12, 2, {{1, 0}}},
        {"1.5 right of the left edge copies left", 9.5, 12, 2, {{1, 1}, {1, 0}}},
        {"exactly the buffer from the left edge does not copy", 10, 12, 2, {{1, 1}}},
        {"1.5 below the upper edge copies up", 12, 14.5, 2, {{1, 1}, {2, 1}}},
        {"exactly the buffer below the upper edge does not copy", 12, 14, 2, {{1, 1}}},
        {"1.5 above the lower edge copies down", 12, 9.5, 2, {{1, 1}, {0, 1}}},
        {"upper-right corner: home, right, up, up-right", 7, 7, 2, {{0, 0}, {0, 1}, {1, 0}, {1, 1}}},
        {"upper-left corner: home, left, up, up-left", 9, 15, 2, {{1, 1}, {1, 0}, {2, 1}, {2, 0}}},
        {"lower-right corner: home, right, down, down-right", 15, 9, 2, {{1, 1}, {1, 2}, {0, 1}, {0, 2}}},
        {"lower-left corner: home, left, down, down-left", 9, 9, 2, {{1, 1}, {1, 0}, {0, 1}, {0, 0}}},
        {"diagonal only when both edges copy", 7, 6, 2, {{0, 0}, {0, 1}}},
        {"last column and row skip copies off the grid", 23, 23, 2, {{2, 2}}},
        {"first column and row skip copies off the grid", 1, 1, 2, {{0, 0}}},
        {"last column still copies up", 23, 7, 2, {{0, 2}, {1, 2}}},
        {"boundary point belongs to the right and upper tile", 8, 16, 2, {{2, 1}, {2, 0}, {1, 1}, {1, 0}}},
        {"boundary point without buffer", 8, 16, 0, {{2, 1}}},
        {"upper-edge point clamps to the last tile", 24, 24, 2, {{2, 2}}},
        {"point past the upper edge clamps", 30, 12, 2, {{1, 2}}},
        {"point below the grid clamps to tile 0", -3, -0.5, 2, {{0, 0}}},
        {"no buffer, no copies", 7.9, 7.9, 0, {{0, 0}}},
    };
    for (const PlaceCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(placed(grid, 8, c.buffer, c.x, c.y), c.cells);
    }
}

TEST(PlaceRecord, SingleTileGridNeverCopies) {
    const Tile grid{1, 1, 0, 0, 8, 8};
    EXPECT_EQ(placed(grid, 8, 4, 7.9, 7.9), (Cells{{0, 0}}));
    EXPECT_EQ(placed(grid, 8, 4, 0, 0), (Cells{{0, 0}}));
}

TEST(PlaceRecord, OffsetGridOriginCountsFromXMinAndYMin) {
    // Grid origin (100, 200), side 10, buffer 1: x 109.5 is 0.5 from the right edge.
    const Tile grid{2, 2, 100, 200, 120, 220};
    EXPECT_EQ(placed(grid, 10, 1, 109.5, 215), (Cells{{1, 0}, {1, 1}}));
    EXPECT_EQ(placed(grid, 10, 1, 110, 210), (Cells{{1, 1}, {1, 0}, {0, 1}, {0, 0}}));
}

}  // namespace

// A record whose stored X lies in a cell's span skips the arithmetic, so the
// span must hold exactly the stored values that the arithmetic puts well
// inside the cell: checked on both sides of each end.
TEST(ClearSpan, HoldsExactlyTheStoredValuesWellInsideTheCell) {
    struct Case {
        const char* what;
        AxisRule rule;
        unsigned cell;
        bool empty;
    };
    const double nan = std::nan("");
    const Case cases[] = {
        {"centimetres, no buffer", {0.01, 500000, 500000, 250, 500000, 502000, 0}, 3, false},
        {"centimetres, buffer 10", {0.01, 500000, 500000, 250, 500000, 502000, 0.04}, 3, false},
        {"header bounds cut the cell", {0.01, 500000, 500000, 250, 500800, 500900.005, 0}, 3, false},
        {"negative scale", {-0.001, 1000, 0, 0.1, -5e6, 5e6, 0.25}, 7, false},
        {"coarse scale, inexact tile", {0.3, 0.1, -1000, 0.7, -1e9, 1e9, 0.1}, 1500, false},
        {"cell outside the header bounds", {0.01, 0, 0, 100, 0, 50, 0}, 2, true},
        {"bounds not a number", {0.01, 0, 0, 100, nan, 500, 0}, 0, true},
        {"scale 0", {0, 0, 0, 100, -1, 1, 0}, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const AxisRule& r = c.rule;
        auto inside = [&](std::int64_t v) {
            const double actual = static_cast<double>(v) * r.scale + r.offset;
            const double pos = (actual - r.origin) / r.size;
            const bool near = r.q > 0 && ((c.cell + 1.0) - pos < r.q || pos - c.cell < r.q);
            return actual >= r.min && actual <= r.max && pos >= c.cell && pos < c.cell + 1.0 && !near;
        };
        const StoredSpan s = clear_span(r, c.cell);
        ASSERT_EQ(s.lo > s.hi, c.empty);
        if (c.empty) continue;
        for (const std::int64_t end : {std::int64_t{s.lo}, std::int64_t{s.hi}})
            for (std::int64_t v = end - 2; v <= end + 2; ++v) {
                if (v >= INT32_MIN && v <= INT32_MAX) {
                    EXPECT_EQ(inside(v), v >= s.lo && v <= s.hi) << "stored value " << v;
                }
            }
    }
}
