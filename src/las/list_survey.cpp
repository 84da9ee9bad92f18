#include "list_survey.hpp"

#include <sys/stat.h>

#include <new>
#include <string>

#include "console.hpp"
#include "lidar.hpp"
#include "list_file.hpp"

namespace tessaro {

std::uint16_t count_pass(std::FILE* fp_a, const char* ASCIIfile, ListedSurvey& survey) {
    // A directory opens like a file but yields no text; it is no list file.
    struct stat st;
    if (fstat(fileno(fp_a), &st) == 0 && S_ISDIR(st.st_mode))
        fail("\nCannot open ASCII file %s for reading\n", ASCIIfile);
    survey.list_id = FileId{st.st_dev, st.st_ino};
    survey.files.clear();
    std::string token;
    try {
        while (read_token(fp_a, token)) {
            if (survey.files.size() >= kMaxListedFiles)
                fail("\nFile %s names more than %lu files, the most one run can tile\n", ASCIIfile,
                     kMaxListedFiles);
            survey.files.push_back(ListedFile{.name = token});
        }
    } catch (const std::bad_alloc&) {
        fail_line("Failed to allocate memory for the names of the input files");
    }
    if (survey.files.empty()) fail("\nFile %s is empty!\n\n", ASCIIfile);
    return static_cast<std::uint16_t>(survey.files.size());
}

namespace {

// Reads the identity and header of a file that check_las accepted, and runs
// the layout checks on that header: what is noted is what was checked. A
// file whose type differs from the one check_las found was replaced in
// between.
std::int16_t note_validated_file(ListedFile& file, std::int16_t LASType) {
    const char* name = file.name.c_str();
    FilePtr f = open_file(name, "rb");
    if (!f) {
        std::printf("\nCannot open %s for reading\n", name);
        return -1;
    }
    std::uint64_t size = 0;
    if (!identify_open_file(fileno(f.get()), file.id, size)) {
        std::printf("\nCannot open %s for reading\n", name);
        return -1;
    }
    file.size = size;
    std::optional<LAS12Header> read = read_las_header(f.get());
    if (!read) return check_las_layout(name);  // its message for a short file
    file.header = *read;
    if (las_type_of(file.header) != LASType) fail("\nFile %s has changed since it was validated\n", name);
    return check_las_layout_of(name, file.header, static_cast<long long>(size));
}

}  // namespace

std::int16_t validation_pass(ListedSurvey& survey, const char* ASCIIfile) {
    std::int16_t LASType_cmp = 0;
    bool first = true;
    for (ListedFile& file : survey.files) {
        const char* name = file.name.c_str();
        std::int16_t LASType = check_las(name);
        if (LASType == 0) {
            std::printf(
                "\nFile %s declares point data format 2 or 3, which its LAS version 1.0 or 1.1 "
                "does not define\n",
                name);
            LASType = -1;
        } else if (LASType > 0 && note_validated_file(file, LASType) < 0) {
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

std::int16_t check_scale_and_offset_consistency(const ListedSurvey& survey) {
    const LAS12Header& ref = survey.files.front().header;
    const double reference[6] = {ref.XScaleFactor, ref.YScaleFactor, ref.ZScaleFactor,
                                 ref.XOffset,      ref.YOffset,      ref.ZOffset};
    for (const ListedFile& file : survey.files) {
        const LAS12Header& h = file.header;
        const double values[6] = {h.XScaleFactor, h.YScaleFactor, h.ZScaleFactor,
                                  h.XOffset,      h.YOffset,      h.ZOffset};
        for (int k = 0; k < 6; ++k) {
            if (!(values[k] == reference[k]))
                fail("Scale mismatch between file %s and previous files in the list\n", file.name.c_str());
        }
    }
    return 0;
}

void check_output_header(const ListedSurvey& survey, LAS12Header& header, SurveyCrs* crs) {
    unsigned long long total = 0;
    double min_x = 1e13, min_y = 1e13, max_x = -1e13, max_y = -1e13;
    for (const ListedFile& file : survey.files) {
        header = file.header;
        if (crs != nullptr) {
            FilePtr f = reopen_listed(file);
            if (!f) fail("\nCannot open %s for reading\n", file.name.c_str());
            add_file_crs(*crs, read_crs_name(f.get(), header));
        }
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
