#include "console.hpp"

#include <cstdarg>
#include <cstdlib>

namespace tessaro {
namespace {

FailCleanup fail_cleanup = nullptr;
void* fail_cleanup_context = nullptr;

}  // namespace

void set_fail_cleanup(FailCleanup cleanup, void* context) {
    fail_cleanup = cleanup;
    fail_cleanup_context = context;
}

void fail(const char* format, ...) {
    if (fail_cleanup != nullptr) {
        const FailCleanup cleanup = fail_cleanup;
        fail_cleanup = nullptr;
        cleanup(fail_cleanup_context);
    }
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
