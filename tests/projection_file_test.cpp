// The projection file of the tile index through the real binary: which
// coordinate system records of the input files give a ".prj", what GDAL reads
// from it, that it names the system GDAL reads from a GeoTIFF with the same
// keys, and that every other output stays as a run without such records
// makes it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <regex>
#include <string>
#include <vector>

#include "las_bytes.hpp"
#include "run_binary.hpp"
#include "shapes_checks.hpp"
#include "survey_writer.hpp"

using namespace tessaro;
using tessaro::test::file_exists;
using tessaro::test::read_file;
using tessaro::test::TempDir;

namespace {

using Records = std::vector<survey::VariableLengthRecord>;

// A GeoKeyDirectory record of the keys {KeyID, TIFFTagLocation, Count,
// Value_Offset}, followed by `values`; `declared` keys in its header
// (default: as many as given).
survey::VariableLengthRecord geokeys(const std::vector<std::vector<std::uint16_t>>& keys, int declared = -1,
                                     const std::vector<std::uint16_t>& values = {}) {
    survey::VariableLengthRecord vlr{"LASF_Projection", 34735, "GeoKeyDirectoryTag", {}};
    const auto count = static_cast<std::uint16_t>(declared < 0 ? keys.size() : declared);
    std::vector<std::uint16_t> words{1, 1, 0, count};
    for (const auto& key : keys) words.insert(words.end(), key.begin(), key.end());
    words.insert(words.end(), values.begin(), values.end());
    for (std::uint16_t w : words) {
        vlr.payload.push_back(static_cast<unsigned char>(w));
        vlr.payload.push_back(static_cast<unsigned char>(w >> 8));
    }
    return vlr;
}

survey::VariableLengthRecord projected(std::uint16_t code) {
    return geokeys({{1024, 0, 1, 1}, {3072, 0, 1, code}, {4099, 0, 1, 9001}});
}

survey::VariableLengthRecord wkt(const std::string& text) {
    survey::VariableLengthRecord vlr{"LASF_Projection", 2112, "OGC WKT", {text.begin(), text.end()}};
    vlr.payload.push_back(0);
    return vlr;
}

const std::string kUtm33Wkt =
    R"(PROJCS["WGS 84 / UTM zone 33N",GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,)"
    R"(298.257223563]],PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]],)"
    R"(PROJECTION["Transverse_Mercator"],PARAMETER["latitude_of_origin",0],PARAMETER["central_meridian",15],)"
    R"(PARAMETER["scale_factor",0.9996],PARAMETER["false_easting",500000],PARAMETER["false_northing",0],)"
    R"(UNIT["metre",1],AUTHORITY["EPSG","32633"]])";

// The same system without its code, with line ends in its names; and with
// a projection method of a name no one knows.
const std::string kUtm33WithLineEnds =
    std::regex_replace(std::regex_replace(kUtm33Wkt, std::regex(R"(,AUTHORITY\["EPSG","32633"\])"), ""),
                       std::regex("(UTM|WGS) "), "$1\r\n");
const std::string kUnknownMethod =
    std::regex_replace(kUtm33WithLineEnds, std::regex("Transverse_Mercator"), "Transverse_\rMercator");

// ETRS89 / UTM zone 32N with a vertical system, without authority codes.
const std::string kCompoundWkt =
    R"(COMPD_CS["ETRS89 / UTM zone 32N + DHHN2016 height",PROJCS["ETRS89 / UTM zone 32N",GEOGCS["ETRS89",)"
    R"(DATUM["European_Terrestrial_Reference_System_1989",SPHEROID["GRS 1980",6378137,298.257222101]],)"
    R"(PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],)"
    R"(PARAMETER["latitude_of_origin",0],PARAMETER["central_meridian",9],PARAMETER["scale_factor",0.9996],)"
    R"(PARAMETER["false_easting",500000],PARAMETER["false_northing",0],UNIT["metre",1]],)"
    R"(VERT_CS["DHHN2016 height",VERT_DATUM["Deutsches Haupthoehennetz 2016",2005],UNIT["metre",1]]])";

// One GeoKey: a short held in the entry, or a double or a text held in the
// parameter records.
struct GeoKey {
    std::uint16_t id;
    char type;  // 'S', 'D' or 'A'
    double value = 0;
    std::string text = {};
};

// The three key records of `keys` (in ascending id order, as GeoTIFF keeps
// them).
Records key_records(const std::vector<GeoKey>& keys) {
    std::vector<std::vector<std::uint16_t>> entries;
    survey::VariableLengthRecord doubles{"LASF_Projection", 34736, "GeoDoubleParamsTag", {}};
    survey::VariableLengthRecord ascii{"LASF_Projection", 34737, "GeoAsciiParamsTag", {}};
    for (const GeoKey& k : keys) {
        if (k.type == 'S') entries.push_back({k.id, 0, 1, static_cast<std::uint16_t>(k.value)});
        if (k.type == 'D') {
            entries.push_back({k.id, 34736, 1, static_cast<std::uint16_t>(doubles.payload.size() / 8)});
            unsigned char bytes[8];
            store_f64le(bytes, k.value);
            doubles.payload.insert(doubles.payload.end(), bytes, bytes + 8);
        }
        if (k.type == 'A') {
            entries.push_back({k.id, 34737, static_cast<std::uint16_t>(k.text.size() + 1),
                               static_cast<std::uint16_t>(ascii.payload.size())});
            ascii.payload.insert(ascii.payload.end(), k.text.begin(), k.text.end());
            ascii.payload.push_back('|');
        }
    }
    Records records{geokeys(entries)};
    if (!doubles.payload.empty()) records.push_back(doubles);
    if (!ascii.payload.empty()) records.push_back(ascii);
    return records;
}

const survey::VariableLengthRecord kText{"LASF_Spec", 3, "Text area description", {'s', 0}};

struct InputFile {
    Records vlrs;
    std::uint32_t extra_vlr_count = 0;  // declared in the header beyond `vlrs`
};

struct CrsCase {
    const char* name;
    std::vector<InputFile> files;
    const char* srs;  // what GDAL identifies in the .prj; nullptr: no .prj
    // Without a .prj: why the console says there is none; nullptr: it says
    // nothing.
    const char* fault = nullptr;
    bool without_database = false;  // PROJ_DATA names a directory without PROJ's database
};

const char* const kUnsound = "a number of it is not finite or beyond any Earth model";
const GeoKey kProjectedModel{1024, 'S', 1};
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

// Transverse Mercator (or the GeoTIFF projection method `method`) on WGS 84
// in a unit of `unit_size` metres, with `latitude` of origin and
// `false_northing`, every key user-defined.
Records user_transverse_mercator(double latitude, double false_northing, double unit_size = 1,
                                 double method = 1) {
    return key_records({kProjectedModel,
                        {2048, 'S', 4326},
                        {3072, 'S', 32767},
                        {3074, 'S', 32767},
                        {3075, 'S', method},
                        {3076, 'S', 32767},
                        {3077, 'D', unit_size},
                        {3080, 'D', 15},
                        {3081, 'D', latitude},
                        {3082, 'D', 500000},
                        {3083, 'D', false_northing},
                        {3092, 'D', 0.9996}});
}

const std::vector<CrsCase> kCases = {
    {"EPSG code of a GeoKeyDirectory", {{{projected(32633), kText}}, {{projected(32633)}}}, "EPSG:32633"},
    {"geographic code without a projected one",
     {{{geokeys({{1024, 0, 1, 2}, {2048, 0, 1, 4326}})}},
      {{{geokeys({{1024, 0, 1, 2}, {2048, 0, 1, 4326}})}}}},
     "EPSG:4326"},
    {"compound WKT record: its horizontal part",
     {{{wkt(kCompoundWkt)}}, {{wkt(kCompoundWkt)}}},
     "EPSG:25832"},
    {"one system as a code and as WKT", {{{projected(32633)}}, {{kText, wkt(kUtm33Wkt)}}}, "EPSG:32633"},
    {"line ends in the names of a WKT record",
     {{{wkt(kUtm33WithLineEnds)}}, {{wkt(kUtm33WithLineEnds)}}},
     "EPSG:32633"},
    {"WKT record of a projection method PROJ does not know",
     {{{wkt(kUnknownMethod)}}, {{wkt(kUnknownMethod)}}},
     nullptr,
     "PROJ has no conversion for its projection method"},
    {"files disagree", {{{projected(32633)}}, {{projected(32632)}}}, nullptr},
    {"one file names no system", {{{projected(32633)}}, {{kText}}}, nullptr},
    {"user-defined projected system on a known geographic one",
     {{{geokeys({{2048, 0, 1, 4326}, {3072, 0, 1, 32767}})}},
      {{geokeys({{2048, 0, 1, 4326}, {3072, 0, 1, 32767}})}}},
     nullptr,
     "its GeoTIFF keys are incomplete"},
    {"code PROJ does not know",
     {{{projected(1234)}}, {{projected(1234)}}},
     nullptr,
     "PROJ's database does not hold its code"},
    {"key count past the record",
     {{{geokeys({{3072, 0, 1, 32633}}, 2)}}, {{projected(32633)}}},
     nullptr,
     "its GeoTIFF keys are malformed"},
    {"record count past the records: the record that fits is read",
     {{{projected(32633)}, 1}, {{projected(32633)}}},
     "EPSG:32633"},
    {"a geographic code without a model type",
     {{{geokeys({{1024, 0, 1, 2}, {2048, 0, 1, 4326}})}}, {{{geokeys({{2048, 0, 1, 4326}})}}}},
     nullptr,
     "its GeoTIFF keys are incomplete"},
    {"a code held in the key directory after the keys",
     {{{geokeys({{1024, 0, 1, 1}, {3072, 34735, 1, 16}, {3076, 0, 1, 9001}}, -1, {32633})}},
      {{projected(32633)}}},
     "EPSG:32633"},
    {"an array of shorts in the key directory",
     {{{geokeys({{1024, 0, 1, 1}, {3072, 34735, 2, 12}}, -1, {32633, 32633})}},
      {{geokeys({{1024, 0, 1, 1}, {3072, 34735, 2, 12}}, -1, {32633, 32633})}}},
     nullptr,
     "its GeoTIFF keys are malformed"},
    {"semi-major axis +Inf",
     {{key_records({{1024, 'S', 2},
                    {2048, 'S', 32767},
                    {2050, 'S', 32767},
                    {2056, 'S', 32767},
                    {2057, 'D', kInf},
                    {2059, 'D', 298.257}})},
      {{projected(32633)}}},
     nullptr,
     kUnsound},
    {"NaN latitude of origin",
     {{user_transverse_mercator(kNan, 0)}, {user_transverse_mercator(kNan, 0)}},
     nullptr,
     kUnsound},
    {"unit size 5e-324",
     {{user_transverse_mercator(0, 0, 5e-324)}, {user_transverse_mercator(0, 0, 5e-324)}},
     nullptr,
     kUnsound},
    {"false northing 1e20",
     {{user_transverse_mercator(0, 1e20)}, {user_transverse_mercator(0, 1e20)}},
     nullptr,
     kUnsound},
    {"WKT record of a zero unit",
     {{{wkt(std::regex_replace(kUtm33Wkt, std::regex(R"(UNIT\["metre",1\])"), R"(UNIT["metre",0])"))}},
      {{wkt(kUtm33Wkt)}}},
     nullptr,
     kUnsound},
    {"an angular unit PROJ's database lacks: nothing on standard error",
     {{key_records({{1024, 'S', 2}, {2048, 'S', 32767}, {2050, 'S', 6326}, {2054, 'S', 65535}})},
      {key_records({{1024, 'S', 2}, {2048, 'S', 32767}, {2050, 'S', 6326}, {2054, 'S', 65535}})}},
     ""},
    {"a projection method PROJ has no conversion for (Laborde oblique Mercator)",
     {{user_transverse_mercator(0, 0, 1, 4)}, {user_transverse_mercator(0, 0, 1, 4)}},
     nullptr,
     "PROJ has no conversion for its projection method"},
    {"PROJ's database missing",
     {{{projected(32633)}}, {{projected(32633)}}},
     nullptr,
     "PROJ's database cannot be opened: see PROJ_DATA",
     true},
};

std::vector<survey::PointRecord> points() {
    std::vector<survey::PointRecord> p(3);
    p[0].X = 1000, p[0].Y = 1000;
    p[1].X = 25000, p[1].Y = 2000;
    p[2].X = 3000, p[2].Y = 18000;
    return p;
}

// Writes a.las and b.las with the given records, runs the tiler with a
// buffer and the tile index over a tile index of an earlier run, and returns
// its output with the elapsed time masked.
std::string run_case(const TempDir& dir, const std::vector<InputFile>& files, bool without_database = false) {
    const char* names[] = {"a.las", "b.las"};
    for (std::size_t k = 0; k < files.size(); ++k) {
        survey::LasFileSpec spec;
        spec.PointDataFormatID = 0;
        spec.vlrs = files[k].vlrs;
        LAS12Header header = survey::make_header(spec, points());
        header.NumberOfVariableLengthRecords += files[k].extra_vlr_count;
        survey::write_las_file(dir.file(names[k]), spec, header, points());
    }
    test::write_file(dir.file("list.txt"), "a.las\nb.las\n");
    for (const char* prj : {"T_Tiles.prj", "T_Tiles_w_buffer.prj"})
        test::write_file(dir.file(prj), "earlier");
    test::RunHooks hooks;
    if (without_database) hooks.before_exec = [] { setenv("PROJ_DATA", "/nonexistent", 1); };
    const test::RunResult r =
        test::run_program(TESSARO_BIN, {"list.txt", "T", "100", "-b", "5", "-s"}, dir.path, 300, hooks);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.errors, "");
    return std::regex_replace(r.output, std::regex("Elapsed time [0-9.]+"), "Elapsed time #");
}

const char* const kIndexFiles[] = {"T_Tiles.shp",          "T_Tiles.shx",          "T_Tiles.dbf",
                                   "T_Tiles_w_buffer.shp", "T_Tiles_w_buffer.shx", "T_Tiles_w_buffer.dbf",
                                   "T_TileCoords.dbf"};

// The console of a run without a .prj for `fault`: the reference with the
// line that says why.
std::string with_fault(const std::string& reference, const char* fault) {
    if (fault == nullptr) return reference;
    const std::string after = "Saving tile extent to shapefile ...\n";
    std::string output = reference;
    output.insert(output.find(after) + after.size(),
                  "\nThe files name a coordinate system that cannot be written as a .prj (" +
                      std::string(fault) + "): no .prj\n");
    return output;
}

TEST(ProjectionFile, WrittenWhenAllFilesNameOneKnownSystem) {
    TempDir reference;
    const std::string reference_output = run_case(reference, {{{kText}}, {{}}});
    EXPECT_FALSE(file_exists(reference.file("T_Tiles.prj")));
    EXPECT_FALSE(file_exists(reference.file("T_Tiles_w_buffer.prj")));

    for (const CrsCase& c : kCases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string output = run_case(dir, c.files, c.without_database);
        EXPECT_EQ(output, with_fault(reference_output, c.fault));
        for (const char* file : kIndexFiles)
            EXPECT_EQ(read_file(dir.file(file)), read_file(reference.file(file))) << file;
        // The same files give the same console and the same .prj every run.
        TempDir again;
        EXPECT_EQ(run_case(again, c.files, c.without_database), output);
        EXPECT_EQ(read_file(again.file("T_Tiles.prj")), read_file(dir.file("T_Tiles.prj")));
        if (c.srs == nullptr) {
            EXPECT_FALSE(file_exists(dir.file("T_Tiles.prj")));
            EXPECT_FALSE(file_exists(dir.file("T_Tiles_w_buffer.prj")));
            continue;
        }
        const std::string prj = read_file(dir.file("T_Tiles.prj"));
        EXPECT_EQ(read_file(dir.file("T_Tiles_w_buffer.prj")), prj);
        EXPECT_EQ(prj.find("VERTCS"), std::string::npos) << prj;
        EXPECT_EQ(prj.find_first_of("\r\n"), std::string::npos) << prj;
        const test::OgrLayer layer = test::read_layer(dir.file("T_Tiles.shp"));
        EXPECT_EQ(layer.problem, "");
        EXPECT_EQ(layer.srs_id, c.srs) << prj;
    }
}

// A LAS 1.4 file names its system by its WKT record where its global
// encoding says so or its point format allows nothing else; the record may
// stand after the points. Each file carries GeoKeys of UTM 32 and a WKT
// record of UTM 33.
TEST(ProjectionFile, Las14FilesWhoseSystemIsTheirWktRecordTakeItFirst) {
    struct Case {
        const char* name;
        std::uint8_t format;
        std::uint16_t global_encoding;
        bool wkt_after_points;
        const char* srs;
    };
    const Case cases[] = {
        {"format 6, WKT record after the points", 6, 0, true, "EPSG:32633"},
        {"format 1 with the WKT bit", 1, 16, false, "EPSG:32633"},
        {"format 1 without the WKT bit: the keys", 1, 0, false, "EPSG:32632"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        survey::LasFileSpec spec;
        spec.VersionMinor = 4;
        spec.PointDataFormatID = c.format;
        spec.GlobalEncoding = c.global_encoding;
        spec.vlrs = {projected(32632)};
        (c.wkt_after_points ? spec.evlrs : spec.vlrs).push_back(wkt(kUtm33Wkt));
        survey::write_las_file(dir.file("a.las"), spec, points());
        test::write_file(dir.file("list.txt"), "a.las\n");
        const test::RunResult r =
            test::run_program(TESSARO_UNBOUNDED_BIN, {"list.txt", "T", "100", "-s"}, dir.path);
        ASSERT_EQ(r.status, 0) << r.output;
        const test::OgrLayer layer = test::read_layer(dir.file("T_Tiles.shp"));
        EXPECT_EQ(layer.srs_id, c.srs) << read_file(dir.file("T_Tiles.prj"));
    }
}

// What GDAL reads as ESRI WKT from a GeoTIFF carrying `keys`, written by
// libgeotiff's geotifcp from its text listing of the keys.
std::string gdal_reading(const TempDir& dir, const std::vector<GeoKey>& keys) {
    std::string listing =
        "Geotiff_Information:\n Version: 1\n Key_Revision: 1.0\n Tagged_Information:\n End_Of_Tags.\n"
        " Keyed_Information:\n";
    for (const GeoKey& k : keys) {
        char line[512];
        if (k.type == 'S')
            std::snprintf(line, sizeof line, "Unknown-%u (Short,1): Code-%.0f\n", k.id, k.value);
        if (k.type == 'D') std::snprintf(line, sizeof line, "Unknown-%u (Double,1): %.17g\n", k.id, k.value);
        if (k.type == 'A')
            std::snprintf(line, sizeof line, "Unknown-%u (Ascii,%zu): \"%s\"\n", k.id, k.text.size() + 1,
                          k.text.c_str());
        listing += line;
    }
    listing += " End_Of_Keys.\n End_Of_Geotiff.\n";
    test::write_file(dir.file("keys.txt"), listing);
    const test::RunResult base = test::run_program(
        "/usr/bin/gdal_create", {"-of", "GTiff", "-outsize", "1", "1", "base.tif"}, dir.path);
    EXPECT_EQ(base.status, 0) << base.output << base.errors;
    const test::RunResult copy =
        test::run_program("/usr/bin/geotifcp", {"-g", "keys.txt", "base.tif", "keys.tif"}, dir.path);
    EXPECT_EQ(copy.status, 0) << copy.output << copy.errors;
    const test::RunResult info =
        test::run_program("/usr/bin/gdalsrsinfo", {"--single-line", "-o", "wkt_esri", "keys.tif"}, dir.path);
    return info.output;
}

// The nodes of an ESRI WKT that name a projection, its parameters and its
// units, one per line: keyword, then the name of DATUM, PROJECTION and
// PARAMETER nodes, then the numbers of the node. The names of the systems
// themselves are left out: readers name user-defined systems each in their
// own way.
std::vector<std::string> wkt_nodes(const std::string& wkt) {
    std::vector<std::string> nodes;
    const std::regex node(R"re(([A-Z]+)\["([^"]*)"((?:,[-+0-9.eE]+)*))re");
    for (auto it = std::sregex_iterator(wkt.begin(), wkt.end(), node); it != std::sregex_iterator(); ++it) {
        const std::string keyword = (*it)[1];
        if (keyword == "PROJCS" || keyword == "GEOGCS") continue;
        std::string line = keyword;
        if (keyword == "DATUM" || keyword == "PROJECTION" || keyword == "PARAMETER") {
            line += ' ';
            line += (*it)[2].str();
        }
        // Numbers to 12 significant digits: the readers may form a value
        // through other conversions, which differ in the last bits.
        const std::string numbers = (*it)[3];
        for (std::size_t at = 0; at < numbers.size();) {
            const std::size_t next = numbers.find(',', at + 1);
            char text[64];
            std::snprintf(text, sizeof text, " %.12g", std::stod(numbers.substr(at + 1, next - at - 1)));
            line += text;
            at = next == std::string::npos ? numbers.size() : next;
        }
        nodes.push_back(line);
    }
    return nodes;
}

struct KeyCase {
    const char* name;
    std::vector<GeoKey> keys;
    std::uint32_t extra_vlr_count;
    // nullptr: the .prj names what GDAL reads. Otherwise no .prj is written,
    // and GDAL's reading holds this text.
    const char* gdal_without_prj;
};

// A user-defined transverse Mercator on NAD83 in metres with these false
// easting and northing, which PROJ writes in exponent form.
std::vector<GeoKey> transverse_mercator(double false_easting, double false_northing) {
    return {kProjectedModel,
            {2048, 'S', 4269},
            {3072, 'S', 32767},
            {3074, 'S', 32767},
            {3075, 'S', 1},
            {3076, 'S', 9001},
            {3080, 'D', -90.5},
            {3081, 'D', 29.5},
            {3082, 'D', false_easting},
            {3083, 'D', false_northing},
            {3092, 'D', 0.9999}};
}

const std::vector<KeyCase> kKeyCases = {
    {"code with a unit override: NAD83 / Mississippi West in US survey feet",
     {kProjectedModel, {3072, 'S', 26995}, {3076, 'S', 9003}},
     0,
     nullptr},
    {"user-defined: Lambert conformal conic in feet on NAD83",
     {kProjectedModel,
      {1026, 'A', 0, "LCC feet"},
      {2048, 'S', 4269},
      {3072, 'S', 32767},
      {3074, 'S', 32767},
      {3075, 'S', 8},
      {3076, 'S', 9002},
      {3078, 'D', 33},
      {3079, 'D', 45},
      {3082, 'D', 1968500},
      {3083, 'D', 0},
      {3084, 'D', -96},
      {3085, 'D', 23}},
     0,
     nullptr},
    {"user-defined: transverse Mercator in US survey feet on a datum code",
     {kProjectedModel,
      {2048, 'S', 32767},
      {2050, 'S', 6269},
      {3072, 'S', 32767},
      {3074, 'S', 32767},
      {3075, 'S', 1},
      {3076, 'S', 9003},
      {3080, 'D', -90.3333333333333},
      {3081, 'D', 29.5},
      {3082, 'D', 2296583.333},
      {3083, 'D', 0},
      {3092, 'D', 0.99995}},
     0,
     nullptr},
    {"user-defined by a projection code: UTM 17 on WGS 84",
     {kProjectedModel, {2048, 'S', 4326}, {3072, 'S', 32767}, {3074, 'S', 16017}, {3076, 'S', 9001}},
     0,
     nullptr},
    {"VLR count past the area: the keys that fit are read",
     {kProjectedModel, {3072, 'S', 32617}},
     1,
     nullptr},
    {"contradictory: a projected code over another geographic system",
     {kProjectedModel, {2048, 'S', 4326}, {3072, 'S', 26995}},
     0,
     R"(PROJCS["NAD_1983_StatePlane_Mississippi_West_FIPS_2302",GEOGCS["GCS_WGS_1984")"},
    {"incomplete: a user-defined projected system without a method",
     {kProjectedModel, {2048, 'S', 4326}, {3072, 'S', 32767}},
     0,
     "LOCAL_CS["},
    {"small false northing 0.00002", transverse_mercator(500000, 0.00002), 0, nullptr},
    {"large false northing 1e9", transverse_mercator(500000, 1e9), 0, nullptr},
    {"tiny false easting 1e-300", transverse_mercator(1e-300, 0), 0, nullptr},
};

TEST(ProjectionFile, GeoKeysAreReadAsGdalReadsThemFromAGeoTiff) {
    for (const KeyCase& c : kKeyCases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string gdal = gdal_reading(dir, c.keys);
        Records records = key_records(c.keys);
        records.push_back(kText);
        run_case(dir, {{records, c.extra_vlr_count}, {records, c.extra_vlr_count}});
        if (c.gdal_without_prj != nullptr) {
            EXPECT_NE(gdal.find(c.gdal_without_prj), std::string::npos) << gdal;
            EXPECT_FALSE(file_exists(dir.file("T_Tiles.prj")));
            continue;
        }
        const std::string prj = read_file(dir.file("T_Tiles.prj"));
        EXPECT_EQ(wkt_nodes(prj), wkt_nodes(gdal)) << prj << "\n" << gdal;
        EXPECT_FALSE(wkt_nodes(prj).empty());
        // Every number a plain decimal, which GDAL reads back to the same
        // values.
        EXPECT_FALSE(std::regex_search(prj, std::regex(R"([,\[][-+]?[0-9.]*[eE])"))) << prj;
        const test::RunResult again = test::run_program(
            "/usr/bin/gdalsrsinfo", {"--single-line", "-o", "wkt_esri", "T_Tiles.prj"}, dir.path);
        EXPECT_EQ(again.errors, "");
        EXPECT_EQ(wkt_nodes(again.output), wkt_nodes(prj)) << prj << "\n" << again.output;
    }
}

}  // namespace
