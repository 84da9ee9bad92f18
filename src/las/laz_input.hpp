// LAZ input files: the LAZ record among their variable-length records and
// their chunk table, checked when the file is validated, and the chunks read
// one at a time when its points are distributed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "las_records.hpp"
#include "laz_codec.hpp"

namespace tessaro {

// The most bytes of records one chunk may decode to: a chunk is decoded
// whole, so this bounds what reading a LAZ file holds.
inline constexpr std::uint64_t kMaxLazChunkRecordBytes = std::uint64_t{64} * 1024 * 1024;

// Points in a chunk of a LAZ tile, as LAZ files commonly hold them.
inline constexpr std::uint32_t kLazTileChunkPoints = 50000;

// Points in every chunk of a LAZ tile of records `record_length` bytes long
// but its last: kLazTileChunkPoints, fewer for records longer than 1342
// bytes, so that a chunk's records take at most kMaxLazChunkRecordBytes.
// Every chunk being compressed holds its records, so this bounds the memory
// of compression as it bounds that of decoding, and the tiles are inputs
// that this tool reads.
constexpr std::uint32_t laz_tile_chunk_points(std::uint64_t record_length) {
    const std::uint64_t fit = kMaxLazChunkRecordBytes / record_length;
    return fit < kLazTileChunkPoints ? static_cast<std::uint32_t>(fit) : kLazTileChunkPoints;
}
static_assert(laz_tile_chunk_points(65535) == 1024);

// The payload of the LAZ record of LAZ tiles of records of `layout`: chunks
// of laz_tile_chunk_points points.
std::vector<unsigned char> tile_laz_record(LazPointLayout layout);

// What validation found of a LAZ file.
struct LazInput {
    LazPointLayout layout;
    std::uint64_t record_at = 0;     // the LAZ record's payload, from the start of the file
    std::uint16_t record_bytes = 0;  // its length
    std::uint32_t chunk_size = 0;    // of the LAZ record
    std::uint64_t data_end = 0;      // where the chunks and their table end at the latest
};

// Checks a LAZ file of `kind` whose header is `header` and whose `points`
// records are compressed: its LAZ record fits the header, and its chunk
// table lies in the file and holds those records in chunks of at most
// kMaxLazChunkRecordBytes. `data_end` is where the point data ends at the
// latest (the first extended record, or the file's end). Prints a message
// naming the file and returns false when it cannot be read.
bool check_laz_input(const char* name, std::FILE* file, const LAS12Header& header, const LasKind& kind,
                     std::uint64_t points, std::uint64_t data_end, LazInput& laz);

// The chunk table of a LAZ file validated as `laz`; a refusal says why it
// can no longer be read.
LazChunkTable laz_chunks(std::FILE* file, const LAS12Header& header, std::uint64_t points,
                         const LazInput& laz);

}  // namespace tessaro
