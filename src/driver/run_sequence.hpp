// One run of the tiler, from the command line to the elapsed-time line.
#pragma once

namespace tessaro {

// What tells one command of the tiler from another.
struct RunRules {
    // Most tiles one input file may spread over before the run is refused; 0
    // for no limit.
    unsigned max_tiles_per_file;
    // LAS 1.3 and 1.4, point formats 6 to 8 and records with extra bytes are
    // taken too, and the point total of a run is not limited to 32 bits.
    bool any_version;
};

// Runs every stage in order; returns 0 after a complete run. Every failure
// ends the process with status -1 where it is found.
int run(int argc, char** argv, const RunRules& rules);

}  // namespace tessaro
