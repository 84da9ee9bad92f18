// Per-tile statistics of the records written to each tile file.
#pragma once

#include <cstdint>

#include "las_records.hpp"

namespace tessaro {

// Counts are of 64 bits, as LAS 1.4 tiles hold them; a tile of an earlier
// version is refused before its count passes 32 bits.
struct TileStruct {
    std::uint64_t nPts;
    double Xmin;
    double Ymin;
    double Zmin;
    double Xmax;
    double Ymax;
    double Zmax;
    std::uint64_t Ret[15];  // records by return number 1 to 15
    std::uint64_t tmpNPts;
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
// +0.0 after -0.0 keeps -0.0). The return number is byte 14 of the record
// under `return_mask` (7, or 15 for the formats of 15 returns); numbers 1 to
// 15 are counted, 0 is not.
void count_records(TileStruct& t, const unsigned char* begin, const unsigned char* end, std::size_t len,
                   const LAS12Header& ph, unsigned return_mask = 7);

}  // namespace tessaro
