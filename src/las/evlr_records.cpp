#include "evlr_records.hpp"

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "las_bytes.hpp"

namespace tessaro {
namespace {

// Reads `n` bytes at `pos`; false when they cannot all be read.
bool read_at(int fd, unsigned char* out, std::size_t n, std::uint64_t pos) {
    while (n > 0) {
        const ssize_t got = pread(fd, out, n, static_cast<off_t>(pos));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        n -= static_cast<std::size_t>(got);
        pos += static_cast<std::uint64_t>(got);
    }
    return true;
}

}  // namespace

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

std::optional<std::vector<unsigned char>> read_evlr_payload(int fd, const EvlrSpan& span, std::uint32_t count,
                                                            const char* user_id, std::uint16_t record_id,
                                                            std::uint64_t max_bytes) {
    constexpr std::size_t kUserIdAt = 2, kUserIdBytes = 16, kRecordIdAt = 18;
    const std::size_t id_length = std::strlen(user_id);
    std::uint64_t pos = span.begin;
    for (std::uint32_t k = 0; k < count && span.end - pos >= kEvlrHeaderBytes; ++k) {
        unsigned char header[kEvlrHeaderBytes];
        if (!read_at(fd, header, sizeof header, pos)) return std::nullopt;
        const std::uint64_t length = load_le(header + kEvlrLengthAt, 8);
        pos += kEvlrHeaderBytes;
        if (length > span.end - pos) return std::nullopt;
        const unsigned char* id = header + kUserIdAt;
        const bool match = id_length <= kUserIdBytes && std::memcmp(id, user_id, id_length) == 0 &&
                           (id_length == kUserIdBytes || id[id_length] == 0) &&
                           load_u16le(header + kRecordIdAt) == record_id;
        if (match) {
            if (length > max_bytes) return std::nullopt;
            std::vector<unsigned char> payload(static_cast<std::size_t>(length));
            if (!read_at(fd, payload.data(), payload.size(), pos)) return std::nullopt;
            return payload;
        }
        pos += length;
    }
    return std::nullopt;
}

}  // namespace tessaro
