#include "stored_span.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessaro {
namespace {

constexpr std::int64_t kLowest = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kHighest = std::numeric_limits<std::int32_t>::max();

// The stored values for which `holds` is true, for a condition that changes
// at most once from the lowest stored value to the highest.
template <typename Condition>
StoredSpan where(Condition holds) {
    const bool first = holds(kLowest);
    if (first == holds(kHighest)) return first ? StoredSpan{INT32_MIN, INT32_MAX} : kNoStoredSpan;
    std::int64_t same = kLowest, changed = kHighest;  // holds(same) == first != holds(changed)
    while (changed - same > 1) {
        const std::int64_t mid = same + (changed - same) / 2;
        (holds(mid) == first ? same : changed) = mid;
    }
    return first ? StoredSpan{INT32_MIN, static_cast<std::int32_t>(same)}
                 : StoredSpan{static_cast<std::int32_t>(changed), INT32_MAX};
}

StoredSpan both(StoredSpan a, StoredSpan b) {
    return {std::max(a.lo, b.lo), std::min(a.hi, b.hi)};
}

bool usable(const AxisRule& rule) {
    for (double v : {rule.scale, rule.offset, rule.origin, rule.size, rule.q})
        if (!std::isfinite(v)) return false;
    return rule.scale != 0 && rule.size > 0;
}

double position(const AxisRule& rule, std::int64_t v) {
    return (static_cast<double>(v) * rule.scale + rule.offset - rule.origin) / rule.size;
}

// The values where `near` holds, its ends checked once more in full.
template <typename Condition>
StoredSpan checked(Condition near) {
    const StoredSpan span = where(near);
    if (span.lo > span.hi || !near(span.lo) || !near(span.hi)) return kNoStoredSpan;
    return span;
}

}  // namespace

StoredSpan clear_span(const AxisRule& rule, unsigned cell) {
    if (!usable(rule)) return kNoStoredSpan;
    const double k = cell, k1 = cell + 1.0;
    auto actual = [&rule](std::int64_t v) { return static_cast<double>(v) * rule.scale + rule.offset; };
    auto position = [&rule](std::int64_t v) { return tessaro::position(rule, v); };
    // Each condition is a comparison of a monotonic function of v, so it
    // changes at most once; together they hold on one interval.
    const auto at_or_above_min = [&](std::int64_t v) { return actual(v) >= rule.min; };
    const auto at_or_below_max = [&](std::int64_t v) { return actual(v) <= rule.max; };
    const auto from_cell = [&](std::int64_t v) { return position(v) >= k; };
    const auto before_next = [&](std::int64_t v) { return position(v) < k1; };
    const auto clear_of_end = [&](std::int64_t v) { return !(k1 - position(v) < rule.q); };
    const auto clear_of_start = [&](std::int64_t v) { return !(position(v) - k < rule.q); };
    const auto all = [&](std::int64_t v) {
        return at_or_above_min(v) && at_or_below_max(v) && from_cell(v) && before_next(v) &&
               (rule.q <= 0 || (clear_of_end(v) && clear_of_start(v)));
    };
    StoredSpan span = both(both(where(at_or_above_min), where(at_or_below_max)),
                           both(where(from_cell), where(before_next)));
    if (rule.q > 0) span = both(span, both(where(clear_of_end), where(clear_of_start)));
    // The ends, checked once more in full: an empty span is always safe.
    if (span.lo > span.hi || !all(span.lo) || !all(span.hi)) return kNoStoredSpan;
    return span;
}

StoredSpan near_start_span(const AxisRule& rule, unsigned cell) {
    if (!usable(rule) || !(rule.q > 0)) return kNoStoredSpan;
    const double k = cell;
    return checked([&](std::int64_t v) { return position(rule, v) - k < rule.q; });
}

StoredSpan near_end_span(const AxisRule& rule, unsigned cell) {
    if (!usable(rule) || !(rule.q > 0)) return kNoStoredSpan;
    const double k1 = cell + 1.0;
    return checked([&](std::int64_t v) { return k1 - position(rule, v) < rule.q; });
}

}  // namespace tessaro
