#include "distribution.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "console.hpp"
#include "lidar.hpp"
#include "list_file.hpp"
#include "tile_stats.hpp"

namespace tessaro {
namespace {

using TileKey = std::pair<std::uint16_t, std::uint16_t>;

// Everything the distribution of one input file works with.
struct FileJob {
    const char* name;
    std::FILE* input;
    const LAS12Header& header;
    const TileNameTable& tileNames;
    TileStreamTable& streams;
    std::vector<TileKey> opened;           // tiles opened for this file, range first
    std::vector<TileKey> on_demand;        // tiles opened on demand that hold their file open
    std::vector<TileStream*> stream_rows;  // row starts of `streams`
    std::vector<TileStruct*> info_rows;    // row starts of `_tileInfo`
};

// Lets the run hold as many tile files open as the system allows: records
// outside their file's header bounds may open tiles beyond the file's range.
void raise_open_file_limit() {
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
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
        if (got <= 0)
            fail("\nFailed to read the variable length records of %s: %s\n", job.name,
                 got < 0 ? std::strerror(errno) : "unexpected end of file");
        tile_write(ts, chunk, static_cast<std::size_t>(got));
        pos += got;
    }
}

// Opens tile (r, c) for the current file: appending when it already holds
// records, else created with the file's header and variable-length records.
void open_tile(FileJob& job, std::uint16_t r, std::uint16_t c, std::size_t buffer_size) {
    TileStream& ts = job.streams[r][c];
    const std::string& name = job.tileNames[r][c];
    if (_tileInfo[r][c].nPts != 0) {
        open_tile_for_append(ts, name, buffer_size);
    } else {
        create_tile(ts, name, buffer_size);
        unsigned char image[kHeaderBytes];
        header_to_bytes(job.header, image);
        tile_write(ts, image, kHeaderBytes);
        copy_header_tail(job, ts);
    }
    job.opened.emplace_back(r, c);
}

// Records of a file that holds fewer whole records than its header declares
// are distributed in whole groups of this many bytes; the run then ends,
// reporting the records of those groups.
inline constexpr std::size_t kShortFileGroupBytes = std::size_t{4} * 1024 * 1024;

// Whole point records of one input file, read a block at a time: the block
// holds kReadBlockBytes / record length records (the last one fewer).
struct RecordBlocks {
    const FileJob* job = nullptr;
    std::size_t len = 0;
    std::uint64_t per_block = 0;
    unsigned char* block = nullptr;
    int fd = -1;
    std::uint64_t total = 0;  // records the header declares
    std::uint64_t limit = 0;  // records distributed before a short file ends the run
    std::uint64_t done = 0;
};

RecordBlocks start_record_blocks(const FileJob& job, std::size_t len, unsigned char* block,
                                 std::size_t block_bytes) {
    RecordBlocks b;
    b.job = &job;
    b.len = len;
    b.per_block = block_bytes / len;
    b.block = block;
    b.fd = fileno(job.input);
    b.total = job.header.NumberOfPointReturns;
    b.limit = b.total;
    struct stat st;
    if (fstat(b.fd, &st) == 0 && st.st_size >= 0) {
        const auto size = static_cast<std::uint64_t>(st.st_size);
        const std::uint64_t whole =
            size > job.header.OffsetToData ? (size - job.header.OffsetToData) / len : 0;
        const std::uint64_t group = kShortFileGroupBytes / len;
        if (whole < b.total) b.limit = whole / group * group;
    }
    posix_fadvise(b.fd, 0, 0, POSIX_FADV_SEQUENTIAL);  // a hint only; its failure changes nothing
    return b;
}

[[noreturn]] void short_file(const RecordBlocks& b) {
    fail("\nFile %s ends after %u of its %u point records\n", b.job->name, static_cast<unsigned>(b.done),
         static_cast<unsigned>(b.job->header.NumberOfPointReturns));
}

// Reads the next block; its records and their count. False after the last one.
bool next_record_block(RecordBlocks& b, const unsigned char*& records, std::size_t& count) {
    if (b.done == b.total) return false;
    if (b.done == b.limit) short_file(b);
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(b.limit - b.done, b.per_block));
    const auto pos = static_cast<off_t>(b.job->header.OffsetToData + b.done * b.len);
    std::size_t got = 0;
    while (got < n * b.len) {
        const ssize_t r = pread(b.fd, b.block + got, n * b.len - got, pos + static_cast<off_t>(got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) short_file(b);  // the file shrank while being read
        got += static_cast<std::size_t>(r);
    }
    records = b.block;
    count = n;
    b.done += n;
    return true;
}

// Opens tile (r, c) on demand for a record outside its file's header bounds.
// Past kMaxStreamsOnDemand of them the others are parked, so that records
// scattered over many tiles need neither many descriptors nor much memory.
[[gnu::noinline]] void open_on_demand(FileJob& job, std::uint16_t r, std::uint16_t c) {
    if (job.on_demand.size() == kMaxStreamsOnDemand) {
        for (auto [pr, pc] : job.on_demand) park_tile_stream(job.streams[pr][pc]);
        job.on_demand.clear();
    }
    open_tile(job, r, c, kExtraTileBuffer);
    _tileInfo[r][c].tmpNPts = 0;
    job.on_demand.emplace_back(r, c);
}

// Records one more copy to be written to a tile: queued in place, the tile
// listed for the flush at the end of the block.
inline void queue_copy(TileStream& ts, const unsigned char* bytes, std::size_t n,
                       std::vector<TileStream*>& holding) {
    if (!ts.holds_refs) holding.push_back(&ts);
    tile_write_ref(ts, bytes, n);
}

// X and Y of a record side by side. With SSE2 one instruction does both
// axes; each lane is rounded exactly as the scalar operation (IEEE double,
// no contraction), so the values are the same bits either way.
#if defined(__SSE2__) && !defined(TESSARO_SCALAR_DISTRIBUTION)
using XY = __m128d;
inline XY xy_of(double x, double y) {
    return _mm_set_pd(y, x);
}
inline double x_of(XY v) {
    return _mm_cvtsd_f64(v);
}
inline double y_of(XY v) {
    return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v));
}
// Stored X and Y (little-endian, as x86 is), converted exactly.
inline XY stored_xy(const unsigned char* rec) {
    return _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(rec)));
}
inline XY add(XY a, XY b) {
    return _mm_add_pd(a, b);
}
inline XY sub(XY a, XY b) {
    return _mm_sub_pd(a, b);
}
inline XY mul(XY a, XY b) {
    return _mm_mul_pd(a, b);
}
inline XY div(XY a, XY b) {
    return _mm_div_pd(a, b);
}
// Lane by lane v < m ? v : m, and v > m ? v : m.
inline XY lower(XY v, XY m) {
    return _mm_min_pd(v, m);
}
inline XY higher(XY v, XY m) {
    return _mm_max_pd(v, m);
}
// lo <= v && v <= hi in both lanes (false for NaN).
inline bool within(XY v, XY lo, XY hi) {
    return _mm_movemask_pd(_mm_and_pd(_mm_cmpge_pd(v, lo), _mm_cmple_pd(v, hi))) == 3;
}
// 0 <= v && v < n in both lanes (false for NaN).
inline bool inside_grid(XY v, XY n) {
    return _mm_movemask_pd(_mm_and_pd(_mm_cmpge_pd(v, _mm_setzero_pd()), _mm_cmplt_pd(v, n))) == 3;
}
// Truncations of both lanes, known to lie in 0 .. 65534.
inline void truncate_xy(XY v, std::uint16_t& x, std::uint16_t& y) {
    const __m128i t = _mm_cvttpd_epi32(v);
    x = static_cast<std::uint16_t>(_mm_cvtsi128_si32(t));
    y = static_cast<std::uint16_t>(_mm_cvtsi128_si32(_mm_srli_si128(t, 4)));
}
// lo <= v && v < hi in both lanes (false for NaN).
inline bool in_cell(XY v, XY lo, XY hi) {
    return _mm_movemask_pd(_mm_and_pd(_mm_cmpge_pd(v, lo), _mm_cmplt_pd(v, hi))) == 3;
}
// q > hi - v or q > v - lo in a lane: the position lies closer than q to an
// edge of the cell [lo, hi); the very comparisons of place_record's neighbour
// tests before their grid guards.
inline bool near_sides(XY v, XY lo, XY hi, XY q) {
    return _mm_movemask_pd(
               _mm_or_pd(_mm_cmplt_pd(_mm_sub_pd(hi, v), q), _mm_cmplt_pd(_mm_sub_pd(v, lo), q))) != 0;
}
// The four results of near_sides as bits: 1 right (x), 2 up (y) for hi - v,
// 4 left, 8 down for v - lo.
inline int near_side_bits(XY v, XY lo, XY hi, XY q) {
    return _mm_movemask_pd(_mm_cmplt_pd(_mm_sub_pd(hi, v), q)) |
           _mm_movemask_pd(_mm_cmplt_pd(_mm_sub_pd(v, lo), q)) << 2;
}
// near_sides for the cell of a position inside the grid.
inline bool near_edge(XY v, XY q) {
    const __m128i t = _mm_cvttpd_epi32(v);
    return near_sides(v, _mm_cvtepi32_pd(t), _mm_cvtepi32_pd(_mm_add_epi32(t, _mm_set1_epi32(1))), q);
}
#else
struct XY {
    double x, y;
};
inline XY xy_of(double x, double y) {
    return {x, y};
}
inline double x_of(XY v) {
    return v.x;
}
inline double y_of(XY v) {
    return v.y;
}
inline XY stored_xy(const unsigned char* rec) {
    return {static_cast<double>(load_i32le(rec)), static_cast<double>(load_i32le(rec + 4))};
}
inline XY add(XY a, XY b) {
    return {a.x + b.x, a.y + b.y};
}
inline XY sub(XY a, XY b) {
    return {a.x - b.x, a.y - b.y};
}
inline XY mul(XY a, XY b) {
    return {a.x * b.x, a.y * b.y};
}
inline XY div(XY a, XY b) {
    return {a.x / b.x, a.y / b.y};
}
inline XY lower(XY v, XY m) {
    return {v.x < m.x ? v.x : m.x, v.y < m.y ? v.y : m.y};
}
inline XY higher(XY v, XY m) {
    return {v.x > m.x ? v.x : m.x, v.y > m.y ? v.y : m.y};
}
inline bool within(XY v, XY lo, XY hi) {
    return v.x >= lo.x && v.x <= hi.x && v.y >= lo.y && v.y <= hi.y;
}
inline bool inside_grid(XY v, XY n) {
    return v.x >= 0.0 && v.x < n.x && v.y >= 0.0 && v.y < n.y;
}
inline void truncate_xy(XY v, std::uint16_t& x, std::uint16_t& y) {
    x = static_cast<std::uint16_t>(static_cast<std::int32_t>(v.x));
    y = static_cast<std::uint16_t>(static_cast<std::int32_t>(v.y));
}
inline bool in_cell(XY v, XY lo, XY hi) {
    return v.x >= lo.x && v.x < hi.x && v.y >= lo.y && v.y < hi.y;
}
inline bool near_sides(XY v, XY lo, XY hi, XY q) {
    return q.x > hi.x - v.x || q.x > v.x - lo.x || q.y > hi.y - v.y || q.y > v.y - lo.y;
}
inline int near_side_bits(XY v, XY lo, XY hi, XY q) {
    return (q.x > hi.x - v.x ? 1 : 0) | (q.y > hi.y - v.y ? 2 : 0) | (q.x > v.x - lo.x ? 4 : 0) |
           (q.y > v.y - lo.y ? 8 : 0);
}
inline bool near_edge(XY v, XY q) {
    const auto kx = static_cast<std::int32_t>(v.x), ky = static_cast<std::int32_t>(v.y);
    return near_sides(v, {static_cast<double>(kx), static_cast<double>(ky)},
                      {static_cast<double>(kx + 1), static_cast<double>(ky + 1)}, q);
}
#endif

// Places every record of one block and queues its copies, then writes them
// out while the block still holds the records. The consecutive records
// that share a home tile form a run: queued as one piece, counted in locals
// and written back to the tile's statistics when the run ends. Each bound so
// kept is the very value that updating the tile record by record would leave
// (the same comparisons in the same order). Buffer copies (Buffered) go to
// tiles other than the home tile, so their statistics in _tileInfo are
// current and are updated record by record.
template <bool Buffered>
void distribute_block(FileJob& job, const Tile& g, double TileSize, double q, const unsigned char* rec,
                      std::size_t count, std::size_t len, std::uint32_t& outside,
                      std::vector<TileStream*>& holding) {
    const LAS12Header& h = job.header;
    // Actual coordinate = stored value x scale + offset, as in update_tileInfo;
    // tile position = (actual - grid origin) / TileSize.
    const XY scale = xy_of(h.XScaleFactor, h.YScaleFactor);
    const XY offset = xy_of(h.XOffset, h.YOffset);
    const double zs = h.ZScaleFactor, zo = h.ZOffset;
    const XY bounds_lo = xy_of(h.MinX, h.MinY), bounds_hi = xy_of(h.MaxX, h.MaxY);
    const XY origin = xy_of(g.XMin, g.YMin);
    const XY size = xy_of(TileSize, TileSize);
    const XY counts = xy_of(g.Cols, g.Rows);
    const XY qq = xy_of(q, q);
    const std::uint16_t Rows = g.Rows, Cols = g.Cols;
    TileStream* const* rows = job.stream_rows.data();
    TileStruct* const* info_rows = job.info_rows.data();
    const unsigned char* const end = rec + count * len;
    std::uint32_t out = 0;

    // What the loop needs of one record.
    struct Look {
        XY xy;
        XY pos;  // (j_dbl, i_dbl)
        double z;
        unsigned ret;
        bool near = false;  // Buffered: a neighbour may receive a copy
    };
    auto look = [&](const unsigned char* r) {
        Look k;
        k.xy = add(mul(stored_xy(r), scale), offset);
        k.z = actual_coordinate(load_i32le(r + 8), zs, zo);
        k.ret = return_number(static_cast<std::int8_t>(r[14]));
        out += !within(k.xy, bounds_lo, bounds_hi);
        k.pos = div(sub(k.xy, origin), size);
        return k;
    };
    // The home tile, packed into a key; sets near.
    auto home_key = [&](Look& k) {
        std::uint16_t i, j;
        if (inside_grid(k.pos, counts)) [[likely]] {
            truncate_xy(k.pos, j, i);
            k.near = Buffered && near_edge(k.pos, qq);
        } else {
            i = tile_index_at(y_of(k.pos), Rows);
            j = tile_index_at(x_of(k.pos), Cols);
            k.near = Buffered;
        }
        return static_cast<std::uint32_t>(i) << 16 | j;
    };

    // Records with buffer copies are noted during a stretch of a run and
    // copied to their neighbours when it ends: nothing is called while the
    // stretch's statistics are in locals. A neighbour is never the run's
    // own tile, and the notes are handled before the next run starts, so
    // every tile still receives its records in input order.
    struct Noted {
        const unsigned char* rec;
        XY pos;
    };
    constexpr std::size_t kNotes = Buffered ? 256 : 1;
    Noted notes[kNotes];
    std::size_t noted = 0;
    // The notes all lie in the run's tile, so the neighbours of a record
    // follow from which of the four buffer distances are below q: the four
    // comparisons of place_record, whose placement is kept for the records
    // that follow with the same four results.
    auto copy_noted = [&](XY cell_lo, XY cell_hi) {
        int placed_sides = -1;
        unsigned copies = 0;
        TileStream* to_stream[3] = {};
        TileStruct* to_info[3] = {};
        for (std::size_t m = 0; m < noted; ++m) {
            const unsigned char* r = notes[m].rec;
            const XY pos = notes[m].pos;
            const int sides = near_side_bits(pos, cell_lo, cell_hi, qq);
            if (sides != placed_sides) {
                const Placement pl = place_record(y_of(pos), x_of(pos), g, q);
                copies = pl.count - 1U;
                for (unsigned c = 0; c < copies; ++c) {
                    const std::uint16_t nr = pl.row[c + 1], nc = pl.col[c + 1];
                    to_stream[c] = &rows[nr][nc];
                    if (!tile_stream_open(*to_stream[c])) open_on_demand(job, nr, nc);
                    to_info[c] = &info_rows[nr][nc];
                }
                placed_sides = sides;
            }
            // The same values as when the record was placed.
            const XY xy = add(mul(stored_xy(r), scale), offset);
            const double z = actual_coordinate(load_i32le(r + 8), zs, zo);
            const unsigned ret = return_number(static_cast<std::int8_t>(r[14]));
            for (unsigned c = 0; c < copies; ++c) {
                queue_copy(*to_stream[c], r, len, holding);
                count_in_tile(*to_info[c], x_of(xy), y_of(xy), z, ret);
            }
        }
        noted = 0;
    };

    Look k = look(rec);
    std::uint32_t key = home_key(k);
    while (rec != end) {
        // A run starts at rec: its tile, opened if the record lies outside
        // the file's tile range. A record whose position lies in the tile's
        // cell [j, j + 1) x [i, i + 1) has the run's key; others are keyed.
        const std::uint32_t run_key = key;
        const std::uint16_t i = static_cast<std::uint16_t>(key >> 16);
        const std::uint16_t j = static_cast<std::uint16_t>(key);
        const XY cell_lo = xy_of(j, i), cell_hi = xy_of(j + 1, i + 1);
        TileStream& run_ts = rows[i][j];
        if (!tile_stream_open(run_ts)) open_on_demand(job, i, j);
        TileStruct& t = info_rows[i][j];
        const unsigned char* const run_begin = rec;
        bool in_run = true;
        while (in_run) {
            // A stretch of the run, its statistics in locals: up to the end
            // of the run, or until the notes are full.
            std::uint32_t n = 0;
            XY run_min = xy_of(t.Xmin, t.Ymin), run_max = xy_of(t.Xmax, t.Ymax);
            double Zmin = t.Zmin, Zmax = t.Zmax;
            std::uint32_t by_return[8] = {};  // counts by return number 0 to 7
            for (;;) {
                ++n;
                run_max = higher(k.xy, run_max);
                run_min = lower(k.xy, run_min);
                Zmax = k.z > Zmax ? k.z : Zmax;
                Zmin = k.z < Zmin ? k.z : Zmin;
                ++by_return[k.ret];
                const bool full = Buffered && k.near && (notes[noted++] = {rec, k.pos}, noted == kNotes);
                rec += len;
                if (rec == end) {
                    in_run = false;
                    break;
                }
                k = look(rec);
                if (in_cell(k.pos, cell_lo, cell_hi)) [[likely]] {
                    if constexpr (Buffered) k.near = near_sides(k.pos, cell_lo, cell_hi, qq);
                } else if ((key = home_key(k)) != run_key) {
                    in_run = false;
                    break;
                }
                if (full) break;
            }
            t.nPts += n;
            t.tmpNPts += n;
            t.Xmin = x_of(run_min);
            t.Ymin = y_of(run_min);
            t.Xmax = x_of(run_max);
            t.Ymax = y_of(run_max);
            t.Zmin = Zmin;
            t.Zmax = Zmax;
            for (unsigned r = 1; r <= 5; ++r) t.Ret[r - 1] += by_return[r];  // 1 to 5 are counted
            if (Buffered) copy_noted(cell_lo, cell_hi);
        }
        queue_copy(run_ts, run_begin, static_cast<std::size_t>(rec - run_begin), holding);
    }
    outside += out;
    for (TileStream* ts : holding) flush_tile_stream(*ts);
    holding.clear();
}

// Reads the file's records block by block and writes every copy.
void copy_records(FileJob& job, const Tile& grid, double TileSize, double Tile_Buffer, unsigned char* block,
                  std::size_t block_bytes, std::uint16_t record_size) {
    const double q = Tile_Buffer / TileSize;
    std::uint32_t outside = 0;
    std::vector<TileStream*> holding;
    holding.reserve(job.opened.size() + 16);
    RecordBlocks blocks = start_record_blocks(job, record_size, block, block_bytes);
    const unsigned char* records = nullptr;
    std::size_t count = 0;
    while (next_record_block(blocks, records, count)) {
        if (q > 0)
            distribute_block<true>(job, grid, TileSize, q, records, count, record_size, outside, holding);
        else
            distribute_block<false>(job, grid, TileSize, q, records, count, record_size, outside, holding);
    }
    if (outside != 0)
        std::printf("Warning: %u records of %s lie outside its header bounds\n",
                    static_cast<unsigned>(outside), job.name);
}

// Number of decimal characters of a count (0 has one).
int decimal_width(std::uint32_t n) {
    int w = 1;
    while (n >= 10) {
        n /= 10;
        ++w;
    }
    return w;
}

// "Distributed to" and one line per tile of this file that received records.
void report_distribution(const FileJob& job, bool range_empty) {
    std::printf("Distributed to\n");
    if (range_empty && job.opened.empty()) {
        std::printf("\n");
        return;
    }
    int width = 0;
    for (auto [r, c] : job.opened) width = std::max(width, decimal_width(_tileInfo[r][c].tmpNPts));
    for (auto [r, c] : job.opened) {
        const std::uint32_t n = _tileInfo[r][c].tmpNPts;
        if (n != 0)
            std::printf("%s ( %*u returns )\n", job.tileNames[r][c].c_str(), width, static_cast<unsigned>(n));
    }
    std::printf("\n");
}

// Closes every tile opened for this file; removes those that hold nothing.
void close_tiles(FileJob& job) {
    for (auto [r, c] : job.opened) {
        close_tile_stream(job.streams[r][c]);
        if (_tileInfo[r][c].nPts == 0 && std::remove(job.tileNames[r][c].c_str()) != 0)
            fail("\nFailed to remove empty tile file %s: %s\n", job.tileNames[r][c].c_str(),
                 std::strerror(errno));
    }
}

void distribute_file(const char* name, std::uint32_t nth_las_file, std::uint16_t filecount, double TileSize,
                     double Tile_Buffer, const Tile& pTile, const TileNameTable& tileNames,
                     TileStreamTable& fTileArray, LAS12Header& ph12, std::uint16_t record_size,
                     unsigned char* block, std::size_t block_bytes) {
    FilePtr fp = open_file(name, "rb");
    if (!fp) fail("\nCannot open %s for point distribution to tiles\n", name);
    std::optional<LAS12Header> read = read_las_header(fp.get());
    if (!read) fail("\nCannot read the LAS header of %s\n", name);
    ph12 = *read;
    if (ph12.PointDataRecordLength != record_size || ph12.OffsetToData < kHeaderBytes)
        fail("\nFile %s has changed since it was validated\n", name);
    if (fseeko(fp.get(), static_cast<off_t>(ph12.OffsetToData), SEEK_SET) != 0)
        fail("\nCannot seek to the point records of %s\n", name);
    std::printf("\rProcessing %u returns in file %s (%u / %u)\n",
                static_cast<unsigned>(ph12.NumberOfPointReturns), name, static_cast<unsigned>(nth_las_file),
                static_cast<unsigned>(filecount));

    FileJob job{name, fp.get(), ph12, tileNames, fTileArray, {}, {}, {}, {}};
    job.stream_rows.reserve(fTileArray.size());
    for (auto& row : fTileArray) job.stream_rows.push_back(row.data());
    job.info_rows.reserve(_tileInfo.size());
    for (auto& row : _tileInfo) job.info_rows.push_back(row.data());
    const TileRange range =
        tile_range_of(ph12.MinX, ph12.MinY, ph12.MaxX, ph12.MaxY, pTile, TileSize, Tile_Buffer);
    if (!range.empty()) {
        job.opened.reserve(range.count());
        for (unsigned r = range.row_min; r <= range.row_max; ++r)
            for (unsigned c = range.col_min; c <= range.col_max; ++c)
                open_tile(job, static_cast<std::uint16_t>(r), static_cast<std::uint16_t>(c),
                          kRangeTileBuffer);
        for (auto [r, c] : job.opened) _tileInfo[r][c].tmpNPts = 0;
    }
    if (ph12.NumberOfPointReturns != 0)
        copy_records(job, pTile, TileSize, Tile_Buffer, block, block_bytes, record_size);
    // Tiles opened on demand join the report in row and column order.
    std::sort(job.opened.begin(), job.opened.end());
    report_distribution(job, range.empty());
    close_tiles(job);
}

}  // namespace

void distribute_points(std::FILE* fp_a, std::uint16_t filecount, double TileSize, double Tile_Buffer,
                       const Tile& pTile, const TileNameTable& tileNames, TileStreamTable& fTileArray,
                       LAS12Header& ph12, std::uint16_t record_size) {
    raise_open_file_limit();
    const std::size_t block_bytes = kReadBlockBytes / record_size * record_size;
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[block_bytes]);
    if (!block) fail_line("Failed to allocate memory for the point record buffer");
    std::uint32_t nth_las_file = 0;
    std::string filename;
    while (read_token(fp_a, filename)) {
        ++nth_las_file;
        distribute_file(filename.c_str(), nth_las_file, filecount, TileSize, Tile_Buffer, pTile, tileNames,
                        fTileArray, ph12, record_size, block.get(), block_bytes);
    }
}

}  // namespace tessaro
