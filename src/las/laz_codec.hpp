// LAZ: LAS point records compressed in independent chunks, through the
// vendored laz-perf codec. This is the one module that talks to the codec;
// the rest of the code includes only this header.
//
// A LAZ file is a LAS file whose point format byte has bit 7 set and whose
// variable-length records include the LAZ record (user id "laszip encoded",
// record id 22204). Its point data starts with an 8-byte offset of the chunk
// table; the chunks follow one another from there, each decodable on its own,
// and the chunk table after them gives each chunk's point count and byte
// count.
//
// Formats 0 to 3 are coded point by point (compressor 2), formats 6 to 8 in
// layers, one per field group (compressor 3). Every multi-byte value in a
// chunk, a record or the table is little-endian, on hosts of either byte
// order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessaro {

inline constexpr std::string_view kLazUserId = "laszip encoded";
inline constexpr std::uint16_t kLazRecordId = 22204;
// The LAZ record's chunk size when every chunk has its own point count.
inline constexpr std::uint32_t kLazVariableChunkSize = 0xFFFFFFFFu;
// Bit 7 of the header's point format byte marks the points as compressed.
inline constexpr std::uint8_t kLazFormatBit = 0x80;

// What the codec needs to know of the records: their point format (0 to 3 or
// 6 to 8) and how many bytes follow the format's own fields in each record.
struct LazPointLayout {
    unsigned format = 0;
    std::uint16_t extra_bytes = 0;
    bool operator==(const LazPointLayout&) const = default;
};

// Bytes of one record of that layout.
std::uint32_t laz_record_length(LazPointLayout layout);

// One entry of the LAZ record's item list.
struct LazItem {
    std::uint16_t type = 0;
    std::uint16_t size = 0;
    std::uint16_t version = 0;
    bool operator==(const LazItem&) const = default;
};

// The payload of the LAZ record, field by field.
struct LazRecord {
    std::uint16_t compressor = 0;  // 2 point by point, 3 layered; both chunked
    std::uint16_t coder = 0;       // 0: arithmetic
    std::uint8_t version_major = 0;
    std::uint8_t version_minor = 0;
    std::uint16_t version_revision = 0;
    std::uint32_t options = 0;
    std::uint32_t chunk_size = 0;  // points a chunk, or kLazVariableChunkSize
    std::int64_t special_evlr_count = -1;
    std::int64_t special_evlr_offset = -1;
    std::vector<LazItem> items;
    bool operator==(const LazRecord&) const = default;
};

// A LAZ record read from a file and checked against the file's header.
struct LazRecordCheck {
    LazRecord record;
    LazPointLayout layout;  // the records it describes
    std::string refusal;    // why the record cannot be used; empty when it can
};

// Reads the LAZ record's payload and checks it against the header's point
// format (bit 7 cleared) and record length: the format is one of 0-3 and 6-8,
// the record length is the format's size plus the extra bytes, the compressor
// and item list are those of the format with item versions the codec knows,
// and the chunk size is a point count or variable. A refusal is a sentence
// that the caller prints with the file's name.
LazRecordCheck check_laz_record(std::span<const unsigned char> payload, unsigned format,
                                unsigned record_length);

// The LAZ record of an output file with records of that layout and chunks of
// variable size.
LazRecord laz_record_for(LazPointLayout layout);

// The record's payload bytes (34 bytes and 6 an item).
std::vector<unsigned char> laz_record_payload(const LazRecord& record);

// Compresses whole records of that layout (`records.size()` a multiple of the
// record length, at least one record) into one chunk, replacing the contents
// of `chunk`. Every chunk starts from a fresh codec state, so chunks decode
// on their own.
void compress_chunk(LazPointLayout layout, std::span<const unsigned char> records,
                    std::vector<unsigned char>& chunk);

// Decompresses one chunk of `records.size()` / record length records (at
// least one) from exactly the bytes of `chunk` into `records`. A chunk that
// ends too early, whose layers do not add up to its length, or that the
// codec cannot read is refused: the returned sentence says why; it is empty
// when the records were decoded. No byte outside `chunk` is read.
std::string decompress_chunk(LazPointLayout layout, std::span<const unsigned char> chunk,
                             std::span<unsigned char> records);

// One chunk as the chunk table gives it.
struct LazChunk {
    std::uint64_t point_count = 0;
    std::uint64_t byte_offset = 0;  // from the start of the file
    std::uint64_t byte_count = 0;
    bool operator==(const LazChunk&) const = default;
};

// What bounds the chunks of one file.
struct LazFileLayout {
    std::uint64_t point_data_offset = 0;  // OffsetToData: where the table offset stands
    // The end of the bytes that hold the chunks and the table: the file size,
    // or the start of the first extended record when that lies after the
    // point data.
    std::uint64_t data_end = 0;
    std::uint64_t point_count = 0;    // of the header
    std::uint32_t record_length = 0;  // of the header
    std::uint32_t chunk_size = 0;     // of the LAZ record
};

struct LazChunkTable {
    std::vector<LazChunk> chunks;
    std::string refusal;  // why the table cannot be used; empty when it can
};

// Reads and checks the chunk table of an open LAZ file: its offset at the
// start of the point data, its header and every entry. The table must lie
// after the first chunk's start and before `data_end`, its chunks must hold
// the header's point count and lie, one after the other, between the start
// of the first chunk and the table, each at least one raw record long.
LazChunkTable read_chunk_table(std::FILE* file, const LazFileLayout& layout);

// The chunk table of the chunks of a file, in file order: its 8-byte header
// and coded entries, written at the end of the chunks. With the LAZ record's
// chunk size `chunk_size` kLazVariableChunkSize each entry has the chunk's
// point count and byte count, otherwise its byte count alone (every chunk
// but the last then holds `chunk_size` points). Counts are below 2^32.
std::vector<unsigned char> chunk_table_bytes(std::span<const LazChunk> chunks,
                                             std::uint32_t chunk_size = kLazVariableChunkSize);

// Laying out a LAZ file: the point data starts with the 8-byte offset of the
// chunk table, the first chunk right after it.
inline constexpr std::size_t kChunkTableOffsetBytes = 8;
constexpr std::uint64_t first_chunk_offset(std::uint64_t point_data_offset) {
    return point_data_offset + kChunkTableOffsetBytes;
}

// The 8-byte chunk table offset as stored in the file.
void store_chunk_table_offset(unsigned char* bytes, std::uint64_t table_offset);

// Writes the chunk table offset at the start of the point data of an open
// file (the position is left after it); false when the seek or write fails.
bool patch_chunk_table_offset(std::FILE* file, std::uint64_t point_data_offset, std::uint64_t table_offset);

}  // namespace tessaro
