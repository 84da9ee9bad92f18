#include "io_watch.hpp"

#include <cerrno>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "console.hpp"

namespace tessaro {
namespace {

// The first failure of the current watch. Only the first is kept: later
// failures usually follow from it.
struct IoFailure {
    bool failed = false;
    std::string file;
    std::string reason;
};

struct IoWatch {
    SAHooks plain{};    // shapelib's own stdio hooks, which do the work
    SAHooks watched{};  // the same hooks wrapped to record failures
    std::vector<std::pair<SAFile, std::string>> open_files;
    IoFailure failure;
};

IoWatch& watch() {
    static IoWatch w;
    return w;
}

std::string name_of(SAFile file) {
    for (const auto& [f, name] : watch().open_files)
        if (f == file) return name;
    return {};
}

// Records the failure; an allocation failure while recording ends the run.
void record(SAFile file, const char* reason) {
    IoWatch& w = watch();
    if (w.failure.failed) return;
    w.failure.failed = true;
    try {
        w.failure.file = name_of(file);
        w.failure.reason = reason;
    } catch (const std::bad_alloc&) {
        fail("Out of memory while reporting a failed write: %s\n", reason);
    }
}

SAFile watched_open(const char* filename, const char* access) {
    SAFile file = watch().plain.FOpen(filename, access);
    // A failed open is not recorded: shapelib tries other spellings of a name
    // and looks for optional files, and reports a missing file by returning
    // no handle, which its caller tests.
    if (file != nullptr) {
        try {
            watch().open_files.emplace_back(file, filename);
        } catch (const std::bad_alloc&) {
            fail("Out of memory while opening %s\n", filename);
        }
    }
    return file;
}

SAOffset watched_write(void* p, SAOffset size, SAOffset nmemb, SAFile file) {
    const SAOffset written = watch().plain.FWrite(p, size, nmemb, file);
    if (written != nmemb) record(file, std::strerror(errno));
    return written;
}

int watched_flush(SAFile file) {
    const int result = watch().plain.FFlush(file);
    if (result != 0) record(file, std::strerror(errno));
    return result;
}

int watched_close(SAFile file) {
    const int result = watch().plain.FClose(file);
    if (result != 0) record(file, std::strerror(errno));
    auto& files = watch().open_files;
    for (auto it = files.begin(); it != files.end(); ++it) {
        if (it->first == file) {
            files.erase(it);
            break;
        }
    }
    return result;
}

// shapelib reports its own failures (a header or record it could not write,
// a file it could not make sense of) through this hook; none of them is
// harmless for a file this program has just written.
void watched_error(const char* message) {
    record(nullptr, message);
}

}  // namespace

SAHooks* start_io_watch() {
    IoWatch& w = watch();
    SASetupDefaultHooks(&w.plain);
    w.watched = w.plain;
    w.watched.FOpen = watched_open;
    w.watched.FWrite = watched_write;
    w.watched.FFlush = watched_flush;
    w.watched.FClose = watched_close;
    w.watched.Error = watched_error;
    w.open_files.clear();
    w.failure = IoFailure{};
    return &w.watched;
}

void finish_io_watch(const std::string& name) {
    const IoFailure& f = watch().failure;
    if (!f.failed) return;
    const std::string& file = f.file.empty() ? name : f.file;
    fail("Failed to write %s: %s\n", file.c_str(), f.reason.c_str());
}

}  // namespace tessaro
