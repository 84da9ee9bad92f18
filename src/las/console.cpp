#include "console.hpp"

#include <unistd.h>

#include <cerrno>
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

bool read_at(int fd, unsigned char* out, std::size_t n, std::uint64_t pos) {
    while (n > 0) {
        const ssize_t got = pread(fd, out, n, static_cast<off_t>(pos));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        n -= static_cast<std::size_t>(got);
        pos += static_cast<std::uint64_t>(got);
    }
    return true;
}

void fail_line(const char* message) {
    fail("%s\n", message);
}

}  // namespace tessaro
