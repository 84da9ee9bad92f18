// Writes the seed corpus of the LAZ input fuzz target into a directory:
// small LAZ files of the project's survey writer in point formats 1, 3, 6
// and 8, with and without extra bytes, each in several chunks of a fixed
// point count (the last one fewer), one with a coordinate system record after
// its points (LAS 1.4), and one whose LAZ record gives chunks of variable
// size, cut unevenly, with the point counts in its chunk table.
//
// Usage: laz_seeds DIRECTORY
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "las_bytes.hpp"
#include "las_records.hpp"
#include "laz_codec.hpp"
#include "laz_writer.hpp"
#include "survey_writer.hpp"

namespace {

using Bytes = std::vector<unsigned char>;
namespace survey = tessaro::survey;

struct Seed {
    const char* name;
    std::uint8_t minor;
    std::uint8_t format;
    unsigned extra_bytes;
    std::uint32_t chunk_points;
    survey::WktPlace wkt = survey::WktPlace::none;
};

// Few points, so that every seed stays a few kilobytes long.
constexpr unsigned long long kPoints = 40;

void write_bytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

// The LAZ file of one seed, written by the survey generator in `scratch`.
std::string generate(const Seed& seed, const std::string& scratch) {
    survey::SurveySpec spec;
    spec.directory = scratch + "/" + seed.name;
    spec.files = 1;
    spec.points = kPoints;
    spec.VersionMinor = seed.minor;
    spec.PointDataFormatID = seed.format;
    spec.width = spec.height = 50.0;
    spec.extra_bytes = seed.extra_bytes;
    // The descriptors of extra bytes take 192 bytes each.
    spec.describe_extra_bytes = false;
    spec.wkt = seed.wkt;
    spec.laz = true;
    spec.laz_chunk_points = seed.chunk_points;
    return survey::generate_survey(spec).at(0);
}

// The file `laz_path` (no records after its points) with its records cut
// into chunks of the given point counts, the last one taking the rest, and
// a LAZ record of chunks of variable size.
Bytes with_variable_chunks(const std::string& laz_path, const std::vector<std::uint64_t>& cuts) {
    const Bytes in = survey::read_all(laz_path);
    const survey::LazFileChunks decoded = survey::laz_file_chunks(laz_path);
    const tessaro::LAS12Header h = tessaro::header_from_bytes(in.data());
    Bytes out(in.begin(), in.begin() + h.OffsetToData);
    const std::string_view user = tessaro::kLazUserId;
    const auto record = std::search(out.begin(), out.end(), user.begin(), user.end());
    if (record == out.end()) throw std::runtime_error("no LAZ record in " + laz_path);
    // The user id lies 2 bytes into the 54-byte record header; the chunk size
    // 12 bytes into the payload.
    tessaro::store_u32le(&*record + 52 + 12, tessaro::kLazVariableChunkSize);
    out.resize(tessaro::first_chunk_offset(out.size()));

    std::vector<tessaro::LazChunk> chunks;
    const std::size_t length = decoded.record_length;
    const std::uint64_t points = decoded.records.size() / length;
    std::uint64_t first = 0;
    Bytes chunk;
    for (std::size_t k = 0; first < points; ++k) {
        const std::uint64_t n = k < cuts.size() ? std::min(cuts[k], points - first) : points - first;
        tessaro::compress_chunk(decoded.layout, {decoded.records.data() + first * length, n * length}, chunk);
        chunks.push_back({n, out.size(), chunk.size()});
        out.insert(out.end(), chunk.begin(), chunk.end());
        first += n;
    }
    tessaro::store_chunk_table_offset(out.data() + h.OffsetToData, out.size());
    const Bytes table = tessaro::chunk_table_bytes(chunks);
    out.insert(out.end(), table.begin(), table.end());
    return out;
}

void write_seeds(const std::string& directory) {
    const std::string scratch = directory + "/.scratch";
    const std::vector<Seed> seeds{
        {"1.2-format1", 2, 1, 0, 16},
        {"1.2-format1-extra3", 2, 1, 3, 16},
        {"1.2-format3", 2, 3, 0, 9},
        {"1.3-format3-extra2", 3, 3, 2, 13},
        {"1.4-format6", 4, 6, 0, 16},
        {"1.4-format6-extra4", 4, 6, 4, 11},
        {"1.4-format8", 4, 8, 0, 16},
        {"1.4-format8-extra1", 4, 8, 1, 25},
        {"1.4-format6-wkt-evlr", 4, 6, 0, 20, survey::WktPlace::evlr},
    };
    for (const Seed& seed : seeds) {
        const std::string path = generate(seed, scratch);
        write_bytes(directory + "/seed-" + seed.name + ".laz", survey::read_all(path));
        if (seed.format == 3 && seed.extra_bytes == 0)
            write_bytes(directory + "/seed-" + seed.name + "-variable.laz",
                        with_variable_chunks(path, {1, 7, 2}));
        if (seed.format == 8 && seed.extra_bytes == 0)
            write_bytes(directory + "/seed-" + seed.name + "-variable.laz",
                        with_variable_chunks(path, {3, 1, 30}));
    }
    std::filesystem::remove_all(scratch);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: laz_seeds DIRECTORY\n");
        return 2;
    }
    try {
        write_seeds(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "laz_seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
