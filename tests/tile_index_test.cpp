// The tile outline shapefile and its attribute table, written through the
// writer's own functions and read back with GDAL's ogrinfo.
#include <shapefil.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "run_binary.hpp"
#include "shapes_checks.hpp"
#include "tile_index.hpp"
#include "tile_table.hpp"
#include "tiling_support.hpp"

namespace tessaro {
namespace {

using test::OgrLayer;
using test::TempDir;

// Outline edges of one tile as the test expects them.
struct Edges {
    double left, right, bottom, top;
};

std::string number(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.15g", v);
    return text;
}

// The ring as ogrinfo prints it: (left, bottom), (left, top), (right, top),
// (right, bottom), back to (left, bottom).
std::string polygon(const Edges& e) {
    const std::string l = number(e.left), r = number(e.right), b = number(e.bottom), t = number(e.top);
    return "POLYGON ((" + l + " " + b + "," + l + " " + t + "," + r + " " + t + "," + r + " " + b + "," + l +
           " " + b + "))";
}

const std::vector<std::string> kFields = {"TileRow: Integer (5.0)", "TileCol: Integer (5.0)",
                                          "TileName: String (12.0)", "Returns: Integer64 (12.0)"};

void set_counts(const Tile& grid, const std::vector<std::uint32_t>& counts) {
    initializeTileStructure(grid.Rows, grid.Cols);
    for (std::size_t k = 0; k < counts.size(); ++k)
        if (counts[k] != 0)
            _tileInfo.at(static_cast<std::uint16_t>(k / grid.Cols), static_cast<std::uint16_t>(k % grid.Cols))
                .nPts = counts[k];
}

struct OutlineCase {
    const char* name;
    Tile grid;
    double tile_size;
    double buffer;
    std::vector<std::uint32_t> counts;  // row-major
    std::vector<Edges> outlines;        // row-major
    const char* extent;
};

// Grid origin (1000, 2000), tiles of 100, buffer 10: only edges inside the
// grid move outward, by exactly the buffer.
const std::vector<OutlineCase> kOutlineCases = {
    {"1x1 plain",
     {1, 1, 1000, 2000, 1100, 2100},
     100,
     0,
     {5},
     {{1000, 1100, 2000, 2100}},
     "(1000.000000, 2000.000000) - (1100.000000, 2100.000000)"},
    {"1x1 buffered: every edge is on the boundary",
     {1, 1, 1000, 2000, 1100, 2100},
     100,
     10,
     {5},
     {{1000, 1100, 2000, 2100}},
     "(1000.000000, 2000.000000) - (1100.000000, 2100.000000)"},
    {"1x3 plain",
     {1, 3, 1000, 2000, 1300, 2100},
     100,
     0,
     {0, 7, 3000000000u},
     {{1000, 1100, 2000, 2100}, {1100, 1200, 2000, 2100}, {1200, 1300, 2000, 2100}},
     "(1000.000000, 2000.000000) - (1300.000000, 2100.000000)"},
    {"1x3 buffered: inner side edges widen, top and bottom do not",
     {1, 3, 1000, 2000, 1300, 2100},
     100,
     10,
     {0, 7, 3000000000u},
     {{1000, 1110, 2000, 2100}, {1090, 1210, 2000, 2100}, {1190, 1300, 2000, 2100}},
     "(1000.000000, 2000.000000) - (1300.000000, 2100.000000)"},
    {"3x3 plain",
     {3, 3, 1000, 2000, 1300, 2300},
     100,
     0,
     {1, 2, 3, 4, 5, 6, 7, 8, 9},
     {{1000, 1100, 2000, 2100},
      {1100, 1200, 2000, 2100},
      {1200, 1300, 2000, 2100},
      {1000, 1100, 2100, 2200},
      {1100, 1200, 2100, 2200},
      {1200, 1300, 2100, 2200},
      {1000, 1100, 2200, 2300},
      {1100, 1200, 2200, 2300},
      {1200, 1300, 2200, 2300}},
     "(1000.000000, 2000.000000) - (1300.000000, 2300.000000)"},
    {"3x3 buffered: only the middle tile widens on all four sides",
     {3, 3, 1000, 2000, 1300, 2300},
     100,
     10,
     {1, 0, 3, 0, 5, 0, 7, 0, 9},
     {{1000, 1110, 2000, 2110},
      {1090, 1210, 2000, 2110},
      {1190, 1300, 2000, 2110},
      {1000, 1110, 2090, 2210},
      {1090, 1210, 2090, 2210},
      {1190, 1300, 2090, 2210},
      {1000, 1110, 2190, 2300},
      {1090, 1210, 2190, 2300},
      {1190, 1300, 2190, 2300}},
     "(1000.000000, 2000.000000) - (1300.000000, 2300.000000)"},
    {"negative origin, fractional sizes",
     {1, 2, -50.5, -20.25, -0.5, 4.75},
     25,
     2.5,
     {1, 1},
     {{-50.5, -23, -20.25, 4.75}, {-28, -0.5, -20.25, 4.75}},
     "(-50.500000, -20.250000) - (-0.500000, 4.750000)"},
};

TEST(TileIndex, OutlinesAndAttributesDescribeEveryTile) {
    for (const auto& c : kOutlineCases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        set_counts(c.grid, c.counts);
        tiles_to_shapefile(dir.file("T"), "_w_buffer", c.tile_size, c.grid, c.buffer);

        const OgrLayer shp = test::read_layer(dir.file("T_Tiles_w_buffer.shp"));
        ASSERT_EQ(shp.problem, "");
        EXPECT_EQ(shp.geometry, "Polygon");
        EXPECT_EQ(shp.extent, c.extent);
        EXPECT_EQ(shp.fields, kFields);
        const std::size_t n = c.outlines.size();
        ASSERT_EQ(shp.feature_count, static_cast<long>(n));
        ASSERT_EQ(shp.features.size(), n);
        for (std::size_t k = 0; k < n; ++k) {
            SCOPED_TRACE("record " + std::to_string(k));
            const unsigned row = static_cast<unsigned>(k / c.grid.Cols + 1);
            const unsigned col = static_cast<unsigned>(k % c.grid.Cols + 1);
            const std::vector<std::string> attributes = {
                "TileRow (Integer) = " + std::to_string(row), "TileCol (Integer) = " + std::to_string(col),
                "TileName (String) = R" + std::to_string(row) + "C" + std::to_string(col),
                "Returns (Integer64) = " + std::to_string(c.counts[k])};
            EXPECT_EQ(shp.features[k].attributes, attributes);
            EXPECT_EQ(shp.features[k].geometry, polygon(c.outlines[k]));
        }
    }
}

// Reads the rings of a polygon shapefile with full double precision.
std::vector<std::vector<double>> read_rings(const std::string& shpname, bool x) {
    std::vector<std::vector<double>> rings;
    SHPHandle shp = SHPOpen(shpname.c_str(), "rb");
    if (shp == nullptr) return rings;
    int count = 0;
    SHPGetInfo(shp, &count, nullptr, nullptr, nullptr);
    for (int k = 0; k < count; ++k) {
        SHPObject* o = SHPReadObject(shp, k);
        rings.emplace_back(x ? o->padfX : o->padfY, (x ? o->padfX : o->padfY) + o->nVertices);
        SHPDestroyObject(o);
    }
    SHPClose(shp);
    return rings;
}

// With awkward binary fractions the grouping of each edge sum shows in the
// last bits: plain outlines must still share their edges exactly, and a
// widened edge is (origin -/+ buffer) + index x size, never the plain edge
// moved afterwards.
TEST(TileIndex, EdgesAreFormedInTheirOwnOrder) {
    const Tile grid{3, 3, 0.1, 0.7, 1.0, 1.6};
    const double T = 0.3, b = 0.1;
    ASSERT_NE((grid.XMin - b) + 1 * T, (grid.XMin + 1 * T) - b) << "values no longer tell the orders apart";
    set_counts(grid, {});
    TempDir dir;
    tiles_to_shapefile(dir.file("T"), "", T, grid, 0.0);
    tiles_to_shapefile(dir.file("T"), "_w_buffer", T, grid, b);
    const auto px = read_rings(dir.file("T_Tiles.shp"), true),
               py = read_rings(dir.file("T_Tiles.shp"), false);
    const auto bx = read_rings(dir.file("T_Tiles_w_buffer.shp"), true);
    const auto by = read_rings(dir.file("T_Tiles_w_buffer.shp"), false);
    ASSERT_EQ(px.size(), 9u);
    ASSERT_EQ(bx.size(), 9u);
    for (unsigned i = 0; i < 3; ++i) {
        for (unsigned j = 0; j < 3; ++j) {
            const std::size_t k = i * 3 + j;
            SCOPED_TRACE("tile " + std::to_string(k));
            ASSERT_EQ(px[k].size(), 5u);
            if (j < 2) {
                EXPECT_EQ(px[k][2], px[k + 1][0]) << "plain neighbours share the vertical edge";
            }
            if (i < 2) {
                EXPECT_EQ(py[k][1], py[k + 3][0]) << "plain neighbours share the horizontal edge";
            }
            EXPECT_EQ(px[k][0], j * T + grid.XMin);
            EXPECT_EQ(py[k][1], grid.YMin + (i + 1) * T);
            EXPECT_EQ(bx[k][0], j == 0 ? px[k][0] : (grid.XMin - b) + j * T);
            EXPECT_EQ(bx[k][2], j == 2 ? px[k][2] : (grid.XMin + b) + (j + 1) * T);
            EXPECT_EQ(by[k][0], i == 0 ? py[k][0] : (grid.YMin - b) + i * T);
            EXPECT_EQ(by[k][1], i == 2 ? py[k][1] : (grid.YMin + b) + (i + 1) * T);
        }
    }
}

TEST(TileIndex, BufferedSetAndPlainSetHaveTheirOwnNames) {
    TempDir dir;
    const Tile grid{2, 2, 0, 0, 20, 20};
    set_counts(grid, {1, 2, 3, 4});
    tiles_to_shapefile(dir.file("T"), "_w_buffer", 10, grid, 1);
    EXPECT_EQ(
        test::directory_entries(dir.path),
        (std::vector<std::string>{"T_Tiles_w_buffer.dbf", "T_Tiles_w_buffer.shp", "T_Tiles_w_buffer.shx"}));
    tiles_to_shapefile(dir.file("T"), "", 10, grid, 0);
    EXPECT_EQ(test::directory_entries(dir.path),
              (std::vector<std::string>{"T_Tiles.dbf", "T_Tiles.shp", "T_Tiles.shx", "T_Tiles_w_buffer.dbf",
                                        "T_Tiles_w_buffer.shp", "T_Tiles_w_buffer.shx"}));
}

TEST(TileIndex, ExistingSetIsReplaced) {
    TempDir dir;
    Tile grid{3, 3, 0, 0, 30, 30};
    set_counts(grid, {});
    tiles_to_shapefile(dir.file("T"), "", 10, grid, 0);
    grid = {1, 2, 0, 0, 20, 10};
    set_counts(grid, {4, 5});
    tiles_to_shapefile(dir.file("T"), "", 10, grid, 0);
    const OgrLayer layer = test::read_layer(dir.file("T_Tiles.shp"));
    ASSERT_EQ(layer.problem, "");
    EXPECT_EQ(layer.feature_count, 2);
    EXPECT_EQ(layer.extent, "(0.000000, 0.000000) - (20.000000, 10.000000)");
    ASSERT_EQ(layer.features.size(), 2u);
    EXPECT_EQ(layer.features[1].attributes.back(), "Returns (Integer64) = 5");
}

// The digit width comes from the larger of the two counts, so both grids name
// the tile at row 1, column 7 (record 6) R01C07.
TEST(TileIndex, TileNamesUseTheDigitWidthOfTheLargerCount) {
    for (const Tile grid : {Tile{12, 7, 0, 0, 70, 120}, Tile{7, 12, 0, 0, 120, 70}}) {
        SCOPED_TRACE(std::to_string(grid.Rows) + " rows, " + std::to_string(grid.Cols) + " cols");
        TempDir dir;
        set_counts(grid, {});
        tiles_to_shapefile(dir.file("T"), "", 10, grid, 0);
        const OgrLayer layer = test::read_layer(dir.file("T_Tiles.dbf"));
        ASSERT_EQ(layer.problem, "");
        ASSERT_EQ(layer.features.size(), 84u);
        EXPECT_EQ(layer.features[0].attributes[2], "TileName (String) = R01C01");
        EXPECT_EQ(layer.features[6].attributes[2], "TileName (String) = R01C07");
        EXPECT_EQ(layer.features[83].attributes[2],
                  grid.Rows == 12 ? "TileName (String) = R12C07" : "TileName (String) = R07C12");
    }
}

TEST(TileIndex, GridWithoutTilesGivesEmptyFiles) {
    for (const Tile grid : {Tile{0, 4, 0, 0, 40, 0}, Tile{4, 0, 0, 0, 0, 40}}) {
        TempDir dir;
        set_counts(grid, {});
        tiles_to_shapefile(dir.file("T"), "", 10, grid, 0);
        const OgrLayer layer = test::read_layer(dir.file("T_Tiles.shp"));
        ASSERT_EQ(layer.problem, "");
        EXPECT_EQ(layer.geometry, "Polygon");
        EXPECT_EQ(layer.feature_count, 0);
        EXPECT_EQ(layer.fields, kFields);
    }
}

TEST(TileIndex, LongPrefixIsUsedWhole) {
    TempDir dir;
    const std::string prefix = dir.file(std::string(215, 'p'));
    const Tile grid{1, 2, 0, 0, 20, 10};
    set_counts(grid, {1, 0});
    tiles_to_shapefile(prefix, "_w_buffer", 10, grid, 1);
    const OgrLayer layer = test::read_layer(prefix + "_Tiles_w_buffer.shp");
    ASSERT_EQ(layer.problem, "");
    EXPECT_EQ(layer.feature_count, 2);
    EXPECT_EQ(test::directory_entries(dir.path).size(), 3u);
}

struct FailureCase {
    const char* name;
    void (*write)(const std::string& file, const Tile& grid);
    const char* file;      // relative to the case directory
    const char* message;   // with %s for the path of `file`
    long file_size_limit;  // 0: none
};

const Tile kFailureGrid{20, 20, 0, 0, 200, 200};

void write_set(const std::string& file, const Tile& grid) {
    tiles_to_shapefile(file.substr(0, file.size() - 10), "", 10, grid, 0);
}
void fill_shp(const std::string& file, const Tile& grid) {
    addtoSHP(file, grid, 10, 1);
}
void create_dbf(const std::string& file, const Tile&) {
    createShapefileDBF(file);
}
void fill_dbf(const std::string& file, const Tile& grid) {
    addtoShapefileDBF(file, grid);
}
void create_and_fill_shp(const std::string& file, const Tile& grid) {
    createSHP(file);
    addtoSHP(file, grid, 10, 1);
}
void create_and_fill_dbf(const std::string& file, const Tile& grid) {
    createShapefileDBF(file);
    addtoShapefileDBF(file, grid);
}

// Every failure ends the run with status -1 after one message naming the
// file. A limit of 8 KiB on file size makes the 400-tile outlines (54 KiB)
// and table (14 KiB) fail part way, as a full disk would.
const std::vector<FailureCase> kFailureCases = {
    {"directory missing", write_set, "missing/T_Tiles.shp", "Unable to create: %s\n", 0},
    {"shapefile to open missing", fill_shp, "T_Tiles.shp", "Unable to open %s for writing\n", 0},
    {"table directory missing", create_dbf, "missing/T_Tiles.dbf", "\nDBFCreate(%s) failed.\n", 0},
    {"table to open missing", fill_dbf, "T_Tiles.dbf", "Failed to open %s for writing\n", 0},
    {"outlines beyond the file size limit", create_and_fill_shp, "T_Tiles.shp",
     "Failed to write the outline of tile R##C## to %s\n", 8192},
    {"records beyond the file size limit", create_and_fill_dbf, "T_Tiles.dbf",
     "Failed to write TileRow of tile R##C## to %s\n", 8192},
};

// Replaces each "##" of `expected` by the digits found at that place in
// `actual`, so that the tile at which a limit strikes need not be pinned.
std::string with_digits_of(std::string expected, const std::string& actual) {
    for (std::size_t at; (at = expected.find("##")) != std::string::npos;) {
        std::size_t end = at;
        while (end < actual.size() && std::isdigit(static_cast<unsigned char>(actual[end]))) ++end;
        expected.replace(at, 2, actual.substr(at, end - at));
    }
    return expected;
}

// A tessaro_unbounded run over a LAS 1.4 format 6 survey writes the tile
// index as for LAS 1.2: an outline of every tile of the grid, plain and
// buffered, whose Returns is the 64-bit point count of the tile's file, a
// corner record for every tile file, and the .prj of the OGC WKT record the
// files carry, before their points or after them.
TEST(TileIndex, UnboundedLas14RunIndexesItsTilesAndTheSystemOfItsWktRecord) {
    for (const survey::WktPlace place : {survey::WktPlace::vlr, survey::WktPlace::evlr}) {
        SCOPED_TRACE(place == survey::WktPlace::vlr ? "WKT VLR" : "WKT EVLR");
        TempDir dir;
        survey::SurveySpec spec;
        spec.directory = dir.path;
        spec.files = 2;
        spec.points = 6000;
        spec.width = 600;
        spec.height = 450;
        spec.VersionMinor = 4;
        spec.PointDataFormatID = 6;
        spec.extra_bytes = 4;
        spec.evlrs = 1;
        spec.wkt = place;
        survey::generate_survey(spec);
        const test::RunResult run =
            test::run_program(TESSARO_UNBOUNDED_BIN, {"survey.txt", "T", "100", "-b", "5", "-s"}, dir.path);
        ASSERT_EQ(run.status, 0) << run.output;
        const verify::ConservationReport check =
            test::verify_tiles(dir.path, "survey.txt", "T", 100, {5, 0, true});
        ASSERT_TRUE(check.ok) << check.message;

        std::uint64_t returns = 0;
        for (const char* set : {"T_Tiles.shp", "T_Tiles_w_buffer.shp"}) {
            SCOPED_TRACE(set);
            const OgrLayer layer = test::read_layer(dir.file(set));
            ASSERT_EQ(layer.problem, "");
            EXPECT_EQ(layer.srs_id, "EPSG:32633");
            EXPECT_EQ(layer.fields, kFields);
            ASSERT_EQ(layer.features.size(), 35U);  // 7 columns by 5 rows
            returns = 0;
            for (const OgrLayer::Feature& f : layer.features) {
                ASSERT_EQ(f.attributes.size(), 4U);
                const std::string name = f.attributes[2].substr(f.attributes[2].rfind(' ') + 1);
                const std::string tile = dir.file("T" + name + ".las");
                const std::uint64_t points = test::file_exists(tile) ? test::read_las(tile).points : 0;
                EXPECT_EQ(f.attributes[3], "Returns (Integer64) = " + std::to_string(points)) << name;
                returns += points;
            }
            EXPECT_EQ(returns, check.records + check.copies);
        }
        EXPECT_EQ(test::read_layer(dir.file("T_TileCoords.dbf")).feature_count,
                  static_cast<long>(check.tiles));
    }
}

TEST(TileIndex, FailuresEndTheRunWithOneMessage) {
    set_counts(kFailureGrid, std::vector<std::uint32_t>(400, 1));
    for (const auto& c : kFailureCases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string file = dir.file(c.file);
        const test::ChildResult r =
            test::run_in_child([&] { c.write(file, kFailureGrid); }, c.file_size_limit);
        char expected[4096];
        std::snprintf(expected, sizeof expected, c.message, file.c_str());
        EXPECT_EQ(r.output, with_digits_of(expected, r.output));
        EXPECT_EQ(r.status, 255);
    }
}

TEST(TileIndex, DiskFullEndsTheRunNamingTheFile) {
    for (const char* name : {"T_Tiles.shp", "T_Tiles.dbf", "T_Tiles.prj"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        ASSERT_EQ(symlink("/dev/full", dir.file(name).c_str()), 0);
        const Tile grid{1, 1, 0, 0, 10, 10};
        set_counts(grid, {1});
        const test::ChildResult r =
            test::run_in_child([&] { tiles_to_shapefile(dir.file("T"), "", 10, grid, 0, "GEOGCS[]"); });
        EXPECT_EQ(r.output, "Failed to write " + dir.file(name) + ": No space left on device\n");
        EXPECT_EQ(r.status, 255);
    }
}

// Run as root, the writer drops to an unprivileged user first, since
// permission bits do not bind root.
TEST(TileIndex, UnwritableDirectoryEndsTheRun) {
    TempDir dir;
    const std::string locked = dir.file("locked");
    ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(locked.c_str(), 0555), 0);
    const Tile grid{1, 1, 0, 0, 10, 10};
    set_counts(grid, {1});
    const test::ChildResult r = test::run_in_child([&] {
        test::drop_root();
        tiles_to_shapefile(locked + "/T", "", 10, grid, 0);
    });
    EXPECT_EQ(r.output, "Unable to create: " + locked + "/T_Tiles.shp\n");
    EXPECT_EQ(r.status, 255);
}

}  // namespace
}  // namespace tessaro
