// Injected faults, each end to end with the real binary: a file size limit,
// an output directory without write permission, an input that disappears or
// shrinks between the survey and the distribution, a tile file that cannot be
// reopened for its header rewrite, and a shapefile directory that cannot take
// new files. Every one must end with status 255 and one message naming the
// file, never with 0.
//
// Faults during a run are timed without clocks: the child's standard output
// is a pipe that this process reads, so the child cannot run further ahead of
// the last line read than the pipe and its own stdio buffer hold. Long listed
// names make the output between the trigger line and the moment the fault
// matters many times longer than that, so the fault is always in place first.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "conservation.hpp"
#include "run_binary.hpp"
#include "survey_writer.hpp"

using namespace tessaro;
using tessaro::test::RunResult;
using tessaro::test::TempDir;
using tessaro::test::write_file;
namespace fs = std::filesystem;

namespace {

// ---- a launcher with a hook in the child and a watcher of the output -------

// Every program launched is tessaro or a copy of it.
struct Launch {
    std::string program = TESSARO_BIN;
    std::vector<std::string> args;
    std::string directory;
    std::function<void()> before_exec;                     // see RunHooks
    std::function<bool(const std::string& output)> watch;  // see RunHooks
    int timeout_seconds = 300;
};

RunResult launch(const Launch& l) {
    return tessaro::test::run_program(l.program, l.args, l.directory, l.timeout_seconds,
                                      {l.before_exec, l.watch, true, true});
}

// ---- what every injected fault must give ------------------------------------

std::string last_line(const std::string& output) {
    std::string s = output;
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\r')) s.pop_back();
    return s.substr(s.rfind('\n') + 1);
}

// Whether `line` is `pattern`, where "<n>" in the pattern stands for one or
// more decimal digits.
bool matches(const std::string& line, const std::string& pattern) {
    std::size_t i = 0;
    std::size_t p = 0;
    while (p < pattern.size()) {
        if (pattern.compare(p, 3, "<n>") == 0) {
            const std::size_t start = i;
            while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
            if (i == start) return false;
            p += 3;
        } else {
            if (i >= line.size() || line[i] != pattern[p]) return false;
            ++i;
            ++p;
        }
    }
    return i == line.size();
}

// Status 255 with exactly one failure message, the last line, naming `file`.
void expect_one_failure_naming(const RunResult& r, const std::string& file, const std::string& message) {
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 255) << r.output;
    EXPECT_EQ(r.errors, "");
    EXPECT_EQ(r.output.find("Elapsed time"), std::string::npos);
    const std::string line = last_line(r.output);
    EXPECT_NE(line.find(file), std::string::npos) << "last line: " << line;
    EXPECT_TRUE(matches(line, message)) << "last line: " << line << "\nexpected: " << message;
    int failures = 0;
    std::size_t start = 0;
    while (start < r.output.size()) {
        const std::size_t end = std::min(r.output.find('\n', start), r.output.size());
        const std::string l = r.output.substr(start, end - start);
        for (const char* word : {"Failed", "Cannot", "Unable", "failed", "ends after", "has changed",
                                 "choose another", "removed or replaced"}) {
            if (l.find(word) != std::string::npos) {
                ++failures;
                break;
            }
        }
        start = end + 1;
    }
    EXPECT_EQ(failures, 1) << "one failure message expected:\n" << r.output;
}

// ---- surveys ------------------------------------------------------------------

// A regular grid of points, `step` apart, over [x0, x0 + side) x [y0, y0 + side),
// with a VLR of `vlr_bytes` payload bytes, in format 1 with scale 0.01.
void grid_las(const std::string& path, double x0, double y0, double side, double step,
              std::size_t vlr_bytes = 200, unsigned format = 1) {
    survey::LasFileSpec spec;
    spec.PointDataFormatID = static_cast<std::uint8_t>(format);
    spec.vlrs.push_back({"LASF_Spec", 3, "Test description", std::vector<unsigned char>(vlr_bytes, 'v')});
    std::vector<survey::PointRecord> points;
    for (double y = y0; y < y0 + side; y += step) {
        for (double x = x0; x < x0 + side; x += step) {
            survey::PointRecord p;
            p.X = static_cast<std::int32_t>(std::lround(x * 100));
            p.Y = static_cast<std::int32_t>(std::lround(y * 100));
            p.Z = 1000;
            p.bitfield = 1 | 1 << 3;
            points.push_back(p);
        }
    }
    survey::write_las_file(path, spec, points);
}

// A survey of overlapping strips with VLRs: list.txt and an empty "tiles".
void strip_survey(const TempDir& dir, unsigned long long points) {
    survey::SurveySpec spec;
    spec.directory = dir.path;
    spec.files = 3;
    spec.points = points;
    spec.with_vlrs = true;
    spec.list_name = "list.txt";
    survey::generate_survey(spec);
    write_file(dir.file("list.txt"), "strip_01.las\nstrip_02.las\nstrip_03.las\n");
    fs::create_directory(dir.file("tiles"));
}

verify::ConservationReport conservation(const TempDir& dir, const std::string& list,
                                        const std::string& prefix, double tile_size, double buffer = 0.0) {
    verify::ConservationRequest rq;
    rq.list_file = list;
    rq.tile_prefix = prefix;
    rq.tile_size = tile_size;
    rq.buffer = buffer;
    rq.directory = dir.path;
    return verify::check_conservation(rq);
}

// "./././.../name", about `length` characters: a long way to write a name.
std::string long_name(const std::string& name, std::size_t length = 3000) {
    std::string s;
    while (s.size() + 2 + name.size() <= length) s += "./";
    return s + name;
}

// ---- running without privileges -------------------------------------------

// As root, permission bits do not stop writes; the run then drops to the
// unprivileged user "nobody" so that they do. That user may be unable to
// reach the binary (a checkout under a home directory of mode 700): the run
// then starts a copy of it in a temporary directory. `available` is false,
// with the reason, when no unprivileged run is possible at all.
struct Unprivileged {
    bool root = geteuid() == 0;
    uid_t uid = 0;
    gid_t gid = 0;
    bool available = true;
    std::string reason;
    std::string program = TESSARO_BIN;
    std::string unbounded_program = TESSARO_UNBOUNDED_BIN;
    std::unique_ptr<TempDir> copy;

    Unprivileged() {
        if (!root) return;
        const passwd* pw = getpwnam("nobody");
        if (pw == nullptr) {
            refuse("no unprivileged user \"nobody\" to run as");
            return;
        }
        uid = pw->pw_uid;
        gid = pw->pw_gid;
        const int found = probe();
        if (found & cannot_change_identity) {
            refuse("root may not change its identity here");
        } else if (found & cannot_enter_temporary) {
            refuse("\"nobody\" cannot enter the temporary directory " + fs::temp_directory_path().string() +
                   " (set TMPDIR to one it can)");
        } else if (found & cannot_run_program) {
            copy = std::make_unique<TempDir>();
            chmod(copy->path.c_str(), 0755);
            program = copy->file("tessaro");
            fs::copy_file(TESSARO_BIN, program);
            chmod(program.c_str(), 0755);
            unbounded_program = copy->file("tessaro_unbounded");
            fs::copy_file(TESSARO_UNBOUNDED_BIN, unbounded_program);
            chmod(unbounded_program.c_str(), 0755);
        }
    }
    // In the child, before exec.
    std::function<void()> hook() const {
        if (!root) return {};
        const uid_t u = uid;
        const gid_t g = gid;
        return [u, g] {
            if (setgroups(0, nullptr) != 0 || setgid(g) != 0 || setuid(u) != 0) _exit(126);
        };
    }
    // Hands a file or directory to the user the run will be.
    void give(const std::string& path) const {
        if (root) {
            ASSERT_EQ(lchown(path.c_str(), uid, gid), 0) << path;
        }
    }

  private:
    static constexpr int cannot_change_identity = 1;
    static constexpr int cannot_enter_temporary = 2;
    static constexpr int cannot_run_program = 4;

    void refuse(std::string why) {
        available = false;
        reason = std::move(why);
    }
    // What keeps the user from running the binary on the tests' files, as
    // the bits above, found by a child that becomes the user.
    int probe() const {
        const std::string temporary = fs::temp_directory_path().string();
        const pid_t pid = fork();
        if (pid == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
                _exit(cannot_change_identity);
            int found = 0;
            if (access(temporary.c_str(), X_OK) != 0) found |= cannot_enter_temporary;
            if (access(TESSARO_BIN, X_OK) != 0) found |= cannot_run_program;
            _exit(found);
        }
        int status = 0;
        if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return cannot_change_identity;
        return WEXITSTATUS(status);
    }
};

// Makes `dir` and everything in it readable by the run's user.
void open_up(const TempDir& dir) {
    chmod(dir.path.c_str(), 0755);
    for (const auto& e : fs::recursive_directory_iterator(dir.path))
        if (!e.is_symlink()) chmod(e.path().c_str(), e.is_directory() ? 0755 : 0644);
}

// ---- 1. file size limit ------------------------------------------------------

// RLIMIT_FSIZE with SIGXFSZ ignored: a write past the limit fails with EFBIG.
std::function<void()> file_size_limit(rlim_t bytes) {
    return [bytes] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, bytes};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    };
}

TEST(FaultInjection, FileSizeLimitEndsTheRunAtTheTileItStops) {
    TempDir dir;
    strip_survey(dir, 30000);  // tiles of up to some 100 kB
    struct Case {
        const char* where;
        rlim_t limit;
    };
    // Limits inside the first tile's header, inside its VLRs, inside its
    // records, and part way through the larger tiles.
    const Case cases[] = {{"no byte at all", 0},
                          {"inside the header", 100},
                          {"inside the VLRs", 300},
                          {"inside the records", 5000},
                          {"part way", 60000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        fs::remove_all(dir.file("tiles"));
        fs::create_directory(dir.file("tiles"));
        Launch l;
        l.args = {"list.txt", "tiles/t_", "500", "-b", "20"};
        l.directory = dir.path;
        l.before_exec = file_size_limit(c.limit);
        const RunResult r = launch(l);
        expect_one_failure_naming(r, "tiles/t_R",
                                  "Failed to write to tile file tiles/t_R<n>C<n>.las: File too large");
    }
    // The same run under a limit above its largest tile completes and loses
    // nothing: the limit itself is no fault.
    fs::remove_all(dir.file("tiles"));
    fs::create_directory(dir.file("tiles"));
    Launch l;
    l.args = {"list.txt", "tiles/t_", "500", "-b", "20"};
    l.directory = dir.path;
    l.before_exec = file_size_limit(1 << 24);
    const RunResult r = launch(l);
    ASSERT_EQ(r.status, 0) << r.output;
    const verify::ConservationReport report = conservation(dir, "list.txt", "tiles/t_", 500, 20);
    EXPECT_TRUE(report.ok) << report.message;
    EXPECT_EQ(report.records, 30000u);
}

// Small tiles, but many of them: the tile index outgrows the limit.
TEST(FaultInjection, FileSizeLimitEndsTheRunAtTheTileIndexItStops) {
    TempDir dir;
    fs::create_directory(dir.file("tiles"));
    // Two small patches at opposite corners of a 2 km square: a grid of 200 x
    // 200 tiles of 10 m, of which only the patches' tiles hold records.
    grid_las(dir.file("sw.las"), 0, 0, 40, 5);
    grid_las(dir.file("ne.las"), 1960, 1960, 40, 5);
    write_file(dir.file("list.txt"), "sw.las\nne.las\n");
    struct Case {
        const char* what;
        std::vector<std::string> options;
        const char* file;  // the first index file the limit stops
    };
    const Case cases[] = {
        {"outline shapefile", {"-s"}, "tiles/t__Tiles.shp"},
        {"buffered outline shapefile first", {"-b", "2", "-s"}, "tiles/t__Tiles_w_buffer.shp"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Launch l;
        l.args = {"list.txt", "tiles/t_", "10"};
        l.args.insert(l.args.end(), c.options.begin(), c.options.end());
        l.directory = dir.path;
        l.before_exec = file_size_limit(1 << 20);  // tiles of a few kB; the outlines take 5 MB
        const RunResult r = launch(l);
        expect_one_failure_naming(r, c.file,
                                  std::string("Failed to write the outline of tile R<n>C<n> to ") + c.file);
    }
}

// ---- 2. output directory without write permission ----------------------------

TEST(FaultInjection, OutputDirectoryThatTakesNoFilesEndsTheRunAtTheFirstTile) {
    const Unprivileged nobody;
    if (!nobody.available) GTEST_SKIP() << nobody.reason;
    struct Case {
        const char* what;
        const char* prefix;
        void (*make)(const TempDir& dir);
    };
    const Case cases[] = {
        {"directory without write permission", "tiles/t_",
         [](const TempDir& d) { chmod(d.file("tiles").c_str(), 0555); }},
        {"directory that does not exist", "missing/t_", [](const TempDir&) {}},
        {"directory that is a regular file", "blocker/t_",
         [](const TempDir& d) { write_file(d.file("blocker"), "not a directory"); }},
        // A drop box takes files but cannot be listed; the input the list
        // also names as a tile must still be refused, before it is written.
        {"drop box that holds an input under a tile's name", "tiles/t_",
         [](const TempDir& d) {
             fs::create_hard_link(d.file("list.txt"), d.file("tiles/t_R1C1.las"));
             chmod(d.file("list.txt").c_str(), 0666);
             chmod(d.file("tiles").c_str(), 0333);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        strip_survey(dir, 3000);
        open_up(dir);
        c.make(dir);
        Launch l;
        l.args = {"list.txt", c.prefix, "500"};
        l.directory = dir.path;
        l.program = nobody.program;
        l.before_exec = nobody.hook();
        const RunResult r = launch(l);
        const std::string prefix = c.prefix;
        if (std::string(c.what).starts_with("drop box"))
            expect_one_failure_naming(r, "tiles/t_R1C1.las",
                                      "Tile file tiles/t_R1C1.las is the list file or a file named in it; "
                                      "choose another tile prefix");
        else
            expect_one_failure_naming(r, prefix + "R",
                                      "Failed to open file " + prefix + "R<n>C<n>.las for writing");
        EXPECT_EQ(r.output.find("Distributed to"), std::string::npos);
    }
    // A drop box that holds no input takes the whole run, checked tile by
    // tile as each is opened rather than over the whole grid: two points at
    // opposite corners of a 2,500 x 2,500 grid.
    TempDir dir;
    fs::create_directory(dir.file("tiles"));
    grid_las(dir.file("sw.las"), 0, 0, 1, 1);
    grid_las(dir.file("ne.las"), 2499.5, 2499.5, 1, 1);
    write_file(dir.file("list.txt"), "sw.las\nne.las\n");
    open_up(dir);
    chmod(dir.file("tiles").c_str(), 0333);
    Launch l;
    l.args = {"list.txt", "tiles/t_", "1"};
    l.directory = dir.path;
    l.program = nobody.program;
    l.before_exec = nobody.hook();
    const RunResult r = launch(l);
    ASSERT_EQ(r.status, 0) << r.output;
    chmod(dir.file("tiles").c_str(), 0755);
    EXPECT_TRUE(conservation(dir, "list.txt", "tiles/t_", 1, 0).ok);
}

// tessaro_unbounded makes the tiles of a large range as records reach them;
// in a drop box the tiles an earlier run left in that range are found by
// name, as the directory cannot be listed. Four corner points of a 30 x 30
// range, and leftovers inside it.
TEST(FaultInjection, DropBoxKeepsNoLeftoverOfAnEarlierRunInALargeRange) {
    const Unprivileged nobody;
    if (!nobody.available) GTEST_SKIP() << nobody.reason;
    TempDir dir;
    fs::create_directory(dir.file("tiles"));
    grid_las(dir.file("a.las"), 0, 0, 300, 299.5);
    // Listed 300 times: 300 ranges of 900 tiles, more names than a run looks
    // up, unless each tile is looked up once.
    std::string list;
    for (int k = 0; k < 300; ++k) list += "a.las\n";
    write_file(dir.file("list.txt"), list);
    const std::vector<std::string> leftovers = {"tiles/t_R15C15.las", "tiles/t_R01C02.las",
                                                "tiles/t_R30C29.las"};
    for (const std::string& name : leftovers) write_file(dir.file(name), "an earlier run's tile");
    open_up(dir);
    chmod(dir.file("tiles").c_str(), 0333);
    Launch l;
    l.args = {"list.txt", "tiles/t_", "10"};
    l.directory = dir.path;
    l.program = nobody.unbounded_program;
    l.before_exec = nobody.hook();
    const RunResult r = launch(l);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("Warning"), std::string::npos) << r.output.substr(r.output.find("Warning"), 200);
    chmod(dir.file("tiles").c_str(), 0755);
    for (const std::string& name : leftovers) EXPECT_FALSE(fs::exists(dir.file(name))) << name;
    verify::ConservationRequest rq;
    rq.list_file = "list.txt";
    rq.tile_prefix = "tiles/t_";
    rq.tile_size = 10;
    rq.directory = dir.path;
    rq.unbounded = true;
    const verify::ConservationReport report = verify::check_conservation(rq);
    EXPECT_TRUE(report.ok) << report.message;
}

// ---- 3. an input that disappears or shrinks ------------------------------------

// a.las (south-west) listed 40 times under long names, then b.las (north-east,
// tiles of its own). The fault is made to b.las when the first file's
// distribution begins; the long names keep the run far from b.las until then.
TEST(FaultInjection, InputThatChangesBeforeItsDistributionEndsTheRunNamingIt) {
    struct Case {
        const char* what;
        void (*fault)(const TempDir& dir);
        const char* message;
    };
    const Case cases[] = {
        {"removed", [](const TempDir& d) { fs::remove(d.file("b.las")); },
         "Cannot open b.las for point distribution to tiles"},
        {"cut inside its header", [](const TempDir& d) { fs::resize_file(d.file("b.las"), 100); },
         "File b.las has changed since it was validated"},
        {"cut inside its records",
         [](const TempDir& d) { fs::resize_file(d.file("b.las"), fs::file_size(d.file("b.las")) - 1000); },
         "File b.las has changed since it was validated"},
        // The same bytes in a new file under the old name.
        {"replaced by a copy of itself",
         [](const TempDir& d) {
             fs::copy_file(d.file("b.las"), d.file("b2.las"));
             fs::rename(d.file("b2.las"), d.file("b.las"));
         },
         "File b.las has changed since it was validated"},
        {"replaced by a file of another point format",
         [](const TempDir& d) { grid_las(d.file("b.las"), 1500, 1500, 100, 5, 200, 0); },
         "File b.las has changed since it was validated"},
        // Same format and length, but bounds that span far more tiles than
        // the span check saw.
        {"replaced by a file with wider bounds",
         [](const TempDir& d) { grid_las(d.file("b.las"), 0, 1500, 1600, 400); },
         "File b.las has changed since it was validated"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        fs::create_directory(dir.file("tiles"));
        grid_las(dir.file("a.las"), 0, 0, 100, 10);       // 100 points
        grid_las(dir.file("b.las"), 1500, 1500, 100, 5);  // 400 points
        std::string list;
        for (int k = 0; k < 40; ++k) list += long_name("a.las") + "\n";
        write_file(dir.file("list.txt"), list + "b.las\n");
        bool done = false;
        Launch l;
        l.args = {"list.txt", "tiles/t_", "100"};
        l.directory = dir.path;
        l.watch = [&](const std::string& out) {
            if (out.find("Processing ") == std::string::npos) return false;
            c.fault(dir);
            done = true;
            return true;
        };
        const RunResult r = launch(l);
        ASSERT_TRUE(done) << r.output;
        expect_one_failure_naming(r, "b.las", c.message);
        // Every copy of a.las was distributed before the fault showed.
        EXPECT_NE(r.output.find("(40 / 41)"), std::string::npos);
    }
}

// The list is read once: cut to its first name while the tiles are written,
// the run still distributes every file it checked.
TEST(FaultInjection, ListCutDuringTheRunStillDistributesEveryFileItChecked) {
    TempDir dir;
    fs::create_directory(dir.file("tiles"));
    grid_las(dir.file("a.las"), 0, 0, 100, 10);
    grid_las(dir.file("b.las"), 1500, 1500, 100, 5);
    std::string list;
    for (int k = 0; k < 40; ++k) list += long_name("a.las") + "\n";
    write_file(dir.file("list.txt"), list + "b.las\n");
    bool done = false;
    Launch l;
    l.args = {"list.txt", "tiles/t_", "100"};
    l.directory = dir.path;
    l.watch = [&](const std::string& out) {
        if (out.find("Processing ") == std::string::npos) return false;
        fs::resize_file(dir.file("list.txt"), 3000);
        done = true;
        return true;
    };
    const RunResult r = launch(l);
    ASSERT_TRUE(done) << r.output;
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Processing 400 returns in file b.las (41 / 41)"), std::string::npos) << r.output;
}

// ---- 4. a tile that cannot be reopened for its header rewrite -------------------

// The tile t_R1C1.las is made unusable after its records are written and
// before the headers are rewritten: a.las fills it, then c.las (elsewhere,
// listed 40 times under long names) keeps the run busy while it is swapped.
TEST(FaultInjection, TileThatCannotBeReopenedEndsTheHeaderRewriteNamingIt) {
    struct Case {
        const char* what;
        void (*fault)(const std::string& tile);
        const char* reason;
    };
    const Case cases[] = {
        {"replaced by a directory",
         [](const std::string& t) {
             fs::remove(t);
             fs::create_directory(t);
         },
         "Is a directory"},
        {"replaced by a dangling link",
         [](const std::string& t) {
             fs::remove(t);
             fs::create_symlink("gone.las", t);
         },
         "No such file or directory"},
        // Not the file the run wrote, though it holds the same bytes.
        {"replaced by a copy of itself",
         [](const std::string& t) {
             fs::copy_file(t, t + ".copy");
             fs::rename(t + ".copy", t);
         },
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        fs::create_directory(dir.file("tiles"));
        grid_las(dir.file("a.las"), 0, 0, 100, 10);
        grid_las(dir.file("c.las"), 1500, 1500, 100, 10);
        std::string list = "a.las\n";
        for (int k = 0; k < 40; ++k) list += long_name("c.las") + "\n";
        write_file(dir.file("list.txt"), list);
        const std::string tile = dir.file("tiles/t_R01C01.las");
        bool done = false;
        Launch l;
        l.args = {"list.txt", "tiles/t_", "100"};
        l.directory = dir.path;
        l.watch = [&](const std::string& out) {
            if (out.find("tiles/t_R01C01.las ( 100 returns )\n") == std::string::npos) return false;
            c.fault(tile);
            done = true;
            return true;
        };
        const RunResult r = launch(l);
        ASSERT_TRUE(done) << r.output;
        expect_one_failure_naming(
            r, "tiles/t_R01C01.las",
            c.reason
                ? std::string("Cannot open tile file tiles/t_R01C01.las to rewrite its header: ") + c.reason
                : std::string(
                      "Tile file tiles/t_R01C01.las was removed or replaced while this run wrote it"));
        EXPECT_NE(r.output.find("(41 / 41)"), std::string::npos);
    }
}

// A tile whose descriptor the run closed (at most 24 open here, for the 81
// tiles of a.las) is removed or replaced before its records are written at
// the end of the run: the reopen finds another file, or none.
TEST(FaultInjection, TileReplacedWhileItsFileIsClosedEndsTheRunNamingIt) {
    struct Case {
        const char* what;
        void (*fault)(const std::string& tile);
    };
    const Case cases[] = {
        {"removed", [](const std::string& t) { fs::remove(t); }},
        {"replaced by an empty file",
         [](const std::string& t) {
             fs::remove(t);
             write_file(t, "");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        fs::create_directory(dir.file("tiles"));
        grid_las(dir.file("a.las"), 0, 0, 900, 10);
        grid_las(dir.file("c.las"), 1500, 1500, 100, 10);
        std::string list = "a.las\n";
        for (int k = 0; k < 40; ++k) list += long_name("c.las") + "\n";
        write_file(dir.file("list.txt"), list);
        const std::string tile = "tiles/t_R01C01.las";
        bool done = false;
        Launch l;
        l.args = {"list.txt", "tiles/t_", "100"};
        l.directory = dir.path;
        l.before_exec = [] {
            const rlimit limit{40, 40};
            if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(126);
        };
        l.watch = [&](const std::string& out) {
            if (out.find(tile + " ( 100 returns )\n") == std::string::npos) return false;
            c.fault(dir.file(tile));
            done = true;
            return true;
        };
        const RunResult r = launch(l);
        ASSERT_TRUE(done) << r.output;
        expect_one_failure_naming(r, tile,
                                  "Tile file " + tile + " was removed or replaced while this run wrote it");
    }
}

// Without any timing: a tile file the run may write but not read. Creating
// ("wb") and appending ("ab") need write permission only; the rewrite ("r+b")
// needs read permission too.
TEST(FaultInjection, TileThatCannotBeReadBackEndsTheHeaderRewriteNamingIt) {
    const Unprivileged nobody;
    if (!nobody.available) GTEST_SKIP() << nobody.reason;
    TempDir dir;
    fs::create_directory(dir.file("tiles"));
    // One file filling a 4 x 4 grid: each tile is opened once and none is
    // removed as empty. The last tile is made unreadable, so the rewrite of
    // the fifteen before it has succeeded when it fails.
    grid_las(dir.file("a.las"), 0, 0, 400, 5);
    write_file(dir.file("list.txt"), "a.las\n");
    const std::string victim = "tiles/t_R4C4.las";
    open_up(dir);
    chmod(dir.file("tiles").c_str(), 0777);
    write_file(dir.file(victim), "");
    nobody.give(dir.file(victim));
    chmod(dir.file(victim).c_str(), 0200);
    Launch l;
    l.args = {"list.txt", "tiles/t_", "100"};
    l.directory = dir.path;
    l.program = nobody.program;
    l.before_exec = nobody.hook();
    const RunResult r = launch(l);
    expect_one_failure_naming(
        r, victim, "Cannot open tile file " + victim + " to rewrite its header: Permission denied");
    EXPECT_NE(r.output.find(victim + " ( 400 returns )"), std::string::npos) << r.output;
}

// ---- 5. a shapefile directory that cannot take new files -----------------------

// One file whose points fill its bounds, so that every tile of its range gets
// records and the run removes no empty tile: once its tile files exist, the
// run needs the directory's write permission only for the tile index.
TEST(FaultInjection, ShapefileDirectoryWithoutWritePermissionEndsTheRunNamingTheFile) {
    const Unprivileged nobody;
    if (!nobody.available) GTEST_SKIP() << nobody.reason;
    struct Case {
        const char* what;
        std::vector<std::string> options;
        const char* file;
        const char* message;
    };
    const Case cases[] = {
        {"outline shapefile", {"-s"}, "tiles/t__Tiles.shp", "Unable to create: tiles/t__Tiles.shp"},
        {"buffered outline shapefile first",
         {"-b", "5", "-s"},
         "tiles/t__Tiles_w_buffer.shp",
         "Unable to create: tiles/t__Tiles_w_buffer.shp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        fs::create_directory(dir.file("tiles"));
        grid_las(dir.file("a.las"), 0, 0, 400, 5);
        write_file(dir.file("list.txt"), "a.las\n");
        std::vector<std::string> args = {"list.txt", "tiles/t_", "100"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        // A first, normal run leaves the tile files; its tile index goes.
        const RunResult first = test::run_tessaro(args, dir.path);
        ASSERT_EQ(first.status, 0) << first.output;
        for (const auto& e : fs::directory_iterator(dir.file("tiles")))
            if (e.path().extension() != ".las") fs::remove(e.path());
        open_up(dir);
        for (const auto& e : fs::directory_iterator(dir.file("tiles"))) nobody.give(e.path().string());
        chmod(dir.file("tiles").c_str(), 0555);
        Launch l;
        l.args = args;
        l.directory = dir.path;
        l.program = nobody.program;
        l.before_exec = nobody.hook();
        const RunResult r = launch(l);
        expect_one_failure_naming(r, c.file, c.message);
        // The tiles themselves were written and finalised before the index.
        EXPECT_NE(r.output.find("Saving tile extent to shapefile"), std::string::npos);
        chmod(dir.file("tiles").c_str(), 0755);
        EXPECT_TRUE(conservation(dir, "list.txt", "tiles/t_", 100, c.options.size() == 3 ? 5 : 0).ok);
    }
}

// The same without any permission: each file of the tile index in turn has a
// directory in its place.
TEST(FaultInjection, ShapefileThatCannotBeCreatedEndsTheRunNamingIt) {
    struct Case {
        const char* blocked;  // made a directory
        const char* named;    // the file the message names
        const char* message;  // the message, as a pattern
    };
    const Case cases[] = {
        {"tiles/t__Tiles_w_buffer.shp", "tiles/t__Tiles_w_buffer.shp",
         "Unable to create: tiles/t__Tiles_w_buffer.shp"},
        {"tiles/t__Tiles.shp", "tiles/t__Tiles.shp", "Unable to create: tiles/t__Tiles.shp"},
        // shapelib creates the index with the shapefile and names neither.
        {"tiles/t__Tiles.shx", "tiles/t__Tiles.shp", "Unable to create: tiles/t__Tiles.shp"},
        {"tiles/t__Tiles.dbf", "tiles/t__Tiles.dbf", "DBFCreate(tiles/t__Tiles.dbf) failed."},
        {"tiles/t__TileCoords.dbf", "tiles/t__TileCoords.dbf", "DBFCreate(tiles/t__TileCoords.dbf) failed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.blocked);
        TempDir dir;
        fs::create_directory(dir.file("tiles"));
        grid_las(dir.file("a.las"), 0, 0, 400, 5);
        write_file(dir.file("list.txt"), "a.las\n");
        fs::create_directory(dir.file(c.blocked));
        Launch l;
        l.args = {"list.txt", "tiles/t_", "100", "-b", "5", "-s"};
        l.directory = dir.path;
        expect_one_failure_naming(launch(l), c.named, c.message);
    }
}

}  // namespace
