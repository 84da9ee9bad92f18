#include "shapes_checks.hpp"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "run_binary.hpp"

namespace tessaro::test {
namespace {

std::string find_in_path(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

bool starts_with(const std::string& text, const std::string& start) {
    return text.rfind(start, 0) == 0;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// Runs ogrinfo; returns its output, or sets `problem`.
std::string run_ogrinfo(const std::vector<std::string>& args, std::string& problem) {
    static const std::string ogrinfo = find_in_path("ogrinfo");
    if (ogrinfo.empty()) {
        problem = "ogrinfo not found in PATH: install GDAL's command-line tools (Debian: gdal-bin)";
        return {};
    }
    const RunResult r = run_program(ogrinfo, args);
    std::string command = "ogrinfo";
    for (const auto& a : args) command += " " + a;
    if (r.status != 0) problem += command + " ended with status " + std::to_string(r.status) + "\n";
    if (!r.errors.empty()) problem += command + " wrote to standard error:\n" + r.errors;
    for (const auto& line : lines_of(r.output))
        if (starts_with(line, "Warning") || starts_with(line, "ERROR"))
            problem += command + ": " + line + "\n";
    if (!problem.empty()) problem += "output:\n" + r.output;
    return r.output;
}

// The layer summary lines of `ogrinfo -al -so`: geometry, count, extent and,
// after the SRS block (its axis mapping line ends a known system), one
// "name: Type (width.precision)" line per field.
void parse_summary(const std::string& text, OgrLayer& layer) {
    bool in_fields = false;
    for (const auto& line : lines_of(text)) {
        if (starts_with(line, "Geometry: ")) {
            layer.geometry = line.substr(10);
        } else if (starts_with(line, "Feature Count: ")) {
            layer.feature_count = std::stol(line.substr(15));
        } else if (starts_with(line, "Extent: ")) {
            layer.extent = line.substr(8);
        } else if (starts_with(line, "Layer SRS WKT:")) {
            in_fields = false;
        } else if (starts_with(line, "    ID[\"")) {
            // The identifier of the system itself: the one ID at the first
            // level of indentation, as in `    ID["EPSG",32633]]`.
            const std::size_t comma = line.find("\",");
            const std::size_t end = line.find(']');
            if (comma != std::string::npos && end != std::string::npos && end > comma)
                layer.srs_id = line.substr(8, comma - 8) + ":" + line.substr(comma + 2, end - comma - 2);
        } else if (line == "(unknown)" || starts_with(line, "Data axis to CRS axis mapping:")) {
            in_fields = true;
        } else if (in_fields && !line.empty() && line[0] != ' ') {
            layer.fields.push_back(line);
        }
    }
}

// The features of `ogrinfo -al`: an "OGRFeature(layer):N" line, indented
// attribute lines "name (Type) = value", and an indented geometry line.
void parse_features(const std::string& text, OgrLayer& layer) {
    for (const auto& line : lines_of(text)) {
        if (starts_with(line, "OGRFeature(")) {
            layer.features.emplace_back();
        } else if (!layer.features.empty() && starts_with(line, "  ")) {
            const std::string item = line.substr(2);
            if (item.find(" = ") != std::string::npos)
                layer.features.back().attributes.push_back(item);
            else
                layer.features.back().geometry = item;
        }
    }
}

}  // namespace

OgrLayer read_layer(const std::string& path) {
    OgrLayer layer;
    const std::string summary = run_ogrinfo({"-al", "-so", path}, layer.problem);
    if (!layer.problem.empty()) return layer;
    const std::string features = run_ogrinfo({"-al", path}, layer.problem);
    if (!layer.problem.empty()) return layer;
    parse_summary(summary, layer);
    parse_features(features, layer);
    return layer;
}

ChildResult run_in_child(const std::function<void()>& body, long file_size_limit) {
    ChildResult result;
    int out_pipe[2];
    if (pipe(out_pipe) != 0) return result;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return result;
    if (pid == 0) {
        close(out_pipe[0]);
        dup2(out_pipe[1], STDOUT_FILENO);
        close(out_pipe[1]);
        if (file_size_limit > 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(file_size_limit), static_cast<rlim_t>(file_size_limit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        body();
        std::fflush(stdout);
        _exit(0);
    }
    close(out_pipe[1]);
    char buf[4096];
    ssize_t n;
    while ((n = read(out_pipe[0], buf, sizeof buf)) > 0)
        result.output.append(buf, static_cast<std::size_t>(n));
    close(out_pipe[0]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) result.signal = WTERMSIG(wstatus);
    return result;
}

void drop_root() {
    if (geteuid() != 0) return;
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
}

std::vector<std::string> directory_entries(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tessaro::test
