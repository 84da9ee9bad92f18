#include "tile_headers.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "console.hpp"
#include "lidar.hpp"
#include "tile_table.hpp"

namespace tessaro {
namespace {

[[noreturn]] void rewrite_failed(const char* name) {
    fail("\nFailed to rewrite the header of tile file %s: %s\n", name, std::strerror(errno));
}

// Appends the creating file's extended records to the tile `f`, at its end.
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

// Appends the chunk table of a LAZ tile after its last chunk and writes its
// offset at the start of the point data; returns the table's length.
std::uint64_t append_chunk_table(std::FILE* f, const char* name, const TileFile& written,
                                 std::uint64_t point_data_offset) {
    std::vector<unsigned char> table;
    try {
        table = chunk_table_bytes(written.chunks);
    } catch (const std::bad_alloc&) {
        fail("\nOut of memory for the chunk table of tile file %s\n", name);
    }
    if (std::fseek(f, 0, SEEK_END) != 0 || std::fwrite(table.data(), 1, table.size(), f) != table.size() ||
        !patch_chunk_table_offset(f, point_data_offset, written.bytes))
        rewrite_failed(name);
    return table.size();
}

}  // namespace

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

void finalize_tile_headers(const std::string& TilePrefix, int bufsize, LAS12Header& base,
                           const ListedSurvey& survey, const LasKind& kind) {
    for (const std::uint32_t key : tiles_with_points()) {
        const std::uint16_t r = key_row(key), c = key_col(key);
        const std::string tile = tile_file_name(TilePrefix, bufsize, r, c, kind.extension());
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
        std::uint64_t records_end = written.bytes;
        if (kind.compressed) records_end += append_chunk_table(f, name, written, own->OffsetToData);
        const LAS14HeaderExtension extension =
            tile_extension(entry.stats, kind, creator, records_end, header);
        if (extension.NumberOfExtendedVariableLengthRecords != 0) append_evlrs(f, name, creator);
        unsigned char image[kLAS14HeaderBytes];
        header_to_bytes(header, image);
        const std::size_t n = kind.header_bytes();
        extension_to_bytes(extension, image + kHeaderBytes, n - kHeaderBytes);
        if (std::fseek(f, 0, SEEK_SET) != 0 || std::fwrite(image, 1, n, f) != n || std::fflush(f) != 0)
            rewrite_failed(name);
        if (std::fclose(owner.release()) != 0)
            fail("\nFailed to close tile file %s: %s\n", name, std::strerror(errno));
    }
}

}  // namespace tessaro
