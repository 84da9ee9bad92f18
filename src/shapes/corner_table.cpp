#include "corner_table.hpp"

#include <shapefil.h>

#include <new>

#include "console.hpp"
#include "io_watch.hpp"
#include "shape_handles.hpp"
#include "tile_table.hpp"

namespace tessaro {
namespace {

void write_corners(DBFHandle dbf, const std::string& dbfname, int k, const Tile& pTile, double TileSize,
                   unsigned i, unsigned j, int bufsize) {
    const std::string name = tile_label(bufsize, i + 1, j + 1);
    const auto check = [&](int written, const char* field) {
        if (!written) fail("Failed to write %s of tile %s to %s\n", field, name.c_str(), dbfname.c_str());
    };
    check(DBFWriteStringAttribute(dbf, k, 0, name.c_str()), "TileName");
    check(DBFWriteIntegerAttribute(dbf, k, 1, static_cast<int>(i + 1)), "TileRow");
    check(DBFWriteIntegerAttribute(dbf, k, 2, static_cast<int>(j + 1)), "TileCol");

    // A corner that does not fit 16 characters with 6 decimals is refused by
    // shapelib; the message shows the value.
    const auto corner = [&](int field, const char* field_name, double value) {
        if (!DBFWriteDoubleAttribute(dbf, k, field, value))
            fail("Failed to write %s = %.6f of tile %s to %s\n", field_name, value, name.c_str(),
                 dbfname.c_str());
    };
    corner(3, "Xmin", static_cast<double>(j) * TileSize + pTile.XMin);
    corner(4, "Ymin", static_cast<double>(i) * TileSize + pTile.YMin);
    corner(5, "Xmax", static_cast<double>(j + 1) * TileSize + pTile.XMin);
    corner(6, "Ymax", static_cast<double>(i + 1) * TileSize + pTile.YMin);
}

}  // namespace

void createCoordinateDBF(const std::string& dbfname) {
    Table dbf(create_table(dbfname));
    if (!dbf) fail("DBFCreate(%s) failed.\n", dbfname.c_str());
    const char* name = dbfname.c_str();
    if (DBFAddField(dbf.get(), "TileName", FTString, 12, 0) == -1)
        fail("Failed to add the TileName field to %s\n", name);
    if (DBFAddField(dbf.get(), "TileRow", FTInteger, 5, 0) == -1)
        fail("Failed to add the TileRow field to %s\n", name);
    if (DBFAddField(dbf.get(), "TileCol", FTInteger, 5, 0) == -1)
        fail("Failed to add the TileCol field to %s\n", name);
    if (DBFAddField(dbf.get(), "Xmin", FTDouble, 16, 6) == -1) fail("Failed to add field Xmin to %s\n", name);
    if (DBFAddField(dbf.get(), "Ymin", FTDouble, 16, 6) == -1) fail("Failed to add field Ymin to %s\n", name);
    if (DBFAddField(dbf.get(), "Xmax", FTDouble, 16, 6) == -1) fail("Failed to add field Xmax to %s\n", name);
    if (DBFAddField(dbf.get(), "Ymax", FTDouble, 16, 6) == -1) fail("Failed to add field Ymax to %s\n", name);
    close_checked(dbf, dbfname);
}

void addtoCoordinateDBF(const std::string& dbfname, const Tile& pTile, double TileSize) {
    Table dbf(DBFOpenLL(dbfname.c_str(), "r+b", start_io_watch()));
    if (!dbf) fail("Failed to open %s for writing\n", dbfname.c_str());
    try {
        const int bufsize = digit_width(pTile);
        unsigned long long records = 0;
        for (const std::uint32_t key : tiles_with_points()) {
            write_corners(dbf.get(), dbfname, record_number(records, dbfname), pTile, TileSize, key_row(key),
                          key_col(key), bufsize);
            ++records;
        }
    } catch (const std::bad_alloc&) {
        fail("Out of memory while writing %s\n", dbfname.c_str());
    }
    close_checked(dbf, dbfname);
}

}  // namespace tessaro
