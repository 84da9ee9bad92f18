// Unit tests of the command-line rules: the character rule of number words,
// the three-decimal precision rule and the flag scan.
#include "command_line.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tessaro;

namespace {

// An argument vector built from words; word 0 is the program name.
struct Argv {
    std::vector<std::string> words;
    std::vector<char*> pointers;

    explicit Argv(std::vector<std::string> w) : words(std::move(w)) {
        words.insert(words.begin(), "tessaro");
        for (auto& word : words) pointers.push_back(word.data());
        pointers.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(words.size()); }
    char** argv() { return pointers.data(); }
};

TEST(CharacterRule, AcceptsUnsignedDecimalWords) {
    for (const char* word : {"5", "0.5", ".5", "007", "5.", "0", "0.000", "", "100", "2.125"}) {
        SCOPED_TRACE(word);
        check_nonzero_argument(word);  // returns only when accepted
    }
}

TEST(CharacterRule, RefusesSignsExponentsSecondPointsAndLonePoint) {
    // Digits only, but beyond the range of a double.
    const std::string overflowing = "1" + std::string(400, '0');
    for (const char* word :
         {"-5", "+5", "1e3", "1.2.3", ".", " 5", "5 ", "0x10", "-s", "..", "1,5", overflowing.c_str()}) {
        SCOPED_TRACE(word);
        EXPECT_EXIT(check_nonzero_argument(word), testing::ExitedWithCode(255), "");
    }
}

TEST(PrecisionRule, CountsSignificantDecimalsOfTheWord) {
    struct Case {
        const char* word;
        bool passes;
    };
    const Case cases[] = {
        {"2.007", true},    {"4.03", true},     {"1.0000", true},  {"0.2500", true},  {"0.25", true},
        {"2.125", true},    {"5", true},        {"5.", true},      {".125", true},    {"100.100000", true},
        {"0.001", true},    {"0.0005", false},  {"0.0001", false}, {"1.2345", false}, {".0005", false},
        {"3.14159", false}, {"0.00050", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(has_at_most_three_decimals(c.word), c.passes);
    }
}

TEST(PrecisionRule, RefusedValueEndsTheRun) {
    EXPECT_EXIT(check_precision("0.0005", "resolution"), testing::ExitedWithCode(255), "");
    EXPECT_EXIT(check_precision("1.2345", "buffer"), testing::ExitedWithCode(255), "");
    check_precision("2.007", "resolution");
    check_precision("4.03", "buffer");
}

TEST(FlagScan, CountsPositionsAndWordsTaken) {
    struct Case {
        std::vector<std::string> words;
        Flags expected;
        std::uint16_t taken;
    };
    const Case cases[] = {
        {{"list.asc", "T", "100"}, {0, 0, 0, 0, 0, 0}, 0},
        {{"list.asc", "T", "100", "-s"}, {0, 0, 0, 0, 1, 4}, 1},
        {{"list.asc", "T", "100", "-r", "1", "-b", "5", "-s"}, {1, 4, 1, 6, 1, 8}, 5},
        {{"list.asc", "T", "100", "-s", "-b", "5", "-r", "1"}, {1, 7, 1, 5, 1, 4}, 5},
        // "-s" standing as the value of "-r" is still a flag of its own.
        {{"list.asc", "T", "100", "-r", "-s", "5"}, {1, 4, 0, 0, 1, 5}, 3},
        // Only whole, case-sensitive words are flags.
        {{"list.asc", "T", "100", "-R", "-rx", "r", "--s", "-"}, {0, 0, 0, 0, 0, 0}, 0},
        // A value flag as the last word still counts two words.
        {{"list.asc", "T", "100", "x", "-r"}, {1, 5, 0, 0, 0, 0}, 2},
    };
    for (const Case& c : cases) {
        Argv a(c.words);
        SCOPED_TRACE(testing::PrintToString(c.words));
        Flags f{9, 9, 9, 9, 9, 9};
        EXPECT_EQ(Find_Flag_Args(a.argc(), a.argv(), f), c.taken);
        EXPECT_EQ(f.r_cnt, c.expected.r_cnt);
        EXPECT_EQ(f.r_pos, c.expected.r_pos);
        EXPECT_EQ(f.b_cnt, c.expected.b_cnt);
        EXPECT_EQ(f.b_pos, c.expected.b_pos);
        EXPECT_EQ(f.s_cnt, c.expected.s_cnt);
        EXPECT_EQ(f.s_pos, c.expected.s_pos);
    }
}

TEST(FlagScan, RepeatedOrMisplacedFlagEndsTheRun) {
    const std::vector<std::vector<std::string>> cases = {
        {"list.asc", "T", "100", "-s", "-s"},
        {"list.asc", "T", "100", "-r", "1", "-r", "2"},
        {"list.asc", "T", "100", "-b", "1", "-b", "2"},
        {"-s", "T", "100"},
        {"list.asc", "-r", "100", "5"},
        {"list.asc", "T", "-b", "5"},
    };
    for (const auto& words : cases) {
        SCOPED_TRACE(testing::PrintToString(words));
        EXPECT_EXIT(
            {
                Argv a(words);
                Flags f;
                Find_Flag_Args(a.argc(), a.argv(), f);
            },
            testing::ExitedWithCode(255), "");
    }
}

// Far more words than a 16-bit position holds: positions and counts must not
// wrap around into the range of the positional arguments or back to one.
TEST(FlagScan, PositionsAndCountsBeyondSixteenBitsSaturate) {
    std::vector<std::string> words = {"list.asc", "T", "100"};
    words.resize(65536, "x");  // with the program name, the next word has index 65537
    words.push_back("-s");     // and 65537 would wrap to 1
    Argv a(words);
    Flags f;
    const std::uint16_t taken = Find_Flag_Args(a.argc(), a.argv(), f);
    EXPECT_EQ(taken, 1);
    EXPECT_EQ(f.s_cnt, 1);
    EXPECT_EQ(f.s_pos, 65535);

    std::vector<std::string> many_r = {"list.asc", "T", "100"};
    many_r.resize(3 + 65537, "-r");  // 65537 words "-r" would wrap the count to 1
    EXPECT_EXIT(
        {
            Argv b(many_r);
            Flags g;
            Find_Flag_Args(b.argc(), b.argv(), g);
        },
        testing::ExitedWithCode(255), "");
}

}  // namespace
