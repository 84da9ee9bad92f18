// Entry point of tessaro: cuts LAS surveys into square tiles. Built twice:
// as tessaro, which takes LAS 1.0 to 1.2 and refuses an input file that
// spreads over more than 99 tiles, and as tessaro_unbounded, which tiles
// files of any extent (TESSARO_MAX_TILES_PER_FILE=0), of LAS 1.0 to 1.4
// with extra bytes (TESSARO_ANY_VERSION).
#include <cstdio>
#include <exception>
#include <new>

#include "run_sequence.hpp"
#include "span_check.hpp"

#ifndef TESSARO_MAX_TILES_PER_FILE
#define TESSARO_MAX_TILES_PER_FILE tessaro::kMaxTilesPerFile
#endif
#ifndef TESSARO_ANY_VERSION
#define TESSARO_ANY_VERSION false
#endif

int main(int argc, char** argv) {
    try {
        return tessaro::run(
            argc, argv,
            {.max_tiles_per_file = TESSARO_MAX_TILES_PER_FILE, .any_version = TESSARO_ANY_VERSION});
    } catch (const std::bad_alloc&) {
        std::printf("\nOut of memory\n");
    } catch (const std::exception& e) {
        std::printf("\nUnexpected failure: %s\n", e.what());
    } catch (...) {
        std::printf("\nUnexpected failure\n");
    }
    std::fflush(stdout);
    return -1;
}
