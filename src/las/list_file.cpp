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
    std::rewind(list);
}

}  // namespace tessaro
