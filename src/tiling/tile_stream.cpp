#include "tile_stream.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "console.hpp"
#include "tile_grid.hpp"
#include "tile_table.hpp"

namespace tessaro {
namespace {

// A stream holding a buffer or a descriptor is live, and listed once.
bool holds_anything(const TileStream& ts) {
    return ts.begin != nullptr || ts.fd >= 0;
}

void make_live(TileStreams& all, TileStream& ts) {
    if (holds_anything(ts)) return;  // listed already
    try {
        all.live.push_back(&ts);
    } catch (const std::bad_alloc&) {
        fail("\nOut of memory for the buffer of tile file %s\n", ts.name.c_str());
    }
    ts.used_at = all.clock;
}

void unlist_if_idle(TileStreams& all, TileStream& ts) {
    if (holds_anything(ts)) return;
    auto it = std::find(all.live.begin(), all.live.end(), &ts);
    if (it != all.live.end()) {
        *it = all.live.back();
        all.live.pop_back();
    }
}

void close_file(TileStreams& all, TileStream& ts) {
    if (ts.fd < 0) return;
    const int fd = ts.fd;
    ts.fd = -1;
    --all.open_files;
    if (close(fd) != 0) fail("\nFailed to close tile file %s: %s\n", ts.name.c_str(), std::strerror(errno));
}

// The live stream used least recently, other than `keep`, that `holds` says
// has what is wanted; null when none has.
template <typename Holds>
TileStream* least_recently_used(const TileStreams& all, const TileStream& keep, Holds holds) {
    TileStream* oldest = nullptr;
    for (TileStream* s : all.live)
        if (s != &keep && holds(*s) && (oldest == nullptr || s->used_at < oldest->used_at)) oldest = s;
    return oldest;
}

// Closes the least recently used tile file other than that of `keep`; false
// when no other is open.
bool close_least_recently_used(TileStreams& all, const TileStream& keep) {
    TileStream* oldest = least_recently_used(all, keep, [](const TileStream& s) { return s.fd >= 0; });
    if (oldest == nullptr) return false;
    close_file(all, *oldest);
    unlist_if_idle(all, *oldest);
    return true;
}

// Ends the run when the open file `fd` of a tile is the list file or one of
// the files it names: writing it would change an input the run still reads.
// Checked on the open descriptor, so no rename or link can come in between.
// An empty file is no input (every input holds a header), and may bear the
// number of an input removed since it was listed. Returns the file's size.
off_t refuse_input(const TileStreams& all, TileStream& ts, int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0) fail("\nFailed to open file %s: %s\n", ts.name.c_str(), std::strerror(errno));
    const FileId id{st.st_dev, st.st_ino};
    if (st.st_size > 0 && std::binary_search(all.inputs.begin(), all.inputs.end(), id))
        fail("\nTile file %s is the list file or a file named in it; choose another tile prefix\n",
             ts.name.c_str());
    ts.file->id = id;
    return st.st_size;
}

[[noreturn]] void tile_changed(const TileStream& ts) {
    fail("\nTile file %s was removed or replaced while this run wrote it\n", ts.name.c_str());
}

// Ends the run when the file reopened for a tile is not the one this run
// created for it, holding what it wrote: a tile removed or replaced while its
// descriptor was closed would otherwise take records without a header.
void require_own_file(const TileStream& ts, int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0) fail("\nFailed to open file %s: %s\n", ts.name.c_str(), std::strerror(errno));
    if (!(FileId{st.st_dev, st.st_ino} == ts.file->id) ||
        static_cast<std::uint64_t>(st.st_size) != ts.file->bytes)
        tile_changed(ts);
}

// Why a tile file is opened: created empty (as fopen "wb") or appended to (as "ab").
enum class OpenFor { creating, appending };

[[noreturn]] void open_failed(const TileStream& ts, OpenFor why) {
    if (why == OpenFor::creating) fail("Failed to open file %s for writing\n", ts.name.c_str());
    fail("Failed to open file %s in append mode\n", ts.name.c_str());
}

// Opens the tile's file; returns the size it had.
off_t open_file(TileStreams& all, TileStream& ts, OpenFor why) {
    // A tile is reopened only to append to the file this run created; one
    // that is gone is not made anew.
    const int flags = why == OpenFor::creating ? O_WRONLY | O_CREAT : O_WRONLY | O_APPEND;
    if (all.open_files >= all.max_open_files) close_least_recently_used(all, ts);
    int fd = open(ts.name.c_str(), flags, 0666);
    // Out of descriptors (other files of the process count too): give one back.
    while (fd < 0 && (errno == EMFILE || errno == ENFILE) && close_least_recently_used(all, ts))
        fd = open(ts.name.c_str(), flags, 0666);
    if (fd < 0 && why == OpenFor::appending && errno == ENOENT) tile_changed(ts);
    if (fd < 0) open_failed(ts, why);
    off_t size = 0;
    if (why == OpenFor::creating)
        size = refuse_input(all, ts, fd);
    else
        require_own_file(ts, fd);
    make_live(all, ts);
    ts.fd = fd;
    ++all.open_files;
    return size;
}

// Writes all of iov[0, count), resuming after short writes.
void write_all(TileStream& ts, iovec* iov, std::size_t count) {
    while (count > 0) {
        const ssize_t done = writev(ts.fd, iov, static_cast<int>(std::min<std::size_t>(count, kMaxPieces)));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            if (done == 0) errno = EIO;
            fail("\nFailed to write to tile file %s: %s\n", ts.name.c_str(), std::strerror(errno));
        }
        ts.file->bytes += static_cast<std::uint64_t>(done);
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
}

// Opens the tile's file for appending when it is closed.
void ensure_open(TileStreams& all, TileStream& ts) {
    if (ts.fd < 0) open_file(all, ts, OpenFor::appending);
}

// Takes the buffer from a stream (after writing what it stages).
std::unique_ptr<unsigned char[]> take_stage(TileStreams& all, TileStream& ts) {
    flush_tile_stream(all, ts);
    ts.pos = ts.end = ts.begin = ts.counted = ts.listed = ts.seen = nullptr;
    ts.pieces = std::vector<iovec>();
    std::unique_ptr<unsigned char[]> buffer = std::move(ts.buffer);
    unlist_if_idle(all, ts);
    return buffer;
}

std::vector<std::unique_ptr<unsigned char[]>>& spares_of(TileStreams& all, std::size_t size) {
    return size == kRangeStageBytes ? all.spare_range : all.spare_extra;
}

// A buffer of `size` bytes for `ts`: a spare, a new one within the budget, or
// the buffer of the stream used least recently.
std::unique_ptr<unsigned char[]> find_stage(TileStreams& all, const TileStream& ts, std::size_t size) {
    auto& spares = spares_of(all, size);
    if (!spares.empty()) {
        std::unique_ptr<unsigned char[]> buffer = std::move(spares.back());
        spares.pop_back();
        return buffer;
    }
    for (;;) {
        if (all.held_bytes + size <= kStageBudgetBytes) break;
        TileStream* oldest =
            least_recently_used(all, ts, [](const TileStream& s) { return s.begin != nullptr; });
        if (oldest == nullptr) break;  // nothing to take back: go past the budget
        const auto oldest_size = static_cast<std::size_t>(oldest->end - oldest->begin);
        std::unique_ptr<unsigned char[]> taken = take_stage(all, *oldest);
        if (oldest_size == size) return taken;
        all.held_bytes -= oldest_size;
    }
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[size]);
    if (!buffer) fail("\nOut of memory for the buffer of tile file %s\n", ts.name.c_str());
    all.held_bytes += size;
    return buffer;
}

}  // namespace

TileStream& tile_stream(TileStreams& all, std::uint16_t r, std::uint16_t c) {
    TileEntry& e = _tileInfo.entry(r, c);
    TileStream& ts = e.stream;
    if (ts.stats == nullptr) {
        try {
            ts.name = tile_file_name(all.prefix, all.bufsize, r, c, all.extension);
        } catch (const std::bad_alloc&) {
            fail_line("Failed to allocate memory for the streams of the tile files");
        }
        ts.row = r;
        ts.col = c;
        ts.stats = &e.stats;
        ts.file = &e.file;
    }
    return ts;
}

void create_tile_file(TileStreams& all, TileStream& ts) {
    close_file(all, ts);
    ts.file->bytes = 0;
    // Truncated only once it is known to be no input, and only when it holds
    // bytes: ext4 flushes a file truncated to nothing when it is closed, which
    // would cost every new tile a writeback of its own.
    if (open_file(all, ts, OpenFor::creating) == 0) return;
    int done;
    do done = ftruncate(ts.fd, 0);
    while (done != 0 && errno == EINTR);
    if (done != 0) open_failed(ts, OpenFor::creating);
}

void write_tile_bytes(TileStreams& all, TileStream& ts, const unsigned char* bytes, std::size_t n) {
    ensure_open(all, ts);
    iovec piece{const_cast<unsigned char*>(bytes), n};
    write_all(ts, &piece, 1);
}

void attach_stage(TileStreams& all, TileStream& ts, std::size_t size) {
    std::unique_ptr<unsigned char[]> buffer = find_stage(all, ts, size);
    make_live(all, ts);
    ts.begin = ts.pos = ts.counted = ts.listed = ts.seen = buffer.get();
    ts.end = ts.begin + size;
    ts.buffer = std::move(buffer);
    ts.used_at = all.clock;
}

void stage_records(TileStreams& all, TileStream& ts, const unsigned char* records, std::size_t n,
                   std::size_t buffer_size) {
    if (ts.begin == nullptr) attach_stage(all, ts, buffer_size);
    if (n > static_cast<std::size_t>(ts.end - ts.pos)) flush_full_stage(all, ts, n);
    std::memcpy(ts.pos, records, n);
    ts.pos += n;
}

void flush_tile_stream(TileStreams& all, TileStream& ts) {
    count_staged(all, ts);
    if (ts.pos != ts.listed) {
        try {
            ts.pieces.push_back({ts.listed, static_cast<std::size_t>(ts.pos - ts.listed)});
        } catch (const std::bad_alloc&) {
            fail("\nOut of memory for the buffer of tile file %s\n", ts.name.c_str());
        }
    }
    if (!ts.pieces.empty()) {
        ensure_open(all, ts);
        write_all(ts, ts.pieces.data(), ts.pieces.size());
    }
    ts.pieces.clear();
    ts.pos = ts.counted = ts.listed = ts.begin;
    ts.holds_input = false;
}

void flush_full_stage(TileStreams& all, TileStream& ts, std::size_t room) {
    // Only staged bytes, reaching past a boundary: written up to it, the rest
    // kept, when `room` is left beside them.
    const std::uint64_t end = ts.file->bytes + static_cast<std::uint64_t>(ts.pos - ts.begin);
    const std::uint64_t boundary = end / kStageAlignBytes * kStageAlignBytes;
    if (!ts.pieces.empty() || boundary <= ts.file->bytes ||
        end - boundary + room > static_cast<std::uint64_t>(ts.end - ts.begin)) {
        flush_tile_stream(all, ts);
        return;
    }
    count_staged(all, ts);
    const auto keep = static_cast<std::size_t>(end - boundary);
    iovec piece{ts.begin, static_cast<std::size_t>(ts.pos - ts.begin) - keep};
    ensure_open(all, ts);
    write_all(ts, &piece, 1);
    std::memmove(ts.begin, ts.pos - keep, keep);
    ts.listed = ts.begin;
    ts.pos = ts.counted = ts.begin + keep;
}

void count_into_tile(const TileStreams& all, TileStream& ts, const unsigned char* begin,
                     const unsigned char* end) {
    count_records(*ts.stats, begin, end, all.record_length, *all.header, all.return_mask);
    if (ts.stats->nPts > all.max_tile_points)
        fail(
            "\nTile file %s would hold more than %llu point records, the most its LAS version can count: "
            "use a smaller tile size\n",
            ts.name.c_str(), static_cast<unsigned long long>(all.max_tile_points));
}

void list_input_run(TileStreams& all, TileStream& ts, const unsigned char* run, std::size_t n) {
    count_staged(all, ts);
    count_into_tile(all, ts, run, run + n);
    // The staged bytes before the run, then the run, joined to the previous
    // piece when it continues it.
    if (ts.pieces.size() + 2 > kMaxPieces) flush_tile_stream(all, ts);
    try {
        if (ts.pieces.empty()) ts.pieces.reserve(64);
        if (ts.pos != ts.listed) {
            ts.pieces.push_back({ts.listed, static_cast<std::size_t>(ts.pos - ts.listed)});
            ts.listed = ts.pos;
        } else if (!ts.pieces.empty()) {
            iovec& last = ts.pieces.back();
            if (static_cast<const unsigned char*>(last.iov_base) + last.iov_len == run) {
                last.iov_len += n;
                return;
            }
        }
        ts.pieces.push_back({const_cast<unsigned char*>(run), n});
        if (!ts.holds_input) {
            all.holding_input.push_back(&ts);
            ts.holds_input = true;
        }
    } catch (const std::bad_alloc&) {
        fail("\nOut of memory for the buffer of tile file %s\n", ts.name.c_str());
    }
}

void note_stream_use(TileStreams& all) {
    ++all.clock;
    for (TileStream* s : all.live) {
        if (s->pos != s->seen) {
            s->seen = s->pos;
            s->used_at = all.clock;
        }
    }
}

void drop_tile_stream(TileStreams& all, TileStream& ts) {
    if (ts.begin != nullptr) {
        const auto size = static_cast<std::size_t>(ts.end - ts.begin);
        std::unique_ptr<unsigned char[]> buffer = take_stage(all, ts);
        try {
            spares_of(all, size).push_back(std::move(buffer));
        } catch (const std::bad_alloc&) {
            all.held_bytes -= size;  // freed instead of kept
        }
    }
    close_file(all, ts);
    unlist_if_idle(all, ts);
}

void close_tile_streams(TileStreams& all) {
    // Writing a stream may open its file; the files of those not yet written
    // stay open, so that none is opened twice.
    std::vector<TileStream*> streams;
    streams.swap(all.live);
    for (TileStream* s : streams) {
        flush_tile_stream(all, *s);
        s->pos = s->end = s->begin = s->counted = s->listed = s->seen = nullptr;
        s->buffer.reset();
        close_file(all, *s);
    }
    all.live.clear();
    all.spare_range.clear();
    all.spare_extra.clear();
    all.held_bytes = 0;
    // The streams' names and piece lists go with the distribution; the
    // statistics beside them stay for the tile headers and the index.
    for (auto& [key, e] : _tileInfo.tiles) {
        close_file(all, e.stream);
        e.stream = TileStream{};
    }
}

void abandon_tile_streams(TileStreams& all) {
    for (auto& [key, e] : _tileInfo.tiles) {
        if (e.stream.fd >= 0) {
            close(e.stream.fd);  // the file goes: what its close says is of no use
            e.stream.fd = -1;
        }
        if (e.file.creator != 0 && !e.stream.name.empty()) unlink(e.stream.name.c_str());
    }
    all.open_files = 0;
}

}  // namespace tessaro
