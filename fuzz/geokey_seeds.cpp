// Writes the seed corpus of the GeoKey fuzz target into a directory: key
// sets by code, user-defined systems with sound, non-finite, absurd and
// exponent-form numbers, keys whose value lies in the key directory itself,
// and WKT records, sound and broken.
//
// Usage: geokey_seeds DIRECTORY
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "geokey_input.hpp"

namespace {

using Words = std::vector<std::uint16_t>;

struct Seed {
    const char* name;
    Words directory;
    std::vector<double> doubles;
    std::string ascii;
    std::string wkt;
};

// A directory of version 1 with `keys` (four shorts each) and `values`
// after them.
Words directory_of(const std::vector<Words>& keys, const Words& values = {}) {
    Words words{1, 1, 0, static_cast<std::uint16_t>(keys.size())};
    for (const Words& key : keys) words.insert(words.end(), key.begin(), key.end());
    words.insert(words.end(), values.begin(), values.end());
    return words;
}

// A user-defined transverse Mercator on WGS 84 in metres: latitude and
// longitude of origin, false easting and northing, scale.
Seed transverse_mercator(const char* name, double latitude, double false_easting, double false_northing) {
    return {name,
            directory_of({{1024, 0, 1, 1},
                          {1026, 34737, 8, 0},
                          {2048, 0, 1, 4326},
                          {3072, 0, 1, 32767},
                          {3074, 0, 1, 32767},
                          {3075, 0, 1, 1},
                          {3076, 0, 1, 9001},
                          {3080, 34736, 1, 0},
                          {3081, 34736, 1, 1},
                          {3082, 34736, 1, 2},
                          {3083, 34736, 1, 3},
                          {3092, 34736, 1, 4}}),
            {15, latitude, false_easting, false_northing, 0.9996},
            "fuzz TM|",
            {}};
}

// A user-defined geographic system on its own ellipsoid.
Seed ellipsoid(const char* name, double semi_major, double inverse_flattening) {
    return {name,
            directory_of({{1024, 0, 1, 2},
                          {2048, 0, 1, 32767},
                          {2050, 0, 1, 32767},
                          {2056, 0, 1, 32767},
                          {2057, 34736, 1, 0},
                          {2059, 34736, 1, 1}}),
            {semi_major, inverse_flattening},
            {},
            {}};
}

constexpr std::string_view kUtm33 =
    R"(PROJCS["WGS 84 / UTM zone 33N",GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,)"
    R"(298.257223563]],PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]],)"
    R"(PROJECTION["Transverse_Mercator"],PARAMETER["latitude_of_origin",0],PARAMETER["central_meridian",15],)"
    R"(PARAMETER["scale_factor",0.9996],PARAMETER["false_easting",FE],PARAMETER["false_northing",0],)"
    R"(UNIT["metre",UNIT]])";

// The UTM 33N WKT with its false easting and unit size replaced.
std::string utm33(const std::string& false_easting, const std::string& unit) {
    std::string text(kUtm33);
    text.replace(text.find("FE"), 2, false_easting);
    text.replace(text.find("UNIT]"), 4, unit);
    return text;
}

std::vector<Seed> seeds() {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
    constexpr double kMax = std::numeric_limits<double>::max();
    return {
        {"code", directory_of({{1024, 0, 1, 1}, {3072, 0, 1, 32633}, {3076, 0, 1, 9001}}), {}, {}, {}},
        {"code-in-feet",
         directory_of({{1024, 0, 1, 1}, {3072, 0, 1, 26995}, {3076, 0, 1, 9003}}),
         {},
         {},
         {}},
        {"geographic", directory_of({{1024, 0, 1, 2}, {2048, 0, 1, 4326}}), {}, {}, {}},
        {"in-directory",
         directory_of({{1024, 0, 1, 1}, {3072, 34735, 1, 16}, {3076, 0, 1, 9001}}, {32633}),
         {},
         {},
         {}},
        {"in-directory-array",
         directory_of({{1024, 0, 1, 1}, {3072, 34735, 2, 12}}, {32633, 32633}),
         {},
         {},
         {}},
        {"in-directory-among-keys", directory_of({{1024, 0, 1, 1}, {3072, 34735, 1, 3}}), {}, {}, {}},
        {"angular-unit-65535",
         directory_of({{1024, 0, 1, 2}, {2048, 0, 1, 32767}, {2050, 0, 1, 6326}, {2054, 0, 1, 65535}}),
         {},
         {},
         {}},
        {"angular-unit-4269",
         directory_of({{1024, 0, 1, 2}, {2048, 0, 1, 32767}, {2050, 0, 1, 6326}, {2054, 0, 1, 4269}}),
         {},
         {},
         {}},
        {"unit-size-5e-324",
         directory_of({{1024, 0, 1, 1},
                       {2048, 0, 1, 4326},
                       {3072, 0, 1, 32767},
                       {3074, 0, 1, 32767},
                       {3075, 0, 1, 1},
                       {3076, 0, 1, 32767},
                       {3077, 34736, 1, 0},
                       {3082, 34736, 1, 1}}),
         {5e-324, 500000},
         {},
         {}},
        transverse_mercator("tm", 0, 500000, 0),
        transverse_mercator("tm-nan-latitude", kNan, 500000, 0),
        transverse_mercator("tm-northing-2e-05", 0, 500000, 0.00002),
        transverse_mercator("tm-northing-1e20", 0, 500000, 1e20),
        transverse_mercator("tm-northing-1e9", 0, 500000, 1e9),
        transverse_mercator("tm-easting-1e-300", 0, 1e-300, 0),
        transverse_mercator("tm-easting-max", 0, kMax, 0),
        transverse_mercator("tm-easting-inf", 0, -kInf, 0),
        ellipsoid("ellipsoid", 6378137, 298.257223563),
        ellipsoid("ellipsoid-inf", kInf, 298.257223563),
        ellipsoid("sphere", 6371000, 0),
        {"wkt", {}, {}, {}, utm33("500000", "1")},
        {"wkt-zero-unit", {}, {}, {}, utm33("500000", "0")},
        {"wkt-exponent", {}, {}, {}, utm33("2E-05", "1")},
        {"wkt-inf", {}, {}, {}, utm33("Inf", "1")},
        {"wkt-nan", {}, {}, {}, utm33("nan", "1")},
        {"wkt-1e400", {}, {}, {}, utm33("1e400", "1")},
        {"keys-and-wkt", directory_of({{1024, 0, 1, 1}, {3072, 0, 1, 1234}}), {}, {}, utm33("500000", "1")},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: geokey_seeds DIRECTORY\n");
        return 2;
    }
    for (const Seed& seed : seeds()) {
        const std::vector<unsigned char> input =
            tessaro::fuzz::input_of(seed.directory, seed.doubles, seed.ascii, seed.wkt);
        const std::string path = std::string(argv[1]) + "/seed-" + seed.name;
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) {
            std::fprintf(stderr, "geokey_seeds: cannot create %s\n", path.c_str());
            return 1;
        }
        const bool written = std::fwrite(input.data(), 1, input.size(), file) == input.size();
        if (std::fclose(file) != 0 || !written) {
            std::fprintf(stderr, "geokey_seeds: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
