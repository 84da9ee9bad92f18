#include "tile_headers.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "console.hpp"
#include "lidar.hpp"
#include "tile_table.hpp"

namespace tessaro {

void set_tile_header_fields(LAS12Header& header, std::uint16_t row, std::uint16_t col) {
    const TileStruct& t = _tileInfo.at(row, col);
    static_assert(sizeof kGeneratingSoftware == 24);
    std::memcpy(header.GeneratingSoftware, kGeneratingSoftware, sizeof kGeneratingSoftware);
    header.NumberOfPointReturns = t.nPts;
    for (int k = 0; k < 5; ++k) header.NumberOfPointsByReturn[k] = t.Ret[k];
    header.MaxX = t.Xmax;
    header.MinX = t.Xmin;
    header.MaxY = t.Ymax;
    header.MinY = t.Ymin;
    header.MaxZ = t.Zmax;
    header.MinZ = t.Zmin;
}

void finalize_tile_headers(const std::string& TilePrefix, int bufsize, LAS12Header& base) {
    for (const std::uint32_t key : tiles_with_points()) {
        const std::uint16_t r = key_row(key), c = key_col(key);
        const std::string tile = tile_file_name(TilePrefix, bufsize, r, c);
        const char* name = tile.c_str();
        set_tile_header_fields(base, r, c);
        std::FILE* f = std::fopen(name, "r+b");
        if (!f) fail("\nCannot open tile file %s to rewrite its header: %s\n", name, std::strerror(errno));
        FilePtr owner(f);
        // The file under the tile's name must be the one the run wrote.
        struct stat st;
        const TileFile& written = _tileInfo.entry(r, c).file;
        if (fstat(fileno(f), &st) != 0 || !(FileId{st.st_dev, st.st_ino} == written.id) ||
            static_cast<std::uint64_t>(st.st_size) != written.bytes)
            fail("\nTile file %s was removed or replaced while this run wrote it\n", name);
        std::optional<LAS12Header> own = read_las_header(f);
        if (!own) fail("\nCannot read the header of tile file %s\n", name);
        LAS12Header header = base;
        header.HeaderSize = own->HeaderSize;
        header.OffsetToData = own->OffsetToData;
        header.NumberOfVariableLengthRecords = own->NumberOfVariableLengthRecords;
        unsigned char image[kHeaderBytes];
        header_to_bytes(header, image);
        if (std::fseek(f, 0, SEEK_SET) != 0 || std::fwrite(image, 1, kHeaderBytes, f) != kHeaderBytes ||
            std::fflush(f) != 0)
            fail("\nFailed to rewrite the header of tile file %s: %s\n", name, std::strerror(errno));
        if (std::fclose(owner.release()) != 0)
            fail("\nFailed to close tile file %s: %s\n", name, std::strerror(errno));
    }
}

}  // namespace tessaro
