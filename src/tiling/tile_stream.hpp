// Output streams of tile files: a file handle with a large buffer of its own,
// so that a record costs one memcpy and the disk sees large writes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace tessaro {

struct TileStream {
    std::FILE* file = nullptr;  // owned while open; closed by close_tile_stream
    const std::string* name = nullptr;
    std::vector<unsigned char> buffer;
    std::size_t used = 0;
};

using TileStreamTable = std::vector<std::vector<TileStream>>;

// Buffer sizes: tiles of a file's tile range, and tiles opened on demand for
// records that lie outside their file's header bounds.
inline constexpr std::size_t kRangeTileBuffer = 256 * 1024;
inline constexpr std::size_t kExtraTileBuffer = 32 * 1024;

// A rows x cols table of closed tile streams.
TileStreamTable Make2dFilePointerArray(std::uint16_t rows, std::uint16_t cols);

// Opens a tile file that already holds records, for appending.
void open_tile_for_append(TileStream& ts, const std::string& name, std::size_t buffer_size);

// Creates (truncating) a new tile file for writing.
void create_tile(TileStream& ts, const std::string& name, std::size_t buffer_size);

// Writes the buffered bytes to the file; ends the run on a write error.
void flush_tile_stream(TileStream& ts);

// Appends bytes to the stream.
inline void tile_write(TileStream& ts, const unsigned char* bytes, std::size_t n) {
    if (ts.used + n > ts.buffer.size()) {
        flush_tile_stream(ts);
        if (n > ts.buffer.size()) {
            ts.buffer.resize(n);
        }
    }
    std::memcpy(ts.buffer.data() + ts.used, bytes, n);
    ts.used += n;
}

// Flushes and closes the file; ends the run on a write or close error.
void close_tile_stream(TileStream& ts);

inline bool tile_stream_open(const TileStream& ts) {
    return ts.file != nullptr;
}

}  // namespace tessaro
