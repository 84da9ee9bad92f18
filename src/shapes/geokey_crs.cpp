#include "geokey_crs.hpp"

#include <geotiff/geo_normalize.h>
#include <geotiff/geo_simpletags.h>
#include <geotiff/geo_tiffp.h>
#include <geotiff/geotiff.h>
#include <geotiff/geovalues.h>
#include <proj_experimental.h>

#include <cstdarg>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "console.hpp"
#include "las_bytes.hpp"

namespace tessaro {
namespace {

using SimpleTags = Handle<ST_TIFF, ST_Destroy>;
using GeoTiff = Handle<GTIF, GTIFFree>;

constexpr int kGeoKeyDirectoryTag = 34735;
constexpr int kGeoDoubleParamsTag = 34736;
constexpr int kGeoAsciiParamsTag = 34737;

// The three key records decoded from their little-endian bytes.
struct KeyRecords {
    std::vector<std::uint16_t> directory;
    std::vector<double> doubles;
    std::string ascii;
};

// The records of `name`, with a directory of version 1 whose every key
// refers to a place inside them; empty `directory` when it is malformed.
// libgeotiff is handed only such a directory.
KeyRecords decode_records(const CrsName& name) {
    KeyRecords r;
    for (std::size_t at = 0; at + 2 <= name.geokeys.size(); at += 2)
        r.directory.push_back(load_u16le(name.geokeys.data() + at));
    for (std::size_t at = 0; at + 8 <= name.geodoubles.size(); at += 8)
        r.doubles.push_back(load_f64le(name.geodoubles.data() + at));
    r.ascii.assign(name.geoascii.begin(), name.geoascii.end());
    // A header of four shorts (KeyDirectoryVersion, KeyRevision,
    // MinorRevision, NumberOfKeys), then four per key (KeyID,
    // TIFFTagLocation, Count, Value_Offset).
    const std::vector<std::uint16_t>& d = r.directory;
    const bool sound_header = d.size() >= 4 && d[0] == 1 && (d.size() / 4 - 1) >= d[3];
    bool sound_keys = sound_header;
    for (std::size_t k = 1; sound_keys && k <= d[3]; ++k) {
        const std::uint16_t location = d[4 * k + 1], count = d[4 * k + 2], offset = d[4 * k + 3];
        const std::size_t end = std::size_t{offset} + count;
        switch (location) {
            case 0: sound_keys = count == 1; break;
            case kGeoKeyDirectoryTag: sound_keys = end <= d.size(); break;
            case kGeoDoubleParamsTag: sound_keys = end <= r.doubles.size(); break;
            case kGeoAsciiParamsTag: sound_keys = end <= r.ascii.size(); break;
            default: sound_keys = false;
        }
    }
    if (!sound_keys) {
        r.directory.clear();
    } else {
        r.directory.resize(4 * (std::size_t{d[3]} + 1));
    }
    return r;
}

// Counts libgeotiff's errors in the count its handle carries, instead of
// printing them on standard error.
void count_error(GTIF* gtif, int level, const char*, ...) {
    if (level != LIBGEOTIFF_ERROR || gtif == nullptr) return;
    if (int* errors = static_cast<int*>(GTIFGetUserData(gtif)); errors != nullptr) ++*errors;
}

// What libgeotiff reads of the keys.
struct Reading {
    GTIFDefn defn{};
    std::string citation;  // of the projected system, or of the whole
};

// The citation key `key` as text; empty when the keys lack it.
std::string citation_key(GTIF* gtif, geokey_t key) {
    int size = 0;
    tagtype_t type = TYPE_UNKNOWN;
    if (GTIFKeyInfo(gtif, key, &size, &type) <= 0 || type != TYPE_ASCII) return {};
    const int length = GTIFKeyInfo(gtif, key, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    if (GTIFKeyGet(gtif, key, text.data(), 0, length + 1) <= 0) return {};
    text.resize(text.find('\0'));
    while (!text.empty() && (text.back() == '|' || text.back() == ' ')) text.pop_back();
    return text;
}

// The normalised definition of the keys, or false when libgeotiff finds
// them unusable.
bool read_definition(PJ_CONTEXT* context, const KeyRecords& records, Reading& reading) {
    SimpleTags tags(ST_Create());
    if (!tags) return false;
    std::vector<std::uint16_t> directory = records.directory;
    std::vector<double> doubles = records.doubles;
    std::string ascii = records.ascii;
    if (ST_SetKey(tags.get(), kGeoKeyDirectoryTag, static_cast<int>(directory.size()), STT_SHORT,
                  directory.data()) == 0)
        return false;
    if (!doubles.empty() && ST_SetKey(tags.get(), kGeoDoubleParamsTag, static_cast<int>(doubles.size()),
                                      STT_DOUBLE, doubles.data()) == 0)
        return false;
    // The ASCII tag counts its terminating NUL, as in a TIFF file.
    if (!ascii.empty() && ST_SetKey(tags.get(), kGeoAsciiParamsTag, static_cast<int>(ascii.size() + 1),
                                    STT_ASCII, ascii.data()) == 0)
        return false;
    TIFFMethod methods;
    GTIFSetSimpleTagsMethods(&methods);
    int errors = 0;
    const GeoTiff gtif(GTIFNewWithMethodsEx(tags.get(), &methods, count_error, &errors));
    if (!gtif) return false;
    GTIFAttachPROJContext(gtif.get(), context);
    if (GTIFGetDefn(gtif.get(), &reading.defn) == 0 || reading.defn.DefnSet == 0 || errors != 0) return false;
    reading.citation = citation_key(gtif.get(), PCSCitationGeoKey);
    if (reading.citation.empty()) reading.citation = citation_key(gtif.get(), GTCitationGeoKey);
    return true;
}

ProjObject from_database(PJ_CONTEXT* context, int code, PJ_CATEGORY category) {
    const std::string text = std::to_string(code);
    return ProjObject(proj_create_from_database(context, "EPSG", text.c_str(), category, 0, nullptr));
}

// The EPSG code of a PROJ object, 0 when it has none.
int epsg_code(const PJ* object) {
    if (object == nullptr) return 0;
    const char* authority = proj_get_id_auth_name(object, 0);
    const char* code = proj_get_id_code(object, 0);
    if (authority == nullptr || code == nullptr || std::string(authority) != "EPSG") return 0;
    return std::atoi(code);
}

// A linear or angular unit of the keys: its name in PROJ's database and its
// size in metres or radians.
struct Unit {
    std::string name;
    double to_si;
    int code;
};

Unit linear_unit(PJ_CONTEXT* context, const GTIFDefn& defn) {
    if (defn.UOMLength != KvUserDefined) {
        const std::string code = std::to_string(defn.UOMLength);
        const char* name = nullptr;
        double factor = 0;
        if (proj_uom_get_info_from_database(context, "EPSG", code.c_str(), &name, &factor, nullptr) != 0 &&
            name != nullptr)
            return {name, factor, defn.UOMLength};
    }
    return {"unknown", defn.UOMLengthInMeters, 0};
}

// The geographic system of user-defined keys: by its code, by its datum's
// code, or by its ellipsoid and prime meridian.
ProjObject geographic_crs(PJ_CONTEXT* context, const GTIFDefn& defn) {
    if (defn.GCS != KvUserDefined) {
        ProjObject crs = from_database(context, defn.GCS, PJ_CATEGORY_CRS);
        if (crs && proj_get_type(crs.get()) == PJ_TYPE_GEOGRAPHIC_2D_CRS) return crs;
        return {};
    }
    constexpr double kRadiansPerDegree = 0.0174532925199433;
    const ProjObject cs(
        proj_create_ellipsoidal_2D_cs(context, PJ_ELLPS2D_LONGITUDE_LATITUDE, "degree", kRadiansPerDegree));
    if (!cs) return {};
    if (defn.Datum != KvUserDefined) {
        const ProjObject datum = from_database(context, defn.Datum, PJ_CATEGORY_DATUM);
        if (!datum) return {};
        return ProjObject(proj_create_geographic_crs_from_datum(context, "unknown", datum.get(), cs.get()));
    }
    const double a = defn.SemiMajor, b = defn.SemiMinor;
    if (!(a > 0) || !(b > 0) || b > a) return {};
    const double inverse_flattening = a == b ? 0.0 : a / (a - b);
    const char* meridian = defn.PMLongToGreenwich == 0 ? "Greenwich" : "unnamed";
    return ProjObject(proj_create_geographic_crs(context, "unknown", "unnamed", "unnamed", a,
                                                 inverse_flattening, meridian, defn.PMLongToGreenwich,
                                                 "degree", kRadiansPerDegree, cs.get()));
}

// The first parameter of the definition held under one of `keys`.
double parameter(const GTIFDefn& defn, std::initializer_list<int> keys, double otherwise = 0.0) {
    for (const int key : keys)
        for (int k = 0; k < defn.nParms && k < MAX_GTIF_PROJPARMS; ++k)
            if (defn.ProjParmId[k] == key) return defn.ProjParm[k];
    return otherwise;
}

bool has_parameter(const GTIFDefn& defn, int key) {
    for (int k = 0; k < defn.nParms && k < MAX_GTIF_PROJPARMS; ++k)
        if (defn.ProjParmId[k] == key) return true;
    return false;
}

// The map projection of user-defined keys, from the method and the
// parameters libgeotiff normalised to degrees and metres; empty for a method
// GeoTIFF names but PROJ has no conversion for.
ProjObject conversion(PJ_CONTEXT* c, const GTIFDefn& d) {
    const double lat0 = parameter(d, {ProjNatOriginLatGeoKey, ProjFalseOriginLatGeoKey, ProjCenterLatGeoKey});
    const double lon0 = parameter(d, {ProjNatOriginLongGeoKey, ProjFalseOriginLongGeoKey,
                                      ProjCenterLongGeoKey, ProjStraightVertPoleLongGeoKey});
    const double fe =
        parameter(d, {ProjFalseEastingGeoKey, ProjFalseOriginEastingGeoKey, ProjCenterEastingGeoKey});
    const double fn =
        parameter(d, {ProjFalseNorthingGeoKey, ProjFalseOriginNorthingGeoKey, ProjCenterNorthingGeoKey});
    const double k = parameter(d, {ProjScaleAtNatOriginGeoKey, ProjScaleAtCenterGeoKey}, 1.0);
    const double sp1 = parameter(d, {ProjStdParallel1GeoKey});
    const double sp2 = parameter(d, {ProjStdParallel2GeoKey});
    const double azimuth = parameter(d, {ProjAzimuthAngleGeoKey});
    const double skew = parameter(d, {ProjRectifiedGridAngleGeoKey}, azimuth);
    // Every parameter is given in degrees and metres.
    constexpr const char* kDegree = "degree";
    constexpr double kRad = 0.0174532925199433;
    constexpr const char* kMetre = "metre";
    PJ* made = nullptr;
    switch (d.CTProjection) {
        case CT_TransverseMercator:
            made = proj_create_conversion_transverse_mercator(c, lat0, lon0, k, fe, fn, kDegree, kRad, kMetre,
                                                              1.0);
            break;
        case CT_TransvMercator_SouthOriented:
            made = proj_create_conversion_transverse_mercator_south_oriented(c, lat0, lon0, k, fe, fn,
                                                                             kDegree, kRad, kMetre, 1.0);
            break;
        case CT_Mercator:
            made = has_parameter(d, ProjStdParallel1GeoKey)
                       ? proj_create_conversion_mercator_variant_b(c, sp1, lon0, fe, fn, kDegree, kRad,
                                                                   kMetre, 1.0)
                       : proj_create_conversion_mercator_variant_a(c, lat0, lon0, k, fe, fn, kDegree, kRad,
                                                                   kMetre, 1.0);
            break;
        case CT_LambertConfConic_2SP:
            made = proj_create_conversion_lambert_conic_conformal_2sp(c, lat0, lon0, sp1, sp2, fe, fn,
                                                                      kDegree, kRad, kMetre, 1.0);
            break;
        case CT_LambertConfConic_1SP:
            made = proj_create_conversion_lambert_conic_conformal_1sp(c, lat0, lon0, k, fe, fn, kDegree, kRad,
                                                                      kMetre, 1.0);
            break;
        case CT_AlbersEqualArea:
            made = proj_create_conversion_albers_equal_area(c, lat0, lon0, sp1, sp2, fe, fn, kDegree, kRad,
                                                            kMetre, 1.0);
            break;
        case CT_LambertAzimEqualArea:
            made = proj_create_conversion_lambert_azimuthal_equal_area(c, lat0, lon0, fe, fn, kDegree, kRad,
                                                                       kMetre, 1.0);
            break;
        case CT_AzimuthalEquidistant:
            made = proj_create_conversion_azimuthal_equidistant(c, lat0, lon0, fe, fn, kDegree, kRad, kMetre,
                                                                1.0);
            break;
        case CT_EquidistantConic:
            made = proj_create_conversion_equidistant_conic(c, lat0, lon0, sp1, sp2, fe, fn, kDegree, kRad,
                                                            kMetre, 1.0);
            break;
        case CT_Stereographic:
            made = proj_create_conversion_stereographic(c, lat0, lon0, k, fe, fn, kDegree, kRad, kMetre, 1.0);
            break;
        case CT_PolarStereographic:
            // At a pole the origin carries a scale; elsewhere the latitude is
            // the standard parallel.
            made = (lat0 == 90 || lat0 == -90) ? proj_create_conversion_polar_stereographic_variant_a(
                                                     c, lat0, lon0, k, fe, fn, kDegree, kRad, kMetre, 1.0)
                                               : proj_create_conversion_polar_stereographic_variant_b(
                                                     c, lat0, lon0, fe, fn, kDegree, kRad, kMetre, 1.0);
            break;
        case CT_ObliqueStereographic:
            made = proj_create_conversion_oblique_stereographic(c, lat0, lon0, k, fe, fn, kDegree, kRad,
                                                                kMetre, 1.0);
            break;
        case CT_Equirectangular:
            made = proj_create_conversion_equidistant_cylindrical(c, sp1, lon0, fe, fn, kDegree, kRad, kMetre,
                                                                  1.0);
            break;
        case CT_CassiniSoldner:
            made = proj_create_conversion_cassini_soldner(c, lat0, lon0, fe, fn, kDegree, kRad, kMetre, 1.0);
            break;
        case CT_Gnomonic:
            made = proj_create_conversion_gnomonic(c, lat0, lon0, fe, fn, kDegree, kRad, kMetre, 1.0);
            break;
        case CT_MillerCylindrical:
            made = proj_create_conversion_miller_cylindrical(c, lon0, fe, fn, kDegree, kRad, kMetre, 1.0);
            break;
        case CT_Orthographic:
            made = proj_create_conversion_orthographic(c, lat0, lon0, fe, fn, kDegree, kRad, kMetre, 1.0);
            break;
        case CT_Polyconic:
            made =
                proj_create_conversion_american_polyconic(c, lat0, lon0, fe, fn, kDegree, kRad, kMetre, 1.0);
            break;
        case CT_Robinson:
            made = proj_create_conversion_robinson(c, lon0, fe, fn, kDegree, kRad, kMetre, 1.0);
            break;
        case CT_Sinusoidal:
            made = proj_create_conversion_sinusoidal(c, lon0, fe, fn, kDegree, kRad, kMetre, 1.0);
            break;
        case CT_VanDerGrinten:
            made = proj_create_conversion_van_der_grinten(c, lon0, fe, fn, kDegree, kRad, kMetre, 1.0);
            break;
        case CT_NewZealandMapGrid:
            made = proj_create_conversion_new_zealand_mapping_grid(c, lat0, lon0, fe, fn, kDegree, kRad,
                                                                   kMetre, 1.0);
            break;
        case CT_CylindricalEqualArea:
            made = proj_create_conversion_lambert_cylindrical_equal_area(c, sp1, lon0, fe, fn, kDegree, kRad,
                                                                         kMetre, 1.0);
            break;
        case CT_ObliqueMercator:
            made = proj_create_conversion_hotine_oblique_mercator_variant_a(
                c, lat0, lon0, azimuth, skew, k, fe, fn, kDegree, kRad, kMetre, 1.0);
            break;
        case CT_HotineObliqueMercatorAzimuthCenter:
            made = proj_create_conversion_hotine_oblique_mercator_variant_b(
                c, lat0, lon0, azimuth, skew, k, fe, fn, kDegree, kRad, kMetre, 1.0);
            break;
        default: break;
    }
    return ProjObject(made);
}

// A projected system named by its code. Keys that give it another
// geographic system or datum contradict it; a linear unit key other than
// the code's own gives the same projection in that unit, its parameters
// converted, as readers do.
ProjObject coded_projected_crs(PJ_CONTEXT* context, const GTIFDefn& defn) {
    ProjObject crs = from_database(context, defn.PCS, PJ_CATEGORY_CRS);
    if (!crs || proj_get_type(crs.get()) != PJ_TYPE_PROJECTED_CRS) return {};
    const ProjObject base(proj_crs_get_geodetic_crs(context, crs.get()));
    const ProjObject datum(proj_crs_get_datum_forced(context, crs.get()));
    if (defn.GCS != epsg_code(base.get()) ||
        (defn.Datum != KvUserDefined && defn.Datum != epsg_code(datum.get())))
        return {};
    const ProjObject cs(proj_crs_get_coordinate_system(context, crs.get()));
    const char* code = nullptr;
    double to_metres = 0;
    if (!cs || proj_cs_get_axis_info(context, cs.get(), 0, nullptr, nullptr, nullptr, &to_metres, nullptr,
                                     nullptr, &code) == 0)
        return {};
    const Unit unit = linear_unit(context, defn);
    const bool same_unit =
        unit.code != 0 ? code != nullptr && std::to_string(unit.code) == code : unit.to_si == to_metres;
    if (same_unit) return crs;
    if (!(unit.to_si > 0)) return {};
    // The axes take the unit, then the parameters, converted to it.
    const std::string unit_code = std::to_string(unit.code);
    const char* authority = unit.code != 0 ? "EPSG" : nullptr;
    const char* code_text = unit.code != 0 ? unit_code.c_str() : nullptr;
    const ProjObject in_unit(proj_crs_alter_cs_linear_unit(context, crs.get(), unit.name.c_str(), unit.to_si,
                                                           authority, code_text));
    if (!in_unit) return {};
    return ProjObject(proj_crs_alter_parameters_linear_unit(context, in_unit.get(), unit.name.c_str(),
                                                            unit.to_si, authority, code_text, 1));
}

// A user-defined projected system: its geographic system, its method with
// parameters and its linear unit, all from the keys.
ProjObject user_projected_crs(PJ_CONTEXT* context, const GTIFDefn& defn, const std::string& name) {
    const ProjObject geographic = geographic_crs(context, defn);
    const ProjObject projection = conversion(context, defn);
    const Unit unit = linear_unit(context, defn);
    if (!geographic || !projection || !(unit.to_si > 0)) return {};
    const ProjObject cs(
        proj_create_cartesian_2D_cs(context, PJ_CART2D_EASTING_NORTHING, unit.name.c_str(), unit.to_si));
    if (!cs) return {};
    return ProjObject(
        proj_create_projected_crs(context, name.c_str(), geographic.get(), projection.get(), cs.get()));
}

}  // namespace

ProjObject geokey_crs(PJ_CONTEXT* context, const CrsName& name) {
    const KeyRecords records = decode_records(name);
    if (records.directory.empty()) return {};
    Reading reading;
    if (!read_definition(context, records, reading)) return {};
    const GTIFDefn& defn = reading.defn;
    short model = defn.Model;
    // A projected code without a model type is read as projected.
    if (model == KvUserDefined && defn.PCS != KvUserDefined) model = ModelTypeProjected;
    if (model == ModelTypeGeographic) {
        if (defn.PCS != KvUserDefined) return {};
        return geographic_crs(context, defn);
    }
    if (model != ModelTypeProjected) return {};
    if (defn.PCS != KvUserDefined) return coded_projected_crs(context, defn);
    if (defn.CTProjection == KvUserDefined) return {};
    // Readers name a user-defined system by its citation.
    return user_projected_crs(context, defn, reading.citation.empty() ? "unnamed" : reading.citation);
}

}  // namespace tessaro
