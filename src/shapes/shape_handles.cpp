#include "shape_handles.hpp"

#include <climits>

#include "console.hpp"
#include "io_watch.hpp"

namespace tessaro {

DBFHandle create_table(const std::string& dbfname) {
    return DBFCreateLL(dbfname.c_str(), "LDID/87", start_io_watch());
}

void close_checked(ShapeFile& shp, const std::string& shpname) {
    shp.reset();
    finish_io_watch(shpname);
}

void close_checked(Table& dbf, const std::string& dbfname) {
    dbf.reset();
    finish_io_watch(dbfname);
}

int record_number(unsigned long long k, const std::string& name) {
    if (k > static_cast<unsigned long long>(INT_MAX))
        fail("Failed to write %s: more than %d records\n", name.c_str(), INT_MAX);
    return static_cast<int>(k);
}

int write_count(DBFHandle dbf, int record, int field, std::uint64_t count) {
    if (count <= static_cast<std::uint64_t>(INT_MAX))
        return DBFWriteIntegerAttribute(dbf, record, field, static_cast<int>(count));
    return DBFWriteDoubleAttribute(dbf, record, field, static_cast<double>(count));
}

}  // namespace tessaro
