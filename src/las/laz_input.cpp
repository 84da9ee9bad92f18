#include "laz_input.hpp"

#include <sys/types.h>

#include <algorithm>
#include <cstring>

#include "las_bytes.hpp"

namespace tessaro {
namespace {

// Variable-length record header: Reserved (2), UserID (16), RecordID (2),
// RecordLengthAfterHeader (2), Description (32).
constexpr std::uint64_t kVlrHeaderBytes = 54;

// Finds the LAZ record among the records between the header block and the
// points; false when there is none.
bool find_laz_record(std::FILE* file, const LAS12Header& h, LazInput& laz,
                     std::vector<unsigned char>& payload) {
    std::uint64_t at = h.HeaderSize;
    const std::uint64_t end = h.OffsetToData;
    for (std::uint32_t k = 0; k < h.NumberOfVariableLengthRecords && end - at >= kVlrHeaderBytes; ++k) {
        unsigned char head[kVlrHeaderBytes];
        if (fseeko(file, static_cast<off_t>(at), SEEK_SET) != 0 ||
            std::fread(head, 1, sizeof head, file) != sizeof head)
            return false;
        const std::uint16_t length = load_u16le(head + 20);
        at += kVlrHeaderBytes;
        if (end - at < length) return false;
        const bool user = std::memcmp(head + 2, kLazUserId.data(), kLazUserId.size()) == 0 &&
                          (kLazUserId.size() == 16 || head[2 + kLazUserId.size()] == 0);
        if (user && load_u16le(head + 18) == kLazRecordId) {
            payload.resize(length);
            if (length != 0 && std::fread(payload.data(), 1, length, file) != length) return false;
            laz.record_at = at;
            laz.record_bytes = length;
            return true;
        }
        at += length;
    }
    return false;
}

LazFileLayout file_layout(const LAS12Header& h, std::uint64_t points, const LazInput& laz) {
    LazFileLayout layout;
    layout.point_data_offset = h.OffsetToData;
    layout.data_end = laz.data_end;
    layout.point_count = points;
    layout.record_length = h.PointDataRecordLength;
    layout.chunk_size = laz.chunk_size;
    return layout;
}

}  // namespace

bool check_laz_input(const char* name, std::FILE* file, const LAS12Header& header, const LasKind& kind,
                     std::uint64_t points, std::uint64_t data_end, LazInput& laz) {
    std::vector<unsigned char> payload;
    if (!find_laz_record(file, header, laz, payload)) {
        std::printf(
            "\nFile %s is compressed, but holds no LAZ record (user id \"laszip encoded\", record 22204)\n",
            name);
        return false;
    }
    const LazRecordCheck check = check_laz_record(payload, kind.format.id, kind.record_length);
    if (!check.refusal.empty()) {
        std::printf("\nThe LAZ record of %s cannot be used: %s\n", name, check.refusal.c_str());
        return false;
    }
    // Tiles carry a record of the same items, written over this one.
    if (tile_laz_record(check.layout).size() > laz.record_bytes) {
        std::printf("\nThe LAZ record of %s cannot be used: it is shorter than its items\n", name);
        return false;
    }
    laz.layout = check.layout;
    laz.chunk_size = check.record.chunk_size;
    laz.data_end = data_end;
    const LazChunkTable table = laz_chunks(file, header, points, laz);
    if (!table.refusal.empty()) {
        std::printf("\nThe chunk table of %s cannot be used: %s\n", name, table.refusal.c_str());
        return false;
    }
    for (std::size_t k = 0; k < table.chunks.size(); ++k) {
        if (table.chunks[k].point_count > kMaxLazChunkRecordBytes / kind.record_length) {
            std::printf("\nChunk %zu of %s holds %llu points, more than the %llu one chunk may hold here\n",
                        k + 1, name, static_cast<unsigned long long>(table.chunks[k].point_count),
                        static_cast<unsigned long long>(kMaxLazChunkRecordBytes / kind.record_length));
            return false;
        }
    }
    return true;
}

std::vector<unsigned char> tile_laz_record(LazPointLayout layout) {
    LazRecord record = laz_record_for(layout);
    record.chunk_size = laz_tile_chunk_points(laz_record_length(layout));
    return laz_record_payload(record);
}

LazChunkTable laz_chunks(std::FILE* file, const LAS12Header& header, std::uint64_t points,
                         const LazInput& laz) {
    return read_chunk_table(file, file_layout(header, points, laz));
}

}  // namespace tessaro
