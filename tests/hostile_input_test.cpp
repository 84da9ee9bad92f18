// Inputs that once hung, crashed or damaged files, each found by the hostile
// campaign (tests/campaign) and each run through the real binary: lists and
// listed names that are not regular files, and tiles of the run that are the
// run's own inputs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "conservation.hpp"
#include "laz_writer.hpp"
#include "run_binary.hpp"
#include "survey_writer.hpp"

using namespace tessaro;
using tessaro::test::read_file;
using tessaro::test::RunResult;
using tessaro::test::TempDir;
using tessaro::test::write_file;

namespace {

// A two-file survey of 200 points with VLRs, 300 m square: a1.las, a2.las and
// list.txt naming them, and an empty directory "tiles".
void small_survey(const TempDir& dir) {
    survey::SurveySpec spec;
    spec.directory = dir.path;
    spec.files = 2;
    spec.points = 200;
    spec.width = 300;
    spec.height = 300;
    spec.with_vlrs = true;
    const std::vector<std::string> paths = survey::generate_survey(spec);
    std::filesystem::rename(paths[0], dir.file("a1.las"));
    std::filesystem::rename(paths[1], dir.file("a2.las"));
    write_file(dir.file("list.txt"), "a1.las\na2.las\n");
    std::filesystem::create_directory(dir.file("tiles"));
}

// The last non-empty line of the output.
std::string last_line(const std::string& output) {
    std::string s = output;
    while (!s.empty() && s.back() == '\n') s.pop_back();
    return s.substr(s.rfind('\n') + 1);
}

// The names in a directory, sorted.
std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

RunResult run_in(const TempDir& dir, const std::vector<std::string>& args) {
    // A short limit: each of these once hung.
    return test::run_program(TESSARO_BIN, args, dir.path, 60);
}

// A name in the list that is no regular file is refused by the validation
// pass, before anything could block on opening it.
TEST(HostileInput, ListedNameThatIsNoRegularFileIsRefused) {
    struct Case {
        const char* what;
        void (*make)(const std::string& path);
    };
    const Case cases[] = {
        {"FIFO", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }},
        {"directory", [](const std::string& p) { std::filesystem::create_directory(p); }},
        {"device", [](const std::string& p) { std::filesystem::create_symlink("/dev/zero", p); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        small_survey(dir);
        c.make(dir.file("odd.las"));
        write_file(dir.file("list.txt"), "a1.las\nodd.las\na2.las\n");
        const RunResult r = run_in(dir, {"list.txt", "tiles/t_", "100"});
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.status, 255);
        EXPECT_NE(r.output.find("\nFile odd.las is not a regular file\n\nodd.las is not a valid LAS file\n"),
                  std::string::npos)
            << r.output;
        EXPECT_TRUE(std::filesystem::is_empty(dir.file("tiles")));
    }
}

// The list is read in six passes: a FIFO, a pipe or a device cannot serve
// them. A FIFO once blocked the open for ever, and a pipe gave later passes
// no names, which ended in a division by a record size of zero (SIGFPE).
TEST(HostileInput, ListThatIsNoRegularFileIsRefused) {
    for (const char* what : {"FIFO", "pipe", "device"}) {
        SCOPED_TRACE(what);
        TempDir dir;
        small_survey(dir);
        std::string list = "odd_list";
        int fds[2] = {-1, -1};
        if (std::string(what) == "FIFO") {
            ASSERT_EQ(mkfifo(dir.file(list).c_str(), 0644), 0);
        } else if (std::string(what) == "device") {
            std::filesystem::create_symlink("/dev/zero", dir.file(list));
        } else {
            // A pipe holding the list text, inherited by the child as an open
            // descriptor and named through /proc, like a shell's <(...).
            ASSERT_EQ(pipe(fds), 0);
            const std::string text = "a1.las\na2.las\n";
            ASSERT_EQ(write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
            close(fds[1]);
            list = "/proc/self/fd/" + std::to_string(fds[0]);
        }
        const RunResult r = run_in(dir, {list, "tiles/t_", "100"});
        if (fds[0] >= 0) close(fds[0]);
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(last_line(r.output), "Cannot open ASCII file " + list + " for reading") << r.output;
        EXPECT_TRUE(std::filesystem::is_empty(dir.file("tiles")));
    }
}

// A file the run would write as a tile that already exists as one of its
// inputs, under whatever name, is refused before any tile is written; the
// inputs stay as they were. Before, the distribution truncated such an input
// with the tile's new header and then read it back, and could end with 0.
// The file a LAZ tile is compressed into, beside the tile, is opened only
// when the tiles are compressed: refused then, before it is emptied, and
// every tile of the run, compressed or not, is removed.
TEST(HostileInput, TileThatIsAnInputIsRefusedBeforeAnyTileIsWritten) {
    struct Case {
        const char* what;
        const char* prefix;
        const char* list;  // list file name
        const char* tile;  // the tile file that collides
        void (*make)(const TempDir& dir);
        bool laz = false;  // the inputs are a1.laz and a2.laz, cut by tessaro_unbounded
    };
    const Case cases[] = {
        {"input listed under the tile's name", "tiles/t_", "list.txt", "tiles/t_R1C1.las",
         [](const TempDir& d) {
             std::filesystem::copy_file(d.file("a2.las"), d.file("tiles/t_R1C1.las"));
             write_file(d.file("list.txt"), "a1.las\ntiles/t_R1C1.las\n");
         }},
        {"empty prefix, input named like a tile", "", "list.txt", "R1C1.las",
         [](const TempDir& d) {
             std::filesystem::rename(d.file("a2.las"), d.file("R1C1.las"));
             write_file(d.file("list.txt"), "a1.las\nR1C1.las\n");
         }},
        {"tile is a symbolic link to an input", "tiles/t_", "list.txt", "tiles/t_R2C2.las",
         [](const TempDir& d) { std::filesystem::create_symlink("../a1.las", d.file("tiles/t_R2C2.las")); }},
        {"tile is a hard link of an input", "tiles/t_", "list.txt", "tiles/t_R3C1.las",
         [](const TempDir& d) {
             std::filesystem::create_hard_link(d.file("a2.las"), d.file("tiles/t_R3C1.las"));
         }},
        {"input named through another spelling", "tiles/t_", "list.txt", "tiles/t_R1C2.las",
         [](const TempDir& d) {
             std::filesystem::copy_file(d.file("a2.las"), d.file("tiles/t_R1C2.las"));
             write_file(d.file("list.txt"), "a1.las\n./tiles/../tiles/t_R1C2.las\n");
         }},
        {"the list file is a tile", "tiles/t_", "tiles/t_R1C3.las", "tiles/t_R1C3.las",
         [](const TempDir& d) { write_file(d.file("tiles/t_R1C3.las"), "a1.las\na2.las\n"); }},
        {"file a LAZ tile is compressed into is a hard link of an input", "tiles/t_", "list.txt",
         "tiles/t_R3C3.laz.part",
         [](const TempDir& d) {
             survey::compress_las_file(d.file("a1.las"), d.file("a1.laz"));
             survey::compress_las_file(d.file("a2.las"), d.file("a2.laz"));
             write_file(d.file("list.txt"), "a1.laz\na2.laz\n");
             std::filesystem::create_hard_link(d.file("a1.laz"), d.file("tiles/t_R3C3.laz.part"));
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        small_survey(dir);
        c.make(dir);
        const std::vector<std::string> files = c.laz ? std::vector<std::string>{"a1.laz", "a2.laz", c.tile}
                                                     : std::vector<std::string>{"a1.las", "a2.las", c.tile};
        std::vector<std::string> before;
        for (const std::string& f : files) before.push_back(read_file(dir.file(f)));
        const RunResult r =
            c.laz ? test::run_program(TESSARO_UNBOUNDED_BIN, {c.list, c.prefix, "100"}, dir.path, 60)
                  : run_in(dir, {c.list, c.prefix, "100"});
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(last_line(r.output), std::string("Tile file ") + c.tile +
                                           " is the list file or a file named in it; choose another "
                                           "tile prefix")
            << r.output;
        if (c.laz) {
            EXPECT_EQ(names_in(dir.file("tiles")), std::vector<std::string>{"t_R3C3.laz.part"})
                << "a tile of the run, compressed or not, or a part of one is left";
        } else {
            EXPECT_EQ(r.output.find("Processing"), std::string::npos) << "the distribution began";
        }
        std::size_t k = 0;
        for (const std::string& f : files) EXPECT_EQ(read_file(dir.file(f)), before[k++]) << f;
    }
}

// A tile left by an earlier run that is not an input is simply replaced.
TEST(HostileInput, StaleTileThatIsNoInputIsReplaced) {
    TempDir dir;
    small_survey(dir);
    write_file(dir.file("tiles/t_R1C1.las"), "left over from an earlier run");
    const RunResult r = run_in(dir, {"list.txt", "tiles/t_", "100"});
    ASSERT_EQ(r.status, 0) << r.output;
    verify::ConservationRequest rq;
    rq.list_file = "list.txt";
    rq.tile_prefix = "tiles/t_";
    rq.tile_size = 100;
    rq.directory = dir.path;
    const verify::ConservationReport report = verify::check_conservation(rq);
    EXPECT_TRUE(report.ok) << report.message;
    EXPECT_EQ(report.records, 200u);
}

}  // namespace
