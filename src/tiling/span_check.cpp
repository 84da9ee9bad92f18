#include "span_check.hpp"

#include <string>

#include "console.hpp"
#include "lidar.hpp"
#include "list_file.hpp"

namespace tessaro {

void check_number_tiles_per_las(std::FILE* f, double ts, const Tile& p, double buffer,
                                const ListedHeaders& listed, unsigned max_tiles) {
    rewind_list(f);
    std::string filename;
    for (std::size_t nth = 0; read_token(f, filename); ++nth) {
        const char* name = filename.c_str();
        FilePtr las = open_file(name, "rb");
        if (!las) fail("\nCannot open %s for checking # of tiles it requires\n", name);
        std::optional<LAS12Header> ph = read_las_header(las.get());
        if (!ph) fail("\nCannot read the LAS header of %s\n", name);
        check_listed_header(listed, nth, *ph, name);
        const TileRange range = tile_range_of(ph->MinX, ph->MinY, ph->MaxX, ph->MaxY, p, ts, buffer);
        const unsigned tc = range.count();
        if (max_tiles != 0 && tc > max_tiles) {
            std::printf("\nSpecified Tile Size (%.3f) distributes contents of file %s", ts, name);
            fail(" in more than 99 files. Make Tile Size coarser (larger)\n");
        }
        if (tc == 1)
            std::printf("%s:  1 tile\n", name);
        else
            std::printf("%s: %2u tiles\n", name, tc);
    }
    rewind_list(f);
}

}  // namespace tessaro
