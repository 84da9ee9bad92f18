// The extended variable-length records of a LAS 1.4 file: after its point
// records, each a 60-byte header (reserved, user id, record id, the length
// of its payload in 64 bits, description) and its payload.
#pragma once

#include <cstdint>

namespace tessaro {

inline constexpr std::uint64_t kEvlrHeaderBytes = 60;
// The payload length's place in a record's header.
inline constexpr std::uint64_t kEvlrLengthAt = 20;

// The bytes [begin, end) of a file that its extended records occupy.
struct EvlrSpan {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};

// Walks the `count` records from byte `start` of the open file `fd`, which
// holds `size` bytes, its point records ending at `points_end`. Prints a
// message naming `filename` and returns false when they do not begin after
// the points or one does not lie whole in the file; otherwise `span` is
// where they lie.
bool locate_evlrs(const char* filename, int fd, std::uint64_t start, std::uint32_t count,
                  std::uint64_t points_end, std::uint64_t size, EvlrSpan& span);


}  // namespace tessaro
