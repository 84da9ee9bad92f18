// Distribution of point records into tile files.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "codec_pool.hpp"
#include "las_records.hpp"
#include "listed_files.hpp"
#include "tile_grid.hpp"
#include "tile_stream.hpp"

namespace tessaro {

// The tiles that receive one record, in writing order: the home tile first,
// then the neighbours whose buffered square holds the record. A buffer of at
// most half the tile reaches at most three neighbours; room is kept for all
// eight and the home tile, so that no buffer can overrun it.
struct Placement {
    std::uint8_t count = 0;
    std::uint16_t row[9] = {};
    std::uint16_t col[9] = {};
};

// Index along an axis of `count` tiles of tile-unit position `pos`; the same
// as clamp_tile_index(std::floor(pos), count) without the floor: floor(pos) is
// below 0 exactly when pos is, at or beyond count exactly when pos is (count
// is whole), and in between it equals the truncation of pos.
inline std::uint16_t tile_index_at(double pos, std::uint16_t count) {
    if (!(pos >= 0.0)) return 0;
    if (pos >= static_cast<double>(count)) return static_cast<std::uint16_t>(count - 1);
    return static_cast<std::uint16_t>(static_cast<std::int32_t>(pos));
}

// Places a record at tile-unit position (i_dbl, j_dbl) = ((y - YMin) / TileSize,
// (x - XMin) / TileSize); q is the buffer as a fraction of the tile side, 0 for
// no buffer. A position outside the grid goes to the nearest edge tile.
inline Placement place_record(double i_dbl, double j_dbl, const Tile& grid, double q) {
    Placement pl;
    const std::uint16_t i = tile_index_at(i_dbl, grid.Rows);
    const std::uint16_t j = tile_index_at(j_dbl, grid.Cols);
    auto add = [&pl](int r, int c) {
        pl.row[pl.count] = static_cast<std::uint16_t>(r);
        pl.col[pl.count] = static_cast<std::uint16_t>(c);
        ++pl.count;
    };
    add(i, j);
    if (q > 0) {
        const bool right = j < grid.Cols - 1 && q > (j + 1) - j_dbl;
        const bool left = j != 0 && q > j_dbl - j;
        const bool up = i < grid.Rows - 1 && q > (i + 1) - i_dbl;
        const bool down = i != 0 && q > i_dbl - i;
        if (right) add(i, j + 1);
        if (left) add(i, j - 1);
        if (up) add(i + 1, j);
        if (down) add(i - 1, j);
        if (up && right) add(i + 1, j + 1);
        if (up && left) add(i + 1, j - 1);
        if (down && right) add(i - 1, j + 1);
        if (down && left) add(i - 1, j - 1);
    }
    return pl;
}

// What the distribution of a run works from.
struct DistributionSetup {
    double TileSize = 0;
    double Tile_Buffer = 0;
    Tile pTile{};
    std::string TilePrefix;
    int bufsize = 1;                       // digits of the row and column numbers in tile names
    LasKind kind;                          // version, point format and record length of the run
    CodecPool* pool = nullptr;             // the LAZ codec's workers
    const ListedSurvey* survey = nullptr;  // the listed files, as validated
    std::vector<FileId> inputs;            // the list file and the files it names, sorted
    // Sorted keys of the tile files the output directory held before the run
    // (empty when it cannot be listed).
    std::vector<std::uint32_t> present_tiles;
    bool listed_directory = false;  // the output directory could be listed
};

// Copies every record of every listed file, in list order, to its home tile
// and the neighbours its buffer reaches, and counts each copy in `_tileInfo`.
// `ph12` is left holding the header of the last listed file. A file that is
// not the one validated ends the run.
void distribute_points(const DistributionSetup& setup, LAS12Header& ph12);

}  // namespace tessaro
