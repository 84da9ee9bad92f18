// LAZ tiles are written as LAS tiles first, their records uncompressed after
// the input's header and records, and compressed when their headers are
// written: each tile's records in chunks of laz_tile_chunk_points points (the
// last one fewer; 50,000 unless the records are long), by the codec's
// workers, into a new file that then takes the tile's name. Chunks of that
// size compress as well as LAZ files usually do, whatever the order of the
// input records and however many tiles they reach at once, and every reader
// of LAZ reads them.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "codec_pool.hpp"
#include "console.hpp"
#include "las_records.hpp"
#include "listed_files.hpp"
#include "tile_stats.hpp"

namespace tessaro {

// One tile being compressed.
struct LazTileWork {
    std::string name;  // the tile's file, its records uncompressed
    std::string part;  // the LAZ file being written, renamed to `name` when done
    FilePtr raw;
    FilePtr out;
    LAS12Header header{};  // the tile's header: its fields, its creating file's layout
    const ListedFile* creator = nullptr;
    const TileStruct* stats = nullptr;
    std::uint64_t records_at = 0;  // OffsetToData
    std::uint64_t points = 0;
    std::uint64_t next_point = 0;  // the first record not yet handed to the codec
    std::vector<LazChunk> chunks;
    bool part_made = false;  // `part` is this run's file, removed if the run fails
};

// The tiles being compressed and their chunks in flight, in the order they
// are written; at most `max_in_flight` chunks.
struct LazTileWriter {
    CodecPool* pool = nullptr;
    LasKind kind;
    std::vector<FileId> inputs;  // no compressed file may be one of them
    std::size_t max_in_flight = 1;
    struct Chunk {
        std::unique_ptr<CodecJob> job;
        LazTileWork* tile;
    };
    std::deque<Chunk> in_flight;
    std::deque<std::unique_ptr<LazTileWork>> tiles;  // in the order they were begun
    std::vector<std::unique_ptr<CodecJob>> spare;
    std::vector<std::string> run_tiles;  // the name of every tile of the run
};

// From now until finish_laz_tiles returns, a failure that ends the run first
// removes every tile of the run (`writer.run_tiles`), compressed or not, and
// every file a tile is being compressed into: no file is left under a tile's
// name that readers of LAZ cannot read, nor a part of one.
void remove_laz_run_on_failure(LazTileWriter& writer);

// Begins the compression of one tile, whose file `raw` (checked to be the
// one the run wrote, `bytes` long) holds `header` and uncompressed records.
void compress_tile(LazTileWriter& writer, LazTileWork work, std::uint64_t bytes);

// Writes every chunk still in flight and finishes every tile begun; the
// tiles of the run are then no longer removed on failure.
void finish_laz_tiles(LazTileWriter& writer);

}  // namespace tessaro
