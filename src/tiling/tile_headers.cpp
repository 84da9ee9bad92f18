#include "tile_headers.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <new>

#include "console.hpp"
#include "laz_tiles.hpp"
#include "lidar.hpp"
#include "tile_table.hpp"

namespace tessaro {
namespace {

[[noreturn]] void rewrite_failed(const char* name) {
    fail("\nFailed to rewrite the header of tile file %s: %s\n", name, std::strerror(errno));
}

}  // namespace

void append_evlrs(std::FILE* f, const char* name, const ListedFile& creator) {
    FilePtr in = reopen_listed(creator);
    if (!in) fail("\nCannot open %s for reading\n", creator.name.c_str());
    if (std::fseek(f, 0, SEEK_END) != 0) rewrite_failed(name);
    unsigned char chunk[64 * 1024];
    for (std::uint64_t pos = creator.evlrs.begin; pos < creator.evlrs.end;) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(creator.evlrs.end - pos, sizeof chunk));
        const ssize_t got = pread(fileno(in.get()), chunk, want, static_cast<off_t>(pos));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0)
            fail("\nFailed to read the extended variable length records of %s: %s\n", creator.name.c_str(),
                 got < 0 ? std::strerror(errno) : "unexpected end of file");
        if (std::fwrite(chunk, 1, static_cast<std::size_t>(got), f) != static_cast<std::size_t>(got))
            rewrite_failed(name);
        pos += static_cast<std::uint64_t>(got);
    }
}

void write_header_block(std::FILE* f, const char* name, const LAS12Header& header,
                        const LAS14HeaderExtension& extension, std::size_t n) {
    unsigned char image[kLAS14HeaderBytes];
    header_to_bytes(header, image);
    extension_to_bytes(extension, image + kHeaderBytes, n - kHeaderBytes);
    if (std::fseek(f, 0, SEEK_SET) != 0 || std::fwrite(image, 1, n, f) != n || std::fflush(f) != 0)
        rewrite_failed(name);
}

void set_tile_header_fields(LAS12Header& header, std::uint16_t row, std::uint16_t col) {
    const TileStruct& t = _tileInfo.at(row, col);
    static_assert(sizeof kGeneratingSoftware == 24);
    std::memcpy(header.GeneratingSoftware, kGeneratingSoftware, sizeof kGeneratingSoftware);
    header.NumberOfPointReturns = static_cast<std::uint32_t>(t.nPts);
    for (int k = 0; k < 5; ++k) header.NumberOfPointsByReturn[k] = static_cast<std::uint32_t>(t.Ret[k]);
    header.MaxX = t.Xmax;
    header.MinX = t.Xmin;
    header.MaxY = t.Ymax;
    header.MinY = t.Ymin;
    header.MaxZ = t.Zmax;
    header.MinZ = t.Zmin;
}

LAS14HeaderExtension tile_extension(const TileStruct& t, const LasKind& kind, const ListedFile& creator,
                                    std::uint64_t records_end, LAS12Header& header) {
    LAS14HeaderExtension e{};
    if (kind.VersionMinor >= 3) {
        // A tile carries no waveform packets, so neither waveform bit; and
        // the WKT bit says where the tile's own records (its creating file's)
        // hold the coordinate system, whatever the last input says.
        std::uint16_t encoding = header.GlobalEncoding;
        encoding &= static_cast<std::uint16_t>(~(kWaveformInternalBit | kWaveformExternalBit));
        if (kind.VersionMinor >= 4)
            encoding = static_cast<std::uint16_t>((encoding & ~kWktEncodingBit) |
                                                  (creator.header.GlobalEncoding & kWktEncodingBit));
        header.GlobalEncoding = encoding;
    }
    if (!kind.counts_in_64_bits()) return e;
    e.NumberOfPointRecords = t.nPts;
    // The count arrays of the packed records are not aligned for their
    // element type: they are set element by element through the record,
    // never through a pointer or reference to an element.
    for (int k = 0; k < 15; ++k) e.NumberOfPointsByReturn[k] = t.Ret[k];
    if (kind.format.extended || t.nPts > UINT32_MAX) {
        header.NumberOfPointReturns = 0;
        // Byte by byte: the packed header's counts are not aligned for a
        // store of an unsigned through a pointer to them.
        std::memset(header.NumberOfPointsByReturn, 0, sizeof header.NumberOfPointsByReturn);
    }
    e.NumberOfExtendedVariableLengthRecords = creator.extension.NumberOfExtendedVariableLengthRecords;
    if (e.NumberOfExtendedVariableLengthRecords != 0)
        e.StartOfFirstExtendedVariableLengthRecord = records_end;
    return e;
}

namespace {

// Rewrites the header of tile (r, c), or begins its compression for a LAZ
// run.
void finalize_tile(const std::string& tile, std::uint16_t r, std::uint16_t c, LAS12Header& base,
                   const ListedSurvey& survey, const LasKind& kind, LazTileWriter& laz) {
    const char* name = tile.c_str();
    set_tile_header_fields(base, r, c);
    std::FILE* f = std::fopen(name, "r+b");
    if (!f) fail("\nCannot open tile file %s to rewrite its header: %s\n", name, std::strerror(errno));
    FilePtr owner(f);
    // The file under the tile's name must be the one the run wrote.
    struct stat st;
    const TileEntry& entry = _tileInfo.entry(r, c);
    const TileFile& written = entry.file;
    if (fstat(fileno(f), &st) != 0 || !(FileId{st.st_dev, st.st_ino} == written.id) ||
        static_cast<std::uint64_t>(st.st_size) != written.bytes)
        fail("\nTile file %s was removed or replaced while this run wrote it\n", name);
    std::optional<LAS12Header> own = read_las_header(f);
    if (!own) fail("\nCannot read the header of tile file %s\n", name);
    LAS12Header header = base;
    header.HeaderSize = own->HeaderSize;
    header.OffsetToData = own->OffsetToData;
    header.NumberOfVariableLengthRecords = own->NumberOfVariableLengthRecords;
    const ListedFile& creator = survey.files.at(written.creator - 1);
    if (kind.compressed) {
        LazTileWork work;
        work.name = tile;
        work.raw = std::move(owner);
        work.header = header;
        work.creator = &creator;
        work.stats = &entry.stats;
        work.records_at = own->OffsetToData;
        compress_tile(laz, std::move(work), written.bytes);
        return;
    }
    const LAS14HeaderExtension extension = tile_extension(entry.stats, kind, creator, written.bytes, header);
    if (extension.NumberOfExtendedVariableLengthRecords != 0) append_evlrs(f, name, creator);
    write_header_block(f, name, header, extension, kind.header_bytes());
    if (std::fclose(owner.release()) != 0)
        fail("\nFailed to close tile file %s: %s\n", name, std::strerror(errno));
}

}  // namespace

void finalize_tile_headers(const std::string& TilePrefix, int bufsize, LAS12Header& base,
                           const ListedSurvey& survey, const LasKind& kind, CodecPool* pool,
                           const std::vector<FileId>& inputs) {
    LazTileWriter laz;
    laz.pool = pool;
    laz.kind = kind;
    laz.inputs = inputs;
    if (pool != nullptr) laz.max_in_flight = 2 * std::max<std::size_t>(pool->workers.size(), 1) + 2;
    // The tiles of a LAZ run are LAS files under LAZ names until each is
    // compressed: a failure from here on removes them all. An exception is
    // caught here, before it could free chunks that the codec's workers are
    // still compressing, and ends the run as main would report it.
    try {
        const std::vector<std::uint32_t> keys = tiles_with_points();
        if (kind.compressed) {
            remove_laz_run_on_failure(laz);
            laz.run_tiles.reserve(keys.size());
            for (const std::uint32_t key : keys)
                laz.run_tiles.push_back(
                    tile_file_name(TilePrefix, bufsize, key_row(key), key_col(key), kind.extension()));
        }
        for (const std::uint32_t key : keys) {
            const std::uint16_t r = key_row(key), c = key_col(key);
            finalize_tile(tile_file_name(TilePrefix, bufsize, r, c, kind.extension()), r, c, base, survey,
                          kind, laz);
        }
        finish_laz_tiles(laz);
    } catch (const std::bad_alloc&) {
        if (!kind.compressed) throw;
        fail("\nOut of memory\n");
    } catch (const std::exception& e) {
        if (!kind.compressed) throw;
        fail("\nUnexpected failure: %s\n", e.what());
    }
}

}  // namespace tessaro
