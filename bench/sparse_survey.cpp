// tessaro_sparse_survey: writes one LAS file of two points at opposite
// corners of a WIDTH x HEIGHT area, so that its header bounds span the whole
// area while its points touch two tiles: the widest tile range a file can
// have for the records it holds.
//
//   tessaro_sparse_survey DIR WIDTH HEIGHT
//
// The file is DIR/corners.las, the list file DIR/survey.txt.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "survey_writer.hpp"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "Usage: tessaro_sparse_survey DIR WIDTH HEIGHT\n");
        return 2;
    }
    const std::string dir = argv[1];
    const double width = std::strtod(argv[2], nullptr), height = std::strtod(argv[3], nullptr);
    if (!(width >= 1 && height >= 1 && width < 1e7 && height < 1e7)) {
        std::fprintf(stderr, "tessaro_sparse_survey: WIDTH and HEIGHT must lie between 1 and 1e7\n");
        return 2;
    }
    try {
        std::filesystem::create_directories(dir);
        tessaro::survey::LasFileSpec spec;
        spec.PointDataFormatID = 1;
        tessaro::survey::PointRecord sw, ne;
        sw.bitfield = ne.bitfield = 1 | 1 << 3;
        ne.X = static_cast<std::int32_t>(width * 100);
        ne.Y = static_cast<std::int32_t>(height * 100);
        tessaro::survey::write_las_file(dir + "/corners.las", spec, {sw, ne});
        std::ofstream list(dir + "/survey.txt");
        list << dir << "/corners.las\n";
        if (!list.flush()) throw std::runtime_error("cannot write " + dir + "/survey.txt");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessaro_sparse_survey: %s\n", e.what());
        return 1;
    }
    return 0;
}
