#include "tile_window.hpp"

#include <algorithm>
#include <new>

#include "console.hpp"

namespace tessaro {

TileStream untouched;

namespace {

[[noreturn]] void out_of_memory() {
    fail_line("Failed to allocate memory for the tiles of a file");
}

// What a record of column (row) `k` of the range does on one axis. `low_bit`
// and `high_bit` are the neighbour bits of the axis's west (south) and east
// (north) sides; the grid allows a side when a tile lies beyond it.
AxisCell axis_cell(const AxisRule& rule, unsigned k, unsigned count, unsigned low_bit, unsigned high_bit) {
    AxisRule no_buffer = rule;
    no_buffer.q = 0;
    AxisCell a;
    a.cell = clear_span(no_buffer, k);
    a.clear = clear_span(rule, k);
    a.near_start = near_start_span(rule, k);
    a.near_end = near_end_span(rule, k);
    a.edge_bits = static_cast<std::uint8_t>((k != 0 ? low_bit : 0U) | (k + 1U < count ? high_bit : 0U));
    return a;
}

void fill_neighbours(TileWindow& w) {
    const auto row = static_cast<std::ptrdiff_t>(w.stride);
    for (unsigned m = 0; m < 16; ++m) {
        const bool east = (m & 1U) != 0, north = (m & 2U) != 0, west = (m & 4U) != 0, south = (m & 8U) != 0;
        Neighbours& nb = w.neighbours[m];
        nb = Neighbours{};
        auto add = [&nb](bool copies, std::ptrdiff_t offset) {
            if (copies) nb.offset[nb.count++] = offset;
        };
        add(east, 1);
        add(west, -1);
        add(north, row);
        add(south, -row);
        add(north && east, row + 1);
        add(north && west, row - 1);
        add(south && east, -row + 1);
        add(south && west, -row - 1);
    }
}

}  // namespace

void lay_tile_window(TileWindow& w, const TileRange& r, const Tile& grid, const LAS12Header& h,
                     double TileSize, double q) {
    w.row0 = r.row_min == 0 ? 0 : static_cast<std::uint16_t>(r.row_min - 1);
    w.col0 = r.col_min == 0 ? 0 : static_cast<std::uint16_t>(r.col_min - 1);
    const unsigned last_row = std::min<unsigned>(r.row_max + 1U, grid.Rows - 1U);
    const unsigned last_col = std::min<unsigned>(r.col_max + 1U, grid.Cols - 1U);
    w.rows = static_cast<std::uint16_t>(last_row - w.row0 + 1);
    w.cols = static_cast<std::uint16_t>(last_col - w.col0 + 1);
    w.stride = w.cols;
    const std::size_t cells = w.stride * w.rows;
    w.compact = cells <= kMaxWindowSlots;
    const AxisRule along_x{h.XScaleFactor, h.XOffset, grid.XMin, TileSize, h.MinX, h.MaxX, q};
    const AxisRule along_y{h.YScaleFactor, h.YOffset, grid.YMin, TileSize, h.MinY, h.MaxY, q};
    try {
        w.slots.assign(w.compact ? cells : 0, &untouched);
        w.sparse.clear();
        w.columns.clear();
        w.rows_of_range.clear();
        w.columns.reserve(r.col_max - r.col_min + 1U);
        w.rows_of_range.reserve(r.row_max - r.row_min + 1U);
    } catch (const std::bad_alloc&) {
        out_of_memory();
    }
    for (unsigned j = r.col_min; j <= r.col_max; ++j)
        w.columns.push_back(axis_cell(along_x, j, grid.Cols, 4, 1));
    for (unsigned i = r.row_min; i <= r.row_max; ++i)
        w.rows_of_range.push_back(axis_cell(along_y, i, grid.Rows, 8, 2));
    fill_neighbours(w);
}

TileStream*& sparse_slot(TileWindow& w, std::size_t cell) {
    try {
        return w.sparse.try_emplace(cell, &untouched).first->second;
    } catch (const std::bad_alloc&) {
        out_of_memory();
    }
}

}  // namespace tessaro
