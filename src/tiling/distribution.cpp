#include "distribution.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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
    std::vector<TileKey> opened;  // tiles opened for this file, range first
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

// Reads the file's records block by block and writes every copy.
void copy_records(FileJob& job, const Tile& grid, double TileSize, double Tile_Buffer,
                  std::vector<unsigned char>& block, std::uint16_t record_size) {
    const LAS12Header& h = job.header;
    const double q = Tile_Buffer / TileSize;
    const std::size_t per_block = block.size() / record_size;
    std::uint32_t left = h.NumberOfPointReturns;
    std::uint32_t done = 0;
    std::uint32_t outside = 0;
    while (left > 0) {
        const std::size_t n = std::min<std::size_t>(left, per_block);
        if (std::fread(block.data(), record_size, n, job.input) != n) {
            fail("\nFile %s ends after %u of its %u point records\n", job.name, static_cast<unsigned>(done),
                 static_cast<unsigned>(h.NumberOfPointReturns));
        }
        for (std::size_t k = 0; k < n; ++k) {
            const unsigned char* rec = block.data() + k * record_size;
            const ReturnStruct p = return_from_bytes(rec);
            const double y = actual_coordinate(p.Y, h.YScaleFactor, h.YOffset);
            const double x = actual_coordinate(p.X, h.XScaleFactor, h.XOffset);
            if (!(x >= h.MinX && x <= h.MaxX && y >= h.MinY && y <= h.MaxY)) ++outside;
            const double i_dbl = (y - grid.YMin) / TileSize;
            const double j_dbl = (x - grid.XMin) / TileSize;
            const Placement pl = place_record(i_dbl, j_dbl, grid, q);
            for (unsigned m = 0; m < pl.count; ++m) {
                TileStream& ts = job.streams[pl.row[m]][pl.col[m]];
                if (!tile_stream_open(ts)) {
                    open_tile(job, pl.row[m], pl.col[m], kExtraTileBuffer);
                    _tileInfo[pl.row[m]][pl.col[m]].tmpNPts = 0;
                }
                tile_write(ts, rec, record_size);
                update_tileInfo(p, pl.row[m], pl.col[m], h);
            }
        }
        left -= static_cast<std::uint32_t>(n);
        done += static_cast<std::uint32_t>(n);
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
                     std::vector<unsigned char>& block) {
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

    FileJob job{name, fp.get(), ph12, tileNames, fTileArray, {}};
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
    if (ph12.NumberOfPointReturns != 0) copy_records(job, pTile, TileSize, Tile_Buffer, block, record_size);
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
    std::vector<unsigned char> block;
    try {
        block.resize(kReadBlockBytes / record_size * record_size);
    } catch (const std::bad_alloc&) {
        fail_line("Failed to allocate memory for the point record buffer");
    }
    std::uint32_t nth_las_file = 0;
    std::string filename;
    while (read_token(fp_a, filename)) {
        ++nth_las_file;
        distribute_file(filename.c_str(), nth_las_file, filecount, TileSize, Tile_Buffer, pTile, tileNames,
                        fTileArray, ph12, record_size, block);
    }
}

}  // namespace tessaro
