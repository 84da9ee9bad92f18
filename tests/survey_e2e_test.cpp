// The survey of the list file through the real binary: every refusal in the
// order of the passes, the report lines with their widths, the limits on names
// and points, and a complete small run compared in full.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "run_binary.hpp"
#include "survey_writer.hpp"

using namespace tessaro;
using tessaro::test::banner;
using tessaro::test::file_exists;
using tessaro::test::run_tessaro;
using tessaro::test::TempDir;
using tessaro::test::write_file;

namespace {

const std::string kDashes = "- - - - - - - - - - - - - - - - - -\n\n";

std::string consistent(const std::string& list) {
    return "All files in " + list + " have consistent point location scale and offset\n\n";
}

std::string not_valid(const std::string& name) {
    return "\n" + name + " is not a valid LAS file\n";
}

// Points at actual coordinates (x, y) for a scale of 0.01 and offset 0.
std::vector<survey::PointRecord> points_at(const std::vector<std::pair<int, int>>& xy_hundredths) {
    std::vector<survey::PointRecord> points;
    for (auto [x, y] : xy_hundredths) {
        survey::PointRecord p;
        p.X = x;
        p.Y = y;
        p.Z = 100;
        points.push_back(p);
    }
    return points;
}

survey::LasFileSpec spec_of(unsigned minor, unsigned format) {
    survey::LasFileSpec spec;
    spec.VersionMinor = static_cast<std::uint8_t>(minor);
    spec.PointDataFormatID = static_cast<std::uint8_t>(format);
    return spec;
}

// A small sound LAS 1.2 file of format 0 with three points.
void small_las(const std::string& path, const survey::LasFileSpec& spec = spec_of(2, 0)) {
    survey::write_las_file(path, spec, points_at({{100, 100}, {200, 300}, {400, 200}}));
}

// A file that declares `count` records of its format but holds no real
// points: its points are a sparse zero-filled stretch, so the file is as long
// as its header says and costs no disk space.
void sparse_las(const std::string& path, const survey::LasFileSpec& spec, std::uint32_t count, double min_x,
                double max_x, double min_y, double max_y) {
    LAS12Header h = survey::make_header(spec, {});
    h.NumberOfPointReturns = count;
    h.NumberOfPointsByReturn[0] = count;
    h.MinX = min_x;
    h.MaxX = max_x;
    h.MinY = min_y;
    h.MaxY = max_y;
    survey::write_las_file(path, spec, h, {});
    const auto size =
        static_cast<off_t>(h.OffsetToData + static_cast<unsigned long long>(count) * h.PointDataRecordLength);
    ASSERT_EQ(::truncate(path.c_str(), size), 0) << path;
}

// Runs the tiler on list.txt with prefix T and tile size 100 in `dir`.
test::RunResult run_list(const TempDir& dir, const std::vector<std::string>& tail = {}) {
    std::vector<std::string> words = {"list.txt", "T", "100"};
    words.insert(words.end(), tail.begin(), tail.end());
    return run_tessaro(words, dir.path);
}

bool no_tile_files(const TempDir& dir) {
    for (const auto& entry : std::filesystem::directory_iterator(dir.path)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("T", 0) == 0) return false;
    }
    return true;
}

TEST(Survey, ListFileRefusals) {
    struct Case {
        const char* what;
        const char* list;  // nullptr: no list file
        std::string output;
    };
    const Case cases[] = {
        {"no list file", nullptr, "\nCannot open ASCII file list.txt for reading\n"},
        {"a directory in place of the list", "dir", "\nCannot open ASCII file list.txt for reading\n"},
        {"empty list", "", "\nFile list.txt is empty!\n\n"},
        {"only blanks and line ends", "  \n\n \t \r\n   \n", "\nFile list.txt is empty!\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        if (c.list != nullptr && std::string(c.list) == "dir")
            std::filesystem::create_directory(dir.file("list.txt"));
        else if (c.list != nullptr)
            write_file(dir.file("list.txt"), c.list);
        const test::RunResult r = run_list(dir);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.output, banner() + c.output);
    }
}

// The validation pass stops at the first bad file in list order, before any
// later pass and before anything is written.
TEST(Survey, ValidationStopsAtTheFirstBadFileInListOrder) {
    TempDir dir;
    small_las(dir.file("a.las"));
    small_las(dir.file("c.las"));
    small_las(dir.file("upper.LAS"));
    survey::write_las_file(dir.file("fmt1.las"), spec_of(2, 1), points_at({{1, 1}}));
    survey::write_las_file(dir.file("code0.las"), spec_of(0, 2), points_at({{1, 1}}));
    survey::write_las_file(dir.file("code0b.las"), spec_of(1, 3), points_at({{1, 1}}));
    write_file(dir.file("nosig.las"), "LASX and more bytes");
    small_las(dir.file("survey_las"));
    small_las(dir.file(".las"));
    {
        // A sound header, one record short.
        small_las(dir.file("cut.las"));
        std::string bytes = test::read_file(dir.file("cut.las"));
        bytes.resize(bytes.size() - 1);
        write_file(dir.file("cut.las"), bytes);
    }
    {
        LAS12Header h = survey::make_header(spec_of(2, 0), points_at({{1, 1}}));
        h.MaxY = std::nan("");
        survey::write_las_file(dir.file("nan.las"), spec_of(2, 0), h, points_at({{1, 1}}));
        h = survey::make_header(spec_of(2, 0), points_at({{1, 1}}));
        h.XScaleFactor = 0.0;
        survey::write_las_file(dir.file("zeroscale.las"), spec_of(2, 0), h, points_at({{1, 1}}));
    }
    const std::string code0 =
        "\nFile code0.las declares point data format 2 or 3, which its LAS version 1.0 or 1.1 does not "
        "define\n";
    struct Case {
        const char* list;
        std::string output;  // after the banner
        bool complete;       // output must equal, not only begin with, the expected text
    };
    const Case cases[] = {
        {"a.las upper.LAS missing.las",
         "\nFile extension of upper.LAS is not .las\n" + not_valid("upper.LAS"), true},
        {"a.las\nmissing.las\nupper.LAS\n",
         "Unable to open file missing.las in file_access()\n\nFile missing.las does NOT exist\n" +
             not_valid("missing.las"),
         true},
        {"a.las survey_las",
         "\nExtension of file survey_las should be preceeded by a dot (.)\n" + not_valid("survey_las"), true},
        {"a.las .las", "\nFile name (.las) is too short\n" + not_valid(".las"), true},
        {"a.las nosig.las cut.las", "\nnosig.las is not a valid .las file\n\n" + not_valid("nosig.las"),
         true},
        {"a.las c.las fmt1.las cut.las",
         "\nFile fmt1.las in list.txt is of type 6 which is incompatible with the type (5) of previous files "
         "in "
         "the list\n",
         true},
        {"code0.las a.las", code0 + not_valid("code0.las"), true},
        {"a.las code0.las", code0 + not_valid("code0.las"), true},
        {"a.las\tc.las\tcut.las\tfmt1.las", "", false},
        {"a.las nan.las upper.LAS", "", false},
        {"zeroscale.las a.las", "", false},
        {"code0b.las", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        write_file(dir.file("list.txt"), c.list);
        const test::RunResult r = run_list(dir);
        EXPECT_EQ(r.status, 255);
        if (c.complete) {
            EXPECT_EQ(r.output, banner() + c.output);
        } else {
            // A refusal of the layout checks: one message naming the file, then
            // the line that the file is not valid; nothing of the later passes.
            const std::string tokens = c.list;
            std::string bad;
            for (const char* name : {"cut.las", "nan.las", "zeroscale.las", "code0b.las"})
                if (tokens.find(name) != std::string::npos) bad = name;
            ASSERT_EQ(r.output.rfind(banner(), 0), 0u);
            const std::string rest = r.output.substr(banner().size());
            EXPECT_NE(rest.find(bad), std::string::npos) << rest;
            EXPECT_GE(rest.size(), not_valid(bad).size());
            EXPECT_EQ(rest.substr(rest.size() - not_valid(bad).size()), not_valid(bad)) << rest;
            EXPECT_EQ(rest.find("- - -"), std::string::npos) << rest;
            EXPECT_EQ(rest.find("upper.LAS"), std::string::npos) << rest;
            EXPECT_EQ(rest.find("fmt1.las"), std::string::npos) << rest;
        }
        EXPECT_TRUE(no_tile_files(dir));
    }
}

// What tessaro_unbounded refuses of the files it takes beyond tessaro: each
// in the validation pass, before anything is written, naming the file (and
// for a run of mixed kinds both files and what differs).
TEST(Survey, UnboundedTilerRefusesWaveformsMixedKindsAndUnsoundLas14Files) {
    TempDir dir;
    const auto patch_byte = [&dir](const std::string& name, std::size_t at, char value) {
        std::string bytes = test::read_file(dir.file(name));
        bytes[at] = value;
        write_file(dir.file(name), bytes);
    };
    survey::LasFileSpec f6 = spec_of(4, 6);
    survey::VariableLengthRecord note;
    note.UserID = "Tessaro tests";
    note.RecordID = 9;
    note.Description = "after the points";
    note.payload.assign(100, 0x42);
    f6.evlrs = {note};
    small_las(dir.file("f6.las"), f6);
    small_las(dir.file("f7.las"), spec_of(4, 7));
    small_las(dir.file("v14.las"), spec_of(4, 1));
    small_las(dir.file("v12.las"), spec_of(2, 1));
    survey::LasFileSpec longer = spec_of(4, 6);
    longer.extra_bytes = 2;
    small_las(dir.file("longer.las"), longer);
    small_las(dir.file("wave9.las"), f6);
    patch_byte("wave9.las", 104, 9);
    small_las(dir.file("wave4.las"), spec_of(3, 1));
    patch_byte("wave4.las", 104, 4);
    small_las(dir.file("v12f0.las"), spec_of(2, 0));
    survey::LasFileSpec moved = spec_of(2, 1);
    moved.ZOffset = 5;
    small_las(dir.file("moved.las"), moved);
    small_las(dir.file("f6in12.las"), spec_of(2, 1));
    patch_byte("f6in12.las", 104, 6);
    std::uint64_t inside_start = 0;
    {
        const std::vector<survey::PointRecord> points = points_at({{100, 100}, {200, 300}, {400, 200}});
        survey::LasHeader h = survey::make_las_header(spec_of(4, 1), points);
        h.base.NumberOfPointReturns = 4;
        survey::write_las_file(dir.file("legacy.las"), spec_of(4, 1), h, points);
        h = survey::make_las_header(f6, points);
        inside_start = h.StartOfFirstExtendedVariableLengthRecord -= 1;  // inside the last point record
        survey::write_las_file(dir.file("inside.las"), f6, h, points);
        std::string bytes = test::read_file(dir.file("f6.las"));
        bytes.resize(bytes.size() - 10);
        write_file(dir.file("cut.las"), bytes);
    }
    struct Case {
        const char* list;
        std::string output;  // after the banner
    };
    const auto waveforms = [](const std::string& name, char format) {
        return "\nFile " + name + " holds waveform packets (point data format " + format +
               "), which are not supported: tile a copy without waveforms (point data format 1, 3, 6, 7 or "
               "8)\n" +
               not_valid(name);
    };
    const Case cases[] = {
        {"f6.las wave9.las", waveforms("wave9.las", '9')},
        {"wave4.las", waveforms("wave4.las", '4')},
        {"f6.las f6.las f7.las",
         "\nFiles f6.las and f7.las differ in their point data format (6 and 7): all files of a run must "
         "share it\n"},
        {"v14.las v12.las",
         "\nFiles v14.las and v12.las differ in their LAS version (1.4 and 1.2): all files of a run must "
         "share it\n"},
        {"v12.las v14.las",
         "\nFiles v12.las and v14.las differ in their LAS version (1.2 and 1.4): all files of a run must "
         "share it\n"},
        {"v12.las v12f0.las",
         "\nFiles v12.las and v12f0.las differ in their point data format (1 and 0): all files of a run must "
         "share it\n"},
        {"v12.las moved.las", kDashes +
                                  "\nFiles v12.las and moved.las differ in their Z offset (0 and 5): all "
                                  "files of a run must share it\n"},
        {"f6.las longer.las",
         "\nFiles f6.las and longer.las differ in their point record length (30 and 32): all files of a run "
         "must share it\n"},
        {"legacy.las",
         "\nFile legacy.las counts 4 point records in its legacy field and 3 in its LAS 1.4 field\n" +
             not_valid("legacy.las")},
        {"f6.las cut.las", "\nExtended variable length record 1 of cut.las does not lie whole in the file\n" +
                               not_valid("cut.las")},
        {"inside.las", "\nThe extended variable length records of inside.las begin at byte " +
                           std::to_string(inside_start) +
                           ", outside the 160 bytes after its point records\n" + not_valid("inside.las")},
        {"f6in12.las",
         "\nPointDataFormatID in f6in12.las is 6, which LAS 1.2 does not define; formats 6 to 8 need LAS "
         "1.4\n" +
             not_valid("f6in12.las")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        write_file(dir.file("list.txt"), c.list);
        const test::RunResult r =
            test::run_program(TESSARO_UNBOUNDED_BIN, {"list.txt", "T", "100"}, dir.path);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.output, banner() + c.output);
        EXPECT_TRUE(no_tile_files(dir));
    }
}

TEST(Survey, ScaleAndOffsetMismatchNamesTheFirstDifferingFile) {
    struct Case {
        const char* what;
        void (*change)(survey::LasFileSpec&);
    };
    const Case cases[] = {
        {"last bit of XScaleFactor",
         [](survey::LasFileSpec& s) { s.XScaleFactor = std::nextafter(0.01, 1.0); }},
        {"YScaleFactor", [](survey::LasFileSpec& s) { s.YScaleFactor = 0.001; }},
        {"ZScaleFactor", [](survey::LasFileSpec& s) { s.ZScaleFactor = std::nextafter(0.01, 0.0); }},
        {"XOffset", [](survey::LasFileSpec& s) { s.XOffset = 0.5; }},
        {"YOffset", [](survey::LasFileSpec& s) { s.YOffset = -1.0; }},
        {"ZOffset", [](survey::LasFileSpec& s) { s.ZOffset = 1e-300; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        small_las(dir.file("a.las"));
        small_las(dir.file("b.las"));
        survey::LasFileSpec changed = spec_of(2, 0);
        c.change(changed);
        small_las(dir.file("c.las"), changed);
        write_file(dir.file("list.txt"), "a.las b.las a.las c.las b.las\n");
        const test::RunResult r = run_list(dir);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.output,
                  banner() + kDashes + "Scale mismatch between file c.las and previous files in the list\n");
        EXPECT_TRUE(no_tile_files(dir));
    }
}

// Two files of 1,000,000 format 1 records each with OffsetToData 227: the
// estimate is (28 x 2,000,000 + 227) / 1,000,000 MB, and the summary lines
// carry the total and the combined extent, every number ending in one column.
TEST(Survey, ReportOfSizeEstimateAndSummary) {
    TempDir dir;
    sparse_las(dir.file("one.las"), spec_of(2, 1), 1000000, -100.5, 1200.25, -50.75, 300.0);
    sparse_las(dir.file("two.las"), spec_of(2, 1), 1000000, -20.0, 900.0, 0.0, 4000.4);
    write_file(dir.file("list.txt"), "one.las\ntwo.las\n");
    // The prefix names a directory that does not exist, so the run stops at
    // its first tile file, having written nothing.
    const test::RunResult r = run_tessaro({"list.txt", "missing/T", "1000"}, dir.path);
    const std::string expected = banner() + kDashes + consistent("list.txt") +
                                 "Approximately 56.0 MB to be distributed in tiles\n"
                                 "\nTotal Number of Points in data:         2000000\n"
                                 "Min X in data:                             -100.50\n"
                                 "Max X in data:                             1200.25\n"
                                 "Min Y in data:                              -50.75\n"
                                 "Max Y in data:                             4000.40\n"
                                 "X Range:                                   1300.75\n"
                                 "Y Range:                                   4051.15\n"
                                 "\nTiling Information\n";
    EXPECT_EQ(r.output.substr(0, expected.size()), expected);
    EXPECT_EQ(r.status, 255);
}

TEST(Survey, SingleFileAndDuplicatedName) {
    TempDir dir;
    small_las(dir.file("a.las"));
    const std::string summary_tail =
        "Min X in data:                                1.00\n"
        "Max X in data:                                4.00\n"
        "Min Y in data:                                1.00\n"
        "Max Y in data:                                3.00\n"
        "X Range:                                      3.00\n"
        "Y Range:                                      2.00\n"
        "\nTiling Information\n";
    struct Case {
        const char* list;
        std::string report;
    };
    const Case cases[] = {
        {"a.las",
         "Approximately 0.0 MB to be distributed in tiles\n"
         "\nTotal Number of Points in data:               3\n" +
             summary_tail},
        {"a.las\n\n  a.las  \n",
         "Approximately 0.0 MB to be distributed in tiles\n"
         "\nTotal Number of Points in data:               6\n" +
             summary_tail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        write_file(dir.file("list.txt"), c.list);
        const test::RunResult r = run_list(dir);
        EXPECT_EQ(r.status, 0) << r.output;
        const std::string expected = banner() + kDashes + consistent("list.txt") + c.report;
        EXPECT_EQ(r.output.substr(0, expected.size()), expected);
    }
}

TEST(Survey, LongNamesAndPrefixAreNeverCut) {
    TempDir dir;
    const std::string sub(120, 'd');
    std::filesystem::create_directories(dir.file(sub + "/out"));
    const std::string name = sub + "/" + std::string(150, 'n') + ".las";  // 275 characters
    small_las(dir.file(name));
    write_file(dir.file("list.txt"), name + "\n" + name + "\n");
    const std::string prefix = sub + "/out/" + std::string(180, 'p');
    const test::RunResult r = run_tessaro({"list.txt", prefix, "100", "-b", "1", "-s"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("\n" + name + ":  1 tile\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\rProcessing 3 returns in file " + name + " (2 / 2)\n"), std::string::npos);
    EXPECT_NE(r.output.find(prefix + "R1C1.las ( 3 returns )\n"), std::string::npos) << r.output;
    for (const char* suffix : {"R1C1.las", "_TileCoords.dbf", "_Tiles.shp", "_Tiles.dbf",
                               "_Tiles_w_buffer.shp", "_Tiles_w_buffer.shx"}) {
        EXPECT_TRUE(file_exists(dir.file(prefix + suffix))) << suffix;
    }
}

TEST(Survey, MoreThan65535NamesAreRefusedInTheCountPass) {
    TempDir dir;
    small_las(dir.file("a.las"));
    std::string list;
    for (int k = 0; k < 65536; ++k) list += "a.las\n";
    write_file(dir.file("list.txt"), list);
    test::RunResult r = run_list(dir);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.output,
              banner() + "\nFile list.txt names more than 65535 files, the most one run can tile\n");
    EXPECT_TRUE(no_tile_files(dir));

    // 65,535 names pass the count; the validation pass then reaches the last.
    list.resize(list.size() - 2 * std::string("a.las\n").size());
    list += "missing.las\n";
    write_file(dir.file("list.txt"), list);
    r = run_list(dir);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.output, banner() +
                            "Unable to open file missing.las in file_access()\n\nFile missing.las does NOT "
                            "exist\n" +
                            not_valid("missing.las"));
}

// Point totals are 32-bit: up to 4,294,967,295 pass and are reported as a
// positive number; one more is refused before anything is written.
TEST(Survey, PointTotalBeyondThirtyTwoBitsIsRefused) {
    TempDir dir;
    const survey::LasFileSpec spec = spec_of(2, 0);
    sparse_las(dir.file("half.las"), spec, 2147483648u, -10.0, 10.0, -10.0, 10.0);
    sparse_las(dir.file("rest.las"), spec, 2147483647u, -10.0, 10.0, -10.0, 10.0);
    sparse_las(dir.file("one.las"), spec, 1u, -10.0, 10.0, -10.0, 10.0);

    write_file(dir.file("list.txt"), "half.las rest.las one.las\n");
    test::RunResult r = run_tessaro({"list.txt", "missing/T", "100"}, dir.path);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.output, banner() + kDashes + consistent("list.txt") +
                            "\nThe files in the list hold more than 4294967295 points, the most one run can "
                            "tile\n");
    EXPECT_TRUE(no_tile_files(dir));

    write_file(dir.file("list.txt"), "half.las rest.las\n");
    r = run_tessaro({"list.txt", "missing/T", "100"}, dir.path);
    const std::string expected = banner() + kDashes + consistent("list.txt") +
                                 "Approximately 85899.3 MB to be distributed in tiles\n"
                                 "\nTotal Number of Points in data:      4294967295\n";
    EXPECT_EQ(r.output.substr(0, expected.size()), expected);
    EXPECT_EQ(r.status, 255);
}

// Two files cut into a two by two grid: the whole console report of the run,
// byte for byte, with only the elapsed seconds masked.
TEST(Survey, CompleteRunPrintsTheWholeReport) {
    TempDir dir;
    survey::write_las_file(dir.file("a.las"), spec_of(2, 0),
                           points_at({{1000, 1000}, {15000, 2000}, {3000, 12000}}));
    survey::write_las_file(dir.file("b.las"), spec_of(2, 0), points_at({{16000, 15000}, {19000, 18000}}));
    write_file(dir.file("list.txt"), "a.las\nb.las\n");
    const test::RunResult r = run_list(dir);
    EXPECT_EQ(r.status, 0);
    const std::string expected = banner() + kDashes + consistent("list.txt") +
                                 "Approximately 0.0 MB to be distributed in tiles\n"
                                 "\nTotal Number of Points in data:               5\n"
                                 "Min X in data:                               10.00\n"
                                 "Max X in data:                              190.00\n"
                                 "Min Y in data:                               10.00\n"
                                 "Max Y in data:                              180.00\n"
                                 "X Range:                                    180.00\n"
                                 "Y Range:                                    170.00\n"
                                 "\nTiling Information\n"
                                 "------------------\n"
                                 "X Min                                        10.00\n"
                                 "Y Min                                        10.00\n"
                                 "X Max                                       190.00\n"
                                 "Y Max                                       180.00\n"
                                 "Tile Rows                                     2\n"
                                 "Tile Cols                                     2\n"
                                 "# of Tiles                                    4\n"
                                 "\nTiles per laser file ...\n"
                                 "a.las:  4 tiles\n"
                                 "b.las:  1 tile\n"
                                 "\n"
                                 "\rProcessing 3 returns in file a.las (1 / 2)\n"
                                 "Distributed to\n"
                                 "TR1C1.las ( 1 returns )\n"
                                 "TR1C2.las ( 1 returns )\n"
                                 "TR2C1.las ( 1 returns )\n"
                                 "\n"
                                 "\rProcessing 2 returns in file b.las (2 / 2)\n"
                                 "Distributed to\n"
                                 "TR2C2.las ( 2 returns )\n"
                                 "\n"
                                 "\r" +
                                 std::string(78, ' ') + "\nElapsed time #.### seconds\n";
    const std::string masked = std::regex_replace(
        r.output, std::regex("Elapsed time [0-9]+\\.[0-9]{3} seconds"), "Elapsed time #.### seconds");
    EXPECT_EQ(masked, expected);
    for (const char* tile : {"TR1C1.las", "TR1C2.las", "TR2C1.las", "TR2C2.las"})
        EXPECT_TRUE(file_exists(dir.file(tile))) << tile;
}

}  // namespace
