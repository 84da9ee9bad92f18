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

// Lays the grid over the data extent: snapped outward to `resolution` when
// `snap`, grown by `buffer` when `buffered`, both when both. Refuses a grid of
// more than 65535 rows or columns; a zero-width or zero-height extent gets one
// column or row so that every point has a tile. Nothing is built per tile of
// the grid: the run keeps state only for the tiles it touches.
Tile lay_tile_grid(double MinX, double MinY, double MaxX, double MaxY, double TileSize, bool snap,
                   double resolution, bool buffered, double buffer);

// The "Tiling Information" block.
void print_tiling_information(const Tile& tile);

// Number of tiles, Rows x Cols.
unsigned tile_count(const Tile& tile);

// bufsize: number of decimal digits of the larger of Rows and Cols.
int digit_width(const Tile& tile);

// The bare tile label "R%0*dC%0*d" for 1-based row and column numbers.
std::string tile_label(int bufsize, unsigned row_number, unsigned col_number);

// The file name of tile (row, col), both from 0: prefix + "R<row+1>C<col+1>"
// + the extension (".las", or ".laz" for compressed tiles).
std::string tile_file_name(const std::string& prefix, int bufsize, std::uint16_t row, std::uint16_t col,
                           const char* extension = ".las");

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
