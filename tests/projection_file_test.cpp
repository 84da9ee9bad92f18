// The projection file of the tile index through the real binary: which
// coordinate system records of the input files give a ".prj", what GDAL reads
// from it, and that every other output stays as a run without such records
// makes it.
#include <gtest/gtest.h>

#include <cstdint>
#include <regex>
#include <string>
#include <vector>

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
     {{{geokeys({{1024, 0, 1, 2}, {2048, 0, 1, 4326}})}}, {{{geokeys({{2048, 0, 1, 4326}})}}}},
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
    {"record count past the records", {{{projected(32633)}, 1}, {{projected(32633)}}}, nullptr},
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

}  // namespace
