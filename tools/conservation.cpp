#include "conservation.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "las_records.hpp"
#include "laz_codec.hpp"
#include "laz_input.hpp"

namespace tessaro::verify {
namespace {

// A difference found: carries the one message the check reports.
struct Difference {
    std::string message;
};

[[noreturn]] void differ(const char* format, ...) __attribute__((format(printf, 1, 2)));
void differ(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(n > 0 ? static_cast<std::size_t>(n) : 0U, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    throw Difference{text};
}

struct Closer {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, Closer>;

constexpr std::size_t kBlockBytes = std::size_t{4} * 1024 * 1024;

// Renders a header field for a message.
std::string field_text(const HeaderField& f, const unsigned char* image) {
    char text[96];
    const unsigned char* p = image + f.offset;
    if (f.kind == FieldKind::real) {
        std::snprintf(text, sizeof text, "%.17g", load_f64le(p));
    } else if (f.kind == FieldKind::unsigned_int) {
        std::snprintf(text, sizeof text, "%" PRIu64, load_le(p, f.size));
    } else {
        std::string out = "\"";
        for (std::size_t k = 0; k < f.size; ++k) {
            const unsigned char ch = p[k];
            if (ch >= 32 && ch < 127) {
                out += static_cast<char>(ch);
            } else {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\x%02x", ch);
                out += esc;
            }
        }
        return out + "\"";
    }
    return text;
}

// ---- fingerprints ----------------------------------------------------------

std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

std::uint64_t fingerprint(const unsigned char* p, std::size_t n) {
    std::uint64_t h = 0x9e3779b97f4a7c15ULL ^ n;
    std::size_t k = 0;
    for (; k + 8 <= n; k += 8) {
        std::uint64_t v;
        std::memcpy(&v, p + k, 8);
        h = mix(h ^ v) + 0x632be59bd9b4e019ULL;
    }
    std::uint64_t v = 0;
    std::memcpy(&v, p + k, n - k);
    return mix(h ^ v ^ (static_cast<std::uint64_t>(n - k) << 56));
}

// Order-sensitive fold of a sequence of record fingerprints.
std::uint64_t fold(std::uint64_t acc, std::uint64_t fp) {
    return mix(acc + fp + 0x2545f4914f6cdd1dULL);
}

// ---- inputs and grid -------------------------------------------------------

// The header block of each LAS version, as far as the check reads it.
using HeaderImage = std::array<unsigned char, kLAS14HeaderBytes>;

struct Input {
    std::string name;  // as listed
    std::string path;  // resolved
    HeaderImage raw{};
    std::size_t header_bytes = kHeaderBytes;  // of its version: 227, 235 or 375
    LAS12Header h;
    std::uint64_t points = 0;         // the LAS 1.4 count, else the legacy one
    unsigned return_mask = 7;         // the return number bits of byte 14: 15 for formats 6 and up
    bool legacy_counts_zero = false;  // formats 6 and up keep only the LAS 1.4 counts
    // Extended variable-length records (LAS 1.4): where they lie and how many.
    std::uint64_t evlr_begin = 0, evlr_end = 0;
    std::uint32_t evlr_count = 0;
    // LAZ (bit 7 of the point format byte): the records are compressed in
    // chunks, as the LAZ record describes them.
    bool laz = false;
    LazPointLayout layout;
    std::uint64_t laz_record_at = 0;     // the LAZ record's payload, from the start of the file
    std::uint16_t laz_record_bytes = 0;  // its length
    std::uint32_t chunk_size = 0;        // of the LAZ record
    std::uint64_t data_end = 0;          // where the chunks and their table end at the latest
};

struct Grid {
    double XMin, YMin, XMax, YMax;
    std::uint32_t Rows, Cols;
};

// `path` without its "." components, which name the directory they stand in:
// a listed name may carry thousands of them and still name a file.
std::string without_dot_components(const std::string& path) {
    std::string out = !path.empty() && path[0] == '/' ? "/" : "";
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        if (!part.empty() && part != ".") {
            if (!out.empty() && out.back() != '/') out += '/';
            out += part;
        }
        start = end + 1;
    }
    return out.empty() ? std::string(".") : out;
}

std::string resolve(const std::string& directory, const std::string& path) {
    if (directory.empty() || (!path.empty() && path[0] == '/')) return path;
    return directory + "/" + path;
}

// A listed file's path, as the tool opens it from `directory`.
std::string resolve_input(const std::string& directory, const std::string& path) {
    return resolve(directory, without_dot_components(path));
}

// The fields of LAS 1.3 and 1.4 after the first 227 bytes, by their offsets
// in the LAS 1.4 header block.
constexpr std::size_t kWaveformStart = 227, kEvlrStart = 235, kEvlrCount = 243, kPointRecords = 247,
                      kPointsByReturn = 255;

// The point format of a file's records; in a LAZ file the format byte also
// carries the compression bit, and some writers set bit 6.
unsigned point_format_of(const Input& in) {
    return in.laz ? in.h.PointDataFormatID & kCompressedFormatMask : in.h.PointDataFormatID & 0x7FU;
}

// Reads what LAS 1.3 and 1.4 add to the header, and walks the extended
// records of a LAS 1.4 file to find where they end.
void read_version_fields(Input& in, std::FILE* f) {
    const unsigned minor = in.h.VersionMinor;
    in.header_bytes = minor <= 2 ? kHeaderBytes : minor == 3 ? kLAS13HeaderBytes : kLAS14HeaderBytes;
    const std::size_t more = in.header_bytes - kHeaderBytes;
    if (std::fread(in.raw.data() + kHeaderBytes, 1, more, f) != more)
        differ("input file %s has no whole LAS 1.%u header", in.name.c_str(), minor);
    in.points = in.h.NumberOfPointReturns;
    in.return_mask = point_format_of(in) >= 6 ? 15U : 7U;
    in.legacy_counts_zero = point_format_of(in) >= 6;
    if (minor < 4) return;
    in.points = load_le(in.raw.data() + kPointRecords, 8);
    in.evlr_count = load_u32le(in.raw.data() + kEvlrCount);
    in.evlr_begin = in.evlr_end = load_le(in.raw.data() + kEvlrStart, 8);
    for (std::uint32_t k = 0; k < in.evlr_count; ++k) {
        unsigned char header[60];
        if (fseeko(f, static_cast<off_t>(in.evlr_end), SEEK_SET) != 0 || std::fread(header, 1, 60, f) != 60)
            differ("input file %s ends inside its extended variable length record %u", in.name.c_str(),
                   k + 1);
        in.evlr_end += 60 + load_le(header + 20, 8);
    }
}

// Finds the LAZ record among the variable-length records of a LAZ input and
// checks it against the header; the chunks and their table end where the
// extended records begin, or at the end of the file.
void read_laz_fields(Input& in, std::FILE* f) {
    constexpr std::uint64_t kVlrHeader = 54;
    std::uint64_t at = in.h.HeaderSize;
    std::vector<unsigned char> payload;
    bool found = false;
    for (std::uint32_t k = 0; k < in.h.NumberOfVariableLengthRecords && !found; ++k) {
        unsigned char head[kVlrHeader];
        if (at + kVlrHeader > in.h.OffsetToData || fseeko(f, static_cast<off_t>(at), SEEK_SET) != 0 ||
            std::fread(head, 1, sizeof head, f) != sizeof head)
            differ("input file %s ends its variable length records before record %u", in.name.c_str(), k + 1);
        const std::uint16_t length = load_u16le(head + 20);
        at += kVlrHeader;
        if (at + length > in.h.OffsetToData)
            differ("input file %s has a variable length record past its point data", in.name.c_str());
        char user[17] = {};
        std::memcpy(user, head + 2, 16);
        if (kLazUserId == user && load_u16le(head + 18) == kLazRecordId) {
            payload.resize(length);
            if (length != 0 && std::fread(payload.data(), 1, length, f) != length)
                differ("cannot read the LAZ record of input file %s", in.name.c_str());
            in.laz_record_at = at;
            in.laz_record_bytes = length;
            found = true;
        }
        at += length;
    }
    if (!found) differ("input file %s is compressed, but holds no LAZ record", in.name.c_str());
    const LazRecordCheck check = check_laz_record(payload, point_format_of(in), in.h.PointDataRecordLength);
    if (!check.refusal.empty())
        differ("input file %s has a LAZ record that cannot be used: %s", in.name.c_str(),
               check.refusal.c_str());
    in.layout = check.layout;
    in.chunk_size = check.record.chunk_size;
    struct stat st;
    if (fstat(fileno(f), &st) != 0) differ("cannot stat input file %s", in.name.c_str());
    in.data_end = in.evlr_count != 0 ? in.evlr_begin : static_cast<std::uint64_t>(st.st_size);
}

std::vector<Input> read_inputs(const ConservationRequest& rq) {
    const std::string list_path = resolve(rq.directory, rq.list_file);
    std::ifstream list(list_path);
    if (!list) differ("cannot open list file %s", list_path.c_str());
    std::vector<Input> inputs;
    std::string token;
    while (list >> token) {
        Input in;
        in.name = token;
        in.path = resolve_input(rq.directory, token);
        File f(std::fopen(in.path.c_str(), "rb"));
        if (!f) differ("cannot open input file %s", token.c_str());
        if (std::fread(in.raw.data(), 1, kHeaderBytes, f.get()) != kHeaderBytes)
            differ("input file %s has no whole header", token.c_str());
        in.h = header_from_bytes(in.raw.data());
        in.laz = (in.h.PointDataFormatID & kCompressedFormatBit) != 0;
        read_version_fields(in, f.get());
        if (in.laz) read_laz_fields(in, f.get());
        inputs.push_back(std::move(in));
    }
    if (inputs.empty()) differ("list file %s names no file", list_path.c_str());
    const LAS12Header& first = inputs.front().h;
    for (const Input& in : inputs) {
        if (in.laz != inputs.front().laz)
            differ("input file %s is %s, the first file %s", in.name.c_str(), in.laz ? "LAZ" : "LAS",
                   inputs.front().laz ? "LAZ" : "LAS");
        if (in.h.PointDataRecordLength != first.PointDataRecordLength || in.h.PointDataRecordLength < 20)
            differ("input file %s has point records of %u bytes, the first file of %u", in.name.c_str(),
                   static_cast<unsigned>(in.h.PointDataRecordLength),
                   static_cast<unsigned>(first.PointDataRecordLength));
        if (in.h.OffsetToData < kHeaderBytes)
            differ("input file %s has OffsetToData %u", in.name.c_str(),
                   static_cast<unsigned>(in.h.OffsetToData));
    }
    return inputs;
}

// Number of tiles along one axis: ceil(extent / TileSize), at least one.
double axis_count(double low, double high, double TileSize) {
    const double n = std::ceil((high - low) / TileSize);
    return n >= 1.0 ? n : 1.0;
}

// The grid and the tile addressing below are written again here on purpose,
// from the tiling rules and not from the tiler's own code, so that the check
// is independent of what it checks: a fault in the tiler's grid or addressing
// shows up as a difference instead of being repeated. Keep them apart.
Grid lay_grid(const std::vector<Input>& inputs, const ConservationRequest& rq) {
    // Combined extent, strict comparisons from the sentinels.
    double MinX = 1.0e13, MinY = 1.0e13, MaxX = -1.0e13, MaxY = -1.0e13;
    for (const Input& in : inputs) {
        if (in.h.MaxX > MaxX) MaxX = in.h.MaxX;
        if (in.h.MaxY > MaxY) MaxY = in.h.MaxY;
        if (in.h.MinX < MinX) MinX = in.h.MinX;
        if (in.h.MinY < MinY) MinY = in.h.MinY;
    }
    const double b = rq.buffer;
    const double res = rq.resolution;
    Grid g{MinX, MinY, MaxX, MaxY, 0, 0};
    const bool buffered = b != 0.0;
    if (rq.snap && !buffered) {
        g.XMin = std::floor(MinX / res) * res;
        g.YMin = std::floor(MinY / res) * res;
        g.XMax = (std::floor(MaxX / res) + 1) * res;
        g.YMax = (std::floor(MaxY / res) + 1) * res;
    } else if (buffered && !rq.snap) {
        g.XMin = MinX - b;
        g.YMin = MinY - b;
        g.XMax = MaxX + b;
        g.YMax = MaxY + b;
    } else if (buffered && rq.snap) {
        g.XMin = std::floor((MinX - b) / res) * res;
        g.YMin = std::floor((MinY - b) / res) * res;
        g.XMax = (std::floor((MaxX + b) / res) + 1) * res;
        g.YMax = (std::floor((MaxY + b) / res) + 1) * res;
    }
    const double rows = axis_count(g.YMin, g.YMax, rq.tile_size);
    const double cols = axis_count(g.XMin, g.XMax, rq.tile_size);
    if (!(rows <= 65535.0) || !(cols <= 65535.0))
        differ("the grid would have %.0f rows and %.0f columns, more than the tiler can hold", rows, cols);
    g.Rows = static_cast<std::uint32_t>(rows);
    g.Cols = static_cast<std::uint32_t>(cols);
    return g;
}

// Index along an axis: the floor, with positions below the grid in tile 0
// and positions at or past its far edge in the last tile.
std::uint32_t clamped(double position, std::uint32_t count) {
    const double f = std::floor(position);
    if (!(f >= 0.0)) return 0;
    if (f >= static_cast<double>(count)) return count - 1;
    return static_cast<std::uint32_t>(f);
}

// Number of tiles the buffered header bounds of a file touch.
std::uint64_t span_of(const LAS12Header& h, const Grid& g, double ts, double b) {
    const std::uint32_t r0 = clamped((h.MinY - b - g.YMin) / ts, g.Rows);
    const std::uint32_t r1 = clamped((h.MaxY + b - g.YMin) / ts, g.Rows);
    const std::uint32_t c0 = clamped((h.MinX - b - g.XMin) / ts, g.Cols);
    const std::uint32_t c1 = clamped((h.MaxX + b - g.XMin) / ts, g.Cols);
    if (r0 > r1 || c0 > c1) return 0;
    return static_cast<std::uint64_t>(r1 - r0 + 1) * (c1 - c0 + 1);
}

// ---- placement -------------------------------------------------------------

struct Copy {
    std::uint32_t row, col;
};

// The tiles that receive a record at actual (x, y), home tile first, then the
// neighbours in the order of the eight buffer tests. Each test is made on its
// own, from the grid guard and the strict distance comparisons.
unsigned place(double x, double y, const Grid& g, double ts, double q, Copy out[9]) {
    const double i_dbl = (y - g.YMin) / ts;
    const double j_dbl = (x - g.XMin) / ts;
    const std::uint32_t i = clamped(i_dbl, g.Rows);
    const std::uint32_t j = clamped(j_dbl, g.Cols);
    unsigned n = 0;
    out[n++] = {i, j};
    if (!(q > 0.0)) return n;
    static constexpr int kOrder[8][2] = {{0, 1}, {0, -1}, {1, 0},  {-1, 0},
                                         {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
    for (const auto& d : kOrder) {
        const int dr = d[0];
        const int dc = d[1];
        bool pass = true;
        if (dc == 1) pass = pass && j < g.Cols - 1 && q > (j + 1) - j_dbl;
        if (dc == -1) pass = pass && j != 0 && q > j_dbl - j;
        if (dr == 1) pass = pass && i < g.Rows - 1 && q > (i + 1) - i_dbl;
        if (dr == -1) pass = pass && i != 0 && q > i_dbl - i;
        if (pass)
            out[n++] = {static_cast<std::uint32_t>(static_cast<int>(i) + dr),
                        static_cast<std::uint32_t>(static_cast<int>(j) + dc)};
    }
    return n;
}

// ---- expected tiles --------------------------------------------------------

struct Expected {
    std::uint32_t row = 0, col = 0;
    std::uint32_t creator = 0;  // index of the input file that created the tile
    std::uint64_t count = 0;
    std::uint64_t hash = 0;
    double Xmin = 1.0e13, Ymin = 1.0e13, Zmin = 1.0e13;
    double Xmax = -1.0e13, Ymax = -1.0e13, Zmax = -1.0e13;
    std::uint64_t Ret[15] = {};  // by return number 1 to 15
};

// Tiles that receive records, looked up by (row, col).
struct TileTable {
    std::vector<Expected> tiles;
    std::vector<std::uint32_t> dense;  // slot + 1 per tile when the grid is small
    std::unordered_map<std::uint64_t, std::uint32_t> sparse;
    std::uint32_t cols = 0;

    explicit TileTable(const Grid& g) : cols(g.Cols) {
        const std::uint64_t n = static_cast<std::uint64_t>(g.Rows) * g.Cols;
        if (n <= (1U << 22)) dense.assign(n, 0);
    }
    std::optional<std::uint32_t> find(std::uint32_t r, std::uint32_t c) const {
        const std::uint64_t key = static_cast<std::uint64_t>(r) * cols + c;
        if (!dense.empty()) {
            if (dense[key] == 0) return std::nullopt;
            return dense[key] - 1;
        }
        auto it = sparse.find(key);
        if (it == sparse.end()) return std::nullopt;
        return it->second;
    }
    Expected& get(std::uint32_t r, std::uint32_t c, std::uint32_t creator) {
        if (auto slot = find(r, c)) return tiles[*slot];
        const std::uint64_t key = static_cast<std::uint64_t>(r) * cols + c;
        const auto slot = static_cast<std::uint32_t>(tiles.size());
        if (!dense.empty())
            dense[key] = slot + 1;
        else
            sparse.emplace(key, slot);
        Expected e;
        e.row = r;
        e.col = c;
        e.creator = creator;
        tiles.push_back(e);
        return tiles.back();
    }
};

// ---- LAZ records -----------------------------------------------------------

// The records of a LAZ file in order, decompressed one chunk at a time, so
// that memory stays one chunk however large the file. `what` names the file
// in messages ("input file X", "tile file X").
struct LazReader {
    std::string what;
    std::FILE* file = nullptr;  // not owned
    LazPointLayout layout;
    std::vector<LazChunk> chunks;
    std::size_t next = 0;  // the chunk to decode next
    std::vector<unsigned char> packed, records;
    std::size_t at = 0;  // offset of the next record in `records`
};

// Decodes the next chunk into `r.records`; false when none is left.
bool next_chunk(LazReader& r) {
    if (r.next == r.chunks.size()) return false;
    const LazChunk& c = r.chunks[r.next];
    const std::size_t len = laz_record_length(r.layout);
    if (c.point_count > kMaxLazChunkRecordBytes / len || c.byte_count > 2 * kMaxLazChunkRecordBytes)
        differ("%s chunk %zu of %zu holds %llu points in %llu bytes, more than can be checked",
               r.what.c_str(), r.next + 1, r.chunks.size(), static_cast<unsigned long long>(c.point_count),
               static_cast<unsigned long long>(c.byte_count));
    r.packed.resize(static_cast<std::size_t>(c.byte_count));
    r.records.resize(static_cast<std::size_t>(c.point_count) * len);
    if (fseeko(r.file, static_cast<off_t>(c.byte_offset), SEEK_SET) != 0 ||
        std::fread(r.packed.data(), 1, r.packed.size(), r.file) != r.packed.size())
        differ("cannot read chunk %zu of %zu of %s", r.next + 1, r.chunks.size(), r.what.c_str());
    const std::string refusal = decompress_chunk(r.layout, r.packed, r.records);
    if (!refusal.empty())
        differ("%s chunk %zu of %zu cannot be decompressed: %s", r.what.c_str(), r.next + 1, r.chunks.size(),
               refusal.c_str());
    ++r.next;
    r.at = 0;
    return true;
}

// The next record, or null after the last.
const unsigned char* next_record(LazReader& r) {
    const std::size_t len = laz_record_length(r.layout);
    while (r.at == r.records.size())
        if (!next_chunk(r)) return nullptr;
    const unsigned char* rec = r.records.data() + r.at;
    r.at += len;
    return rec;
}

// The chunk table of a LAZ file whose point data starts at `offset` and whose
// chunks and table end by `data_end`, holding `points` records.
LazChunkTable chunk_table_of(std::FILE* f, std::uint64_t offset, std::uint64_t data_end, std::uint64_t points,
                             std::uint32_t record_length, std::uint32_t chunk_size) {
    LazFileLayout layout;
    layout.point_data_offset = offset;
    layout.data_end = data_end;
    layout.point_count = points;
    layout.record_length = record_length;
    layout.chunk_size = chunk_size;
    return read_chunk_table(f, layout);
}

// Streams the point records of a LAZ input file, calling visit(record, index).
template <typename Visit>
void for_each_laz_record(const Input& in, Visit visit) {
    File f(std::fopen(in.path.c_str(), "rb"));
    if (!f) differ("cannot open input file %s", in.name.c_str());
    LazChunkTable table = chunk_table_of(f.get(), in.h.OffsetToData, in.data_end, in.points,
                                         in.h.PointDataRecordLength, in.chunk_size);
    if (!table.refusal.empty())
        differ("input file %s has a chunk table that cannot be used: %s", in.name.c_str(),
               table.refusal.c_str());
    LazReader r{"input file " + in.name, f.get(), in.layout, std::move(table.chunks), 0, {}, {}, 0};
    std::uint64_t index = 0;
    while (const unsigned char* rec = next_record(r)) visit(rec, index++);
}

// Streams the point records of an input file, calling visit(record, index).
template <typename Visit>
void for_each_record(const Input& in, std::vector<unsigned char>& block, Visit visit) {
    if (in.laz) {
        for_each_laz_record(in, visit);
        return;
    }
    File f(std::fopen(in.path.c_str(), "rb"));
    if (!f) differ("cannot open input file %s", in.name.c_str());
    if (fseeko(f.get(), static_cast<off_t>(in.h.OffsetToData), SEEK_SET) != 0)
        differ("cannot seek to the point records of input file %s", in.name.c_str());
    const std::size_t len = in.h.PointDataRecordLength;
    const std::size_t per_block = block.size() / len;
    std::uint64_t left = in.points;
    std::uint64_t index = 0;
    while (left > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, per_block));
        if (std::fread(block.data(), len, n, f.get()) != n)
            differ("input file %s ends before its %llu point records", in.name.c_str(),
                   static_cast<unsigned long long>(in.points));
        for (std::size_t k = 0; k < n; ++k) visit(block.data() + k * len, index++);
        left -= n;
    }
}

double actual(const unsigned char* rec, int axis, const LAS12Header& h) {
    const double scale[3] = {h.XScaleFactor, h.YScaleFactor, h.ZScaleFactor};
    const double offset[3] = {h.XOffset, h.YOffset, h.ZOffset};
    return static_cast<double>(load_i32le(rec + std::ptrdiff_t{4} * axis)) * scale[axis] + offset[axis];
}

struct Naming {
    std::string prefix;  // resolved, for opening files
    std::string shown;   // as given, for messages
    int width;
    const char* extension = ".las";  // ".laz" for the tiles of LAZ inputs
    std::string label(std::uint32_t r, std::uint32_t c) const {
        char text[32];
        std::snprintf(text, sizeof text, "R%0*uC%0*u%s", width, static_cast<unsigned>(r + 1), width,
                      static_cast<unsigned>(c + 1), extension);
        return text;
    }
    std::string path(std::uint32_t r, std::uint32_t c) const { return prefix + label(r, c); }
    std::string name(std::uint32_t r, std::uint32_t c) const { return shown + label(r, c); }
};

struct Context {
    const ConservationRequest& rq;
    std::vector<Input> inputs;
    Grid grid{};
    double q = 0.0;
    Naming naming;
    std::vector<unsigned char> block;
};

// First pass: every input record, every copy, into the expected tiles.
void expect_all(Context& cx, TileTable& table, ConservationReport& report) {
    Copy copies[9];
    for (std::uint32_t f = 0; f < cx.inputs.size(); ++f) {
        const Input& in = cx.inputs[f];
        const std::size_t len = in.h.PointDataRecordLength;
        for_each_record(in, cx.block, [&](const unsigned char* rec, std::uint64_t) {
            const double x = actual(rec, 0, in.h);
            const double y = actual(rec, 1, in.h);
            const double z = actual(rec, 2, in.h);
            const unsigned n = place(x, y, cx.grid, cx.rq.tile_size, cx.q, copies);
            const std::uint64_t fp = fingerprint(rec, len);
            const unsigned ret = rec[14] & in.return_mask;
            for (unsigned m = 0; m < n; ++m) {
                Expected& e = table.get(copies[m].row, copies[m].col, f);
                ++e.count;
                e.hash = fold(e.hash, fp);
                if (x > e.Xmax) e.Xmax = x;
                if (x < e.Xmin) e.Xmin = x;
                if (y > e.Ymax) e.Ymax = y;
                if (y < e.Ymin) e.Ymin = y;
                if (z > e.Zmax) e.Zmax = z;
                if (z < e.Zmin) e.Zmin = z;
                if (ret >= 1) ++e.Ret[ret - 1];
            }
            ++report.records;
            report.copies += n - 1;
        });
    }
}

std::string describe_record(const unsigned char* rec, const Input& in) {
    char text[160];
    const LAS12Header& h = in.h;
    std::snprintf(text, sizeof text, "X %.6f Y %.6f Z %.6f return %u", actual(rec, 0, h), actual(rec, 1, h),
                  actual(rec, 2, h), rec[14] & in.return_mask);
    return text;
}

// Compares a tile's records with the expected sequence, record by record, and
// reports the first difference. Called only when the fingerprint disagrees.
// A LAZ tile is read through its chunk table, `tile_chunks`.
[[noreturn]] void locate_difference(Context& cx, const Expected& e,
                                    const std::vector<LazChunk>* tile_chunks = nullptr) {
    const std::string name = cx.naming.name(e.row, e.col);
    const Input& creator = cx.inputs[e.creator];
    const std::size_t len = creator.h.PointDataRecordLength;
    File tile(std::fopen(cx.naming.path(e.row, e.col).c_str(), "rb"));
    if (!tile || fseeko(tile.get(), static_cast<off_t>(creator.h.OffsetToData), SEEK_SET) != 0)
        differ("cannot read the records of tile file %s", name.c_str());
    std::vector<unsigned char> got(len);
    LazReader laz{"tile file " + name, tile.get(), creator.layout, {}, 0, {}, {}, 0};
    if (tile_chunks != nullptr) laz.chunks = *tile_chunks;
    // The tile's next record into `got`; false after its last.
    const auto read_next = [&] {
        if (tile_chunks == nullptr) return std::fread(got.data(), 1, len, tile.get()) == len;
        const unsigned char* rec = next_record(laz);
        if (rec != nullptr) std::memcpy(got.data(), rec, len);
        return rec != nullptr;
    };
    std::uint64_t k = 0;
    Copy copies[9];
    for (const Input& in : cx.inputs) {
        for_each_record(in, cx.block, [&](const unsigned char* rec, std::uint64_t index) {
            const unsigned n =
                place(actual(rec, 0, in.h), actual(rec, 1, in.h), cx.grid, cx.rq.tile_size, cx.q, copies);
            for (unsigned m = 0; m < n; ++m) {
                if (copies[m].row != e.row || copies[m].col != e.col) continue;
                const char* role = m == 0 ? "home record" : "buffer copy";
                if (!read_next())
                    differ(
                        "tile file %s ends after %llu records; expected next: %s of input file %s record "
                        "%llu "
                        "(%s)",
                        name.c_str(), static_cast<unsigned long long>(k), role, in.name.c_str(),
                        static_cast<unsigned long long>(index), describe_record(rec, in).c_str());
                if (std::memcmp(got.data(), rec, len) != 0) {
                    std::size_t b = 0;
                    while (got[b] == rec[b]) ++b;
                    differ(
                        "tile file %s record %llu differs at byte %zu: expected %s of input file %s record "
                        "%llu "
                        "(%s), found (%s)",
                        name.c_str(), static_cast<unsigned long long>(k), b, role, in.name.c_str(),
                        static_cast<unsigned long long>(index), describe_record(rec, in).c_str(),
                        describe_record(got.data(), creator).c_str());
                }
                ++k;
            }
        });
    }
    if (tile_chunks != nullptr) {
        if (read_next())
            differ("tile file %s holds more than the %llu records that belong to it (next: %s)", name.c_str(),
                   static_cast<unsigned long long>(k), describe_record(got.data(), creator).c_str());
        differ("tile file %s holds its %llu records, but their fingerprint disagrees", name.c_str(),
               static_cast<unsigned long long>(k));
    }
    if (creator.evlr_end != creator.evlr_begin)
        differ("tile file %s holds its %llu records, but not the %llu bytes of extended records after them",
               name.c_str(), static_cast<unsigned long long>(k),
               static_cast<unsigned long long>(creator.evlr_end - creator.evlr_begin));
    if (read_next())
        differ("tile file %s holds more than the %llu records that belong to it (next: %s)", name.c_str(),
               static_cast<unsigned long long>(k), describe_record(got.data(), creator).c_str());
    differ("tile file %s has trailing bytes after its %llu records", name.c_str(),
           static_cast<unsigned long long>(k));
}

// The header a tile must carry, whose records (a LAZ tile's chunk table)
// end at `records_end`.
HeaderImage expected_header(const Context& cx, const Expected& e, std::uint64_t records_end) {
    HeaderImage image = cx.inputs.back().raw;
    const Input& creator = cx.inputs[e.creator];
    const auto& own = creator.raw;
    static constexpr char kSoftware[24] = "Halvorn_LiDAR Utilities";
    std::memcpy(image.data() + header_offset("GeneratingSoftware"), kSoftware, 24);
    // HeaderSize, OffsetToData and the VLR count stay those of the creating file.
    const std::size_t layout = header_offset("HeaderSize");
    std::memcpy(image.data() + layout, own.data() + layout, header_offset("PointDataFormatID") - layout);
    // From LAS 1.3 on no waveform bit (a tile has no waveform packets); in
    // LAS 1.4 the WKT bit of the creating file, whose records the tile holds.
    if (creator.header_bytes > kHeaderBytes) {
        unsigned char* encoding = image.data() + header_offset("GlobalEncoding");
        unsigned bits = load_u16le(encoding) & ~0x06U;
        if (creator.header_bytes == kLAS14HeaderBytes)
            bits = (bits & ~0x10U) | (load_u16le(own.data() + header_offset("GlobalEncoding")) & 0x10U);
        store_u16le(encoding, static_cast<std::uint16_t>(bits));
    }
    // The legacy counts; for formats 6 and up, and past 32 bits, zero.
    const bool legacy = !creator.legacy_counts_zero && e.count <= UINT32_MAX;
    store_u32le(image.data() + header_offset("NumberOfPointReturns"),
                legacy ? static_cast<std::uint32_t>(e.count) : 0U);
    const std::size_t by_return = header_offset("NumberOfPointsByReturn[0]");
    for (int k = 0; k < 5; ++k)
        store_u32le(image.data() + by_return + std::ptrdiff_t{4} * k,
                    legacy ? static_cast<std::uint32_t>(e.Ret[k]) : 0U);
    // No waveform packets (LAS 1.3 on); the 64-bit counts and the extended
    // records after the tile's points (LAS 1.4).
    if (creator.header_bytes > kHeaderBytes) store_le(image.data() + kWaveformStart, 8, 0);
    if (creator.header_bytes == kLAS14HeaderBytes) {
        store_le(image.data() + kEvlrStart, 8, creator.evlr_count != 0 ? records_end : 0);
        store_u32le(image.data() + kEvlrCount, creator.evlr_count);
        store_le(image.data() + kPointRecords, 8, e.count);
        for (int k = 0; k < 15; ++k)
            store_le(image.data() + kPointsByReturn + std::ptrdiff_t{8} * k, 8, e.Ret[k]);
    }
    store_f64le(image.data() + header_offset("MaxX"), e.Xmax);
    store_f64le(image.data() + header_offset("MinX"), e.Xmin);
    store_f64le(image.data() + header_offset("MaxY"), e.Ymax);
    store_f64le(image.data() + header_offset("MinY"), e.Ymin);
    store_f64le(image.data() + header_offset("MaxZ"), e.Zmax);
    store_f64le(image.data() + header_offset("MinZ"), e.Zmin);
    return image;
}

// The offset of the LAS 1.3 or 1.4 header field that holds byte `b` (227 on).
std::size_t extension_field_at(std::size_t b) {
    if (b >= kPointsByReturn) return kPointsByReturn + (b - kPointsByReturn) / 8 * 8;
    if (b >= kPointRecords) return kPointRecords;
    if (b >= kEvlrCount) return kEvlrCount;
    return b >= kEvlrStart ? kEvlrStart : kWaveformStart;
}

// Compares `n` bytes of the tile from `at` with those of its creating input
// file from `from`.
void compare_bytes(const Input& creator, std::uint64_t from, std::FILE* tile, std::uint64_t at,
                   std::uint64_t n, const std::string& name, const char* what) {
    if (n == 0) return;
    File in(std::fopen(creator.path.c_str(), "rb"));
    if (!in || fseeko(in.get(), static_cast<off_t>(from), SEEK_SET) != 0 ||
        fseeko(tile, static_cast<off_t>(at), SEEK_SET) != 0)
        differ("cannot read input file %s", creator.name.c_str());
    std::vector<unsigned char> a(std::size_t{64} * 1024), t(std::size_t{64} * 1024);
    for (std::uint64_t done = 0; done < n;) {
        const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n - done, a.size()));
        if (std::fread(a.data(), 1, k, in.get()) != k)
            differ("input file %s ends before the bytes %s", creator.name.c_str(), what);
        if (std::fread(t.data(), 1, k, tile) != k)
            differ("tile file %s ends before the bytes %s", name.c_str(), what);
        for (std::size_t b = 0; b < k; ++b) {
            if (a[b] == t[b]) continue;
            const unsigned long long byte = at + done + b;
            differ(
                "tile file %s byte %llu (%s) is 0x%02x; input file %s, which created the tile, has "
                "0x%02x",
                name.c_str(), byte, what, t[b], creator.name.c_str(), a[b]);
        }
        done += k;
    }
}

// The records of a LAS tile, from `offset` up to its extended records:
// their count and order decide everything else. Returns where they end.
std::uint64_t check_las_records(Context& cx, const Expected& e, std::FILE* tile, std::uint64_t size) {
    const std::string name = cx.naming.name(e.row, e.col);
    const Input& creator = cx.inputs[e.creator];
    const std::uint64_t offset = creator.h.OffsetToData;
    const std::size_t len = creator.h.PointDataRecordLength;
    const std::uint64_t evlr_bytes = creator.evlr_end - creator.evlr_begin;
    const std::uint64_t records_end = offset + e.count * len;
    std::uint64_t hash = 0;
    std::uint64_t count = 0;
    if (size >= offset && fseeko(tile, static_cast<off_t>(offset), SEEK_SET) == 0) {
        const std::uint64_t region = size - offset >= evlr_bytes ? size - offset - evlr_bytes : size - offset;
        const std::size_t per_block = cx.block.size() / len;
        for (std::uint64_t left = region / len; left > 0;) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, per_block));
            const std::size_t n = std::fread(cx.block.data(), len, want, tile);
            for (std::size_t k = 0; k < n; ++k)
                hash = fold(hash, fingerprint(cx.block.data() + k * len, len));
            count += n;
            left -= n;
            if (n < want) break;
        }
    }
    if (count != e.count || hash != e.hash || size < records_end || (evlr_bytes == 0 && size != records_end))
        locate_difference(cx, e);
    if (size != records_end + evlr_bytes)
        differ("tile file %s holds %llu bytes after its records, where its extended records take %llu",
               name.c_str(), static_cast<unsigned long long>(size - records_end),
               static_cast<unsigned long long>(evlr_bytes));
    return records_end;
}

// The chunks of a LAZ tile: the table offset at the start of its point data,
// the chunks one after the other from there up to the table, and the table
// as the tile's chunks code it, with the points its header counts; after the
// table only the extended records of the creating file. Then the records of
// every chunk, decompressed, as for a LAS tile. Returns where the table ends.
std::uint64_t check_laz_records(Context& cx, const Expected& e, std::FILE* tile, std::uint64_t size) {
    const std::string name = cx.naming.name(e.row, e.col);
    const Input& creator = cx.inputs[e.creator];
    const std::uint64_t offset = creator.h.OffsetToData;
    const std::uint32_t len = creator.h.PointDataRecordLength;
    const std::uint64_t evlr_bytes = creator.evlr_end - creator.evlr_begin;
    unsigned char head[kLAS14HeaderBytes];
    const std::size_t header_bytes = creator.header_bytes;
    unsigned char table_at[kChunkTableOffsetBytes];
    if (std::fseek(tile, 0, SEEK_SET) != 0 || std::fread(head, 1, header_bytes, tile) != header_bytes ||
        size < offset + sizeof table_at || fseeko(tile, static_cast<off_t>(offset), SEEK_SET) != 0 ||
        std::fread(table_at, 1, sizeof table_at, tile) != sizeof table_at)
        differ("tile file %s ends before its chunk table offset at byte %llu", name.c_str(),
               static_cast<unsigned long long>(offset));
    const std::uint64_t points = header_bytes == kLAS14HeaderBytes
                                     ? load_le(head + kPointRecords, 8)
                                     : load_u32le(head + header_offset("NumberOfPointReturns"));
    const LazChunkTable table = chunk_table_of(tile, offset, size, points, len, laz_tile_chunk_points(len));
    if (!table.refusal.empty())
        differ("tile file %s has a chunk table that cannot be used: %s", name.c_str(), table.refusal.c_str());
    const std::uint64_t table_offset = load_le(table_at, 8);
    std::uint64_t chunk_bytes = 0;
    for (const LazChunk& c : table.chunks) chunk_bytes += c.byte_count;
    if (first_chunk_offset(offset) + chunk_bytes != table_offset)
        differ("tile file %s holds %llu bytes between its last chunk and its chunk table", name.c_str(),
               static_cast<unsigned long long>(table_offset - first_chunk_offset(offset) - chunk_bytes));
    const std::vector<unsigned char> coded = chunk_table_bytes(table.chunks, laz_tile_chunk_points(len));
    const std::uint64_t table_end = table_offset + coded.size();
    if (size < table_end || size - table_end != evlr_bytes)
        differ(
            "tile file %s holds %lld bytes after its chunk table of %zu bytes, where its extended records "
            "take %llu",
            name.c_str(), static_cast<long long>(size - table_end), coded.size(),
            static_cast<unsigned long long>(evlr_bytes));
    std::vector<unsigned char> stored(coded.size());
    if (fseeko(tile, static_cast<off_t>(table_offset), SEEK_SET) != 0 ||
        std::fread(stored.data(), 1, stored.size(), tile) != stored.size())
        differ("cannot read the chunk table of tile file %s", name.c_str());
    if (stored != coded)
        differ("tile file %s has a chunk table whose bytes differ from its entries coded anew", name.c_str());

    LazReader r{"tile file " + name, tile, creator.layout, table.chunks, 0, {}, {}, 0};
    std::uint64_t hash = 0;
    std::uint64_t count = 0;
    while (next_chunk(r)) {
        for (std::size_t at = 0; at < r.records.size(); at += len)
            hash = fold(hash, fingerprint(r.records.data() + at, len));
        count += r.records.size() / len;
    }
    if (count != e.count || hash != e.hash) locate_difference(cx, e, &table.chunks);
    return table_end;
}

// The bytes of a LAZ tile from its header to its points: the creating
// file's, except the payload of its LAZ record, which describes the tile's
// own chunks (of laz_tile_chunk_points points), zero-padded to the length of
// the creating file's.
void compare_laz_pre_point_bytes(const Input& creator, std::FILE* tile, const std::string& name) {
    const std::uint64_t from = creator.header_bytes, at = creator.laz_record_at;
    const std::uint64_t after = at + creator.laz_record_bytes;
    compare_bytes(creator, from, tile, from, at - from, name, "before the point records");
    std::vector<unsigned char> want = tile_laz_record(creator.layout);
    want.resize(std::max<std::size_t>(want.size(), creator.laz_record_bytes), 0);
    std::vector<unsigned char> got(creator.laz_record_bytes);
    if (fseeko(tile, static_cast<off_t>(at), SEEK_SET) != 0 ||
        std::fread(got.data(), 1, got.size(), tile) != got.size())
        differ("cannot read the LAZ record of tile file %s", name.c_str());
    for (std::size_t b = 0; b < got.size(); ++b) {
        if (got[b] == want[b]) continue;
        const unsigned long long byte = at + b;
        differ(
            "tile file %s byte %llu (of its LAZ record) is 0x%02x; the LAZ record of tiles' chunks has "
            "0x%02x",
            name.c_str(), byte, got[b], want[b]);
    }
    compare_bytes(creator, after, tile, after, creator.h.OffsetToData - after, name,
                  "before the point records");
}

void check_tile(Context& cx, const Expected& e) {
    const std::string name = cx.naming.name(e.row, e.col);
    const std::string path = cx.naming.path(e.row, e.col);
    const Input& creator = cx.inputs[e.creator];
    const std::uint64_t offset = creator.h.OffsetToData;
    File tile(std::fopen(path.c_str(), "rb"));
    if (!tile)
        differ("tile file %s is missing; %llu records belong to it (created by input file %s)", name.c_str(),
               static_cast<unsigned long long>(e.count), creator.name.c_str());
    struct stat st;
    if (fstat(fileno(tile.get()), &st) != 0) differ("cannot stat tile file %s", name.c_str());
    const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);

    // Records first: their count and order decide everything else.
    const std::uint64_t records_end =
        creator.laz ? check_laz_records(cx, e, tile.get(), size) : check_las_records(cx, e, tile.get(), size);
    const std::uint64_t evlr_bytes = creator.evlr_end - creator.evlr_begin;

    // The header.
    const std::size_t header_bytes = creator.header_bytes;
    HeaderImage got{};
    if (std::fseek(tile.get(), 0, SEEK_SET) != 0 ||
        std::fread(got.data(), 1, header_bytes, tile.get()) != header_bytes)
        differ("tile file %s has no whole header", name.c_str());
    const HeaderImage want = expected_header(cx, e, records_end);
    for (std::size_t b = 0; b < header_bytes; ++b) {
        if (got[b] == want[b]) continue;
        if (b >= kHeaderBytes) {
            const std::size_t at = extension_field_at(b);
            const std::size_t size_of = at == kEvlrCount ? 4 : 8;
            differ("tile file %s header field at byte %zu (LAS 1.%u) is %llu, expected %llu", name.c_str(),
                   at, static_cast<unsigned>(creator.h.VersionMinor),
                   static_cast<unsigned long long>(load_le(got.data() + at, size_of)),
                   static_cast<unsigned long long>(load_le(want.data() + at, size_of)));
        }
        const HeaderField& f = header_field_at(b);
        differ("tile file %s header field %.*s (byte %zu) is %s, expected %s", name.c_str(),
               static_cast<int>(f.name.size()), f.name.data(), b, field_text(f, got.data()).c_str(),
               field_text(f, want.data()).c_str());
    }

    // Header extension and variable-length records of the creating file,
    // and its extended records after the points.
    if (creator.laz)
        compare_laz_pre_point_bytes(creator, tile.get(), name);
    else
        compare_bytes(creator, header_bytes, tile.get(), header_bytes, offset - header_bytes, name,
                      "before the point records");
    compare_bytes(creator, creator.evlr_begin, tile.get(), records_end, evlr_bytes, name,
                  "of the extended variable length records");
}

// Splits a tile prefix into the directory to scan and the name stem.
std::pair<std::string, std::string> prefix_parts(const std::string& prefix) {
    const std::size_t slash = prefix.rfind('/');
    if (slash == std::string::npos) return {".", prefix};
    return {slash == 0 ? "/" : prefix.substr(0, slash), prefix.substr(slash + 1)};
}

// Whether `rest` is "R<digits>C<digits>" and `extension`, a tile name of any
// grid.
bool tile_like(const std::string& rest, const char* extension) {
    const auto digits_from = [&](std::size_t k) {
        const std::size_t start = k;
        while (k < rest.size() && rest[k] >= '0' && rest[k] <= '9') ++k;
        return k > start ? k : std::string::npos;
    };
    if (rest.empty() || rest[0] != 'R') return false;
    const std::size_t c = digits_from(1);
    if (c == std::string::npos || c >= rest.size() || rest[c] != 'C') return false;
    const std::size_t dot = digits_from(c + 1);
    return dot != std::string::npos && rest.compare(dot, std::string::npos, extension) == 0;
}

// Parses "R<width digits>C<width digits>" and the 4-character `extension`;
// 1-based numbers.
std::optional<std::pair<unsigned, unsigned>> parse_label(const std::string& rest, int width,
                                                         const char* extension) {
    const std::size_t w = static_cast<std::size_t>(width);
    if (rest.size() != 2 * w + 6 || rest[0] != 'R' || rest[w + 1] != 'C' ||
        rest.compare(2 * w + 2, 4, extension) != 0)
        return std::nullopt;
    unsigned r = 0, c = 0;
    for (std::size_t k = 0; k < w; ++k) {
        const char a = rest[1 + k], b = rest[w + 2 + k];
        if (a < '0' || a > '9' || b < '0' || b > '9') return std::nullopt;
        r = r * 10 + static_cast<unsigned>(a - '0');
        c = c * 10 + static_cast<unsigned>(b - '0');
    }
    return std::make_pair(r, c);
}

// Every file named like a tile must be one of this grid that receives
// records, or an input: a tile of another grid (an earlier run into the same
// directory, whose names may have another number of digits) is stray. Every
// stray file is counted, so that one look at the report finds them all; the
// first names in name order are shown. Names are those of the run's tiles:
// .laz for LAZ inputs, .las otherwise; a tiler run writes and clears only
// tiles of its own kind, so the other kind's files belong to another run.
// A LAZ tile's compressed file, "<tile>.laz.part" until it takes the tile's
// name, is left only by a run that stopped while compressing, whatever the
// tile: it is stray too.
void check_no_stray_tiles(const Context& cx, const TileTable& table) {
    constexpr std::size_t kShownNames = 20;
    const auto [dir, stem] = prefix_parts(cx.naming.prefix);
    std::error_code ec;
    std::filesystem::directory_iterator it(dir, ec);
    if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory)
        return;  // no directory, no tile file
    if (ec)
        differ("cannot list directory %s to look for leftover tile files: %s", dir.c_str(),
               ec.message().c_str());
    std::set<std::string> shown;  // the first names in order, at most kShownNames
    std::uint64_t count = 0;
    for (const auto& entry : it) {
        const std::string file = entry.path().filename().string();
        if (file.compare(0, stem.size(), stem) != 0) continue;
        const std::string rest = file.substr(stem.size());
        const bool part = cx.inputs.front().laz && tile_like(rest, ".laz.part");
        if (!part && !tile_like(rest, cx.naming.extension)) continue;
        const auto rc = parse_label(rest, cx.naming.width, cx.naming.extension);
        const bool inside = rc && rc->first >= 1 && rc->second >= 1 && rc->first <= cx.grid.Rows &&
                            rc->second <= cx.grid.Cols;
        if (inside && table.find(rc->first - 1, rc->second - 1)) continue;
        // A listed input may bear the name of another grid's tile.
        const bool listed = std::any_of(cx.inputs.begin(), cx.inputs.end(), [&](const Input& in) {
            std::error_code same;
            return std::filesystem::equivalent(entry.path(), in.path, same);
        });
        if (listed) continue;
        if (part)
            differ("file %s%s exists: a run stopped while it compressed its tiles", cx.naming.shown.c_str(),
                   rest.c_str());
        ++count;
        shown.insert(cx.naming.shown + file.substr(stem.size()));
        if (shown.size() > kShownNames) shown.erase(std::prev(shown.end()));
    }
    if (count == 0) return;
    if (count == 1) differ("tile file %s exists, but no record belongs to that tile", shown.begin()->c_str());
    std::string text = std::to_string(count) + " tile files exist, but no record belongs to their tiles:";
    for (const std::string& name : shown) text += "\n  " + name;
    if (count > shown.size()) text += "\n  ... and " + std::to_string(count - shown.size()) + " more";
    throw Difference{text};
}

int digits(std::uint32_t n) {
    int w = 1;
    while (n >= 10) {
        n /= 10;
        ++w;
    }
    return w;
}

ConservationReport check(const ConservationRequest& rq) {
    ConservationReport report;
    if (!(rq.tile_size > 0.0)) differ("tile size must be positive");
    if (rq.snap && !(rq.resolution > 0.0)) differ("resolution must be positive");
    Context cx{rq, read_inputs(rq), {}, rq.buffer / rq.tile_size, {}, {}};
    cx.grid = lay_grid(cx.inputs, rq);
    cx.naming.prefix = resolve(rq.directory, rq.tile_prefix);
    cx.naming.shown = rq.tile_prefix;
    cx.naming.width = digits(std::max(cx.grid.Rows, cx.grid.Cols));
    cx.naming.extension = cx.inputs.front().laz ? ".laz" : ".las";
    const std::size_t len = cx.inputs.front().h.PointDataRecordLength;
    cx.block.resize(kBlockBytes / len * len);
    TileTable table(cx.grid);

    for (const Input& in : cx.inputs) {
        const std::uint64_t tc = span_of(in.h, cx.grid, rq.tile_size, rq.buffer);
        if (tc > 99 && !rq.unbounded) {
            report.refusal_expected = true;
            check_no_stray_tiles(cx, table);
            report.ok = true;
            char text[512];
            std::snprintf(text, sizeof text,
                          "verified refusal: file %s spans %llu tiles, no tile file written", in.name.c_str(),
                          static_cast<unsigned long long>(tc));
            report.message = text;
            return report;
        }
    }

    expect_all(cx, table, report);
    std::vector<std::uint32_t> order(table.tiles.size());
    for (std::uint32_t k = 0; k < order.size(); ++k) order[k] = k;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const Expected &x = table.tiles[a], &y = table.tiles[b];
        return x.row != y.row ? x.row < y.row : x.col < y.col;
    });
    for (std::uint32_t k : order) check_tile(cx, table.tiles[k]);
    check_no_stray_tiles(cx, table);

    report.tiles = table.tiles.size();
    report.ok = true;
    char text[160];
    std::snprintf(text, sizeof text, "verified %llu records, %llu copies, %llu tiles",
                  static_cast<unsigned long long>(report.records),
                  static_cast<unsigned long long>(report.copies),
                  static_cast<unsigned long long>(report.tiles));
    report.message = text;
    return report;
}

}  // namespace

ConservationReport check_conservation(const ConservationRequest& request) {
    try {
        return check(request);
    } catch (const Difference& d) {
        ConservationReport report;
        report.ok = false;
        report.message = d.message;
        return report;
    } catch (const std::exception& ex) {
        ConservationReport report;
        report.ok = false;
        report.message = std::string("conservation check failed: ") + ex.what();
        return report;
    }
}

}  // namespace tessaro::verify
