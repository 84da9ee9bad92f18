// The table of the tiles a run touches: for each, its statistics and the
// stream of its file, in one entry.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "tile_stats.hpp"
#include "tile_stream.hpp"

namespace tessaro {

// One tile the run touched: the statistics of the records written to it, the
// stream that writes them and what the run knows of its file. The stream
// counts into `stats` and writes into `file` of its own entry; both stay
// when the streams are cleared.
struct TileEntry {
    TileStruct stats;
    TileStream stream;
    TileFile file;
};

// The tiles of a Rows x Cols grid, held only for the tiles that a file's
// tile range or a record touched: memory grows with the tiles in use, not with
// the grid. A tile without an entry holds no record. Entries never move.
struct TileInfoTable {
    std::uint16_t Rows = 0;
    std::uint16_t Cols = 0;
    std::unordered_map<std::uint32_t, TileEntry> tiles;

    // The entry of tile (r, c), created with its statistics at their initial
    // values and no stream yet when missing.
    TileEntry& entry(std::uint16_t r, std::uint16_t c);
    // The statistics of tile (r, c), created at their initial values when missing.
    TileStruct& at(std::uint16_t r, std::uint16_t c) { return entry(r, c).stats; }
    // The statistics of tile (r, c), or null when the tile was never touched.
    const TileStruct* find(std::uint16_t r, std::uint16_t c) const;
    // Records written to tile (r, c) so far.
    std::uint64_t points_in(std::uint16_t r, std::uint16_t c) const {
        const TileStruct* t = find(r, c);
        return t ? t->nPts : 0;
    }
};

// The table of the run; the one process-wide table.
extern TileInfoTable _tileInfo;

// Sets up `_tileInfo` for a rows x cols grid, with no tile touched yet.
void initializeTileStructure(std::uint16_t rows, std::uint16_t cols);

// Keys of the tiles of `_tileInfo` that hold records, in row-major order.
std::vector<std::uint32_t> tiles_with_points();

}  // namespace tessaro
