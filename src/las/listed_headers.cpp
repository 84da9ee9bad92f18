#include "listed_headers.hpp"

#include <new>

#include "console.hpp"
#include "las_bytes.hpp"

namespace tessaro {
namespace {

// FNV-1a, 64 bits: any change of a byte changes the digest but by a chance of
// one in 2^64.
std::uint64_t fnv1a(std::uint64_t h, const unsigned char* p, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        h ^= p[k];
        h *= 0x100000001b3ULL;
    }
    return h;
}

}  // namespace

std::uint64_t header_digest(const LAS12Header& header) {
    unsigned char image[kHeaderBytes];
    header_to_bytes(header, image);
    std::uint64_t h = 0xcbf29ce484222325ULL;
    const std::size_t version = header_offset("VersionMajor");
    h = fnv1a(h, image + version, 2);
    // HeaderSize up to the end of the block: every field from the data layout
    // to the bounds.
    const std::size_t layout = header_offset("HeaderSize");
    return fnv1a(h, image + layout, kHeaderBytes - layout);
}

void note_listed_header(ListedHeaders& listed, const LAS12Header& header) {
    try {
        listed.digests.push_back(header_digest(header));
    } catch (const std::bad_alloc&) {
        fail_line("Failed to allocate memory for the headers of the listed files");
    }
}

void check_listed_header(const ListedHeaders& listed, std::size_t nth, const LAS12Header& header,
                         const char* name) {
    if (nth >= listed.digests.size() || listed.digests[nth] != header_digest(header))
        fail("\nFile %s has changed since it was validated\n", name);
}

}  // namespace tessaro
