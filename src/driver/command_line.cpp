#include "command_line.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console.hpp"

namespace tessaro {

namespace {

// Counts and positions are 16-bit fields; a command line of more words than
// that holds saturates them, so a position never wraps into the range of the
// positional words and a count of many flags never wraps back to one.
std::uint16_t saturate16(int value) {
    return static_cast<std::uint16_t>(value > 65535 ? 65535 : value);
}

}  // namespace

std::uint16_t Find_Flag_Args(int argc, char** argv, Flags& FlagInit) {
    int r_cnt = 0, b_cnt = 0, s_cnt = 0;
    int r_pos = 0, b_pos = 0, s_pos = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-r") == 0) {
            ++r_cnt;
            r_pos = i;
        }
        if (std::strcmp(argv[i], "-b") == 0) {
            ++b_cnt;
            b_pos = i;
        }
        if (std::strcmp(argv[i], "-s") == 0) {
            ++s_cnt;
            s_pos = i;
        }
    }
    FlagInit.r_cnt = saturate16(r_cnt);
    FlagInit.r_pos = saturate16(r_pos);
    FlagInit.b_cnt = saturate16(b_cnt);
    FlagInit.b_pos = saturate16(b_pos);
    FlagInit.s_cnt = saturate16(s_cnt);
    FlagInit.s_pos = saturate16(s_pos);
    if (FlagInit.r_cnt > 1) fail_line("\nMultiple instances of -r argument");
    if (FlagInit.b_cnt > 1) fail_line("\nMultiple instances of -b argument");
    if (FlagInit.s_cnt > 1) fail_line("\nMultiple instances of -s argument");
    auto misplaced = [](std::uint16_t pos) { return pos >= 1 && pos <= 3; };
    if (misplaced(FlagInit.r_pos) || misplaced(FlagInit.b_pos) || misplaced(FlagInit.s_pos)) {
        std::printf("\nInvalid sequence of arguments\n");
        usage();
        std::exit(-1);
    }
    return static_cast<std::uint16_t>(2 * FlagInit.r_cnt + 2 * FlagInit.b_cnt + FlagInit.s_cnt);
}

void check_nonzero_argument(const char* str) {
    int points = 0;
    bool valid = true;
    for (const char* c = str; *c != '\0'; ++c) {
        if (*c == '.')
            ++points;
        else if (*c < '0' || *c > '9')
            valid = false;
    }
    // A word of so many digits that its value overflows a double is no usable
    // number either: every later rule assumes a finite value.
    if (!valid || points > 1 || std::strcmp(str, ".") == 0 || !std::isfinite(std::atof(str)))
        fail("\nInvalid argument value (%s)\n", str);
}

namespace {

// The value word of a value flag, or the end of the run when the flag is the
// last word and so has none.
const char* value_word(int argc, char** argv, std::uint16_t flag_pos, const char* flag) {
    if (flag_pos + 1 >= argc) fail("\nMissing value after the %s argument\n", flag);
    return argv[flag_pos + 1];
}

}  // namespace

void check_Flag_Args(int argc, char** argv, const Flags& FlagInit) {
    if (FlagInit.r_cnt == 1) {
        const char* word = value_word(argc, argv, FlagInit.r_pos, "-r");
        check_nonzero_argument(word);
        if (std::atof(word) == 0.0) fail_line("\nResolution should be positive");
    }
    if (FlagInit.b_cnt == 1) {
        const char* word = value_word(argc, argv, FlagInit.b_pos, "-b");
        check_nonzero_argument(word);
        if (std::atof(word) == 0.0) fail_line("\nBuffer should be positive");
    }
}

bool has_at_most_three_decimals(const char* word) {
    const char* point = std::strchr(word, '.');
    if (point == nullptr) return true;
    std::size_t digits = std::strlen(point + 1);
    while (digits > 0 && point[digits] == '0') --digits;
    return digits <= 3;
}

void check_precision(const char* word, const char* what) {
    if (has_at_most_three_decimals(word)) return;
    std::printf("\nFinest acceptable %s precision is three digits. ", what);
    fail("You specified %f\n", std::atof(word));
}

void usage() {
    std::printf("\nUsage:\n");
    std::printf("Tessaro.exe <LAS_List (.asc)> <Tessaro_Prefix> <TileSize (length of side)>\n");
    std::printf("             -r Raster_Resolution [Optional]\n");
    std::printf("             -b Buffer_Size [Optional]\n");
    std::printf("             -s [Optional; Saves tile info to a .dbf file]\n\n");
}

}  // namespace tessaro
