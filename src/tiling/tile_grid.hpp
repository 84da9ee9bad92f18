// The tile grid: the grid record, tile addressing and tile names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaro {

// The grid record: rows count north from YMin, columns east from XMin.
struct Tile {
    std::uint16_t Rows;
    std::uint16_t Cols;
    double XMin;
    double YMin;
    double XMax;
    double YMax;
};

// Largest number of rows or columns a grid can hold.
inline constexpr double kMaxGridCount = 65535.0;

// Memory the run's per-tile tables (name, statistics record, stream) take for
// one tile, rounded up; a grid whose tables would not fit in the memory the
// system has available is refused before they are built.
inline constexpr std::uint64_t kTableBytesPerTile = 256;

// Most memory the per-tile tables may take whatever the system has: 4 GiB,
// about 16.7 million tiles. Larger grids (a tiny tile size over a wide extent)
// would spend minutes building and walking tables that are nearly all empty.
inline constexpr std::uint64_t kTableBudgetBytes = std::uint64_t{4} << 30;

// Memory the system can still give the process, in bytes (MemAvailable);
// 0 when it cannot be told.
std::uint64_t available_memory();

// Lays the grid over the data extent: snapped outward to `resolution` when
// `snap`, grown by `buffer` when `buffered`, both when both. Refuses a grid of
// more than 65535 rows or columns, or one whose tables would not fit in the
// available memory; a zero-width or zero-height extent gets one column or row
// so that every point has a tile.
Tile lay_tile_grid(double MinX, double MinY, double MaxX, double MaxY, double TileSize, bool snap,
                   double resolution, bool buffered, double buffer);

// The "Tiling Information" block.
void print_tiling_information(const Tile& tile);

// Number of tiles, Rows x Cols.
unsigned tile_count(const Tile& tile);

// bufsize: number of decimal digits of the larger of Rows and Cols.
int digit_width(const Tile& tile);

// Length of one tile file name slot: prefix, "R", digits, "C", digits, ".las"
// and the terminating zero byte.
std::size_t tile_name_length(const std::string& prefix, int bufsize);

// The bare tile label "R%0*dC%0*d" for 1-based row and column numbers.
std::string tile_label(int bufsize, unsigned row_number, unsigned col_number);

using TileNameTable = std::vector<std::vector<std::string>>;

// A rows x cols table of name buffers, each reserved for `LengthString` bytes.
TileNameTable Make2dStringArray(std::uint16_t rows, std::uint16_t cols, std::size_t LengthString);

// Fills every entry [r][c] with prefix + "R<r+1>C<c+1>.las".
void fill_tile_names(TileNameTable& names, const std::string& prefix, int bufsize);

// Index of a tile-unit position along an axis of `count` tiles: the floor of
// the position, with positions below the grid in tile 0 and positions at or
// beyond its far edge in the last tile.
inline std::uint16_t clamp_tile_index(double floor_of_position, std::uint16_t count) {
    if (!(floor_of_position >= 0.0)) return 0;
    if (floor_of_position >= static_cast<double>(count)) return static_cast<std::uint16_t>(count - 1);
    return static_cast<std::uint16_t>(floor_of_position);
}

}  // namespace tessaro

namespace tessaro {

// The rectangle of tiles that bounds grown by a buffer touch, both ends
// included and clamped into the grid. Empty when a minimum exceeds its maximum.
struct TileRange {
    std::uint16_t row_min;
    std::uint16_t row_max;
    std::uint16_t col_min;
    std::uint16_t col_max;
    bool empty() const { return row_min > row_max || col_min > col_max; }
    unsigned count() const {
        return empty() ? 0U : static_cast<unsigned>(row_max - row_min + 1) * (col_max - col_min + 1U);
    }
};

// The tile range of a file with header bounds MinX..MaxX, MinY..MaxY.
TileRange tile_range_of(double MinX, double MinY, double MaxX, double MaxY, const Tile& grid, double TileSize,
                        double buffer);

}  // namespace tessaro
