#include "laz_writer.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "las_bytes.hpp"
#include "las_records.hpp"
#include "laz_codec.hpp"

namespace tessaro::survey {
namespace {

struct Closer {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, Closer>;

void append(std::vector<unsigned char>& out, const unsigned char* p, std::size_t n) {
    out.insert(out.end(), p, p + n);
}

}  // namespace

std::vector<unsigned char> read_all(const std::string& path) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) throw std::runtime_error("cannot open " + path);
    std::vector<unsigned char> bytes;
    unsigned char chunk[1 << 16];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    if (std::ferror(f.get())) throw std::runtime_error("cannot read " + path);
    return bytes;
}

std::vector<unsigned char> compress_las_image(std::span<const unsigned char> in, std::uint32_t chunk_points,
                                              std::vector<LazChunk>* chunk_places) {
    if (in.size() < kHeaderBytes || chunk_points == 0) throw std::runtime_error("no LAS header");
    const LAS12Header h = header_from_bytes(in.data());
    const std::size_t header_bytes = header_bytes_of_version(h.VersionMinor);
    const LAS14HeaderExtension e =
        extension_from_bytes(in.data() + kHeaderBytes, header_bytes - kHeaderBytes);
    const std::uint64_t points = h.VersionMinor >= 4 ? e.NumberOfPointRecords : h.NumberOfPointReturns;
    const std::size_t len = h.PointDataRecordLength;
    const PointFormat* format = find_point_format(h.PointDataFormatID);
    if (format == nullptr || len < format->size) throw std::runtime_error("no point format to compress");
    const std::size_t records_end = h.OffsetToData + points * len;
    if (records_end > in.size()) throw std::runtime_error("truncated");
    const LazPointLayout layout{format->id, static_cast<std::uint16_t>(len - format->size)};

    LazRecord record = laz_record_for(layout);
    record.chunk_size = chunk_points;
    const std::vector<unsigned char> payload = laz_record_payload(record);
    unsigned char vlr[54] = {};
    std::memcpy(vlr + 2, kLazUserId.data(), kLazUserId.size());
    store_u16le(vlr + 18, kLazRecordId);
    store_u16le(vlr + 20, static_cast<std::uint16_t>(payload.size()));
    const std::string_view description = "Tessaro survey writer";
    std::copy(description.begin(), description.end(), vlr + 22);

    std::vector<unsigned char> out(in.begin(), in.begin() + h.OffsetToData);
    append(out, vlr, sizeof vlr);
    append(out, payload.data(), payload.size());
    LAS12Header lh = h;
    lh.PointDataFormatID = static_cast<std::uint8_t>(h.PointDataFormatID | kCompressedFormatBit);
    lh.NumberOfVariableLengthRecords += 1;
    lh.OffsetToData = static_cast<std::uint32_t>(out.size());
    const std::size_t table_offset_at = out.size();
    out.resize(out.size() + kChunkTableOffsetBytes);

    std::vector<LazChunk> chunks;
    std::vector<unsigned char> chunk;
    for (std::uint64_t first = 0; first < points; first += chunk_points) {
        const std::uint64_t n = std::min<std::uint64_t>(chunk_points, points - first);
        compress_chunk(layout, {in.data() + h.OffsetToData + first * len, static_cast<std::size_t>(n * len)},
                       chunk);
        chunks.push_back({n, out.size(), chunk.size()});
        append(out, chunk.data(), chunk.size());
    }
    store_chunk_table_offset(out.data() + table_offset_at, out.size());
    const std::vector<unsigned char> table = chunk_table_bytes(chunks, chunk_points);
    append(out, table.data(), table.size());

    LAS14HeaderExtension le = e;
    if (h.VersionMinor >= 4 && e.NumberOfExtendedVariableLengthRecords != 0) {
        le.StartOfFirstExtendedVariableLengthRecord = out.size();
        append(out, in.data() + records_end, in.size() - records_end);
    }
    header_to_bytes(lh, out.data());
    extension_to_bytes(le, out.data() + kHeaderBytes, header_bytes - kHeaderBytes);
    if (chunk_places != nullptr) *chunk_places = std::move(chunks);
    return out;
}

void compress_las_file(const std::string& las_path, const std::string& laz_path, std::uint32_t chunk_points) {
    std::vector<unsigned char> out;
    try {
        out = compress_las_image(read_all(las_path), chunk_points);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(las_path + ": " + e.what());
    }
    File f(std::fopen(laz_path.c_str(), "wb"));
    if (!f || std::fwrite(out.data(), 1, out.size(), f.get()) != out.size() || std::fclose(f.release()) != 0)
        throw std::runtime_error("cannot write " + laz_path);
}

std::vector<unsigned char> laz_point_records(const std::string& laz_path) {
    return laz_file_chunks(laz_path).records;
}

LazFileChunks laz_file_chunks(const std::string& laz_path) {
    const std::vector<unsigned char> in = read_all(laz_path);
    if (in.size() < kHeaderBytes) throw std::runtime_error("no LAS header in " + laz_path);
    const LAS12Header h = header_from_bytes(in.data());
    const std::size_t header_bytes = header_bytes_of_version(h.VersionMinor);
    const LAS14HeaderExtension e =
        extension_from_bytes(in.data() + kHeaderBytes, header_bytes - kHeaderBytes);
    const std::uint64_t points = h.VersionMinor >= 4 ? e.NumberOfPointRecords : h.NumberOfPointReturns;
    const PointFormat* format = find_point_format(h.PointDataFormatID & kCompressedFormatMask);
    if (format == nullptr) throw std::runtime_error("no point format in " + laz_path);
    // The LAZ record among the variable-length records.
    std::size_t at = h.HeaderSize;
    std::uint32_t chunk_size = 0;
    bool found = false;
    for (std::uint32_t k = 0; k < h.NumberOfVariableLengthRecords && at + 54 <= h.OffsetToData; ++k) {
        const std::uint16_t length = load_u16le(in.data() + at + 20);
        if (std::memcmp(in.data() + at + 2, kLazUserId.data(), kLazUserId.size()) == 0 &&
            load_u16le(in.data() + at + 18) == kLazRecordId) {
            const LazRecordCheck check =
                check_laz_record({in.data() + at + 54, length}, format->id, h.PointDataRecordLength);
            if (!check.refusal.empty())
                throw std::runtime_error(std::string(laz_path).append(": ").append(check.refusal));
            chunk_size = check.record.chunk_size;
            found = true;
        }
        at += 54 + length;
    }
    if (!found) throw std::runtime_error("no LAZ record in " + laz_path);
    const LazPointLayout layout{format->id,
                                static_cast<std::uint16_t>(h.PointDataRecordLength - format->size)};
    File f(std::fopen(laz_path.c_str(), "rb"));
    if (!f) throw std::runtime_error("cannot open " + laz_path);
    LazFileLayout file_layout;
    file_layout.point_data_offset = h.OffsetToData;
    file_layout.data_end = h.VersionMinor >= 4 && e.NumberOfExtendedVariableLengthRecords != 0
                               ? e.StartOfFirstExtendedVariableLengthRecord
                               : in.size();
    file_layout.point_count = points;
    file_layout.record_length = h.PointDataRecordLength;
    file_layout.chunk_size = chunk_size;
    const LazChunkTable table = read_chunk_table(f.get(), file_layout);
    if (!table.refusal.empty())
        throw std::runtime_error(std::string(laz_path).append(": ").append(table.refusal));
    LazFileChunks file;
    file.chunks = table.chunks;
    file.layout = layout;
    file.record_length = h.PointDataRecordLength;
    std::vector<unsigned char>& records = file.records;
    records.resize(static_cast<std::size_t>(points * h.PointDataRecordLength));
    std::size_t done = 0;
    for (const LazChunk& c : table.chunks) {
        const std::size_t n = static_cast<std::size_t>(c.point_count * h.PointDataRecordLength);
        const std::string refusal =
            decompress_chunk(layout, {in.data() + c.byte_offset, static_cast<std::size_t>(c.byte_count)},
                             {records.data() + done, n});
        if (!refusal.empty()) throw std::runtime_error(std::string(laz_path).append(": ").append(refusal));
        done += n;
    }
    return file;
}

}  // namespace tessaro::survey
