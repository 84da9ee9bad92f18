// The check of how many tiles each input file spreads over.
#pragma once

#include "listed_files.hpp"
#include "tile_grid.hpp"

namespace tessaro {

// Most tiles one input file may spread over: the tile files held open at once.
inline constexpr unsigned kMaxTilesPerFile = 99;

// Prints the tile count of every listed file and ends the run, before any tile
// file exists, if one spreads over more than `max_tiles` tiles (0: no limit).
void check_number_tiles_per_las(const ListedSurvey& survey, double ts, const Tile& p, double buffer,
                                unsigned max_tiles = kMaxTilesPerFile);

}  // namespace tessaro
