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

// Counts one record written to tile (i, j); `ph` is the header of the record's
// own input file, whose scale factors and offsets give its actual coordinates.
inline void update_tileInfo(const ReturnStruct& p, std::uint16_t i, std::uint16_t j, const LAS12Header& ph) {
    TileStruct& t = _tileInfo[i][j];
    const double X = actual_coordinate(p.X, ph.XScaleFactor, ph.XOffset);
    ++t.nPts;
    if (X > t.Xmax) t.Xmax = X;
    if (X < t.Xmin) t.Xmin = X;
    const double Y = actual_coordinate(p.Y, ph.YScaleFactor, ph.YOffset);
    if (Y > t.Ymax) t.Ymax = Y;
    if (Y < t.Ymin) t.Ymin = Y;
    const double Z = actual_coordinate(p.Z, ph.ZScaleFactor, ph.ZOffset);
    if (Z > t.Zmax) t.Zmax = Z;
    if (Z < t.Zmin) t.Zmin = Z;
    ++t.tmpNPts;
    const unsigned n = return_number(p.bitfield);
    if (n >= 1 && n <= 5) ++t.Ret[n - 1];
}

}  // namespace tessaro
