#include "mutants.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <string_view>

#include "laz_writer.hpp"
#include "survey_writer.hpp"

namespace tessaro::campaign {

std::uint64_t Rng::next() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

namespace {

using Bytes = std::vector<unsigned char>;

constexpr std::size_t kHeader = kHeaderBytes;

// ---- little-endian access to header fields ----------------------------------

std::uint64_t get_le(const Bytes& b, std::size_t off, std::size_t size) {
    return load_le(b.data() + off, size);
}

void put_le(Bytes& b, std::size_t off, std::size_t size, std::uint64_t v) {
    store_le(b.data() + off, size, v);
}

double get_f64(const Bytes& b, std::size_t off) {
    return load_f64le(b.data() + off);
}

void put_f64(Bytes& b, std::size_t off, double v) {
    store_f64le(b.data() + off, v);
}

// Offsets of the header fields the mutations work on.
constexpr std::size_t kOffsetToData = header_offset("OffsetToData");
constexpr std::size_t kRecordLength = header_offset("PointDataRecordLength");
constexpr std::size_t kPointCount = header_offset("NumberOfPointReturns");
constexpr std::size_t kXScale = header_offset("XScaleFactor");
constexpr std::size_t kYScale = header_offset("YScaleFactor");
constexpr std::size_t kXOffset = header_offset("XOffset");
constexpr std::size_t kYOffset = header_offset("YOffset");
constexpr std::size_t kMaxX = header_offset("MaxX");
constexpr std::size_t kMinX = header_offset("MinX");
constexpr std::size_t kMaxY = header_offset("MaxY");
constexpr std::size_t kMinY = header_offset("MinY");

struct IntField {
    const char* name;
    std::size_t offset;
    std::size_t size;
};

const std::vector<IntField>& int_fields() {
    static const std::vector<IntField> fields = [] {
        std::vector<IntField> out;
        for (const char* name :
             {"FileSourceID", "GlobalEncoding", "VersionMajor", "VersionMinor", "FileCreationDay",
              "HeaderSize", "OffsetToData", "NumberOfVariableLengthRecords", "PointDataFormatID",
              "PointDataRecordLength", "NumberOfPointReturns", "NumberOfPointsByReturn[0]",
              "NumberOfPointsByReturn[4]"}) {
            const HeaderField& f = header_field(name);
            out.push_back({name, f.offset, f.size});
        }
        return out;
    }();
    return fields;
}

const char* const kDoubleNames[12] = {"XScaleFactor", "YScaleFactor", "ZScaleFactor", "XOffset",
                                      "YOffset",      "ZOffset",      "MaxX",         "MinX",
                                      "MaxY",         "MinY",         "MaxZ",         "MinZ"};

struct Layout {
    std::uint32_t offset;
    std::uint16_t length;
    std::uint32_t count;
    std::size_t size;
};

// Fields of the LAS 1.4 header block after the 227 bytes every version has.
constexpr std::size_t kStartOfFirstEvlr =
    kHeader + offsetof(LAS14HeaderExtension, StartOfFirstExtendedVariableLengthRecord);
constexpr std::size_t kEvlrCount =
    kHeader + offsetof(LAS14HeaderExtension, NumberOfExtendedVariableLengthRecords);
constexpr std::size_t kPointCount14 = kHeader + offsetof(LAS14HeaderExtension, NumberOfPointRecords);
constexpr std::size_t kVersionMinor = header_offset("VersionMinor");

Layout layout_of(const Bytes& b) {
    std::uint64_t count = get_le(b, kPointCount, 4);
    // Formats 6 to 8 count their points in the LAS 1.4 field alone.
    if (count == 0 && b[kVersionMinor] >= 4 && b.size() >= kLAS14HeaderBytes)
        count = std::min<std::uint64_t>(get_le(b, kPointCount14, 8), 0xffffffffU);
    return {static_cast<std::uint32_t>(get_le(b, kOffsetToData, 4)),
            static_cast<std::uint16_t>(get_le(b, kRecordLength, 2)), static_cast<std::uint32_t>(count),
            b.size()};
}

Bytes read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    Bytes bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>{});
    return bytes;
}

Bytes text_bytes(const std::string& s) {
    Bytes bytes(s.begin(), s.end());
    return bytes;
}

std::string hex(std::uint64_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(v));
    return text;
}

std::string real(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

// ---- the mutant under construction -----------------------------------------

struct Draft {
    Mutant& m;
    Rng& rng;
    std::vector<BaseFile> files;     // the LAS files written to the run directory
    std::vector<std::string> names;  // the list, in order
    std::vector<Entry> extra;        // other entries (directories, links, odd files)
    bool custom_list = false;        // list text set directly
    std::string list_text;
    bool list_as_file = true;  // false: the list entry is provided in `extra`
    bool prefix_dir = true;    // create the directory of the default prefix
    const BaseSurvey* base = nullptr;

    // A name of the run's kind: "las" in `name` becomes "laz" in a LAZ run.
    std::string named(std::string name) const {
        if (!base->laz()) return name;
        for (const char* from : {"las", "LAS", "Las"}) {
            std::string to = from;
            to.back() = to.back() == 's' ? 'z' : 'Z';
            for (std::size_t p = 0; (p = name.find(from, p)) != std::string::npos; p += to.size())
                name.replace(p, to.size(), to);
        }
        return name;
    }

    void note(const std::string& s) {
        if (!m.detail.empty()) m.detail += "; ";
        m.detail += s;
    }
    // The files to change: one of them, or all.
    std::vector<std::size_t> targets() {
        std::vector<std::size_t> t;
        if (files.size() > 1 && rng.percent(30)) {
            for (std::size_t k = 0; k < files.size(); ++k) t.push_back(k);
            note("all files");
        } else {
            t.push_back(rng.below(files.size()));
            note(files[t[0]].name);
        }
        return t;
    }
};

// ---- command-line options ----------------------------------------------------

void choose_options(Draft& d) {
    Mutant& m = d.m;
    Rng& r = d.rng;
    static const std::vector<double> sizes{100,  100, 100,  100,    50, 50,  150,
                                           75.5, 300, 1000, 33.333, 10, 0.5, 1e7};
    // Every LAZ tile costs a codec of its own, slow under the sanitizers: a
    // LAZ survey (300 m square) is cut into at most 25 tiles.
    static const std::vector<double> laz_sizes{100, 100, 150, 75.5, 300, 1000, 1e7};
    m.tile_size = r.pick(d.base->laz() ? laz_sizes : sizes);
    if (r.percent(40)) {
        const std::vector<double> buffers{5, 10, 0.001, 20, 12.5, m.tile_size / 2, m.tile_size * 0.6};
        m.buffer = std::atof(number_word(r.pick(buffers)).c_str());
        if (!(m.buffer > 0)) m.buffer = 0.001;
    }
    if (r.percent(20)) {
        static const std::vector<double> res{1, 0.5, 2.5, 7, 0.001, 1000};
        m.snap = true;
        m.resolution = r.pick(res);
    }
    m.shapes = r.percent(15);
}

void finish_arguments(Draft& d) {
    Mutant& m = d.m;
    m.args = {m.list_file, m.tile_prefix, number_word(m.tile_size)};
    std::vector<std::vector<std::string>> options;
    if (m.snap) options.push_back({"-r", number_word(m.resolution)});
    if (m.buffer > 0) options.push_back({"-b", number_word(m.buffer)});
    if (m.shapes) options.push_back({"-s"});
    // Options may come in any order after the three positional words.
    for (std::size_t k = options.size(); k > 1; --k) std::swap(options[k - 1], options[d.rng.below(k)]);
    for (const auto& o : options) m.args.insert(m.args.end(), o.begin(), o.end());
}

// ---- mutations of file contents ---------------------------------------------

void header_bytes(Draft& d) {
    for (std::size_t t : d.targets()) {
        Bytes& b = d.files[t].bytes;
        const unsigned n = 1 + static_cast<unsigned>(d.rng.below(8));
        for (unsigned k = 0; k < n; ++k) {
            const std::size_t pos = d.rng.below(kHeader);
            const auto value = static_cast<unsigned char>(
                d.rng.percent(50) ? d.rng.next() : b[pos] ^ (1U << d.rng.below(8)));
            b[pos] = value;
            d.note("byte " + std::to_string(pos) + "=" + hex(value));
        }
    }
}

void preamble_bytes(Draft& d) {
    for (std::size_t t : d.targets()) {
        Bytes& b = d.files[t].bytes;
        const std::size_t end = std::min<std::size_t>(layout_of(b).offset, b.size());
        const unsigned n = 1 + static_cast<unsigned>(d.rng.below(16));
        for (unsigned k = 0; k < n; ++k) {
            const std::size_t pos = d.rng.below(end);
            b[pos] = static_cast<unsigned char>(d.rng.next());
            d.note("byte " + std::to_string(pos) + "=" + hex(b[pos]));
        }
    }
}

std::vector<std::uint64_t> boundary_values(const IntField& f, const Bytes& b) {
    const std::uint64_t max = f.size == 8 ? ~0ULL : (1ULL << (8 * f.size)) - 1;
    const std::uint64_t orig = get_le(b, f.offset, f.size);
    const Layout l = layout_of(b);
    std::vector<std::uint64_t> v{0,        1,        2,        max,      max - 1, (max >> 1) + 1,
                                 max >> 1, orig - 1, orig + 1, orig * 2, orig / 2};
    const std::string name = f.name;
    if (name == "HeaderSize" || name == "OffsetToData") {
        for (std::uint64_t x : std::initializer_list<std::uint64_t>{
                 226ULL, 227ULL, 228ULL, 235ULL, 375ULL, static_cast<std::uint64_t>(l.offset),
                 static_cast<std::uint64_t>(l.offset) + 1, static_cast<std::uint64_t>(l.size),
                 static_cast<std::uint64_t>(l.size) - 1, static_cast<std::uint64_t>(l.size) + 1,
                 orig + l.length, orig - l.length})
            v.push_back(x);
    }
    if (name == "PointDataRecordLength")
        for (std::uint64_t x :
             {15ULL, 19ULL, 20ULL, 21ULL, 26ULL, 27ULL, 28ULL, 29ULL, 33ULL, 34ULL, 35ULL, 57ULL})
            v.push_back(x);
    if (name == "NumberOfPointReturns" && l.length != 0) {
        const std::uint64_t fit = l.size > l.offset ? (l.size - l.offset) / l.length : 0;
        for (std::uint64_t x : std::initializer_list<std::uint64_t>{fit, fit + 1, fit - 1, 0x80000000ULL})
            v.push_back(x);
    }
    if (name == "PointDataFormatID")
        for (std::uint64_t x : {3ULL, 4ULL, 5ULL, 6ULL, 10ULL, 127ULL, 128ULL}) v.push_back(x);
    if (name == "VersionMinor")
        for (std::uint64_t x : {0ULL, 1ULL, 2ULL, 3ULL, 4ULL}) v.push_back(x);
    for (auto& x : v) x &= max;
    return v;
}

void count_field(Draft& d) {
    const IntField& f = d.rng.pick(int_fields());
    const std::vector<std::size_t> targets = d.targets();
    const std::vector<std::uint64_t> values = boundary_values(f, d.files[targets[0]].bytes);
    const std::uint64_t value = d.rng.pick(values);
    for (std::size_t t : targets) put_le(d.files[t].bytes, f.offset, f.size, value);
    d.note(std::string(f.name) + "=" + std::to_string(value));
}

void double_field(Draft& d) {
    const unsigned k = static_cast<unsigned>(d.rng.below(12));
    const std::size_t off = header_offset(kDoubleNames[k]);
    const std::vector<std::size_t> targets = d.targets();
    const double orig = get_f64(d.files[targets[0]].bytes, off);
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> values{std::numeric_limits<double>::quiet_NaN(),
                                     -std::numeric_limits<double>::quiet_NaN(),
                                     std::bit_cast<double>(0x7ff0000000000001ULL),  // signalling NaN
                                     inf,
                                     -inf,
                                     0.0,
                                     -0.0,
                                     std::numeric_limits<double>::denorm_min(),
                                     -std::numeric_limits<double>::denorm_min(),
                                     std::numeric_limits<double>::min(),
                                     std::numeric_limits<double>::max(),
                                     -std::numeric_limits<double>::max(),
                                     1e300,
                                     -1e300,
                                     1e-300,
                                     1e15,
                                     -1e15,
                                     4294967296.0,
                                     -orig,
                                     std::nextafter(orig, inf),
                                     std::nextafter(orig, -inf),
                                     orig * 1e6,
                                     orig + 1e6,
                                     orig - 1e6,
                                     orig * 1e-6,
                                     9007199254740993.0};
    const double value = d.rng.pick(values);
    for (std::size_t t : targets) put_f64(d.files[t].bytes, off, value);
    d.note(std::string(kDoubleNames[k]) + "=" + real(value));
}

void bounds(Draft& d) {
    const unsigned op = static_cast<unsigned>(d.rng.below(8));
    for (std::size_t t : d.targets()) {
        Bytes& b = d.files[t].bytes;
        double minx = get_f64(b, kMinX), maxx = get_f64(b, kMaxX);
        double miny = get_f64(b, kMinY), maxy = get_f64(b, kMaxY);
        const double w = maxx - minx, h = maxy - miny;
        switch (op) {
            case 0: std::swap(minx, maxx); break;
            case 1: std::swap(miny, maxy); break;
            case 2: minx = maxx = minx + w / 2; break;
            case 3: minx = maxx = minx + w / 2, miny = maxy = miny + h / 2; break;
            case 4:  // shrunk to the middle tenth: most records lie outside
                minx += 0.45 * w, maxx -= 0.45 * w, miny += 0.45 * h, maxy -= 0.45 * h;
                break;
            case 5: {  // moved away from the records
                static const std::vector<double> shifts{1e3, 1e4, 1e5, -1e5, 1e7, 6.5e6};
                const double s = d.rng.pick(shifts);
                minx += s, maxx += s;
                if (d.rng.percent(50)) miny -= s, maxy -= s;
                break;
            }
            case 6: minx = -1e12, maxx = 1e12; break;
            default:  // the extreme records one step outside
                maxx = std::nextafter(maxx, -std::numeric_limits<double>::infinity());
                miny = std::nextafter(miny, std::numeric_limits<double>::infinity());
                break;
        }
        put_f64(b, kMinX, minx), put_f64(b, kMaxX, maxx), put_f64(b, kMinY, miny), put_f64(b, kMaxY, maxy);
    }
    static const char* const ops[] = {"inverted X", "inverted Y",           "zero width", "zero extent",
                                      "shrunk",     "moved off the points", "huge width", "one step inside"};
    d.note(ops[op]);
}

// Stored X or Y that gives the actual coordinate `value` in file `b`.
std::int32_t stored_for(const Bytes& b, bool y, double value) {
    const double scale = get_f64(b, y ? kYScale : kXScale);
    const double offset = get_f64(b, y ? kYOffset : kXOffset);
    const double s = std::round((value - offset) / scale);
    if (!(s > -2147483648.0 && s < 2147483647.0)) return 0;
    return static_cast<std::int32_t>(s);
}

void records(Draft& d) {
    const unsigned op = static_cast<unsigned>(d.rng.below(7));
    static const char* const ops[] = {"extreme stored X/Y",
                                      "records moved far away",
                                      "odd return numbers",
                                      "random record bytes",
                                      "all records on one point",
                                      "records on tile edges",
                                      "records at the buffer distance"};
    d.note(ops[op]);
    for (std::size_t t : d.targets()) {
        Bytes& b = d.files[t].bytes;
        const Layout l = layout_of(b);
        if (l.count == 0 || l.length < 20) continue;
        auto rec = [&](std::uint32_t k) { return l.offset + static_cast<std::size_t>(k) * l.length; };
        const std::uint32_t n = d.rng.percent(20) ? l.count : 1 + static_cast<std::uint32_t>(d.rng.below(5));
        const double minx = get_f64(b, kMinX), miny = get_f64(b, kMinY);
        for (std::uint32_t c = 0; c < n; ++c) {
            const std::uint32_t k = n == l.count ? c : static_cast<std::uint32_t>(d.rng.below(l.count));
            const std::size_t p = rec(k);
            switch (op) {
                case 0: {
                    static const std::vector<std::uint32_t> v{0x80000000U, 0x7fffffffU, 0, 0xffffffffU};
                    put_le(b, p + (d.rng.percent(50) ? 0 : 4), 4, d.rng.pick(v));
                    break;
                }
                case 1: {
                    const auto x = static_cast<std::int32_t>(get_le(b, p, 4));
                    const std::int64_t moved =
                        static_cast<std::int64_t>(x) + (d.rng.percent(50) ? 10000000 : -10000000);
                    put_le(b, p, 4,
                           static_cast<std::uint32_t>(static_cast<std::int32_t>(
                               std::clamp<std::int64_t>(moved, INT32_MIN, INT32_MAX))));
                    break;
                }
                case 2: b[p + 14] = static_cast<unsigned char>(d.rng.next()); break;
                case 3:
                    for (std::size_t q = 0; q < l.length; ++q)
                        b[p + q] = static_cast<unsigned char>(d.rng.next());
                    break;
                case 4:
                    put_le(b, p, 4, get_le(b, rec(0), 4));
                    put_le(b, p + 4, 4, get_le(b, rec(0) + 4, 4));
                    break;
                case 5:
                case 6: {
                    // Grid lines of the tile size from the file's minimum (the
                    // grid origin when nothing moves it), optionally one buffer
                    // width off them.
                    const double step = d.m.tile_size;
                    const double off = op == 6 ? (d.rng.percent(50) ? d.m.buffer : -d.m.buffer) : 0.0;
                    const double gx = minx + static_cast<double>(d.rng.below(4)) * step + off;
                    const double gy = miny + static_cast<double>(d.rng.below(4)) * step + off;
                    put_le(b, p, 4, static_cast<std::uint32_t>(stored_for(b, false, gx)));
                    put_le(b, p + 4, 4, static_cast<std::uint32_t>(stored_for(b, true, gy)));
                    break;
                }
            }
        }
    }
}

void truncation(Draft& d) {
    const unsigned region = static_cast<unsigned>(d.rng.below(11));
    for (std::size_t t : d.targets()) {
        Bytes& b = d.files[t].bytes;
        const Layout l = layout_of(b);
        std::size_t cut = b.size();
        switch (region) {
            case 0: cut = d.rng.below(4); break;
            case 1: cut = 4 + d.rng.below(103); break;
            case 2: cut = 107 + d.rng.below(120); break;
            case 3: cut = kHeader; break;
            case 4: cut = kHeader + d.rng.below(l.offset > kHeader ? l.offset - kHeader : 1); break;
            case 5: cut = l.offset; break;
            case 6: cut = l.offset + d.rng.below(l.count) * l.length + 1 + d.rng.below(l.length - 1); break;
            case 7: cut = l.offset + d.rng.below(l.count) * l.length; break;
            case 8: cut = b.size() - 1; break;
            case 9: {  // trailing bytes after the records: harmless
                const std::size_t n = 1 + d.rng.below(1000);
                for (std::size_t k = 0; k < n; ++k) b.push_back(static_cast<unsigned char>(d.rng.next()));
                break;
            }
            default: cut = 0; break;
        }
        if (cut < b.size()) b.resize(cut);
        d.note("size " + std::to_string(b.size()));
    }
    static const char* const regions[] = {"inside the signature",
                                          "inside the header",
                                          "inside the counts and bounds",
                                          "at the header end",
                                          "inside the VLRs",
                                          "at OffsetToData",
                                          "inside a point record",
                                          "at a record boundary",
                                          "one byte short",
                                          "trailing bytes",
                                          "empty file"};
    d.note(regions[region]);
}

// ---- lists -------------------------------------------------------------------

std::string dotted(const std::string& name, std::size_t length) {
    std::string s;
    while (s.size() + 2 + name.size() <= length) s += "./";
    return s + name;
}

void list_mutation(Draft& d) {
    const unsigned op = static_cast<unsigned>(d.rng.below(16));
    auto& names = d.names;
    auto insert_name = [&](const std::string& n) {
        names.insert(names.begin() + static_cast<std::ptrdiff_t>(d.rng.below(names.size() + 1)), n);
    };
    // A copy of a listed file under another name.
    auto copy_as = [&](const std::string& n) {
        BaseFile f = d.files[d.rng.below(d.files.size())];
        f.name = n;
        d.files.push_back(f);
    };
    switch (op) {
        case 0:
            insert_name(d.named("missing.las"));
            d.note("missing file");
            break;
        case 1: {
            const std::string n = d.rng.pick(names);
            const unsigned times = 1 + static_cast<unsigned>(d.rng.below(3));
            for (unsigned k = 0; k < times; ++k) insert_name(n);
            d.note(n + " listed " + std::to_string(times + 1) + " times");
            break;
        }
        case 2: {
            const std::vector<std::string> copy = names;
            names.insert(names.end(), copy.begin(), copy.end());
            d.note("whole list twice");
            break;
        }
        case 3: {
            static const std::vector<std::string> odd{"A.LAS", "B.Las", "alas",   "c.las.bak", "noext",
                                                      ".las",  "d.la",  "e.lasx", "f.",        "g.las."};
            const std::string n = d.named(d.rng.pick(odd));
            copy_as(n);
            insert_name(n);
            d.note("extension " + n);
            break;
        }
        case 4: {
            static const std::vector<std::size_t> lengths{79,   80,   81,   255,  256,
                                                          1000, 4095, 4096, 4097, 10000};
            const std::size_t len = d.rng.pick(lengths);
            const std::size_t k = d.rng.below(names.size());
            names[k] = dotted(names[k], len);
            d.note("name of " + std::to_string(names[k].size()) + " characters");
            break;
        }
        case 5: {
            const std::size_t len = d.rng.percent(50) ? 251 : 300;
            const std::string n = std::string(len, 'n') + d.named(".las");
            if (n.size() <= 255) copy_as(n);  // a longer one cannot exist
            insert_name(n);
            d.note("file name component of " + std::to_string(n.size()) + " characters");
            break;
        }
        case 6: {
            static const std::vector<std::string> odd{"\xc3\xbc\xe6\xbc\xa2\xe5\xad\x97.las",
                                                      "a%s%n%d%x.las",
                                                      "q'u\"o$t;e&.las",
                                                      "-r.las",
                                                      "-s.las",
                                                      "\x01\x7f\x1b[2J.las",
                                                      "back\\slash.las",
                                                      "a*?[.las"};
            const std::string n = d.named(d.rng.pick(odd));
            copy_as(n);
            insert_name(n);
            d.note("odd name");
            break;
        }
        case 7:
            d.extra.push_back({d.named("dir.las"), EntryKind::Directory, {}, {}});
            insert_name(d.named("dir.las"));
            d.note("directory named dir.las");
            break;
        case 8:
            d.extra.push_back({d.named("pipe.las"), EntryKind::Fifo, {}, {}});
            insert_name(d.named("pipe.las"));
            d.note("FIFO named pipe.las");
            break;
        case 9: {
            static const std::vector<std::pair<std::string, std::string>> links{
                {"link.las", "a1.las"},    {"dangling.las", "gone.las"}, {"loop.las", "loop.las"},
                {"null.las", "/dev/null"}, {"zero.las", "/dev/zero"},    {"listlink.las", "list.txt"},
                {"dirlink.las", "tiles"},  {"abs.las", "{dir}/a1.las"}};
            const auto& [link, to] = d.rng.pick(links);
            const std::string n = d.named(link);
            const std::string target = to.rfind("/dev/", 0) == 0 ? to : d.named(to);
            d.extra.push_back({n, EntryKind::Symlink, {}, target});
            insert_name(n);
            d.note("symbolic link " + n + " -> " + target);
            break;
        }
        case 10: {
            const std::size_t k = d.rng.below(names.size());
            names[k] = "{dir}/" + names[k];
            d.note("absolute name");
            break;
        }
        case 11: {
            // Text the list may hold between and around its names.
            static const std::vector<std::string> seps{"\r\n", "\t", " ", "\n\n\n", "\v\f", "\t \r\n "};
            const std::string sep = d.rng.pick(seps);
            d.custom_list = true;
            d.list_text.clear();
            for (const auto& n : names) d.list_text += sep + n;
            if (d.rng.percent(50)) d.list_text += sep;
            d.note("separators");
            break;
        }
        case 12: {
            static const std::vector<std::string> bodies{"", " \n\t\r\n", std::string("a1.las\0a2.las", 13),
                                                         std::string(100000, 'x'),
                                                         std::string("\xff\xfe\x00\x01garbage", 11)};
            d.custom_list = true;
            d.list_text = d.rng.pick(bodies);
            d.note("list body of " + std::to_string(d.list_text.size()) + " bytes");
            break;
        }
        case 13: {
            d.custom_list = true;
            d.list_text.clear();
            for (unsigned k = 0; k < 65536; ++k) d.list_text += "a1.las\n";
            d.note("65536 names");
            break;
        }
        case 14: {
            static const std::vector<std::string> kinds{"missing", "directory", "fifo",
                                                        "las",     "devzero",   "devnull"};
            const std::string kind = d.rng.pick(kinds);
            d.list_as_file = false;
            if (kind == "directory") d.extra.push_back({d.m.list_file, EntryKind::Directory, {}, {}});
            if (kind == "fifo") d.extra.push_back({d.m.list_file, EntryKind::Fifo, {}, {}});
            if (kind == "las") d.extra.push_back({d.m.list_file, EntryKind::Regular, d.files[0].bytes, {}});
            if (kind == "devzero") d.extra.push_back({d.m.list_file, EntryKind::Symlink, {}, "/dev/zero"});
            if (kind == "devnull") d.extra.push_back({d.m.list_file, EntryKind::Symlink, {}, "/dev/null"});
            d.note("list file: " + kind);
            break;
        }
        default: {
            // A listed input that is also a tile file of the run.
            BaseFile f = d.files[d.rng.below(d.files.size())];
            f.name = d.m.tile_prefix + d.named("R1C1.las");
            d.files.push_back(f);
            insert_name(f.name);
            d.note("input " + f.name + " is a tile of the run");
            break;
        }
    }
}

void prefix_mutation(Draft& d) {
    static const std::vector<std::string> prefixes{
        "nodir/t_",    "a1.las/t_",    "",        "tiles/%s%n%x",   "tiles/",
        "my tiles/t ", "/dev/null/t_", "pipe/t_", "{dir}/tiles/t_", "tiles/./../tiles/t_"};
    d.m.tile_prefix = d.rng.percent(15) ? "tiles/" + std::string(250, 'p') : d.named(d.rng.pick(prefixes));
    if (d.m.tile_prefix == "pipe/t_") d.extra.push_back({"pipe", EntryKind::Fifo, {}, {}});
    if (d.m.tile_prefix == "my tiles/t ") d.extra.push_back({"my tiles", EntryKind::Directory, {}, {}});
    if (d.m.tile_prefix == "" && d.rng.percent(50)) {
        // The run's first tile name is a listed input.
        BaseFile f = d.files[0];
        f.name = d.named("R1C1.las");
        d.files.push_back(f);
        d.names.push_back(f.name);
        d.note("input " + f.name);
    }
    d.note("prefix \"" + d.m.tile_prefix.substr(0, 40) + "\"");
}

void mixed(Draft& d, const std::vector<BaseSurvey>& bases) {
    const BaseSurvey& other = bases[d.rng.below(bases.size())];
    BaseFile f = other.files[d.rng.below(other.files.size())];
    f.name = other.laz() ? "other.laz" : "other.las";
    if (d.rng.percent(50)) {
        // Same layout, other scale factors.
        f = d.files[0];
        f.name = d.named("other.las");
        put_f64(f.bytes, kXScale, get_f64(f.bytes, kXScale) * 10);
    }
    d.files.push_back(f);
    d.names.insert(d.names.begin() + static_cast<std::ptrdiff_t>(d.rng.below(d.names.size() + 1)), f.name);
    d.note("with " + f.name + " of version 1." + std::to_string(other.minor) + " format " +
           std::to_string(other.format));
}

// ---- mutations of LAZ files ----------------------------------------------------

// The LAZ record's payload in a LAZ file the writer made: it follows a record
// header whose user id starts 2 bytes in and whose length stands 20 bytes in.
std::size_t laz_record_at(const Bytes& b) {
    const std::string_view user = kLazUserId;
    const auto at = std::search(b.begin(), b.begin() + layout_of(b).offset, user.begin(), user.end());
    if (at == b.begin() + layout_of(b).offset) throw std::logic_error("no LAZ record in a base file");
    return static_cast<std::size_t>(at - b.begin()) + 52;
}

// The payload's fields (34 bytes, then 6 an item: type, size, version).
constexpr std::size_t kLazCompressor = 0, kLazCoder = 2, kLazVersion = 4, kLazOptions = 8, kLazChunkSize = 12,
                      kLazEvlrs = 16, kLazItemCount = 32, kLazItems = 34;

std::uint64_t table_offset_of(const Bytes& b) {
    return get_le(b, layout_of(b).offset, 8);
}

// Where the chunk table ends: at the extended records, or the file's end.
std::size_t table_end_of(const Bytes& b) {
    if (b[kVersionMinor] >= 4 && get_le(b, kEvlrCount, 4) != 0) return get_le(b, kStartOfFirstEvlr, 8);
    return b.size();
}

// Puts `table` in place of the chunk table, moving the extended records that
// follow it and their start in the header along.
void replace_table(Bytes& b, const Bytes& table) {
    const std::size_t at = table_offset_of(b);
    const std::size_t end = table_end_of(b);
    const bool evlrs_follow = end != b.size();
    b.erase(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(end));
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), table.begin(), table.end());
    if (evlrs_follow) put_le(b, kStartOfFirstEvlr, 8, at + table.size());
}

void laz_record(Draft& d) {
    const unsigned op = static_cast<unsigned>(d.rng.below(10));
    for (std::size_t t : d.targets()) {
        Bytes& b = d.files[t].bytes;
        const std::size_t p = laz_record_at(b);
        const std::uint64_t items = get_le(b, p + kLazItemCount, 2);
        const std::uint64_t points = layout_of(b).count;
        const std::uint64_t chunk = d.base->chunk_points;
        std::string what;
        std::uint64_t value = 0;
        switch (op) {
            case 0:
                value = d.rng.pick(std::vector<std::uint64_t>{0, 1, 2, 3, 4, 0xffff});
                put_le(b, p + kLazCompressor, 2, value), what = "compressor";
                break;
            case 1:
                value = d.rng.pick(std::vector<std::uint64_t>{1, 2, 0xffff});
                put_le(b, p + kLazCoder, 2, value), what = "coder";
                break;
            case 2:  // read, but not relied on
                value = d.rng.next();
                put_le(b, p + kLazVersion, 4, value), put_le(b, p + kLazOptions, 4, value >> 32);
                put_le(b, p + kLazEvlrs, 8, d.rng.next()), what = "versions, options, EVLR fields";
                break;
            case 3:
            case 4:
                value =
                    d.rng.pick(std::vector<std::uint64_t>{0, 1, chunk - 1, chunk + 1, chunk * 2, points,
                                                          points + 1, 0x7fffffff, 0xfffffffe, 0xffffffff});
                put_le(b, p + kLazChunkSize, 4, value), what = "chunk size";
                break;
            case 5:
                value = d.rng.pick(std::vector<std::uint64_t>{0, items - 1, items + 1, 0xffff});
                put_le(b, p + kLazItemCount, 2, value), what = "item count";
                break;
            case 6:
            case 7: {
                const std::size_t item = p + kLazItems + 6 * d.rng.below(items) + 2 * d.rng.below(3);
                const std::uint64_t orig = get_le(b, item, 2);
                value = d.rng.pick(
                    std::vector<std::uint64_t>{0, 1, 2, 3, 4, 6, 10, 14, orig - 1, orig + 1, 0xffff});
                put_le(b, item, 2, value), what = "item field at " + std::to_string(item - p);
                break;
            }
            case 8: {  // the record header's payload length
                const std::uint64_t orig = get_le(b, p - 34, 2);
                value =
                    d.rng.pick(std::vector<std::uint64_t>{0, orig - 6, orig - 1, orig + 1, orig + 6, 0xffff});
                put_le(b, p - 34, 2, value), what = "record length";
                break;
            }
            default:  // no LAZ record: another record id or user id
                if (d.rng.percent(50))
                    put_le(b, p - 36, 2, value = kLazRecordId + 1), what = "record id";
                else
                    b[p - 52 + d.rng.below(16)] ^= 0x20, what = "user id";
                break;
        }
        d.note(what + "=" + std::to_string(value));
    }
}

void laz_table(Draft& d) {
    const unsigned op = static_cast<unsigned>(d.rng.below(6));
    for (std::size_t t : d.targets()) {
        BaseFile& f = d.files[t];
        Bytes& b = f.bytes;
        const Layout l = layout_of(b);
        const std::uint64_t table = table_offset_of(b);
        const std::uint64_t n = f.chunks.size();
        switch (op) {
            case 0: {
                const std::uint64_t first = first_chunk_offset(l.offset);
                const std::uint64_t value = d.rng.pick(std::vector<std::uint64_t>{
                    0, l.offset, first, first + 1, f.chunks.back().byte_offset, table - 1, table + 1,
                    table + 8, b.size() - 8, b.size() - 7, b.size(), b.size() + 1, 1ULL << 62, ~0ULL});
                put_le(b, l.offset, 8, value);
                d.note("table offset " + std::to_string(value));
                break;
            }
            case 1:
                put_le(b, table, 4, d.rng.percent(50) ? 1 : 0xffffffff);
                d.note("table version");
                break;
            case 2: {
                const std::uint64_t value = d.rng.pick(
                    std::vector<std::uint64_t>{0, n - 1, n + 1, 2 * n, l.count, l.count + 1, 0xffffffff});
                put_le(b, table + 4, 4, value);
                d.note("table count " + std::to_string(value));
                break;
            }
            case 3: {
                const std::size_t end = table_end_of(b);
                const unsigned k = 1 + static_cast<unsigned>(d.rng.below(4));
                for (unsigned j = 0; j < k && end > table + 8; ++j)
                    b[table + 8 + d.rng.below(end - table - 8)] = static_cast<unsigned char>(d.rng.next());
                d.note("table entry bytes");
                break;
            }
            default: {
                // The table coded again: its byte counts damaged, or with the
                // point count of every chunk (the LAZ record then says so),
                // sound or damaged.
                std::vector<LazChunk> chunks = f.chunks;
                LazChunk& c = chunks[d.rng.below(n)];
                const bool variable = op == 5;
                std::uint64_t& field = variable && d.rng.percent(60) ? c.point_count : c.byte_count;
                const std::uint64_t orig = field;
                if (!variable || d.rng.percent(70))
                    field = d.rng.pick(
                        std::vector<std::uint64_t>{0, 1, orig - 1, orig + 1, orig * 2, l.count, 0xffffffff});
                if (variable) put_le(b, laz_record_at(b) + kLazChunkSize, 4, kLazVariableChunkSize);
                replace_table(
                    b, chunk_table_bytes(chunks, variable ? kLazVariableChunkSize : d.base->chunk_points));
                d.note(std::string(variable ? "variable chunks, " : "") +
                       (&field == &c.point_count ? "points " : "bytes ") + std::to_string(orig) + " -> " +
                       std::to_string(field));
                break;
            }
        }
    }
}

void laz_chunks(Draft& d) {
    const unsigned op = static_cast<unsigned>(d.rng.below(7));
    static const char* const ops[] = {"coded bytes",          "raw first record", "count or code value",
                                      "layer sizes",          "zeroed",           "filled with 0xff",
                                      "swapped with the next"};
    for (std::size_t t : d.targets()) {
        BaseFile& f = d.files[t];
        Bytes& b = f.bytes;
        const std::size_t k = d.rng.below(f.chunks.size());
        const std::size_t at = f.chunks[k].byte_offset;
        const std::size_t size = f.chunks[k].byte_count;
        const std::size_t length = layout_of(b).length;
        const bool layered = d.base->format >= 6;
        // Formats 6 to 8: the raw record, the point count, then the size of
        // each layer (9 for the point, colour, near infrared, each extra byte).
        const std::size_t layers =
            9 + (d.base->format >= 7 ? 1 : 0) + (d.base->format == 8 ? 1 : 0) + d.base->extra_bytes;
        const std::size_t coded = length + (layered ? 4 + 4 * layers : 0);
        switch (op) {
            case 0:
            case 3: {
                if (op == 3 && layered) {
                    const std::size_t field = at + length + 4 + 4 * d.rng.below(layers);
                    const std::uint64_t orig = get_le(b, field, 4);
                    put_le(
                        b, field, 4,
                        d.rng.pick(std::vector<std::uint64_t>{0, orig - 1, orig + 1, orig * 2, 0xffffffff}));
                    break;
                }
                const unsigned n = 1 + static_cast<unsigned>(d.rng.below(8));
                for (unsigned j = 0; j < n && size > coded; ++j)
                    b[at + coded + d.rng.below(size - coded)] = static_cast<unsigned char>(d.rng.next());
                break;
            }
            case 1:
                for (unsigned j = 0; j < 4; ++j)
                    b[at + d.rng.below(length)] = static_cast<unsigned char>(d.rng.next());
                break;
            case 2:
                if (layered)
                    put_le(b, at + length, 4,
                           d.rng.pick(std::vector<std::uint64_t>{0, f.chunks[k].point_count - 1,
                                                                 f.chunks[k].point_count + 1, 0xffffffff}));
                else if (size >= length + 4)
                    put_le(b, at + length, 4, 0xffffffff);
                break;
            case 4: std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(at), size, 0); break;
            case 5: std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(at), size, 0xff); break;
            default: {
                // The table keeps the chunks' former sizes.
                const std::size_t next = (k + 1) % f.chunks.size();
                const auto first =
                    b.begin() + static_cast<std::ptrdiff_t>(f.chunks[std::min(k, next)].byte_offset);
                const auto middle =
                    b.begin() + static_cast<std::ptrdiff_t>(f.chunks[std::max(k, next)].byte_offset);
                const auto last =
                    middle + static_cast<std::ptrdiff_t>(f.chunks[std::max(k, next)].byte_count);
                std::rotate(first, middle, last);
                break;
            }
        }
        d.note("chunk " + std::to_string(k + 1) + " of " + std::to_string(f.chunks.size()) + ": " + ops[op]);
    }
}

void laz_truncation(Draft& d) {
    const unsigned region = static_cast<unsigned>(d.rng.below(9));
    static const char* const regions[] = {"inside the header",       "inside the VLRs", "at OffsetToData",
                                          "inside the table offset", "inside a chunk",  "at a chunk's end",
                                          "inside the table",        "one byte short",  "trailing bytes"};
    for (std::size_t t : d.targets()) {
        BaseFile& f = d.files[t];
        Bytes& b = f.bytes;
        const Layout l = layout_of(b);
        const std::size_t header = get_le(b, header_offset("HeaderSize"), 2);
        const LazChunk& c = f.chunks[d.rng.below(f.chunks.size())];
        const std::size_t table = table_offset_of(b);
        std::size_t cut = b.size();
        switch (region) {
            case 0: cut = d.rng.below(header); break;
            case 1: cut = header + d.rng.below(l.offset - header); break;
            case 2: cut = l.offset; break;
            case 3: cut = l.offset + 1 + d.rng.below(7); break;
            case 4: cut = c.byte_offset + 1 + d.rng.below(c.byte_count - 1); break;
            case 5: cut = c.byte_offset + c.byte_count; break;
            case 6: cut = table + 1 + d.rng.below(table_end_of(b) - table - 1); break;
            case 7: cut = b.size() - 1; break;
            default:
                for (std::size_t n = 1 + d.rng.below(1000); n > 0; --n)
                    b.push_back(static_cast<unsigned char>(d.rng.next()));
                break;
        }
        if (cut < b.size()) b.resize(cut);
        d.note("size " + std::to_string(b.size()));
    }
    d.note(regions[region]);
}

// Damages the records of LAZ files as `records` damages those of LAS files:
// on the LAS images they compress, compressed again.
void laz_records(Draft& d) {
    for (BaseFile& f : d.files) std::swap(f.bytes, f.las);
    records(d);
    for (BaseFile& f : d.files) {
        std::swap(f.bytes, f.las);
        f.bytes = survey::compress_las_image(f.las, d.base->chunk_points, &f.chunks);
    }
}

// One mutant in kLazEvery is of a LAZ survey: its runs take about three
// times as long as those of LAS surveys (the codec under the sanitizers,
// twice: in the run and in the conservation check).
constexpr std::uint64_t kLazEvery = 5;

// The survey of mutant `index`: the LAZ and the LAS surveys each in turn.
const BaseSurvey& base_for(const std::vector<BaseSurvey>& bases, std::uint64_t index) {
    const auto laz_count = static_cast<std::uint64_t>(
        std::count_if(bases.begin(), bases.end(), [](const BaseSurvey& b) { return b.laz(); }));
    const std::uint64_t las_count = bases.size() - laz_count;
    if (laz_count == 0 || las_count == 0) return bases[index % bases.size()];
    const bool laz = index % kLazEvery == kLazEvery - 1;
    // Its turn among the mutants of its kind.
    const std::uint64_t turn = laz ? index / kLazEvery : index - index / kLazEvery;
    std::uint64_t k = turn % (laz ? laz_count : las_count);
    for (const BaseSurvey& b : bases)
        if (b.laz() == laz && k-- == 0) return b;
    return bases.front();  // not reached: k is below the count of its kind
}

}  // namespace

std::string number_word(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", value);
    std::string s = text;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

std::vector<BaseSurvey> make_base_surveys(const std::string& scratch) {
    std::vector<BaseSurvey> bases;
    for (unsigned minor = 0; minor <= 2; ++minor) {
        for (unsigned format = 0; format <= 3; ++format) {
            survey::SurveySpec spec;
            spec.directory = scratch + "/base_1" + std::to_string(minor) + "_" + std::to_string(format);
            spec.files = 2 + (minor + format) % 2;
            spec.points = 300ULL * spec.files;
            spec.VersionMinor = static_cast<std::uint8_t>(minor);
            spec.PointDataFormatID = static_cast<std::uint8_t>(format);
            spec.XScaleFactor = spec.YScaleFactor = minor == 1 ? 0.001 : 0.01;
            spec.origin_x = 500000.0;
            spec.origin_y = 4000000.0;
            spec.width = 300.0;
            spec.height = 300.0;
            spec.with_vlrs = true;
            spec.seed = 1 + minor * 4 + format;
            const std::vector<std::string> paths = survey::generate_survey(spec);
            BaseSurvey base;
            base.minor = minor;
            base.format = format;
            for (std::size_t k = 0; k < paths.size(); ++k) {
                std::string name = std::to_string(k + 1);
                name.insert(0, 1, 'a');
                name += ".las";
                base.files.push_back({name, read_bytes(paths[k]), {}, {}});
            }
            bases.push_back(std::move(base));
        }
    }
    // LAZ surveys of two files in two or three chunks each: every chunk costs
    // a codec of its own, slow under the sanitizers (formats 6 to 8 most).
    struct LazBase {
        unsigned minor, format, extra_bytes;
        std::uint32_t chunk_points;
        survey::WktPlace wkt;
    };
    for (const LazBase& l :
         {LazBase{2, 1, 0, 128, survey::WktPlace::none}, LazBase{3, 3, 2, 100, survey::WktPlace::none},
          LazBase{4, 6, 0, 160, survey::WktPlace::evlr}, LazBase{4, 8, 3, 150, survey::WktPlace::vlr}}) {
        survey::SurveySpec spec;
        spec.directory = scratch + "/laz_1" + std::to_string(l.minor) + "_" + std::to_string(l.format);
        spec.files = 2;
        spec.points = 600;
        spec.VersionMinor = static_cast<std::uint8_t>(l.minor);
        spec.PointDataFormatID = static_cast<std::uint8_t>(l.format);
        spec.extra_bytes = l.extra_bytes;
        spec.origin_x = 500000.0;
        spec.origin_y = 4000000.0;
        spec.width = 300.0;
        spec.height = 300.0;
        spec.with_vlrs = true;
        spec.wkt = l.wkt;
        spec.seed = 20 + l.format;
        const std::vector<std::string> paths = survey::generate_survey(spec);
        BaseSurvey base;
        base.minor = l.minor;
        base.format = l.format;
        base.extra_bytes = l.extra_bytes;
        base.chunk_points = l.chunk_points;
        for (std::size_t k = 0; k < paths.size(); ++k) {
            BaseFile f{"a" + std::to_string(k + 1) + ".laz", {}, read_bytes(paths[k]), {}};
            f.bytes = survey::compress_las_image(f.las, l.chunk_points, &f.chunks);
            base.files.push_back(std::move(f));
        }
        bases.push_back(std::move(base));
    }
    return bases;
}

Mutant make_mutant(const std::vector<BaseSurvey>& bases, std::uint64_t seed, std::uint64_t index) {
    Mutant m;
    m.index = index;
    Rng rng(seed * 0x9e3779b97f4a7c15ULL ^ (index + 1) * 0xd1b54a32d192ed03ULL);
    const BaseSurvey& base = base_for(bases, index);
    Draft d{m, rng, {}, {}, {}, false, {}, true, true, &base};
    d.files = base.files;
    for (const auto& f : d.files) d.names.push_back(f.name);
    m.detail = "version 1." + std::to_string(base.minor) + " format " + std::to_string(base.format);
    if (base.laz()) m.detail += " LAZ";
    m.unbounded = base.laz();
    choose_options(d);

    static const std::vector<std::pair<const char*, unsigned>> las_families{
        {"header-bytes", 12}, {"preamble-bytes", 5}, {"count-field", 16}, {"double-field", 16},
        {"bounds", 10},       {"records", 10},       {"truncation", 10},  {"list", 12},
        {"prefix", 4},        {"mixed", 3},          {"clean", 2}};
    static const std::vector<std::pair<const char*, unsigned>> laz_families{
        {"header-bytes", 8}, {"preamble-bytes", 4}, {"count-field", 10}, {"double-field", 6},
        {"bounds", 5},       {"records", 6},        {"laz-record", 14},  {"laz-table", 14},
        {"laz-chunks", 16},  {"truncation", 10},    {"list", 6},         {"prefix", 2},
        {"mixed", 3},        {"clean", 2}};
    const auto& families = base.laz() ? laz_families : las_families;
    unsigned total = 0;
    for (const auto& f : families) total += f.second;
    unsigned roll = static_cast<unsigned>(rng.below(total));
    std::string family;
    for (const auto& f : families) {
        if (roll < f.second) {
            family = f.first;
            break;
        }
        roll -= f.second;
    }
    m.family = family;
    if (family == "header-bytes") header_bytes(d);
    if (family == "preamble-bytes") preamble_bytes(d);
    if (family == "count-field") count_field(d);
    if (family == "double-field") double_field(d);
    if (family == "bounds") bounds(d);
    if (family == "records") base.laz() ? laz_records(d) : records(d);
    if (family == "truncation") base.laz() ? laz_truncation(d) : truncation(d);
    if (family == "laz-record") laz_record(d);
    if (family == "laz-table") laz_table(d);
    if (family == "laz-chunks") laz_chunks(d);
    if (family == "list") list_mutation(d);
    if (family == "prefix") prefix_mutation(d);
    if (family == "mixed") mixed(d, bases);

    // The run directory: the prefix directory, the LAS files, the list.
    const std::size_t slash = m.tile_prefix.rfind('/');
    if (m.tile_prefix.rfind("tiles/", 0) == 0 || m.tile_prefix.rfind("{dir}/tiles/", 0) == 0)
        m.entries.push_back({"tiles", EntryKind::Directory, {}, {}});
    (void)slash;
    for (auto& e : d.extra)
        if (e.kind == EntryKind::Directory) m.entries.push_back(e);
    for (auto& f : d.files) m.entries.push_back({f.name, EntryKind::Regular, f.bytes, {}});
    for (auto& e : d.extra)
        if (e.kind != EntryKind::Directory) m.entries.push_back(e);
    if (d.list_as_file) {
        std::string text = d.list_text;
        if (!d.custom_list) {
            text.clear();
            for (const auto& n : d.names) text += n + "\n";
        }
        m.entries.push_back({m.list_file, EntryKind::Regular, text_bytes(text), {}});
    }
    finish_arguments(d);
    return m;
}

}  // namespace tessaro::campaign
