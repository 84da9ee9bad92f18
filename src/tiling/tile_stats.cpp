#include "tile_stats.hpp"

#include <cstdio>
#include <new>

#include "console.hpp"

namespace tessaro {

std::vector<std::vector<TileStruct>> _tileInfo;

void initializeTileStructure(std::uint16_t rows, std::uint16_t cols) {
    try {
        _tileInfo.resize(rows);
    } catch (const std::bad_alloc&) {
        fail("\nFailed to allocate memory for vector of pointers to rows of tile structure\n");
    }
    TileStruct initial{};
    initial.nPts = 0;
    initial.Xmin = initial.Ymin = initial.Zmin = kMinSentinel;
    initial.Xmax = initial.Ymax = initial.Zmax = kMaxSentinel;
    initial.tmpNPts = 0;
    for (auto& row : _tileInfo) {
        try {
            row.assign(cols, initial);
        } catch (const std::bad_alloc&) {
            fail("\nFailed to allocate memory for vector of pointers to columns of tile structure\n");
        }
    }
}

}  // namespace tessaro
