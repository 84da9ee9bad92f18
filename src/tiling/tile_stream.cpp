#include "tile_stream.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "console.hpp"

namespace tessaro {
namespace {

// Staging buffers and piece lists of closed streams, kept for the streams
// opened next: the run closes the tiles of one input file and opens those of
// the next, so this saves an allocation (and fresh pages) per tile and file.
// It never holds more than the most streams open at one time.
struct Spare {
    std::unique_ptr<unsigned char[]> buffer;
    std::size_t capacity;
    std::vector<iovec> pieces;
};
std::vector<Spare> spares;

void attach(TileStream& ts, int fd, const std::string& name, std::size_t buffer_size) {
    ts.fd = fd;
    ts.name = &name;
    auto spare = std::find_if(spares.begin(), spares.end(),
                              [buffer_size](const Spare& s) { return s.capacity == buffer_size; });
    if (spare != spares.end()) {
        ts.buffer = std::move(spare->buffer);
        ts.pieces = std::move(spare->pieces);
        spares.erase(spare);
    } else {
        ts.buffer.reset(new (std::nothrow) unsigned char[buffer_size]);
        if (!ts.buffer) fail("\nOut of memory for the buffer of tile file %s\n", name.c_str());
        try {
            ts.pieces.reserve(kMaxPieces);
        } catch (const std::bad_alloc&) {
            fail("\nOut of memory for the buffer of tile file %s\n", name.c_str());
        }
    }
    ts.capacity = buffer_size;
    ts.used = 0;
    ts.covered = 0;
    ts.pieces.clear();
    ts.last_is_ref = false;
    ts.holds_refs = false;
}

[[noreturn]] void write_failed(const TileStream& ts) {
    fail("\nFailed to write to tile file %s: %s\n", ts.name->c_str(), std::strerror(errno));
}

// Writes all of iov[0, count), resuming after short writes. A parked stream's
// file is opened for the write and closed after it.
void write_all(const TileStream& ts, iovec* iov, std::size_t count) {
    if (count == 0) return;
    int fd = ts.fd;
    if (ts.parked) {
        fd = open(ts.name->c_str(), O_WRONLY | O_APPEND);
        if (fd < 0) fail("Failed to open file %s in append mode\n", ts.name->c_str());
    }
    while (count > 0) {
        const ssize_t done = writev(fd, iov, static_cast<int>(count));
        if (done < 0) {
            if (errno == EINTR) continue;
            write_failed(ts);
        }
        if (done == 0) {
            errno = EIO;
            write_failed(ts);
        }
        auto left = static_cast<std::size_t>(done);
        while (count > 0 && left >= iov->iov_len) {
            left -= iov->iov_len;
            ++iov;
            --count;
        }
        if (count > 0) {
            iov->iov_base = static_cast<unsigned char*>(iov->iov_base) + left;
            iov->iov_len -= left;
        }
    }
    if (ts.parked && close(fd) != 0)
        fail("\nFailed to close tile file %s: %s\n", ts.name->c_str(), std::strerror(errno));
}

// Lists the staged bytes not yet listed as a piece, joining them to a staged
// piece that they continue.
void cover_staged(TileStream& ts) {
    if (ts.used == ts.covered) return;
    unsigned char* start = ts.buffer.get() + ts.covered;
    if (!ts.pieces.empty() && !ts.last_is_ref &&
        static_cast<unsigned char*>(ts.pieces.back().iov_base) + ts.pieces.back().iov_len == start) {
        ts.pieces.back().iov_len += ts.used - ts.covered;
    } else {
        if (ts.pieces.size() == kMaxPieces) flush_tile_stream(ts);  // flushing covers the staged bytes itself
        if (ts.used == ts.covered) return;
        ts.pieces.push_back({start, ts.used - ts.covered});
        ts.last_is_ref = false;
    }
    ts.covered = ts.used;
}

// Turns a complete short piece of the caller's memory, the last piece, into
// staged bytes; only when nothing was staged after it, so the order stays.
void copy_short_ref(TileStream& ts) {
    if (!ts.last_is_ref || ts.used != ts.covered) return;
    const iovec last = ts.pieces.back();
    if (last.iov_len >= kCopyPieceBelow || last.iov_len > ts.capacity - ts.used) return;
    ts.pieces.pop_back();
    ts.last_is_ref = false;
    std::memcpy(ts.buffer.get() + ts.used, last.iov_base, last.iov_len);
    ts.used += last.iov_len;
}

}  // namespace

TileStreamTable Make2dFilePointerArray(std::uint16_t rows, std::uint16_t cols) {
    TileStreamTable table;
    try {
        table.resize(rows);
    } catch (const std::bad_alloc&) {
        fail_line("Failed to allocate memory to row vector of File Pointers");
    }
    for (auto& row : table) {
        try {
            row.resize(cols);
        } catch (const std::bad_alloc&) {
            fail_line("Failed to allocate memory to column vector of file pointers");
        }
    }
    return table;
}

void open_tile_for_append(TileStream& ts, const std::string& name, std::size_t buffer_size) {
    // As fopen "ab" opens it; the stream's own buffer and pieces replace stdio.
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0666);
    if (fd < 0) fail("Failed to open file %s in append mode\n", name.c_str());
    attach(ts, fd, name, buffer_size);
}

void create_tile(TileStream& ts, const std::string& name, std::size_t buffer_size) {
    // As fopen "wb" opens it.
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) fail("Failed to open file %s for writing\n", name.c_str());
    attach(ts, fd, name, buffer_size);
}

void flush_tile_stream(TileStream& ts) {
    if (ts.used != ts.covered) {
        if (ts.pieces.size() == kMaxPieces) {
            write_all(ts, ts.pieces.data(), ts.pieces.size());
            ts.pieces.clear();
        }
        ts.pieces.push_back({ts.buffer.get() + ts.covered, ts.used - ts.covered});
    }
    if (!ts.pieces.empty()) write_all(ts, ts.pieces.data(), ts.pieces.size());
    ts.pieces.clear();
    ts.used = 0;
    ts.covered = 0;
    ts.last_is_ref = false;
    ts.holds_refs = false;
}

void tile_write_through(TileStream& ts, const unsigned char* bytes, std::size_t n) {
    flush_tile_stream(ts);
    if (n <= ts.capacity) {
        std::memcpy(ts.buffer.get(), bytes, n);
        ts.used = n;
    } else {
        iovec piece{const_cast<unsigned char*>(bytes), n};
        write_all(ts, &piece, 1);
    }
}

void tile_add_ref_piece(TileStream& ts, const unsigned char* bytes, std::size_t n) {
    copy_short_ref(ts);
    cover_staged(ts);
    if (ts.pieces.size() == kMaxPieces) flush_tile_stream(ts);
    ts.pieces.push_back({const_cast<unsigned char*>(bytes), n});
    ts.last_is_ref = true;
    ts.holds_refs = true;
}

// Gives the stream's buffer and piece list to the spares.
void release_buffers(TileStream& ts) {
    try {
        spares.push_back({std::move(ts.buffer), ts.capacity, std::move(ts.pieces)});
    } catch (const std::bad_alloc&) {
        // Without room to keep them the buffers are simply freed.
    }
    ts.buffer.reset();
    ts.capacity = 0;
    ts.used = 0;
    ts.covered = 0;
    ts.pieces = std::vector<iovec>();
}

void close_tile_stream(TileStream& ts) {
    flush_tile_stream(ts);
    const int fd = ts.fd;
    ts.fd = -1;
    if (ts.parked) {
        ts.parked = false;
    } else if (close(fd) != 0) {
        fail("\nFailed to close tile file %s: %s\n", ts.name->c_str(), std::strerror(errno));
    }
    release_buffers(ts);
}

void park_tile_stream(TileStream& ts) {
    if (ts.parked) return;
    flush_tile_stream(ts);
    const int fd = ts.fd;
    ts.fd = -1;
    ts.parked = true;
    if (close(fd) != 0) fail("\nFailed to close tile file %s: %s\n", ts.name->c_str(), std::strerror(errno));
    release_buffers(ts);
}

}  // namespace tessaro
