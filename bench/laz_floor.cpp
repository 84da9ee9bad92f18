// tessaro_laz_floor: the speed of the LAZ codec alone, the floor under any
// LAZ run: one thread compresses the records of a survey in chunks and
// decompresses them again, for point format 1 (28 bytes) and the same points
// as format 6 (30 bytes), in scanner order and in random order.
//
//   tessaro_laz_floor DIR [POINTS [CHUNK]]
//
// The surveys (POINTS points, default 4000000, in 4 flight-line files) are
// written by the project's generator into DIR; chunks hold CHUNK records
// (default 50000). Prints Mpts/s of each pass, from the thread's processor
// time, and the compressed size.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "las_bytes.hpp"
#include "las_records.hpp"
#include "laz_codec.hpp"
#include "survey_writer.hpp"

namespace {

using tessaro::LazPointLayout;

// The point records of the survey's files, one after another.
std::vector<unsigned char> survey_records(const std::vector<std::string>& files) {
    std::vector<unsigned char> records;
    for (const std::string& path : files) {
        const std::uintmax_t size = std::filesystem::file_size(path);
        std::vector<unsigned char> bytes(size);
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (f == nullptr || std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size())
            throw std::runtime_error("cannot read " + path);
        std::fclose(f);
        const tessaro::LAS12Header h = tessaro::header_from_bytes(bytes.data());
        const std::size_t length = std::size_t{h.NumberOfPointReturns} * h.PointDataRecordLength;
        if (h.OffsetToData + length > bytes.size()) throw std::runtime_error("short file " + path);
        const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(h.OffsetToData);
        records.insert(records.end(), first, first + static_cast<std::ptrdiff_t>(length));
    }
    return records;
}

// The same points as format 6 records: return number and count of returns
// in byte 14, classification, a scan angle in 0.006 degree units, user data,
// point source and GPS time.
std::vector<unsigned char> as_format6(const std::vector<unsigned char>& format1) {
    const std::size_t n = format1.size() / 28;
    std::vector<unsigned char> out(n * 30);
    for (std::size_t k = 0; k < n; ++k) {
        const unsigned char* in = format1.data() + k * 28;
        unsigned char* r = out.data() + k * 30;
        std::copy(in, in + 14, r);
        const unsigned ret = in[14] & 7u, returns = (in[14] >> 3) & 7u;
        r[14] = static_cast<unsigned char>(returns << 4 | ret);
        r[15] = static_cast<unsigned char>(in[14] & 0xC0);
        r[16] = in[15];
        r[17] = in[17];
        tessaro::store_u16le(r + 18, static_cast<std::uint16_t>(static_cast<std::int8_t>(in[16]) * 166));
        std::copy(in + 18, in + 20, r + 20);
        std::copy(in + 20, in + 28, r + 22);
    }
    return out;
}

// Processor time of this thread: the codec's own work, whatever else the
// machine runs meanwhile.
double thread_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void measure(const char* name, LazPointLayout layout, const std::vector<unsigned char>& records,
             std::size_t chunk_points) {
    const std::size_t length = tessaro::laz_record_length(layout);
    const auto points = static_cast<double>(records.size()) / static_cast<double>(length);
    const std::size_t chunk_bytes = chunk_points * length;
    std::vector<std::vector<unsigned char>> chunks;
    double start = thread_seconds();
    for (std::size_t at = 0; at < records.size(); at += chunk_bytes) {
        chunks.emplace_back();
        tessaro::compress_chunk(layout, {records.data() + at, std::min(chunk_bytes, records.size() - at)},
                                chunks.back());
    }
    const double compress = thread_seconds() - start;
    std::vector<unsigned char> back(records.size());
    start = thread_seconds();
    for (std::size_t c = 0; c < chunks.size(); ++c) {
        const std::size_t at = c * chunk_bytes;
        const std::string refusal = tessaro::decompress_chunk(
            layout, chunks[c], {back.data() + at, std::min(chunk_bytes, records.size() - at)});
        if (!refusal.empty()) throw std::runtime_error(refusal);
    }
    const double decompress = thread_seconds() - start;
    if (back != records) throw std::runtime_error("records differ after decompression");
    double compressed = 0;
    for (const auto& c : chunks) compressed += static_cast<double>(c.size());
    std::printf("%-22s format %u: compress %6.2f Mpts/s, decompress %6.2f Mpts/s, %5.1f %% of %zu MB\n", name,
                layout.format, points / compress / 1e6, points / decompress / 1e6,
                100.0 * compressed / static_cast<double>(records.size()), records.size() >> 20);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "Usage: tessaro_laz_floor DIR [POINTS [CHUNK]]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const unsigned long long points = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 4000000;
    const std::size_t chunk = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 50000;
    if (points == 0 || chunk == 0) {
        std::fprintf(stderr, "tessaro_laz_floor: POINTS and CHUNK must be positive\n");
        return 2;
    }
    try {
        for (const auto order : {tessaro::survey::RecordOrder::scan, tessaro::survey::RecordOrder::random}) {
            const bool scan = order == tessaro::survey::RecordOrder::scan;
            tessaro::survey::SurveySpec spec;
            spec.directory = dir + (scan ? "/scan" : "/random");
            spec.points = points;
            spec.order = order;
            std::filesystem::create_directories(spec.directory);
            const std::vector<unsigned char> format1 = survey_records(tessaro::survey::generate_survey(spec));
            measure(scan ? "scanner order" : "random order", {1, 0}, format1, chunk);
            measure(scan ? "scanner order" : "random order", {6, 0}, as_format6(format1), chunk);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessaro_laz_floor: %s\n", e.what());
        return 1;
    }
    return 0;
}
