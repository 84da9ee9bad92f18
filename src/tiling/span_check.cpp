#include "span_check.hpp"

#include <string>

#include "console.hpp"
#include "lidar.hpp"
#include "list_file.hpp"

namespace tessaro {

void check_number_tiles_per_las(std::FILE* f, double ts, const Tile& p, double buffer) {
    rewind_list(f);
    std::string filename;
    while (read_token(f, filename)) {
        const char* name = filename.c_str();
        FilePtr las = open_file(name, "rb");
        if (!las) fail("\nCannot open %s for checking # of tiles it requires\n", name);
        std::optional<LAS12Header> ph = read_las_header(las.get());
        if (!ph) fail("\nCannot read the LAS header of %s\n", name);
        const TileRange range = tile_range_of(ph->MinX, ph->MinY, ph->MaxX, ph->MaxY, p, ts, buffer);
        const unsigned tc = range.count();
        if (tc > kMaxTilesPerFile) {
            std::printf("\nSpecified Tile Size (%.3f) distributes contents of file %s", ts, name);
            fail(" in more than 99 files. Make Tile Size coarser (larger)\n");
        }
        if (tc == 1)
            std::printf("%s:  1 tile\n", name);
        else
            std::printf("%s: %2d tiles\n", name, static_cast<int>(tc));
    }
    rewind_list(f);
}

}  // namespace tessaro
