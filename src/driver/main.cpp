// Entry point of tessaro: cuts LAS surveys into square tiles.
#include <cstdio>
#include <exception>
#include <new>

#include "run_sequence.hpp"

int main(int argc, char** argv) {
    try {
        return tessaro::run(argc, argv);
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
