// The projection file of the tile index through the real binary: which
// coordinate system records of the input files give a ".prj", what GDAL reads
// from it, that it names the system GDAL reads from a GeoTIFF with the same
// keys, and that every other output stays as a run without such records
// makes it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
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
// Value_Offset}; `declared` keys in its header (default: as many as given).
survey::VariableLengthRecord geokeys(const std::vector<std::vector<std::uint16_t>>& keys, int declared = -1) {
    survey::VariableLengthRecord vlr{"LASF_Projection", 34735, "GeoKeyDirectoryTag", {}};
    const auto count = static_cast<std::uint16_t>(declared < 0 ? keys.size() : declared);
    std::vector<std::uint16_t> words{1, 1, 0, count};
    for (const auto& key : keys) words.insert(words.end(), key.begin(), key.end());
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

// ETRS89 / UTM zone 32N with a vertical system, without authority codes.
const std::string kCompoundWkt =
    R"(COMPD_CS["ETRS89 / UTM zone 32N + DHHN2016 height",PROJCS["ETRS89 / UTM zone 32N",GEOGCS["ETRS89",)"
    R"(DATUM["European_Terrestrial_Reference_System_1989",SPHEROID["GRS 1980",6378137,298.257222101]],)"
    R"(PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],)"
    R"(PARAMETER["latitude_of_origin",0],PARAMETER["central_meridian",9],PARAMETER["scale_factor",0.9996],)"
    R"(PARAMETER["false_easting",500000],PARAMETER["false_northing",0],UNIT["metre",1]],)"
    R"(VERT_CS["DHHN2016 height",VERT_DATUM["Deutsches Haupthoehennetz 2016",2005],UNIT["metre",1]]])";

const survey::VariableLengthRecord kText{"LASF_Spec", 3, "Text area description", {'s', 0}};

struct InputFile {
    Records vlrs;
    std::uint32_t extra_vlr_count = 0;  // declared in the header beyond `vlrs`
};

struct CrsCase {
    const char* name;
    std::vector<InputFile> files;
    const char* srs;  // what GDAL identifies in the .prj; nullptr: no .prj
};

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
    {"files disagree", {{{projected(32633)}}, {{projected(32632)}}}, nullptr},
    {"one file names no system", {{{projected(32633)}}, {{kText}}}, nullptr},
    {"user-defined projected system on a known geographic one",
     {{{geokeys({{2048, 0, 1, 4326}, {3072, 0, 1, 32767}})}},
      {{geokeys({{2048, 0, 1, 4326}, {3072, 0, 1, 32767}})}}},
     nullptr},
    {"code PROJ does not know", {{{projected(1234)}}, {{projected(1234)}}}, nullptr},
    {"key count past the record", {{{geokeys({{3072, 0, 1, 32633}}, 2)}}, {{projected(32633)}}}, nullptr},
    {"record count past the records: the record that fits is read",
     {{{projected(32633)}, 1}, {{projected(32633)}}},
     "EPSG:32633"},
    {"a geographic code without a model type",
     {{{geokeys({{1024, 0, 1, 2}, {2048, 0, 1, 4326}})}}, {{{geokeys({{2048, 0, 1, 4326}})}}}},
     nullptr},
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
std::string run_case(const TempDir& dir, const std::vector<InputFile>& files) {
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
    const test::RunResult r = test::run_tessaro({"list.txt", "T", "100", "-b", "5", "-s"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.errors, "");
    return std::regex_replace(r.output, std::regex("Elapsed time [0-9.]+"), "Elapsed time #");
}

const char* const kIndexFiles[] = {"T_Tiles.shp",          "T_Tiles.shx",          "T_Tiles.dbf",
                                   "T_Tiles_w_buffer.shp", "T_Tiles_w_buffer.shx", "T_Tiles_w_buffer.dbf",
                                   "T_TileCoords.dbf"};

TEST(ProjectionFile, WrittenWhenAllFilesNameOneKnownSystem) {
    TempDir reference;
    const std::string reference_output = run_case(reference, {{{kText}}, {{}}});
    EXPECT_FALSE(file_exists(reference.file("T_Tiles.prj")));
    EXPECT_FALSE(file_exists(reference.file("T_Tiles_w_buffer.prj")));

    for (const CrsCase& c : kCases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        EXPECT_EQ(run_case(dir, c.files), reference_output);
        for (const char* file : kIndexFiles)
            EXPECT_EQ(read_file(dir.file(file)), read_file(reference.file(file))) << file;
        if (c.srs == nullptr) {
            EXPECT_FALSE(file_exists(dir.file("T_Tiles.prj")));
            EXPECT_FALSE(file_exists(dir.file("T_Tiles_w_buffer.prj")));
            continue;
        }
        const std::string prj = read_file(dir.file("T_Tiles.prj"));
        EXPECT_EQ(read_file(dir.file("T_Tiles_w_buffer.prj")), prj);
        EXPECT_EQ(prj.find("VERTCS"), std::string::npos) << prj;
        const test::OgrLayer layer = test::read_layer(dir.file("T_Tiles.shp"));
        EXPECT_EQ(layer.problem, "");
        EXPECT_EQ(layer.srs_id, c.srs) << prj;
    }
}

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

const GeoKey kProjectedModel{1024, 'S', 1};

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
    }
}

}  // namespace
