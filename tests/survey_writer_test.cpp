#include "survey_writer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace tessaro;
using namespace tessaro::survey;

namespace {

std::vector<unsigned char> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A fresh directory removed again at the end of the test.
struct TempDir {
    fs::path path;
    explicit TempDir(const std::string& name)
        : path(fs::temp_directory_path() / ("tessaro_survey_writer_test_" + name)) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
};

PointRecord full_point() {
    PointRecord p;
    p.X = -123456789;
    p.Y = 0x12345678;
    p.Z = -5;
    p.Intensity = 0xBEEF;
    p.bitfield = 0x92;
    p.Classification = 5;
    p.ScanAngleRank = 0xEC;  // -20 degrees
    p.UserData = 7;
    p.PointSourceID = 0x0102;
    p.GPSTime = 234567.125;
    p.Red = 0x1111;
    p.Green = 0x2222;
    p.Blue = 0x3333;
    p.ExtendedFlags = 0xA5;
    p.ScanAngle = -3334;  // -20.004 degrees
    p.NIR = 0x4444;
    return p;
}

// The little-endian field of type T at `offset`, on a host of either byte order.
template <typename T>
T at(const std::vector<unsigned char>& bytes, std::size_t offset) {
    unsigned char image[sizeof(T)];
    std::memcpy(image, bytes.data() + offset, sizeof image);
    if constexpr (std::endian::native == std::endian::big) std::reverse(std::begin(image), std::end(image));
    T value;
    std::memcpy(&value, image, sizeof value);
    return value;
}

}  // namespace

TEST(SurveyWriter, EncodesEveryFormatAtItsFieldOffsetsAndDecodesItBack) {
    struct Case {
        unsigned format;
        std::size_t size;
        int gps_offset;  // -1: no GPSTime
        int rgb_offset;  // -1: no colour
        int nir_offset;  // -1: no near infrared
    };
    const Case cases[] = {{0, 20, -1, -1, -1}, {1, 28, 20, -1, -1}, {2, 26, -1, 20, -1}, {3, 34, 20, 28, -1},
                          {6, 30, 22, -1, -1}, {7, 36, 22, 30, -1}, {8, 38, 22, 30, 36}};
    const PointRecord p = full_point();
    for (const auto& c : cases) {
        SCOPED_TRACE("format " + std::to_string(c.format));
        auto bytes = encode_point(p, c.format);
        ASSERT_EQ(bytes.size(), c.size);
        EXPECT_EQ(at<std::int32_t>(bytes, 0), p.X);
        EXPECT_EQ(at<std::int32_t>(bytes, 4), p.Y);
        EXPECT_EQ(at<std::int32_t>(bytes, 8), p.Z);
        EXPECT_EQ(at<std::uint16_t>(bytes, 12), p.Intensity);
        EXPECT_EQ(bytes[14], p.bitfield);
        if (c.format >= 6) {
            EXPECT_EQ(bytes[15], p.ExtendedFlags);
            EXPECT_EQ(bytes[16], p.Classification);
            EXPECT_EQ(bytes[17], p.UserData);
            EXPECT_EQ(at<std::int16_t>(bytes, 18), p.ScanAngle);
            EXPECT_EQ(at<std::uint16_t>(bytes, 20), p.PointSourceID);
        } else {
            EXPECT_EQ(bytes[15], p.Classification);
            EXPECT_EQ(bytes[16], p.ScanAngleRank);
            EXPECT_EQ(bytes[17], p.UserData);
            EXPECT_EQ(at<std::uint16_t>(bytes, 18), p.PointSourceID);
        }
        if (c.gps_offset >= 0) {
            EXPECT_EQ(at<double>(bytes, c.gps_offset), p.GPSTime);
        }
        if (c.rgb_offset >= 0) {
            EXPECT_EQ(at<std::uint16_t>(bytes, c.rgb_offset), p.Red);
            EXPECT_EQ(at<std::uint16_t>(bytes, c.rgb_offset + 2), p.Green);
            EXPECT_EQ(at<std::uint16_t>(bytes, c.rgb_offset + 4), p.Blue);
        }
        if (c.nir_offset >= 0) {
            EXPECT_EQ(at<std::uint16_t>(bytes, c.nir_offset), p.NIR);
        }

        PointRecord back = decode_point(bytes.data(), c.format);
        PointRecord expected = p;
        if (c.gps_offset < 0) expected.GPSTime = 0.0;
        if (c.rgb_offset < 0) expected.Red = expected.Green = expected.Blue = 0;
        if (c.nir_offset < 0) expected.NIR = 0;
        if (c.format >= 6) {
            expected.ScanAngleRank = 0;
        } else {
            expected.ExtendedFlags = 0;
            expected.ScanAngle = 0;
        }
        const unsigned wide = c.format >= 6 ? 8 : 3;
        EXPECT_EQ(encode_point(back, wide), encode_point(expected, wide));
        EXPECT_EQ(encode_point(back, 3 + 8 - wide), encode_point(expected, 3 + 8 - wide));
    }
    for (unsigned missing : {4U, 5U, 9U, 10U}) EXPECT_THROW(encode_point(p, missing), std::invalid_argument);
}

TEST(SurveyWriter, WrittenFileHasLayoutCountsBoundsAndPointsWhereTheHeaderSays) {
    TempDir dir("layout");
    LasFileSpec spec;
    spec.PointDataFormatID = 3;
    spec.XScaleFactor = 0.01, spec.YScaleFactor = 0.001, spec.ZScaleFactor = 0.1;
    spec.XOffset = 500000.0, spec.YOffset = 4000000.0, spec.ZOffset = -10.0;
    spec.header_extension = {0xAA, 0xBB, 0xCC};
    spec.vlrs.push_back({"LASF_Projection", 34735, "GeoKeyDirectoryTag", std::vector<unsigned char>(16, 1)});
    spec.vlrs.push_back({"an user id longer than sixteen", 7, "", {}});
    spec.pre_point_padding = {0xDD, 0xEE};

    // Return numbers 1, 2, 2, 5, plus 0 and 6, which no return count includes.
    std::vector<PointRecord> points(6, full_point());
    const std::uint8_t bitfields[] = {0x09, 0x12, 0x92, 0x2D, 0x00, 0x36};
    const std::int32_t xs[] = {100, -2147483647 - 1, 5, 2147483647, 0, 7};
    for (std::size_t i = 0; i < points.size(); ++i) {
        points[i].bitfield = bitfields[i];
        points[i].X = xs[i];
        points[i].Y = static_cast<std::int32_t>(i) * 1000 - 2000;
        points[i].Z = 50 + static_cast<std::int32_t>(i);
    }
    const fs::path path = dir.path / "one.las";
    write_las_file(path.string(), spec, points);
    const auto file = read_file(path);
    ASSERT_GE(file.size(), kHeaderBytes);
    const LAS12Header h = header_from_bytes(file.data());

    EXPECT_EQ(std::string(h.LASF, 4), "LASF");
    EXPECT_EQ(h.VersionMajor, 1);
    EXPECT_EQ(h.VersionMinor, 2);
    EXPECT_EQ(+h.HeaderSize, 230);
    EXPECT_EQ(+h.NumberOfVariableLengthRecords, 2U);
    EXPECT_EQ(+h.OffsetToData, 230U + 54 + 16 + 54 + 0 + 2);
    EXPECT_EQ(h.PointDataFormatID, 3);
    EXPECT_EQ(+h.PointDataRecordLength, 34);
    EXPECT_EQ(+h.NumberOfPointReturns, 6U);
    const std::uint32_t by_return[5] = {1, 2, 0, 0, 1};
    EXPECT_TRUE(std::equal(by_return, by_return + 5, h.NumberOfPointsByReturn));
    EXPECT_DOUBLE_EQ(+h.MinX, -2147483648.0 * 0.01 + 500000.0);
    EXPECT_DOUBLE_EQ(+h.MaxX, 2147483647.0 * 0.01 + 500000.0);
    EXPECT_EQ(+h.MinY, -2000 * 0.001 + 4000000.0);
    EXPECT_EQ(+h.MaxY, 3000 * 0.001 + 4000000.0);
    EXPECT_EQ(+h.MinZ, 50 * 0.1 - 10.0);
    EXPECT_EQ(+h.MaxZ, 55 * 0.1 - 10.0);

    // Header extension, then the first VLR header with its fields at their places.
    EXPECT_EQ(file[227], 0xAA);
    EXPECT_EQ(at<std::uint16_t>(file, 230), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[232])), "LASF_Projection");
    EXPECT_EQ(at<std::uint16_t>(file, 248), 34735);
    EXPECT_EQ(at<std::uint16_t>(file, 250), 16);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[252]), 18), "GeoKeyDirectoryTag");
    // The second UserID is cut to its 16 bytes.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[300 + 2]), 16), "an user id longe");
    EXPECT_EQ(file[h.OffsetToData - 1], 0xEE);

    ASSERT_EQ(file.size(), h.OffsetToData + 6 * 34U);
    for (std::size_t i = 0; i < points.size(); ++i) {
        auto expected = encode_point(points[i], 3);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + h.OffsetToData + i * 34))
            << i;
    }

    // An explicit header is written as given, even where it disagrees.
    LAS12Header odd = h;
    odd.NumberOfPointReturns = 99;
    odd.PointDataFormatID = 4;
    write_las_file(path.string(), spec, odd, {points[0]});
    const auto odd_file = read_file(path);
    EXPECT_EQ(+header_from_bytes(odd_file.data()).NumberOfPointReturns, 99U);
    EXPECT_EQ(header_from_bytes(odd_file.data()).PointDataFormatID, 4);
    EXPECT_EQ(odd_file.size(), h.OffsetToData + 34U);

    // No points: counts and bounds are zero.
    const LAS12Header empty = make_header(spec, {});
    EXPECT_EQ(+empty.NumberOfPointReturns, 0U);
    EXPECT_EQ(+empty.MinX, 0.0);
    EXPECT_EQ(+empty.MaxZ, 0.0);

    EXPECT_THROW(write_las_file((dir.path / "missing" / "x.las").string(), spec, points), std::runtime_error);
}

TEST(SurveyWriter, Las13And14FilesHaveTheirHeaderFieldsCountsEvlrsAndExtraBytesWhereTheySay) {
    struct Case {
        unsigned minor, format, extra_bytes, evlrs;
    };
    const Case cases[] = {{3, 1, 0, 0},  {3, 3, 9, 0}, {4, 1, 0, 2},
                          {4, 6, 11, 1}, {4, 7, 0, 0}, {4, 8, 5, 3}};
    TempDir dir("las14");
    for (const Case& c : cases) {
        SCOPED_TRACE("LAS 1." + std::to_string(c.minor) + " format " + std::to_string(c.format));
        const PointFormatLayout layout = point_format_layout(c.format);
        LasFileSpec spec;
        spec.VersionMinor = static_cast<std::uint8_t>(c.minor);
        spec.PointDataFormatID = static_cast<std::uint8_t>(c.format);
        spec.extra_bytes = c.extra_bytes;
        spec.header_extension = {0xAB};
        spec.vlrs.push_back({"LASF_Spec", 3, "text", {'t', 0}});
        for (unsigned k = 0; k < c.evlrs; ++k)
            spec.evlrs.push_back(
                {"evlr user", static_cast<std::uint16_t>(k + 7), "an EVLR",
                 std::vector<unsigned char>(k == 0 ? 70000 : k, static_cast<unsigned char>(k))});

        // Return numbers 0 to 15 (bits 0-3 of formats 6 to 8, 0 to 7 and
        // number of returns for the others), return 3 twice; one point
        // brings its own extra bytes.
        std::vector<PointRecord> points;
        for (unsigned r = 0; r <= 16; ++r) {
            PointRecord p = full_point();
            const unsigned number = r == 16 ? 3 : r;
            p.bitfield = layout.extended ? static_cast<std::uint8_t>(number | 15 << 4)
                                         : static_cast<std::uint8_t>((number & 7) | 5 << 3 | 0x80);
            p.X = static_cast<std::int32_t>(r) * 100 - 700;
            if (r == 5 && c.extra_bytes != 0) p.ExtraBytes.assign(c.extra_bytes, 0xEE);
            points.push_back(p);
        }
        const fs::path path =
            dir.path / ("1_" + std::to_string(c.minor) + "_" + std::to_string(c.format) + ".las");
        write_las_file(path.string(), spec, points);
        const auto file = read_file(path);
        const std::size_t block = c.minor == 3 ? 235 : 375;
        const std::size_t len = layout.size + c.extra_bytes;
        const std::size_t offset = block + 1 + 54 + 2;
        ASSERT_GE(file.size(), offset);
        EXPECT_EQ(at<std::uint16_t>(file, 94), block + 1);
        EXPECT_EQ(at<std::uint32_t>(file, 96), offset);
        EXPECT_EQ(at<std::uint16_t>(file, 105), len);
        EXPECT_EQ(file[block], 0xAB);
        EXPECT_EQ(at<std::uint16_t>(file, 6), layout.extended ? 0x10 : 0) << "global encoding";
        EXPECT_EQ(at<std::uint64_t>(file, 227), 0U) << "no waveform data";

        // Counts: returns 1 to 5 in the legacy fields (the 3-bit fields of
        // formats 0 to 3 give 8 to 15 as 0 to 7), all 15 in LAS 1.4's own.
        std::uint64_t by_return[15] = {};
        for (const PointRecord& p : points) {
            const unsigned r = return_number_of(p.bitfield, c.format);
            if (r >= 1) ++by_return[r - 1];
        }
        const bool legacy = c.minor == 3 || !layout.extended;
        EXPECT_EQ(at<std::uint32_t>(file, 107), legacy ? points.size() : 0U);
        for (std::size_t k = 0; k < 5; ++k)
            EXPECT_EQ(at<std::uint32_t>(file, 111 + 4 * k), legacy ? by_return[k] : 0U) << "return " << k + 1;
        std::size_t end = offset + points.size() * len;
        if (c.minor == 4) {
            EXPECT_EQ(at<std::uint64_t>(file, 247), points.size());
            for (std::size_t k = 0; k < 15; ++k)
                EXPECT_EQ(at<std::uint64_t>(file, 255 + 8 * k), by_return[k]) << "return " << k + 1;
            EXPECT_EQ(by_return[14], layout.extended ? 1U : 0U);
            EXPECT_EQ(at<std::uint64_t>(file, 235), c.evlrs == 0 ? 0 : end);
            EXPECT_EQ(at<std::uint32_t>(file, 243), c.evlrs);
            for (const VariableLengthRecord& evlr : spec.evlrs) {
                ASSERT_LE(end + 60, file.size());
                EXPECT_EQ(at<std::uint16_t>(file, end), 0);
                EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[end + 2])), evlr.UserID);
                EXPECT_EQ(at<std::uint16_t>(file, end + 18), evlr.RecordID);
                EXPECT_EQ(at<std::uint64_t>(file, end + 20), evlr.payload.size());
                EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[end + 28])), evlr.Description);
                end += 60 + evlr.payload.size();
            }
        }
        EXPECT_EQ(file.size(), end);
        EXPECT_EQ(decode_header(file.data(), file.size()).NumberOfPointRecords,
                  c.minor == 4 ? points.size() : 0);

        // Every record decodes back to its point, extra bytes included:
        // derived ones where the point brought none.
        for (std::size_t i = 0; i < points.size(); ++i) {
            const PointRecord back = decode_record(file.data() + offset + i * len, c.format, len);
            const std::vector<unsigned char> extra =
                points[i].ExtraBytes.empty() ? derived_extra_bytes(points[i], c.format, c.extra_bytes)
                                             : points[i].ExtraBytes;
            EXPECT_EQ(back.ExtraBytes, extra) << i;
            EXPECT_EQ(encode_record(back, c.format, len), encode_record(points[i], c.format, len)) << i;
        }
        if (c.extra_bytes != 0) {
            const auto first = decode_record(file.data() + offset, c.format, len).ExtraBytes;
            EXPECT_NE(first, decode_record(file.data() + offset + len, c.format, len).ExtraBytes)
                << "extra bytes differ from point to point";
        }
    }
    LasFileSpec old;
    old.evlrs.push_back({"u", 1, "", {}});
    EXPECT_THROW(write_las_file((dir.path / "x.las").string(), old, {}), std::invalid_argument)
        << "EVLRs need LAS 1.4";
}

TEST(SurveyGenerator, SameSeedSameBytesOverlappingStripsAllReturnNumbers) {
    TempDir dir("generate");
    SurveySpec spec;
    spec.directory = (dir.path / "a").string();
    spec.list_name = "list.txt";
    spec.file_stem = "line";
    spec.files = 3;
    spec.points = 30001;
    spec.PointDataFormatID = 3;
    spec.with_vlrs = true;
    spec.seed = 42;
    const auto paths = generate_survey(spec);
    ASSERT_EQ(paths.size(), 3U);
    EXPECT_EQ(paths[0], spec.directory + "/line_01.las");
    EXPECT_EQ(paths[2], spec.directory + "/line_03.las");
    const auto list = read_file(fs::path(spec.directory) / "list.txt");
    EXPECT_EQ(std::string(list.begin(), list.end()), paths[0] + "\n" + paths[1] + "\n" + paths[2] + "\n");

    SurveySpec again = spec;
    again.directory = (dir.path / "b").string();
    const auto again_paths = generate_survey(again);
    SurveySpec other_seed = spec;
    other_seed.directory = (dir.path / "c").string();
    other_seed.seed = 43;
    const auto other_paths = generate_survey(other_seed);

    unsigned long long total = 0;
    std::uint32_t by_return[5] = {0, 0, 0, 0, 0};
    std::vector<LAS12Header> headers;
    for (std::size_t f = 0; f < paths.size(); ++f) {
        SCOPED_TRACE(paths[f]);
        const auto file = read_file(paths[f]);
        EXPECT_EQ(file, read_file(again_paths[f]));
        EXPECT_NE(file, read_file(other_paths[f]));
        const LAS12Header h = header_from_bytes(file.data());
        headers.push_back(h);
        EXPECT_EQ(+h.NumberOfVariableLengthRecords, 2U);
        ASSERT_EQ(file.size(), h.OffsetToData + std::size_t{h.NumberOfPointReturns} * 34);
        total += h.NumberOfPointReturns;

        // The header agrees with the records it describes.
        std::uint32_t counted[5] = {0, 0, 0, 0, 0};
        std::int32_t min_y = 2147483647, max_y = -2147483647 - 1;
        double last_time = 0.0;
        for (std::uint32_t i = 0; i < h.NumberOfPointReturns; ++i) {
            const PointRecord p = decode_point(file.data() + h.OffsetToData + i * 34, 3);
            unsigned r = p.bitfield & 7U, n = (p.bitfield >> 3) & 7U;
            ASSERT_TRUE(r >= 1 && r <= n && n <= 5) << i;
            ++counted[r - 1];
            min_y = std::min(min_y, p.Y);
            max_y = std::max(max_y, p.Y);
            EXPECT_EQ(p.PointSourceID, f + 1);
            ASSERT_GE(p.GPSTime, last_time) << i;
            last_time = p.GPSTime;
        }
        for (int k = 0; k < 5; ++k) {
            EXPECT_EQ(counted[k], +h.NumberOfPointsByReturn[k]);
            by_return[k] += counted[k];
        }
        EXPECT_EQ(+h.MinY, actual_coordinate(min_y, h.YScaleFactor, h.YOffset));
        EXPECT_EQ(+h.MaxY, actual_coordinate(max_y, h.YScaleFactor, h.YOffset));
        EXPECT_GE(+h.MinX, spec.origin_x);
        EXPECT_LE(+h.MaxX, spec.origin_x + spec.width);
    }
    EXPECT_EQ(total, spec.points);
    for (int k = 0; k < 5; ++k) EXPECT_GT(by_return[k], 0U) << "return " << k + 1;

    // Neighbouring strips share a fifth to a third of their width.
    for (std::size_t f = 1; f < headers.size(); ++f) {
        double shared = headers[f - 1].MaxY - headers[f].MinY;
        double width = headers[f].MaxY - headers[f].MinY;
        EXPECT_GT(shared, 0.2 * width);
        EXPECT_LT(shared, 0.33 * width);
    }
}
