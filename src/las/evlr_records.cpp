#include "evlr_records.hpp"

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "console.hpp"
#include "las_bytes.hpp"

namespace tessaro {

bool locate_evlrs(const char* filename, int fd, std::uint64_t start, std::uint32_t count,
                  std::uint64_t points_end, std::uint64_t size, EvlrSpan& span) {
    span = EvlrSpan{start, start};
    if (count == 0) return true;
    if (start < points_end || start > size) {
        std::printf(
            "\nThe extended variable length records of %s begin at byte %llu, outside the %llu bytes "
            "after its point records\n",
            filename, static_cast<unsigned long long>(start),
            static_cast<unsigned long long>(size - (points_end < size ? points_end : size)));
        return false;
    }
    std::uint64_t pos = start;
    for (std::uint32_t k = 0; k < count; ++k) {
        unsigned char header[kEvlrHeaderBytes];
        const bool whole = size - pos >= kEvlrHeaderBytes && read_at(fd, header, sizeof header, pos) &&
                           load_le(header + kEvlrLengthAt, 8) <= size - pos - kEvlrHeaderBytes;
        if (!whole) {
            std::printf("\nExtended variable length record %u of %s does not lie whole in the file\n", k + 1,
                        filename);
            return false;
        }
        pos += kEvlrHeaderBytes + load_le(header + kEvlrLengthAt, 8);
    }
    span.end = pos;
    return true;
}

}  // namespace tessaro
