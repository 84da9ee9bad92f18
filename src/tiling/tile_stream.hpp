// Output streams of tile files. A stream gathers what it is to write as a list
// of pieces and writes them with one gathering system call per flush: pieces
// of its own staging buffer (headers, short runs of records) and pieces of the
// caller's memory (long runs of records straight from the input), so that most
// record bytes are never copied in user space.
#pragma once

#include <sys/uio.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace tessaro {

// A closed stream has no staging buffer (capacity 0).
struct TileStream {
    int fd = -1;  // the open file's descriptor, owned while open; closed by close_tile_stream
    const std::string* name = nullptr;
    std::unique_ptr<unsigned char[]> buffer;  // staging; not zero-filled, only bytes below `used` are read
    std::size_t capacity = 0;
    std::size_t used = 0;       // bytes staged
    std::size_t covered = 0;    // staged bytes [0, covered) are already listed in `pieces`
    std::vector<iovec> pieces;  // what the next flush writes, in order
    bool last_is_ref = false;   // pieces.back() lies in the caller's memory
    bool holds_refs = false;    // some piece lies in the caller's memory
    bool parked = false;        // open, but its file is closed between flushes (see park_tile_stream)
};

using TileStreamTable = std::vector<std::vector<TileStream>>;

// Buffer sizes: tiles of a file's tile range, and tiles opened on demand for
// records that lie outside their file's header bounds.
inline constexpr std::size_t kRangeTileBuffer = std::size_t{256} * 1024;
inline constexpr std::size_t kExtraTileBuffer = std::size_t{32} * 1024;

// Most streams opened on demand that hold a file open at once; beyond them
// the streams are parked.
inline constexpr std::size_t kMaxStreamsOnDemand = 64;

// Most pieces one flush writes (the system's limit of one gathering write).
inline constexpr std::size_t kMaxPieces = IOV_MAX;

// A piece of the caller's memory shorter than this is copied into the staging
// buffer once the piece is complete: the system handles many tiny pieces more
// slowly than one copy.
inline constexpr std::size_t kCopyPieceBelow = 512;

// A rows x cols table of closed tile streams.
TileStreamTable Make2dFilePointerArray(std::uint16_t rows, std::uint16_t cols);

// Opens a tile file that already holds records, for appending.
void open_tile_for_append(TileStream& ts, const std::string& name, std::size_t buffer_size);

// Creates (truncating) a new tile file for writing.
void create_tile(TileStream& ts, const std::string& name, std::size_t buffer_size);

// Writes every piece to the file; ends the run on a write error.
void flush_tile_stream(TileStream& ts);

// Writes what is pending and the n bytes that did not fit in the buffer.
void tile_write_through(TileStream& ts, const unsigned char* bytes, std::size_t n);

// Appends a copy of bytes to the stream.
inline void tile_write(TileStream& ts, const unsigned char* bytes, std::size_t n) {
    if (n > ts.capacity - ts.used) {
        tile_write_through(ts, bytes, n);
        return;
    }
    std::memcpy(ts.buffer.get() + ts.used, bytes, n);
    ts.used += n;
}

// Lists bytes of the caller's memory as a new piece (tile_write_ref).
void tile_add_ref_piece(TileStream& ts, const unsigned char* bytes, std::size_t n);

// Appends bytes that the caller leaves in place, unchanged, until the next
// flush_tile_stream or close_tile_stream of this stream. Bytes that continue
// the previous such piece, with nothing staged since, extend it.
inline void tile_write_ref(TileStream& ts, const unsigned char* bytes, std::size_t n) {
    if (ts.last_is_ref && ts.used == ts.covered) {
        iovec& last = ts.pieces.back();
        if (static_cast<const unsigned char*>(last.iov_base) + last.iov_len == bytes) {
            last.iov_len += n;
            return;
        }
    }
    tile_add_ref_piece(ts, bytes, n);
}

// Flushes and closes the file; ends the run on a write or close error.
void close_tile_stream(TileStream& ts);

// Writes what is pending, closes the file and frees the buffer, while the
// stream stays open for writing: each later flush opens the file for
// appending, writes and closes it again. Bounds the descriptors and memory of
// many tiles that a file's records reach outside its tile range.
void park_tile_stream(TileStream& ts);

inline bool tile_stream_open(const TileStream& ts) {
    return ts.fd >= 0 || ts.parked;
}

}  // namespace tessaro
