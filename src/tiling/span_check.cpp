#include "span_check.hpp"

#include <cstdio>

#include "console.hpp"

namespace tessaro {

void check_number_tiles_per_las(const ListedSurvey& survey, double ts, const Tile& p, double buffer,
                                unsigned max_tiles) {
    for (const ListedFile& file : survey.files) {
        const char* name = file.name.c_str();
        const LAS12Header& h = file.header;
        const TileRange range = tile_range_of(h.MinX, h.MinY, h.MaxX, h.MaxY, p, ts, buffer);
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
}

}  // namespace tessaro
