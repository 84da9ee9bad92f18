// Reading the names of a list file: whitespace-separated tokens of any length.
#pragma once

#include <cstdio>
#include <string>

namespace tessaro {

// Reads the next whitespace-free token into `token`; false when none is left.
// A read error of the list file ends the run with a message.
bool read_token(std::FILE* list, std::string& token);

// Rewinds the list file to its first token.
void rewind_list(std::FILE* list);

}  // namespace tessaro
