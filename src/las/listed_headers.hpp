// What the passes over the list read of each listed file's header, so that a
// later pass can tell a file that was replaced or rewritten in between: the
// grid, the span check and the record arithmetic all rest on those values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "las_records.hpp"

namespace tessaro {

// One digest per listed file, in list order, of the header fields the run
// relies on: version, point format and record length, header size, offset to
// the points and record count of the variable-length records, point counts,
// scale factors, offsets and bounds.
struct ListedHeaders {
    std::vector<std::uint64_t> digests;
};

std::uint64_t header_digest(const LAS12Header& header);

// Records the header of the next listed file.
void note_listed_header(ListedHeaders& listed, const LAS12Header& header);

// Ends the run when the header of listed file `nth` (from 0), named `name`,
// differs from what was noted of it.
void check_listed_header(const ListedHeaders& listed, std::size_t nth, const LAS12Header& header,
                         const char* name);

}  // namespace tessaro
