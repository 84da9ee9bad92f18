#include "crs_records.hpp"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

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
constexpr std::uint16_t kWktRecord = 2112;

constexpr std::uint16_t kProjectedCSTypeGeoKey = 3072;
constexpr std::uint16_t kGeographicTypeGeoKey = 2048;
constexpr std::uint16_t kUserDefined = 32767;

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

std::uint16_t geokey_epsg_code(const unsigned char* payload, std::size_t size) {
    // A header of four shorts (KeyDirectoryVersion, KeyRevision, MinorRevision,
    // NumberOfKeys), then four shorts per key (KeyID, TIFFTagLocation, Count,
    // Value_Offset).
    constexpr std::size_t kEntryBytes = 8;
    if (size < kEntryBytes || load_u16le(payload) != 1) return 0;
    const std::size_t keys = load_u16le(payload + 6);
    if (keys > size / kEntryBytes - 1) return 0;
    std::optional<std::uint16_t> projected;
    std::optional<std::uint16_t> geographic;
    for (std::size_t k = 1; k <= keys; ++k) {
        const unsigned char* entry = payload + k * kEntryBytes;
        const std::uint16_t id = load_u16le(entry);
        // A code is held in the entry itself: location 0, count 1.
        const bool inline_value = load_u16le(entry + 2) == 0 && load_u16le(entry + 4) == 1;
        const std::uint16_t value = inline_value ? load_u16le(entry + 6) : 0;
        if (id == kProjectedCSTypeGeoKey && !projected) projected = value;
        if (id == kGeographicTypeGeoKey && !geographic) geographic = value;
    }
    // A projected system decides even when it is user-defined: its
    // geographic base alone would misname projected coordinates.
    const std::uint16_t code = projected ? *projected : geographic.value_or(0);
    return code < kUserDefined ? code : 0;
}

CrsName read_crs_name(std::FILE* file, const LAS12Header& header) {
    const std::uint64_t end = header.OffsetToData;
    std::uint64_t at = header.HeaderSize;
    if (at < kHeaderBytes || at > end || !skip(file, static_cast<std::size_t>(at - kHeaderBytes))) return {};
    std::optional<std::vector<unsigned char>> geokeys;
    std::optional<std::vector<unsigned char>> wkt;
    for (std::uint32_t k = 0; k < header.NumberOfVariableLengthRecords; ++k) {
        unsigned char head[kVlrHeaderBytes];
        if (end - at < kVlrHeaderBytes || std::fread(head, 1, kVlrHeaderBytes, file) != kVlrHeaderBytes)
            return {};
        at += kVlrHeaderBytes;
        const std::uint16_t length = load_u16le(head + kRecordLengthAt);
        if (end - at < length) return {};
        std::optional<std::vector<unsigned char>>* payload = nullptr;
        if (user_id_is(head + kUserIdAt, kProjectionUserId)) {
            const std::uint16_t id = load_u16le(head + kRecordIdAt);
            if (id == kGeoKeyDirectoryRecord && !geokeys) payload = &geokeys;
            if (id == kWktRecord && !wkt) payload = &wkt;
        }
        if (payload != nullptr) {
            payload->emplace(length);
            if (length != 0 && std::fread((*payload)->data(), 1, length, file) != length) return {};
        } else if (!skip(file, length)) {
            return {};
        }
        at += length;
    }
    CrsName name;
    if (geokeys) name.epsg = geokey_epsg_code(geokeys->data(), geokeys->size());
    if (name.epsg != 0) {
        name.source = CrsSource::EpsgCode;
    } else if (wkt) {
        name.wkt = wkt_text(*wkt);
        if (!name.wkt.empty()) name.source = CrsSource::Wkt;
    }
    return name;
}

void add_file_crs(SurveyCrs& survey, CrsName name) {
    if (!survey.named_by_all) return;
    const bool known = std::find(survey.names.begin(), survey.names.end(), name) != survey.names.end();
    if (known) return;
    if (name.source == CrsSource::None || survey.names.size() == kMaxSurveyCrsNames) {
        survey.named_by_all = false;
        survey.names.clear();
        return;
    }
    survey.names.push_back(std::move(name));
}

}  // namespace tessaro
