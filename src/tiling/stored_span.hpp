// The stored coordinates whose records fall well inside a tile: for one axis
// and one tile, the stored 32-bit values whose actual coordinate lies within
// the input file's header bounds and whose tile position lies in the tile,
// clear of both edges by the buffer. Every step from a stored value to its
// tile position (times the scale, plus the offset, minus the grid origin,
// divided by the tile size) is monotonic, so these values form one interval,
// found with the very arithmetic the distribution uses: a record whose stored
// X and Y lie in the intervals of a tile's column and row is known to go to
// that tile alone, without that arithmetic.
#pragma once

#include <cstdint>

namespace tessaro {

// Stored values lo to hi inclusive; empty when lo > hi.
struct StoredSpan {
    std::int32_t lo;
    std::int32_t hi;
};

inline constexpr StoredSpan kNoStoredSpan{1, 0};

// What one axis of the distribution computes for a stored value v: the actual
// coordinate v * scale + offset, the tile position (actual - origin) / size,
// and which bounds that actual coordinate must lie within.
struct AxisRule {
    double scale;
    double offset;
    double origin;
    double size;
    double min;  // header bounds of the input file
    double max;
    double q;  // the buffer as a fraction of the tile side; 0 for none
};

// The stored values whose actual coordinate lies in [min, max] and whose tile
// position lies in [cell, cell + 1), with q > 0 at least q from either end
// (neither (cell + 1) - position < q nor position - cell < q). Empty when the
// rule's numbers are not all finite or the scale is 0.
StoredSpan clear_span(const AxisRule& rule, unsigned cell);

// The stored values whose tile position lies less than q from the start of
// cell `cell` (position - cell < q), and those less than q from its end
// ((cell + 1) - position < q): a record of the cell whose stored value lies in
// one of them also goes to the neighbour on that side. The header bounds do
// not enter. Empty when q is not positive or the rule's numbers are not all
// finite, or the scale is 0.
StoredSpan near_start_span(const AxisRule& rule, unsigned cell);
StoredSpan near_end_span(const AxisRule& rule, unsigned cell);

}  // namespace tessaro
