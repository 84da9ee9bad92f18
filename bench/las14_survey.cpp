// tessaro_las14_survey: writes the LAS 1.4 point format 6 copy of a survey of
// LAS 1.0 to 1.2 point format 1 files: the same records in the same order,
// every field moved to its place in format 6, so that the benchmark compares
// the two formats on the same points and nothing else.
//
//   tessaro_las14_survey LIST DIR [EXTRA_BYTES]
//
// Each file of LIST becomes DIR/<its name>; the list file is DIR/survey.txt.
// With EXTRA_BYTES every record carries that many bytes after its standard
// fields, with the survey writer's derived values and Extra Bytes VLR. The
// VLRs of the input files are not carried over (the benchmark's surveys have
// none).
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "survey_writer.hpp"

namespace {

namespace survey = tessaro::survey;

constexpr std::size_t kBlockRecords = 65536;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void fail_io(const char* what, const std::string& path) {
    throw std::runtime_error(std::string(what) + " " + path + ": " + std::strerror(errno));
}

File open_or_throw(const std::string& path, const char* mode) {
    File f(std::fopen(path.c_str(), mode));
    if (!f) fail_io("cannot open", path);
    return f;
}

void read_exact(std::FILE* f, void* data, std::size_t size, const std::string& path) {
    if (std::fread(data, 1, size, f) != size)
        throw std::runtime_error("cannot read " + path + ": " +
                                 (std::ferror(f) ? std::strerror(errno) : "file ends early"));
}

void write_exact(std::FILE* f, const void* data, std::size_t size, const std::string& path) {
    if (size != 0 && std::fwrite(data, 1, size, f) != size) fail_io("cannot write", path);
}

void seek_or_throw(std::FILE* f, long offset, const std::string& path) {
    if (std::fseek(f, offset, SEEK_SET) != 0) fail_io("cannot seek in", path);
}

// A format 1 record as format 6 holds it: return number and number of
// returns in four bits each, the scan direction and edge of flight line in
// the flags byte with the classification flags, the classification in a byte
// of its own and the scan angle in steps of 0.006 degrees.
survey::PointRecord as_format6(const unsigned char* rec) {
    survey::PointRecord p = survey::decode_point(rec, 1);
    const unsigned bits = p.bitfield, cls = p.Classification;
    p.bitfield = static_cast<std::uint8_t>((bits & 7U) | ((bits >> 3) & 7U) << 4);
    p.ExtendedFlags = static_cast<std::uint8_t>((cls >> 5) | (bits & 0xC0U));
    p.Classification = static_cast<std::uint8_t>(cls & 0x1FU);
    p.ScanAngle = static_cast<std::int16_t>(std::lround(static_cast<std::int8_t>(p.ScanAngleRank) / 0.006));
    return p;
}

void convert_file(const std::string& from, const std::string& to, unsigned extra_bytes) {
    File in = open_or_throw(from, "rb");
    unsigned char image[tessaro::kHeaderBytes];
    read_exact(in.get(), image, sizeof image, from);
    const survey::LasHeader source = survey::decode_header(image, sizeof image);
    const tessaro::LAS12Header& sh = source.base;
    if (sh.VersionMinor > 2 || sh.PointDataFormatID != 1 || sh.PointDataRecordLength != 28)
        throw std::runtime_error(from + " is not LAS 1.0 to 1.2 point format 1 with 28-byte records");

    survey::LasFileSpec spec;
    spec.VersionMinor = 4;
    spec.PointDataFormatID = 6;
    spec.GlobalEncoding = sh.GlobalEncoding;
    spec.FileSourceID = sh.FileSourceID;
    spec.extra_bytes = extra_bytes;
    spec.XScaleFactor = sh.XScaleFactor;
    spec.YScaleFactor = sh.YScaleFactor;
    spec.ZScaleFactor = sh.ZScaleFactor;
    spec.XOffset = sh.XOffset;
    spec.YOffset = sh.YOffset;
    spec.ZOffset = sh.ZOffset;
    if (extra_bytes != 0) spec.vlrs.push_back(survey::extra_bytes_vlr(extra_bytes));
    survey::LasHeader header = survey::make_las_header(spec, {});
    header.base.MinX = sh.MinX;
    header.base.MaxX = sh.MaxX;
    header.base.MinY = sh.MinY;
    header.base.MaxY = sh.MaxY;
    header.base.MinZ = sh.MinZ;
    header.base.MaxZ = sh.MaxZ;
    header.NumberOfPointRecords = sh.NumberOfPointReturns;

    File out = open_or_throw(to, "wb");
    // Written once for its room and once more with the counts by return.
    std::vector<unsigned char> head = survey::header_bytes(header);
    write_exact(out.get(), head.data(), head.size(), to);
    const std::vector<unsigned char> pre = survey::pre_point_bytes(spec);
    write_exact(out.get(), pre.data(), pre.size(), to);

    seek_or_throw(in.get(), static_cast<long>(sh.OffsetToData), from);
    const std::size_t out_length = header.base.PointDataRecordLength;
    std::vector<unsigned char> src(kBlockRecords * 28), dst(kBlockRecords * out_length);
    for (std::uint64_t left = sh.NumberOfPointReturns; left != 0;) {
        const std::size_t n = left < kBlockRecords ? static_cast<std::size_t>(left) : kBlockRecords;
        read_exact(in.get(), src.data(), n * 28, from);
        for (std::size_t i = 0; i < n; ++i) {
            const survey::PointRecord p = as_format6(src.data() + i * 28);
            const unsigned r = p.bitfield & 15U;
            if (r >= 1) ++header.NumberOfPointsByReturn[r - 1];
            survey::encode_record_into(p, 6, out_length, dst.data() + i * out_length);
        }
        write_exact(out.get(), dst.data(), n * out_length, to);
        left -= n;
    }
    seek_or_throw(out.get(), 0, to);
    head = survey::header_bytes(header);
    write_exact(out.get(), head.data(), head.size(), to);
    if (std::fclose(out.release()) != 0) fail_io("cannot close", to);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "Usage: tessaro_las14_survey LIST DIR [EXTRA_BYTES]\n");
        return 2;
    }
    const std::string list_path = argv[1], dir = argv[2];
    char* end = nullptr;
    const unsigned long extra = argc > 3 ? std::strtoul(argv[3], &end, 10) : 0;
    if (argc > 3 && (*argv[3] == '\0' || *end != '\0' || extra > 1000)) {
        std::fprintf(stderr, "tessaro_las14_survey: EXTRA_BYTES must be a whole number up to 1000\n");
        return 2;
    }
    try {
        std::filesystem::create_directories(dir);
        std::ifstream list(list_path);
        if (!list) throw std::runtime_error("cannot open " + list_path);
        std::vector<std::string> written;
        for (std::string line; std::getline(list, line);) {
            if (line.empty()) continue;
            const std::string to = dir + "/" + std::filesystem::path(line).filename().string();
            convert_file(line, to, static_cast<unsigned>(extra));
            written.push_back(to);
        }
        if (list.bad()) throw std::runtime_error("cannot read " + list_path);
        std::ofstream out(dir + "/survey.txt");
        for (const std::string& name : written) out << name << "\n";
        if (!out.flush()) throw std::runtime_error("cannot write " + dir + "/survey.txt");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessaro_las14_survey: %s\n", e.what());
        return 1;
    }
    return 0;
}
