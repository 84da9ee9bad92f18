// Validation of one LAS file: the name checks, check_las with its type codes
// and messages, and the layout checks that make a file's points safe to read.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "console.hpp"
#include "lidar.hpp"
#include "run_binary.hpp"
#include "survey_writer.hpp"

using namespace tessaro;
using tessaro::test::TempDir;
using tessaro::test::write_file;

namespace {

// What `action` prints on standard output.
std::string printed(const std::function<void()>& action) {
    testing::internal::CaptureStdout();
    action();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// The first bytes of a LAS file as check_las reads them: signature, version,
// point format and record length at their offsets; everything else zero.
std::string header_bytes(unsigned major, unsigned minor, unsigned format, unsigned length) {
    std::string b(kHeaderBytes, '\0');
    std::memcpy(b.data(), "LASF", 4);
    b[24] = static_cast<char>(major);
    b[25] = static_cast<char>(minor);
    b[104] = static_cast<char>(format);
    b[105] = static_cast<char>(length & 0xFF);
    b[106] = static_cast<char>(length >> 8);
    return b;
}

TEST(FileNames, ExtensionRules) {
    struct Case {
        const char* name;
        std::int16_t result;
        std::string message;
    };
    const Case cases[] = {
        {"a.las", 0, ""},
        {"dir/strip_01.las", 0, ""},
        {".las", -1, "\nFile name (.las) is too short\n"},
        {"x", -1, "\nFile name (x) is too short\n"},
        {"a.LAS", -1, "\nFile extension of a.LAS is not .las\n"},
        {"a.lAs", -1, "\nFile extension of a.lAs is not .las\n"},
        {"a.txt", -1, "\nFile extension of a.txt is not .las\n"},
        {"survey_las", -1, "\nExtension of file survey_las should be preceeded by a dot (.)\n"},
        {"a.lasx", -1, "\nExtension of file a.lasx should be preceeded by a dot (.)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::int16_t result = 99;
        EXPECT_EQ(printed([&] { result = check_file_extension(c.name, "las"); }), c.message);
        EXPECT_EQ(result, c.result);
    }
}

TEST(FileAccess, MissingFileIsReported) {
    TempDir dir;
    const std::string missing = dir.file("nothing.las");
    std::int16_t result = 0;
    EXPECT_EQ(printed([&] { result = file_access(missing.c_str()); }),
              "Unable to open file " + missing + " in file_access()\n");
    EXPECT_EQ(result, -1);
    write_file(dir.file("here.las"), "x");
    EXPECT_EQ(printed([&] { result = file_access(dir.file("here.las").c_str()); }), "");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(printed([] { error_msg(1, "q.las"); }), "\nFile q.las does NOT exist\n");
}

TEST(CheckLas, TypeCodeOfEveryVersionAndFormat) {
    struct Case {
        unsigned minor, format, length;
        std::int16_t code;
    };
    const Case cases[] = {
        {0, 0, 20, 1},
        {0, 1, 28, 2},
        {1, 0, 20, 3},
        {1, 1, 28, 4},
        {2, 0, 20, 5},
        {2, 1, 28, 6},
        {2, 2, 26, 7},
        {2, 3, 34, 8},
        // Version 1.0 and 1.1 do not define formats 2 and 3: code 0 whatever
        // the record length.
        {0, 2, 26, 0},
        {0, 2, 99, 0},
        {0, 3, 0, 0},
        {1, 2, 26, 0},
        {1, 3, 34, 0},
        {1, 3, 20, 0},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const std::string name = dir.file("v1" + std::to_string(c.minor) + "_f" + std::to_string(c.format) +
                                          "_" + std::to_string(c.length) + ".las");
        SCOPED_TRACE(name);
        write_file(name, header_bytes(1, c.minor, c.format, c.length));
        std::int16_t code = -99;
        EXPECT_EQ(printed([&] { code = check_las(name.c_str()); }), "");
        EXPECT_EQ(code, c.code);
    }
}

TEST(CheckLas, RefusalsPrintTheirMessage) {
    TempDir dir;
    struct Case {
        std::string file;      // name in the directory
        std::string content;   // file content; no file when "missing"
        std::string expected;  // "@" stands for the full name
    };
    const std::string missing = "missing";
    const Case cases[] = {
        {"v13.las", header_bytes(1, 3, 0, 20), "\nCannot handle las files of version 1.3\n"},
        {"v19.las", header_bytes(1, 9, 0, 20), "\nCannot handle las files of version 1.9\n"},
        {"v20.las", header_bytes(2, 0, 0, 20), "\nCannot handle las files of version 2.x\n"},
        {"v00.las", header_bytes(0, 0, 0, 20), "\nCannot handle las files of version 0.x\n"},
        {"f4.las", header_bytes(1, 2, 4, 20),
         "\nPointDataFormatID in @ is 4. Only 0, 1, 2, or 3 is accepted\n"},
        {"f7.las", header_bytes(1, 0, 7, 20),
         "\nPointDataFormatID in @ is 7. Only 0, 1, 2, or 3 is accepted\n"},
        {"f1_30.las", header_bytes(1, 2, 1, 30),
         "\nData format of @ (1) is incompatible with Length of Data Record (30)\n"},
        {"f0_28.las", header_bytes(1, 2, 0, 28),
         "\nData format of @ (0) is incompatible with Length of Data Record (28)\n"},
        {"f2_28.las", header_bytes(1, 2, 2, 28),
         "\nData format of @ (2) is incompatible with Length of Data Record (28)\n"},
        {"f3_28.las", header_bytes(1, 2, 3, 28),
         "\nData format of @ (3) is incompatible with Length of Data Record (28)\n"},
        {"v10_f0_300.las", header_bytes(1, 0, 0, 300),
         "\nData format of @ (0) is incompatible with Length of Data Record (300)\n"},
        {"v11_f1_20.las", header_bytes(1, 1, 1, 20),
         "\nData format of @ (1) is incompatible with Length of Data Record (20)\n"},
        {"sig.las", "LASX" + header_bytes(1, 2, 0, 20).substr(4), "\n@ is not a valid .las file\n\n"},
        {"three.las", "LAS", "\n@ is not a valid .las file\n\n"},
        {"empty.las", "", "\n@ is not a valid .las file\n\n"},
        {"upper.LAS", header_bytes(1, 2, 0, 20), "\nFile extension of @ is not .las\n"},
        {"nodot_las", header_bytes(1, 2, 0, 20), "\nExtension of file @ should be preceeded by a dot (.)\n"},
        {"gone.las", missing, "Unable to open file @ in file_access()\n\nFile @ does NOT exist\n"},
        // A missing name's extension is never looked at.
        {"gone.LAS", missing, "Unable to open file @ in file_access()\n\nFile @ does NOT exist\n"},
    };
    for (const Case& c : cases) {
        const std::string name = dir.file(c.file);
        SCOPED_TRACE(name);
        if (c.content != missing) write_file(name, c.content);
        std::string expected = c.expected;
        for (std::size_t at; (at = expected.find('@')) != std::string::npos;) expected.replace(at, 1, name);
        std::int16_t code = 0;
        EXPECT_EQ(printed([&] { code = check_las(name.c_str()); }), expected);
        EXPECT_EQ(code, -1);
    }
}

TEST(CheckLas, SignedFileEndingBeforeItsFieldsIsRefusedNamingIt) {
    TempDir dir;
    const std::string name = dir.file("short.las");
    write_file(name, header_bytes(1, 2, 0, 20).substr(0, 50));
    std::int16_t code = 0;
    const std::string out = printed([&] { code = check_las(name.c_str()); });
    EXPECT_EQ(code, -1);
    EXPECT_NE(out.find(name), std::string::npos) << out;
}

// A sound LAS 1.2 file of format 0 with three points, and its header.
struct SoundFile {
    survey::LasFileSpec spec;
    std::vector<survey::PointRecord> points;
    LAS12Header header;

    SoundFile() {
        spec.PointDataFormatID = 0;
        for (int k = 0; k < 3; ++k) {
            survey::PointRecord p;
            p.X = 1000 * k;
            p.Y = 2000 * k;
            p.Z = 5 * k;
            points.push_back(p);
        }
        header = survey::make_header(spec, points);
    }
};

// The image of a file written from a header and points, cut or padded to `size`
// bytes when `size` is given.
std::string file_image(const SoundFile& f, const LAS12Header& h, long long size = -1) {
    TempDir dir;
    const std::string path = dir.file("image.las");
    survey::write_las_file(path, f.spec, h, f.points);
    std::string image = tessaro::test::read_file(path);
    if (size >= 0) image.resize(static_cast<std::size_t>(size), '\0');
    return image;
}

TEST(LasLayout, SoundFilesPass) {
    TempDir dir;
    SoundFile f;
    const std::string plain = dir.file("plain.las");
    survey::write_las_file(plain, f.spec, f.points);

    survey::LasFileSpec with_vlrs = f.spec;
    with_vlrs.header_extension.assign(8, 0xEE);
    with_vlrs.vlrs.push_back({"tessaro", 1, "note", std::vector<unsigned char>(40, 0x41)});
    with_vlrs.pre_point_padding.assign(2, 0);
    const std::string vlr = dir.file("vlr.las");
    survey::write_las_file(vlr, with_vlrs, f.points);

    // Without points, the bounds may stand in any order.
    LAS12Header empty = survey::make_header(f.spec, {});
    empty.MinX = 10.0;
    empty.MaxX = -10.0;
    const std::string none = dir.file("none.las");
    survey::write_las_file(none, f.spec, empty, {});

    for (const std::string& name : {plain, vlr, none}) {
        SCOPED_TRACE(name);
        std::int16_t code = 0, layout = -9;
        EXPECT_EQ(printed([&] {
                      code = check_las(name.c_str());
                      layout = check_las_layout(name.c_str());
                  }),
                  "");
        EXPECT_EQ(code, 5);
        EXPECT_EQ(layout, 0);
    }

    // The header record holds the first 227 bytes however long the header
    // block and the records after it are; the points start at OffsetToData.
    FilePtr in = open_file(vlr.c_str(), "rb");
    ASSERT_TRUE(in);
    std::optional<LAS12Header> h = read_las_header(in.get());
    ASSERT_TRUE(h);
    EXPECT_EQ(+h->HeaderSize, 235);
    EXPECT_EQ(+h->OffsetToData, 235u + 54 + 40 + 2);
    EXPECT_EQ(+h->NumberOfPointReturns, 3u);
    EXPECT_EQ(+h->MaxX, 20.0);
    const std::string bytes = tessaro::test::read_file(vlr);
    ASSERT_EQ(bytes.size(), h->OffsetToData + 3u * 20);
    const ReturnStruct second =
        return_from_bytes(reinterpret_cast<const unsigned char*>(bytes.data()) + h->OffsetToData + 20);
    EXPECT_EQ(second.X, 1000);
    EXPECT_EQ(second.Y, 2000);
}

TEST(LasLayout, UnsafeFilesAreRefusedNamingTheFile) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const SoundFile f;
    const LAS12Header sound = f.header;
    const long long whole = 227 + 3 * 20;
    struct Case {
        const char* what;
        std::function<void(LAS12Header&)> change;
        long long size;  // file size; -1 keeps the written size
    };
    const Case cases[] = {
        {"shorter than the header", [](LAS12Header&) {}, 200},
        {"just past the read fields", [](LAS12Header&) {}, 107},
        {"HeaderSize below 227", [](LAS12Header& h) { h.HeaderSize = 226; }, -1},
        {"HeaderSize zero", [](LAS12Header& h) { h.HeaderSize = 0; }, -1},
        {"OffsetToData inside the header", [](LAS12Header& h) { h.OffsetToData = 200; }, -1},
        {"OffsetToData below HeaderSize",
         [](LAS12Header& h) {
             h.HeaderSize = 240;
             h.OffsetToData = 239;
         },
         whole + 20},
        {"last record cut short", [](LAS12Header&) {}, whole - 1},
        {"more records declared than held", [](LAS12Header& h) { h.NumberOfPointReturns = 4; }, -1},
        {"records beyond 4 GiB declared", [](LAS12Header& h) { h.NumberOfPointReturns = 0xFFFFFFFFu; }, -1},
        {"NaN MinX", [nan](LAS12Header& h) { h.MinX = nan; }, -1},
        {"NaN MaxX", [nan](LAS12Header& h) { h.MaxX = nan; }, -1},
        {"infinite MinY", [inf](LAS12Header& h) { h.MinY = -inf; }, -1},
        {"infinite MaxY", [inf](LAS12Header& h) { h.MaxY = inf; }, -1},
        {"inverted X bounds", [](LAS12Header& h) { h.MinX = h.MaxX + 1.0; }, -1},
        {"inverted Y bounds", [](LAS12Header& h) { h.MinY = h.MaxY + 0.5; }, -1},
        {"zero XScaleFactor", [](LAS12Header& h) { h.XScaleFactor = 0.0; }, -1},
        {"negative zero YScaleFactor", [](LAS12Header& h) { h.YScaleFactor = -0.0; }, -1},
        {"NaN ZScaleFactor", [nan](LAS12Header& h) { h.ZScaleFactor = nan; }, -1},
        {"infinite XScaleFactor", [inf](LAS12Header& h) { h.XScaleFactor = inf; }, -1},
        {"infinite XOffset", [inf](LAS12Header& h) { h.XOffset = inf; }, -1},
        {"NaN YOffset", [nan](LAS12Header& h) { h.YOffset = nan; }, -1},
        {"infinite ZOffset", [inf](LAS12Header& h) { h.ZOffset = -inf; }, -1},
    };
    TempDir dir;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LAS12Header h = sound;
        c.change(h);
        const std::string name = dir.file("bad_" + std::to_string(++n) + ".las");
        write_file(name, file_image(f, h, c.size));
        std::int16_t code = 0, layout = 0;
        std::string out = printed([&] { code = check_las(name.c_str()); });
        ASSERT_EQ(code, 5) << out;
        ASSERT_EQ(out, "");
        out = printed([&] { layout = check_las_layout(name.c_str()); });
        EXPECT_EQ(layout, -1);
        EXPECT_EQ(out.rfind('\n', 0), 0u) << out;
        EXPECT_NE(out.find(name), std::string::npos) << out;
        EXPECT_EQ(out.back(), '\n');
    }
}

TEST(RecordSize, FollowsTheTypeCode) {
    const std::pair<std::int16_t, std::uint16_t> cases[] = {
        {1, 20}, {2, 28}, {3, 20}, {4, 28}, {5, 20}, {6, 28}, {7, 26}, {8, 34}, {0, 0}, {-1, 0}, {9, 0}};
    for (auto [code, size] : cases) EXPECT_EQ(record_size_of_type(code), size) << code;
}

}  // namespace
