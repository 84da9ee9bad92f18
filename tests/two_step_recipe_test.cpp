// Files too large for one run at the tile size wanted. The two-step recipe:
// a 1.2 km x 0.6 km file refused at 50 m tiles is cut into coarse tiles of
// 250 m without buffer, and the coarse tiles, all in one list, into 50 m tiles
// with the buffer; each step is checked with tessaro_verify. And
// tessaro_unbounded, which cuts such a file in one run: within the limit it
// writes what tessaro writes, beyond it what the two steps write.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "run_binary.hpp"
#include "survey_writer.hpp"

using namespace tessaro;
using tessaro::test::RunResult;
using tessaro::test::TempDir;
namespace fs = std::filesystem;

namespace {

RunResult verify(const std::vector<std::string>& args, const std::string& directory) {
    return test::run_program(TESSARO_VERIFY_BIN, args, directory);
}

// A 1.2 km x 0.6 km file of 20,000 points as area_01.las, listed in area.txt.
void area_file(const TempDir& dir) {
    survey::SurveySpec spec;
    spec.directory = dir.path;
    spec.list_name = "area.txt";
    spec.file_stem = "area";
    spec.files = 1;
    spec.points = 20000;
    spec.origin_x = 512345.67;  // edges off any round coordinate
    spec.origin_y = 4101234.5;
    spec.width = 1200;
    spec.height = 600;
    survey::generate_survey(spec);
    test::write_file(dir.file("area.txt"), "area_01.las\n");
}

// Every file of a directory by name, with its bytes.
std::map<std::string, std::string> files_of(const std::string& directory) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(directory))
        files[e.path().filename().string()] = test::read_file(e.path().string());
    return files;
}

// The point records of each tile file of a directory, sorted: what a tile
// holds whatever the order of its records.
std::map<std::string, std::vector<std::string>> record_sets(const std::string& directory) {
    std::map<std::string, std::vector<std::string>> sets;
    for (const auto& [name, bytes] : files_of(directory)) {
        if (!name.ends_with(".las") || bytes.size() < 227) continue;
        auto u = [&bytes](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
        const std::size_t offset = u(96) | u(97) << 8 | u(98) << 16 | static_cast<std::size_t>(u(99)) << 24;
        const std::size_t len = u(105) | u(106) << 8;
        std::vector<std::string>& records = sets[name];
        for (std::size_t at = offset; len != 0 && at + len <= bytes.size(); at += len)
            records.push_back(bytes.substr(at, len));
        std::sort(records.begin(), records.end());
    }
    return sets;
}

// The console report without its elapsed time.
std::string report_of(const RunResult& r) {
    return r.output.substr(0, r.output.rfind("\nElapsed time"));
}

TEST(TwoStepRecipe, CoarseTilesCutAgainGiveTheFineTilesOfAFileTooLargeForOneRun) {
    TempDir dir;
    survey::SurveySpec spec;
    spec.directory = dir.path;
    spec.list_name = "area.txt";
    spec.file_stem = "area";
    spec.files = 1;
    spec.points = 20000;
    spec.origin_x = 512345.67;  // edges off any round coordinate
    spec.origin_y = 4101234.5;
    spec.width = 1200;
    spec.height = 600;
    survey::generate_survey(spec);
    test::write_file(dir.file("area.txt"), "area_01.las\n");
    fs::create_directory(dir.file("coarse"));
    fs::create_directory(dir.file("fine"));

    const RunResult direct = test::run_tessaro({"area.txt", "fine/T", "50", "-b", "5"}, dir.path);
    ASSERT_EQ(direct.status, 255);
    EXPECT_NE(direct.output.find("in more than 99 files"), std::string::npos) << direct.output;

    const std::vector<std::string> first = {"area.txt", "coarse/C", "250", "-r", "250"};
    const RunResult coarse = test::run_tessaro(first, dir.path);
    ASSERT_EQ(coarse.status, 0) << coarse.output;
    const RunResult coarse_check = verify(first, dir.path);
    EXPECT_EQ(coarse_check.status, 0) << coarse_check.output;
    EXPECT_EQ(coarse_check.output.rfind("verified 20000 records, 0 copies, ", 0), 0u) << coarse_check.output;

    std::vector<std::string> tiles;
    for (const auto& e : fs::directory_iterator(dir.file("coarse")))
        tiles.push_back("coarse/" + e.path().filename().string());
    std::sort(tiles.begin(), tiles.end());
    std::string list;
    for (const auto& t : tiles) list += t + "\n";
    test::write_file(dir.file("coarse.txt"), list);

    const std::vector<std::string> second = {"coarse.txt", "fine/T", "50", "-r", "50", "-b", "5"};
    const RunResult fine = test::run_tessaro(second, dir.path);
    ASSERT_EQ(fine.status, 0) << fine.output;
    const RunResult fine_check = verify(second, dir.path);
    EXPECT_EQ(fine_check.status, 0) << fine_check.output;
    EXPECT_EQ(fine_check.output.rfind("verified 20000 records, ", 0), 0u) << fine_check.output;
}

// Where tessaro accepts a run, tessaro_unbounded writes the same files and
// prints the same report; where a file spreads over more than 99 tiles, it
// cuts it in one run, checked by tessaro_verify --unbounded, into the tiles
// the two-step recipe makes, record for record.
TEST(UnboundedRun, WritesWhatTessaroWritesAndCutsFilesBeyondItsLimit) {
    TempDir dir;
    area_file(dir);
    survey::SurveySpec strips;
    strips.directory = dir.path;
    strips.points = 30000;
    strips.with_vlrs = true;
    strips.order = survey::RecordOrder::random;
    survey::generate_survey(strips);  // four strips of a 2 km square in survey.txt
    const std::vector<std::vector<std::string>> within = {
        {"survey.txt", "T", "250"},
        {"survey.txt", "T", "250", "-b", "10", "-s"},
        {"survey.txt", "T", "333.3", "-r", "7", "-b", "12.5", "-s"},
        {"area.txt", "T", "125", "-r", "125", "-b", "5", "-s"},
    };
    for (std::vector<std::string> args : within) {
        SCOPED_TRACE(args[2] + (args.size() > 3 ? " " + args[3] : ""));
        for (const char* sub : {"a", "b"}) {
            fs::remove_all(dir.file(sub));
            fs::create_directory(dir.file(sub));
        }
        args[1] = "a/T";
        const RunResult bounded = test::run_tessaro(args, dir.path);
        args[1] = "b/T";
        const RunResult unbounded = test::run_program(TESSARO_UNBOUNDED_BIN, args, dir.path);
        ASSERT_EQ(bounded.status, 0) << bounded.output;
        ASSERT_EQ(unbounded.status, 0) << unbounded.output;
        std::string expected = report_of(bounded);
        for (std::size_t at = 0; (at = expected.find("a/T", at)) != std::string::npos; at += 3)
            expected[at] = 'b';
        EXPECT_EQ(report_of(unbounded), expected);
        EXPECT_TRUE(files_of(dir.file("a")) == files_of(dir.file("b")));
    }

    // Beyond the limit: 50 m tiles of the 1.2 km file, with a leftover of an
    // earlier run inside the file's range that no record reaches.
    fs::create_directory(dir.file("fine"));
    fs::create_directory(dir.file("coarse"));
    fs::create_directory(dir.file("direct"));
    const std::vector<std::string> run = {"area.txt", "direct/T", "50", "-r", "50", "-b", "5", "-s"};
    const RunResult refused = test::run_tessaro(run, dir.path);
    ASSERT_EQ(refused.status, 255);
    const RunResult direct = test::run_program(TESSARO_UNBOUNDED_BIN, run, dir.path);
    ASSERT_EQ(direct.status, 0) << direct.output;
    std::vector<std::string> check = run;
    check.insert(check.begin(), "--unbounded");
    const RunResult checked = verify(check, dir.path);
    EXPECT_EQ(checked.status, 0) << checked.output;
    EXPECT_EQ(checked.output.rfind("verified 20000 records, ", 0), 0u) << checked.output;

    ASSERT_EQ(test::run_tessaro({"area.txt", "coarse/C", "250", "-r", "250"}, dir.path).status, 0);
    std::string list;
    for (const auto& [name, bytes] : files_of(dir.file("coarse"))) list += "coarse/" + name + "\n";
    test::write_file(dir.file("coarse.txt"), list);
    ASSERT_EQ(test::run_tessaro({"coarse.txt", "fine/T", "50", "-r", "50", "-b", "5"}, dir.path).status, 0);
    const auto one_run = record_sets(dir.file("direct"));
    EXPECT_EQ(one_run.size(), record_sets(dir.file("fine")).size());
    EXPECT_TRUE(one_run == record_sets(dir.file("fine")));

    // A file whose header bounds span 1000 x 500 tiles of 1 m holds two
    // points: two tiles are made, and a leftover in the range is removed.
    fs::remove_all(dir.file("direct"));
    fs::create_directory(dir.file("direct"));
    survey::PointRecord sw, ne;
    sw.bitfield = ne.bitfield = 1 | 1 << 3;
    ne.X = 100000;
    ne.Y = 50000;
    survey::write_las_file(dir.file("corners.las"), {}, {sw, ne});
    test::write_file(dir.file("corners.txt"), "corners.las\n");
    test::write_file(dir.file("direct/T_R0100C0100.las"), "left by an earlier run");
    const RunResult sparse =
        test::run_program(TESSARO_UNBOUNDED_BIN, {"corners.txt", "direct/T_", "1"}, dir.path);
    ASSERT_EQ(sparse.status, 0) << sparse.output;
    EXPECT_NE(sparse.output.find("corners.las: 500000 tiles"), std::string::npos) << sparse.output;
    EXPECT_EQ(files_of(dir.file("direct")).size(), 2u);
    EXPECT_EQ(verify({"--unbounded", "corners.txt", "direct/T_", "1"}, dir.path).status, 0);
}

}  // namespace
