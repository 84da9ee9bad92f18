#include "laz_tiles.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "laz_input.hpp"
#include "tile_headers.hpp"

namespace tessaro {
namespace {

[[noreturn]] void write_failed(const LazTileWork& t) {
    fail("\nFailed to write the compressed tile file %s: %s\n", t.name.c_str(), std::strerror(errno));
}

// Creates the file the tile's LAZ bytes go to, beside it: the header block
// (written again at the end), the records before the points as the tile
// holds them, and the place of the chunk table's offset. A file already
// under that name is emptied only once it is known to be no input (the list
// or a file it names, under another name through a hard link): checked on
// the open descriptor, so no rename or link can come in between. An empty
// file is no input (every input holds a header), and may bear the number of
// an input removed since it was listed.
void open_part(const LazTileWriter& w, LazTileWork& t) {
    const int fd = open(t.part.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW, 0666);
    if (fd < 0) fail("Failed to open file %s for writing\n", t.part.c_str());
    t.out.reset(fdopen(fd, "wb"));
    if (!t.out) {
        close(fd);
        fail("Failed to open file %s for writing\n", t.part.c_str());
    }
    struct stat st;
    if (fstat(fd, &st) != 0) fail("Failed to open file %s for writing\n", t.part.c_str());
    if (st.st_size > 0 && std::binary_search(w.inputs.begin(), w.inputs.end(), FileId{st.st_dev, st.st_ino}))
        fail("\nTile file %s is the list file or a file named in it; choose another tile prefix\n",
             t.part.c_str());
    if (st.st_size > 0) {
        int done;
        do done = ftruncate(fd, 0);
        while (done != 0 && errno == EINTR);
        if (done != 0) fail("Failed to open file %s for writing\n", t.part.c_str());
    }
    t.part_made = true;
    std::vector<unsigned char> head(static_cast<std::size_t>(t.records_at) + kChunkTableOffsetBytes);
    if (!read_at(fileno(t.raw.get()), head.data(), static_cast<std::size_t>(t.records_at), 0))
        fail("\nCannot read the header of tile file %s\n", t.name.c_str());
    if (std::fwrite(head.data(), 1, head.size(), t.out.get()) != head.size()) write_failed(t);
}

void remove_laz_run(void* context) {
    const LazTileWriter& w = *static_cast<const LazTileWriter*>(context);
    // What unlink says is of no use: the run ends with the failure's message.
    for (const std::unique_ptr<LazTileWork>& t : w.tiles)
        if (t->part_made) unlink(t->part.c_str());
    for (const std::string& name : w.run_tiles) unlink(name.c_str());
}

// The chunk table, its offset, the extended records and the header: the
// tile is complete, and takes its name.
void finish_tile(const LazTileWriter& w, LazTileWork& t) {
    std::FILE* f = t.out.get();
    std::uint64_t table_at = 0;
    std::vector<unsigned char> table;
    try {
        table = chunk_table_bytes(t.chunks, laz_tile_chunk_points(w.kind.record_length));
    } catch (const std::bad_alloc&) {
        fail("\nOut of memory for the chunk table of tile file %s\n", t.name.c_str());
    }
    const long long end = ftello(f);
    if (end < 0) write_failed(t);
    table_at = static_cast<std::uint64_t>(end);
    if (std::fwrite(table.data(), 1, table.size(), f) != table.size() ||
        !patch_chunk_table_offset(f, t.records_at, table_at))
        write_failed(t);
    LAS12Header header = t.header;
    const LAS14HeaderExtension extension =
        tile_extension(*t.stats, w.kind, *t.creator, table_at + table.size(), header);
    if (extension.NumberOfExtendedVariableLengthRecords != 0) append_evlrs(f, t.part.c_str(), *t.creator);
    write_header_block(f, t.part.c_str(), header, extension, w.kind.header_bytes());
    if (std::fclose(t.out.release()) != 0) write_failed(t);
    t.raw.reset();
    if (std::rename(t.part.c_str(), t.name.c_str()) != 0)
        fail("\nFailed to move the compressed tile file %s into place: %s\n", t.name.c_str(),
             std::strerror(errno));
}

// Finishes the tiles, in the order they were begun, whose chunks are all
// written.
void finish_done_tiles(LazTileWriter& w) {
    while (!w.tiles.empty()) {
        LazTileWork& oldest = *w.tiles.front();
        const bool waiting = std::any_of(w.in_flight.begin(), w.in_flight.end(),
                                         [&](const LazTileWriter::Chunk& c) { return c.tile == &oldest; });
        if (waiting || oldest.next_point != oldest.points) return;
        finish_tile(w, oldest);
        w.tiles.pop_front();
    }
}

// Writes the first chunk in flight when it is done (`wait`: once it is);
// finishes the tiles that are then complete.
bool write_first_chunk(LazTileWriter& w, bool wait) {
    LazTileWriter::Chunk& first = w.in_flight.front();
    if (wait)
        wait_for_codec_job(*w.pool, *first.job);
    else if (!codec_job_done(*w.pool, *first.job))
        return false;
    LazTileWork& t = *first.tile;
    if (!first.job->fault.empty())
        fail("\nFailed to compress a chunk of tile file %s: %s\n", t.name.c_str(), first.job->fault.c_str());
    const long long at = ftello(t.out.get());
    const std::vector<unsigned char>& chunk = first.job->chunk;
    if (at < 0 || std::fwrite(chunk.data(), 1, chunk.size(), t.out.get()) != chunk.size()) write_failed(t);
    try {
        t.chunks.push_back(
            {first.job->records.size() / w.kind.record_length, static_cast<std::uint64_t>(at), chunk.size()});
        w.spare.push_back(std::move(first.job));
    } catch (const std::bad_alloc&) {
        fail("\nOut of memory for the chunk table of tile file %s\n", t.name.c_str());
    }
    w.in_flight.pop_front();
    finish_done_tiles(w);
    return true;
}

void submit_chunk(LazTileWriter& w, LazTileWork& t) {
    const std::size_t len = w.kind.record_length;
    const std::uint64_t n = std::min<std::uint64_t>(laz_tile_chunk_points(len), t.points - t.next_point);
    std::unique_ptr<CodecJob> job;
    try {
        if (!w.spare.empty()) {
            job = std::move(w.spare.back());
            w.spare.pop_back();
        } else {
            job = std::make_unique<CodecJob>();
        }
        job->records.resize(static_cast<std::size_t>(n * len));
    } catch (const std::bad_alloc&) {
        fail("\nOut of memory for the chunks of tile file %s\n", t.name.c_str());
    }
    if (!read_at(fileno(t.raw.get()), job->records.data(), job->records.size(),
                 t.records_at + t.next_point * len))
        fail("\nCannot read the records of tile file %s\n", t.name.c_str());
    t.next_point += n;
    job->compress = true;
    job->layout = t.creator->laz.layout;
    try {
        w.in_flight.push_back({std::move(job), &t});
    } catch (const std::bad_alloc&) {
        fail("\nOut of memory for the chunks of tile file %s\n", t.name.c_str());
    }
    submit_codec_job(*w.pool, *w.in_flight.back().job);
    while (!w.in_flight.empty() && write_first_chunk(w, w.in_flight.size() > w.max_in_flight)) {
    }
}

}  // namespace

void compress_tile(LazTileWriter& writer, LazTileWork work, std::uint64_t bytes) {
    const std::size_t len = writer.kind.record_length;
    if (bytes < work.records_at || (bytes - work.records_at) % len != 0 ||
        (bytes - work.records_at) / len != work.stats->nPts)
        fail("\nTile file %s was removed or replaced while this run wrote it\n", work.name.c_str());
    work.points = work.stats->nPts;
    try {
        work.part = work.name + ".part";
        writer.tiles.push_back(std::make_unique<LazTileWork>(std::move(work)));
    } catch (const std::bad_alloc&) {
        fail("\nOut of memory for the chunks of tile file %s\n", work.name.c_str());
    }
    LazTileWork& t = *writer.tiles.back();
    open_part(writer, t);
    // Writing the tile's last chunk may finish the tile and free it, so the
    // number of chunks is counted before the first is handed over.
    const std::uint32_t per_chunk = laz_tile_chunk_points(len);
    std::uint64_t chunks = (t.points + per_chunk - 1) / per_chunk;
    for (; chunks > 0; --chunks) submit_chunk(writer, t);
}

void remove_laz_run_on_failure(LazTileWriter& writer) {
    set_fail_cleanup(remove_laz_run, &writer);
}

void finish_laz_tiles(LazTileWriter& writer) {
    while (!writer.in_flight.empty()) write_first_chunk(writer, true);
    finish_done_tiles(writer);
    set_fail_cleanup(nullptr, nullptr);
}

}  // namespace tessaro
