#include "tile_stats.hpp"
#include "tile_headers.hpp"
#include "tile_table.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "las_bytes.hpp"

using namespace tessaro;

namespace {

LAS12Header header_with(double scale, double offset) {
    LAS12Header h;
    std::memset(&h, 0, sizeof h);
    h.XScaleFactor = h.YScaleFactor = h.ZScaleFactor = scale;
    h.XOffset = h.YOffset = h.ZOffset = offset;
    return h;
}

// A point record of format 0 (20 bytes) as the tile file receives it.
struct Record {
    unsigned char bytes[20] = {};
};

Record record(std::int32_t x, std::int32_t y, std::int32_t z, unsigned return_number) {
    Record r;
    store_i32le(r.bytes, x);
    store_i32le(r.bytes + 4, y);
    store_i32le(r.bytes + 8, z);
    r.bytes[14] = static_cast<unsigned char>(0x08 | return_number);  // one of one return, or so
    return r;
}

// Counts `records`, written together from the file with header `h`, in tile (i, j).
void count(const std::vector<Record>& records, std::uint16_t i, std::uint16_t j, const LAS12Header& h) {
    std::vector<unsigned char> run;
    for (const Record& r : records) run.insert(run.end(), r.bytes, r.bytes + sizeof r.bytes);
    count_records(_tileInfo.at(i, j), run.data(), run.data() + run.size(), sizeof(Record::bytes), h);
}

class TileStats : public testing::Test {
  protected:
    void SetUp() override { initializeTileStructure(2, 3); }
};

TEST_F(TileStats, StartsWithSentinelsAndZeroCounts) {
    ASSERT_EQ(_tileInfo.Rows, 2U);
    ASSERT_EQ(_tileInfo.Cols, 3U);
    EXPECT_EQ(_tileInfo.find(1, 2), nullptr);  // nothing is held for a tile never touched
    EXPECT_EQ(_tileInfo.points_in(1, 2), 0U);
    const TileStruct& t = _tileInfo.at(1, 2);
    EXPECT_EQ(t.nPts, 0U);
    EXPECT_EQ(t.Xmin, 1.0e13);
    EXPECT_EQ(t.Ymin, 1.0e13);
    EXPECT_EQ(t.Zmin, 1.0e13);
    EXPECT_EQ(t.Xmax, -1.0e13);
    EXPECT_EQ(t.Ymax, -1.0e13);
    EXPECT_EQ(t.Zmax, -1.0e13);
    for (std::uint32_t n : t.Ret) EXPECT_EQ(n, 0U);
}

TEST_F(TileStats, SingleRecordSetsMinimumEqualToMaximum) {
    const LAS12Header h = header_with(0.01, 1000.0);
    count({record(1234, -5678, 42, 3)}, 0, 1, h);
    const TileStruct& t = _tileInfo.at(0, 1);
    EXPECT_EQ(t.nPts, 1U);
    EXPECT_EQ(t.tmpNPts, 1U);
    EXPECT_EQ(t.Xmin, 1234 * 0.01 + 1000.0);
    EXPECT_EQ(t.Xmax, t.Xmin);
    EXPECT_EQ(t.Ymin, -5678 * 0.01 + 1000.0);
    EXPECT_EQ(t.Ymax, t.Ymin);
    EXPECT_EQ(t.Zmin, 42 * 0.01 + 1000.0);
    EXPECT_EQ(t.Zmax, t.Zmin);
    EXPECT_EQ(t.Ret[2], 1U);
    EXPECT_EQ(t.Ret[0] + t.Ret[1] + t.Ret[3] + t.Ret[4], 0U);
    EXPECT_EQ(_tileInfo.at(0, 0).nPts, 0U);  // only the addressed tile changes
}

TEST_F(TileStats, ReturnNumbersZeroSixSevenCountInNoEntry) {
    const LAS12Header h = header_with(1.0, 0.0);
    std::vector<Record> run;
    for (unsigned n : {0, 1, 2, 3, 4, 5, 6, 7, 5, 1}) run.push_back(record(0, 0, 0, n));
    count(run, 1, 0, h);
    const TileStruct& t = _tileInfo.at(1, 0);
    EXPECT_EQ(t.nPts, 10U);
    EXPECT_EQ(t.tmpNPts, 10U);
    const std::uint32_t want[5] = {2, 1, 1, 1, 2};
    for (int k = 0; k < 5; ++k) EXPECT_EQ(t.Ret[k], want[k]) << "return " << k + 1;
}

TEST_F(TileStats, ReturnNumberIsTheLowThreeBitsOnly) {
    const LAS12Header h = header_with(1.0, 0.0);
    Record p = record(0, 0, 0, 2);
    p.bytes[14] = 0xFA;  // edge of flight line, scan direction, 7 returns, return 2
    count({p}, 0, 0, h);
    EXPECT_EQ(_tileInfo.at(0, 0).Ret[1], 1U);
}

TEST_F(TileStats, BoundsUseEachRecordsOwnFileScaleAndOffset) {
    const LAS12Header a = header_with(0.01, 0.0);
    const LAS12Header b = header_with(0.001, 500.0);
    count({record(100, 100, 100, 1)}, 0, 2, a);     // 1.0
    count({record(-400000, 2000, 0, 1)}, 0, 2, b);  // 100.0, 502.0, 500.0
    const TileStruct& t = _tileInfo.at(0, 2);
    EXPECT_EQ(t.Xmin, 100 * 0.01);
    EXPECT_EQ(t.Xmax, -400000 * 0.001 + 500.0);
    EXPECT_EQ(t.Ymin, 100 * 0.01);
    EXPECT_EQ(t.Ymax, 2000 * 0.001 + 500.0);
    EXPECT_EQ(t.Zmin, 100 * 0.01);
    EXPECT_EQ(t.Zmax, 500.0);
}

// -0.0 and +0.0 compare equal, so only a strict comparison keeps the first
// one seen as both bounds.
TEST_F(TileStats, EqualCoordinateLeavesTheBoundUnchanged) {
    const LAS12Header negative_zero = header_with(-1.0, -0.0);  // 0 * -1 + -0 = -0
    const LAS12Header positive_zero = header_with(1.0, 0.0);
    count({record(0, 0, 0, 1)}, 1, 1, negative_zero);
    count({record(0, 0, 0, 1), record(0, 0, 0, 1)}, 1, 1, positive_zero);
    const TileStruct& t = _tileInfo.at(1, 1);
    for (double bound : {t.Xmin, t.Xmax, t.Ymin, t.Ymax, t.Zmin, t.Zmax}) {
        EXPECT_EQ(bound, 0.0);
        EXPECT_TRUE(std::signbit(bound));
    }
}

TEST_F(TileStats, PerFileCountRestartsWhileTotalsAccumulate) {
    const LAS12Header h = header_with(1.0, 0.0);
    count({record(1, 1, 1, 1), record(2, 2, 2, 2)}, 0, 0, h);
    _tileInfo.at(0, 0).tmpNPts = 0;  // the distribution resets it for the next input file
    count({record(3, 3, 3, 1)}, 0, 0, h);
    const TileStruct& t = _tileInfo.at(0, 0);
    EXPECT_EQ(t.nPts, 3U);
    EXPECT_EQ(t.tmpNPts, 1U);
    EXPECT_EQ(t.Ret[0], 2U);
    EXPECT_EQ(t.Ret[1], 1U);
    EXPECT_EQ(t.Xmin, 1.0);
    EXPECT_EQ(t.Xmax, 3.0);
}

}  // namespace

// The counts a tile header carries, for a tile within 32 bits and one past
// them: LAS 1.4 formats 0 to 3 keep the legacy counts only where the count
// fits, formats 6 to 8 never fill them; the 64-bit fields always count.
TEST_F(TileStats, LegacyCountsOnlyWhereTheFormatAndTheCountAllowThem) {
    struct Case {
        unsigned format;
        std::uint64_t points;
        bool legacy;
    };
    const Case cases[] = {
        {1, 7, true},
        {1, std::uint64_t{UINT32_MAX} + 1, false},
        {6, 7, false},
        {6, std::uint64_t{UINT32_MAX} + 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << ", " << c.points << " points");
        TileStruct t = _tileInfo.at(0, 0);
        t.nPts = c.points;
        t.Ret[0] = c.points - 2;
        t.Ret[1] = 2;
        LasKind kind;
        kind.VersionMinor = 4;
        kind.format = *find_point_format(c.format);
        kind.record_length = kind.format.size;
        ListedFile creator;
        LAS12Header h = header_with(0.01, 0);
        h.NumberOfPointReturns = static_cast<std::uint32_t>(c.points);
        h.NumberOfPointsByReturn[0] = static_cast<std::uint32_t>(c.points - 2);
        h.NumberOfPointsByReturn[1] = 2;
        const LAS14HeaderExtension e = tile_extension(t, kind, creator, 1000, h);
        // The packed records' fields are read by value, never bound to a reference.
        const std::uint64_t counts[3] = {e.NumberOfPointRecords, e.NumberOfPointsByReturn[0],
                                         e.NumberOfPointsByReturn[1]};
        const std::uint64_t legacy[3] = {h.NumberOfPointReturns, h.NumberOfPointsByReturn[0],
                                         h.NumberOfPointsByReturn[1]};
        const std::uint64_t expected[3] = {c.points, c.points - 2, 2};
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(counts[k], expected[k]) << k;
            EXPECT_EQ(legacy[k], c.legacy ? expected[k] : 0U) << k;
        }
    }
}
