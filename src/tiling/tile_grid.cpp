#include "tile_grid.hpp"

#include <cmath>
#include <cstdio>
#include <new>

#include "console.hpp"

namespace tessaro {
namespace {

// Number of tiles along an axis: ceil(extent / TileSize), at least one.
double axis_tile_count(double low, double high, double TileSize) {
    const double n = std::ceil((high - low) / TileSize);
    return n >= 1.0 ? n : 1.0;
}

}  // namespace

Tile lay_tile_grid(double MinX, double MinY, double MaxX, double MaxY, double TileSize, bool snap,
                   double resolution, bool buffered, double buffer) {
    Tile t{};
    t.XMin = MinX;
    t.YMin = MinY;
    t.XMax = MaxX;
    t.YMax = MaxY;
    if (snap && !buffered) {
        t.XMin = std::floor(MinX / resolution) * resolution;
        t.YMin = std::floor(MinY / resolution) * resolution;
        t.XMax = (std::floor(MaxX / resolution) + 1) * resolution;
        t.YMax = (std::floor(MaxY / resolution) + 1) * resolution;
    }
    if (buffered && !snap) {
        t.XMin = MinX - buffer;
        t.YMin = MinY - buffer;
        t.XMax = MaxX + buffer;
        t.YMax = MaxY + buffer;
    }
    if (buffered && snap) {
        t.XMin = std::floor((MinX - buffer) / resolution) * resolution;
        t.YMin = std::floor((MinY - buffer) / resolution) * resolution;
        t.XMax = (std::floor((MaxX + buffer) / resolution) + 1) * resolution;
        t.YMax = (std::floor((MaxY + buffer) / resolution) + 1) * resolution;
    }
    const double rows = axis_tile_count(t.YMin, t.YMax, TileSize);
    const double cols = axis_tile_count(t.XMin, t.XMax, TileSize);
    if (!(rows <= kMaxGridCount) || !(cols <= kMaxGridCount))
        fail(
            "\nA tile size of %.3f gives a grid of %.0f rows and %.0f columns; at most 65535 of each "
            "are possible. Make Tile Size coarser (larger)\n",
            TileSize, rows, cols);
    t.Rows = static_cast<std::uint16_t>(rows);
    t.Cols = static_cast<std::uint16_t>(cols);
    return t;
}

void print_tiling_information(const Tile& tile) {
    std::printf("\nTiling Information\n");
    std::printf("------------------\n");
    std::printf("X Min       %38.2f\n", tile.XMin);
    std::printf("Y Min       %38.2f\n", tile.YMin);
    std::printf("X Max       %38.2f\n", tile.XMax);
    std::printf("Y Max       %38.2f\n", tile.YMax);
    std::printf("Tile Rows  %36d\n", static_cast<int>(tile.Rows));
    std::printf("Tile Cols  %36d\n", static_cast<int>(tile.Cols));
    // Up to 65535 x 65535 tiles: more than a signed int holds.
    std::printf("# of Tiles  %35u\n", tile_count(tile));
}

unsigned tile_count(const Tile& tile) {
    return static_cast<unsigned>(tile.Rows) * tile.Cols;
}

int digit_width(const Tile& tile) {
    const unsigned larger = tile.Rows > tile.Cols ? tile.Rows : tile.Cols;
    return std::snprintf(nullptr, 0, "%d", static_cast<int>(larger));
}

std::string tile_label(int bufsize, unsigned row_number, unsigned col_number) {
    char text[32];
    std::snprintf(text, sizeof text, "R%0*uC%0*u", bufsize, row_number, bufsize, col_number);
    return text;
}

std::string tile_file_name(const std::string& prefix, int bufsize, std::uint16_t row, std::uint16_t col,
                           const char* extension) {
    try {
        return prefix + tile_label(bufsize, row + 1U, col + 1U) + extension;
    } catch (const std::bad_alloc&) {
        fail_line("Failed to allocate memory for a tile file name");
    }
}

}  // namespace tessaro

namespace tessaro {

TileRange tile_range_of(double MinX, double MinY, double MaxX, double MaxY, const Tile& grid, double TileSize,
                        double buffer) {
    TileRange r;
    r.row_min = clamp_tile_index(std::floor((MinY - buffer - grid.YMin) / TileSize), grid.Rows);
    r.row_max = clamp_tile_index(std::floor((MaxY + buffer - grid.YMin) / TileSize), grid.Rows);
    r.col_min = clamp_tile_index(std::floor((MinX - buffer - grid.XMin) / TileSize), grid.Cols);
    r.col_max = clamp_tile_index(std::floor((MaxX + buffer - grid.XMin) / TileSize), grid.Cols);
    return r;
}

}  // namespace tessaro
