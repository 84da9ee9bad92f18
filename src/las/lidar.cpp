#include "lidar.hpp"

#include <sys/stat.h>

#include <cmath>
#include <cstring>

#include "console.hpp"

namespace tessaro {
namespace {

// A value printed as the character whose code is 48 plus the value.
int digit_char(unsigned value) {
    return static_cast<int>(48 + value);
}

constexpr std::size_t kFieldsRead = 107;  // through PointDataRecordLength

void print_short_file(const char* filename, long long size) {
    std::printf("\nFile %s is shorter than a LAS header (%lld of 227 bytes)\n", filename, size);
}

}  // namespace

std::int16_t file_access(const char* filename) {
    FilePtr f = open_file(filename, "r");
    if (!f) {
        std::printf("Unable to open file %s in file_access()\n", filename);
        return -1;
    }
    return 0;
}

std::int16_t check_file_extension(const char* filename, const char* extension) {
    std::size_t n = std::strlen(filename);
    if (n <= 4) {
        std::printf("\nFile name (%s) is too short\n", filename);
        return -1;
    }
    if (filename[n - 4] != '.') {
        std::printf("\nExtension of file %s should be preceeded by a dot (.)\n", filename);
        return -1;
    }
    if (std::memcmp(filename + n - 3, extension, 3) != 0) {
        std::printf("\nFile extension of %s is not .%s\n", filename, extension);
        return -1;
    }
    return 0;
}

void error_msg(int i, const char* text) {
    switch (i) {
        case 1: std::printf("\nFile %s does NOT exist\n", text); break;
        default: std::printf("\n%s\n", text); break;
    }
}

namespace {

// The checks every LAS file passes first: a regular file that can be opened,
// named *.las, beginning with the signature and holding the fields through
// PointDataRecordLength, of major version 1. Returns 0 with those bytes read
// into `bytes`, or -1 after the message.
std::int16_t check_las_start(const char* filename, unsigned char (&bytes)[kFieldsRead],
                             bool* compressed = nullptr) {
    // Only a regular file can be a LAS file. A FIFO would block the opens
    // below, and a device or directory yields no header.
    struct stat st;
    if (stat(filename, &st) == 0 && !S_ISREG(st.st_mode)) {
        std::printf("\nFile %s is not a regular file\n", filename);
        return -1;
    }
    if (file_access(filename) < 0) {
        error_msg(1, filename);
        return -1;
    }
    // Where compressed files are taken, a name in *.laz is one.
    const std::size_t n = std::strlen(filename);
    const bool laz = compressed != nullptr && n > 4 && std::strcmp(filename + n - 4, ".laz") == 0;
    if (compressed != nullptr) *compressed = laz;
    if (!laz && check_file_extension(filename, "las") < 0) return -1;

    FilePtr f = open_file(filename, "rb");
    if (!f) {
        error_msg(1, filename);
        return -1;
    }
    std::size_t got = std::fread(bytes, 1, kFieldsRead, f.get());
    if (got < 4 || std::memcmp(bytes, "LASF", 4) != 0) {
        std::printf("\n%s is not a valid .las file\n\n", filename);
        return -1;
    }
    if (got < kFieldsRead) {
        print_short_file(filename, static_cast<long long>(got));
        return -1;
    }
    if (bytes[24] != 1) {
        std::printf("\nCannot handle las files of version %c.x\n", digit_char(bytes[24]));
        return -1;
    }
    return 0;
}

void print_length_mismatch(const char* filename, unsigned format, unsigned length) {
    std::printf("\nData format of %s (%c) is incompatible with Length of Data Record (%d)\n", filename,
                digit_char(format), static_cast<int>(length));
}

}  // namespace

std::int16_t check_las(const char* filename) {
    unsigned char bytes[kFieldsRead];
    if (check_las_start(filename, bytes) < 0) return -1;
    const unsigned major = bytes[24];
    const unsigned minor = bytes[25];
    const unsigned format = bytes[104];
    const unsigned length = static_cast<unsigned>(bytes[105] | bytes[106] << 8);
    if (minor > 2) {
        std::printf("\nCannot handle las files of version %c.%c\n", digit_char(major), digit_char(minor));
        return -1;
    }
    if (format > 3) {
        std::printf("\nPointDataFormatID in %s is %c. Only 0, 1, 2, or 3 is accepted\n", filename,
                    digit_char(format));
        return -1;
    }
    if (minor < 2 && format >= 2) return 0;
    const auto code = static_cast<std::int16_t>(minor < 2 ? 2 * minor + 1 + format : 5 + format);
    if (length != point_record_size(format)) {
        print_length_mismatch(filename, format, length);
        return -1;
    }
    return code;
}

std::int16_t check_las_kind(const char* filename, LasKind& kind) {
    unsigned char bytes[kFieldsRead];
    bool compressed = false;
    if (check_las_start(filename, bytes, &compressed) < 0) return -1;
    const unsigned major = bytes[24];
    const unsigned minor = bytes[25];
    // A LAZ file marks its point format byte; a LAS file does not.
    if (((bytes[104] & kCompressedFormatBit) != 0) != compressed) {
        if (compressed)
            std::printf("\nFile %s is named .laz, but its points are not compressed\n", filename);
        else
            std::printf("\nFile %s holds compressed points (LAZ); name it .laz\n", filename);
        return -1;
    }
    const unsigned format = compressed ? bytes[104] & kCompressedFormatMask : bytes[104];
    const unsigned length = static_cast<unsigned>(bytes[105] | bytes[106] << 8);
    if (minor > 4) {
        std::printf("\nCannot handle las files of version %c.%c\n", digit_char(major), digit_char(minor));
        return -1;
    }
    if (format == 4 || format == 5 || format == 9 || format == 10) {
        std::printf(
            "\nFile %s holds waveform packets (point data format %u), which are not supported: tile a copy "
            "without waveforms (point data format 1, 3, 6, 7 or 8)\n",
            filename, format);
        return -1;
    }
    const PointFormat* pf = find_point_format(format);
    if (pf == nullptr) {
        std::printf("\nPointDataFormatID in %s is %u. Only 0, 1, 2, 3, 6, 7 or 8 is accepted\n", filename,
                    format);
        return -1;
    }
    if (pf->extended && minor < 4) {
        std::printf(
            "\nPointDataFormatID in %s is %u, which LAS 1.%u does not define; formats 6 to 8 need LAS 1.4\n",
            filename, format, minor);
        return -1;
    }
    if (minor < 2 && format >= 2) return 0;
    if (length < pf->size) {
        print_length_mismatch(filename, format, length);
        return -1;
    }
    kind.VersionMinor = static_cast<std::uint8_t>(minor);
    kind.format = *pf;
    kind.record_length = static_cast<std::uint16_t>(length);
    kind.compressed = compressed;
    return 1;
}

std::int16_t check_las_layout(const char* filename) {
    FilePtr f = open_file(filename, "rb");
    if (!f) {
        std::printf("\nCannot open %s for reading\n", filename);
        return -1;
    }
    const long long size = file_size(f.get());
    std::optional<LAS12Header> read = read_las_header(f.get());
    if (!read) {
        print_short_file(filename, size);
        return -1;
    }
    return check_las_layout_of(filename, *read, size, read->NumberOfPointReturns, kHeaderBytes);
}

std::int16_t check_las_layout_of(const char* filename, const LAS12Header& h, long long size,
                                 std::uint64_t points, std::size_t header_bytes, bool compressed) {
    if (h.HeaderSize < header_bytes) {
        if (header_bytes == kHeaderBytes)
            std::printf("\nHeaderSize of %s is %u; a LAS header holds at least 227 bytes\n", filename,
                        static_cast<unsigned>(h.HeaderSize));
        else
            std::printf("\nHeaderSize of %s is %u; a LAS 1.%u header holds at least %zu bytes\n", filename,
                        static_cast<unsigned>(h.HeaderSize), static_cast<unsigned>(h.VersionMinor),
                        header_bytes);
        return -1;
    }
    if (h.OffsetToData < h.HeaderSize) {
        std::printf("\nOffsetToData of %s (%u) lies inside its header of %u bytes\n", filename,
                    static_cast<unsigned>(h.OffsetToData), static_cast<unsigned>(h.HeaderSize));
        return -1;
    }
    // Compared without forming the product, which may pass 64 bits. The
    // records of a compressed file begin with the 8-byte offset of their
    // chunk table.
    if (compressed) {
        if (size < 0 || static_cast<std::uint64_t>(size) < std::uint64_t{h.OffsetToData} + 8) {
            std::printf("\nFile %s is truncated: it ends before the chunk table offset at byte %u\n",
                        filename, static_cast<unsigned>(h.OffsetToData));
            return -1;
        }
        points = 0;
    }
    const std::uint64_t len = h.PointDataRecordLength, offset = h.OffsetToData;
    const auto bytes = static_cast<std::uint64_t>(size < 0 ? 0 : size);
    const bool whole = size >= 0 && bytes >= offset && (len == 0 || points <= (bytes - offset) / len);
    if (!whole) {
        if (len == 0 || points <= (UINT64_MAX - offset) / len) {
            const unsigned long long needed = offset + points * len;
            std::printf(
                "\nFile %s is truncated: its %llu point records need %llu bytes, the file holds %lld\n",
                filename, static_cast<unsigned long long>(points), needed, size);
        } else
            std::printf(
                "\nFile %s is truncated: its %llu point records need %.0f bytes, the file holds %lld\n",
                filename, static_cast<unsigned long long>(points),
                static_cast<double>(points) * static_cast<double>(len) + static_cast<double>(offset), size);
        return -1;
    }
    const double scales[] = {h.XScaleFactor, h.YScaleFactor, h.ZScaleFactor};
    const double offsets[] = {h.XOffset, h.YOffset, h.ZOffset};
    for (int k = 0; k < 3; ++k) {
        if (!std::isfinite(scales[k]) || scales[k] == 0.0 || !std::isfinite(offsets[k])) {
            std::printf("\nScale factors and offsets of %s must be finite, and scale factors nonzero\n",
                        filename);
            return -1;
        }
    }
    if (!std::isfinite(h.MinX) || !std::isfinite(h.MaxX) || !std::isfinite(h.MinY) ||
        !std::isfinite(h.MaxY)) {
        std::printf("\nHeader bounds of %s are not finite numbers\n", filename);
        return -1;
    }
    if (points != 0 && (h.MinX > h.MaxX || h.MinY > h.MaxY)) {
        std::printf("\nHeader bounds of %s are inverted (minimum above maximum)\n", filename);
        return -1;
    }
    return 0;
}

std::int16_t las_type_of(const LasKind& kind) {
    const unsigned minor = kind.VersionMinor, format = kind.format.id;
    if (minor > 2 || format > 3 || kind.record_length != kind.format.size || kind.compressed)
        return kNotATypeCode;
    return static_cast<std::int16_t>(minor < 2 ? 2 * minor + 1 + format : 5 + format);
}

LasKind kind_of_type(std::int16_t las_type) {
    LasKind kind;
    kind.VersionMinor = static_cast<std::uint8_t>(las_type <= 2 ? 0 : las_type <= 4 ? 1 : 2);
    kind.format = kPointFormats[las_type <= 6 ? (las_type - 1) % 2 : las_type - 5];
    kind.record_length = kind.format.size;
    return kind;
}

std::uint16_t record_size_of_type(std::int16_t las_type) {
    switch (las_type) {
        case 1:
        case 3:
        case 5: return point_record_size(0);
        case 2:
        case 4:
        case 6: return point_record_size(1);
        case 7: return point_record_size(2);
        case 8: return point_record_size(3);
        default: return 0;
    }
}

std::optional<LAS12Header> read_las_header(std::FILE* file) {
    unsigned char image[kHeaderBytes];
    if (std::fread(image, 1, kHeaderBytes, file) != kHeaderBytes) return std::nullopt;
    return header_from_bytes(image);
}

long long file_size(std::FILE* file) {
    struct stat st;
    if (fstat(fileno(file), &st) != 0) return -1;
    return static_cast<long long>(st.st_size);
}

void credits() {
    std::printf("\nHalvorn LiDAR Utilities");
    std::printf("\n\nTessaro: cuts LAS surveys into square tiles");
    std::printf("\nPart of the Tessaro open LiDAR tools project");
    std::printf("\nSources and issues: see the project README");
    std::printf("\n\n** No warranty regarding script behavior is given or implied **");
    std::printf("\n** Acknowledging the author's efforts ensures script updates and availability **\n");
}

}  // namespace tessaro
