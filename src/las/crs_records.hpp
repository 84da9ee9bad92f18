// The horizontal coordinate system a LAS file names in its variable-length
// records, and what all files of a survey name together.
//
// Records of user id "LASF_Projection" name a system: GeoTIFF's three key
// records, the GeoKeyDirectory (record id 34735), its double parameters
// (34736) and its ASCII parameters (34737), and the OGC coordinate system WKT
// (2112). Only the records are read here; turning them into a coordinate
// system is left to the tile index writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "evlr_records.hpp"
#include "las_records.hpp"

namespace tessaro {

// The coordinate system records of one file, each as its payload bytes (the
// first of each id); a record the file lacks is empty.
struct CrsName {
    std::vector<unsigned char> geokeys;     // 34735: little-endian unsigned shorts
    std::vector<unsigned char> geodoubles;  // 34736: little-endian doubles
    std::vector<unsigned char> geoascii;    // 34737: ASCII parameters
    std::string wkt;                        // 2112: the record's text up to its first NUL
    // The file's system is its WKT record: a LAS 1.4 file says so in its
    // global encoding (bit 4), or its point format (6 and up) allows no other.
    bool wkt_first = false;

    // The file has a GeoKeyDirectory or a WKT text; the parameter records
    // alone name nothing.
    bool names_something() const { return !geokeys.empty() || !wkt.empty(); }
    bool operator==(const CrsName&) const = default;
};

// Walks the variable-length records of an open LAS file whose public header
// is `header` and which stands right after that header's 227 bytes; the
// records lie from HeaderSize up to OffsetToData. The records lying whole
// inside that area are read, in order, also when the header's record count
// runs past it: the walk stops at the first record whose header or payload
// would cross OffsetToData or cannot be read. Only the record headers and the
// four payloads are read.
CrsName read_crs_name(std::FILE* file, const LAS12Header& header);

// Adds the records of a LAS 1.4 file's `count` extended variable-length
// records, from byte `start` up to `end`, to `name`: each kind of record is
// taken from them only when the records before the points lack it. A record
// that does not lie whole before `end` ends the walk; payloads above 1 MiB
// are passed over.
void add_extended_crs_records(std::FILE* file, std::uint64_t start, std::uint32_t count, std::uint64_t end,
                              CrsName& name);

// The most differently written names a survey may carry and still be found
// to name one system; they are compared when the system is made.
inline constexpr std::size_t kMaxSurveyCrsNames = 4;

// What the files of a survey name, gathered one file at a time.
struct SurveyCrs {
    // False once a file names nothing or there are more than
    // kMaxSurveyCrsNames different names; `names` is then empty.
    bool named_by_all = true;
    std::vector<CrsName> names;  // distinct, in list order of first appearance
};

// Adds the name of the next listed file.
void add_file_crs(SurveyCrs& survey, CrsName name);

}  // namespace tessaro
