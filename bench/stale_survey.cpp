// tessaro_stale_survey: writes a survey whose files' headers are stale. Two
// tiny files with true headers at opposite corners of a square area set the
// extent; each of the other files holds points spread over the whole area
// while its header claims a small box at the area's south-west corner, as
// files edited by other software often do.
//
//   tessaro_stale_survey DIR FILES POINTS_PER_FILE [SIDE [BOX]]
//
// SIDE is the side of the area in metres (default 3000), BOX that of the box
// the stale headers claim (default 10). The list file is DIR/survey.txt.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "survey_writer.hpp"

namespace {

using tessaro::LAS12Header;
using tessaro::survey::PointRecord;

PointRecord point_at(double x, double y, unsigned ret) {
    PointRecord p;
    p.X = static_cast<std::int32_t>(x * 100);
    p.Y = static_cast<std::int32_t>(y * 100);
    p.Z = 10000 + static_cast<std::int32_t>(ret);
    p.bitfield = static_cast<std::uint8_t>(ret | 3 << 3);
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 6) {
        std::fprintf(stderr, "Usage: tessaro_stale_survey DIR FILES POINTS_PER_FILE [SIDE [BOX]]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const unsigned files = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    const unsigned per_file = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
    const double side = argc > 4 ? std::strtod(argv[4], nullptr) : 3000.0;
    const double box = argc > 5 ? std::strtod(argv[5], nullptr) : 10.0;
    if (files == 0 || per_file == 0 || !(side > box) || !(box > 0)) {
        std::fprintf(stderr,
                     "tessaro_stale_survey: FILES and POINTS_PER_FILE must be positive, SIDE > BOX > 0\n");
        return 2;
    }
    try {
        std::filesystem::create_directories(dir);
        tessaro::survey::LasFileSpec spec;
        spec.PointDataFormatID = 1;
        std::vector<std::string> names{"corner_sw.las", "corner_ne.las"};
        tessaro::survey::write_las_file(dir + "/" + names[0], spec, {point_at(0.5, 0.5, 1)});
        tessaro::survey::write_las_file(dir + "/" + names[1], spec, {point_at(side - 0.5, side - 0.5, 1)});
        // A fixed seed on purpose: the same survey on every run and platform.
        std::mt19937_64 rng(0x5EED);  // NOLINT(cert-msc32-c,cert-msc51-cpp)
        const auto span = static_cast<std::uint64_t>((side - 1.0) * 100.0);
        for (unsigned f = 0; f < files; ++f) {
            std::vector<PointRecord> points;
            points.reserve(per_file);
            for (unsigned k = 0; k < per_file; ++k)
                points.push_back(point_at(0.5 + static_cast<double>(rng() % span) / 100.0,
                                          0.5 + static_cast<double>(rng() % span) / 100.0, 1 + k % 3));
            LAS12Header h = tessaro::survey::make_header(spec, points);
            h.MinX = h.MinY = 1.0;
            h.MaxX = h.MaxY = 1.0 + box;
            char name[32];
            std::snprintf(name, sizeof name, "stale_%04u.las", f + 1);
            names.emplace_back(name);
            tessaro::survey::write_las_file(dir + "/" + name, spec, h, points);
        }
        std::ofstream list(dir + "/survey.txt");
        for (const std::string& n : names) list << dir << "/" << n << "\n";
        if (!list.flush()) throw std::runtime_error("cannot write " + dir + "/survey.txt");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessaro_stale_survey: %s\n", e.what());
        return 1;
    }
    return 0;
}
