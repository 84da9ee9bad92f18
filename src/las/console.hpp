// Failure reporting shared by every stage: one message on standard output
// where the failure is found, then the process ends with status -1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace tessaro {

// Prints the printf-style message and ends the process with status -1 (255).
[[noreturn]] void fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Prints `message` followed by a line end and ends the process with status -1.
[[noreturn]] void fail_line(const char* message);

// What fail() does before it prints its message: a stage that would leave
// files no reader can use if the run ended in its midst sets a cleanup while
// it runs, and clears it (null) when it is done. The cleanup runs once, with
// `context`; it must not call fail() nor throw.
using FailCleanup = void (*)(void* context);
void set_fail_cleanup(FailCleanup cleanup, void* context);

// Closes a stdio stream when its owner goes out of scope; used for files whose
// close result does not matter (read-only inputs).
struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

inline FilePtr open_file(const char* name, const char* mode) {
    return FilePtr(std::fopen(name, mode));
}

// Reads all `n` bytes at `pos` of the open file `fd`, whatever its position;
// false when the file ends first or a read fails.
bool read_at(int fd, unsigned char* out, std::size_t n, std::uint64_t pos);

// Owner of a C library's handle: `Release`, the library's close or destroy
// call, runs when the owner goes out of scope; what it returns is not looked
// at, so handles whose close can fail with data at stake are closed by hand.
template <typename T, auto Release>
struct HandleReleaser {
    void operator()(T* handle) const noexcept { Release(handle); }
};
template <typename T, auto Release>
using Handle = std::unique_ptr<T, HandleReleaser<T, Release>>;

}  // namespace tessaro
