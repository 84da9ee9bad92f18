// Routing the point records of a block to the tiles they go to.
#pragma once

#include <cstddef>

#include "file_job.hpp"

namespace tessaro {

// Routes every record of a block of `count` records of the job's record
// length: each goes to its home tile and, with a buffer, to the neighbours
// whose buffered square holds it, in input order within each tile. Records
// outside the job's header bounds are counted in `job.outside`.
void route_records(FileJob& job, const unsigned char* records, std::size_t count);

}  // namespace tessaro
