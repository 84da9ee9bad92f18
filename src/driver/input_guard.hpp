// Protection of the files a run reads against the files it writes.
#pragma once

#include <string>
#include <vector>

#include "tile_grid.hpp"
#include "tile_stream.hpp"

namespace tessaro {

// Ends the run (status -1, message naming the tile file) when a file that the
// distribution would create or append to as a tile of this grid already
// exists and is the list file or one of the files it names, under any name
// (another spelling of the path, a symbolic or hard link). Writing such a
// tile would truncate or grow an input while the run still reads it. Called
// before any tile file is written. In a directory
// that cannot be listed nothing is refused here; the tile streams check each
// tile file they open against the inputs, which this returns with the tile
// files the directory holds.
struct OutputDirectory {
    std::vector<FileId> inputs;                // the list file and the files it names, sorted
    std::vector<std::uint32_t> present_tiles;  // keys of the tile files it holds, sorted
    bool listed = false;                       // the directory could be listed
};
OutputDirectory refuse_tiles_over_inputs(const ListedSurvey& survey, const std::string& TilePrefix,
                                         const Tile& pTile, int bufsize, const char* extension);

}  // namespace tessaro
