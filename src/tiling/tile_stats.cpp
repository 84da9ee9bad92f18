#include "tile_stats.hpp"

#include "two_lane.hpp"

namespace tessaro {

void count_records(TileStruct& t, const unsigned char* begin, const unsigned char* end, std::size_t len,
                   const LAS12Header& ph, unsigned return_mask) {
    const XY scale = xy_of(ph.XScaleFactor, ph.YScaleFactor);
    const XY offset = xy_of(ph.XOffset, ph.YOffset);
    const double zs = ph.ZScaleFactor, zo = ph.ZOffset;
    XY lo = xy_of(t.Xmin, t.Ymin), hi = xy_of(t.Xmax, t.Ymax);
    double Zmin = t.Zmin, Zmax = t.Zmax;
    std::uint64_t by_return[16] = {};  // counts by return number 0 to 15
    std::uint64_t n = 0;
    for (const unsigned char* rec = begin; rec != end; rec += len) {
        const XY xy = add(mul(stored_xy(rec), scale), offset);
        const double z = actual_coordinate(load_i32le(rec + 8), zs, zo);
        hi = higher(xy, hi);
        lo = lower(xy, lo);
        Zmax = z > Zmax ? z : Zmax;
        Zmin = z < Zmin ? z : Zmin;
        ++by_return[return_number(rec, return_mask)];
        ++n;
    }
    t.nPts += n;
    t.tmpNPts += n;
    t.Xmin = x_of(lo);
    t.Ymin = y_of(lo);
    t.Xmax = x_of(hi);
    t.Ymax = y_of(hi);
    t.Zmin = Zmin;
    t.Zmax = Zmax;
    for (unsigned r = 1; r <= 15; ++r) t.Ret[r - 1] += by_return[r];
}

}  // namespace tessaro
