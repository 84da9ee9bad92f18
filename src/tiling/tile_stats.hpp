// Per-tile statistics of the records written to each tile file.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "las_records.hpp"

namespace tessaro {

struct TileStruct {
    std::uint32_t nPts;
    double Xmin;
    double Ymin;
    double Zmin;
    double Xmax;
    double Ymax;
    double Zmax;
    std::uint32_t Ret[5];
    std::uint32_t tmpNPts;
};

inline constexpr double kMinSentinel = 1.0e13;
inline constexpr double kMaxSentinel = -1.0e13;

// A tile's row and column in one number: row-major order is key order.
inline std::uint32_t tile_key(std::uint16_t row, std::uint16_t col) {
    return static_cast<std::uint32_t>(row) << 16 | col;
}
inline std::uint16_t key_row(std::uint32_t key) {
    return static_cast<std::uint16_t>(key >> 16);
}
inline std::uint16_t key_col(std::uint32_t key) {
    return static_cast<std::uint16_t>(key);
}

// The statistics of a Rows x Cols grid, held only for the tiles that a file's
// tile range or a record touched: memory grows with the tiles in use, not with
// the grid. A tile without an entry holds no record. Entries never move.
struct TileInfoTable {
    std::uint16_t Rows = 0;
    std::uint16_t Cols = 0;
    std::unordered_map<std::uint32_t, TileStruct> tiles;

    // The record of tile (r, c), created at its initial values when missing.
    TileStruct& at(std::uint16_t r, std::uint16_t c);
    // The record of tile (r, c), or null when the tile was never touched.
    const TileStruct* find(std::uint16_t r, std::uint16_t c) const;
    // Records written to tile (r, c) so far.
    std::uint32_t points_in(std::uint16_t r, std::uint16_t c) const {
        const TileStruct* t = find(r, c);
        return t ? t->nPts : 0;
    }
};

// The statistics table; the one process-wide table of the run.
extern TileInfoTable _tileInfo;

// Sets up `_tileInfo` for a rows x cols grid, with no tile touched yet.
void initializeTileStructure(std::uint16_t rows, std::uint16_t cols);

// Keys of the tiles of `_tileInfo` that hold records, in row-major order.
std::vector<std::uint32_t> tiles_with_points();

// Counts one record in t: actual coordinates X, Y, Z and return number n.
// Every record raises the counts; the bounds only widen.
inline void count_in_tile(TileStruct& t, double X, double Y, double Z, unsigned n) {
    ++t.nPts;
    t.Xmax = X > t.Xmax ? X : t.Xmax;
    t.Xmin = X < t.Xmin ? X : t.Xmin;
    t.Ymax = Y > t.Ymax ? Y : t.Ymax;
    t.Ymin = Y < t.Ymin ? Y : t.Ymin;
    t.Zmax = Z > t.Zmax ? Z : t.Zmax;
    t.Zmin = Z < t.Zmin ? Z : t.Zmin;
    ++t.tmpNPts;
    // Return numbers 1 to 5 are counted, 0, 6 and 7 are not; without a branch,
    // since return numbers alternate from record to record.
    const unsigned slot = n - 1U;  // 0 wraps to a large value
    t.Ret[slot < 5U ? slot : 4U] += slot < 5U ? 1U : 0U;
}

// Counts the point records [begin, end), each `len` bytes, of the input file
// with header `ph`, one after another: the same values as count_in_tile for
// each, with the running bounds held in registers.
void count_records(TileStruct& t, const unsigned char* begin, const unsigned char* end, std::size_t len,
                   const LAS12Header& ph);

// Counts one record written to tile (i, j); `ph` is the header of the record's
// own input file, whose scale factors and offsets give its actual coordinates.
inline void update_tileInfo(const ReturnStruct& p, std::uint16_t i, std::uint16_t j, const LAS12Header& ph) {
    count_in_tile(_tileInfo.at(i, j), actual_coordinate(p.X, ph.XScaleFactor, ph.XOffset),
                  actual_coordinate(p.Y, ph.YScaleFactor, ph.YOffset),
                  actual_coordinate(p.Z, ph.ZScaleFactor, ph.ZOffset), return_number(p.bitfield));
}

}  // namespace tessaro
