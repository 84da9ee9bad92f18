// Worker threads for the LAZ codec. Compressing a tile's chunk and decoding
// an input's chunk each take milliseconds of arithmetic on bytes of their
// own, so they run beside the distribution, which keeps every decision (what
// goes into which chunk, in which order chunks are written) and every file
// operation to itself: the files written are the same with any number of
// threads.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "laz_codec.hpp"

namespace tessaro {

struct TileStream;

// One chunk's work: compress `records` into `chunk`, or read the
// `coded_bytes` bytes at `offset` of the file `fd` and decode them into
// `records` (`points` of them). A job that fails says why in `fault`.
struct CodecJob {
    bool compress = true;
    LazPointLayout layout{};
    std::vector<unsigned char> records;
    std::vector<unsigned char> chunk;
    TileStream* stream = nullptr;  // compress: the tile the chunk belongs to
    int fd = -1;
    std::uint64_t offset = 0;
    std::uint64_t coded_bytes = 0;
    std::uint64_t points = 0;
    std::string fault;
    bool done = false;  // guarded by the pool's lock
};

// Does a job's work on the calling thread.
void run_codec_job(CodecJob& job);

// The workers and their queue. Without workers (one processor), jobs run on
// the thread that submits them.
struct CodecPool {
    std::mutex lock;
    std::condition_variable queued, finished;
    std::deque<CodecJob*> queue;
    bool stopping = false;
    std::vector<std::thread> workers;

    CodecPool() = default;
    CodecPool(const CodecPool&) = delete;
    CodecPool& operator=(const CodecPool&) = delete;
    ~CodecPool();
};

// Processors this process may run on.
unsigned available_processors();

// Starts `threads` workers; none for one processor, where the submitting
// thread does the work.
void start_codec_pool(CodecPool& pool, unsigned threads);

// Hands `job` to the workers (or does it now, without workers). The job must
// stay where it is until it is done.
void submit_codec_job(CodecPool& pool, CodecJob& job);

// Waits until `job` is done.
void wait_for_codec_job(CodecPool& pool, CodecJob& job);

// Whether `job` is done, without waiting.
bool codec_job_done(CodecPool& pool, CodecJob& job);

}  // namespace tessaro
