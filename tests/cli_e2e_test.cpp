// The command line of the real binary: every refusal with its exact console
// text and exit status, and the command lines that go on to the survey.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_binary.hpp"
#include "survey_writer.hpp"

using namespace tessaro;
using tessaro::test::banner;
using tessaro::test::run_tessaro;
using tessaro::test::TempDir;
using tessaro::test::usage_text;

namespace {

using Words = std::vector<std::string>;

const std::string kCountMessage = "\nMissing, or excessive number of, arguments\n";
const std::string kSurveyStart =
    "- - - - - - - - - - - - - - - - - -\n\n"
    "All files in list.asc have consistent point location scale and offset\n\n";

// A directory with list.asc naming one small LAS file (bounds 0.01 to 0.03),
// small enough to be one tile for every tile size the tests use.
struct SmallSurvey {
    TempDir dir;
    SmallSurvey() {
        survey::LasFileSpec spec;
        std::vector<survey::PointRecord> points(3);
        for (int k = 0; k < 3; ++k) points[k].X = points[k].Y = k + 1;
        survey::write_las_file(dir.file("a.las"), spec, points);
        tessaro::test::write_file(dir.file("list.asc"), "a.las\n");
    }
};

Words with_positionals(const Words& tail, const std::string& tile_size = "100") {
    Words words = {"list.asc", "T", tile_size};
    words.insert(words.end(), tail.begin(), tail.end());
    return words;
}

struct Refusal {
    Words words;
    std::string output;
};

void expect_refusals(const std::vector<Refusal>& cases) {
    SmallSurvey s;
    for (const Refusal& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.words));
        const test::RunResult r = run_tessaro(c.words, s.dir.path);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.output, c.output);
        EXPECT_EQ(r.errors, "");
        // Nothing is written before the survey.
        EXPECT_FALSE(test::file_exists(s.dir.file("TR1C1.las")));
    }
}

TEST(CommandLine, FlagScanRefusalsComeWithoutTheBanner) {
    const std::string U = usage_text();
    expect_refusals({
        {with_positionals({"-s", "-s"}), "\nMultiple instances of -s argument\n"},
        {with_positionals({"-b", "1", "-b", "2"}), "\nMultiple instances of -b argument\n"},
        {with_positionals({"-r", "1", "-r", "2", "-b", "1", "-b", "2"}),
         "\nMultiple instances of -r argument\n"},
        {with_positionals({"-s", "-b", "1", "-b", "2", "-s"}), "\nMultiple instances of -b argument\n"},
        // Duplicates are tested before positions.
        {{"-s", "T", "100", "-s"}, "\nMultiple instances of -s argument\n"},
        {{"list.asc", "T", "-s"}, "\nInvalid sequence of arguments\n" + U},
        {{"-r", "T", "100", "1"}, "\nInvalid sequence of arguments\n" + U},
        {{"list.asc", "-b", "100", "5"}, "\nInvalid sequence of arguments\n" + U},
    });
}

TEST(CommandLine, NoArgumentsAndWrongCountShowBannerAndUsage) {
    const std::string B = banner(), U = usage_text();
    expect_refusals({
        {{}, B + U},
        {{"list.asc"}, B + kCountMessage + U},
        {{"list.asc", "T"}, B + kCountMessage + U},
        {with_positionals({"-r"}), B + kCountMessage + U},
        {with_positionals({"-b"}), B + kCountMessage + U},
        {with_positionals({"x"}), B + kCountMessage + U},
        {with_positionals({"-R", "1"}), B + kCountMessage + U},
        {with_positionals({"-rx"}), B + kCountMessage + U},
        {with_positionals({"-S"}), B + kCountMessage + U},
        {with_positionals({"-s", "x"}), B + kCountMessage + U},
        // The count is tested before any value.
        {with_positionals({"-r", "0", "x"}), B + kCountMessage + U},
    });
}

TEST(CommandLine, ValueChecksInTheirOrder) {
    const std::string B = banner(), U = usage_text();
    auto invalid = [&](const std::string& word) { return B + "\nInvalid argument value (" + word + ")\n"; };
    std::vector<Refusal> cases;
    const std::string overflowing = "1" + std::string(400, '0');  // no finite double
    for (const char* word : {"-5", "+5", "1e3", "1.2.3", ".", "5a", "0x1", overflowing.c_str()}) {
        cases.push_back({with_positionals({"-r", word}), invalid(word)});
        cases.push_back({with_positionals({"-b", word}), invalid(word)});
        cases.push_back({with_positionals({}, word), invalid(word)});
    }
    const std::vector<Refusal> ordered = {
        {with_positionals({"-r", "0"}), B + "\nResolution should be positive\n"},
        {with_positionals({"-r", "0.000"}), B + "\nResolution should be positive\n"},
        {with_positionals({"-r", ""}), B + "\nResolution should be positive\n"},
        {with_positionals({"-b", "0"}), B + "\nBuffer should be positive\n"},
        {with_positionals({"-b", "0", "-r", "1.5.1"}), invalid("1.5.1")},
        {with_positionals({"-r", "0.0005"}),
         B + "\nFinest acceptable resolution precision is three digits. You specified 0.000500\n"},
        {with_positionals({"-b", "1.2345"}),
         B + "\nFinest acceptable buffer precision is three digits. You specified 1.234500\n"},
        // The zero test of "-b" comes before the precision of "-r".
        {with_positionals({"-r", "0.0005", "-b", "0"}), B + "\nBuffer should be positive\n"},
        // "-r" precision before "-b" precision.
        {with_positionals({"-b", "0.0001", "-r", "0.0005"}),
         B + "\nFinest acceptable resolution precision is three digits. You specified 0.000500\n"},
        // Precision of the values before the tile size word.
        {with_positionals({"-r", "0.0005"}, "-100"),
         B + "\nFinest acceptable resolution precision is three digits. You specified 0.000500\n"},
        {with_positionals({}, "-100"), invalid("-100")},
        {with_positionals({}, "0.09"), B + "\nTile Size is too small 0.09\n" + U},
        {with_positionals({}, "0"), B + "\nTile Size is too small 0\n" + U},
        {with_positionals({}, "0.0999"), B + "\nTile Size is too small 0.0999\n" + U},
        {with_positionals({}, ""), B + "\nTile Size is too small \n" + U},
        {with_positionals({"-b", "5.001"}, "10"),
         B + "\nTile buffer should be less than half the TileSize\n"},
        {with_positionals({"-b", "0.06"}, "0.1"),
         B + "\nTile buffer should be less than half the TileSize\n"},
        // "-s" is both the value of "-r" and a flag of its own.
        {with_positionals({"-r", "-s", "5"}), invalid("-s")},
        {with_positionals({"-b", "-s", "5"}), invalid("-s")},
    };
    cases.insert(cases.end(), ordered.begin(), ordered.end());
    expect_refusals(cases);
}

// A value flag standing last passes the count rule when a stray word stands
// elsewhere; it is refused at the value checks, after the banner.
TEST(CommandLine, ValueFlagLastWithoutValueIsRefused) {
    const std::string B = banner();
    expect_refusals({
        {with_positionals({"x", "-r"}), B + "\nMissing value after the -r argument\n"},
        {with_positionals({"x", "-b"}), B + "\nMissing value after the -b argument\n"},
        {with_positionals({"-s", "x", "-b"}), B + "\nMissing value after the -b argument\n"},
        {with_positionals({"-r", "1", "x", "-b"}), B + "\nMissing value after the -b argument\n"},
        // The "-r" value is checked before "-b" is found without a value.
        {with_positionals({"-r", "-5", "x", "-b"}), B + "\nInvalid argument value (-5)\n"},
        {with_positionals({"-b", "2", "x", "-r"}), B + "\nMissing value after the -r argument\n"},
    });
}

// More words than a 16-bit word position holds: the last "-s" must not be
// taken for a flag in place of a positional word.
TEST(CommandLine, VeryLongCommandLineIsCountedNotMisplaced) {
    Words words = with_positionals({});
    words.resize(65536, "x");
    words.push_back("-s");  // word index 65537
    expect_refusals({{words, banner() + kCountMessage + usage_text()}});
}

TEST(CommandLine, SoundCommandLinesGoOnToTheSurvey) {
    const std::vector<Words> cases = {
        with_positionals({}),
        with_positionals({"-s"}),
        with_positionals({"-r", "1", "-b", "5", "-s"}),
        with_positionals({"-s", "-b", "5", "-r", "1"}),
        with_positionals({"-b", "5", "-s", "-r", "1"}),
        with_positionals({"-r", "0.25", "-b", "2.125"}),
        with_positionals({"-r", "2.007", "-b", "4.03"}),
        with_positionals({"-r", "1.0000", "-b", "0.2500"}),
        with_positionals({"-r", ".5", "-b", "5."}),
        with_positionals({"-b", "5"}, "10"),
        with_positionals({}, "0.1"),
        with_positionals({}, "007"),
    };
    for (const Words& words : cases) {
        SCOPED_TRACE(testing::PrintToString(words));
        SmallSurvey s;
        const test::RunResult r = run_tessaro(words, s.dir.path);
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.output.rfind(banner() + kSurveyStart, 0), 0u) << r.output;
        EXPECT_NE(r.output.find("\nElapsed time "), std::string::npos) << r.output;
        EXPECT_TRUE(test::file_exists(s.dir.file("TR1C1.las")));
    }
}

}  // namespace
