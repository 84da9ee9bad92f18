#include "run_binary.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tessaro::test {
namespace {

// The emulator of a build for another processor; none in a native build.
constexpr const char* kEmulator[] = {TESSARO_EMULATOR_WORDS nullptr};

}  // namespace

std::vector<std::string> program_command(const std::string& program, bool of_this_build) {
    std::vector<std::string> words;
    if (of_this_build || program.starts_with(TESSARO_BINARY_DIR "/"))
        for (const char* const* w = kEmulator; *w != nullptr; ++w) words.emplace_back(*w);
    words.push_back(program);
    return words;
}

std::string shell_command(const std::string& program) {
    std::string command;
    for (const std::string& word : program_command(program))
        command += (command.empty() ? "'" : " '") + word + "'";
    return command;
}

RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::string& directory, int timeout_seconds) {
    return run_program(program, args, directory, timeout_seconds, RunHooks{});
}

RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::string& directory, int timeout_seconds, const RunHooks& hooks) {
    int out_pipe[2];
    int err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
    // A failure here only makes the margin smaller; the tests do not need it.
    if (hooks.small_pipe) fcntl(out_pipe[1], F_SETPIPE_SZ, 4096);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(out_pipe[1], STDOUT_FILENO);
        dup2(err_pipe[1], STDERR_FILENO);
        close(out_pipe[0]);
        close(out_pipe[1]);
        close(err_pipe[0]);
        close(err_pipe[1]);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, STDIN_FILENO);
        if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(127);
        if (hooks.before_exec) hooks.before_exec();
        std::vector<std::string> words = program_command(program, hooks.of_this_build);
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    RunResult result;
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    int open_fds = 2;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    bool timed_out = false;
    bool watching = static_cast<bool>(hooks.watch);
    char buf[65536];
    while (open_fds > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        if (left <= 0) {
            timed_out = true;
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 2, static_cast<int>(left)) < 0) continue;
        for (int k = 0; k < 2; ++k) {
            if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = read(fds[k].fd, buf, sizeof buf);
            if (n <= 0) {
                close(fds[k].fd);
                fds[k].fd = -1;
                --open_fds;
            } else {
                (k == 0 ? result.output : result.errors).append(buf, static_cast<std::size_t>(n));
                if (k == 0 && watching && hooks.watch(result.output)) watching = false;
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0) close(f.fd);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    if (WIFEXITED(wstatus)) {
        result.status = WEXITSTATUS(wstatus);
    } else if (WIFSIGNALED(wstatus)) {
        result.signal = WTERMSIG(wstatus);
    }
    if (timed_out) result.errors += "\n[timed out]\n";
    return result;
}

RunResult run_tessaro(const std::vector<std::string>& args, const std::string& directory) {
    return run_program(TESSARO_BIN, args, directory);
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessaro-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Restore permissions that a test may have taken away, so removal works.
    for (auto it = std::filesystem::recursive_directory_iterator(
             path, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec)) chmod(it->path().c_str(), 0755);
    }
    chmod(path.c_str(), 0755);
    std::filesystem::remove_all(path, ec);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path);
}

bool file_exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string banner() {
    return "\nHalvorn LiDAR Utilities"
           "\n\nTessaro: cuts LAS surveys into square tiles"
           "\nPart of the Tessaro open LiDAR tools project"
           "\nSources and issues: see the project README"
           "\n\n** No warranty regarding script behavior is given or implied **"
           "\n** Acknowledging the author's efforts ensures script updates and availability **\n";
}

std::string usage_text() {
    return "\nUsage:\n"
           "Tessaro.exe <LAS_List (.asc)> <Tessaro_Prefix> <TileSize (length of side)>\n"
           "             -r Raster_Resolution [Optional]\n"
           "             -b Buffer_Size [Optional]\n"
           "             -s [Optional; Saves tile info to a .dbf file]\n\n";
}

}  // namespace tessaro::test
