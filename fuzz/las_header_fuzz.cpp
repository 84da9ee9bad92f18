// libFuzzer target over the LAS header readers and file validation: the
// input is the content of a LAS file. Checks, besides the sanitizers' own:
//  - header_from_bytes and header_to_bytes are inverse byte for byte;
//  - read_las_header reads exactly the first 227 bytes, or nothing;
//  - check_las returns -1 or a LAS type code 0 to 8, and a positive code
//    matches the file's point format and record length;
//  - a file that check_las_layout accepts keeps every promise it makes: a
//    whole header, HeaderSize >= 227, OffsetToData >= HeaderSize, all
//    declared records present, finite nonzero scale factors, finite offsets
//    and finite bounds, ordered when the file holds points;
//  - the coordinate system records of any file with a whole header, sound or
//    not, are each at most one record long, and a WKT text holds no NUL.
// Build and run with fuzz/build_and_run.sh.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "crs_records.hpp"
#include "las_records.hpp"
#include "lidar.hpp"

namespace {

std::string g_path;

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

void check_round_trip(const std::uint8_t* data, std::size_t size) {
    if (size < tessaro::kHeaderBytes) return;
    const tessaro::LAS12Header h = tessaro::header_from_bytes(data);
    unsigned char image[tessaro::kHeaderBytes];
    tessaro::header_to_bytes(h, image);
    if (std::memcmp(image, data, tessaro::kHeaderBytes) != 0) broken("header image round trip");
}

void check_crs_name(const tessaro::CrsName& name) {
    constexpr std::size_t kMaxRecord = 65535;
    if (name.geokeys.size() > kMaxRecord || name.geodoubles.size() > kMaxRecord ||
        name.geoascii.size() > kMaxRecord || name.wkt.size() > kMaxRecord ||
        name.wkt.find('\0') != std::string::npos)
        broken("coordinate system records");
}

void check_file(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(g_path.c_str(), "wb");
    if (f == nullptr) return;
    const bool written = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !written) return;

    f = std::fopen(g_path.c_str(), "rb");
    if (f == nullptr) return;
    const auto header = tessaro::read_las_header(f);
    if (header) check_crs_name(tessaro::read_crs_name(f, *header));
    std::fclose(f);
    if (header.has_value() != (size >= tessaro::kHeaderBytes)) broken("read_las_header and the file size");
    if (header) {
        unsigned char image[tessaro::kHeaderBytes];
        tessaro::header_to_bytes(*header, image);
        if (std::memcmp(image, data, tessaro::kHeaderBytes) != 0) broken("read_las_header bytes");
    }

    const std::int16_t code = tessaro::check_las(g_path.c_str());
    if (code < -1 || code > 8) broken("check_las code out of range");
    if (code <= 0) return;
    // check_las read the version, format and record length from the first
    // 107 bytes; a shorter file is refused before a code is made.
    if (size < 107) broken("check_las accepted a file without a format field");
    unsigned char padded[tessaro::kHeaderBytes] = {};
    std::memcpy(padded, data, std::min(size, tessaro::kHeaderBytes));
    const tessaro::LAS12Header h = tessaro::header_from_bytes(padded);
    if (tessaro::record_size_of_type(code) != h.PointDataRecordLength) broken("type code and record length");
    if (tessaro::point_record_size(h.PointDataFormatID) != h.PointDataRecordLength)
        broken("format and record length");

    if (tessaro::check_las_layout(g_path.c_str()) != 0) return;
    if (size < tessaro::kHeaderBytes) broken("layout accepted a short file");
    if (h.HeaderSize < tessaro::kHeaderBytes) broken("layout accepted HeaderSize below 227");
    if (h.OffsetToData < h.HeaderSize) broken("layout accepted OffsetToData inside the header");
    const unsigned long long need =
        static_cast<unsigned long long>(h.OffsetToData) +
        static_cast<unsigned long long>(h.NumberOfPointReturns) * h.PointDataRecordLength;
    if (size < need) broken("layout accepted a truncated file");
    for (double s : {h.XScaleFactor, h.YScaleFactor, h.ZScaleFactor})
        if (!std::isfinite(s) || s == 0.0) broken("layout accepted a scale factor");
    for (double o : {h.XOffset, h.YOffset, h.ZOffset})
        if (!std::isfinite(o)) broken("layout accepted an offset");
    for (double b : {h.MinX, h.MaxX, h.MinY, h.MaxY})
        if (!std::isfinite(b)) broken("layout accepted a bound");
    if (h.NumberOfPointReturns != 0 && (h.MinX > h.MaxX || h.MinY > h.MaxY))
        broken("layout accepted inverted bounds");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The checks print their messages on standard output; libFuzzer reports
    // on standard error.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    const char* dir = std::getenv("TMPDIR");
    g_path = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/tessaro-fuzz-" +
             std::to_string(static_cast<long>(getpid())) + ".las";
    std::atexit([] { unlink(g_path.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    check_round_trip(data, size);
    check_file(data, size);
    return 0;
}
