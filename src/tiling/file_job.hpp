// Everything the distribution of one input file works with: the file, the
// grid, the window over its tile range and the tiles it has touched.
#pragma once

#include <cstdint>
#include <vector>

#include "codec_pool.hpp"
#include "las_records.hpp"
#include "tile_grid.hpp"
#include "tile_stream.hpp"
#include "tile_window.hpp"

namespace tessaro {

struct FileJob {
    const char* name;
    int input;  // the open input file
    std::FILE* input_file;
    CodecPool& pool;  // decodes the chunks of a LAZ input
    const ListedFile& file;
    const LAS12Header& header;
    const Tile& grid;
    double TileSize;
    double q;           // the buffer as a fraction of the tile side
    std::uint32_t nth;  // the file's ordinal in the list, from 1
    TileStreams& streams;
    TileRange range;
    TileWindow& window;
    std::vector<TileStream*> opened{};  // the tiles this file touched
    std::uint64_t outside = 0;          // records outside the file's header bounds
};

// Tiles of the file's range stage records in large buffers; tiles that only
// records outside the header bounds reach, in small ones.
inline std::size_t stage_size_for(const FileJob& job, const TileStream& ts) {
    const TileRange& r = job.range;
    const bool in_range = !r.empty() && ts.row >= r.row_min && ts.row <= r.row_max && ts.col >= r.col_min &&
                          ts.col <= r.col_max;
    return in_range ? kRangeStageBytes : kExtraStageBytes;
}

}  // namespace tessaro
