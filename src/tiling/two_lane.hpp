// Two lanes of double arithmetic, X and Y of a record side by side, and the
// test of a record's stored X and Y against two spans at once. With SSE2
// one instruction does both axes; each lane is rounded exactly as the scalar
// operation (IEEE double, no contraction), so either build gives the same bits.
// -DTESSARO_SCALAR_DISTRIBUTION (CMake option TESSARO_SCALAR_DISTRIBUTION)
// selects the scalar lanes on any processor.
#pragma once

#include <cstdint>

#include "las_bytes.hpp"
#include "stored_span.hpp"

#if defined(__SSE2__) && !defined(TESSARO_SCALAR_DISTRIBUTION)
#include <emmintrin.h>
#define TESSARO_TWO_LANE_SSE2 1
#endif

namespace tessaro {

#if defined(TESSARO_TWO_LANE_SSE2)
using XY = __m128d;
inline XY xy_of(double x, double y) {
    return _mm_set_pd(y, x);
}
inline double x_of(XY v) {
    return _mm_cvtsd_f64(v);
}
inline double y_of(XY v) {
    return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v));
}
// Stored X and Y of a point record (little-endian, as x86 is), converted
// exactly. Records lie at any byte offset: the load is of the unaligned type.
inline XY stored_xy(const unsigned char* rec) {
    return _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i_u*>(rec)));
}
inline XY add(XY a, XY b) {
    return _mm_add_pd(a, b);
}
inline XY sub(XY a, XY b) {
    return _mm_sub_pd(a, b);
}
inline XY mul(XY a, XY b) {
    return _mm_mul_pd(a, b);
}
inline XY div(XY a, XY b) {
    return _mm_div_pd(a, b);
}
// Lane by lane v < m ? v : m, and v > m ? v : m.
inline XY lower(XY v, XY m) {
    return _mm_min_pd(v, m);
}
inline XY higher(XY v, XY m) {
    return _mm_max_pd(v, m);
}
// lo <= v && v <= hi in both lanes (false for NaN).
inline bool within(XY v, XY lo, XY hi) {
    return _mm_movemask_pd(_mm_and_pd(_mm_cmpge_pd(v, lo), _mm_cmple_pd(v, hi))) == 3;
}
// lo <= v && v < hi in both lanes (false for NaN).
inline bool in_cell(XY v, XY lo, XY hi) {
    return _mm_movemask_pd(_mm_and_pd(_mm_cmpge_pd(v, lo), _mm_cmplt_pd(v, hi))) == 3;
}
// Truncations of both lanes, known to lie in 0 .. 65534.
inline void truncate_xy(XY v, std::uint16_t& x, std::uint16_t& y) {
    const __m128i t = _mm_cvttpd_epi32(v);
    x = static_cast<std::uint16_t>(_mm_cvtsi128_si32(t));
    y = static_cast<std::uint16_t>(_mm_cvtsi128_si32(_mm_srli_si128(t, 4)));
}
// For a position v in the cell [k, k + 1) of each lane, k its truncation:
// which of the distances to the cell's edges, as fractions of a tile, lie
// below q. Bits: 1 right ((k + 1) - x), 2 up ((k + 1) - y), 4 left (x - k),
// 8 down (y - k): the comparisons of the buffer neighbour tests.
inline int near_side_bits(XY v, XY q) {
    const __m128i t = _mm_cvttpd_epi32(v);
    const XY lo = _mm_cvtepi32_pd(t);
    const XY hi = _mm_cvtepi32_pd(_mm_add_epi32(t, _mm_set1_epi32(1)));
    return _mm_movemask_pd(_mm_cmplt_pd(_mm_sub_pd(hi, v), q)) |
           _mm_movemask_pd(_mm_cmplt_pd(_mm_sub_pd(v, lo), q)) << 2;
}
// Stored X and Y spans side by side (lanes 0 and 1 of lo and hi).
struct StoredBox {
    __m128i lo;
    __m128i hi;
};
inline StoredBox stored_box(StoredSpan x, StoredSpan y) {
    return {_mm_set_epi32(0, 0, y.lo, x.lo), _mm_set_epi32(0, 0, y.hi, x.hi)};
}
// The record's stored X and Y both lie in the box's spans.
inline bool stored_in(const unsigned char* rec, const StoredBox& b) {
    const __m128i s = _mm_loadl_epi64(reinterpret_cast<const __m128i_u*>(rec));
    const __m128i out = _mm_or_si128(_mm_cmplt_epi32(s, b.lo), _mm_cmpgt_epi32(s, b.hi));
    return (_mm_movemask_epi8(out) & 0xFF) == 0;
}
#else
struct XY {
    double x, y;
};
inline XY xy_of(double x, double y) {
    return {x, y};
}
inline double x_of(XY v) {
    return v.x;
}
inline double y_of(XY v) {
    return v.y;
}
inline XY stored_xy(const unsigned char* rec) {
    return {static_cast<double>(load_i32le(rec)), static_cast<double>(load_i32le(rec + 4))};
}
inline XY add(XY a, XY b) {
    return {a.x + b.x, a.y + b.y};
}
inline XY sub(XY a, XY b) {
    return {a.x - b.x, a.y - b.y};
}
inline XY mul(XY a, XY b) {
    return {a.x * b.x, a.y * b.y};
}
inline XY div(XY a, XY b) {
    return {a.x / b.x, a.y / b.y};
}
inline XY lower(XY v, XY m) {
    return {v.x < m.x ? v.x : m.x, v.y < m.y ? v.y : m.y};
}
inline XY higher(XY v, XY m) {
    return {v.x > m.x ? v.x : m.x, v.y > m.y ? v.y : m.y};
}
inline bool within(XY v, XY lo, XY hi) {
    return v.x >= lo.x && v.x <= hi.x && v.y >= lo.y && v.y <= hi.y;
}
inline bool in_cell(XY v, XY lo, XY hi) {
    return v.x >= lo.x && v.x < hi.x && v.y >= lo.y && v.y < hi.y;
}
inline void truncate_xy(XY v, std::uint16_t& x, std::uint16_t& y) {
    x = static_cast<std::uint16_t>(static_cast<std::int32_t>(v.x));
    y = static_cast<std::uint16_t>(static_cast<std::int32_t>(v.y));
}
inline int near_side_bits(XY v, XY q) {
    const auto kx = static_cast<double>(static_cast<std::int32_t>(v.x));
    const auto ky = static_cast<double>(static_cast<std::int32_t>(v.y));
    return (q.x > (kx + 1) - v.x ? 1 : 0) | (q.y > (ky + 1) - v.y ? 2 : 0) | (q.x > v.x - kx ? 4 : 0) |
           (q.y > v.y - ky ? 8 : 0);
}
struct StoredBox {
    StoredSpan x;
    StoredSpan y;
};
inline StoredBox stored_box(StoredSpan x, StoredSpan y) {
    return {x, y};
}
inline bool stored_in(const unsigned char* rec, const StoredBox& b) {
    const std::int32_t x = load_i32le(rec), y = load_i32le(rec + 4);
    return x >= b.x.lo && x <= b.x.hi && y >= b.y.lo && y <= b.y.hi;
}
#endif

}  // namespace tessaro
