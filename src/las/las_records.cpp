#include "las_records.hpp"

#include <algorithm>
#include <array>
#include <utility>

namespace tessaro {
namespace {

// Offset and size of every multi-byte field of the header image.
constexpr std::array<std::pair<std::size_t, std::size_t>, 31> kHeaderFields{{
    {4, 2},   {6, 2},   {8, 4},   {12, 2},  {14, 2},  {90, 2},  {92, 2},  {94, 2},
    {96, 4},  {100, 4}, {105, 2}, {107, 4}, {111, 4}, {115, 4}, {119, 4}, {123, 4},
    {127, 4}, {131, 8}, {139, 8}, {147, 8}, {155, 8}, {163, 8}, {171, 8}, {179, 8},
    {187, 8}, {195, 8}, {203, 8}, {211, 8}, {219, 8}, {0, 0},   {0, 0},
}};

// Turns a little-endian image into host order or back (its own inverse).
void swap_to_host(unsigned char* image) {
    if constexpr (std::endian::native == std::endian::big) {
        for (auto [offset, size] : kHeaderFields) std::reverse(image + offset, image + offset + size);
    } else {
        (void)image;
    }
}

}  // namespace

LAS12Header header_from_bytes(const unsigned char* bytes) {
    std::array<unsigned char, kHeaderBytes> image;
    std::memcpy(image.data(), bytes, kHeaderBytes);
    swap_to_host(image.data());
    LAS12Header h;
    std::memcpy(&h, image.data(), kHeaderBytes);
    return h;
}

void header_to_bytes(const LAS12Header& header, unsigned char* bytes) {
    std::memcpy(bytes, &header, kHeaderBytes);
    swap_to_host(bytes);
}

}  // namespace tessaro
