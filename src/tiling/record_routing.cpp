// Routing the records of a block. The loop, for each record:
//
//   1. continue the run: a record whose stored X and Y lie in the clear box
//      of the run's tile goes there alone (two integer comparisons);
//   2. guess: the tile whose cell holds (actual - origin) times the
//      reciprocal of the tile size;
//   3. confirm: the guess stands when the record's stored X and Y lie in the
//      stored spans of that tile's column and row; the buffer bands of the
//      same column and row then tell which neighbours receive a copy;
//   4. fall back: the division of the tiling rules decides the rest (records
//      next to a tile edge where the guess missed, outside the header
//      bounds, or outside the file's tile range).
//
// Every span is exact for every stored value (tile_window.hpp), so the first
// three steps place a record exactly as the fourth would. Consecutive records
// with the same home tile form a run, staged in one piece when it ends: no
// other copy goes to that tile meanwhile, since a neighbour is never the home
// tile. Statistics are not touched here: the streams count their records in
// batches.
#include "record_routing.hpp"

#include <cstdint>
#include <cstring>

#include "console.hpp"
#include "distribution.hpp"
#include "tile_files.hpp"
#include "two_lane.hpp"

namespace tessaro {
namespace {

// ---- putting bytes into tiles ---------------------------------------------------

// Stages a run for the tile of window cell `cell` that took the slow path
// (no buffer, no room, or a tile not yet touched).
[[gnu::noinline]] void put_slow(FileJob& job, std::size_t cell, const unsigned char* run, std::size_t n) {
    TileStream& ts = window_stream(job, cell);
    stage_records(job.streams, ts, run, n, stage_size_for(job, ts));
}

// Lists a long run for the tile of window cell `cell`, in place.
[[gnu::noinline]] void put_long(FileJob& job, std::size_t cell, const unsigned char* run, std::size_t n) {
    list_input_run(job.streams, window_stream(job, cell), run, n);
}

// The length of one record: `Len`, known when the routing is compiled for
// the lengths of the point formats, or the run's own when Len is 0 (records
// with extra bytes).
template <std::size_t Len>
inline std::size_t record_length_of(const FileJob& job) {
    if constexpr (Len != 0)
        return Len;
    else
        return job.streams.record_length;
}

// Puts `n` bytes of records (one record: `Len`) for the tile of window cell
// `cell`: a long run is listed in place, a short one copied into the tile's
// staging buffer.
template <std::size_t Len>
inline void put(FileJob& job, std::size_t cell, const unsigned char* run, std::size_t n) {
    if (n >= kInputRunBytes) {
        put_long(job, cell, run, n);
    } else if (!stage_if_room<Len>(*window_slot(job.window, cell), run, n)) [[unlikely]] {
        put_slow(job, cell, run, n);
    }
}

// ---- the geometry of the file ---------------------------------------------------

// What the routing of a file's records computes with, held in registers.
struct Geometry {
    // Actual coordinate = stored value x scale + offset, as in
    // the tile statistics; tile position = (actual - grid origin) / TileSize.
    XY scale, offset, bounds_lo, bounds_hi, origin, size, reciprocal, q;
    // A position lies in the range's tiles exactly when its truncation does,
    // the range's ends being whole numbers; NaN lies nowhere.
    XY range_lo, range_hi;
    const AxisCell* columns;  // of the range, from column col_min
    const AxisCell* rows;     // of the range, from row row_min
    unsigned col_min, row_min;
};

Geometry geometry_of(const FileJob& job) {
    const LAS12Header& h = job.header;
    const TileRange& r = job.range;
    Geometry g;
    g.scale = xy_of(h.XScaleFactor, h.YScaleFactor);
    g.offset = xy_of(h.XOffset, h.YOffset);
    g.bounds_lo = xy_of(h.MinX, h.MinY);
    g.bounds_hi = xy_of(h.MaxX, h.MaxY);
    g.origin = xy_of(job.grid.XMin, job.grid.YMin);
    g.size = xy_of(job.TileSize, job.TileSize);
    g.reciprocal = xy_of(1 / job.TileSize, 1 / job.TileSize);
    g.q = xy_of(job.q, job.q);
    g.range_lo = xy_of(r.col_min, r.row_min);
    g.range_hi = r.empty() ? g.range_lo : xy_of(r.col_max + 1.0, r.row_max + 1.0);
    g.columns = job.window.columns.data();
    g.rows = job.window.rows_of_range.data();
    g.col_min = r.col_min;
    g.row_min = r.row_min;
    return g;
}

inline bool in_span(std::int32_t v, StoredSpan s) {
    return v >= s.lo && v <= s.hi;
}

// A tile of the range, with its column and row.
struct Placed {
    std::size_t cell;
    const AxisCell* col;
    const AxisCell* row;
};

inline Placed placed_at(const FileJob& job, const Geometry& g, std::uint16_t i, std::uint16_t j) {
    return {window_cell(job.window, i, j), g.columns + (j - g.col_min), g.rows + (i - g.row_min)};
}

// ---- the run --------------------------------------------------------------------

constexpr std::size_t kNoCell = ~std::size_t{0};

// Consecutive records that go to one home tile, from `start`.
struct Run {
    std::size_t cell = kNoCell;
    StoredBox box = stored_box(kNoStoredSpan, kNoStoredSpan);  // stored X and Y that continue it
    const unsigned char* start = nullptr;
};

// 1. The record continues the run: it lies clear of the buffer inside the
// run's tile and its header bounds, so the arithmetic would find that tile
// and no neighbour.
inline bool continues_run(const unsigned char* rec, const Run& run) {
    return stored_in(rec, run.box);
}

// Puts the run's records before `upto`, if there is a run.
template <std::size_t Len>
inline void end_run(FileJob& job, Run& run, const unsigned char* upto) {
    if (run.cell != kNoCell) put<Len>(job, run.cell, run.start, static_cast<std::size_t>(upto - run.start));
    run = Run{};
}

// The record at `rec` goes to the tile `p`: it continues the run or starts one.
template <std::size_t Len>
inline void run_to(FileJob& job, Run& run, const unsigned char* rec, const Placed& p) {
    if (p.cell == run.cell) return;
    end_run<Len>(job, run, rec);
    run.cell = p.cell;
    run.box = stored_box(p.col->clear, p.row->clear);
    run.start = rec;
}

// ---- guess, confirm, fall back ----------------------------------------------------

// 2 and 3. The guessed tile, when the record's stored X and Y confirm it: they
// lie in the stored spans of its column and row, so the record lies within the
// header bounds and the division would find that tile.
inline bool confirmed_tile(const FileJob& job, const Geometry& g, XY xy, const unsigned char* rec,
                           Placed& p) {
    const XY guess = mul(sub(xy, g.origin), g.reciprocal);
    if (!in_cell(guess, g.range_lo, g.range_hi)) return false;
    std::uint16_t gj, gi;
    truncate_xy(guess, gj, gi);
    p = placed_at(job, g, gi, gj);
    return in_span(load_i32le(rec), p.col->cell) && in_span(load_i32le(rec + 4), p.row->cell);
}

// Which neighbours of a confirmed tile receive a copy, as near_side_bits
// gives them: the buffer bands of the tile's column and row, where the grid
// has a tile beyond.
inline unsigned band_bits(const unsigned char* rec, const Placed& p) {
    const std::int32_t x = load_i32le(rec), y = load_i32le(rec + 4);
    const unsigned bits = (in_span(x, p.col->near_end) ? 1U : 0U) | (in_span(y, p.row->near_end) ? 2U : 0U) |
                          (in_span(x, p.col->near_start) ? 4U : 0U) |
                          (in_span(y, p.row->near_start) ? 8U : 0U);
    return bits & (p.col->edge_bits | p.row->edge_bits);
}

// A copy of the record for each neighbour that `bits` names.
template <std::size_t Len>
inline void copy_to_neighbours(FileJob& job, std::size_t cell, const unsigned char* rec, unsigned bits) {
    if (bits == 0) return;
    const Neighbours& nb = job.window.neighbours[bits];
    for (unsigned k = 0; k < nb.count; ++k)
        put<Len>(job, static_cast<std::size_t>(static_cast<std::ptrdiff_t>(cell) + nb.offset[k]), rec,
                 record_length_of<Len>(job));
}

// A record whose home tile lies outside the file's tile range (the record
// lies outside its file's header bounds): placed from scratch.
[[gnu::noinline]] void place_outside(FileJob& job, const unsigned char* rec, XY pos) {
    const Placement pl = place_record(y_of(pos), x_of(pos), job.grid, job.q);
    for (unsigned k = 0; k < pl.count; ++k) {
        const std::uint16_t r = pl.row[k], c = pl.col[k];
        TileStream& ts = in_window(job.window, r, c) ? window_stream(job, window_cell(job.window, r, c))
                                                     : touch(job, r, c);
        stage_records(job.streams, ts, rec, job.streams.record_length, stage_size_for(job, ts));
    }
}

// 4. The arithmetic of the tiling rules: the tile position by division.
template <std::size_t Len, bool Buffered>
[[gnu::always_inline]] inline void fall_back(FileJob& job, const Geometry& g, Run& run,
                                             const unsigned char* rec, XY xy, std::uint32_t& outside) {
    outside += within(xy, g.bounds_lo, g.bounds_hi) ? 0U : 1U;
    const XY pos = div(sub(xy, g.origin), g.size);
    if (!in_cell(pos, g.range_lo, g.range_hi)) [[unlikely]] {
        end_run<Len>(job, run, rec);
        place_outside(job, rec, pos);
        return;
    }
    std::uint16_t j, i;
    truncate_xy(pos, j, i);
    const Placed p = placed_at(job, g, i, j);
    run_to<Len>(job, run, rec, p);
    if constexpr (Buffered)
        copy_to_neighbours<Len>(
            job, p.cell, rec,
            static_cast<unsigned>(near_side_bits(pos, g.q)) & (p.col->edge_bits | p.row->edge_bits));
}

template <std::size_t Len, bool Buffered>
void route_block(FileJob& job, const unsigned char* rec, std::size_t count) {
    const Geometry g = geometry_of(job);
    Run run;
    std::uint32_t outside = 0;
    const std::size_t len = record_length_of<Len>(job);
    const unsigned char* const end = rec + count * len;
    for (; rec != end; rec += len) {
        if (continues_run(rec, run)) continue;
        const XY xy = add(mul(stored_xy(rec), g.scale), g.offset);
        Placed p;
        if (confirmed_tile(job, g, xy, rec, p)) {
            run_to<Len>(job, run, rec, p);
            if constexpr (Buffered) copy_to_neighbours<Len>(job, p.cell, rec, band_bits(rec, p));
            continue;
        }
        fall_back<Len, Buffered>(job, g, run, rec, xy, outside);
    }
    end_run<Len>(job, run, end);
    job.outside += outside;
}

template <std::size_t Len>
void route_block_of(FileJob& job, const unsigned char* records, std::size_t count) {
    if (job.q > 0)
        route_block<Len, true>(job, records, count);
    else
        route_block<Len, false>(job, records, count);
}

}  // namespace

void route_records(FileJob& job, const unsigned char* records, std::size_t count) {
    switch (job.streams.record_length) {
        case sizeof(LAS12fm0): route_block_of<sizeof(LAS12fm0)>(job, records, count); break;
        case sizeof(LAS12fm1): route_block_of<sizeof(LAS12fm1)>(job, records, count); break;
        case sizeof(LAS12fm2): route_block_of<sizeof(LAS12fm2)>(job, records, count); break;
        case sizeof(LAS12fm3): route_block_of<sizeof(LAS12fm3)>(job, records, count); break;
        case 30: route_block_of<30>(job, records, count); break;  // format 6
        case 36: route_block_of<36>(job, records, count); break;  // format 7
        case 38: route_block_of<38>(job, records, count); break;  // format 8
        default: route_block_of<0>(job, records, count); break;
    }
}

}  // namespace tessaro
