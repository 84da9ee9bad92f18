// The tile outline shapefile and its attribute table.
#pragma once

#include <cstdint>
#include <string>

#include "tile_grid.hpp"

namespace tessaro {

// The largest shapefile shapelib writes: it keeps the main file's size as a
// 32-bit count of bytes (the format's own offsets count 16-bit words in 32
// bits) and refuses a record that would take the file past it. The index and
// the table of the same outlines are smaller.
inline constexpr std::uint64_t kMaxShapeFileBytes = 4294967295U;

// Ends the run, before anything is written, when the outline sets of `pTile`
// (with `buffered`, the "_w_buffer" set too) would be larger than shapelib can
// write; the message names the first such file in the order the files are
// written, and its size.
void check_tile_index_size(const std::string& prefix, const Tile& pTile, bool buffered);

// Writes prefix + "_Tiles" + suffix + ".shp"/".shx"/".dbf": one outline and one
// attribute record per tile, inner edges widened by `Tile_Buffer`. With a
// `projection` (ESRI WKT) also the ".prj"; without one, a ".prj" of an earlier
// run is removed.
void tiles_to_shapefile(const std::string& prefix, const std::string& suffix, double TileSize,
                        const Tile& pTile, double Tile_Buffer, const std::string& projection = {});

// Creates the empty polygon shapefile `shpname` and its index.
void createSHP(const std::string& shpname);

// Appends one outline per tile, in row-major order from the lowest row and
// column, each edge inside the grid moved outward by `buffer`.
void addtoSHP(const std::string& shpname, const Tile& pTile, double TileSize, double buffer);

// Creates the attribute table with its fields TileRow, TileCol, TileName and
// Returns and no record.
void createShapefileDBF(const std::string& dbfname);

// Appends one record per tile in the order of the outlines; Returns is the
// tile's point count in `_tileInfo`.
void addtoShapefileDBF(const std::string& dbfname, const Tile& pTile);

}  // namespace tessaro
