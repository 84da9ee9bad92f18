// tessaro_verify: confirms that the tile files of a finished run hold every
// input record exactly where the tiling rules put it, under correct headers.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "conservation.hpp"

namespace {

constexpr const char* kUsage =
    "Usage: tessaro_verify [--unbounded] LIST PREFIX TILESIZE [BUFFER [RESOLUTION]]\n"
    "       tessaro_verify [--unbounded] LIST PREFIX TILESIZE [-b BUFFER] [-r RESOLUTION] [-s]\n"
    "\n"
    "Recomputes the tile grid of a tiling run from the headers of the files named\n"
    "in LIST and checks the tile files PREFIX<name>.las (.laz where the inputs are\n"
    "LAZ, whose records are compared decompressed): every input record once as\n"
    "home record in its tile, buffer copies exactly in the neighbours the buffer\n"
    "selects, byte for byte and in input order; no file for an empty tile; every\n"
    "tile header with its own counts and bounds. BUFFER 0 means no buffer; give a\n"
    "RESOLUTION only when the run had -r. -s is taken and ignored (the tile index\n"
    "is not checked), so that the tiler's own arguments can be given. A file that\n"
    "spreads over more than 99 tiles must have been refused, leaving no tile;\n"
    "with --unbounded (a run of tessaro_unbounded) it is checked as any other.\n"
    "Run it in the directory the tiler ran in.\n"
    "Exit status 0 when everything agrees, 1 at the first difference (leftover tile\n"
    "files are all listed), 2 on misuse.\n";

bool parse_number(const char* word, double& value) {
    char* end = nullptr;
    value = std::strtod(word, &end);
    return end != word && *end == '\0';
}

[[noreturn]] void misuse(const char* message) {
    std::fprintf(stderr, "tessaro_verify: %s\n\n%s", message, kUsage);
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    tessaro::verify::ConservationRequest rq;
    std::vector<std::string> positional;
    bool have_buffer = false;
    for (int k = 1; k < argc; ++k) {
        const std::string word = argv[k];
        if (word == "-h" || word == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (word == "--unbounded") {
            rq.unbounded = true;
            continue;
        }
        if (word == "-s") continue;  // the tile index is not checked
        if (word == "-b" || word == "-r") {
            if (k + 1 >= argc) misuse("an option lacks its value");
            double value = 0.0;
            if (!parse_number(argv[++k], value)) misuse("an option value is not a number");
            if (word == "-b") {
                rq.buffer = value;
                have_buffer = true;
            } else {
                rq.snap = true;
                rq.resolution = value;
            }
            continue;
        }
        positional.push_back(word);
    }
    if (positional.size() < 3 || positional.size() > 5) misuse("wrong number of arguments");
    rq.list_file = positional[0];
    rq.tile_prefix = positional[1];
    if (!parse_number(positional[2].c_str(), rq.tile_size)) misuse("TILESIZE is not a number");
    if (positional.size() >= 4) {
        if (have_buffer) misuse("the buffer is given twice");
        if (!parse_number(positional[3].c_str(), rq.buffer)) misuse("BUFFER is not a number");
    }
    if (positional.size() == 5) {
        if (rq.snap) misuse("the resolution is given twice");
        rq.snap = true;
        if (!parse_number(positional[4].c_str(), rq.resolution)) misuse("RESOLUTION is not a number");
    }
    const tessaro::verify::ConservationReport report = tessaro::verify::check_conservation(rq);
    std::printf("%s\n", report.message.c_str());
    return report.ok ? 0 : 1;
}
