// LAZ tiles proved against LAS tiles: the survey writer makes one survey
// twice, compressed and uncompressed, and tessaro_unbounded cuts each with
// the same arguments. Every LAZ tile, decompressed, must hold exactly the
// records of the LAS tile of the same name, under the same header but for
// what compression changes, the console reports must agree, and the
// conservation check must pass on the LAZ run. The copc package, an
// independent LAZ reader with its own build of the codec, must read the LAZ
// tiles as the LAS tiles. A LAZ run that cannot go on must leave no tile.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "conservation.hpp"
#include "las_bytes.hpp"
#include "las_records.hpp"
#include "laz_codec.hpp"
#include "laz_writer.hpp"
#include "run_binary.hpp"
#include "survey_writer.hpp"

using namespace tessaro;
using tessaro::test::read_file;
using tessaro::test::RunResult;
using tessaro::test::TempDir;
using tessaro::test::write_file;

namespace {

using survey::RecordOrder;

struct LazCase {
    const char* what;
    unsigned minor, format, extra_bytes, evlrs;
    RecordOrder order;
    const char* options;  // after "survey.txt T_ <tile size>", words apart
    const char* tile_size;
    unsigned long long points;
    std::uint32_t chunk_points;  // of the input files
    bool read_with_copc;
};

const LazCase kCases[] = {
    {"1.2 format 1, tiles of several chunks", 2, 1, 0, 0, RecordOrder::scan, "", "250", 400000, 50000, true},
    {"1.2 format 3, random order, -b", 2, 3, 0, 0, RecordOrder::random, "-b 10", "200", 40000, 50000, true},
    {"1.4 format 6, extra bytes, EVLRs, small chunks, -b", 4, 6, 13, 2, RecordOrder::scan, "-b 10", "400",
     100000, 1000, true},
    {"1.4 format 8, extra bytes, EVLR, random order, -r", 4, 8, 5, 1, RecordOrder::random, "-r 7", "200",
     30000, 50000, true},
    {"1 M points over 1600 tiles, -b", 2, 1, 0, 0, RecordOrder::scan, "-b 2", "50", 1000000, 50000, false},
};

survey::SurveySpec survey_of(const LazCase& c, const std::string& directory, bool laz) {
    survey::SurveySpec spec;
    spec.directory = directory;
    spec.files = 3;
    spec.points = c.points;
    spec.VersionMinor = static_cast<std::uint8_t>(c.minor);
    spec.PointDataFormatID = static_cast<std::uint8_t>(c.format);
    spec.extra_bytes = c.extra_bytes;
    // A descriptor of 192 bytes an extra byte: more than 341 do not fit the VLR.
    spec.describe_extra_bytes = c.extra_bytes * 192 <= 65535;
    spec.evlrs = c.evlrs;
    spec.with_vlrs = true;
    spec.order = c.order;
    if (c.points < 1000000) {
        spec.width = 700;
        spec.height = 500;
    }
    spec.seed = 3 + c.format;
    spec.laz = laz;
    spec.laz_chunk_points = c.chunk_points;
    return spec;
}

std::vector<std::string> run_args(const LazCase& c) {
    std::vector<std::string> args = {"survey.txt", "T_", c.tile_size};
    std::stringstream words(c.options);
    for (std::string word; words >> word;) args.push_back(word);
    return args;
}

// The two runs of a case: dir/las and dir/laz, each with its survey and its
// tiles.
struct RunPair {
    std::string las, laz;
    RunResult las_run, laz_run;
};

RunPair run_both(const TempDir& dir, const LazCase& c) {
    RunPair p{dir.file("las"), dir.file("laz"), {}, {}};
    survey::generate_survey(survey_of(c, p.las, false));
    survey::generate_survey(survey_of(c, p.laz, true));
    p.las_run = test::run_program(TESSARO_UNBOUNDED_BIN, run_args(c), p.las);
    p.laz_run = test::run_program(TESSARO_UNBOUNDED_BIN, run_args(c), p.laz);
    return p;
}

// The names of the tiles "T_*<extension>" in `dir`, sorted, without their
// extension.
std::vector<std::string> tile_stems(const std::string& dir, const std::string& extension) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("T_", 0) == 0 && name.size() > extension.size() &&
            name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
            names.push_back(name.substr(0, name.size() - extension.size()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

void replace_all(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// A run's console report without its directory and its elapsed time, with
// the names of a LAZ run in .las.
std::string report_of(std::string output, const std::string& dir) {
    replace_all(output, dir + "/", "");
    replace_all(output, ".laz", ".las");
    const std::size_t elapsed = output.rfind("Elapsed time ");
    return elapsed == std::string::npos ? output : output.substr(0, elapsed);
}

struct TileBytes {
    std::string bytes;
    survey::LasHeader header;
    std::uint64_t points = 0;
    std::size_t header_bytes = 0;
    const unsigned char* data() const { return reinterpret_cast<const unsigned char*>(bytes.data()); }
};

TileBytes tile_bytes(const std::string& path) {
    TileBytes t;
    t.bytes = read_file(path);
    t.header = survey::decode_header(t.data(), t.bytes.size());
    t.points =
        t.header.base.VersionMinor >= 4 ? t.header.NumberOfPointRecords : t.header.base.NumberOfPointReturns;
    t.header_bytes = survey::header_block_size(t.header.base.VersionMinor);
    return t;
}

// The LAZ tile `laz` against the LAS tile `las` of the same name.
void expect_same_tile(const std::string& las_path, const std::string& laz_path, const LazCase& c) {
    const TileBytes las = tile_bytes(las_path), laz = tile_bytes(laz_path);
    const LAS12Header &a = las.header.base, &z = laz.header.base;
    const std::size_t len = a.PointDataRecordLength;
    const std::uint64_t records_end = a.OffsetToData + las.points * len;
    ASSERT_GE(las.bytes.size(), records_end);
    const std::string evlrs = las.bytes.substr(records_end);

    // The records, decompressed, byte for byte and in order, in chunks of
    // at most 64 MiB of records whatever their length.
    const survey::LazFileChunks chunks = survey::laz_file_chunks(laz_path);
    for (const LazChunk& c : chunks.chunks) EXPECT_LE(c.point_count * len, std::uint64_t{64} << 20);
    const std::vector<unsigned char>& records = chunks.records;
    ASSERT_EQ(records.size(), las.points * len);
    for (std::uint64_t k = 0; k < las.points; ++k)
        ASSERT_EQ(std::memcmp(records.data() + k * len, las.data() + a.OffsetToData + k * len, len), 0)
            << "record " << k;

    // The header: the same but for the compressed bit, the LAZ record among
    // the variable-length records, and where the extended records start.
    const LazPointLayout layout{c.format, static_cast<std::uint16_t>(c.extra_bytes)};
    const std::size_t laz_vlr = 54 + laz_record_payload(laz_record_for(layout)).size();
    EXPECT_EQ(+z.PointDataFormatID, a.PointDataFormatID | kLazFormatBit);
    EXPECT_EQ(+z.OffsetToData, a.OffsetToData + laz_vlr);
    EXPECT_EQ(+z.NumberOfVariableLengthRecords, a.NumberOfVariableLengthRecords + 1);
    if (c.minor >= 4) {
        EXPECT_EQ(laz.header.StartOfFirstExtendedVariableLengthRecord,
                  evlrs.empty() ? 0 : laz.bytes.size() - evlrs.size());
    }
    std::string image = laz.bytes.substr(0, laz.header_bytes);
    const auto patch = [&](const char* field, std::size_t size) {
        const std::size_t at = header_offset(field);
        image.replace(at, size, las.bytes, at, size);
    };
    patch("PointDataFormatID", 1);
    patch("OffsetToData", 4);
    patch("NumberOfVariableLengthRecords", 4);
    if (c.minor >= 4) image.replace(235, 8, las.bytes, 235, 8);
    EXPECT_EQ(image, las.bytes.substr(0, las.header_bytes)) << "header";

    // The bytes before the LAZ record, and the extended records at the end.
    EXPECT_EQ(laz.bytes.compare(las.header_bytes, a.OffsetToData - las.header_bytes, las.bytes,
                                las.header_bytes, a.OffsetToData - las.header_bytes),
              0);
    ASSERT_GE(laz.bytes.size(), evlrs.size());
    EXPECT_EQ(laz.bytes.substr(laz.bytes.size() - evlrs.size()), evlrs);
}

RunResult verify_run(const std::string& dir, const LazCase& c) {
    std::vector<std::string> args = run_args(c);
    args.insert(args.begin(), "--unbounded");
    return test::run_program(TESSARO_VERIFY_BIN, args, dir);
}

TEST(LazTiling, LazTilesHoldTheRecordsOfTheLasTilesOfTheSameRun) {
    for (const LazCase& c : kCases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const RunPair p = run_both(dir, c);
        ASSERT_EQ(p.las_run.status, 0) << p.las_run.output << p.las_run.errors;
        ASSERT_EQ(p.laz_run.status, 0) << p.laz_run.output << p.laz_run.errors;
        EXPECT_EQ(report_of(p.laz_run.output, p.laz), report_of(p.las_run.output, p.las));

        const std::vector<std::string> tiles = tile_stems(p.las, ".las");
        ASSERT_EQ(tile_stems(p.laz, ".laz"), tiles);
        ASSERT_GT(tiles.size(), 1U);
        for (const std::string& t : tiles) {
            SCOPED_TRACE(t);
            expect_same_tile(p.las + "/" + t + ".las", p.laz + "/" + t + ".laz", c);
            if (::testing::Test::HasFailure()) return;
        }

        const RunResult check = verify_run(p.laz, c);
        EXPECT_EQ(check.status, 0) << check.output;
        EXPECT_EQ(check.output.rfind("verified " + std::to_string(c.points) + " records, ", 0), 0U)
            << check.output;
        EXPECT_NE(check.output.find(", " + std::to_string(tiles.size()) + " tiles\n"), std::string::npos)
            << check.output;
    }
}

std::string find_node() {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/local/bin:/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = dir + "/node";
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

const std::string kInterop = std::string(TESSARO_SOURCE_DIR) + "/tests/interop";

std::vector<std::string> split(const std::string& text, char by) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, by);) parts.push_back(part);
    return parts;
}

std::string hex(const unsigned char* p, std::size_t n) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(2 * n, '0');
    for (std::size_t k = 0; k < n; ++k) {
        out[2 * k] = kDigits[p[k] >> 4];
        out[2 * k + 1] = kDigits[p[k] & 15];
    }
    return out;
}

// The number of chunks in a LAZ tile's chunk table.
std::uint32_t chunks_in(const TileBytes& laz) {
    const std::uint64_t table = load_le(laz.data() + laz.header.base.OffsetToData, 8);
    return table + 8 <= laz.bytes.size() ? load_u32le(laz.data() + table + 4) : 0;
}

// What copc read of a LAZ tile (one line of read_laz.mjs) against the LAS
// tile of the same name and the LAZ tile's own header.
void expect_copc_reads_as_las(const std::vector<std::string>& f, const std::string& las_path,
                              const std::string& laz_path) {
    ASSERT_EQ(f.size(), 12U);
    const TileBytes las = tile_bytes(las_path), laz = tile_bytes(laz_path);
    const LAS12Header &a = las.header.base, &z = laz.header.base;
    EXPECT_EQ(std::stoul(f[1]), +a.PointDataFormatID);
    EXPECT_EQ(std::stoul(f[2]), +a.PointDataRecordLength);
    EXPECT_EQ(std::stoul(f[3]), +z.OffsetToData);
    EXPECT_EQ(std::stoul(f[4]), +z.NumberOfVariableLengthRecords);
    EXPECT_EQ(std::stoull(f[5]), las.points);
    const std::vector<std::string> by_return = split(f[6], ',');
    const bool v14 = a.VersionMinor >= 4;
    ASSERT_EQ(by_return.size(), v14 ? 15U : 5U);
    for (std::size_t k = 0; k < by_return.size(); ++k)
        EXPECT_EQ(std::stoull(by_return[k]),
                  v14 ? las.header.NumberOfPointsByReturn[k] : +a.NumberOfPointsByReturn[k])
            << "return " << k + 1;
    EXPECT_EQ(std::stoull(f[7]), v14 ? laz.header.StartOfFirstExtendedVariableLengthRecord : 0U);
    EXPECT_EQ(std::stoull(f[8]), v14 ? laz.header.NumberOfExtendedVariableLengthRecords : 0U);
    const std::vector<std::string> lo = split(f[9], ','), hi = split(f[10], ',');
    ASSERT_EQ(lo.size(), 3U);
    ASSERT_EQ(hi.size(), 3U);
    const double mins[3] = {a.MinX, a.MinY, a.MinZ}, maxs[3] = {a.MaxX, a.MaxY, a.MaxZ};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(std::strtod(lo[k].c_str(), nullptr), mins[k]) << "axis " << k;
        EXPECT_EQ(std::strtod(hi[k].c_str(), nullptr), maxs[k]) << "axis " << k;
    }
    const std::size_t bytes = static_cast<std::size_t>(las.points) * a.PointDataRecordLength;
    ASSERT_EQ(f[11].size(), 2 * bytes);
    const std::string want = hex(las.data() + a.OffsetToData, bytes);
    if (f[11] != want) {
        std::size_t at = 0;
        while (f[11][at] == want[at]) ++at;
        ADD_FAILURE() << "copc decodes record " << at / 2 / a.PointDataRecordLength
                      << " otherwise than the LAS tile holds it";
    }
}

TEST(LazTiling, CopcReadsEveryLazTileAsTheLasTile) {
    const std::string node = find_node();
    ASSERT_FALSE(node.empty()) << "Node.js is not on PATH; run scripts/setup.sh";
    ASSERT_TRUE(std::filesystem::exists(kInterop + "/node_modules/copc"))
        << "tests/interop/node_modules is missing: run scripts/setup.sh to install the pinned readers";
    std::uint32_t most_chunks = 0;
    for (const LazCase& c : kCases) {
        if (!c.read_with_copc) continue;
        SCOPED_TRACE(c.what);
        TempDir dir;
        const RunPair p = run_both(dir, c);
        ASSERT_EQ(p.las_run.status, 0) << p.las_run.output << p.las_run.errors;
        ASSERT_EQ(p.laz_run.status, 0) << p.laz_run.output << p.laz_run.errors;
        const std::vector<std::string> tiles = tile_stems(p.laz, ".laz");
        ASSERT_GT(tiles.size(), 1U);
        std::vector<std::string> args{kInterop + "/read_laz.mjs"};
        for (const std::string& t : tiles) args.push_back(p.laz + "/" + t + ".laz");
        const RunResult js = test::run_program(node, args, kInterop, 300);
        ASSERT_EQ(js.status, 0) << js.output.substr(0, 2000) << js.errors;
        const std::vector<std::string> lines = split(js.output, '\n');
        ASSERT_EQ(lines.size(), tiles.size());
        for (std::size_t k = 0; k < tiles.size(); ++k) {
            SCOPED_TRACE(tiles[k]);
            const std::vector<std::string> fields = split(lines[k], '\t');
            ASSERT_EQ(fields.at(0), args[k + 1]);
            expect_copc_reads_as_las(fields, p.las + "/" + tiles[k] + ".las", args[k + 1]);
            if (::testing::Test::HasFailure()) return;
            most_chunks = std::max(most_chunks, chunks_in(tile_bytes(args[k + 1])));
        }
    }
    EXPECT_GT(most_chunks, 1U) << "no tile has several chunks to read";
}

// The codec's workers change nothing in the files: the same run on one
// processor and on every processor writes the same bytes.
TEST(LazTiling, OneProcessorWritesTheTilesOfEveryProcessor) {
    TempDir dir;
    const LazCase c{"1.4 format 6", 4, 6, 3, 1, RecordOrder::random, "-b 10", "250", 400000, 50000, false};
    survey::generate_survey(survey_of(c, dir.path, true));
    std::vector<std::string> args = run_args(c);
    ASSERT_EQ(test::run_program(TESSARO_UNBOUNDED_BIN, args, dir.path).status, 0);
    std::filesystem::create_directory(dir.file("one"));
    for (std::string& a : args)
        if (a == "T_") a = "one/T_";
    test::RunHooks hooks;
    hooks.before_exec = [] {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(0, &set);
        if (sched_setaffinity(0, sizeof set, &set) != 0) _exit(126);
    };
    ASSERT_EQ(test::run_program(TESSARO_UNBOUNDED_BIN, args, dir.path, 300, hooks).status, 0);
    const std::vector<std::string> tiles = tile_stems(dir.path, ".laz");
    ASSERT_GT(tiles.size(), 1U);
    ASSERT_EQ(tile_stems(dir.file("one"), ".laz"), tiles);
    for (const std::string& t : tiles)
        EXPECT_EQ(read_file(dir.file("one/" + t + ".laz")), read_file(dir.file(t + ".laz"))) << t;
}

// The names of the files "T_*" in `dir`: tiles, compressed or not, and the
// files tiles are compressed into.
std::vector<std::string> tile_files_in(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().filename().string().rfind("T_", 0) == 0) names.push_back(entry.path().filename());
    return names;
}

// Where chunk `k` (from 0) of the LAZ file `path`, of chunks of
// `chunk_points` points, starts.
std::uint64_t chunk_offset(const std::string& path, std::uint32_t chunk_points, std::size_t k) {
    const TileBytes f = tile_bytes(path);
    LazFileLayout layout;
    layout.point_data_offset = f.header.base.OffsetToData;
    const std::uint64_t evlrs = f.header.StartOfFirstExtendedVariableLengthRecord;
    layout.data_end = evlrs != 0 ? evlrs : f.bytes.size();
    layout.point_count = f.points;
    layout.record_length = f.header.base.PointDataRecordLength;
    layout.chunk_size = chunk_points;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) throw std::runtime_error("cannot open " + path);
    const LazChunkTable table = read_chunk_table(file.get(), layout);
    if (!table.refusal.empty() || table.chunks.size() <= k)
        throw std::runtime_error("no chunk " + std::to_string(k));
    return table.chunks[k].byte_offset;
}

// A LAZ run that cannot go on ends with status 255 and its message naming
// the file, and leaves no tile of the run, compressed or not, nor a file a
// tile was being compressed into: refused inputs before any tile is
// written, an input chunk that cannot be decoded once tiles exist (the
// second of three files), a full disk while the records are distributed,
// and a full disk while the tiles are compressed
// (a file size limit that the uncompressed tiles stay below, but not a
// compressed tile with the 65,600-byte extended record of its input).
TEST(LazTiling, RunThatCannotGoOnNamesTheFileAndLeavesNoTile) {
    const LazCase c{"1.4 format 6, EVLR", 4, 6, 0, 1, RecordOrder::scan, "", "200", 6000, 500, false};
    struct Case {
        const char* what;
        std::function<void(const TempDir& dir)> spoil;
        const char* begins;  // a line of the output, the message, begins with this
        const char* holds;   // and holds this after it
        rlim_t file_size_limit = RLIM_INFINITY;
    };
    const auto patch = [](const std::string& path, std::uint64_t at, std::uint64_t value, std::size_t bytes) {
        std::string data = read_file(path);
        store_le(reinterpret_cast<unsigned char*>(data.data()) + at, bytes, value);
        write_file(path, data);
    };
    const Case cases[] = {
        {"a list of LAS and LAZ files",
         [&](const TempDir& d) {
             survey::generate_survey(survey_of(c, d.file("las"), false));
             write_file(d.file("survey.txt"), "strip_01.laz\nlas/strip_02.las\nstrip_03.laz\n");
         },
         "The list names both LAS and LAZ files (las/strip_02.las and strip_01.laz): ",
         "tile each kind in a run of its own"},
        {"an unknown compressor in the LAZ record",
         [&](const TempDir& d) {
             // The LAZ record is the last variable-length record; its
             // compressor opens its payload.
             const std::string path = d.file("strip_02.laz");
             const LazPointLayout layout{c.format, static_cast<std::uint16_t>(c.extra_bytes)};
             const std::uint64_t payload = laz_record_payload(laz_record_for(layout)).size();
             patch(path, tile_bytes(path).header.base.OffsetToData - payload, 9, 2);
         },
         "The LAZ record of strip_02.laz cannot be used: the LAZ record names compressor 9; ", ""},
        {"a chunk table offset outside the file",
         [&](const TempDir& d) {
             const std::string path = d.file("strip_02.laz");
             const TileBytes f = tile_bytes(path);
             patch(path, f.header.base.OffsetToData, f.bytes.size() + 1000, 8);
         },
         "The chunk table of strip_02.laz cannot be used: the chunk table offset ",
         " lies outside the file's point data"},
        {"a damaged chunk in the second of three files",
         [&](const TempDir& d) {
             // A layered chunk's first record (30 bytes in format 6) is
             // followed by its point count.
             const std::string path = d.file("strip_02.laz");
             patch(path, chunk_offset(path, c.chunk_points, 2) + 30, 7, 4);
         },
         "File strip_02.laz cannot be read: chunk 3 cannot be read: the chunk holds 7 points",
         "; the tiles of this run are removed"},
        {"a full disk while the records are distributed", [](const TempDir&) {},
         "Failed to write to tile file T_R", ".laz: File too large", 3000},
        {"a full disk while the tiles are compressed", [](const TempDir&) {},
         "Failed to rewrite the header of tile file T_R", ".laz.part: File too large", 60000},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        TempDir dir;
        survey::generate_survey(survey_of(c, dir.path, true));
        write_file(dir.file("survey.txt"), "strip_01.laz\nstrip_02.laz\nstrip_03.laz\n");
        k.spoil(dir);
        test::RunHooks hooks;
        const rlim_t limit = k.file_size_limit;
        hooks.before_exec = [limit] {
            // Past the limit a write fails with EFBIG rather than a signal.
            signal(SIGXFSZ, SIG_IGN);
            const rlimit bytes{limit, limit};
            if (setrlimit(RLIMIT_FSIZE, &bytes) != 0) _exit(126);
        };
        const RunResult r = test::run_program(TESSARO_UNBOUNDED_BIN, run_args(c), dir.path, 300, hooks);
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.status, 255) << r.output;
        const std::vector<std::string> lines = split(r.output, '\n');
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.rfind(k.begins, 0) == 0 &&
                   line.find(k.holds, std::strlen(k.begins)) != std::string::npos;
        })) << r.output;
        EXPECT_EQ(tile_files_in(dir.path), std::vector<std::string>{});
    }
}

// The conservation check must notice damage to a sound LAZ tile wherever it
// lies: chunks, LAZ record, header, chunk table, the bytes after it.
TEST(ConservationCheck, NoticesDamagedLazTiles) {
    TempDir dir;
    const LazCase c{"1.4 format 6", 4, 6, 3, 2, RecordOrder::scan, "", "250", 400000, 5000, false};
    survey::generate_survey(survey_of(c, dir.path, true));
    ASSERT_EQ(test::run_program(TESSARO_UNBOUNDED_BIN, run_args(c), dir.path).status, 0);
    verify::ConservationRequest rq{"survey.txt", "T_", 250, 0, false, 0, dir.path, true};
    ASSERT_TRUE(verify::check_conservation(rq).ok);
    std::string path, other;
    for (const std::string& t : tile_stems(dir.path, ".laz"))
        (path.empty() && chunks_in(tile_bytes(dir.file(t + ".laz"))) > 1 ? path : other) =
            dir.file(t + ".laz");
    ASSERT_FALSE(path.empty()) << "no tile of several chunks";
    const TileBytes tile = tile_bytes(path);
    const std::string& original = tile.bytes;
    const std::size_t offset = tile.header.base.OffsetToData;
    const auto table = static_cast<std::size_t>(load_le(tile.data() + offset, 8));
    const auto table_end = static_cast<std::size_t>(tile.header.StartOfFirstExtendedVariableLengthRecord);
    // The LAZ record is the last variable-length record; its chunk size
    // stands 12 bytes into its payload.
    const LazPointLayout layout{c.format, static_cast<std::uint16_t>(c.extra_bytes)};
    const std::size_t chunk_size_at = offset - laz_record_payload(laz_record_for(layout)).size() + 12;

    struct Damage {
        const char* what;
        std::function<void(std::string&)> apply;
        const char* message;
    };
    const Damage damages[] = {
        {"chunk byte changed", [&](std::string& s) { s[offset + 8 + 200] ^= 0x10; }, "chunk 1 of "},
        {"LAZ record of another chunk size", [&](std::string& s) { s[chunk_size_at] ^= 1; },
         "(of its LAZ record)"},
        {"compressed bit cleared", [&](std::string& s) { s[104] &= 0x7F; }, "PointDataFormatID"},
        {"point count changed", [&](std::string& s) { s[247] ^= 1; }, "the chunk table"},
        {"a byte between the last chunk and the table",
         [&](std::string& s) {
             s.insert(table, 1, '\0');
             store_le(reinterpret_cast<unsigned char*>(s.data()) + offset, 8, table + 1);
             store_le(reinterpret_cast<unsigned char*>(s.data()) + 235, 8, table_end + 1);
         },
         "1 bytes between its last chunk and its chunk table"},
        {"table entry changed", [&](std::string& s) { s[table_end - 1] ^= 0x20; }, "chunk table"},
        {"byte appended", [&](std::string& s) { s += 'x'; }, "after its chunk table"},
        {"the sound LAZ file of another tile", [&](std::string& s) { s = read_file(other); },
         "record 0 differs at byte 0"},
        {"extended record byte changed", [&](std::string& s) { s[s.size() - 1] ^= 1; },
         "of the extended variable length records"},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        std::string damaged = original;
        d.apply(damaged);
        write_file(path, damaged);
        const verify::ConservationReport report = verify::check_conservation(rq);
        EXPECT_FALSE(report.ok);
        EXPECT_NE(report.message.find(d.message), std::string::npos) << report.message;
        write_file(path, original);
    }
    ASSERT_TRUE(verify::check_conservation(rq).ok);

    // A stray LAZ tile is noticed; a LAS tile of the same prefix belongs to
    // a run on uncompressed files, which is not this one.
    write_file(dir.file("T_R9C9.laz"), original);
    EXPECT_NE(verify::check_conservation(rq).message.find("T_R9C9.laz exists, but no record"),
              std::string::npos);
    std::filesystem::rename(dir.file("T_R9C9.laz"), dir.file("T_R9C9.las"));
    EXPECT_TRUE(verify::check_conservation(rq).ok);
    // The compressed file of a tile, left by a run that stopped before the
    // file took the tile's name, is noticed even beside a sound tile.
    const std::string part = tile_stems(dir.path, ".laz").front() + ".laz.part";
    write_file(dir.file(part), original);
    EXPECT_NE(verify::check_conservation(rq).message.find(part + " exists: a run stopped"),
              std::string::npos);
}

}  // namespace
