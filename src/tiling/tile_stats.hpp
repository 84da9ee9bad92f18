// Per-tile statistics of the records written to each tile file.
#pragma once

#include <cstdint>

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

// Counts the point records [begin, end), each `len` bytes, written to the
// tile of `t` from the input file with header `ph`, whose scale factors and
// offsets give their actual coordinates. Every record raises nPts and
// tmpNPts; the bounds only widen (a coordinate equal to a bound leaves it as it is, so
// +0.0 after -0.0 keeps -0.0); return numbers 1 to 5 are counted, 0, 6 and 7
// are not.
void count_records(TileStruct& t, const unsigned char* begin, const unsigned char* end, std::size_t len,
                   const LAS12Header& ph);

}  // namespace tessaro
