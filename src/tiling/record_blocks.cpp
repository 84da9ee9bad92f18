#include "record_blocks.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "console.hpp"

namespace tessaro {
namespace {

[[noreturn]] void short_file(const RecordBlocks& b) {
    fail("\nFile %s ends after %u of its %u point records\n", b.name, static_cast<unsigned>(b.done),
         static_cast<unsigned>(b.header->NumberOfPointReturns));
}

// A mapped block of a file that another process cuts short raises SIGBUS
// when its lost pages are read. The run then ends with one message naming the
// file, as when a read comes up short. The signal can only come from reading
// records in the distribution's own code, never from inside stdio, so the
// handler may finish the console output before it ends the process.
volatile std::sig_atomic_t mapping_armed = 0;
const char* mapped_name = nullptr;

void on_lost_page(int) {
    if (mapping_armed != 0 && mapped_name != nullptr)
        std::printf("\nFile %s shrank while its point records were read\n", mapped_name);
    std::fflush(stdout);
    _exit(255);
}

void unmap(RecordBlocks& b) {
    if (b.mapped == nullptr) return;
    munmap(b.mapped, b.mapped_bytes);
    b.mapped = nullptr;
    b.mapped_bytes = 0;
}

// Maps the bytes [from, from + n) of the file; their address, or null when the
// file cannot be mapped.
const unsigned char* map_bytes(RecordBlocks& b, std::uint64_t from, std::size_t n) {
    unmap(b);
    static const auto page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    const std::uint64_t start = from / page * page;
    const auto length = static_cast<std::size_t>(from + n - start);
    void* m = mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, b.fd, static_cast<off_t>(start));
    if (m == MAP_FAILED) return nullptr;
    b.mapped = m;
    b.mapped_bytes = length;
    return static_cast<const unsigned char*>(m) + (from - start);
}

}  // namespace

RecordBlocks start_record_blocks(const char* name, int fd, const LAS12Header& header, std::size_t len,
                                 unsigned char* block, std::size_t block_bytes) {
    RecordBlocks b;
    b.name = name;
    b.header = &header;
    b.len = len;
    b.per_block = block_bytes / len;
    b.block = block;
    b.fd = fd;
    b.total = header.NumberOfPointReturns;
    b.limit = b.total;
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size >= 0) {
        const auto size = static_cast<std::uint64_t>(st.st_size);
        const std::uint64_t whole = size > header.OffsetToData ? (size - header.OffsetToData) / len : 0;
        const std::uint64_t group = kShortFileGroupBytes / len;
        if (whole < b.total) b.limit = whole / group * group;
    }
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);  // a hint only; its failure changes nothing
    b.per_map = kMapBlockBytes / len;
    mapped_name = name;
    struct sigaction action {};
    action.sa_handler = on_lost_page;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGBUS, &action, nullptr) != 0) b.per_map = 0;
    mapping_armed = 1;
    return b;
}

bool next_record_block(RecordBlocks& b, const unsigned char*& records, std::size_t& count) {
    if (b.done == b.total) return false;
    if (b.done == b.limit) short_file(b);
    if (b.per_map != 0) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(b.limit - b.done, b.per_map));
        const unsigned char* m = map_bytes(b, b.header->OffsetToData + b.done * b.len, n * b.len);
        if (m != nullptr) {
            records = m;
            count = n;
            b.done += n;
            return true;
        }
        b.per_map = 0;  // read the rest
    }
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

void end_record_blocks(RecordBlocks& b) {
    unmap(b);
    mapping_armed = 0;
    std::signal(SIGBUS, SIG_DFL);
}

}  // namespace tessaro
