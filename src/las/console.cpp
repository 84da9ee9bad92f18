#include "console.hpp"

#include <cstdarg>
#include <cstdlib>

namespace tessaro {

void fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
    std::exit(-1);
}

void fail_line(const char* message) {
    fail("%s\n", message);
}

}  // namespace tessaro
