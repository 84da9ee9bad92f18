// The LAS record layouts: the header image at its exact offsets, the common
// leading part of point records, actual coordinates and return numbers.
#include "las_records.hpp"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "survey_writer.hpp"

using namespace tessaro;

namespace {

using Image = std::array<unsigned char, kHeaderBytes>;

// The offsets here are written out on purpose: they check the record and
// the field table against the file layout rather than against themselves.
void put_le(Image& image, std::size_t offset, std::uint64_t value, std::size_t size) {
    store_le(image.data() + offset, size, value);
}

void put_double(Image& image, std::size_t offset, double value) {
    put_le(image, offset, std::bit_cast<std::uint64_t>(value), 8);
}

// A header image in which every field holds a distinct value, written byte by
// byte at the offsets of the file layout.
Image distinct_header_image() {
    Image image{};
    std::memcpy(image.data(), "LASF", 4);
    put_le(image, 4, 0x0102, 2);
    put_le(image, 6, 0x0304, 2);
    put_le(image, 8, 0x05060708, 4);
    put_le(image, 12, 0x090A, 2);
    put_le(image, 14, 0x0B0C, 2);
    for (int i = 0; i < 8; ++i) image[16 + i] = static_cast<unsigned char>(0xD0 + i);
    image[24] = 1;
    image[25] = 2;
    std::memcpy(image.data() + 26, "SYSTEM-IDENTIFIER-32-BYTES-LONG!", 32);
    std::memcpy(image.data() + 58, "GENERATING-SOFTWARE-32-BYTES-OK!", 32);
    put_le(image, 90, 123, 2);
    put_le(image, 92, 2026, 2);
    put_le(image, 94, 235, 2);
    put_le(image, 96, 0x00012345, 4);
    put_le(image, 100, 3, 4);
    image[104] = 3;
    put_le(image, 105, 34, 2);
    put_le(image, 107, 0xF0E0D0C0, 4);
    for (int k = 0; k < 5; ++k) put_le(image, 111 + 4 * k, 1000u + k, 4);
    const double doubles[12] = {0.01,      0.02,      0.001,     500000.0,   4000000.0, -12.5,
                                623456.78, 500000.25, 4002000.5, 3999999.75, 250.125,   -3.5};
    for (int k = 0; k < 12; ++k) put_double(image, 131 + 8 * k, doubles[k]);
    return image;
}

TEST(LasHeader, DecodesEveryFieldAtItsOffset) {
    const Image image = distinct_header_image();
    const LAS12Header h = header_from_bytes(image.data());
    EXPECT_EQ(std::memcmp(h.LASF, "LASF", 4), 0);
    EXPECT_EQ(+h.FileSourceID, 0x0102);
    EXPECT_EQ(+h.GlobalEncoding, 0x0304);
    EXPECT_EQ(+h.GUIDData1, 0x05060708u);
    EXPECT_EQ(+h.GUIDData2, 0x090A);
    EXPECT_EQ(+h.GUIDData3, 0x0B0C);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(h.GUIDData4[i], 0xD0 + i);
    EXPECT_EQ(h.VersionMajor, 1);
    EXPECT_EQ(h.VersionMinor, 2);
    EXPECT_EQ(std::memcmp(h.SystemIdentifier, "SYSTEM-IDENTIFIER-32-BYTES-LONG!", 32), 0);
    EXPECT_EQ(std::memcmp(h.GeneratingSoftware, "GENERATING-SOFTWARE-32-BYTES-OK!", 32), 0);
    EXPECT_EQ(+h.FileCreationDay, 123);
    EXPECT_EQ(+h.FileCreationYear, 2026);
    EXPECT_EQ(+h.HeaderSize, 235);
    EXPECT_EQ(+h.OffsetToData, 0x00012345u);
    EXPECT_EQ(+h.NumberOfVariableLengthRecords, 3u);
    EXPECT_EQ(h.PointDataFormatID, 3);
    EXPECT_EQ(+h.PointDataRecordLength, 34);
    EXPECT_EQ(+h.NumberOfPointReturns, 0xF0E0D0C0u);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(+h.NumberOfPointsByReturn[k], 1000u + k);
    EXPECT_EQ(+h.XScaleFactor, 0.01);
    EXPECT_EQ(+h.YScaleFactor, 0.02);
    EXPECT_EQ(+h.ZScaleFactor, 0.001);
    EXPECT_EQ(+h.XOffset, 500000.0);
    EXPECT_EQ(+h.YOffset, 4000000.0);
    EXPECT_EQ(+h.ZOffset, -12.5);
    // The bounds stand maximum before minimum.
    EXPECT_EQ(+h.MaxX, 623456.78);
    EXPECT_EQ(+h.MinX, 500000.25);
    EXPECT_EQ(+h.MaxY, 4002000.5);
    EXPECT_EQ(+h.MinY, 3999999.75);
    EXPECT_EQ(+h.MaxZ, 250.125);
    EXPECT_EQ(+h.MinZ, -3.5);
}

TEST(LasHeader, EncodingReproducesTheImageByteForByte) {
    const Image image = distinct_header_image();
    Image again{};
    header_to_bytes(header_from_bytes(image.data()), again.data());
    EXPECT_EQ(again, image);
}

TEST(PointRecord, EveryFormatSharesTheLeadingFifteenBytes) {
    survey::PointRecord p;
    p.X = -123456789;
    p.Y = 0x12345678;
    p.Z = -5;
    p.Intensity = 0xBEEF;
    p.bitfield = 0x92;
    p.Classification = 6;
    p.GPSTime = 1234.5;
    p.Red = 7;
    for (unsigned format = 0; format <= 3; ++format) {
        SCOPED_TRACE(format);
        const std::vector<unsigned char> bytes = survey::encode_point(p, format);
        ASSERT_EQ(bytes.size(), point_record_size(format));
        const ReturnStruct r = return_from_bytes(bytes.data());
        EXPECT_EQ(r.X, -123456789);
        EXPECT_EQ(r.Y, 0x12345678);
        EXPECT_EQ(r.Z, -5);
        EXPECT_EQ(r.Intensity, 0xBEEF);
        EXPECT_EQ(static_cast<std::uint8_t>(r.bitfield), 0x92);
        EXPECT_EQ(return_number(r.bitfield), 2u);
    }
    EXPECT_EQ(point_record_size(0), 20);
    EXPECT_EQ(point_record_size(1), 28);
    EXPECT_EQ(point_record_size(2), 26);
    EXPECT_EQ(point_record_size(3), 34);
    EXPECT_EQ(point_record_size(4), 0);
}

TEST(PointRecord, ActualCoordinateIsScaleThenOffsetOfTheSignedInteger) {
    EXPECT_EQ(actual_coordinate(12345678, 0.01, 500000.0), 623456.78);
    EXPECT_EQ(actual_coordinate(-2147483647 - 1, 0.01, 500000.0), -2147483648.0 * 0.01 + 500000.0);
    EXPECT_NEAR(actual_coordinate(-2147483647 - 1, 0.01, 500000.0), -20974836.48, 1e-6);
    EXPECT_EQ(actual_coordinate(0, 0.001, -12.5), -12.5);
}

TEST(PointRecord, ReturnNumberIsTheThreeLowestBits) {
    struct Case {
        std::uint8_t byte;
        unsigned number;
    };
    for (const Case c : {Case{0x92, 2}, Case{0x00, 0}, Case{0x01, 1}, Case{0xFF, 7}, Case{0x8D, 5},
                         Case{0x7E, 6}, Case{0x49, 1}}) {
        SCOPED_TRACE(static_cast<int>(c.byte));
        EXPECT_EQ(return_number(static_cast<std::int8_t>(c.byte)), c.number);
    }
}

}  // namespace
