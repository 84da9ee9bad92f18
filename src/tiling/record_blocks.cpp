#include "record_blocks.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "console.hpp"

namespace tessaro {
namespace {

[[noreturn]] void short_file(const RecordBlocks& b) {
    fail("\nFile %s ends after %llu of its %llu point records\n", b.name,
         static_cast<unsigned long long>(b.done), static_cast<unsigned long long>(b.total));
}

}  // namespace

RecordBlocks start_record_blocks(const char* name, int fd, const LAS12Header& header, std::uint64_t points,
                                 std::size_t len, unsigned char* block, std::size_t block_bytes) {
    RecordBlocks b;
    b.name = name;
    b.header = &header;
    b.len = len;
    b.per_block = block_bytes / len;
    b.block = block;
    b.fd = fd;
    b.total = points;
    b.limit = b.total;
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size >= 0) {
        const auto size = static_cast<std::uint64_t>(st.st_size);
        const std::uint64_t whole = size > header.OffsetToData ? (size - header.OffsetToData) / len : 0;
        const std::uint64_t group = kShortFileGroupBytes / len;
        if (whole < b.total) b.limit = whole / group * group;
    }
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);  // a hint only; its failure changes nothing
    return b;
}

RecordBlocks::~RecordBlocks() {
    for (const auto& job : ahead) wait_for_codec_job(*pool, *job);
}

RecordBlocks start_laz_blocks(const char* name, std::FILE* file, const LAS12Header& header,
                              std::uint64_t points, const LazInput& laz, CodecPool& pool) {
    RecordBlocks b;
    b.name = name;
    b.header = &header;
    b.len = header.PointDataRecordLength;
    b.fd = fileno(file);
    b.total = b.limit = points;
    b.compressed = true;
    b.layout = laz.layout;
    b.pool = &pool;
    LazChunkTable table = laz_chunks(file, header, points, laz);
    if (!table.refusal.empty())
        b.fault = "its chunk table cannot be read: " + table.refusal;
    else
        b.chunks = std::move(table.chunks);
    return b;
}

namespace {

// Hands the chunks after the one being routed to the codec, up to
// kChunksDecodedAhead of them; `job`, when given, is reused for the first.
void decode_ahead(RecordBlocks& b, std::unique_ptr<CodecJob> reused) {
    while (b.next_decode < b.chunks.size() && b.ahead.size() < kChunksDecodedAhead) {
        std::unique_ptr<CodecJob> job = reused ? std::move(reused) : std::make_unique<CodecJob>();
        const LazChunk& c = b.chunks[b.next_decode++];
        job->compress = false;
        job->layout = b.layout;
        job->fd = b.fd;
        job->offset = c.byte_offset;
        job->coded_bytes = c.byte_count;
        job->points = c.point_count;
        b.ahead.push_back(std::move(job));
        submit_codec_job(*b.pool, *b.ahead.back());
    }
}

// The next chunk of a LAZ file, decoded, in `b.decoded`.
bool next_chunk(RecordBlocks& b, const unsigned char*& records, std::size_t& count) {
    if (!b.fault.empty() || b.next_chunk == b.chunks.size()) return false;
    try {
        decode_ahead(b, nullptr);
        std::unique_ptr<CodecJob> job = std::move(b.ahead.front());
        b.ahead.pop_front();
        wait_for_codec_job(*b.pool, *job);
        ++b.next_chunk;
        if (!job->fault.empty()) {
            b.fault = "chunk " + std::to_string(b.next_chunk) + " cannot be read: " + job->fault;
            return false;
        }
        b.decoded.swap(job->records);
        decode_ahead(b, std::move(job));
    } catch (const std::bad_alloc&) {
        fail("\nOut of memory for chunk %zu of %s\n", b.next_chunk + 1, b.name);
    }
    const LazChunk& c = b.chunks[b.next_chunk - 1];
    records = b.decoded.data();
    count = static_cast<std::size_t>(c.point_count);
    b.done += c.point_count;
    return true;
}

}  // namespace

bool next_record_block(RecordBlocks& b, const unsigned char*& records, std::size_t& count) {
    if (b.compressed) return next_chunk(b, records, count);
    if (b.done == b.total) return false;
    if (b.done == b.limit) short_file(b);
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(b.limit - b.done, b.per_block));
    const auto pos = static_cast<off_t>(b.header->OffsetToData + b.done * b.len);
    std::size_t got = 0;
    while (got < n * b.len) {
        const ssize_t r = pread(b.fd, b.block + got, n * b.len - got, pos + static_cast<off_t>(got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) short_file(b);  // the file shrank while being read
        got += static_cast<std::size_t>(r);
    }
    records = b.block;
    count = n;
    b.done += n;
    return true;
}

}  // namespace tessaro
