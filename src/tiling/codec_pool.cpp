#include "codec_pool.hpp"

#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "console.hpp"

namespace tessaro {
namespace {

void work(CodecPool& pool) {
    for (;;) {
        CodecJob* job = nullptr;
        {
            std::unique_lock<std::mutex> hold(pool.lock);
            pool.queued.wait(hold, [&] { return pool.stopping || !pool.queue.empty(); });
            if (pool.queue.empty()) return;
            job = pool.queue.front();
            pool.queue.pop_front();
        }
        run_codec_job(*job);
        {
            const std::lock_guard<std::mutex> hold(pool.lock);
            job->done = true;
        }
        pool.finished.notify_all();
    }
}

}  // namespace

void run_codec_job(CodecJob& job) {
    try {
        if (job.compress) {
            compress_chunk(job.layout, job.records, job.chunk);
            return;
        }
        const std::size_t length = laz_record_length(job.layout);
        job.chunk.resize(static_cast<std::size_t>(job.coded_bytes));
        job.records.resize(static_cast<std::size_t>(job.points * length));
        if (!read_at(job.fd, job.chunk.data(), job.chunk.size(), job.offset)) {
            job.fault = "it ends before the " + std::to_string(job.coded_bytes) + " bytes of the chunk";
            return;
        }
        job.fault = decompress_chunk(job.layout, job.chunk, job.records);
    } catch (const std::bad_alloc&) {
        job.fault = "out of memory for a chunk";
    }
}

CodecPool::~CodecPool() {
    {
        const std::lock_guard<std::mutex> hold(lock);
        stopping = true;
    }
    queued.notify_all();
    for (std::thread& t : workers) t.join();
}

unsigned available_processors() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(CPU_COUNT(&set));
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

void start_codec_pool(CodecPool& pool, unsigned threads) {
    if (threads <= 1) return;
    for (unsigned k = 0; k < threads; ++k) pool.workers.emplace_back(work, std::ref(pool));
}

void submit_codec_job(CodecPool& pool, CodecJob& job) {
    job.done = false;
    job.fault.clear();
    if (pool.workers.empty()) {
        run_codec_job(job);
        job.done = true;
        return;
    }
    {
        const std::lock_guard<std::mutex> hold(pool.lock);
        pool.queue.push_back(&job);
    }
    pool.queued.notify_one();
}

void wait_for_codec_job(CodecPool& pool, CodecJob& job) {
    std::unique_lock<std::mutex> hold(pool.lock);
    pool.finished.wait(hold, [&] { return job.done; });
}

bool codec_job_done(CodecPool& pool, CodecJob& job) {
    const std::lock_guard<std::mutex> hold(pool.lock);
    return job.done;
}

}  // namespace tessaro
