// The horizontal coordinate system a LAS file names in its variable-length
// records, and what all files of a survey name together.
//
// Two records name a system: the GeoKeyDirectory (user id "LASF_Projection",
// record id 34735), whose ProjectedCSTypeGeoKey or, without one,
// GeographicTypeGeoKey holds an EPSG code, and the OGC coordinate system WKT
// (user id "LASF_Projection", record id 2112). Only the records are read here;
// turning a name into a coordinate system is left to the tile index writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "las_records.hpp"

namespace tessaro {

enum class CrsSource : std::uint8_t { None, EpsgCode, Wkt };

// How one file names its coordinate system.
struct CrsName {
    CrsSource source = CrsSource::None;
    std::uint16_t epsg = 0;  // EpsgCode: 1 to 32766
    std::string wkt;         // Wkt: the record's text up to its first NUL, not empty

    bool operator==(const CrsName&) const = default;
};

// The EPSG code that a GeoKeyDirectory payload of `size` bytes names: the
// value of ProjectedCSTypeGeoKey (3072) or, when that key is absent, of
// GeographicTypeGeoKey (2048). 0 when the directory is malformed (wrong
// version, key entries past its end), names neither key, or the key is
// undefined, user-defined (32767) or not held in the entry itself.
std::uint16_t geokey_epsg_code(const unsigned char* payload, std::size_t size);

// Walks the variable-length records of an open LAS file whose public header
// is `header` and which stands right after that header's 227 bytes; the
// records lie from HeaderSize up to OffsetToData. The GeoKeyDirectory
// decides when it names a code, otherwise the WKT record. A file whose records
// do not fit that area (a count, a length or a read that runs past it) names
// no system. Only the record headers and the two payloads are read.
CrsName read_crs_name(std::FILE* file, const LAS12Header& header);

// The most differently written names a survey may carry and still be found
// to name one system; they are compared when the system is made.
inline constexpr std::size_t kMaxSurveyCrsNames = 4;

// What the files of a survey name, gathered one file at a time.
struct SurveyCrs {
    // False once a file names no system or there are more than
    // kMaxSurveyCrsNames different names; `names` is then empty.
    bool named_by_all = true;
    std::vector<CrsName> names;  // distinct, in list order of first appearance
};

// Adds the name of the next listed file.
void add_file_crs(SurveyCrs& survey, CrsName name);

}  // namespace tessaro
