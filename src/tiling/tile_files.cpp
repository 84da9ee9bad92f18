#include "tile_files.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "console.hpp"
#include "tile_table.hpp"

namespace tessaro {
namespace {

// Writes the LAZ record of the tiles over the part of `chunk` (input bytes
// from `pos`) that holds the input's LAZ record, padded with zeros to its
// length.
void put_tile_laz_record(const FileJob& job, unsigned char* chunk, off_t pos, std::size_t n) {
    const LazInput& laz = job.file.laz;
    const std::vector<unsigned char>& mine = job.streams.laz_record;
    const auto from = static_cast<off_t>(laz.record_at), to = from + laz.record_bytes;
    for (off_t at = std::max(pos, from); at < std::min(pos + static_cast<off_t>(n), to); ++at) {
        const auto k = static_cast<std::size_t>(at - from);
        chunk[at - pos] = k < mine.size() ? mine[k] : 0;
    }
}

// Copies the input's bytes from 227 up to its first point record (header
// extension and variable-length records) into a new tile; a LAZ tile gets
// the LAZ record of its own chunks.
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
        if (job.streams.laz_tiles) put_tile_laz_record(job, chunk, pos, static_cast<std::size_t>(got));
        write_tile_bytes(job.streams, ts, chunk, static_cast<std::size_t>(got));
        pos += got;
    }
}

// Removes the file an earlier run left under the name of tile (i, c), if
// there is one; a file of that name that is an input ends the run, as it
// would as a tile.
void remove_leftover(const TileStreams& all, std::uint16_t i, std::uint16_t c) {
    const std::string name = tile_file_name(all.prefix, all.bufsize, i, c, all.extension);
    struct stat st;
    if (lstat(name.c_str(), &st) != 0) return;
    if (std::binary_search(all.inputs.begin(), all.inputs.end(), FileId{st.st_dev, st.st_ino}))
        fail("\nTile file %s is the list file or a file named in it; choose another tile prefix\n",
             name.c_str());
    if (unlink(name.c_str()) != 0 && errno != ENOENT)
        fail("\nFailed to remove empty tile file %s: %s\n", name.c_str(), std::strerror(errno));
}

// The columns of one row that any of `ranges` covers, as sorted intervals
// that neither overlap nor touch.
void covered_columns(const std::vector<TileRange>& ranges,
                     std::vector<std::pair<std::uint16_t, std::uint16_t>>& out) {
    out.clear();
    for (const TileRange& r : ranges) out.emplace_back(r.col_min, r.col_max);
    std::sort(out.begin(), out.end());
    std::size_t n = 0;
    for (const auto& [lo, hi] : out) {
        if (n != 0 && lo <= out[n - 1].second + 1u)
            out[n - 1].second = std::max(out[n - 1].second, hi);
        else
            out[n++] = {lo, hi};
    }
    out.resize(n);
}

}  // namespace

void remove_unlisted_leftovers(TileStreams& all) {
    std::vector<TileRange>& ranges = all.unlisted_ranges;
    if (ranges.empty()) return;
    const std::vector<std::uint32_t> filled = tiles_with_points();
    std::vector<TileRange> active;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> columns;
    try {
        std::sort(ranges.begin(), ranges.end(),
                  [](const TileRange& a, const TileRange& b) { return a.row_min < b.row_min; });
        active.reserve(ranges.size());
        columns.reserve(ranges.size());
    } catch (const std::bad_alloc&) {
        fail_line("Failed to allocate memory for the tiles of a file");
    }
    // Rows from south to north; in each, the columns that some range covers,
    // each tile looked up once however many ranges hold it.
    std::size_t next = 0;
    for (unsigned row = ranges.front().row_min; next < ranges.size() || !active.empty(); ++row) {
        std::erase_if(active, [row](const TileRange& r) { return r.row_max < row; });
        if (active.empty()) {
            if (next == ranges.size()) break;
            row = ranges[next].row_min;
        }
        while (next < ranges.size() && ranges[next].row_min == row) active.push_back(ranges[next++]);
        covered_columns(active, columns);
        const auto i = static_cast<std::uint16_t>(row);
        for (const auto& [lo, hi] : columns) {
            auto it = std::lower_bound(filled.begin(), filled.end(), tile_key(i, lo));
            for (unsigned col = lo; col <= hi; ++col) {
                const auto c = static_cast<std::uint16_t>(col);
                if (it != filled.end() && *it == tile_key(i, c)) {
                    ++it;
                    continue;
                }
                if (all.leftover_probes == kMaxLeftoverProbes) {
                    // Beyond the budget the empty tiles are counted, not looked up.
                    const auto end = std::upper_bound(it, filled.end(), tile_key(i, hi));
                    all.unchecked_tiles += (hi - col + 1u) - static_cast<std::uint64_t>(end - it);
                    break;
                }
                ++all.leftover_probes;
                remove_leftover(all, i, c);
            }
        }
    }
    ranges.clear();
}

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
        _tileInfo.entry(r, c).file.creator = job.nth;
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

void remove_leftover_tiles(FileJob& job, const std::vector<std::uint32_t>& present, bool listed) {
    const TileRange& r = job.range;
    if (r.empty()) return;
    TileStreams& all = job.streams;
    if (!listed) {
        try {
            all.unlisted_ranges.push_back(r);
        } catch (const std::bad_alloc&) {
            fail_line("Failed to allocate memory for the tiles of a file");
        }
        return;
    }
    for (unsigned row = r.row_min; row <= r.row_max; ++row) {
        const auto i = static_cast<std::uint16_t>(row);
        auto it = std::lower_bound(present.begin(), present.end(), tile_key(i, r.col_min));
        for (; it != present.end() && *it <= tile_key(i, r.col_max); ++it)
            if (_tileInfo.points_in(i, key_col(*it)) == 0) remove_leftover(all, i, key_col(*it));
    }
}

}  // namespace tessaro
