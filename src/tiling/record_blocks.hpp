// The point records of one input file, read a block at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "codec_pool.hpp"
#include "las_records.hpp"
#include "laz_input.hpp"

namespace tessaro {

// Bytes of point records read from an input file at a time: the records of
// a block go from it straight into the tiles' staging buffers, or from it to
// the tile files in long runs, so it is sized for the processor's cache
// rather than for the disk.
inline constexpr std::size_t kReadBlockBytes = std::size_t{1024} * 1024;

// Records of a file that holds fewer whole records than its header declares
// are distributed in whole groups of this many bytes; the run then ends,
// reporting the records of those groups.
inline constexpr std::size_t kShortFileGroupBytes = std::size_t{4} * 1024 * 1024;

// Whole point records of one input file: each block holds
// kReadBlockBytes / record length records (the last one fewer).
struct RecordBlocks {
    const char* name = nullptr;
    const LAS12Header* header = nullptr;
    std::size_t len = 0;
    std::uint64_t per_block = 0;
    unsigned char* block = nullptr;
    int fd = -1;
    std::uint64_t total = 0;  // records the header declares
    std::uint64_t limit = 0;  // records distributed before a short file ends the run
    std::uint64_t done = 0;
    // A LAZ file: its chunks, each decoded whole in its turn, and why one
    // could not be (the run cannot go on then).
    // The next chunks are decoded ahead, on the codec's workers.
    bool compressed = false;
    LazPointLayout layout{};
    std::vector<LazChunk> chunks;
    std::size_t next_chunk = 0;   // the chunk the next block is
    std::size_t next_decode = 0;  // the chunk to hand to the codec next
    CodecPool* pool = nullptr;
    std::deque<std::unique_ptr<CodecJob>> ahead;
    std::vector<unsigned char> decoded;
    std::string fault;

    RecordBlocks() = default;
    RecordBlocks(RecordBlocks&&) = default;
    RecordBlocks& operator=(RecordBlocks&&) = default;
    // Waits for the chunks being decoded: they read into buffers of their own.
    ~RecordBlocks();
};

// Chunks of a LAZ file decoded ahead of the one being routed.
inline constexpr std::size_t kChunksDecodedAhead = 3;

// Starts reading the `points` records of the open file `fd` (named `name`,
// with header `header`) into `block`, `block_bytes` long.
RecordBlocks start_record_blocks(const char* name, int fd, const LAS12Header& header, std::uint64_t points,
                                 std::size_t len, unsigned char* block, std::size_t block_bytes);

// Starts reading the records of the open LAZ file `file` (named `name`, with
// header `header`, validated as `laz`) chunk by chunk; `fault` says why
// when its chunk table can no longer be read.
RecordBlocks start_laz_blocks(const char* name, std::FILE* file, const LAS12Header& header,
                              std::uint64_t points, const LazInput& laz, CodecPool& pool);

// Reads the next block (of a LAZ file: its next chunk, decoded); its records
// and their count, valid until the next call. False after the last one, or
// when a chunk cannot be read, with `fault` saying why; ends the run when
// the file holds fewer records than it declares.
bool next_record_block(RecordBlocks& b, const unsigned char*& records, std::size_t& count);

}  // namespace tessaro
