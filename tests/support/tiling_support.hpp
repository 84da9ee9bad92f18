// Helpers of the tiling end-to-end and interoperability tests: small surveys
// built point by point, runs of the real binary checked for conservation,
// and reading tile files back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "conservation.hpp"
#include "run_binary.hpp"
#include "survey_writer.hpp"

namespace tessaro::test {

// A point at actual (x, y, z) for scale 0.01 and offset 0; `seed` varies the
// other fields so that every record's bytes differ.
survey::PointRecord point_at(double x, double y, double z = 100.0, unsigned return_number = 1,
                             unsigned seed = 0);

// A file layout of `version_minor` / `format` with scale 0.01 and offset 0;
// with `extras`, a header extension, two VLRs and padding before the points.
survey::LasFileSpec file_spec(unsigned version_minor, unsigned format, bool extras);

// A pseudo-random cloud of `n` points inside [x0, x1) x [y0, y1), on the
// 0.01 grid, with return numbers 0 to 7.
std::vector<survey::PointRecord> cloud(std::size_t n, double x0, double y0, double x1, double y1,
                                       unsigned seed);

// Writes `names` one per line to `dir`/`list`.
void write_list(const std::string& dir, const std::string& list, const std::vector<std::string>& names);

// A run's words after the three positional ones, and which tiler runs.
struct RunOptions {
    double buffer = 0.0;      // 0: no -b
    double resolution = 0.0;  // 0: no -r
    bool unbounded = false;   // tessaro_unbounded, checked as its runs are
};

std::vector<std::string> tessaro_args(const std::string& list, const std::string& prefix,
                                      const std::string& size, const RunOptions& options);

// The conservation check of the tiles of a run in `dir`.
verify::ConservationReport verify_tiles(const std::string& dir, const std::string& list,
                                        const std::string& prefix, double tile_size,
                                        const RunOptions& options = {});

// Runs the tiler (tessaro, or tessaro_unbounded) in `dir` and then the
// conservation check of its tiles.
struct CheckedRun {
    RunResult run;
    verify::ConservationReport check;
};
CheckedRun run_and_verify(const std::string& dir, const std::string& list, const std::string& prefix,
                          double tile_size, const RunOptions& options = {});

// The names of the files in `dir` that start with `stem` and end in ".las",
// sorted.
std::vector<std::string> files_with_stem(const std::string& dir, const std::string& stem);

// The header of a LAS file of any version and its point records: every whole
// PointDataRecordLength bytes from OffsetToData up to the extended
// variable-length records of a LAS 1.4 file, or else up to the end of the
// file, so that records beyond the header's count show.
struct LasContent {
    LAS12Header header{};      // the first 227 bytes
    survey::LasHeader las{};   // the whole header block of the file's version
    std::uint64_t points = 0;  // the LAS 1.4 point count, else the legacy one
    std::vector<std::vector<unsigned char>> records;
};
LasContent read_las(const std::string& path);

}  // namespace tessaro::test
