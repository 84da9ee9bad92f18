// Tiles are read by other people's software: every tile of generated surveys
// (every LAS version and point format, with VLRs, cut with a buffer) is read
// with the loaders.gl LAS loader under Node.js, and what it decodes must be
// what the tile holds and what the input held.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
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

}  // namespace
