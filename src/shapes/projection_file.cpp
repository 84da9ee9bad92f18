#include "projection_file.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "console.hpp"
#include "geokey_crs.hpp"
#include "proj_handles.hpp"

namespace tessaro {
namespace {

// The horizontal system of `crs`: the source of a bound system (one that
// carries a transformation to WGS 84) and the first part of a compound one,
// until a projected or two-dimensional geographic system is left; empty for
// any other kind.
ProjObject horizontal_part(PJ_CONTEXT* context, ProjObject crs) {
    // A WKT record may nest bound and compound systems; a handful of levels
    // covers every sensible one.
    constexpr int kMaxLevels = 4;
    for (int level = 0; crs && level < kMaxLevels; ++level) {
        switch (proj_get_type(crs.get())) {
            case PJ_TYPE_PROJECTED_CRS:
            case PJ_TYPE_GEOGRAPHIC_2D_CRS: return crs;
            case PJ_TYPE_BOUND_CRS: crs.reset(proj_get_source_crs(context, crs.get())); break;
            case PJ_TYPE_COMPOUND_CRS: crs.reset(proj_crs_get_sub_crs(context, crs.get(), 0)); break;
            default: return {};
        }
    }
    return {};
}

// The system of the GeoTIFF keys when they name a usable one, otherwise
// that of the WKT record.
ProjObject create_crs(PJ_CONTEXT* context, const CrsName& name) {
    if (!name.geokeys.empty())
        if (ProjObject crs = geokey_crs(context, name)) return crs;
    if (name.wkt.empty()) return {};
    return ProjObject(proj_create_from_wkt(context, name.wkt.c_str(), nullptr, nullptr, nullptr));
}

// ESRI WKT of the horizontal system `name` names; empty when there is none.
std::string esri_wkt(PJ_CONTEXT* context, const CrsName& name) {
    const ProjObject crs = horizontal_part(context, create_crs(context, name));
    if (!crs) return {};
    const char* wkt = proj_as_wkt(context, crs.get(), PJ_WKT1_ESRI, nullptr);
    return wkt != nullptr ? wkt : std::string();
}

}  // namespace

std::string survey_projection_wkt(const SurveyCrs& crs) {
    if (!crs.named_by_all || crs.names.empty()) return {};
    const ProjContext context(proj_context_create());
    if (!context) return {};
    // PROJ would report what it cannot make on standard error; such a name
    // simply gives no projection file.
    proj_log_level(context.get(), PJ_LOG_NONE);
    // Records written differently may still name one system: they agree
    // when the same ESRI WKT is made of each.
    std::string wkt = esri_wkt(context.get(), crs.names.front());
    for (std::size_t k = 1; k < crs.names.size() && !wkt.empty(); ++k)
        if (esri_wkt(context.get(), crs.names[k]) != wkt) return {};
    return wkt;
}

void write_projection_file(const std::string& prjname, const std::string& wkt) {
    FilePtr prj = open_file(prjname.c_str(), "wb");
    if (!prj) fail("Unable to create: %s\n", prjname.c_str());
    if (std::fwrite(wkt.data(), 1, wkt.size(), prj.get()) != wkt.size())
        fail("Failed to write %s: %s\n", prjname.c_str(), std::strerror(errno));
    if (std::fclose(prj.release()) != 0)
        fail("Failed to write %s: %s\n", prjname.c_str(), std::strerror(errno));
}

void remove_projection_file(const std::string& prjname) {
    if (unlink(prjname.c_str()) != 0 && errno != ENOENT)
        fail("Failed to remove %s: %s\n", prjname.c_str(), std::strerror(errno));
}

}  // namespace tessaro
