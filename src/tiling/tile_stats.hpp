// Per-tile statistics of the records written to each tile file.
#pragma once

#include <cstdint>
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

// The statistics table, [row][column]; the one process-wide table of the run.
extern std::vector<std::vector<TileStruct>> _tileInfo;

// Creates `_tileInfo` with rows x cols records at their initial values.
void initializeTileStructure(std::uint16_t rows, std::uint16_t cols);

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

// Counts one record written to tile (i, j); `ph` is the header of the record's
// own input file, whose scale factors and offsets give its actual coordinates.
inline void update_tileInfo(const ReturnStruct& p, std::uint16_t i, std::uint16_t j, const LAS12Header& ph) {
    count_in_tile(_tileInfo[i][j], actual_coordinate(p.X, ph.XScaleFactor, ph.XOffset),
                  actual_coordinate(p.Y, ph.YScaleFactor, ph.YOffset),
                  actual_coordinate(p.Z, ph.ZScaleFactor, ph.ZOffset), return_number(p.bitfield));
}

}  // namespace tessaro
