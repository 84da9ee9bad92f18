#include "geokey_crs.hpp"

#include <geotiff/geo_normalize.h>
#include <geotiff/geo_simpletags.h>
#include <geotiff/geo_tiffp.h>
#include <geotiff/geotiff.h>
#include <geotiff/geovalues.h>
#include <proj_experimental.h>

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
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

// The records of `name`, decoded into `r`: a directory of version 1 whose
// every key holds one short in its entry or refers to a place inside the
// records, past the key entries when that place is in the directory itself.
// A short held in the directory (TIFFTagLocation 34735, count 1) is moved
// into its entry, since libgeotiff reads such a value from its own memory
// rather than from the directory, and the directory is cut to its entries.
// libgeotiff is handed only such a directory, and only finite doubles.
CrsFault decode_records(const CrsName& name, KeyRecords& r) {
    for (std::size_t at = 0; at + 2 <= name.geokeys.size(); at += 2)
        r.directory.push_back(load_u16le(name.geokeys.data() + at));
    for (std::size_t at = 0; at + 8 <= name.geodoubles.size(); at += 8)
        r.doubles.push_back(load_f64le(name.geodoubles.data() + at));
    r.ascii.assign(name.geoascii.begin(), name.geoascii.end());
    // A header of four shorts (KeyDirectoryVersion, KeyRevision,
    // MinorRevision, NumberOfKeys), then four per key (KeyID,
    // TIFFTagLocation, Count, Value_Offset).
    const std::vector<std::uint16_t> d = r.directory;
    if (d.size() < 4 || d[0] != 1 || (d.size() / 4 - 1) < d[3]) return CrsFault::malformed_keys;
    const std::size_t entries_end = 4 * (std::size_t{d[3]} + 1);
    bool finite = true;
    for (std::size_t k = 1; k <= d[3]; ++k) {
        const std::uint16_t location = d[4 * k + 1], count = d[4 * k + 2], offset = d[4 * k + 3];
        const std::size_t end = std::size_t{offset} + count;
        bool sound = count != 0;
        switch (location) {
            case 0: sound = count == 1; break;
            case kGeoKeyDirectoryTag:
                sound = count == 1 && offset >= entries_end && end <= d.size();
                if (sound) {
                    r.directory[4 * k + 1] = 0;
                    r.directory[4 * k + 3] = d[offset];
                }
                break;
            case kGeoDoubleParamsTag:
                sound = sound && end <= r.doubles.size();
                for (std::size_t v = offset; sound && v < end; ++v)
                    finite = finite && std::isfinite(r.doubles[v]);
                break;
            case kGeoAsciiParamsTag: sound = sound && end <= r.ascii.size(); break;
            default: sound = false;
        }
        if (!sound) return CrsFault::malformed_keys;
    }
    if (!finite) return CrsFault::unsound_number;
    r.directory.resize(entries_end);
    return CrsFault::none;
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

// The normalised definition of the keys, or the fault libgeotiff finds.
CrsFault read_definition(PJ_CONTEXT* context, const KeyRecords& records, Reading& reading) {
    SimpleTags tags(ST_Create());
    if (!tags) return CrsFault::not_made;
    std::vector<std::uint16_t> directory = records.directory;
    std::vector<double> doubles = records.doubles;
    std::string ascii = records.ascii;
    if (ST_SetKey(tags.get(), kGeoKeyDirectoryTag, static_cast<int>(directory.size()), STT_SHORT,
                  directory.data()) == 0)
        return CrsFault::not_made;
    if (!doubles.empty() && ST_SetKey(tags.get(), kGeoDoubleParamsTag, static_cast<int>(doubles.size()),
                                      STT_DOUBLE, doubles.data()) == 0)
        return CrsFault::not_made;
    // The ASCII tag counts its terminating NUL, as in a TIFF file.
    if (!ascii.empty() && ST_SetKey(tags.get(), kGeoAsciiParamsTag, static_cast<int>(ascii.size() + 1),
                                    STT_ASCII, ascii.data()) == 0)
        return CrsFault::not_made;
    TIFFMethod methods;
    GTIFSetSimpleTagsMethods(&methods);
    int errors = 0;
    const GeoTiff gtif(GTIFNewWithMethodsEx(tags.get(), &methods, count_error, &errors));
    if (!gtif) return CrsFault::malformed_keys;
    GTIFAttachPROJContext(gtif.get(), context);
    const int read = GTIFGetDefn(gtif.get(), &reading.defn);
    if (errors != 0) return CrsFault::malformed_keys;
    // No key of a system at all.
    if (reading.defn.DefnSet == 0) return CrsFault::incomplete_keys;
    if (read == 0) return CrsFault::malformed_keys;
    reading.citation = citation_key(gtif.get(), PCSCitationGeoKey);
    if (reading.citation.empty()) reading.citation = citation_key(gtif.get(), GTCitationGeoKey);
    return CrsFault::none;
}

MadeCrs refused(CrsFault fault) {
    return {ProjObject(), fault};
}

// What PROJ made; a null object is a failure of PROJ's own.
MadeCrs made(PJ* crs) {
    return {ProjObject(crs), crs != nullptr ? CrsFault::none : CrsFault::not_made};
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

// The bounds of a real Earth model that every number of a written system
// keeps (comparisons with NaN fail, so NaN is out of every bound).
constexpr double kRadiansPerDegree = 0.0174532925199433;

bool within(double value, double low, double high) {
    return value >= low && value <= high;
}
bool sound_semi_major_axis(double metres) {
    return within(metres, 1e5, 1e8);
}
bool sound_semi_minor_axis(double metres, double semi_major) {
    return metres > 0 && metres <= semi_major;
}
bool sound_inverse_flattening(double value) {
    return value == 0 || within(value, 1, 1e10);
}
bool sound_unit_size(double si_per_unit) {
    return within(si_per_unit, 1e-9, 1e9);
}
bool sound_angle(double degrees) {
    return within(degrees, -360, 360);
}
bool sound_length(double metres) {
    return within(metres, -1e10, 1e10);
}
bool sound_scale(double factor) {
    return within(factor, 1e-3, 10);
}

// A parameter of the keys as libgeotiff normalises it: a length in metres,
// a scale factor, or else an angle in degrees.
bool sound_key_parameter(int key, double value) {
    switch (key) {
        case ProjFalseEastingGeoKey:
        case ProjFalseNorthingGeoKey:
        case ProjFalseOriginEastingGeoKey:
        case ProjFalseOriginNorthingGeoKey:
        case ProjCenterEastingGeoKey:
        case ProjCenterNorthingGeoKey: return sound_length(value);
        case ProjScaleAtNatOriginGeoKey:
        case ProjScaleAtCenterGeoKey: return sound_scale(value);
        default: return sound_angle(value);
    }
}

bool sound_key_parameters(const GTIFDefn& defn) {
    for (int k = 0; k < defn.nParms && k < MAX_GTIF_PROJPARMS; ++k)
        if (!sound_key_parameter(defn.ProjParmId[k], defn.ProjParm[k])) return false;
    return true;
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
MadeCrs geographic_crs(PJ_CONTEXT* context, const GTIFDefn& defn) {
    if (defn.GCS != KvUserDefined) {
        ProjObject crs = from_database(context, defn.GCS, PJ_CATEGORY_CRS);
        if (!crs) return refused(CrsFault::unknown_code);
        if (proj_get_type(crs.get()) != PJ_TYPE_GEOGRAPHIC_2D_CRS) return refused(CrsFault::not_horizontal);
        return {std::move(crs)};
    }
    const ProjObject cs(
        proj_create_ellipsoidal_2D_cs(context, PJ_ELLPS2D_LONGITUDE_LATITUDE, "degree", kRadiansPerDegree));
    if (!cs) return refused(CrsFault::not_made);
    if (defn.Datum != KvUserDefined) {
        const ProjObject datum = from_database(context, defn.Datum, PJ_CATEGORY_DATUM);
        if (!datum) return refused(CrsFault::unknown_code);
        return made(proj_create_geographic_crs_from_datum(context, "unknown", datum.get(), cs.get()));
    }
    const double a = defn.SemiMajor, b = defn.SemiMinor;
    if (a == 0 && b == 0) return refused(CrsFault::incomplete_keys);
    const double inverse_flattening = a == b ? 0.0 : a / (a - b);
    if (!sound_semi_major_axis(a) || !sound_semi_minor_axis(b, a) ||
        !sound_inverse_flattening(inverse_flattening) || !sound_angle(defn.PMLongToGreenwich))
        return refused(CrsFault::unsound_number);
    const char* meridian = defn.PMLongToGreenwich == 0 ? "Greenwich" : "unnamed";
    return made(proj_create_geographic_crs(context, "unknown", "unnamed", "unnamed", a, inverse_flattening,
                                           meridian, defn.PMLongToGreenwich, "degree", kRadiansPerDegree,
                                           cs.get()));
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
ProjObject projection_of(PJ_CONTEXT* c, const GTIFDefn& d) {
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
    constexpr double kRad = kRadiansPerDegree;
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

MadeCrs conversion(PJ_CONTEXT* context, const GTIFDefn& defn) {
    if (!sound_key_parameters(defn)) return refused(CrsFault::unsound_number);
    ProjObject projection = projection_of(context, defn);
    if (!projection) return refused(CrsFault::unknown_method);
    return {std::move(projection)};
}

// A projected system named by its code. Keys that give it another
// geographic system or datum contradict it; a linear unit key other than
// the code's own gives the same projection in that unit, its parameters
// converted, as readers do.
MadeCrs coded_projected_crs(PJ_CONTEXT* context, const GTIFDefn& defn) {
    ProjObject crs = from_database(context, defn.PCS, PJ_CATEGORY_CRS);
    if (!crs) return refused(CrsFault::unknown_code);
    // A projected code that names another kind of system.
    if (proj_get_type(crs.get()) != PJ_TYPE_PROJECTED_CRS) return refused(CrsFault::contradictory_keys);
    const ProjObject base(proj_crs_get_geodetic_crs(context, crs.get()));
    const ProjObject datum(proj_crs_get_datum_forced(context, crs.get()));
    if (defn.GCS != epsg_code(base.get()) ||
        (defn.Datum != KvUserDefined && defn.Datum != epsg_code(datum.get())))
        return refused(CrsFault::contradictory_keys);
    const ProjObject cs(proj_crs_get_coordinate_system(context, crs.get()));
    const char* code = nullptr;
    double to_metres = 0;
    if (!cs || proj_cs_get_axis_info(context, cs.get(), 0, nullptr, nullptr, nullptr, &to_metres, nullptr,
                                     nullptr, &code) == 0)
        return refused(CrsFault::not_made);
    const Unit unit = linear_unit(context, defn);
    const bool same_unit =
        unit.code != 0 ? code != nullptr && std::to_string(unit.code) == code : unit.to_si == to_metres;
    if (same_unit) return {std::move(crs)};
    if (!sound_unit_size(unit.to_si)) return refused(CrsFault::unsound_number);
    // The axes take the unit, then the parameters, converted to it.
    const std::string unit_code = std::to_string(unit.code);
    const char* authority = unit.code != 0 ? "EPSG" : nullptr;
    const char* code_text = unit.code != 0 ? unit_code.c_str() : nullptr;
    const ProjObject in_unit(proj_crs_alter_cs_linear_unit(context, crs.get(), unit.name.c_str(), unit.to_si,
                                                           authority, code_text));
    if (!in_unit) return refused(CrsFault::not_made);
    return made(proj_crs_alter_parameters_linear_unit(context, in_unit.get(), unit.name.c_str(), unit.to_si,
                                                      authority, code_text, 1));
}

// A user-defined projected system: its geographic system, its method with
// parameters and its linear unit, all from the keys.
MadeCrs user_projected_crs(PJ_CONTEXT* context, const GTIFDefn& defn, const std::string& name) {
    const MadeCrs geographic = geographic_crs(context, defn);
    if (!geographic.crs) return refused(geographic.fault);
    const MadeCrs projection = conversion(context, defn);
    if (!projection.crs) return refused(projection.fault);
    const Unit unit = linear_unit(context, defn);
    if (!sound_unit_size(unit.to_si)) return refused(CrsFault::unsound_number);
    const ProjObject cs(
        proj_create_cartesian_2D_cs(context, PJ_CART2D_EASTING_NORTHING, unit.name.c_str(), unit.to_si));
    if (!cs) return refused(CrsFault::not_made);
    return made(proj_create_projected_crs(context, name.c_str(), geographic.crs.get(), projection.crs.get(),
                                          cs.get()));
}

// The units of the axes of `crs` are sound.
bool sound_axes(PJ_CONTEXT* context, const PJ* crs) {
    const ProjObject cs(proj_crs_get_coordinate_system(context, crs));
    if (!cs) return false;
    const int axes = proj_cs_get_axis_count(context, cs.get());
    if (axes <= 0) return false;
    for (int k = 0; k < axes; ++k) {
        double to_si = 0;
        if (proj_cs_get_axis_info(context, cs.get(), k, nullptr, nullptr, nullptr, &to_si, nullptr, nullptr,
                                  nullptr) == 0 ||
            !sound_unit_size(to_si))
            return false;
    }
    return true;
}

// A parameter of a conversion, by the kind of its unit.
bool sound_conversion_parameter(double value, double to_si, const char* category) {
    if (!std::isfinite(value)) return false;
    const std::string kind = category != nullptr ? category : "";
    if (kind == "linear") return sound_unit_size(to_si) && sound_length(value * to_si);
    if (kind == "angular") return sound_unit_size(to_si) && sound_angle(value * to_si / kRadiansPerDegree);
    if (kind == "scale") return sound_unit_size(to_si) && sound_scale(value * to_si);
    return true;
}

bool sound_conversion(PJ_CONTEXT* context, const PJ* crs) {
    const ProjObject operation(proj_crs_get_coordoperation(context, crs));
    if (!operation) return false;
    const int count = proj_coordoperation_get_param_count(context, operation.get());
    for (int k = 0; k < count; ++k) {
        double value = 0, to_si = 0;
        const char* text = nullptr;
        const char* category = nullptr;
        if (proj_coordoperation_get_param(context, operation.get(), k, nullptr, nullptr, nullptr, &value,
                                          &text, &to_si, nullptr, nullptr, nullptr, &category) == 0)
            return false;
        if (text == nullptr && !sound_conversion_parameter(value, to_si, category)) return false;
    }
    return true;
}

}  // namespace

MadeCrs geokey_crs(PJ_CONTEXT* context, const CrsName& name) {
    KeyRecords records;
    if (const CrsFault fault = decode_records(name, records); fault != CrsFault::none) return refused(fault);
    Reading reading;
    if (const CrsFault fault = read_definition(context, records, reading); fault != CrsFault::none)
        return refused(fault);
    const GTIFDefn& defn = reading.defn;
    short model = defn.Model;
    // A projected code without a model type is read as projected.
    if (model == KvUserDefined && defn.PCS != KvUserDefined) model = ModelTypeProjected;
    if (model == ModelTypeGeographic) {
        if (defn.PCS != KvUserDefined) return refused(CrsFault::contradictory_keys);
        return geographic_crs(context, defn);
    }
    if (model != ModelTypeProjected) return refused(CrsFault::incomplete_keys);
    if (defn.PCS != KvUserDefined) return coded_projected_crs(context, defn);
    if (defn.CTProjection == KvUserDefined) return refused(CrsFault::incomplete_keys);
    // Readers name a user-defined system by its citation.
    return user_projected_crs(context, defn, reading.citation.empty() ? "unnamed" : reading.citation);
}

bool sound_crs_numbers(PJ_CONTEXT* context, const PJ* crs) {
    const ProjObject ellipsoid(proj_get_ellipsoid(context, crs));
    double a = 0, b = 0, inverse_flattening = 0;
    int computed = 0;
    if (!ellipsoid ||
        proj_ellipsoid_get_parameters(context, ellipsoid.get(), &a, &b, &computed, &inverse_flattening) == 0)
        return false;
    if (!sound_semi_major_axis(a) || !sound_semi_minor_axis(b, a) ||
        !sound_inverse_flattening(inverse_flattening))
        return false;
    const ProjObject meridian(proj_get_prime_meridian(context, crs));
    double longitude = 0, to_radians = 0;
    if (!meridian ||
        proj_prime_meridian_get_parameters(context, meridian.get(), &longitude, &to_radians, nullptr) == 0)
        return false;
    if (!sound_unit_size(to_radians) || !sound_angle(longitude * to_radians / kRadiansPerDegree))
        return false;
    if (!sound_axes(context, crs)) return false;
    if (proj_get_type(crs) != PJ_TYPE_PROJECTED_CRS) return true;
    const ProjObject base(proj_crs_get_geodetic_crs(context, crs));
    return base && sound_axes(context, base.get()) && sound_conversion(context, crs);
}

}  // namespace tessaro
