#include "crs_records.hpp"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "evlr_records.hpp"
#include "las_bytes.hpp"

namespace tessaro {
namespace {

// Variable-length record header: Reserved (2), UserID (16), RecordID (2),
// RecordLengthAfterHeader (2), Description (32).
constexpr std::size_t kVlrHeaderBytes = 54;
constexpr std::size_t kUserIdAt = 2;
constexpr std::size_t kUserIdBytes = 16;
constexpr std::size_t kRecordIdAt = 18;
constexpr std::size_t kRecordLengthAt = 20;

constexpr char kProjectionUserId[] = "LASF_Projection";
constexpr std::uint16_t kGeoKeyDirectoryRecord = 34735;
constexpr std::uint16_t kGeoDoubleParamsRecord = 34736;
constexpr std::uint16_t kGeoAsciiParamsRecord = 34737;
constexpr std::uint16_t kWktRecord = 2112;
constexpr std::uint64_t kMaxExtendedCrsRecordBytes = std::uint64_t{1} << 20;

// The user id field up to its first NUL equals `id`.
bool user_id_is(const unsigned char* field, const char* id) {
    const std::size_t n = std::strlen(id);
    return std::memcmp(field, id, n) == 0 && (n == kUserIdBytes || field[n] == 0);
}

// The text of a WKT record up to its first NUL.
std::string wkt_text(const std::vector<unsigned char>& payload) {
    const auto end = std::find(payload.begin(), payload.end(), 0);
    return {payload.begin(), end};
}

// Reads past `n` bytes. The records follow the header closely, mostly in
// the stream's buffer already, where a seek would cost a read of its own.
bool skip(std::FILE* file, std::size_t n) {
    unsigned char scratch[4096];
    while (n > 0) {
        const std::size_t step = std::min(n, sizeof scratch);
        if (std::fread(scratch, 1, step, file) != step) return false;
        n -= step;
    }
    return true;
}

}  // namespace

CrsName read_crs_name(std::FILE* file, const LAS12Header& header) {
    const std::uint64_t end = header.OffsetToData;
    std::uint64_t at = header.HeaderSize;
    CrsName name;
    if (at < kHeaderBytes || at > end || !skip(file, static_cast<std::size_t>(at - kHeaderBytes)))
        return name;
    std::optional<std::vector<unsigned char>> payloads[4];
    constexpr std::uint16_t kRecordIds[4] = {kGeoKeyDirectoryRecord, kGeoDoubleParamsRecord,
                                             kGeoAsciiParamsRecord, kWktRecord};
    // A count that runs past the area ends the walk at the first record that
    // does not fit; readers take the records before it, and so does this.
    for (std::uint32_t k = 0; k < header.NumberOfVariableLengthRecords; ++k) {
        unsigned char head[kVlrHeaderBytes];
        if (end - at < kVlrHeaderBytes || std::fread(head, 1, kVlrHeaderBytes, file) != kVlrHeaderBytes)
            break;
        at += kVlrHeaderBytes;
        const std::uint16_t length = load_u16le(head + kRecordLengthAt);
        if (end - at < length) break;
        std::optional<std::vector<unsigned char>>* payload = nullptr;
        if (user_id_is(head + kUserIdAt, kProjectionUserId)) {
            const std::uint16_t id = load_u16le(head + kRecordIdAt);
            for (std::size_t r = 0; r < 4; ++r)
                if (id == kRecordIds[r] && !payloads[r]) payload = &payloads[r];
        }
        if (payload != nullptr) {
            std::vector<unsigned char> bytes(length);
            if (length != 0 && std::fread(bytes.data(), 1, length, file) != length) break;
            *payload = std::move(bytes);
        } else if (!skip(file, length)) {
            break;
        }
        at += length;
    }
    if (payloads[0]) name.geokeys = std::move(*payloads[0]);
    if (payloads[1]) name.geodoubles = std::move(*payloads[1]);
    if (payloads[2]) name.geoascii = std::move(*payloads[2]);
    if (payloads[3]) name.wkt = wkt_text(*payloads[3]);
    name.wkt_first = header.VersionMinor >= 4 && ((header.GlobalEncoding & kWktEncodingBit) != 0 ||
                                                  (header.PointDataFormatID & 0x7F) >= 6);
    return name;
}

void add_extended_crs_records(std::FILE* file, std::uint64_t start, std::uint32_t count, std::uint64_t end,
                              CrsName& name) {
    std::uint64_t at = start;
    for (std::uint32_t k = 0; k < count; ++k) {
        unsigned char head[kEvlrHeaderBytes];
        if (end - at < kEvlrHeaderBytes || fseeko(file, static_cast<off_t>(at), SEEK_SET) != 0 ||
            std::fread(head, 1, kEvlrHeaderBytes, file) != kEvlrHeaderBytes)
            return;
        at += kEvlrHeaderBytes;
        const std::uint64_t length = load_le(head + kRecordLengthAt, 8);
        if (end - at < length) return;
        const std::uint16_t id = load_u16le(head + kRecordIdAt);
        std::vector<unsigned char>* payload = nullptr;
        if (user_id_is(head + kUserIdAt, kProjectionUserId) && length <= kMaxExtendedCrsRecordBytes) {
            if (id == kGeoKeyDirectoryRecord && name.geokeys.empty()) payload = &name.geokeys;
            if (id == kGeoDoubleParamsRecord && name.geodoubles.empty()) payload = &name.geodoubles;
            if (id == kGeoAsciiParamsRecord && name.geoascii.empty()) payload = &name.geoascii;
        }
        const bool wkt = user_id_is(head + kUserIdAt, kProjectionUserId) && id == kWktRecord &&
                         name.wkt.empty() && length <= kMaxExtendedCrsRecordBytes;
        if (payload != nullptr || wkt) {
            std::vector<unsigned char> bytes(static_cast<std::size_t>(length));
            if (length != 0 && std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) return;
            if (wkt)
                name.wkt = wkt_text(bytes);
            else
                *payload = std::move(bytes);
        }
        at += length;
    }
}

void add_file_crs(SurveyCrs& survey, CrsName name) {
    if (!survey.named_by_all) return;
    const bool known = std::find(survey.names.begin(), survey.names.end(), name) != survey.names.end();
    if (known) return;
    if (!name.names_something() || survey.names.size() == kMaxSurveyCrsNames) {
        survey.named_by_all = false;
        survey.names.clear();
        return;
    }
    survey.names.push_back(std::move(name));
}

}  // namespace tessaro
