// Owners for shapelib handles and the checks shared by the shapefile and
// table writers.
#pragma once

#include <shapefil.h>

#include <cstdint>
#include <string>

#include "console.hpp"

namespace tessaro {

using ShapeFile = Handle<SHPInfo, SHPClose>;
using Table = Handle<DBFInfo, DBFClose>;
using ShapeObject = Handle<SHPObject, SHPDestroyObject>;

// Creates an empty dBASE table under the current I/O watch, with the same
// language driver mark as shapelib's plain DBFCreate and no code page file.
DBFHandle create_table(const std::string& dbfname);

// Closes the handle, then ends the run with a message naming the file if any
// write, flush or close of the watch failed.
void close_checked(ShapeFile& shp, const std::string& shpname);
void close_checked(Table& dbf, const std::string& dbfname);

// Record number k as shapelib's int; a file cannot hold more records than
// that, so a larger number ends the run with a message naming the file.
int record_number(unsigned long long k, const std::string& name);

// Writes a point count to a numeric field of no decimals. A count beyond the
// int range of DBFWriteIntegerAttribute goes through the double variant,
// which formats integral values the same way. Returns shapelib's result.
int write_count(DBFHandle dbf, int record, int field, std::uint64_t count);

}  // namespace tessaro
