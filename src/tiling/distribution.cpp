// The distribution of point records into tile files. For each input file:
// lay the window over its tile range, route every record of every block to
// the staging buffers of its home tile and of the neighbours its buffer
// reaches (record_routing.cpp), count what each tile received and report it,
// and remove the tiles that stayed empty (tile_files.cpp). Tile streams
// (tile_stream.hpp) stay open from one input file to the next; their records
// are written when a buffer fills and at the end of the run.
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
#include "file_job.hpp"
#include "lidar.hpp"
#include "record_blocks.hpp"
#include "record_routing.hpp"
#include "span_check.hpp"
#include "tile_files.hpp"
#include "tile_table.hpp"
#include "tile_window.hpp"

namespace tessaro {
namespace {

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

// ---- reading ---------------------------------------------------------------------

// Reads the file's records block by block and routes every copy.
void copy_records(FileJob& job, unsigned char* block, std::size_t block_bytes) {
    RecordBlocks blocks =
        job.file.laz.record_bytes != 0
            ? start_laz_blocks(job.name, job.input_file, job.header, job.file.points, job.file.laz, job.pool)
            : start_record_blocks(job.name, job.input, job.header, job.file.points, job.streams.record_length,
                                  block, block_bytes);
    const unsigned char* records = nullptr;
    std::size_t count = 0;
    while (next_record_block(blocks, records, count)) {
        route_records(job, records, count);
        // Runs listed in place are written before the block goes.
        for (TileStream* ts : job.streams.holding_input) flush_tile_stream(job.streams, *ts);
        job.streams.holding_input.clear();
        note_stream_use(job.streams);
    }
    // A LAZ file whose chunk cannot be read after tiles were written: no
    // tile of the run is left, as none holds what the run should give.
    if (!blocks.fault.empty()) {
        abandon_tile_streams(job.streams);
        fail("\nFile %s cannot be read: %s; the tiles of this run are removed\n", job.name,
             blocks.fault.c_str());
    }
    if (job.outside != 0)
        std::printf("Warning: %llu records of %s lie outside its header bounds\n",
                    static_cast<unsigned long long>(job.outside), job.name);
}

// ---- the report -----------------------------------------------------------------

// Number of decimal characters of a count (0 has one).
int decimal_width(std::uint64_t n) {
    int w = 1;
    while (n >= 10) {
        n /= 10;
        ++w;
    }
    return w;
}

// "Distributed to" and one line per tile of this file that received records,
// in row and column order.
void report_distribution(FileJob& job) {
    // Tiles reached outside the range join the report in row and column order.
    std::sort(job.opened.begin(), job.opened.end(), [](const TileStream* a, const TileStream* b) {
        return tile_key(a->row, a->col) < tile_key(b->row, b->col);
    });
    std::printf("Distributed to\n");
    if (job.range.empty() && job.opened.empty()) {
        std::printf("\n");
        return;
    }
    int width = 0;
    for (const TileStream* ts : job.opened) width = std::max(width, decimal_width(ts->stats->tmpNPts));
    for (const TileStream* ts : job.opened) {
        const std::uint64_t n = ts->stats->tmpNPts;
        if (n != 0)
            std::printf("%s ( %*llu returns )\n", ts->name.c_str(), width,
                        static_cast<unsigned long long>(n));
    }
    std::printf("\n");
}

// ---- one input file -------------------------------------------------------------

void distribute_file(const ListedFile& file, std::uint32_t nth, const DistributionSetup& setup,
                     TileStreams& streams, TileWindow& window, LAS12Header& ph12, unsigned char* block,
                     std::size_t block_bytes) {
    const char* name = file.name.c_str();
    FilePtr fp = reopen_listed(file);
    if (!fp) fail("\nCannot open %s for point distribution to tiles\n", name);
    ph12 = file.header;
    std::printf("\rProcessing %llu returns in file %s (%u / %u)\n",
                static_cast<unsigned long long>(file.points), name, static_cast<unsigned>(nth),
                static_cast<unsigned>(setup.survey->files.size()));

    const double q = setup.Tile_Buffer / setup.TileSize;
    FileJob job{.name = name,
                .input = fileno(fp.get()),
                .input_file = fp.get(),
                .pool = *setup.pool,
                .file = file,
                .header = ph12,
                .grid = setup.pTile,
                .TileSize = setup.TileSize,
                .q = q,
                .nth = nth,
                .streams = streams,
                .range = tile_range_of(ph12.MinX, ph12.MinY, ph12.MaxX, ph12.MaxY, setup.pTile,
                                       setup.TileSize, setup.Tile_Buffer),
                .window = window};
    const TileRange& range = job.range;
    // A range of at most 99 tiles has its tile files opened up front; the
    // tiles of a larger one are made as records reach them, and what an
    // earlier run left in it is removed at the end as the files made up
    // front would have been.
    const bool up_front = range.count() <= kMaxTilesPerFile;
    window.columns.clear();
    if (!range.empty()) {
        lay_tile_window(window, range, setup.pTile, ph12, setup.TileSize, q);
        if (up_front)
            for (unsigned r = range.row_min; r <= range.row_max; ++r)
                for (unsigned c = range.col_min; c <= range.col_max; ++c)
                    touch(job, static_cast<std::uint16_t>(r), static_cast<std::uint16_t>(c));
    }
    if (file.points != 0) copy_records(job, block, block_bytes);
    for (TileStream* ts : job.opened) count_staged(streams, *ts);
    report_distribution(job);
    remove_empty_tiles(job);
    if (!up_front) remove_leftover_tiles(job, setup.present_tiles, setup.listed_directory);
}

}  // namespace

void distribute_points(const DistributionSetup& setup, LAS12Header& ph12) {
    const std::size_t record_size = setup.kind.record_length;
    const std::size_t block_bytes = kReadBlockBytes / record_size * record_size;
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[block_bytes]);
    if (!block) fail_line("Failed to allocate memory for the point record buffer");
    TileStreams streams;
    streams.prefix = setup.TilePrefix;
    streams.bufsize = setup.bufsize;
    streams.record_length = record_size;
    streams.extension = setup.kind.extension();
    if (setup.kind.compressed) {
        streams.laz_tiles = true;
        try {
            streams.laz_record = tile_laz_record(setup.survey->files.front().laz.layout);
        } catch (const std::bad_alloc&) {
            fail_line("Failed to allocate memory for the streams of the tile files");
        }
    }
    streams.return_mask = setup.kind.format.return_mask;
    streams.max_tile_points = setup.kind.counts_in_64_bits() ? UINT64_MAX : UINT32_MAX;
    streams.header = &ph12;
    streams.max_open_files = open_tile_budget();
    TileWindow window;
    try {
        streams.inputs = setup.inputs;
    } catch (const std::bad_alloc&) {
        fail_line("Failed to allocate memory for the streams of the tile files");
    }
    // The tiles of a LAZ run hold uncompressed records until they are
    // compressed at the end: a run that fails before leaves none of them
    // under a name that says LAZ.
    if (setup.kind.compressed)
        set_fail_cleanup([](void* all) { abandon_tile_streams(*static_cast<TileStreams*>(all)); }, &streams);
    std::uint32_t nth = 0;
    for (const ListedFile& file : setup.survey->files)
        distribute_file(file, ++nth, setup, streams, window, ph12, block.get(), block_bytes);
    remove_unlisted_leftovers(streams);
    if (streams.unchecked_tiles != 0)
        std::printf(
            "Warning: the directory of %s cannot be listed; %llu tiles without points were not "
            "checked for files an earlier run left\n",
            setup.TilePrefix.c_str(), static_cast<unsigned long long>(streams.unchecked_tiles));
    close_tile_streams(streams);
    set_fail_cleanup(nullptr, nullptr);
}

}  // namespace tessaro
