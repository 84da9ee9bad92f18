// The final rewrite of every tile file's header.
#pragma once

#include <string>

#include "codec_pool.hpp"
#include "las_records.hpp"
#include "listed_files.hpp"
#include "tile_grid.hpp"
#include "tile_stats.hpp"

namespace tessaro {

// The text every tile header carries as its generating software.
inline constexpr char kGeneratingSoftware[] = "Halvorn_LiDAR Utilities";

// The header of one tile: the base header with the tile's point count, counts
// by return and bounds, and the tool's name as generating software.
void set_tile_header_fields(LAS12Header& header, std::uint16_t row, std::uint16_t col);

// The fields LAS 1.3 and 1.4 add, for a tile of `kind` with statistics `t`:
// no waveform packets (nor their bits in the global encoding of `header`),
// the WKT bit of the creating file `creator`; the 64-bit count and the 15 counts by return; the
// extended records of the tile's creating file `creator`, placed at
// `records_end`, the end of the tile's point records. For the formats of 15
// returns the legacy count and counts by return of `header` are zero, as
// they are for the other formats when the count does not fit them.
LAS14HeaderExtension tile_extension(const TileStruct& t, const LasKind& kind, const ListedFile& creator,
                                    std::uint64_t records_end, LAS12Header& header);

// Appends the extended records of the creating file `creator` at the end of
// the tile file `f` (named `name`).
void append_evlrs(std::FILE* f, const char* name, const ListedFile& creator);

// Writes the `n` bytes of a tile's header block, `header` and `extension`, at
// the start of the tile file `f` (named `name`).
void write_header_block(std::FILE* f, const char* name, const LAS12Header& header,
                        const LAS14HeaderExtension& extension, std::size_t n);

// Rewrites the header of every tile that holds records from `base` (the last
// input file's header) and the tile's statistics, after appending the
// extended records of its creating file for LAS 1.4. The header size, point
// offset and VLR count stay those of the tile's own creating file, which
// define where its VLRs and records lie. LAZ tiles are compressed then, by
// the codec's workers `pool`; no compressed tile may be one of the `inputs`.
// Each tile file must still be the
// file the run wrote. Tiles are named from `TilePrefix` with `bufsize` digits.
void finalize_tile_headers(const std::string& TilePrefix, int bufsize, LAS12Header& base,
                           const ListedSurvey& survey, const LasKind& kind, CodecPool* pool,
                           const std::vector<FileId>& inputs);

}  // namespace tessaro
