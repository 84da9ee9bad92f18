// The LAZ codec module: chunks that give back every record byte for byte,
// the same compressed bytes on every host, the LAZ record and the chunk
// table, and the refusal of damaged chunks, records and tables.
#include "laz_codec.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "las_bytes.hpp"

using namespace tessaro;

namespace {

constexpr unsigned kFormats[] = {0, 1, 2, 3, 6, 7, 8};

void put(std::vector<unsigned char>& r, std::size_t at, std::size_t size, std::uint64_t v) {
    store_le(r.data() + at, size, v);
}

// `count` records of that layout as a scanner writes them: coordinates that
// move along scan lines, pulses of one to three returns sharing a GPS time,
// colours that drift, and extra bytes that count. Fixed by `seed` on every
// host (the engine's output is defined by the standard).
std::vector<unsigned char> survey_records(LazPointLayout layout, std::size_t count, unsigned seed) {
    const std::size_t length = laz_record_length(layout);
    std::vector<unsigned char> records(count * length);
    std::vector<unsigned char> r(length);
    std::mt19937 random(seed);
    const bool layered = layout.format >= 6;
    const bool has_time = layout.format == 1 || layout.format == 3 || layered;
    const bool has_rgb = layout.format == 2 || layout.format == 3 || layout.format >= 7;
    const std::size_t rgb_at = layout.format == 2 ? 20 : layout.format == 3 ? 28 : 30;
    std::int64_t x = 5000000, y = 2000000, z = 12000;
    double time = 301234.5;
    unsigned returns = 1, ret = 1;
    for (std::size_t k = 0; k < count; ++k) {
        std::fill(r.begin(), r.end(), 0);
        if (ret > returns) {
            returns = 1 + random() % 3;
            ret = 1;
            time += 0.00001 * (1 + random() % 4);
            x += 35 + random() % 20;
            if (k % 400 == 399) y += 150, x -= 400 * 45;
        }
        z += static_cast<int>(random() % 41) - 20;
        // Now and then a point far off: coordinate differences beyond 2^31.
        put(r, 0, 4, k % 500 == 250 ? 0x80000007u : static_cast<std::uint32_t>(x));
        put(r, 4, 4, static_cast<std::uint32_t>(y + random() % 7));
        put(r, 8, 4, static_cast<std::uint32_t>(z - 300 * (ret - 1)));
        put(r, 12, 2, 200 + random() % 1500);
        if (layered) {
            r[14] = static_cast<unsigned char>(returns << 4 | ret);
            const unsigned channel = (k / 250) % 2;
            r[15] = static_cast<unsigned char>(channel << 4 | ((k / 97) % 2) << 6);
            r[16] = static_cast<unsigned char>(ret == returns ? 2 : 1);
            r[17] = static_cast<unsigned char>(k / 1000);
            put(r, 18, 2, static_cast<std::uint16_t>(static_cast<std::int16_t>(k % 3000) - 1500));
            put(r, 20, 2, 7 + k / 700);
        } else {
            r[14] = static_cast<unsigned char>(ret | returns << 3 | ((k / 97) % 2) << 6);
            r[15] = static_cast<unsigned char>(ret == returns ? 2 : 1);
            r[16] = static_cast<unsigned char>(static_cast<std::int8_t>(k % 60) - 30);
            r[17] = static_cast<unsigned char>(k / 1000);
            put(r, 18, 2, 7 + k / 700);
        }
        if (has_time) put(r, layered ? 22 : 20, 8, std::bit_cast<std::uint64_t>(time));
        if (has_rgb)
            for (std::size_t c = 0; c < 3; ++c) put(r, rgb_at + 2 * c, 2, 20000 + 1000 * c + (k / 10) % 300);
        if (layout.format == 8) put(r, 36, 2, 40000 + k % 900);
        for (std::size_t e = 0; e < layout.extra_bytes; ++e)
            r[length - layout.extra_bytes + e] = static_cast<unsigned char>(k * (e + 1) / 3);
        std::memcpy(records.data() + k * length, r.data(), length);
        ++ret;
    }
    return records;
}

std::string layout_name(LazPointLayout layout) {
    return "format " + std::to_string(layout.format) + " + " + std::to_string(layout.extra_bytes) +
           " extra bytes";
}

std::uint64_t fnv1a(const std::vector<unsigned char>& bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char b : bytes) h = (h ^ b) * 1099511628211ull;
    return h;
}

struct TempFile {
    std::string path;
    explicit TempFile(const std::string& name) : path(testing::TempDir() + name) {}
    ~TempFile() { std::remove(path.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
};

void write_bytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    ASSERT_EQ(std::fclose(f), 0);
}

LazChunkTable read_table(const std::string& path, const LazFileLayout& layout) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return {{}, "cannot open"};
    LazChunkTable table = read_chunk_table(f, layout);
    std::fclose(f);
    return table;
}

TEST(LazChunks, EveryFormatComesBackByteForByteInChunksOfEverySize) {
    for (unsigned format : kFormats) {
        for (std::uint16_t extra : {0, 3}) {
            const LazPointLayout layout{format, extra};
            const std::size_t length = laz_record_length(layout);
            const std::vector<unsigned char> survey = survey_records(layout, 1500, format * 7 + extra);
            for (std::size_t chunk_points : {1, 2, 37, 1000}) {
                SCOPED_TRACE(layout_name(layout) + ", chunks of " + std::to_string(chunk_points));
                // A dozen chunks at most: setting up the codec for a chunk
                // costs about a millisecond.
                const std::span<const unsigned char> records(
                    survey.data(), std::min(survey.size(), 12 * chunk_points * length));
                const std::size_t chunk_bytes = chunk_points * length;
                std::vector<std::vector<unsigned char>> chunks;
                for (std::size_t at = 0; at < records.size(); at += chunk_bytes) {
                    chunks.emplace_back();
                    compress_chunk(layout, records.subspan(at, std::min(chunk_bytes, records.size() - at)),
                                   chunks.back());
                }
                // Decoded last chunk first: each stands on its own.
                std::vector<unsigned char> back(records.size());
                for (std::size_t c = chunks.size(); c-- > 0;) {
                    const std::size_t at = c * chunk_bytes;
                    const std::span<unsigned char> out(back.data() + at,
                                                       std::min(chunk_bytes, back.size() - at));
                    ASSERT_EQ(decompress_chunk(layout, chunks[c], out), "") << "chunk " << c;
                }
                ASSERT_TRUE(std::equal(back.begin(), back.end(), records.begin(), records.end()));
            }
        }
    }
}

// The compressed bytes of fixed records, as any LAZ reader expects them;
// the same on hosts of either byte order.
TEST(LazChunks, CompressedBytesAreTheSameOnEveryHost) {
    struct Case {
        LazPointLayout layout;
        std::size_t size;
        std::uint64_t hash;
    };
    const Case cases[] = {
        {{0, 0}, 3120, 6476103024416842272u},  {{1, 0}, 3876, 2084773793174357879u},
        {{2, 0}, 3400, 3998981307459184248u},  {{3, 2}, 4614, 4987998022269909212u},
        {{6, 0}, 3983, 14798885933052990216u}, {{7, 0}, 4275, 14460805350107842680u},
        {{8, 2}, 4955, 18158270539105448758u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(layout_name(c.layout));
        std::vector<unsigned char> chunk;
        compress_chunk(c.layout, survey_records(c.layout, 500, 11), chunk);
        EXPECT_EQ(chunk.size(), c.size);
        EXPECT_EQ(fnv1a(chunk), c.hash);
    }
    const std::vector<LazChunk> chunks{{50000, 0, 181234}, {50000, 0, 179001}, {1234, 0, 5002}};
    const std::vector<unsigned char> table = chunk_table_bytes(chunks);
    EXPECT_EQ(table.size(), 25u);
    EXPECT_EQ(fnv1a(table), 10940111610507353619u);
}

TEST(LazChunks, TruncatedOrDamagedChunksAreRefusedWithoutReadingPastThem) {
    for (unsigned format : kFormats) {
        const LazPointLayout layout{format, 2};
        SCOPED_TRACE(layout_name(layout));
        const std::size_t length = laz_record_length(layout);
        const std::vector<unsigned char> records = survey_records(layout, 300, 5);
        std::vector<unsigned char> chunk;
        compress_chunk(layout, records, chunk);
        std::vector<unsigned char> back(records.size());
        // Each damaged chunk is a buffer of its own exact size, so that the
        // sanitized build sees any read past it.
        for (std::size_t cut = 0; cut < chunk.size(); cut += 1 + cut / 4) {
            const std::vector<unsigned char> truncated(chunk.begin(), chunk.begin() + cut);
            EXPECT_NE(decompress_chunk(layout, truncated, back), "") << "cut to " << cut;
        }
        const std::vector<unsigned char> longer = [&] {
            std::vector<unsigned char> c = chunk;
            c.push_back(0);
            return c;
        }();
        if (format < 6) {
            EXPECT_NE(decompress_chunk(layout, longer, back), "");
        }
        // A code value at the end of the coder's interval.
        std::vector<unsigned char> saturated = chunk;
        const std::size_t coded =
            format < 6 ? length : length + 4 + 4 * (9 + (format >= 7) + (format == 8) + 2);
        std::fill_n(saturated.begin() + static_cast<std::ptrdiff_t>(coded), 4, 0xFF);
        EXPECT_NE(decompress_chunk(layout, saturated, back), "");
        if (format >= 6) {
            // Layer sizes that do not add up to the chunk, and a point count
            // that is not the chunk's.
            for (std::size_t at : {length, length + 4, length + 8, coded - 4}) {
                std::vector<unsigned char> c = chunk;
                c[at] ^= 0x10;
                EXPECT_NE(decompress_chunk(layout, c, back), "") << "byte " << at;
            }
        }
        // Damage anywhere in the coded part: never a read outside the chunk;
        // most of it is found.
        std::mt19937 random(format);
        int refused = 0;
        for (int k = 0; k < 150; ++k) {
            std::vector<unsigned char> c = chunk;
            const int flips = 1 + static_cast<int>(random() % 3);
            for (int f = 0; f < flips; ++f)
                c[length + random() % (c.size() - length)] ^= 1u << (random() % 8);
            refused += decompress_chunk(layout, c, back).empty() ? 0 : 1;
        }
        EXPECT_GT(refused, 50);
    }
}

TEST(LazRecord, RecordWrittenForOutputReadsBack) {
    for (unsigned format : kFormats) {
        for (std::uint16_t extra : {0, 5}) {
            const LazPointLayout layout{format, extra};
            SCOPED_TRACE(layout_name(layout));
            const LazRecord record = laz_record_for(layout);
            const std::vector<unsigned char> payload = laz_record_payload(record);
            const LazRecordCheck check = check_laz_record(payload, format, laz_record_length(layout));
            EXPECT_EQ(check.refusal, "");
            EXPECT_EQ(check.layout, layout);
            EXPECT_EQ(check.record, record);
            EXPECT_EQ(check.record.chunk_size, kLazVariableChunkSize);
            EXPECT_EQ(payload.size(), 34 + 6 * record.items.size());
        }
    }
}

TEST(LazRecord, RecordThatContradictsTheHeaderIsRefused) {
    const auto payload_of = [](LazPointLayout layout) { return laz_record_payload(laz_record_for(layout)); };
    struct Case {
        const char* name;
        std::vector<unsigned char> payload;
        unsigned format;
        unsigned record_length;
        const char* refusal;  // a part of it
    };
    std::vector<unsigned char> old_version = payload_of({1, 0});
    store_u16le(old_version.data() + 34 + 4, 1);
    std::vector<unsigned char> newer_version = payload_of({7, 0});
    store_u16le(newer_version.data() + 34 + 6 + 4, 4);
    std::vector<unsigned char> pointwise_for_layered = payload_of({6, 0});
    store_u16le(pointwise_for_layered.data(), 2);
    std::vector<unsigned char> unchunked = payload_of({3, 0});
    store_u16le(unchunked.data(), 1);
    std::vector<unsigned char> other_coder = payload_of({0, 0});
    store_u16le(other_coder.data() + 2, 1);
    std::vector<unsigned char> no_chunk_size = payload_of({8, 0});
    store_u32le(no_chunk_size.data() + 12, 0);
    std::vector<unsigned char> cut = payload_of({2, 0});
    cut.resize(cut.size() - 6);
    std::vector<unsigned char> swapped = payload_of({3, 0});
    std::swap_ranges(swapped.begin() + 40, swapped.begin() + 46, swapped.begin() + 46);
    const Case cases[] = {
        {"items of format 3, header of format 1", payload_of({3, 0}), 1, 28,
         "do not describe point format 1"},
        {"items of format 6, header of format 8", payload_of({6, 0}), 8, 38,
         "do not describe point format 8"},
        {"no extra bytes, header records 2 longer", payload_of({1, 0}), 1, 30, "with 2 extra bytes"},
        {"extra bytes, header records without", payload_of({7, 4}), 7, 36, "with 0 extra bytes"},
        {"header records shorter than the format", payload_of({1, 0}), 1, 20, "do not hold point format 1"},
        {"waveform format", payload_of({1, 0}), 4, 57, "point format 4 cannot be read compressed"},
        {"items in another order", swapped, 3, 34, "do not describe point format 3"},
        {"item version 1", old_version, 1, 28, "version 1 of item type 6"},
        {"item version 4", newer_version, 7, 36, "version 4 of item type 11"},
        {"pointwise compressor for format 6", pointwise_for_layered, 6, 30, "compressor 2"},
        {"unchunked compressor", unchunked, 3, 34, "compressor 1"},
        {"other coder", other_coder, 0, 20, "coder 1"},
        {"chunk size 0", no_chunk_size, 8, 38, "chunk size is 0"},
        {"payload shorter than its items", cut, 2, 26, "its items make"},
        {"payload shorter than its fixed part", std::vector<unsigned char>(20), 2, 26, "too short"},
    };
    for (const Case& c : cases) {
        const LazRecordCheck check = check_laz_record(c.payload, c.format, c.record_length);
        EXPECT_NE(check.refusal.find(c.refusal), std::string::npos) << c.name << ": " << check.refusal;
    }
}

// A LAZ file's point data with its chunks: the table offset, the chunks, the
// table; before it `point_data_offset` bytes of header.
struct ChunkedFile {
    std::vector<unsigned char> bytes;
    std::vector<LazChunk> chunks;
};

ChunkedFile chunked_file(std::uint64_t point_data_offset, const std::vector<std::uint64_t>& points,
                         std::uint32_t record_length, std::uint32_t chunk_size) {
    ChunkedFile f;
    f.bytes.assign(first_chunk_offset(point_data_offset), 0);
    for (std::size_t k = 0; k < points.size(); ++k) {
        const std::uint64_t size = record_length + 5 * points[k] + k;
        f.chunks.push_back({points[k], f.bytes.size(), size});
        f.bytes.resize(f.bytes.size() + size, static_cast<unsigned char>(k));
    }
    store_chunk_table_offset(f.bytes.data() + point_data_offset, f.bytes.size());
    const std::vector<unsigned char> table = chunk_table_bytes(f.chunks, chunk_size);
    f.bytes.insert(f.bytes.end(), table.begin(), table.end());
    return f;
}

TEST(LazChunkTable, TableWrittenAtTheEndOfTheChunksReadsBack) {
    struct Case {
        std::vector<std::uint64_t> points;
        std::uint32_t chunk_size;
    };
    const Case cases[] = {
        {{700, 1, 52000, 3}, kLazVariableChunkSize},
        {{1}, kLazVariableChunkSize},
        {{}, kLazVariableChunkSize},
        {{50000, 50000, 17}, 50000},
    };
    for (const Case& c : cases) {
        const ChunkedFile f = chunked_file(375, c.points, 30, c.chunk_size);
        TempFile file("laz_table_read_back.bin");
        write_bytes(file.path, f.bytes);
        std::uint64_t total = 0;
        for (std::uint64_t p : c.points) total += p;
        const LazChunkTable table = read_table(file.path, {375, f.bytes.size(), total, 30, c.chunk_size});
        EXPECT_EQ(table.refusal, "") << c.points.size() << " chunks";
        EXPECT_EQ(table.chunks, f.chunks) << c.points.size() << " chunks";
    }
}

TEST(LazChunkTable, TableThatDoesNotFitTheFileIsRefused) {
    const std::vector<std::uint64_t> points{700, 1, 5200, 3};
    const std::uint64_t total = 5904;
    const ChunkedFile f = chunked_file(227, points, 20, kLazVariableChunkSize);
    const std::uint64_t table_at = f.bytes.size() - chunk_table_bytes(f.chunks).size();
    const auto with_offset = [&](std::uint64_t offset) {
        std::vector<unsigned char> b = f.bytes;
        store_chunk_table_offset(b.data() + 227, offset);
        return b;
    };
    const auto with_u32 = [&](std::size_t at, std::uint32_t v) {
        std::vector<unsigned char> b = f.bytes;
        store_u32le(b.data() + at, v);
        return b;
    };
    std::vector<LazChunk> longer = f.chunks;
    longer[2].byte_count += 1;
    std::vector<unsigned char> overrun(f.bytes.begin(),
                                       f.bytes.begin() + static_cast<std::ptrdiff_t>(table_at));
    const std::vector<unsigned char> overrun_table = chunk_table_bytes(longer);
    overrun.insert(overrun.end(), overrun_table.begin(), overrun_table.end());
    struct Case {
        const char* name;
        std::vector<unsigned char> bytes;
        std::uint64_t point_count;
        const char* refusal;                               // a part of it
        std::uint32_t chunk_size = kLazVariableChunkSize;  // of the LAZ record
    };
    const Case cases[] = {
        {"offset past the end of the file", with_offset(f.bytes.size() + 100), total, "lies outside"},
        {"offset in the last 8 bytes", with_offset(f.bytes.size() - 4), total, "lies outside"},
        {"offset before the first chunk", with_offset(100), total, "lies outside"},
        {"offset not written", with_offset(~0ull), total, "lies outside"},
        {"table version 1", with_u32(table_at, 1), total, "version 1"},
        {"more chunks than the table holds", with_u32(table_at + 4, 40), total,
         "runs past the end of the file"},
        {"more chunks than fit the points", with_u32(table_at + 4, 4000), total, "do not fit"},
        {"no chunks for the points", with_u32(table_at + 4, 0), total, "do not fit"},
        {"table cut short", {f.bytes.begin(), f.bytes.end() - 3}, total, "runs past the end of the file"},
        {"table coded from the end of the interval", with_u32(table_at + 8, 0xFFFFFFFFu), total,
         "do not start with a code value"},
        {"chunk running into the table", overrun, total, "runs past the start of the table"},
        {"points other than the header's", f.bytes, total + 1, "the header 5905"},
        {"file cut before the table offset",
         {f.bytes.begin(), f.bytes.begin() + 230},
         total,
         "cannot be read"},
        {"chunks of the LAZ record's size would be 3", f.bytes, total,
         "the LAZ record's chunk size of 2000 points contradicts the chunk table: the header's 5904 points "
         "make 3 chunks of that size, the table has 4",
         2000},
    };
    for (const Case& c : cases) {
        TempFile file("laz_table_refused.bin");
        write_bytes(file.path, c.bytes);
        const LazChunkTable table =
            read_table(file.path, {227, c.bytes.size(), c.point_count, 20, c.chunk_size});
        EXPECT_NE(table.refusal.find(c.refusal), std::string::npos) << c.name << ": " << table.refusal;
        EXPECT_TRUE(table.chunks.empty()) << c.name;
    }
}

TEST(LazChunkTable, OffsetIsPatchedAtTheStartOfThePointData) {
    TempFile file("laz_table_offset.bin");
    write_bytes(file.path, std::vector<unsigned char>(400, 0xAB));
    std::FILE* f = std::fopen(file.path.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(patch_chunk_table_offset(f, 375, 0x0102030405060708ull));
    std::fclose(f);
    std::vector<unsigned char> bytes(400);
    f = std::fopen(file.path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
    const std::vector<unsigned char> expected{0xAB, 8, 7, 6, 5, 4, 3, 2, 1, 0xAB};
    EXPECT_EQ(std::vector<unsigned char>(bytes.begin() + 374, bytes.begin() + 384), expected);
}

}  // namespace
