// tessaro_laz_run_floor: the floor of one LAZ run of the tiler, the time the
// LAZ codec alone takes, on one thread, to decompress every chunk of the
// run's inputs once and to compress every chunk the run wrote once, chunk for
// chunk as the run cut them. Only the codec calls are timed: the files are
// read, the tiles' records decoded and the buffers allocated and touched
// before, so that the floor holds no work a run could avoid.
//
//   tessaro_laz_run_floor LIST TILE...
//
// LIST is the run's list file, TILE its LAZ tiles. Prints one line:
// "<decompress s> <compress s> <input points> <output records>", processor
// seconds of this thread.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "laz_codec.hpp"
#include "laz_writer.hpp"

namespace {

double thread_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "Usage: tessaro_laz_run_floor LIST TILE...\n");
        return 2;
    }
    try {
        std::ifstream list(argv[1]);
        std::vector<std::string> inputs;
        for (std::string name; list >> name;) inputs.push_back(name);
        double decompress = 0, compress = 0;
        unsigned long long in_points = 0, out_records = 0;
        std::vector<unsigned char> records;
        for (const std::string& name : inputs) {
            const tessaro::survey::LazFileChunks file = tessaro::survey::laz_file_chunks(name);
            const std::vector<unsigned char> image = tessaro::survey::read_all(name);
            std::uint64_t most = 0;
            for (const tessaro::LazChunk& c : file.chunks) most = std::max(most, c.point_count);
            records.assign(static_cast<std::size_t>(most) * file.record_length, 0);
            const double start = thread_seconds();
            for (const tessaro::LazChunk& c : file.chunks) {
                const std::string fault = tessaro::decompress_chunk(
                    file.layout, {image.data() + c.byte_offset, static_cast<std::size_t>(c.byte_count)},
                    {records.data(), static_cast<std::size_t>(c.point_count) * file.record_length});
                if (!fault.empty()) throw std::runtime_error(std::string(name).append(": ").append(fault));
            }
            decompress += thread_seconds() - start;
            in_points += file.records.size() / file.record_length;
        }
        std::vector<unsigned char> chunk;
        for (int k = 2; k < argc; ++k) {
            const tessaro::survey::LazFileChunks tile = tessaro::survey::laz_file_chunks(argv[k]);
            const std::size_t len = tile.record_length;
            // Room for the largest chunk, touched, as a run's reused buffer.
            chunk.assign(std::max(chunk.size(), tile.records.size()), 0);
            std::size_t at = 0;
            const double start = thread_seconds();
            for (const tessaro::LazChunk& c : tile.chunks) {
                const std::size_t bytes = static_cast<std::size_t>(c.point_count) * len;
                tessaro::compress_chunk(tile.layout, {tile.records.data() + at, bytes}, chunk);
                at += bytes;
            }
            compress += thread_seconds() - start;
            out_records += tile.records.size() / len;
        }
        std::printf("%.3f %.3f %llu %llu\n", decompress, compress, in_points, out_records);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessaro_laz_run_floor: %s\n", e.what());
        return 1;
    }
    return 0;
}
