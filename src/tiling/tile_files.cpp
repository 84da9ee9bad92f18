#include "tile_files.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "console.hpp"
#include "tile_table.hpp"

namespace tessaro {
namespace {

// Copies the input's bytes from 227 up to its first point record (header
// extension and variable-length records) into a new tile.
void copy_header_tail(FileJob& job, TileStream& ts) {
    unsigned char chunk[64 * 1024];
    off_t pos = static_cast<off_t>(kHeaderBytes);
    const off_t end = static_cast<off_t>(job.header.OffsetToData);
    while (pos < end) {
        const auto want = static_cast<std::size_t>(std::min<off_t>(end - pos, sizeof chunk));
        const ssize_t got = pread(job.input, chunk, want, pos);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0)
            fail("\nFailed to read the variable length records of %s: %s\n", job.name,
                 got < 0 ? std::strerror(errno) : "unexpected end of file");
        write_tile_bytes(job.streams, ts, chunk, static_cast<std::size_t>(got));
        pos += got;
    }
}

}  // namespace

TileStream& touch(FileJob& job, std::uint16_t r, std::uint16_t c) {
    TileStream& ts = tile_stream(job.streams, r, c);
    if (ts.file_mark == job.nth) return ts;
    ts.file_mark = job.nth;
    ts.stats->tmpNPts = 0;
    try {
        job.opened.push_back(&ts);
    } catch (const std::bad_alloc&) {
        fail_line("Failed to allocate memory for the tiles of a file");
    }
    if (ts.stats->nPts == 0) {
        create_tile_file(job.streams, ts);
        unsigned char image[kHeaderBytes];
        header_to_bytes(job.header, image);
        write_tile_bytes(job.streams, ts, image, kHeaderBytes);
        copy_header_tail(job, ts);
    }
    return ts;
}

TileStream& window_stream(FileJob& job, std::size_t cell) {
    TileStream*& slot = window_slot(job.window, cell);
    if (slot == &untouched) slot = &touch(job, cell_row(job.window, cell), cell_col(job.window, cell));
    return *slot;
}

void remove_empty_tiles(FileJob& job) {
    for (TileStream* ts : job.opened) {
        if (ts->stats->nPts != 0) continue;
        drop_tile_stream(job.streams, *ts);
        if (std::remove(ts->name.c_str()) != 0)
            fail("\nFailed to remove empty tile file %s: %s\n", ts->name.c_str(), std::strerror(errno));
    }
}

void remove_leftover_tiles(const FileJob& job, const std::vector<std::uint32_t>& present) {
    const TileRange& r = job.range;
    if (r.empty()) return;
    for (unsigned row = r.row_min; row <= r.row_max; ++row) {
        const auto i = static_cast<std::uint16_t>(row);
        auto it = std::lower_bound(present.begin(), present.end(), tile_key(i, r.col_min));
        for (; it != present.end() && *it <= tile_key(i, r.col_max); ++it) {
            const std::uint16_t c = key_col(*it);
            if (_tileInfo.points_in(i, c) != 0) continue;
            const std::string name = tile_file_name(job.streams.prefix, job.streams.bufsize, i, c);
            if (unlink(name.c_str()) != 0 && errno != ENOENT)
                fail("\nFailed to remove empty tile file %s: %s\n", name.c_str(), std::strerror(errno));
        }
    }
}

}  // namespace tessaro
