// libFuzzer target over LAZ input: the input is the content of a .laz file,
// taken through what tessaro_unbounded does with a listed LAZ file: the
// checks by name (check_las_kind), the validation of its header, LAZ record
// and chunk table (note_validated_file), then its chunks found again through
// the chunk table and decoded one after the other as the distribution reads
// them (start_laz_blocks and next_record_block, with a codec pool without
// workers, so on this thread). Checks, besides the sanitizers' own:
//  - the chunk table of a validated file reads again without refusal; its
//    chunks lie one after the other from the first chunk's offset to at most
//    the end of the point data, and hold the header's point count, no chunk
//    more than kMaxLazChunkRecordBytes of records;
//  - when no chunk is refused, the chunks decode to exactly that count;
//  - every decoded chunk, compressed again as a tile's chunk is, decodes to
//    the same records: records that a hostile input decodes to are written
//    to LAZ tiles as they are.
// Build and run with fuzz/build_and_run.sh; fuzz/laz_seeds.cpp writes its
// seeds.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "codec_pool.hpp"
#include "laz_codec.hpp"
#include "laz_input.hpp"
#include "lidar.hpp"
#include "list_survey.hpp"
#include "listed_files.hpp"
#include "record_blocks.hpp"

namespace {

std::string g_path;

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

bool write_input(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(g_path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool written = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && written;
}

void check_chunk_places(const tessaro::ListedFile& file, const std::vector<tessaro::LazChunk>& chunks) {
    std::uint64_t at = tessaro::first_chunk_offset(file.header.OffsetToData);
    std::uint64_t points = 0;
    for (const tessaro::LazChunk& c : chunks) {
        if (c.byte_offset != at) broken("chunks not one after the other");
        if (c.point_count == 0 ||
            c.point_count * file.header.PointDataRecordLength > tessaro::kMaxLazChunkRecordBytes)
            broken("chunk point count");
        at += c.byte_count;
        points += c.point_count;
    }
    if (at > file.laz.data_end) broken("chunks past the end of the point data");
    if (points != file.points) broken("chunks and the header's point count");
}

// The records of one decoded chunk, compressed as a tile's chunk and decoded
// again.
void check_round_trip(tessaro::LazPointLayout layout, const unsigned char* records, std::size_t bytes) {
    const std::span<const unsigned char> in(records, bytes);
    std::vector<unsigned char> chunk;
    tessaro::compress_chunk(layout, in, chunk);
    std::vector<unsigned char> back(bytes);
    if (!tessaro::decompress_chunk(layout, chunk, back).empty()) broken("a recompressed chunk is refused");
    if (!std::equal(back.begin(), back.end(), in.begin())) broken("a recompressed chunk decodes otherwise");
}

void check_input() {
    tessaro::LasKind kind;
    if (tessaro::check_las_kind(g_path.c_str(), kind) != 1 || !kind.compressed) return;
    tessaro::ListedFile file{.name = g_path};
    if (tessaro::note_validated_file(file, kind) != 0) return;

    tessaro::FilePtr f = tessaro::open_file(g_path.c_str(), "rb");
    if (!f) return;
    tessaro::CodecPool pool;
    tessaro::RecordBlocks blocks =
        tessaro::start_laz_blocks(g_path.c_str(), f.get(), file.header, file.points, file.laz, pool);
    if (!blocks.fault.empty()) broken("the chunk table of a validated file is refused");
    check_chunk_places(file, blocks.chunks);

    const std::size_t length = tessaro::laz_record_length(file.laz.layout);
    if (length != file.header.PointDataRecordLength) broken("layout and record length");
    const unsigned char* records = nullptr;
    std::size_t count = 0;
    while (tessaro::next_record_block(blocks, records, count))
        check_round_trip(file.laz.layout, records, count * length);
    if (blocks.fault.empty() && blocks.done != file.points) broken("decoded records and the point count");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The checks print their messages on standard output; libFuzzer reports
    // on standard error.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    const char* dir = std::getenv("TMPDIR");
    g_path = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/tessaro-fuzz-" +
             std::to_string(static_cast<long>(getpid())) + ".laz";
    std::atexit([] { unlink(g_path.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (write_input(data, size)) check_input();
    return 0;
}
