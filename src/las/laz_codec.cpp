#include "laz_codec.hpp"

#include <sys/types.h>
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "las_bytes.hpp"
#include "lazperf/compressor.hpp"
#include "lazperf/decoder.hpp"
#include "lazperf/decompressor.hpp"
#include "lazperf/encoder.hpp"
#include "lazperf/lazperf.hpp"

namespace tessaro {

namespace {

// Item types of the LAZ record's item list.
enum : std::uint16_t {
    kItemByte = 0,
    kItemPoint10 = 6,
    kItemGpsTime11 = 7,
    kItemRgb12 = 8,
    kItemPoint14 = 10,
    kItemRgb14 = 11,
    kItemRgbNir14 = 12,
    kItemByte14 = 14,
};

// Compressor of the LAZ record: records coded one after another, or in
// layers; both in chunks.
constexpr std::uint16_t kPointwiseChunked = 2;
constexpr std::uint16_t kLayeredChunked = 3;
// The item versions the codec reads and writes: 2 for formats 0 to 3, 3 for
// formats 6 to 8.
constexpr std::uint16_t kPointwiseItemVersion = 2;
constexpr std::uint16_t kLayeredItemVersion = 3;

constexpr std::size_t kRecordFixedBytes = 34;
constexpr std::size_t kItemBytes = 6;

// Bytes of the fields of point format `format`, 0 for a format the codec
// does not take (4, 5, 9 and 10 carry waveforms).
constexpr std::uint32_t format_size(unsigned format) {
    constexpr std::array<std::uint32_t, 9> sizes{20, 28, 26, 34, 0, 0, 30, 36, 38};
    return format < sizes.size() ? sizes[format] : 0;
}

constexpr bool is_layered(unsigned format) {
    return format >= 6;
}

// The item list of the records of that layout.
std::vector<LazItem> items_for(LazPointLayout layout) {
    std::vector<LazItem> items;
    if (!is_layered(layout.format)) {
        items.push_back({kItemPoint10, 20, kPointwiseItemVersion});
        if (layout.format == 1 || layout.format == 3)
            items.push_back({kItemGpsTime11, 8, kPointwiseItemVersion});
        if (layout.format == 2 || layout.format == 3) items.push_back({kItemRgb12, 6, kPointwiseItemVersion});
        if (layout.extra_bytes > 0) items.push_back({kItemByte, layout.extra_bytes, kPointwiseItemVersion});
    } else {
        items.push_back({kItemPoint14, 30, kLayeredItemVersion});
        if (layout.format == 7) items.push_back({kItemRgb14, 6, kLayeredItemVersion});
        if (layout.format == 8) items.push_back({kItemRgbNir14, 8, kLayeredItemVersion});
        if (layout.extra_bytes > 0) items.push_back({kItemByte14, layout.extra_bytes, kLayeredItemVersion});
    }
    return items;
}

std::string item_list_text(const std::vector<LazItem>& items) {
    std::string text;
    for (const LazItem& item : items) {
        if (!text.empty()) text += ", ";
        text += "type " + std::to_string(item.type) + " of " + std::to_string(item.size) + " bytes version " +
                std::to_string(item.version);
    }
    return text.empty() ? "no items" : text;
}

// The item list `found` against the one the layout needs; empty when equal.
std::string check_items(const std::vector<LazItem>& found, LazPointLayout layout) {
    const std::vector<LazItem> wanted = items_for(layout);
    if (found == wanted) return {};
    bool only_versions = found.size() == wanted.size();
    for (std::size_t k = 0; only_versions && k < found.size(); ++k)
        only_versions = found[k].type == wanted[k].type && found[k].size == wanted[k].size;
    if (only_versions) {
        for (std::size_t k = 0; k < found.size(); ++k)
            if (found[k].version != wanted[k].version)
                return "the LAZ record names version " + std::to_string(found[k].version) + " of item type " +
                       std::to_string(found[k].type) + ", which the codec does not read (it reads version " +
                       std::to_string(wanted[k].version) + ")";
    }
    return "the LAZ record's items (" + item_list_text(found) + ") do not describe point format " +
           std::to_string(layout.format) + " with " + std::to_string(layout.extra_bytes) + " extra bytes (" +
           item_list_text(wanted) + ")";
}

LazRecord decode_record(std::span<const unsigned char> p) {
    LazRecord r;
    r.compressor = load_u16le(p.data());
    r.coder = load_u16le(p.data() + 2);
    r.version_major = p[4];
    r.version_minor = p[5];
    r.version_revision = load_u16le(p.data() + 6);
    r.options = load_u32le(p.data() + 8);
    r.chunk_size = load_u32le(p.data() + 12);
    r.special_evlr_count = static_cast<std::int64_t>(load_le(p.data() + 16, 8));
    r.special_evlr_offset = static_cast<std::int64_t>(load_le(p.data() + 24, 8));
    const std::size_t count = load_u16le(p.data() + 32);
    for (std::size_t k = 0; k < count && kRecordFixedBytes + (k + 1) * kItemBytes <= p.size(); ++k) {
        const unsigned char* item = p.data() + kRecordFixedBytes + k * kItemBytes;
        r.items.push_back({load_u16le(item), load_u16le(item + 2), load_u16le(item + 4)});
    }
    return r;
}

// Thrown by the codec's input when a chunk has no more bytes; caught here,
// it never leaves this module.
struct ChunkEnded {};

// A coded stream starts with the coder's first code value, four bytes that
// lie inside its first interval and so are never all FF. The codec does not
// check this; a value at the interval's end leads its decoder to look up
// entries past the end of its tables.
bool starts_inside_interval(const unsigned char* first) {
    return load_u32le(first) != 0xFFFFFFFFu;
}

// The layers of a layered chunk: after the first record, stored raw, come the
// chunk's point count, the byte count of every layer and then the layers.
struct ChunkLayers {
    std::uint32_t rgb_bytes = 0;  // of the colour layer (formats 7 and 8)
    std::uint32_t nir_bytes = 0;  // of the near-infrared layer (format 8)
};

std::size_t layer_count(LazPointLayout layout) {
    // Nine layers of the point fields, one of colour, one of near-infrared,
    // one for each extra byte.
    return 9 + (layout.format >= 7 ? 1 : 0) + (layout.format == 8 ? 1 : 0) + layout.extra_bytes;
}

// Checks a layered chunk's point count and layer byte counts against its
// length before the codec copies the layers, so that no layer reaches past
// the chunk; empty when they agree.
std::string check_layers(LazPointLayout layout, std::span<const unsigned char> chunk, std::uint64_t count,
                         ChunkLayers& layers) {
    const std::size_t first = laz_record_length(layout);
    const std::size_t layers_at = first + 4;
    const std::size_t data_at = layers_at + 4 * layer_count(layout);
    if (chunk.size() < data_at)
        return "the chunk of " + std::to_string(chunk.size()) + " bytes ends before its layer sizes";
    const std::uint32_t stored = load_u32le(chunk.data() + first);
    if (stored != count)
        return "the chunk holds " + std::to_string(stored) + " points, the chunk table " +
               std::to_string(count);
    const auto layer_size = [&](std::size_t k) { return load_u32le(chunk.data() + layers_at + 4 * k); };
    std::uint64_t total = data_at;
    for (std::size_t k = 0; k < layer_count(layout); ++k) total += layer_size(k);
    if (total != chunk.size())
        return "the layers of the chunk add up to " + std::to_string(total) + " bytes, the chunk has " +
               std::to_string(chunk.size());
    std::size_t at = data_at;
    for (std::size_t k = 0; k < layer_count(layout); ++k) {
        if (layer_size(k) >= 4 && !starts_inside_interval(chunk.data() + at))
            return "layer " + std::to_string(k + 1) + " of the chunk does not start with a code value";
        at += layer_size(k);
    }
    constexpr std::size_t kRgbLayer = 9;
    constexpr std::size_t kNirLayer = 10;
    if (layout.format >= 7) layers.rgb_bytes = layer_size(kRgbLayer);
    if (layout.format == 8) layers.nir_bytes = layer_size(kNirLayer);
    return {};
}

// laz-perf 3.4.0 does not write every value of formats 6 to 8 in file byte
// order: the first colour and near-infrared value of a chunk are compressed
// as in-memory images, and a decompressed record after the first comes out
// as the in-memory image of its point fields (and of its colour and
// near-infrared value when their layer is empty). On little-endian hosts
// those images are the file bytes; on big-endian hosts the helpers below put
// the bytes in file order.
constexpr bool kBigEndianHost = std::endian::native == std::endian::big;

void reverse_field(unsigned char* record, std::size_t offset, std::size_t size) {
    std::reverse(record + offset, record + offset + size);
}

// The point fields of a format 6 to 8 record as an in-memory image of a
// big-endian host, turned into file order.
void point14_to_file_order(unsigned char* record) {
    constexpr std::array<std::array<std::size_t, 2>, 7> fields{{
        {0, 4}, {4, 4}, {8, 4}, {12, 2}, {18, 2}, {20, 2}, {22, 8}  // X Y Z intensity angle source time
    }};
    for (const auto& [offset, size] : fields) reverse_field(record, offset, size);
}

void layered_records_to_file_order(LazPointLayout layout, const ChunkLayers& layers,
                                   std::span<unsigned char> records) {
    const std::size_t length = laz_record_length(layout);
    const unsigned char* first = records.data();
    for (std::size_t at = length; at < records.size(); at += length) {
        unsigned char* record = records.data() + at;
        point14_to_file_order(record);
        // An empty layer repeats the first record's value, which came raw.
        if (layout.format >= 7 && layers.rgb_bytes == 0) std::memcpy(record + 30, first + 30, 6);
        if (layout.format == 8 && layers.nir_bytes == 0) std::memcpy(record + 36, first + 36, 2);
    }
}

// Output of the chunk table's coder into a byte vector.
struct ByteSink {
    std::vector<unsigned char>& bytes;
    void putBytes(const unsigned char* b, std::size_t n) { bytes.insert(bytes.end(), b, b + n); }
    void putByte(unsigned char b) { bytes.push_back(b); }
};

// Input of the chunk table's decoder: an open file read from the current
// position, at most `left` bytes.
struct TableSource {
    std::FILE* file;
    std::uint64_t left;
    std::array<unsigned char, 4096> buffer{};
    std::size_t at = 0;
    std::size_t filled = 0;
    bool read_failed = false;

    unsigned char getByte() {
        if (at == filled) refill();
        return buffer[at++];
    }
    void getBytes(unsigned char* b, std::size_t n) {
        for (std::size_t k = 0; k < n; ++k) b[k] = getByte();
    }
    // Whether the coded entries start with a code value, looked at without
    // taking it; fewer than four bytes are left to the decoder to find.
    bool starts_with_code_value() {
        if (at == filled) refill();
        return filled - at < 4 || starts_inside_interval(buffer.data() + at);
    }
    void refill() {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        if (n == 0) throw ChunkEnded{};
        if (std::fread(buffer.data(), 1, n, file) != n) {
            read_failed = true;
            throw ChunkEnded{};
        }
        left -= n;
        filled = n;
        at = 0;
    }
};

bool read_at(std::FILE* file, std::uint64_t offset, unsigned char* bytes, std::size_t size) {
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0 &&
           std::fread(bytes, 1, size, file) == size;
}

// The entries of a table of `count` chunks, decoded from the file's current
// position with at most `left` bytes; the refusal says why they cannot be.
std::string decode_table(std::FILE* file, std::uint64_t left, std::uint32_t count,
                         const LazFileLayout& layout, std::vector<LazChunk>& chunks) {
    if (count == 0) return {};
    TableSource source{file, left};
    try {
        if (!source.starts_with_code_value())
            return "the chunk table's entries do not start with a code value";
        lazperf::decoders::arithmetic<TableSource> decoder(source);
        lazperf::decompressors::integer entries(32, 2);
        decoder.readInitBytes();
        entries.init();
        std::uint32_t points = 0;
        std::uint32_t bytes = 0;
        std::uint64_t remaining = layout.point_count;
        for (std::uint32_t k = 0; k < count; ++k) {
            if (layout.chunk_size == kLazVariableChunkSize)
                points = static_cast<std::uint32_t>(
                    entries.decompress(decoder, static_cast<std::int32_t>(points), 0));
            else
                points = static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining, layout.chunk_size));
            bytes =
                static_cast<std::uint32_t>(entries.decompress(decoder, static_cast<std::int32_t>(bytes), 1));
            chunks.push_back({points, 0, bytes});
            remaining -= std::min<std::uint64_t>(remaining, points);
        }
    } catch (const ChunkEnded&) {
        return source.read_failed ? "the chunk table cannot be read"
                                  : "the chunk table runs past the end of the file";
    }
    return {};
}

// Each chunk holds at least one record, which it stores raw, and the chunks
// follow one another from the first chunk's start up to the table.
std::string place_chunks(const LazFileLayout& layout, std::uint64_t table_offset,
                         std::vector<LazChunk>& chunks) {
    std::uint64_t at = first_chunk_offset(layout.point_data_offset);
    std::uint64_t points = 0;
    for (std::size_t k = 0; k < chunks.size(); ++k) {
        LazChunk& chunk = chunks[k];
        const std::string name = "chunk " + std::to_string(k + 1) + " of " + std::to_string(chunks.size());
        if (chunk.point_count == 0) return "the chunk table gives " + name + " no points";
        if (chunk.byte_count < layout.record_length)
            return "the chunk table gives " + name + " " + std::to_string(chunk.byte_count) +
                   " bytes, less than one record";
        if (chunk.byte_count > table_offset - at)
            return "the chunk table's " + name + " runs past the start of the table";
        chunk.byte_offset = at;
        at += chunk.byte_count;
        points += chunk.point_count;
    }
    if (points != layout.point_count)
        return "the chunk table holds " + std::to_string(points) + " points, the header " +
               std::to_string(layout.point_count);
    return {};
}

}  // namespace

std::uint32_t laz_record_length(LazPointLayout layout) {
    return format_size(layout.format) + layout.extra_bytes;
}

LazRecordCheck check_laz_record(std::span<const unsigned char> payload, unsigned format,
                                unsigned record_length) {
    LazRecordCheck check;
    const std::uint32_t size = format_size(format);
    if (size == 0) {
        check.refusal = "point format " + std::to_string(format) + " cannot be read compressed";
        return check;
    }
    if (record_length < size || record_length - size > 0xFFFFu) {
        check.refusal = "the header's records of " + std::to_string(record_length) +
                        " bytes do not hold point format " + std::to_string(format) + " (" +
                        std::to_string(size) + " bytes)";
        return check;
    }
    check.layout = {format, static_cast<std::uint16_t>(record_length - size)};
    if (payload.size() < kRecordFixedBytes) {
        check.refusal = "the LAZ record of " + std::to_string(payload.size()) + " bytes is too short";
        return check;
    }
    check.record = decode_record(payload);
    const LazRecord& r = check.record;
    const std::size_t described = kRecordFixedBytes + kItemBytes * load_u16le(payload.data() + 32);
    const std::uint16_t compressor = is_layered(format) ? kLayeredChunked : kPointwiseChunked;
    if (payload.size() != described)
        check.refusal = "the LAZ record is " + std::to_string(payload.size()) +
                        " bytes long, its items make " + std::to_string(described);
    else if (r.compressor != compressor)
        check.refusal = "the LAZ record names compressor " + std::to_string(r.compressor) +
                        "; point format " + std::to_string(format) + " is read with compressor " +
                        std::to_string(compressor) +
                        (is_layered(format) ? " (layered, chunked)" : " (point by point, chunked)");
    else if (r.coder != 0)
        check.refusal = "the LAZ record names coder " + std::to_string(r.coder) +
                        "; only the arithmetic coder (0) is read";
    else if (r.chunk_size == 0)
        check.refusal = "the LAZ record's chunk size is 0";
    else
        check.refusal = check_items(r.items, check.layout);
    return check;
}

LazRecord laz_record_for(LazPointLayout layout) {
    LazRecord r;
    r.compressor = is_layered(layout.format) ? kLayeredChunked : kPointwiseChunked;
    r.coder = 0;
    // The version of the LAZ coding that the codec writes.
    r.version_major = 3;
    r.version_minor = 4;
    r.version_revision = 3;
    r.options = 0;
    r.chunk_size = kLazVariableChunkSize;
    r.items = items_for(layout);
    return r;
}

std::vector<unsigned char> laz_record_payload(const LazRecord& record) {
    std::vector<unsigned char> p(kRecordFixedBytes + kItemBytes * record.items.size());
    store_u16le(p.data(), record.compressor);
    store_u16le(p.data() + 2, record.coder);
    p[4] = record.version_major;
    p[5] = record.version_minor;
    store_u16le(p.data() + 6, record.version_revision);
    store_u32le(p.data() + 8, record.options);
    store_u32le(p.data() + 12, record.chunk_size);
    store_le(p.data() + 16, 8, static_cast<std::uint64_t>(record.special_evlr_count));
    store_le(p.data() + 24, 8, static_cast<std::uint64_t>(record.special_evlr_offset));
    store_u16le(p.data() + 32, static_cast<std::uint16_t>(record.items.size()));
    for (std::size_t k = 0; k < record.items.size(); ++k) {
        unsigned char* item = p.data() + kRecordFixedBytes + k * kItemBytes;
        store_u16le(item, record.items[k].type);
        store_u16le(item + 2, record.items[k].size);
        store_u16le(item + 4, record.items[k].version);
    }
    return p;
}

void compress_chunk(LazPointLayout layout, std::span<const unsigned char> records,
                    std::vector<unsigned char>& chunk) {
    chunk.clear();
    const std::size_t length = laz_record_length(layout);
    lazperf::las_compressor::ptr compressor = lazperf::build_las_compressor(
        [&chunk](const unsigned char* b, std::size_t n) { chunk.insert(chunk.end(), b, b + n); },
        static_cast<int>(layout.format), layout.extra_bytes);
    // Each record is handed over at its own start: the pointer that the codec
    // returns runs past the record when formats 6 to 8 carry extra bytes.
    for (std::size_t at = 0; at + length <= records.size(); at += length)
        compressor->compress(reinterpret_cast<const char*>(records.data() + at));
    compressor->done();
    // The chunk starts with the first record as it is; on a big-endian host
    // the codec wrote the colour and near-infrared parts as memory images.
    if (kBigEndianHost && layout.format >= 7 && chunk.size() >= length && records.size() >= length)
        std::memcpy(chunk.data(), records.data(), length);
}

std::string decompress_chunk(LazPointLayout layout, std::span<const unsigned char> chunk,
                             std::span<unsigned char> records) {
    const std::size_t length = laz_record_length(layout);
    if (format_size(layout.format) == 0)
        return "point format " + std::to_string(layout.format) + " cannot be read";
    if (records.empty() || records.size() % length != 0)
        return "the chunk's records do not fit the space given";
    const std::uint64_t count = records.size() / length;
    if (chunk.size() < length)
        return "the chunk of " + std::to_string(chunk.size()) + " bytes is shorter than a record";
    ChunkLayers layers;
    if (is_layered(layout.format)) {
        std::string refusal = check_layers(layout, chunk, count, layers);
        if (!refusal.empty()) return refusal;
    } else if (chunk.size() >= length + 4 && !starts_inside_interval(chunk.data() + length)) {
        return "the chunk's coded records do not start with a code value";
    }
    std::size_t used = 0;
    try {
        lazperf::las_decompressor::ptr decompressor = lazperf::build_las_decompressor(
            [&chunk, &used](unsigned char* b, std::size_t n) {
                if (n > chunk.size() - used) throw ChunkEnded{};
                std::memcpy(b, chunk.data() + used, n);
                used += n;
            },
            static_cast<int>(layout.format), layout.extra_bytes);
        for (std::size_t at = 0; at < records.size(); at += length)
            decompressor->decompress(reinterpret_cast<char*>(records.data() + at));
    } catch (const ChunkEnded&) {
        return "the chunk of " + std::to_string(chunk.size()) + " bytes ends before its " +
               std::to_string(count) + " records";
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        return std::string("the codec cannot read the chunk: ") + e.what();
    }
    // The coder ends a chunk with the bytes that its decoder reads last, so
    // records coded one after another use up their chunk exactly.
    if (!is_layered(layout.format) && used != chunk.size())
        return "the chunk's records end " + std::to_string(chunk.size() - used) + " bytes before the chunk";
    if (kBigEndianHost && is_layered(layout.format)) layered_records_to_file_order(layout, layers, records);
    return {};
}

LazChunkTable read_chunk_table(std::FILE* file, const LazFileLayout& layout) {
    LazChunkTable table;
    const std::uint64_t first = first_chunk_offset(layout.point_data_offset);
    std::array<unsigned char, 8> bytes{};
    if (!read_at(file, layout.point_data_offset, bytes.data(), bytes.size())) {
        table.refusal = "the chunk table offset cannot be read";
        return table;
    }
    const std::uint64_t offset = load_le(bytes.data(), 8);
    if (offset < first || offset > layout.data_end || layout.data_end - offset < 8) {
        table.refusal = "the chunk table offset " + std::to_string(static_cast<std::int64_t>(offset)) +
                        " lies outside the file's point data (" + std::to_string(first) + " to " +
                        std::to_string(layout.data_end) + ")";
        return table;
    }
    if (!read_at(file, offset, bytes.data(), bytes.size())) {
        table.refusal = "the chunk table cannot be read";
        return table;
    }
    const std::uint32_t version = load_u32le(bytes.data());
    const std::uint32_t count = load_u32le(bytes.data() + 4);
    if (version != 0) {
        table.refusal = "the chunk table is of version " + std::to_string(version) + ", not 0";
        return table;
    }
    // Each chunk holds at least one point and stores its first record raw.
    const std::uint64_t fit = layout.record_length == 0 ? 0 : (offset - first) / layout.record_length;
    const std::uint64_t needed = layout.chunk_size == kLazVariableChunkSize || layout.chunk_size == 0
                                     ? 0
                                     : (layout.point_count + layout.chunk_size - 1) / layout.chunk_size;
    if (count > layout.point_count || count > fit || (layout.point_count > 0 && count == 0)) {
        table.refusal = "the chunk table's " + std::to_string(count) + " chunks do not fit " +
                        std::to_string(layout.point_count) + " points in " + std::to_string(offset - first) +
                        " bytes";
        return table;
    }
    // Chunks of a fixed size: the LAZ record's chunk size and the header's
    // count give the number of chunks, which the table must have.
    if (needed > 0 && count != needed) {
        table.refusal = "the LAZ record's chunk size of " + std::to_string(layout.chunk_size) +
                        " points contradicts the chunk table: the header's " +
                        std::to_string(layout.point_count) + " points make " + std::to_string(needed) +
                        (needed == 1 ? " chunk" : " chunks") + " of that size, the table has " +
                        std::to_string(count);
        return table;
    }
    table.chunks.reserve(count);
    table.refusal = decode_table(file, layout.data_end - offset - 8, count, layout, table.chunks);
    if (table.refusal.empty()) table.refusal = place_chunks(layout, offset, table.chunks);
    if (!table.refusal.empty()) table.chunks.clear();
    return table;
}

std::vector<unsigned char> chunk_table_bytes(std::span<const LazChunk> chunks, std::uint32_t chunk_size) {
    std::vector<unsigned char> bytes(8);
    store_u32le(bytes.data(), 0);
    store_u32le(bytes.data() + 4, static_cast<std::uint32_t>(chunks.size()));
    ByteSink sink{bytes};
    lazperf::encoders::arithmetic<ByteSink> encoder(sink);
    lazperf::compressors::integer entries(32, 2);
    entries.init();
    std::int32_t points = 0;
    std::int32_t count = 0;
    for (const LazChunk& chunk : chunks) {
        if (chunk_size == kLazVariableChunkSize) {
            const auto next_points = static_cast<std::int32_t>(static_cast<std::uint32_t>(chunk.point_count));
            entries.compress(encoder, points, next_points, 0);
            points = next_points;
        }
        const auto next_count = static_cast<std::int32_t>(static_cast<std::uint32_t>(chunk.byte_count));
        entries.compress(encoder, count, next_count, 1);
        count = next_count;
    }
    encoder.done();
    return bytes;
}

void store_chunk_table_offset(unsigned char* bytes, std::uint64_t table_offset) {
    store_le(bytes, 8, table_offset);
}

bool patch_chunk_table_offset(std::FILE* file, std::uint64_t point_data_offset, std::uint64_t table_offset) {
    std::array<unsigned char, 8> bytes{};
    store_chunk_table_offset(bytes.data(), table_offset);
    return fseeko(file, static_cast<off_t>(point_data_offset), SEEK_SET) == 0 &&
           std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

}  // namespace tessaro
