// One run of the tiler, from the command line to the elapsed-time line.
#pragma once

namespace tessaro {

// Runs every stage in order; returns 0 after a complete run. Every failure
// ends the process with status -1 where it is found.
int run(int argc, char** argv);

}  // namespace tessaro
