#include "list_survey.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <string>

#include "console.hpp"
#include "lidar.hpp"
#include "list_file.hpp"

namespace tessaro {
namespace {

// Opens a listed file and reads its header, ending the run on failure. With
// `crs`, the file's coordinate system records are read too, while it is open.
LAS12Header read_listed_header(const std::string& name, SurveyCrs* crs = nullptr) {
    FilePtr f = open_file(name.c_str(), "rb");
    if (!f) fail("\nCannot open %s for reading\n", name.c_str());
    std::optional<LAS12Header> header = read_las_header(f.get());
    if (!header) fail("\nCannot read the LAS header of %s\n", name.c_str());
    if (crs != nullptr) add_file_crs(*crs, read_crs_name(f.get(), *header));
    return *header;
}

}  // namespace

std::uint16_t count_pass(std::FILE* fp_a, const char* ASCIIfile) {
    // A directory opens like a file but yields no text; it is no list file.
    struct stat st;
    if (fstat(fileno(fp_a), &st) == 0 && S_ISDIR(st.st_mode))
        fail("\nCannot open ASCII file %s for reading\n", ASCIIfile);
    unsigned long count = 0;
    std::string token;
    while (read_token(fp_a, token)) {
        if (++count > kMaxListedFiles)
            fail("\nFile %s names more than %lu files, the most one run can tile\n", ASCIIfile,
                 kMaxListedFiles);
    }
    if (count == 0) fail("\nFile %s is empty!\n\n", ASCIIfile);
    return static_cast<std::uint16_t>(count);
}

std::int16_t validation_pass(std::FILE* fp_a, const char* ASCIIfile) {
    std::int16_t LASType_cmp = 0;
    bool first = true;
    std::string filename;
    while (read_token(fp_a, filename)) {
        const char* name = filename.c_str();
        std::int16_t LASType = check_las(name);
        if (LASType == 0) {
            std::printf(
                "\nFile %s declares point data format 2 or 3, which its LAS version 1.0 or 1.1 "
                "does not define\n",
                name);
            LASType = -1;
        } else if (LASType > 0 && check_las_layout(name) < 0) {
            LASType = -1;
        }
        if (LASType < 0) fail("\n%s is not a valid LAS file\n", name);
        if (first) {
            LASType_cmp = LASType;
            first = false;
        } else if (LASType != LASType_cmp) {
            fail(
                "\nFile %s in %s is of type %d which is incompatible with the type (%d) of previous files "
                "in the list\n",
                name, ASCIIfile, LASType, LASType_cmp);
        }
    }
    return LASType_cmp;
}

std::int16_t check_scale_and_offset_consistency(std::FILE* fp_a, ListedHeaders& listed) {
    rewind_list(fp_a);
    listed.digests.clear();
    bool first = true;
    double reference[6] = {};
    std::string filename;
    while (read_token(fp_a, filename)) {
        const LAS12Header h = read_listed_header(filename);
        note_listed_header(listed, h);
        const double values[6] = {h.XScaleFactor, h.YScaleFactor, h.ZScaleFactor,
                                  h.XOffset,      h.YOffset,      h.ZOffset};
        if (first) {
            std::copy(values, values + 6, reference);
            first = false;
            continue;
        }
        for (int k = 0; k < 6; ++k) {
            if (!(values[k] == reference[k]))
                fail("Scale mismatch between file %s and previous files in the list\n", filename.c_str());
        }
    }
    return 0;
}

void check_output_header(std::FILE* fp_ascii, LAS12Header& header, const ListedHeaders& listed,
                         SurveyCrs* crs) {
    rewind_list(fp_ascii);
    unsigned long long total = 0;
    double min_x = 1e13, min_y = 1e13, max_x = -1e13, max_y = -1e13;
    std::string filename;
    for (std::size_t nth = 0; read_token(fp_ascii, filename); ++nth) {
        header = read_listed_header(filename, crs);
        check_listed_header(listed, nth, header, filename.c_str());
        total += header.NumberOfPointReturns;
        if (total > kMaxPointTotal)
            fail("\nThe files in the list hold more than %llu points, the most one run can tile\n",
                 kMaxPointTotal);
        if (header.MaxX > max_x) max_x = header.MaxX;
        if (header.MaxY > max_y) max_y = header.MaxY;
        if (header.MinX < min_x) min_x = header.MinX;
        if (header.MinY < min_y) min_y = header.MinY;
    }
    header.NumberOfPointReturns = static_cast<std::uint32_t>(total);
    header.MaxX = max_x;
    header.MaxY = max_y;
    header.MinX = min_x;
    header.MinY = min_y;
    const double estimate = (static_cast<double>(header.PointDataRecordLength) * static_cast<double>(total) +
                             static_cast<double>(header.OffsetToData)) /
                            1000000;
    std::printf("Approximately %.1f MB to be distributed in tiles\n", estimate);
    rewind_list(fp_ascii);
}

void print_data_summary(const LAS12Header& header) {
    std::printf("\nTotal Number of Points in data: %15ld\n", static_cast<long>(header.NumberOfPointReturns));
    std::printf("Min X in data:                  %18.2f\n", header.MinX);
    std::printf("Max X in data:                  %18.2f\n", header.MaxX);
    std::printf("Min Y in data:                  %18.2f\n", header.MinY);
    std::printf("Max Y in data:                  %18.2f\n", header.MaxY);
    std::printf("X Range:                        %18.2f\n", header.MaxX - header.MinX);
    std::printf("Y Range:                        %18.2f\n", header.MaxY - header.MinY);
}

}  // namespace tessaro
