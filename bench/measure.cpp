// Runs one command and reports its wall time, the peak resident memory of the
// child and its processor time: "<wall s> <peak KiB> <user s> <system s>" on
// the last line of standard error, or to the file named by -o. The command's own output goes where the
// launcher's goes unless -q sends it to /dev/null.
//
//   tessaro_measure [-q] [-o FILE] -- command [args...]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

double now_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

int usage() {
    std::fprintf(stderr, "Usage: tessaro_measure [-q] [-o FILE] -- command [args...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool quiet = false;
    std::string out_file;
    int k = 1;
    for (; k < argc; ++k) {
        const std::string a = argv[k];
        if (a == "--") {
            ++k;
            break;
        }
        if (a == "-q") {
            quiet = true;
        } else if (a == "-o" && k + 1 < argc) {
            out_file = argv[++k];
        } else {
            return usage();
        }
    }
    if (k >= argc) return usage();

    const double start = now_seconds();
    const pid_t pid = fork();
    if (pid < 0) {
        std::fprintf(stderr, "tessaro_measure: fork: %s\n", std::strerror(errno));
        return 2;
    }
    if (pid == 0) {
        if (quiet) {
            const int fd = open("/dev/null", O_WRONLY);
            if (fd >= 0) {
                dup2(fd, STDOUT_FILENO);
                close(fd);
            }
        }
        execvp(argv[k], argv + k);
        std::fprintf(stderr, "tessaro_measure: cannot run %s: %s\n", argv[k], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            std::fprintf(stderr, "tessaro_measure: waitpid: %s\n", std::strerror(errno));
            return 2;
        }
    }
    const double wall = now_seconds() - start;
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);  // ru_maxrss: peak resident set of the child, KiB

    const auto seconds = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 1e-6;
    };
    char line[160];
    std::snprintf(line, sizeof line, "%.6f %ld %.6f %.6f\n", wall, static_cast<long>(ru.ru_maxrss),
                  seconds(ru.ru_utime), seconds(ru.ru_stime));
    if (out_file.empty()) {
        std::fputs(line, stderr);
    } else {
        std::FILE* f = std::fopen(out_file.c_str(), "w");
        if (!f || std::fputs(line, f) < 0 || std::fclose(f) != 0) {
            std::fprintf(stderr, "tessaro_measure: cannot write %s\n", out_file.c_str());
            return 2;
        }
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
