// The final rewrite of every tile file's header.
#pragma once

#include <string>
#include "las_records.hpp"

#include "tile_grid.hpp"

namespace tessaro {

// The text every tile header carries as its generating software.
inline constexpr char kGeneratingSoftware[] = "Halvorn_LiDAR Utilities";

// The header of one tile: the base header with the tile's point count, counts
// by return and bounds, and the tool's name as generating software.
void set_tile_header_fields(LAS12Header& header, std::uint16_t row, std::uint16_t col);

// Rewrites the header of every tile that holds records from `base` (the last
// input file's header) and the tile's statistics. The header size, point
// offset and VLR count stay those of the tile's own creating file, which
// define where its VLRs and records lie.
// Tiles are named from `TilePrefix` with `bufsize` digits.
void finalize_tile_headers(const std::string& TilePrefix, int bufsize, LAS12Header& base);

}  // namespace tessaro
