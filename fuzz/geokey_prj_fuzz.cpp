// libFuzzer target over the projection file: the input is the coordinate
// system records of one file (layout in fuzz/geokey_input.hpp), which go
// through libgeotiff and PROJ to the ESRI WKT of the .prj. Checks, besides
// the sanitizers' own:
//  - a file that names a system gives either a WKT text or the reason it has
//    none, never both and never neither; a file that names none gives
//    neither;
//  - the text is one line whose every bare value is a word or a plain
//    decimal (digits, at most one point, a leading minus), which parses to a
//    finite number;
//  - the same records give the same text, or the same reason, a second time;
//  - nothing is printed on standard output or standard error.
// Build and run with fuzz/build_and_run.sh.
#include <fcntl.h>
#include <sanitizer/common_interface_defs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "geokey_input.hpp"
#include "projection_file.hpp"

namespace {

// Standard error as libFuzzer and the sanitizers use it, and the file that
// stands in for it while an input runs.
int g_stderr = -1;
int g_capture = -1;
std::string g_capture_path;

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

bool plain_decimal(std::string_view value) {
    if (!value.empty() && value.front() == '-') value.remove_prefix(1);
    std::size_t digits = 0, points = 0;
    for (const char c : value) {
        if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
            ++digits;
        } else if (c == '.') {
            ++points;
        } else {
            return false;
        }
    }
    return digits > 0 && points <= 1 && value.front() != '.' && value.back() != '.';
}

// A value that starts like a number (or like "inf" or "nan") must be a
// plain decimal; keywords open a node and are not values.
void check_values(const std::string& wkt) {
    constexpr std::string_view kDelimiters = "\"[](),";
    bool quoted = false;
    for (std::size_t at = 0; at < wkt.size();) {
        const char c = wkt[at];
        if (c == '\n' || c == '\r') broken("a line end in the WKT");
        if (quoted || kDelimiters.find(c) != std::string_view::npos) {
            if (c == '"') quoted = !quoted;
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < wkt.size() && kDelimiters.find(wkt[end]) == std::string_view::npos) ++end;
        const std::string_view token(wkt.data() + at, end - at);
        at = end;
        if (end < wkt.size() && wkt[end] == '[') continue;
        std::string lower;
        for (const char t : token) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(t)));
        const bool numeric = std::isdigit(static_cast<unsigned char>(lower[0])) != 0 || lower[0] == '-' ||
                             lower[0] == '+' || lower[0] == '.' || lower.starts_with("inf") ||
                             lower.starts_with("nan");
        if (numeric && !plain_decimal(token)) broken("a number that is not a plain decimal");
    }
    if (quoted) broken("an open quote in the WKT");
}

}  // namespace

// What the code under test writes on standard error while `body` runs; the
// sanitizers keep reporting on the real one.
template <typename Body>
std::string stderr_of(Body body) {
    if (ftruncate(g_capture, 0) != 0 || lseek(g_capture, 0, SEEK_SET) != 0) std::abort();
    if (dup2(g_capture, STDERR_FILENO) < 0) std::abort();
    body();
    std::fflush(stderr);
    if (dup2(g_stderr, STDERR_FILENO) < 0) std::abort();
    struct stat st {};
    if (fstat(g_capture, &st) != 0) std::abort();
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    if (!text.empty() && pread(g_capture, text.data(), text.size(), 0) < 0) std::abort();
    return text;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_stderr = dup(STDERR_FILENO);
    if (g_stderr < 0) std::abort();
    // The sanitizers take the descriptor in a pointer.
    __sanitizer_set_report_fd(
        reinterpret_cast<void*>(static_cast<std::intptr_t>(g_stderr)));  // NOLINT(performance-no-int-to-ptr)
    const char* dir = std::getenv("TMPDIR");
    g_capture_path = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/tessaro-geokey-fuzz-" +
                     std::to_string(static_cast<long>(getpid()));
    g_capture = open(g_capture_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (g_capture < 0) std::abort();
    std::atexit([] { unlink(g_capture_path.c_str()); });
    // Standard output goes to the same file: nothing may be printed there
    // either.
    if (std::fflush(stdout) != 0 || dup2(g_capture, STDOUT_FILENO) < 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tessaro::CrsName name = tessaro::fuzz::crs_name_of(data, size);
    tessaro::SurveyCrs survey;
    tessaro::add_file_crs(survey, name);
    tessaro::SurveyProjection first;
    tessaro::SurveyProjection second;
    const std::string printed = stderr_of([&] {
        first = tessaro::survey_projection(survey);
        second = tessaro::survey_projection(survey);
        std::fflush(stdout);
    });
    if (!printed.empty()) {
        std::fprintf(stderr, "%s", printed.c_str());
        broken("output on standard output or standard error");
    }
    const bool fault = first.fault != tessaro::CrsFault::none;
    if (!name.names_something() && (fault || !first.wkt.empty()))
        broken("a result for a file naming nothing");
    if (name.names_something() && fault == !first.wkt.empty()) broken("WKT and reason together or neither");
    if (!first.wkt.empty()) check_values(first.wkt);
    if (second.wkt != first.wkt || second.fault != first.fault) broken("another result the second time");
    return 0;
}
