// The table of corner coordinates of every tile that holds points.
#pragma once

#include <string>

#include "tile_grid.hpp"

namespace tessaro {

// Creates the table with its fields TileName, TileRow, TileCol, Xmin, Ymin,
// Xmax and Ymax and no record.
void createCoordinateDBF(const std::string& dbfname);

// Appends one record per tile whose `_tileInfo` count is not 0, in row-major
// order from the lowest row and column, with the corners of the plain grid
// cell (never widened by a buffer).
void addtoCoordinateDBF(const std::string& dbfname, const Tile& pTile, double TileSize);

}  // namespace tessaro
