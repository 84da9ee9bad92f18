// Output streams of tile files. Each tile in use has a stream; a stream that
// receives records holds a staging buffer into which the distribution copies
// short runs of them, while long runs are listed as pieces of the input block
// where they lie, written without a copy in user space. A stream writes what
// it holds, in order, with one gathering system call: when its buffer is full
// (then only up to an aligned end of the file when it holds staged records
// alone, keeping the rest) and, when it lists pieces of the input, before the
// block is released.
// Staged records are counted in the tile's statistics in batches
// (count_records) before they are written, and at the end of each input file;
// a listed run is counted when it is listed.
//
// Memory and descriptors stay bounded however many tiles a survey touches:
// buffers come from a pool of fixed size, and when it is used up the stream
// used least recently gives its buffer up (its records are written first);
// likewise at most kMaxOpenTiles descriptors are open, the least recently used
// stream's being closed for a new one. A stream without a descriptor opens its
// file for appending when it next writes. Streams stay open from one input
// file to the next, so a tile that several input files reach is opened once.
#pragma once

#include <sys/types.h>
#include <sys/uio.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "las_records.hpp"
#include "listed_files.hpp"
#include "tile_grid.hpp"
#include "tile_stats.hpp"

namespace tessaro {

// The tile file as this run created it and what it wrote to it; a file
// reopened under the tile's name must still be this one.
struct TileFile {
    FileId id{};
    std::uint64_t bytes = 0;    // written so far
    std::uint32_t creator = 0;  // ordinal (from 1) of the input file that created it
};

struct TileStream {
    // Staged records: [begin, counted) are counted in `stats`, [counted, pos)
    // not yet; the buffer ends at `end`. Without a buffer all four are null, so
    // that a writer finds no room and takes its slow path. Staged bytes
    // [begin, listed) are listed in `pieces`; the rest follow the pieces.
    unsigned char* pos = nullptr;
    unsigned char* end = nullptr;
    unsigned char* begin = nullptr;
    unsigned char* counted = nullptr;
    unsigned char* listed = nullptr;
    std::vector<iovec> pieces;  // what is written before the staged bytes from `listed` on
    bool holds_input = false;   // some piece lies in the input block
    int fd = -1;                // the tile file, open for writing at its end; -1 between uses
    std::uint16_t row = 0;
    std::uint16_t col = 0;
    std::uint32_t file_mark = 0;    // ordinal of the last input file that touched the tile
    std::uint64_t used_at = 0;      // when the stream last staged records (stream clock)
    unsigned char* seen = nullptr;  // pos when used_at was last set
    TileStruct* stats = nullptr;    // the statistics beside it in its tile's entry; null until first used
    TileFile* file = nullptr;       // and the file's record
    std::string name;               // the tile file's name
    std::unique_ptr<unsigned char[]> buffer;
};

// Staging buffer sizes: the tiles of an input file's tile range, and tiles
// that records outside their file's header bounds reach.
inline constexpr std::size_t kRangeStageBytes = std::size_t{96} * 1024;
inline constexpr std::size_t kExtraStageBytes = std::size_t{4} * 1024;
// A full staging buffer is written up to the last multiple of this many bytes
// of the tile file and keeps the rest: the file then grows by whole aligned
// chunks, which the page cache takes in large pieces rather than page by page.
inline constexpr std::size_t kStageAlignBytes = std::size_t{64} * 1024;
// Runs of records at least this long are listed in place rather than staged.
inline constexpr std::size_t kInputRunBytes = 1024;
static_assert(kInputRunBytes <= kExtraStageBytes);
// Most pieces one gathering write takes.
inline constexpr std::size_t kMaxPieces = IOV_MAX;
// Most bytes of staging buffers held at once.
inline constexpr std::size_t kStageBudgetBytes = std::size_t{16} * 1024 * 1024;
// Most tile files open at once; fewer when the process may open fewer files.
inline constexpr std::size_t kMaxOpenTiles = 1024;

// What the streams of a run share: their buffer pool, open-file budget and
// use clock. The streams themselves live in the tiles' entries of `_tileInfo`.
struct TileStreams {
    std::string prefix;  // the tile prefix
    int bufsize = 1;     // digits of the row and column numbers in names
    const char* extension = ".las";
    std::size_t record_length = 0;
    // LAZ tiles: their LAZ record, written over the input's in a new tile.
    bool laz_tiles = false;
    std::vector<unsigned char> laz_record;
    unsigned return_mask = 7;                    // the return number bits of byte 14
    std::uint64_t max_tile_points = UINT32_MAX;  // the most records a tile file can count
    const LAS12Header* header = nullptr;         // of the input file being distributed
    std::vector<TileStream*> live;               // streams holding a buffer
    std::vector<TileStream*> holding_input;      // streams listing pieces of the input block
    std::vector<std::unique_ptr<unsigned char[]>> spare_range, spare_extra;
    std::size_t held_bytes = 0;  // in buffers of live streams and spares
    std::size_t open_files = 0;
    std::size_t max_open_files = kMaxOpenTiles;
    std::uint64_t clock = 0;
    // The list file and the files it names, sorted: no tile file may be one
    // of them, whatever its name.
    std::vector<FileId> inputs;
    // Names of tiles without records looked up in an output directory that
    // cannot be listed, for files an earlier run left; and the tiles beyond
    // that budget, not looked up.
    std::uint64_t leftover_probes = 0;
    std::uint64_t unchecked_tiles = 0;
    // The tile ranges whose leftovers are looked up by name at the end.
    std::vector<TileRange> unlisted_ranges;
};

// Most tile names looked up in a run for leftovers of an earlier run when
// the output directory cannot be listed: a fraction of a second of lookups.
inline constexpr std::uint64_t kMaxLeftoverProbes = std::uint64_t{1} << 18;

// The stream of tile (r, c), in the tile's entry of `_tileInfo`; given its
// name when the tile is first used.
TileStream& tile_stream(TileStreams& all, std::uint16_t r, std::uint16_t c);

// Creates (truncating) the tile's file for writing; ends the run with the
// tile's message when it cannot, or when the file is one of the inputs.
void create_tile_file(TileStreams& all, TileStream& ts);

// Writes bytes to the tile's file at once, past what was written so far; the
// stream must hold no staged records.
void write_tile_bytes(TileStreams& all, TileStream& ts, const unsigned char* bytes, std::size_t n);

// Gives the stream a staging buffer of `size` bytes.
void attach_stage(TileStreams& all, TileStream& ts, std::size_t size);

// Copies `n` bytes of whole records (one record: `Len`) into the stream's
// staging buffer when they fit; false when they do not, or the stream has no
// buffer.
template <std::size_t Len>
inline bool stage_if_room(TileStream& ts, const unsigned char* records, std::size_t n) {
    if (static_cast<std::size_t>(ts.end - ts.pos) < n) return false;
    if (n == Len)
        std::memcpy(ts.pos, records, Len);
    else
        std::memcpy(ts.pos, records, n);
    ts.pos += n;
    // The lines the tile's next records go to, fetched while others are
    // routed; near the buffer's end, its last line, so that the address
    // stays inside the buffer.
    __builtin_prefetch(ts.pos + std::min<std::ptrdiff_t>(256, ts.end - ts.pos), 1);
    return true;
}

// Stages `n` bytes of whole records (less than kInputRunBytes), giving the
// stream a buffer of `buffer_size` bytes when it has none and making room
// when it is full.
void stage_records(TileStreams& all, TileStream& ts, const unsigned char* records, std::size_t n,
                   std::size_t buffer_size);

// Counts the records [begin, end) in the tile's statistics, with the current
// input header; ends the run when the tile would hold more records than its
// file can count.
void count_into_tile(const TileStreams& all, TileStream& ts, const unsigned char* begin,
                     const unsigned char* end);

// Counts the staged records not yet counted.
inline void count_staged(const TileStreams& all, TileStream& ts) {
    if (ts.counted != ts.pos) {
        count_into_tile(all, ts, ts.counted, ts.pos);
        ts.counted = ts.pos;
    }
}

// Counts and writes the pieces and the staged records; the buffer is then empty.
void flush_tile_stream(TileStreams& all, TileStream& ts);

// Makes `room` bytes of room in a full staging buffer: writes the staged
// records up to an aligned end when the stream lists no pieces and the rest
// leaves that room, else everything.
void flush_full_stage(TileStreams& all, TileStream& ts, std::size_t room);

// Lists a run of records of the input block, `n` bytes, to be written after
// what the stream holds; counts it (and first what is staged). The run must
// stay in place until the stream is flushed; the caller flushes every stream
// that holds input before it releases the block.
void list_input_run(TileStreams& all, TileStream& ts, const unsigned char* run, std::size_t n);

// Marks the streams that staged records since the last call as used now: the
// order in which buffers and descriptors are taken back.
void note_stream_use(TileStreams& all);

// Closes the file of a tile that holds no record and gives its buffer back;
// the caller removes the file.
void drop_tile_stream(TileStreams& all, TileStream& ts);

// Writes everything staged, closes every tile file and clears the streams.
void close_tile_streams(TileStreams& all);

// Closes every tile file without writing what is staged, and removes every
// tile file this run created: for a run that cannot go on after tiles exist.
void abandon_tile_streams(TileStreams& all);

}  // namespace tessaro
