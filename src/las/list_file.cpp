#include "list_file.hpp"

#include <cctype>

#include "console.hpp"

namespace tessaro {

bool read_token(std::FILE* list, std::string& token) {
    token.clear();
    int c;
    while ((c = std::getc(list)) != EOF && std::isspace(c)) {
    }
    while (c != EOF && !std::isspace(c)) {
        token.push_back(static_cast<char>(c));
        c = std::getc(list);
    }
    if (std::ferror(list)) fail("\nRead error in the list file\n");
    return !token.empty();
}

void rewind_list(std::FILE* list) {
    // Every pass reads the list from its start; a stream that cannot go back
    // there would give a later pass no names at all.
    if (std::fseek(list, 0L, SEEK_SET) != 0) fail("\nCannot rewind the list file\n");
    std::clearerr(list);
}

}  // namespace tessaro
