#include "tile_index.hpp"

#include <shapefil.h>

#include <array>
#include <cstdint>
#include <new>
#include <vector>

#include "console.hpp"
#include "io_watch.hpp"
#include "projection_file.hpp"
#include "shape_handles.hpp"
#include "tile_table.hpp"

namespace tessaro {
namespace {

constexpr int kOutlineVertices = 5;

// The main file as shapelib writes it: a 100-byte header, then per outline an
// 8-byte record header and the polygon (type 4, box 32, part and vertex counts
// 8, one part start 4, five vertices of 16). It is the largest file of a set:
// the index takes 8 bytes an outline, the table 35.
constexpr std::uint64_t kShapeHeaderBytes = 100;
constexpr std::uint64_t kOutlineRecordBytes = 8 + 4 + 32 + 8 + 4 + 16 * kOutlineVertices;

// The edges of one tile's outline.
struct Outline {
    double left;
    double right;
    double bottom;
    double top;
};

// Tile (i, j) widened by `b` on every side that lies inside the grid. Edges on
// the grid boundary keep their plain grid value, so the buffered outlines end
// at the boundary. Each edge is formed in exactly this order, so that with
// b = 0 neighbouring outlines share their edges bit for bit.
Outline tile_outline(const Tile& pTile, double T, double b, unsigned i, unsigned j) {
    const double di = static_cast<double>(i);
    const double dj = static_cast<double>(j);
    const double di1 = static_cast<double>(i + 1);
    const double dj1 = static_cast<double>(j + 1);
    Outline o;
    o.left = (pTile.XMin - b) + dj * T;
    o.right = (pTile.XMin + b) + dj1 * T;
    o.bottom = (pTile.YMin - b) + di * T;
    o.top = (pTile.YMin + b) + di1 * T;
    if (j == 0) o.left = dj * T + pTile.XMin;
    if (j + 1 == pTile.Cols) o.right = dj1 * T + pTile.XMin;
    if (i == 0) o.bottom = pTile.YMin + di * T;
    if (i + 1 == pTile.Rows) o.top = pTile.YMin + di1 * T;
    return o;
}

void write_outline(SHPHandle shp, const std::string& shpname, const Tile& pTile, double TileSize,
                   double buffer, unsigned i, unsigned j, int bufsize) {
    const Outline o = tile_outline(pTile, TileSize, buffer, i, j);
    // (left, bottom), (left, top), (right, top), (right, bottom), (left, bottom):
    // one clockwise ring, closed by repeating its first vertex.
    std::array<double, kOutlineVertices> x{o.left, o.left, o.right, o.right, o.left};
    std::array<double, kOutlineVertices> y{o.bottom, o.top, o.top, o.bottom, o.bottom};
    std::array<double, kOutlineVertices> zero{};
    const int id = record_number(static_cast<unsigned long long>(i) * pTile.Cols + j, shpname);
    // The object SHPCreateObject would make (one ring, Z and M zero), but
    // held here: SHPCreateObject does not check its own allocations, so when
    // memory runs out it writes through a null pointer instead of failing.
    int part_start = 0;
    int part_type = SHPP_RING;
    SHPObject object{};
    object.nSHPType = SHPT_POLYGON;
    object.nShapeId = id;
    object.nParts = 1;
    object.panPartStart = &part_start;
    object.panPartType = &part_type;
    object.nVertices = kOutlineVertices;
    object.padfX = x.data();
    object.padfY = y.data();
    object.padfZ = zero.data();
    object.padfM = zero.data();
    SHPComputeExtents(&object);
    if (SHPWriteObject(shp, -1, &object) < 0)
        fail("Failed to write the outline of tile %s to %s\n", tile_label(bufsize, i + 1, j + 1).c_str(),
             shpname.c_str());
}

void write_attributes(DBFHandle dbf, const std::string& dbfname, const Tile& pTile, unsigned i, unsigned j,
                      int bufsize, std::uint64_t points) {
    const int k = record_number(static_cast<unsigned long long>(i) * pTile.Cols + j, dbfname);
    const std::string name = tile_label(bufsize, i + 1, j + 1);
    const auto check = [&](int written, const char* field) {
        if (!written) fail("Failed to write %s of tile %s to %s\n", field, name.c_str(), dbfname.c_str());
    };
    check(DBFWriteIntegerAttribute(dbf, k, 0, static_cast<int>(i + 1)), "TileRow");
    check(DBFWriteIntegerAttribute(dbf, k, 1, static_cast<int>(j + 1)), "TileCol");
    check(DBFWriteStringAttribute(dbf, k, 2, name.c_str()), "TileName");
    check(write_count(dbf, k, 3, points), "Returns");
}

}  // namespace

void check_tile_index_size(const std::string& prefix, const Tile& pTile, bool buffered) {
    // Both sets hold one outline per tile, so the main file of the set
    // written first is the first file too large.
    const std::uint64_t shp =
        kShapeHeaderBytes + kOutlineRecordBytes * (static_cast<std::uint64_t>(pTile.Rows) * pTile.Cols);
    if (shp <= kMaxShapeFileBytes) return;
    fail(
        "\nThe tile index %s_Tiles%s.shp would take %llu bytes, more than the %llu a shapefile can "
        "hold: use a larger tile size, or leave out -s\n",
        prefix.c_str(), buffered ? "_w_buffer" : "", static_cast<unsigned long long>(shp),
        static_cast<unsigned long long>(kMaxShapeFileBytes));
}

void tiles_to_shapefile(const std::string& prefix, const std::string& suffix, double TileSize,
                        const Tile& pTile, double Tile_Buffer, const std::string& projection) {
    std::string shpname;
    std::string dbfname;
    std::string prjname;
    try {
        const std::string base = prefix + "_Tiles" + suffix;
        shpname = base + ".shp";
        dbfname = base + ".dbf";
        prjname = base + ".prj";
    } catch (const std::bad_alloc&) {
        fail("Out of memory while naming the files %s_Tiles%s\n", prefix.c_str(), suffix.c_str());
    }
    createSHP(shpname);
    addtoSHP(shpname, pTile, TileSize, Tile_Buffer);
    createShapefileDBF(dbfname);
    addtoShapefileDBF(dbfname, pTile);
    if (projection.empty())
        remove_projection_file(prjname);
    else
        write_projection_file(prjname, projection);
}

void createSHP(const std::string& shpname) {
    ShapeFile shp(SHPCreateLL(shpname.c_str(), SHPT_POLYGON, start_io_watch()));
    if (!shp) fail("Unable to create: %s\n", shpname.c_str());
    close_checked(shp, shpname);
}

void addtoSHP(const std::string& shpname, const Tile& pTile, double TileSize, double buffer) {
    ShapeFile shp(SHPOpenLL(shpname.c_str(), "r+b", start_io_watch()));
    if (!shp) fail("Unable to open %s for writing\n", shpname.c_str());
    try {
        const int bufsize = digit_width(pTile);
        for (unsigned i = 0; i < pTile.Rows; ++i)
            for (unsigned j = 0; j < pTile.Cols; ++j)
                write_outline(shp.get(), shpname, pTile, TileSize, buffer, i, j, bufsize);
    } catch (const std::bad_alloc&) {
        fail("Out of memory while writing %s\n", shpname.c_str());
    }
    close_checked(shp, shpname);
}

void createShapefileDBF(const std::string& dbfname) {
    Table dbf(create_table(dbfname));
    if (!dbf) fail("\nDBFCreate(%s) failed.\n", dbfname.c_str());
    const char* name = dbfname.c_str();
    if (DBFAddField(dbf.get(), "TileRow", FTInteger, 5, 0) == -1)
        fail("\nFailed to add TileRow field to %s\n", name);
    if (DBFAddField(dbf.get(), "TileCol", FTInteger, 5, 0) == -1)
        fail("\nFailed to add TileCol field to %s\n", name);
    if (DBFAddField(dbf.get(), "TileName", FTString, 12, 0) == -1)
        fail("\nFailed to add TileName field to %s\n", name);
    if (DBFAddField(dbf.get(), "Returns", FTInteger, 12, 0) == -1)
        fail("\nFailed to add Returns field to %s\n", name);
    close_checked(dbf, dbfname);
}

void addtoShapefileDBF(const std::string& dbfname, const Tile& pTile) {
    Table dbf(DBFOpenLL(dbfname.c_str(), "r+b", start_io_watch()));
    if (!dbf) fail("Failed to open %s for writing\n", dbfname.c_str());
    try {
        const int bufsize = digit_width(pTile);
        // The tiles that hold records, met in the same row-major order as
        // the grid is walked; every other tile has 0.
        const std::vector<std::uint32_t> filled = tiles_with_points();
        std::size_t next = 0;
        for (unsigned i = 0; i < pTile.Rows; ++i) {
            for (unsigned j = 0; j < pTile.Cols; ++j) {
                const auto r = static_cast<std::uint16_t>(i), c = static_cast<std::uint16_t>(j);
                std::uint64_t points = 0;
                if (next < filled.size() && filled[next] == tile_key(r, c)) {
                    points = _tileInfo.points_in(r, c);
                    ++next;
                }
                write_attributes(dbf.get(), dbfname, pTile, i, j, bufsize, points);
            }
        }
    } catch (const std::bad_alloc&) {
        fail("Out of memory while writing %s\n", dbfname.c_str());
    }
    close_checked(dbf, dbfname);
}

}  // namespace tessaro
