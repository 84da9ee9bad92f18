#include "projection_file.hpp"

#include <proj.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "console.hpp"

namespace tessaro {
namespace {

struct ProjContextDestroyer {
    void operator()(PJ_CONTEXT* context) const noexcept { proj_context_destroy(context); }
};
struct ProjObjectDestroyer {
    void operator()(PJ* object) const noexcept { proj_destroy(object); }
};
using ProjContext = std::unique_ptr<PJ_CONTEXT, ProjContextDestroyer>;
using ProjObject = std::unique_ptr<PJ, ProjObjectDestroyer>;

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

ProjObject create_crs(PJ_CONTEXT* context, const CrsName& name) {
    switch (name.source) {
        case CrsSource::EpsgCode: {
            const std::string code = std::to_string(name.epsg);
            return ProjObject(
                proj_create_from_database(context, "EPSG", code.c_str(), PJ_CATEGORY_CRS, 0, nullptr));
        }
        case CrsSource::Wkt:
            return ProjObject(proj_create_from_wkt(context, name.wkt.c_str(), nullptr, nullptr, nullptr));
        case CrsSource::None: break;
    }
    return {};
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
    // Names written differently may still name one system: they agree when
    // PROJ makes the same WKT of each.
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
