// The tile files of one input file: made when the file first touches a tile
// (with the file's header and variable-length records when the tile holds no
// record yet), and removed at the end of the file when they stayed empty.
#pragma once

#include <cstdint>
#include <vector>

#include "file_job.hpp"

namespace tessaro {

// The stream of tile (r, c), touched by this file: the first touch resets the
// tile's count for the file and lists it for the report, and a tile that holds
// no record yet is created with the file's header and variable-length
// records. A tile that holds records is appended to.
TileStream& touch(FileJob& job, std::uint16_t r, std::uint16_t c);

// The stream of window cell `cell`, touched by this file.
TileStream& window_stream(FileJob& job, std::size_t cell);

// Closes and removes every tile this file created that holds nothing.
void remove_empty_tiles(FileJob& job);

// Removes the tile files of the file's tile range that an earlier run left
// and that hold no record of this run: a range whose tiles are not all
// created up front ends as if they had been. When the output directory was
// `listed`, `present` holds the sorted keys of the tiles found in it before
// the run; otherwise the range is kept for remove_unlisted_leftovers.
void remove_leftover_tiles(FileJob& job, const std::vector<std::uint32_t>& present, bool listed);

// At the end of the distribution into a directory that cannot be listed:
// looks up by name every tile of the kept ranges that holds no record, each
// once however many ranges hold it, up to kMaxLeftoverProbes names in a run,
// and removes what an earlier run left there; the tiles beyond that budget
// are counted in `unchecked_tiles`.
void remove_unlisted_leftovers(TileStreams& all);

}  // namespace tessaro
