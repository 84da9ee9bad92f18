// Helpers for the shapefile tests: reading layers back through GDAL's
// ogrinfo, and running a writer in a child process to see how it ends.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tessaro::test {

// What ogrinfo reports about the one layer of a shapefile or dBASE table.
struct OgrLayer {
    // Empty when ogrinfo ran cleanly; otherwise what went wrong (not
    // installed, non-zero exit, anything on standard error, a "Warning" or
    // "ERROR" line), with its output.
    std::string problem;
    std::string geometry;             // "Polygon", "None", ...
    long feature_count = -1;          // "Feature Count: N"
    std::string extent;               // "(x, y) - (x, y)"; empty if not reported
    std::string srs_id;               // "EPSG:32633": the identifier of the layer's system, if any
    std::vector<std::string> fields;  // "TileRow: Integer (5.0)", in table order
    struct Feature {
        std::vector<std::string> attributes;  // "TileRow (Integer) = 1", in table order
        std::string geometry;                 // "POLYGON ((...))", empty for a bare table
    };
    std::vector<Feature> features;
};

// Runs `ogrinfo -al -so` and `ogrinfo -al` on `path`.
OgrLayer read_layer(const std::string& path);

// How a child process ended and what it printed on standard output.
struct ChildResult {
    int status = -1;  // exit status 0-255, -1 when ended by a signal
    int signal = 0;
    std::string output;
};

// Runs `body` in a forked child whose standard output is captured; a body
// that returns ends the child with status 0. `file_size_limit` > 0 limits the
// size of every file the child writes (RLIMIT_FSIZE, with SIGXFSZ ignored so
// that writes beyond it fail with EFBIG instead of killing the child).
ChildResult run_in_child(const std::function<void()>& body, long file_size_limit = 0);

// In a child run as root: becomes the unprivileged user "nobody" (65534), so
// that permission bits apply; ends the child with status 100 if it cannot.
void drop_root();

// Names of the entries of `directory`, sorted.
std::vector<std::string> directory_entries(const std::string& directory);

}  // namespace tessaro::test
