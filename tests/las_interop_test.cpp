// Tiles are read by other people's software: every tile of generated surveys
// (every LAS version and point format, with VLRs, cut with a buffer) is read
// with the loaders.gl LAS loader under Node.js, and what it decodes must be
// what the tile holds and what the input held. The survey writer's LAS 1.3
// and 1.4 files are read with the copc package's reader, field by field, and
// so are the tiles tessaro_unbounded cuts of them.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <unordered_set>
#include <variant>
#include <vector>

#include "tiling_support.hpp"

using namespace tessaro;
using namespace tessaro::test;

namespace {

// A small JSON reader: enough for the objects the node script prints.
struct Json {
    std::variant<std::nullptr_t, bool, double, std::string, std::vector<Json>, std::map<std::string, Json>> v;

    bool has(const std::string& key) const {
        const auto* o = std::get_if<std::map<std::string, Json>>(&v);
        return o && o->count(key) != 0;
    }
    const Json& operator[](const std::string& key) const {
        return std::get<std::map<std::string, Json>>(v).at(key);
    }
    const std::vector<Json>& array() const { return std::get<std::vector<Json>>(v); }
    double number() const { return std::get<double>(v); }
    const std::string& text() const { return std::get<std::string>(v); }
    bool is_null() const { return std::holds_alternative<std::nullptr_t>(v); }
};

struct JsonReader {
    const std::string& s;
    std::size_t at = 0;

    void skip() {
        while (at < s.size() && (s[at] == ' ' || s[at] == '\n' || s[at] == '\r' || s[at] == '\t')) ++at;
    }
    void expect(char c) {
        skip();
        if (at >= s.size() || s[at] != c) throw std::runtime_error(std::string("JSON: expected ") + c);
        ++at;
    }
    std::string string_value() {
        expect('"');
        std::string out;
        while (at < s.size() && s[at] != '"') {
            char c = s[at++];
            if (c == '\\' && at < s.size()) {
                const char e = s[at++];
                switch (e) {
                    case 'n': c = '\n'; break;
                    case 't': c = '\t'; break;
                    case 'r': c = '\r'; break;
                    case 'u': c = '?', at += 4; break;
                    default: c = e;
                }
            }
            out += c;
        }
        expect('"');
        return out;
    }
    Json value() {
        skip();
        if (at >= s.size()) throw std::runtime_error("JSON: unexpected end");
        const char c = s[at];
        if (c == '{') {
            ++at;
            std::map<std::string, Json> o;
            skip();
            if (s[at] == '}') return ++at, Json{o};
            for (;;) {
                std::string key = string_value();
                expect(':');
                o.emplace(std::move(key), value());
                skip();
                if (s[at++] == '}') return Json{std::move(o)};
            }
        }
        if (c == '[') {
            ++at;
            std::vector<Json> a;
            skip();
            if (s[at] == ']') return ++at, Json{a};
            for (;;) {
                a.push_back(value());
                skip();
                if (s[at++] == ']') return Json{std::move(a)};
            }
        }
        if (c == '"') return Json{string_value()};
        if (s.compare(at, 4, "null") == 0) return at += 4, Json{nullptr};
        if (s.compare(at, 4, "true") == 0) return at += 4, Json{true};
        if (s.compare(at, 5, "false") == 0) return at += 5, Json{false};
        char* end = nullptr;
        const double d = std::strtod(s.c_str() + at, &end);
        if (end == s.c_str() + at) throw std::runtime_error("JSON: bad value");
        at = static_cast<std::size_t>(end - s.c_str());
        return Json{d};
    }
};

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

void expect_close(double got, double want, const std::string& what) {
    if (got == want) return;
    EXPECT_LE(std::fabs(got - want), 1e-9 * std::fabs(want))
        << what << ": decoded " << got << ", tile holds " << want;
}

struct FormatCase {
    unsigned minor, format;
};

TEST(LasInterop, LoadersGlReadsEveryTileOfEveryPointFormat) {
    const std::string node = find_node();
    ASSERT_FALSE(node.empty()) << "Node.js is not on PATH; run scripts/setup.sh";
    ASSERT_TRUE(std::filesystem::exists(kInterop + "/node_modules/@loaders.gl/las"))
        << "tests/interop/node_modules is missing: run scripts/setup.sh to install the pinned LAS reader";

    const FormatCase formats[] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}, {2, 2}, {2, 3}};
    for (const FormatCase& f : formats) {
        SCOPED_TRACE("LAS 1." + std::to_string(f.minor) + " format " + std::to_string(f.format));
        TempDir dir;
        survey::SurveySpec spec;
        spec.directory = dir.path;
        spec.files = 3;
        spec.points = 12000;
        spec.VersionMinor = static_cast<std::uint8_t>(f.minor);
        spec.PointDataFormatID = static_cast<std::uint8_t>(f.format);
        spec.width = 600;
        spec.height = 450;
        spec.with_vlrs = true;
        spec.seed = 17 + f.format;
        const std::vector<std::string> inputs = survey::generate_survey(spec);
        const CheckedRun r = run_and_verify(dir.path, "survey.txt", "T_", 200, {12, 0});
        ASSERT_EQ(r.run.status, 0) << r.run.output;
        ASSERT_TRUE(r.check.ok) << r.check.message;

        std::unordered_set<std::string> input_records;
        for (const std::string& in : inputs)
            for (const auto& rec : read_las(in).records) input_records.emplace(rec.begin(), rec.end());

        const std::vector<std::string> tiles = files_with_stem(dir.path, "T_");
        ASSERT_EQ(tiles.size(), r.check.tiles);
        std::vector<std::string> args{kInterop + "/read_tiles.mjs"};
        for (const std::string& t : tiles) args.push_back(dir.file(t));
        const RunResult js = run_program(node, args, kInterop, 300);
        ASSERT_EQ(js.status, 0) << js.output.substr(0, 2000) << js.errors;

        std::stringstream lines(js.output);
        std::size_t seen = 0;
        for (std::string line; std::getline(lines, line);) {
            JsonReader reader{line};
            const Json j = reader.value();
            ASSERT_FALSE(j.has("error")) << j["error"].text();
            const std::string file = j["file"].text();
            SCOPED_TRACE(file);
            ASSERT_EQ(file, dir.file(tiles[seen]));
            ++seen;
            const LasContent tile = read_las(file);
            const LAS12Header& h = tile.header;
            const std::size_t n = tile.records.size();
            EXPECT_EQ(j["pointsCount"].number(), +h.NumberOfPointReturns);
            EXPECT_EQ(j["vertexCount"].number(), n);
            EXPECT_EQ(n, +h.NumberOfPointReturns);
            EXPECT_EQ(j["pointsFormatId"].number(), f.format);
            EXPECT_EQ(j["pointsOffset"].number(), +h.OffsetToData);
            const double mins[3] = {h.MinX, h.MinY, h.MinZ}, maxs[3] = {h.MaxX, h.MaxY, h.MaxZ};
            for (int a = 0; a < 3; ++a) {
                EXPECT_EQ(j["mins"].array()[a].number(), mins[a]) << "axis " << a;
                EXPECT_EQ(j["maxs"].array()[a].number(), maxs[a]) << "axis " << a;
            }
            const auto& pos = j["positions"].array();
            const auto& intensity = j["intensity"].array();
            const auto& classification = j["classification"].array();
            ASSERT_EQ(pos.size(), 3 * n);
            ASSERT_EQ(intensity.size(), n);
            const bool colour = f.format == 2 || f.format == 3;
            ASSERT_EQ(j["colors"].is_null(), !colour);
            const double scale[3] = {h.XScaleFactor, h.YScaleFactor, h.ZScaleFactor};
            const double offset[3] = {h.XOffset, h.YOffset, h.ZOffset};
            double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
            for (std::size_t k = 0; k < n; ++k) {
                const std::vector<unsigned char>& rec = tile.records[k];
                ASSERT_EQ(input_records.count(std::string(rec.begin(), rec.end())), 1U)
                    << "tile record " << k << " is no input record";
                const survey::PointRecord p = survey::decode_point(rec.data(), f.format);
                const std::int32_t stored[3] = {p.X, p.Y, p.Z};
                for (int a = 0; a < 3; ++a) {
                    const double want = actual_coordinate(stored[a], scale[a], offset[a]);
                    expect_close(pos[3 * k + a].number(), want, "record " + std::to_string(k));
                    lo[a] = std::min(lo[a], want);
                    hi[a] = std::max(hi[a], want);
                }
                EXPECT_EQ(intensity[k].number(), p.Intensity) << "record " << k;
                EXPECT_EQ(classification[k].number(), p.Classification) << "record " << k;
                if (colour) {
                    const auto& c = j["colors"].array();
                    EXPECT_EQ(c[4 * k].number(), p.Red / 256) << "record " << k;
                    EXPECT_EQ(c[4 * k + 1].number(), p.Green / 256) << "record " << k;
                    EXPECT_EQ(c[4 * k + 2].number(), p.Blue / 256) << "record " << k;
                }
                if (::testing::Test::HasFailure()) return;
            }
            // The header's bounds are those of the records the reader decoded.
            for (int a = 0; a < 3; ++a) {
                EXPECT_EQ(lo[a], mins[a]);
                EXPECT_EQ(hi[a], maxs[a]);
            }
        }
        EXPECT_EQ(seen, tiles.size());
    }
}

// The value of one extra bytes field as its type reads it.
double extra_field_value(const std::vector<unsigned char>& extra, const survey::ExtraBytesField& f) {
    const unsigned char* b = extra.data() + f.offset;
    switch (f.data_type) {
        case 1: return b[0];
        case 2: return static_cast<std::int8_t>(b[0]);
        case 3: return load_u16le(b);
        case 4: return static_cast<std::int16_t>(load_u16le(b));
        case 5: return load_u32le(b);
        case 6: return load_i32le(b);
        case 9: return std::bit_cast<float>(load_u32le(b));
        case 10: return load_f64le(b);
        default: throw std::runtime_error("no such extra bytes type");
    }
}

struct WrittenSurvey {
    const char* name;
    unsigned minor, format, extra_bytes;
    bool describe, with_vlrs;
    unsigned evlrs;
    survey::WktPlace wkt;
    survey::RecordOrder order;
};

// What the reader found of the records in a file's VLRs and EVLRs.
struct FoundRecords {
    std::size_t vlrs = 0, evlrs = 0;
    bool wkt_vlr = false, wkt_evlr = false, extra_bytes_vlr = false, trajectory = false;
    double end = 0;  // where the last EVLR ends
};

FoundRecords found_records(const Json& vlrs) {
    FoundRecords found;
    for (const Json& v : vlrs.array()) {
        const bool extended = std::get<bool>(v["isExtended"].v);
        const std::string user = v["userId"].text();
        const double id = v["recordId"].number();
        ++(extended ? found.evlrs : found.vlrs);
        if (user == "LASF_Projection" && id == 2112) (extended ? found.wkt_evlr : found.wkt_vlr) = true;
        if (!extended && user == "LASF_Spec" && id == 4) found.extra_bytes_vlr = true;
        if (extended && user == "Tessaro" && id == 1 && v["contentLength"].number() == 65600)
            found.trajectory = true;
        if (extended)
            found.end = std::max(found.end, v["contentOffset"].number() + v["contentLength"].number());
    }
    return found;
}

TEST(LasInterop, CopcDecodesEveryFieldOfTheWritersLas13And14Surveys) {
    const std::string node = find_node();
    ASSERT_FALSE(node.empty()) << "Node.js is not on PATH; run scripts/setup.sh";
    ASSERT_TRUE(std::filesystem::exists(kInterop + "/node_modules/copc"))
        << "tests/interop/node_modules is missing: run scripts/setup.sh to install the pinned LAS readers";

    using survey::RecordOrder;
    using survey::WktPlace;
    const WrittenSurvey cases[] = {
        {"1.3 format 1", 3, 1, 0, true, true, 0, WktPlace::none, RecordOrder::scan},
        {"1.2 format 3, extra bytes", 2, 3, 6, true, false, 0, WktPlace::none, RecordOrder::random},
        {"1.4 format 1, WKT VLR", 4, 1, 7, true, false, 2, WktPlace::vlr, RecordOrder::random},
        {"1.4 format 6", 4, 6, 13, true, true, 1, WktPlace::none, RecordOrder::tiled},
        {"1.4 format 7, undescribed, WKT EVLR", 4, 7, 5, false, false, 3, WktPlace::evlr, RecordOrder::scan},
        {"1.4 format 8", 4, 8, 29, true, true, 2, WktPlace::none, RecordOrder::random},
    };
    for (const WrittenSurvey& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        survey::SurveySpec spec;
        spec.directory = dir.path;
        spec.files = 2;
        spec.points = 6000;
        spec.VersionMinor = static_cast<std::uint8_t>(c.minor);
        spec.PointDataFormatID = static_cast<std::uint8_t>(c.format);
        spec.extra_bytes = c.extra_bytes;
        spec.describe_extra_bytes = c.describe;
        spec.with_vlrs = c.with_vlrs;
        spec.evlrs = c.evlrs;
        spec.wkt = c.wkt;
        spec.order = c.order;
        spec.width = 600;
        spec.height = 450;
        spec.seed = 5 + c.format;
        const std::vector<std::string> files = survey::generate_survey(spec);
        std::vector<std::string> args{kInterop + "/read_records.mjs"};
        args.insert(args.end(), files.begin(), files.end());
        const RunResult js = run_program(node, args, kInterop, 300);
        ASSERT_EQ(js.status, 0) << js.output.substr(0, 2000) << js.errors;

        const survey::PointFormatLayout layout = survey::point_format_layout(c.format);
        const std::vector<survey::ExtraBytesField> fields = survey::extra_bytes_fields(c.extra_bytes);
        const bool wkt_vlr =
            c.wkt == WktPlace::vlr || (c.wkt == WktPlace::none && c.with_vlrs && layout.extended);
        std::stringstream lines(js.output);
        std::size_t seen = 0;
        for (std::string line; std::getline(lines, line); ++seen) {
            JsonReader reader{line};
            const Json j = reader.value();
            ASSERT_FALSE(j.has("error")) << j["error"].text();
            ASSERT_LT(seen, files.size());
            ASSERT_EQ(j["file"].text(), files[seen]);
            SCOPED_TRACE(files[seen]);
            const std::string image = read_file(files[seen]);
            const auto* bytes = reinterpret_cast<const unsigned char*>(image.data());
            const survey::LasHeader full = survey::decode_header(bytes, image.size());
            const LAS12Header& h = full.base;
            const bool v14 = c.minor == 4;
            const std::uint64_t n = v14 ? full.NumberOfPointRecords : h.NumberOfPointReturns;
            const std::size_t len = h.PointDataRecordLength;
            const double mins[3] = {h.MinX, h.MinY, h.MinZ}, maxs[3] = {h.MaxX, h.MaxY, h.MaxZ};

            // The header as the reader sees it.
            EXPECT_EQ(j["pointDataRecordFormat"].number(), c.format);
            EXPECT_EQ(j["pointDataRecordLength"].number(), layout.size + c.extra_bytes);
            EXPECT_EQ(j["pointDataOffset"].number(), +h.OffsetToData);
            EXPECT_EQ(j["pointCount"].number(), n);
            ASSERT_EQ(j["pointsDecoded"].number(), n);
            for (int a = 0; a < 3; ++a) {
                EXPECT_EQ(j["min"].array()[a].number(), mins[a]) << "axis " << a;
                EXPECT_EQ(j["max"].array()[a].number(), maxs[a]) << "axis " << a;
            }
            std::vector<double> by_return(15, 0.0);
            if (!j["vlrs"].is_null()) {
                EXPECT_EQ(j["minorVersion"].number(), c.minor);
                EXPECT_EQ(j["headerLength"].number(), survey::header_block_size(c.minor));
                EXPECT_EQ(j["globalEncoding"].number(), wkt_vlr || c.wkt == WktPlace::evlr ? 16 : 0);
                const auto& counts = j["pointCountByReturn"].array();
                ASSERT_EQ(counts.size(), v14 ? 15U : 5U);
                for (std::size_t k = 0; k < counts.size(); ++k) {
                    EXPECT_EQ(counts[k].number(),
                              v14 ? full.NumberOfPointsByReturn[k] : h.NumberOfPointsByReturn[k])
                        << "return " << k + 1;
                    by_return[k] = counts[k].number();
                }
                const FoundRecords found = found_records(j["vlrs"]);
                EXPECT_EQ(found.vlrs, +h.NumberOfVariableLengthRecords);
                EXPECT_EQ(found.evlrs, c.evlrs + (c.wkt == WktPlace::evlr ? 1 : 0));
                EXPECT_EQ(found.wkt_vlr, wkt_vlr);
                EXPECT_EQ(found.wkt_evlr, c.wkt == WktPlace::evlr);
                EXPECT_EQ(found.extra_bytes_vlr, c.extra_bytes != 0 && c.describe);
                EXPECT_EQ(found.trajectory, c.evlrs != 0);
                if (v14) {
                    EXPECT_EQ(j["evlrCount"].number(), found.evlrs);
                    EXPECT_EQ(j["evlrOffset"].number(), found.evlrs == 0 ? 0.0 : h.OffsetToData + n * len);
                }
                // Nothing follows the last EVLR, or the points without one.
                EXPECT_EQ(found.evlrs == 0 ? h.OffsetToData + n * len : found.end, image.size());
                const auto& described = j["extraBytes"].array();
                ASSERT_EQ(described.size(), found.extra_bytes_vlr ? fields.size() : 0U);
                for (std::size_t k = 0; k < described.size(); ++k) {
                    EXPECT_EQ(described[k]["name"].text(), fields[k].name);
                    EXPECT_EQ(described[k]["length"].number(), fields[k].size);
                }
            } else {
                EXPECT_EQ(c.minor, 3U) << "only LAS 1.3 is read with the header of loaders.gl";
                for (std::size_t k = 0; k < 5; ++k) by_return[k] = h.NumberOfPointsByReturn[k];
            }
            if (v14 && layout.extended) {
                EXPECT_EQ(+h.NumberOfPointReturns, 0U);
                for (std::size_t k = 0; k < 5; ++k) EXPECT_EQ(+h.NumberOfPointsByReturn[k], 0U) << k;
            }

            // Every record as the reader decodes it.
            const Json& dims = j["dimensions"];
            const bool extra_decoded = c.extra_bytes != 0 && c.describe && !j["vlrs"].is_null();
            if (extra_decoded) {
                ASSERT_TRUE(dims.has(fields[0].name));
            }
            const auto column = [&](const char* name) -> const std::vector<Json>& {
                const auto& values = dims[name].array();
                if (values.size() != n) throw std::runtime_error(std::string("short column ") + name);
                return values;
            };
            const auto &X = column("X"), &Y = column("Y"), &Z = column("Z");
            const auto &intensity = column("Intensity"), &ret = column("ReturnNumber");
            const auto &returns = column("NumberOfReturns"), &cls = column("Classification");
            const auto &source = column("PointSourceId"), &angle = column("ScanAngle");
            const auto &direction = column("ScanDirectionFlag"), &edge = column("EdgeOfFlightLine");
            std::vector<double> counted(15, 0.0);
            double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
            for (std::uint64_t k = 0; k < n; ++k) {
                const survey::PointRecord p =
                    survey::decode_record(bytes + h.OffsetToData + k * len, c.format, len);
                const std::int32_t stored[3] = {p.X, p.Y, p.Z};
                const double scale[3] = {h.XScaleFactor, h.YScaleFactor, h.ZScaleFactor};
                const double offset[3] = {h.XOffset, h.YOffset, h.ZOffset};
                const double xyz[3] = {X[k].number(), Y[k].number(), Z[k].number()};
                for (int a = 0; a < 3; ++a) {
                    EXPECT_EQ(xyz[a], actual_coordinate(stored[a], scale[a], offset[a])) << "record " << k;
                    lo[a] = std::min(lo[a], xyz[a]);
                    hi[a] = std::max(hi[a], xyz[a]);
                }
                const unsigned r = survey::return_number_of(p.bitfield, c.format);
                const unsigned of = layout.extended ? p.bitfield >> 4 : (p.bitfield >> 3) & 7U;
                const unsigned flags = layout.extended ? p.ExtendedFlags : p.bitfield;
                EXPECT_EQ(intensity[k].number(), p.Intensity) << "record " << k;
                EXPECT_EQ(ret[k].number(), r) << "record " << k;
                EXPECT_EQ(returns[k].number(), of) << "record " << k;
                EXPECT_EQ(direction[k].number(), (flags >> 6) & 1U) << "record " << k;
                EXPECT_EQ(edge[k].number(), flags >> 7) << "record " << k;
                // The reader takes classification 12 of formats 0 to 3 as its
                // overlap flag; the writer never gives it.
                EXPECT_EQ(cls[k].number(), layout.extended ? p.Classification : p.Classification & 31U)
                    << "record " << k;
                EXPECT_EQ(source[k].number(), p.PointSourceID) << "record " << k;
                if (layout.extended) {
                    EXPECT_EQ(angle[k].number(), p.ScanAngle * 0.006) << "record " << k;
                    EXPECT_EQ(dims["ScannerChannel"].array()[k].number(), (p.ExtendedFlags >> 4) & 3U);
                    EXPECT_EQ(dims["Overlap"].array()[k].number(), (p.ExtendedFlags >> 3) & 1U);
                } else {
                    EXPECT_EQ(angle[k].number(), static_cast<std::int8_t>(p.ScanAngleRank)) << "record " << k;
                }
                if (layout.gps_offset >= 0) {
                    EXPECT_EQ(dims["GpsTime"].array()[k].number(), p.GPSTime);
                }
                if (layout.rgb_offset >= 0) {
                    EXPECT_EQ(dims["Red"].array()[k].number(), p.Red);
                    EXPECT_EQ(dims["Green"].array()[k].number(), p.Green);
                    EXPECT_EQ(dims["Blue"].array()[k].number(), p.Blue);
                }
                if (layout.nir_offset >= 0) {
                    EXPECT_EQ(dims["Infrared"].array()[k].number(), p.NIR);
                }
                if (extra_decoded) {
                    for (const survey::ExtraBytesField& f : fields)
                        EXPECT_EQ(dims[f.name].array()[k].number(), extra_field_value(p.ExtraBytes, f))
                            << f.name << " of record " << k;
                }
                if (r >= 1 && r <= 15) ++counted[r - 1];
                if (::testing::Test::HasFailure()) return;
            }
            // The header's counts and bounds are those of the records the
            // reader decoded.
            for (std::size_t k = 0; k < 15; ++k)
                EXPECT_EQ(counted[k], k < 5 || v14 ? by_return[k] : 0.0) << "return " << k + 1;
            for (int a = 0; a < 3; ++a) {
                EXPECT_EQ(lo[a], mins[a]) << "axis " << a;
                EXPECT_EQ(hi[a], maxs[a]) << "axis " << a;
            }
        }
        EXPECT_EQ(seen, files.size());
    }
}

// Each record the reader decoded, as the text of all its dimensions' values.
std::vector<std::string> decoded_records(const Json& j) {
    std::vector<std::string> records(static_cast<std::size_t>(j["pointsDecoded"].number()));
    for (const auto& [name, column] : std::get<std::map<std::string, Json>>(j["dimensions"].v)) {
        const auto& values = column.array();
        if (values.size() != records.size()) throw std::runtime_error("short column " + name);
        for (std::size_t k = 0; k < records.size(); ++k) {
            char text[48];
            std::snprintf(text, sizeof text, "=%.17g;", values[k].number());
            records[k] += name + text;
        }
    }
    return records;
}

// The extended records a file holds, as the reader walked them.
std::multiset<std::string> evlrs_of(const Json& j) {
    std::multiset<std::string> found;
    for (const Json& v : j["vlrs"].array())
        if (std::get<bool>(v["isExtended"].v))
            found.insert(v["userId"].text() + "/" + std::to_string(v["recordId"].number()) + "/" +
                         std::to_string(v["contentLength"].number()) + "/" + v["description"].text());
    return found;
}

// The tiles of tessaro_unbounded runs over LAS 1.3 and 1.4 surveys, read by
// the copc reader (the header of LAS 1.3 by loaders.gl): over all tiles the
// records it decodes are the input records, each once, and with a buffer the
// copies besides; every tile's header counts what the reader decodes, and
// the extended records of LAS 1.4 follow the points as the header says.
TEST(LasInterop, CopcReadsTheTilesOfUnboundedLas13And14RunsAsTheInputRecords) {
    const std::string node = find_node();
    ASSERT_FALSE(node.empty()) << "Node.js is not on PATH; run scripts/setup.sh";
    ASSERT_TRUE(std::filesystem::exists(kInterop + "/node_modules/copc"))
        << "tests/interop/node_modules is missing: run scripts/setup.sh to install the pinned LAS readers";

    using survey::RecordOrder;
    using survey::WktPlace;
    struct Run {
        WrittenSurvey survey;
        double buffer;
    };
    const Run runs[] = {
        {{"1.4 format 6, extra bytes, EVLRs with the WKT in one, buffer", 4, 6, 9, true, false, 2,
          WktPlace::evlr, RecordOrder::random},
         6},
        {{"1.4 format 8, extra bytes, EVLRs, no buffer", 4, 8, 29, true, true, 2, WktPlace::none,
          RecordOrder::scan},
         0},
        {{"1.4 format 7, undescribed extra bytes, EVLRs, WKT VLR, buffer", 4, 7, 5, false, false, 3,
          WktPlace::vlr, RecordOrder::tiled},
         5},
        {{"1.3 format 1, buffer", 3, 1, 0, true, true, 0, WktPlace::none, RecordOrder::scan}, 5},
        // Both sets of counts: the legacy ones and those of LAS 1.4.
        {{"1.4 format 3, extra bytes, an EVLR, buffer", 4, 3, 4, true, true, 1, WktPlace::none,
          RecordOrder::random},
         5},
    };
    for (const Run& run : runs) {
        const WrittenSurvey& c = run.survey;
        SCOPED_TRACE(c.name);
        TempDir dir;
        survey::SurveySpec spec;
        spec.directory = dir.path;
        spec.files = 2;
        spec.points = 6000;
        spec.VersionMinor = static_cast<std::uint8_t>(c.minor);
        spec.PointDataFormatID = static_cast<std::uint8_t>(c.format);
        spec.extra_bytes = c.extra_bytes;
        spec.describe_extra_bytes = c.describe;
        spec.with_vlrs = c.with_vlrs;
        spec.evlrs = c.evlrs;
        spec.wkt = c.wkt;
        spec.order = c.order;
        spec.tile_size = 100;
        spec.width = 600;
        spec.height = 450;
        spec.seed = 41 + c.format;
        const std::vector<std::string> inputs = survey::generate_survey(spec);
        const CheckedRun r = run_and_verify(dir.path, "survey.txt", "T_", 100, {run.buffer, 0, true});
        ASSERT_EQ(r.run.status, 0) << r.run.output;
        ASSERT_TRUE(r.check.ok) << r.check.message;
        const std::vector<std::string> tiles = files_with_stem(dir.path, "T_");
        ASSERT_EQ(tiles.size(), r.check.tiles);

        std::vector<std::string> args{kInterop + "/read_records.mjs"};
        args.insert(args.end(), inputs.begin(), inputs.end());
        for (const std::string& t : tiles) args.push_back(dir.file(t));
        const RunResult js = run_program(node, args, kInterop, 300);
        ASSERT_EQ(js.status, 0) << js.output.substr(0, 2000) << js.errors;

        std::multiset<std::string> input_records, tile_records;
        std::vector<std::multiset<std::string>> input_evlrs;
        double global_encoding = -1;
        std::stringstream lines(js.output);
        std::size_t seen = 0;
        for (std::string line; std::getline(lines, line); ++seen) {
            JsonReader reader{line};
            const Json j = reader.value();
            ASSERT_FALSE(j.has("error")) << j["error"].text();
            ASSERT_LT(seen, inputs.size() + tiles.size());
            const bool is_input = seen < inputs.size();
            const std::string file = is_input ? inputs[seen] : dir.file(tiles[seen - inputs.size()]);
            ASSERT_EQ(j["file"].text(), file);
            SCOPED_TRACE(file);
            const std::vector<std::string> records = decoded_records(j);
            const bool copc_header = !j["vlrs"].is_null();
            EXPECT_EQ(copc_header, c.minor == 4);
            if (is_input) {
                input_records.insert(records.begin(), records.end());
                if (copc_header) {
                    input_evlrs.push_back(evlrs_of(j));
                    global_encoding = j["globalEncoding"].number();
                }
                continue;
            }
            tile_records.insert(records.begin(), records.end());

            // The header counts and bounds the records the reader decoded.
            const LasContent tile = read_las(file);
            const std::size_t n = records.size();
            EXPECT_EQ(j["pointCount"].number(), n);
            EXPECT_EQ(tile.records.size(), n);
            std::vector<double> counted(15, 0.0);
            const auto& ret = j["dimensions"]["ReturnNumber"].array();
            for (const Json& v : ret)
                if (v.number() >= 1 && v.number() <= 15) ++counted[static_cast<std::size_t>(v.number()) - 1];
            for (std::size_t k = 0; k < 15; ++k) {
                const double header = copc_header ? j["pointCountByReturn"].array().at(k).number()
                                      : k < 5     ? tile.header.NumberOfPointsByReturn[k]
                                                  : 0.0;
                EXPECT_EQ(header, counted[k]) << "return " << k + 1;
            }
            const char* axes[3] = {"X", "Y", "Z"};
            for (int a = 0; a < 3; ++a) {
                const auto& v = j["dimensions"][axes[a]].array();
                double lo = 1e300, hi = -1e300;
                for (const Json& x : v) lo = std::min(lo, x.number()), hi = std::max(hi, x.number());
                EXPECT_EQ(j["min"].array()[a].number(), lo) << axes[a];
                EXPECT_EQ(j["max"].array()[a].number(), hi) << axes[a];
            }
            if (!copc_header) continue;
            // The creating file's extended records, after the points.
            EXPECT_EQ(j["globalEncoding"].number(), global_encoding);
            const std::multiset<std::string> evlrs = evlrs_of(j);
            EXPECT_NE(std::find(input_evlrs.begin(), input_evlrs.end(), evlrs), input_evlrs.end());
            EXPECT_EQ(j["evlrCount"].number(), evlrs.size());
            const double points_end = j["pointDataOffset"].number() + n * j["pointDataRecordLength"].number();
            EXPECT_EQ(j["evlrOffset"].number(), evlrs.empty() ? 0.0 : points_end);
            const FoundRecords found = found_records(j["vlrs"]);
            EXPECT_EQ(found.evlrs == 0 ? points_end : found.end, std::filesystem::file_size(file));
        }
        EXPECT_EQ(seen, inputs.size() + tiles.size());
        ASSERT_EQ(input_records.size(), 6000U);
        EXPECT_EQ(tile_records.size(), r.check.records + r.check.copies);
        if (run.buffer == 0) {
            EXPECT_TRUE(tile_records == input_records);
            continue;
        }
        for (auto it = input_records.begin(); it != input_records.end(); it = input_records.upper_bound(*it))
            EXPECT_GE(tile_records.count(*it), input_records.count(*it)) << "an input record is in no tile";
        for (auto it = tile_records.begin(); it != tile_records.end(); it = tile_records.upper_bound(*it))
            ASSERT_NE(input_records.find(*it), input_records.end())
                << "a tile record that is no input record: " << *it;
    }
}

}  // namespace
