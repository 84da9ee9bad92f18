#include "tile_table.hpp"

#include <algorithm>
#include <new>

#include "console.hpp"

namespace tessaro {

TileInfoTable _tileInfo;

TileEntry& TileInfoTable::entry(std::uint16_t r, std::uint16_t c) {
    try {
        auto [it, added] = tiles.try_emplace(tile_key(r, c));
        if (added) {
            TileStruct& t = it->second.stats;
            t = TileStruct{};
            t.Xmin = t.Ymin = t.Zmin = kMinSentinel;
            t.Xmax = t.Ymax = t.Zmax = kMaxSentinel;
        }
        return it->second;
    } catch (const std::bad_alloc&) {
        fail("\nFailed to allocate memory for element at tile structure row %d, column %d\n",
             static_cast<int>(r), static_cast<int>(c));
    }
}

const TileStruct* TileInfoTable::find(std::uint16_t r, std::uint16_t c) const {
    const auto it = tiles.find(tile_key(r, c));
    return it == tiles.end() ? nullptr : &it->second.stats;
}

void initializeTileStructure(std::uint16_t rows, std::uint16_t cols) {
    _tileInfo.Rows = rows;
    _tileInfo.Cols = cols;
    _tileInfo.tiles.clear();
}

std::vector<std::uint32_t> tiles_with_points() {
    std::vector<std::uint32_t> keys;
    try {
        keys.reserve(_tileInfo.tiles.size());
        for (const auto& [key, e] : _tileInfo.tiles)
            if (e.stats.nPts != 0) keys.push_back(key);
    } catch (const std::bad_alloc&) {
        fail_line("Failed to allocate memory for the list of tiles");
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

}  // namespace tessaro
