// Running the real binaries from tests: a child process with its standard
// output captured, and fresh temporary directories.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tessaro::test {

struct RunResult {
    int status = -1;     // exit status 0-255, or -1 when ended by a signal
    int signal = 0;      // the signal that ended the child, 0 if none
    std::string output;  // standard output
    std::string errors;  // standard error
};

// The words that start `program`: a program of this build runs under the
// build's emulator when the build is for another processor. A program
// outside the build directory is taken as one of this build when
// `of_this_build` says so (a copy of one).
std::vector<std::string> program_command(const std::string& program, bool of_this_build = false);

// The same words, each quoted for /bin/sh.
std::string shell_command(const std::string& program);

// Runs `program` with `args` in `directory` (empty: the current one), waits at
// most `timeout_seconds`, and returns what it printed and how it ended.
RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::string& directory = "", int timeout_seconds = 300);

// Hooks of a run for tests that inject faults while the child runs.
struct RunHooks {
    // Runs in the child after the change of directory, before exec.
    std::function<void()> before_exec;
    // Called with the whole output so far after each read; returns true once
    // it has done its work (it is not called again).
    std::function<bool(const std::string& output)> watch;
    // Gives the child's standard output a pipe of one page, so the child runs
    // at most that far ahead of what `watch` has seen.
    bool small_pipe = false;
    // The program is a copy of one of this build's programs, placed elsewhere.
    bool of_this_build = false;
};

RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::string& directory, int timeout_seconds, const RunHooks& hooks);

// Runs the tessaro binary.
RunResult run_tessaro(const std::vector<std::string>& args, const std::string& directory = "");

// A directory under the system's temporary directory, removed with its
// contents when the object is destroyed.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path;
    std::string file(const std::string& name) const { return path + "/" + name; }
};

// Whole content of a file as bytes; empty when it cannot be read.
std::string read_file(const std::string& path);

// Writes `content` to `path`, replacing it.
void write_file(const std::string& path, const std::string& content);

bool file_exists(const std::string& path);

// The banner every run after a sound flag scan starts with.
std::string banner();

// The usage text.
std::string usage_text();

}  // namespace tessaro::test
