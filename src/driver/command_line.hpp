// The command line: flag scan, value checks, usage text.
#pragma once

#include <cstdint>

namespace tessaro {

// Counts and word positions of the flags "-r", "-b" and "-s".
struct Flags {
    std::uint16_t r_cnt;
    std::uint16_t r_pos;
    std::uint16_t b_cnt;
    std::uint16_t b_pos;
    std::uint16_t s_cnt;
    std::uint16_t s_pos;
};

// Fills `FlagInit` and returns the number of words the flags take; ends the run
// on a repeated flag or a flag in place of a positional argument.
std::uint16_t Find_Flag_Args(int argc, char** argv, Flags& FlagInit);

// Checks the value words of "-r" and "-b"; returns only if both are acceptable.
void check_Flag_Args(int argc, char** argv, const Flags& FlagInit);

// Ends the run unless `str` is an unsigned decimal number.
void check_nonzero_argument(const char* str);

// True when the decimal text of a number word has at most three significant
// digits after its point (trailing zeros do not count).
bool has_at_most_three_decimals(const char* word);

// Ends the run unless the value word of "-r" ("resolution") or "-b" has at most
// three decimals.
void check_precision(const char* word, const char* what);

void usage();

}  // namespace tessaro
