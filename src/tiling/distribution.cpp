// The distribution of point records into tile files. For each input file:
// open the tiles of its tile range, route every record of every block to the
// staging buffers of its home tile and of the neighbours its buffer reaches,
// count what each tile received and report it, and remove the tiles of the
// range that stayed empty. Tile streams (tile_stream.hpp) stay open from one
// input file to the next; their records are written when a buffer fills and
// at the end of the run.
#include "distribution.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "console.hpp"
#include "lidar.hpp"
#include "list_file.hpp"
#include "record_blocks.hpp"
#include "tile_stats.hpp"
#include "tile_stream.hpp"
#include "two_lane.hpp"

namespace tessaro {
namespace {

// ---- the file being distributed ------------------------------------------------

// The neighbours that receive a copy of a record, for each combination of the
// four buffer tests (near_side_bits), in writing order: right, left, up, down,
// up-right, up-left, down-right, down-left. Offsets are in window cells.
struct Neighbours {
    unsigned count = 0;
    std::ptrdiff_t offset[8] = {};
};

// Everything the distribution of one input file works with. The window is
// the file's tile range grown by one tile on every side that the grid
// allows: every neighbour of a tile of the range lies in it. Its cells point
// to the streams of the tiles the file has touched, the others to `untouched`.
struct FileJob {
    const char* name;
    std::FILE* input;
    const LAS12Header& header;
    const Tile& grid;
    double TileSize;
    double q;  // the buffer as a fraction of the tile side
    std::uint32_t nth;
    TileStreams& streams;
    TileRange range;
    std::uint16_t window_row = 0, window_col = 0, window_rows = 0, window_cols = 0;
    std::vector<TileStream*> window{};
    std::vector<std::uint8_t> allowed{};  // per cell of the range: the neighbour tests the grid allows
    std::vector<StoredBox> clear{};       // per cell of the range: stored X and Y of records well inside
    Neighbours neighbours[16]{};
    std::vector<TileStream*> opened{};  // the tiles this file touched, range first
    std::uint32_t outside = 0;          // records outside the file's header bounds
};

// The stream of every window cell the file has not touched: it has no room,
// so a record for it takes the slow path, which touches the tile.
TileStream untouched;

// Most tile files the run keeps open: kMaxOpenTiles, fewer when the process
// may open fewer files (16 are left for the list, the input and the rest).
std::size_t open_tile_budget() {
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kMaxOpenTiles;
    if (limit.rlim_cur < kMaxOpenTiles + 64 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, kMaxOpenTiles + 64);
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    const rlim_t left = limit.rlim_cur > 24 ? limit.rlim_cur - 16 : 8;
    return static_cast<std::size_t>(std::min<rlim_t>(left, kMaxOpenTiles));
}

bool in_range(const TileRange& range, std::uint16_t r, std::uint16_t c) {
    return !range.empty() && r >= range.row_min && r <= range.row_max && c >= range.col_min &&
           c <= range.col_max;
}

void lay_window(FileJob& job) {
    const TileRange& r = job.range;
    if (r.empty()) return;
    job.window_row = r.row_min == 0 ? 0 : static_cast<std::uint16_t>(r.row_min - 1);
    job.window_col = r.col_min == 0 ? 0 : static_cast<std::uint16_t>(r.col_min - 1);
    const unsigned last_row = std::min<unsigned>(r.row_max + 1U, job.grid.Rows - 1U);
    const unsigned last_col = std::min<unsigned>(r.col_max + 1U, job.grid.Cols - 1U);
    job.window_rows = static_cast<std::uint16_t>(last_row - job.window_row + 1);
    job.window_cols = static_cast<std::uint16_t>(last_col - job.window_col + 1);
    const std::size_t cells = std::size_t{job.window_rows} * job.window_cols;
    const LAS12Header& h = job.header;
    const AxisRule along_x{h.XScaleFactor, h.XOffset, job.grid.XMin, job.TileSize, h.MinX, h.MaxX, job.q};
    const AxisRule along_y{h.YScaleFactor, h.YOffset, job.grid.YMin, job.TileSize, h.MinY, h.MaxY, job.q};
    std::vector<StoredSpan> col_spans;
    try {
        job.window.assign(cells, &untouched);
        job.allowed.assign(cells, 0);
        job.clear.assign(cells, stored_box(kNoStoredSpan, kNoStoredSpan));
        for (unsigned j = r.col_min; j <= r.col_max; ++j) col_spans.push_back(clear_span(along_x, j));
    } catch (const std::bad_alloc&) {
        fail_line("Failed to allocate memory for the tiles of a file");
    }
    for (unsigned i = r.row_min; i <= r.row_max; ++i) {
        const StoredSpan row_span = clear_span(along_y, i);
        for (unsigned j = r.col_min; j <= r.col_max; ++j) {
            const std::size_t cell =
                (i - job.window_row) * std::size_t{job.window_cols} + (j - job.window_col);
            // The grid guards of the neighbour tests, as near_side_bits bits.
            const unsigned bits = (j + 1U < job.grid.Cols ? 1U : 0U) | (i + 1U < job.grid.Rows ? 2U : 0U) |
                                  (j != 0 ? 4U : 0U) | (i != 0 ? 8U : 0U);
            job.allowed[cell] = static_cast<std::uint8_t>(bits);
            job.clear[cell] = stored_box(col_spans[j - r.col_min], row_span);
        }
    }
    const std::ptrdiff_t row = job.window_cols;
    for (unsigned m = 0; m < 16; ++m) {
        const bool right = (m & 1U) != 0, up = (m & 2U) != 0, left = (m & 4U) != 0, down = (m & 8U) != 0;
        Neighbours& nb = job.neighbours[m];
        auto add = [&nb](bool copies, std::ptrdiff_t offset) {
            if (copies) nb.offset[nb.count++] = offset;
        };
        add(right, 1);
        add(left, -1);
        add(up, row);
        add(down, -row);
        add(up && right, row + 1);
        add(up && left, row - 1);
        add(down && right, -row + 1);
        add(down && left, -row - 1);
    }
}

// Copies the input's bytes from 227 up to its first point record (header
// extension and variable-length records) into a new tile.
void copy_header_tail(FileJob& job, TileStream& ts) {
    unsigned char chunk[64 * 1024];
    off_t pos = static_cast<off_t>(kHeaderBytes);
    const off_t end = static_cast<off_t>(job.header.OffsetToData);
    const int fd = fileno(job.input);
    while (pos < end) {
        const auto want = static_cast<std::size_t>(std::min<off_t>(end - pos, sizeof chunk));
        const ssize_t got = pread(fd, chunk, want, pos);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0)
            fail("\nFailed to read the variable length records of %s: %s\n", job.name,
                 got < 0 ? std::strerror(errno) : "unexpected end of file");
        write_tile_bytes(job.streams, ts, chunk, static_cast<std::size_t>(got));
        pos += got;
    }
}

// The stream of tile (r, c), touched by this file: the first touch resets the
// tile's count for the file and lists it for the report, and a tile that holds
// no record yet is created with the file's header and variable-length records.
// A tile that holds records is appended to.
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

// ---- routing records ------------------------------------------------------------

// Stages `n` bytes of whole records (less than kInputRunBytes) in a stream
// that may have no buffer or no room.
[[gnu::noinline]] void stage_slow(FileJob& job, TileStream& ts, const unsigned char* run, std::size_t n) {
    TileStreams& all = job.streams;
    if (ts.begin == nullptr)
        attach_stage(all, ts, in_range(job.range, ts.row, ts.col) ? kRangeStageBytes : kExtraStageBytes);
    if (n > static_cast<std::size_t>(ts.end - ts.pos)) flush_full_stage(all, ts, n);
    std::memcpy(ts.pos, run, n);
    ts.pos += n;
}

// The stream of window cell `cell`, touched by this file.
TileStream& window_stream(FileJob& job, std::size_t cell) {
    TileStream* ts = job.window[cell];
    if (ts == &untouched) {
        const auto r = static_cast<std::uint16_t>(job.window_row + cell / job.window_cols);
        const auto c = static_cast<std::uint16_t>(job.window_col + cell % job.window_cols);
        ts = job.window[cell] = &touch(job, r, c);
    }
    return *ts;
}

// Stages a run for the tile of window cell `cell` that took the slow path.
[[gnu::noinline]] void put_slow(FileJob& job, std::size_t cell, const unsigned char* run, std::size_t n) {
    stage_slow(job, window_stream(job, cell), run, n);
}

// Lists a long run for the tile of window cell `cell`, in place.
[[gnu::noinline]] void put_in_place(FileJob& job, std::size_t cell, const unsigned char* run, std::size_t n) {
    list_input_run(job.streams, window_stream(job, cell), run, n);
}

// Puts a run of `n` bytes of records (one record: `Len`) for the tile of
// window cell `cell`: a long run is listed in place; a short one is copied
// into the tile's buffer when it has room.
template <std::size_t Len>
inline void put(FileJob& job, TileStream* const* window, std::size_t cell, const unsigned char* run,
                std::size_t n) {
    TileStream* ts = window[cell];
    if (n >= kInputRunBytes) {
        put_in_place(job, cell, run, n);
    } else if (static_cast<std::size_t>(ts->end - ts->pos) >= n) [[likely]] {
        if (n == Len)
            std::memcpy(ts->pos, run, Len);
        else
            std::memcpy(ts->pos, run, n);
        ts->pos += n;
        // The lines the tile's next records go to, fetched while others are
        // routed. The address may lie past the buffer: a prefetch never faults,
        // and it is formed as a number so that no pointer leaves its array.
        __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(ts->pos) + 256), 1);
    } else {
        put_slow(job, cell, run, n);
    }
}

// A record whose home tile lies outside the file's tile range (the record
// lies outside its file's header bounds): placed from scratch.
[[gnu::noinline]] void place_outside(FileJob& job, const unsigned char* rec, XY pos) {
    const Placement pl = place_record(y_of(pos), x_of(pos), job.grid, job.q);
    for (unsigned k = 0; k < pl.count; ++k) {
        const std::uint16_t r = pl.row[k], c = pl.col[k];
        const unsigned wr = r - job.window_row, wc = c - job.window_col;
        if (!job.window.empty() && wr < job.window_rows && wc < job.window_cols) {
            const std::size_t cell = std::size_t{wr} * job.window_cols + wc;
            stage_slow(job, window_stream(job, cell), rec, job.streams.record_length);
        } else {
            stage_slow(job, touch(job, r, c), rec, job.streams.record_length);
        }
    }
}

// Routes every record of a block of `Len`-byte records: computes its tile
// position, and when its home tile lies in the file's tile range, stages it
// for that tile and for the neighbours whose buffered square holds it
// (Buffered); others are placed from scratch. Consecutive records with the
// same home tile form a run, staged in one piece when it ends: no other copy
// goes to that tile meanwhile, since a neighbour is never the home tile. A
// record whose stored X and Y lie well inside the run's tile (within the
// header bounds, clear of the buffer) continues the run at once: the
// arithmetic would find that tile, inside the bounds, and no neighbour. Any
// other record's tile is guessed with a multiplication, and the guess stands
// when the record lies well inside the guessed tile in the same sense; the
// division decides the rest.
// Statistics are not touched here: the streams count their records in batches.
template <std::size_t Len, bool Buffered>
void route_block(FileJob& job, const unsigned char* rec, std::size_t count) {
    const LAS12Header& h = job.header;
    // Actual coordinate = stored value x scale + offset, as in update_tileInfo;
    // tile position = (actual - grid origin) / TileSize.
    const XY scale = xy_of(h.XScaleFactor, h.YScaleFactor);
    const XY offset = xy_of(h.XOffset, h.YOffset);
    const XY bounds_lo = xy_of(h.MinX, h.MinY), bounds_hi = xy_of(h.MaxX, h.MaxY);
    const XY origin = xy_of(job.grid.XMin, job.grid.YMin);
    const XY size = xy_of(job.TileSize, job.TileSize);
    const XY reciprocal = xy_of(1 / job.TileSize, 1 / job.TileSize);
    const XY qq = xy_of(job.q, job.q);
    // A position lies in the range's tiles exactly when its truncation does,
    // the range's ends being whole numbers; NaN lies nowhere.
    const TileRange& range = job.range;
    const XY range_lo = xy_of(range.col_min, range.row_min);
    const XY range_hi = range.empty() ? range_lo : xy_of(range.col_max + 1.0, range.row_max + 1.0);
    const unsigned row0 = job.window_row, col0 = job.window_col, cols = job.window_cols;
    TileStream* const* window = job.window.data();
    const std::uint8_t* allowed = job.allowed.data();
    const StoredBox* clear = job.clear.data();
    const StoredBox no_run_box = stored_box(kNoStoredSpan, kNoStoredSpan);
    constexpr std::size_t kNoRun = ~std::size_t{0};
    std::size_t run_cell = kNoRun;
    StoredBox run_box = no_run_box;
    const unsigned char* run = rec;
    std::uint32_t out = 0;
    const unsigned char* const end = rec + count * Len;
    // The record at `rec` goes to window cell `cell`: it continues the run or
    // starts one.
    auto run_at = [&](std::size_t cell) {
        if (cell == run_cell) return;
        if (run_cell != kNoRun) put<Len>(job, window, run_cell, run, static_cast<std::size_t>(rec - run));
        run_cell = cell;
        run_box = clear[cell];
        run = rec;
    };
    for (; rec != end; rec += Len) {
        if (stored_in(rec, run_box)) continue;
        const XY xy = add(mul(stored_xy(rec), scale), offset);
        // A guess at the tile, by the reciprocal of the tile size, is right
        // when the record's stored X and Y lie in that tile's box: the record
        // then goes there alone, and lies within the header bounds.
        const XY guess = mul(sub(xy, origin), reciprocal);
        if (in_cell(guess, range_lo, range_hi)) {
            std::uint16_t gj, gi;
            truncate_xy(guess, gj, gi);
            const std::size_t cell = (gi - row0) * std::size_t{cols} + (gj - col0);
            if (stored_in(rec, clear[cell])) {
                run_at(cell);
                continue;
            }
        }
        out += within(xy, bounds_lo, bounds_hi) ? 0U : 1U;
        const XY pos = div(sub(xy, origin), size);
        if (!in_cell(pos, range_lo, range_hi)) [[unlikely]] {
            if (run_cell != kNoRun) put<Len>(job, window, run_cell, run, static_cast<std::size_t>(rec - run));
            run_cell = kNoRun;
            run_box = no_run_box;
            place_outside(job, rec, pos);
            continue;
        }
        std::uint16_t j, i;
        truncate_xy(pos, j, i);
        const std::size_t cell = (i - row0) * std::size_t{cols} + (j - col0);
        run_at(cell);
        if constexpr (Buffered) {
            const unsigned near = static_cast<unsigned>(near_side_bits(pos, qq)) & allowed[cell];
            if (near != 0) [[unlikely]] {
                const Neighbours& nb = job.neighbours[near];
                for (unsigned k = 0; k < nb.count; ++k)
                    put<Len>(job, window,
                             static_cast<std::size_t>(static_cast<std::ptrdiff_t>(cell) + nb.offset[k]), rec,
                             Len);
            }
        }
    }
    if (run_cell != kNoRun) put<Len>(job, window, run_cell, run, static_cast<std::size_t>(end - run));
    job.outside += out;
}

template <std::size_t Len>
void route_block_of(FileJob& job, const unsigned char* records, std::size_t count) {
    if (job.q > 0)
        route_block<Len, true>(job, records, count);
    else
        route_block<Len, false>(job, records, count);
}

// Reads the file's records block by block and routes every copy.
void copy_records(FileJob& job, unsigned char* block, std::size_t block_bytes, std::uint16_t record_size) {
    RecordBlocks blocks =
        start_record_blocks(job.name, fileno(job.input), job.header, record_size, block, block_bytes);
    const unsigned char* records = nullptr;
    std::size_t count = 0;
    while (next_record_block(blocks, records, count)) {
        switch (record_size) {
            case sizeof(LAS12fm0): route_block_of<sizeof(LAS12fm0)>(job, records, count); break;
            case sizeof(LAS12fm1): route_block_of<sizeof(LAS12fm1)>(job, records, count); break;
            case sizeof(LAS12fm2): route_block_of<sizeof(LAS12fm2)>(job, records, count); break;
            case sizeof(LAS12fm3): route_block_of<sizeof(LAS12fm3)>(job, records, count); break;
            default: fail("\nFile %s has changed since it was validated\n", job.name);
        }
        // Runs listed in place are written before the block goes.
        for (TileStream* ts : job.streams.holding_input) flush_tile_stream(job.streams, *ts);
        job.streams.holding_input.clear();
        note_stream_use(job.streams);
    }
    if (job.outside != 0)
        std::printf("Warning: %u records of %s lie outside its header bounds\n",
                    static_cast<unsigned>(job.outside), job.name);
}

// ---- the report -----------------------------------------------------------------

// Number of decimal characters of a count (0 has one).
int decimal_width(std::uint32_t n) {
    int w = 1;
    while (n >= 10) {
        n /= 10;
        ++w;
    }
    return w;
}

// "Distributed to" and one line per tile of this file that received records,
// in row and column order.
void report_distribution(const FileJob& job) {
    std::printf("Distributed to\n");
    if (job.range.empty() && job.opened.empty()) {
        std::printf("\n");
        return;
    }
    int width = 0;
    for (const TileStream* ts : job.opened) width = std::max(width, decimal_width(ts->stats->tmpNPts));
    for (const TileStream* ts : job.opened) {
        const std::uint32_t n = ts->stats->tmpNPts;
        if (n != 0) std::printf("%s ( %*u returns )\n", ts->name.c_str(), width, static_cast<unsigned>(n));
    }
    std::printf("\n");
}

// ---- one input file -------------------------------------------------------------

// Closes and removes every tile this file created that holds nothing.
void remove_empty_tiles(FileJob& job) {
    for (TileStream* ts : job.opened) {
        if (ts->stats->nPts != 0) continue;
        drop_tile_stream(job.streams, *ts);
        if (std::remove(ts->name.c_str()) != 0)
            fail("\nFailed to remove empty tile file %s: %s\n", ts->name.c_str(), std::strerror(errno));
    }
}

void distribute_file(const char* name, std::uint32_t nth_las_file, const DistributionSetup& setup,
                     TileStreams& streams, LAS12Header& ph12, unsigned char* block, std::size_t block_bytes) {
    const double TileSize = setup.TileSize, Tile_Buffer = setup.Tile_Buffer;
    const Tile& pTile = setup.pTile;
    const std::uint16_t record_size = setup.record_size;
    FilePtr fp = open_file(name, "rb");
    if (!fp) fail("\nCannot open %s for point distribution to tiles\n", name);
    std::optional<LAS12Header> read = read_las_header(fp.get());
    if (!read) fail("\nCannot read the LAS header of %s\n", name);
    ph12 = *read;
    check_listed_header(*setup.listed, nth_las_file - 1, ph12, name);
    if (ph12.PointDataRecordLength != record_size || ph12.OffsetToData < kHeaderBytes)
        fail("\nFile %s has changed since it was validated\n", name);
    std::printf("\rProcessing %u returns in file %s (%u / %u)\n",
                static_cast<unsigned>(ph12.NumberOfPointReturns), name, static_cast<unsigned>(nth_las_file),
                static_cast<unsigned>(setup.filecount));

    FileJob job{
        .name = name,
        .input = fp.get(),
        .header = ph12,
        .grid = pTile,
        .TileSize = TileSize,
        .q = Tile_Buffer / TileSize,
        .nth = nth_las_file,
        .streams = streams,
        .range = tile_range_of(ph12.MinX, ph12.MinY, ph12.MaxX, ph12.MaxY, pTile, TileSize, Tile_Buffer)};
    lay_window(job);
    const TileRange& range = job.range;
    if (!range.empty())
        for (unsigned r = range.row_min; r <= range.row_max; ++r)
            for (unsigned c = range.col_min; c <= range.col_max; ++c)
                touch(job, static_cast<std::uint16_t>(r), static_cast<std::uint16_t>(c));
    if (ph12.NumberOfPointReturns != 0) copy_records(job, block, block_bytes, record_size);
    for (TileStream* ts : job.opened) count_staged(streams, *ts);
    // Tiles reached outside the range join the report in row and column order.
    std::sort(job.opened.begin(), job.opened.end(), [](const TileStream* a, const TileStream* b) {
        return tile_key(a->row, a->col) < tile_key(b->row, b->col);
    });
    report_distribution(job);
    remove_empty_tiles(job);
}

}  // namespace

void distribute_points(std::FILE* fp_a, const DistributionSetup& setup, LAS12Header& ph12) {
    const std::size_t block_bytes = kReadBlockBytes / setup.record_size * setup.record_size;
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[block_bytes]);
    if (!block) fail_line("Failed to allocate memory for the point record buffer");
    TileStreams streams;
    streams.prefix = setup.TilePrefix;
    streams.bufsize = setup.bufsize;
    streams.record_length = setup.record_size;
    streams.header = &ph12;
    streams.max_open_files = open_tile_budget();
    try {
        streams.inputs = setup.inputs;
    } catch (const std::bad_alloc&) {
        fail_line("Failed to allocate memory for the streams of the tile files");
    }
    rewind_list(fp_a);
    std::uint32_t nth_las_file = 0;
    std::string filename;
    while (read_token(fp_a, filename)) {
        ++nth_las_file;
        distribute_file(filename.c_str(), nth_las_file, setup, streams, ph12, block.get(), block_bytes);
    }
    close_tile_streams(streams);
}

}  // namespace tessaro
