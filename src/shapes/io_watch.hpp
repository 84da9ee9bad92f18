// Checked file access for shapelib. shapelib's close calls return nothing and
// some of its writes are buffered until the close, so a full disk or a file
// grown past its size limit would go unnoticed. Every handle is therefore
// opened with hooks that record each failed write, flush and close, and each
// error shapelib reports, and the owner checks the record after the close.
#pragma once

#include <shapefil.h>

#include <string>

namespace tessaro {

// Starts a new watch (failures recorded so far are forgotten) and returns the
// hooks to hand to SHPCreateLL, SHPOpenLL, DBFCreateLL or DBFOpenLL. shapelib
// copies the hooks into the handle; only one watch is active at a time.
SAHooks* start_io_watch();

// After the watched handle is closed: when any write, flush or close failed,
// or shapelib reported an error, prints a message naming the file and ends
// the process with status -1. `name` is the file the caller opened; the
// message names the file that actually failed (".shx" for an index failure).
void finish_io_watch(const std::string& name);

}  // namespace tessaro
