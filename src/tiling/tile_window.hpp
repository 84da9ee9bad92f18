// The window of tiles one input file is distributed over, and what the
// routing of its records knows of each column and row in stored values.
//
// The window is the file's tile range grown by one tile on every side that
// the grid allows, so that every neighbour of a tile of the range lies in it.
// A cell of the window is numbered (row - row0) * stride + (col - col0). A
// compact window keeps a slot per cell for the stream of its tile; a window
// too large for that (a file whose header bounds span far more tiles than its
// points fill) keeps slots only for the cells its records reach.
//
// For each column and row of the range, the stored X (or Y) values that put a
// record in that column (row) within the header bounds, clear of the buffer,
// or within the buffer of either edge form intervals: every step from a stored
// value to its tile position is monotonic (see stored_span.hpp). A record is
// placed by integer comparisons with them, with exactly the result of the
// arithmetic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "las_records.hpp"
#include "stored_span.hpp"
#include "tile_grid.hpp"
#include "tile_stream.hpp"

namespace tessaro {

// One column (stored X) or row (stored Y) of a file's tile range.
struct AxisCell {
    StoredSpan cell;        // within the header bounds, position in this column or row
    StoredSpan clear;       // of those, clear of both buffer bands: no copy on this axis
    StoredSpan near_start;  // position within the buffer of the west (south) edge
    StoredSpan near_end;    // position within the buffer of the east (north) edge
    // The neighbour tests the grid allows on this axis, as bits of
    // near_side_bits: X 1 (east) and 4 (west), Y 2 (north) and 8 (south).
    std::uint8_t edge_bits;
};

// The window cells that receive copies of a record, for each combination of
// the four buffer tests (near_side_bits), in writing order: east, west,
// north, south, north-east, north-west, south-east, south-west. Offsets are
// in cells.
struct Neighbours {
    unsigned count = 0;
    std::ptrdiff_t offset[8] = {};
};

// Most cells a compact window holds a slot for (8 bytes each).
inline constexpr std::size_t kMaxWindowSlots = std::size_t{1} << 18;

struct TileWindow {
    std::uint16_t row0 = 0, col0 = 0;  // the window's first row and column
    std::uint16_t rows = 0, cols = 0;
    std::size_t stride = 0;  // cells per row of the numbering
    bool compact = true;
    // Compact: one slot per cell. Otherwise: slots of the cells in use.
    std::vector<TileStream*> slots;
    std::unordered_map<std::size_t, TileStream*> sparse;
    // Columns col_min..col_max and rows row_min..row_max of the range.
    std::vector<AxisCell> columns;
    std::vector<AxisCell> rows_of_range;
    Neighbours neighbours[16];
};

// The stream of every window cell the file has not touched yet: it has no
// room, so a record for it takes the slow path, which touches the tile.
extern TileStream untouched;

// Lays the window of `range` (not empty) over `grid` for a file with header
// `h`; q is the buffer as a fraction of the tile side.
void lay_tile_window(TileWindow& w, const TileRange& range, const Tile& grid, const LAS12Header& h,
                     double TileSize, double q);

inline std::size_t window_cell(const TileWindow& w, unsigned row, unsigned col) {
    return (row - w.row0) * w.stride + (col - w.col0);
}
inline std::uint16_t cell_row(const TileWindow& w, std::size_t cell) {
    return static_cast<std::uint16_t>(w.row0 + cell / w.stride);
}
inline std::uint16_t cell_col(const TileWindow& w, std::size_t cell) {
    return static_cast<std::uint16_t>(w.col0 + cell % w.stride);
}

// The slot of a window cell: the stream of its tile, or `untouched`.
TileStream*& sparse_slot(TileWindow& w, std::size_t cell);
inline TileStream*& window_slot(TileWindow& w, std::size_t cell) {
    return w.compact ? w.slots[cell] : sparse_slot(w, cell);
}

// Whether tile (r, c) lies in the window.
inline bool in_window(const TileWindow& w, unsigned r, unsigned c) {
    return !w.columns.empty() && r - w.row0 < w.rows && c - w.col0 < w.cols;
}

}  // namespace tessaro
