// The two-step recipe for a file too large for one run at the tile size
// wanted: a 1.2 km x 0.6 km file refused at 50 m tiles is cut into coarse
// tiles of 250 m without buffer, and the coarse tiles, all in one list, into
// 50 m tiles with the buffer. Each step is checked with tessaro_verify.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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

}  // namespace
