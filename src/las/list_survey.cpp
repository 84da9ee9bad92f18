#include "list_survey.hpp"

#include <sys/stat.h>

#include <new>
#include <string>
#include <utility>

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

bool same_kind(const LasKind& a, const LasKind& b) {
    return a.VersionMinor == b.VersionMinor && a.format.id == b.format.id &&
           a.record_length == b.record_length && a.compressed == b.compressed;
}

}  // namespace

std::int16_t note_validated_file(ListedFile& file, const LasKind& kind) {
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
    const LAS12Header& h = file.header = *read;
    const unsigned format =
        kind.compressed ? h.PointDataFormatID & kCompressedFormatMask : h.PointDataFormatID;
    if (h.VersionMinor != kind.VersionMinor || format != kind.format.id ||
        h.PointDataRecordLength != kind.record_length)
        fail("\nFile %s has changed since it was validated\n", name);
    file.header_bytes = static_cast<std::uint16_t>(kind.header_bytes());
    const std::size_t more = file.header_bytes - kHeaderBytes;
    unsigned char bytes[kLAS14HeaderBytes - kHeaderBytes];
    if (std::fread(bytes, 1, more, f.get()) != more) {
        std::printf("\nFile %s is shorter than a LAS 1.%u header (%llu of %u bytes)\n", name,
                    static_cast<unsigned>(kind.VersionMinor), static_cast<unsigned long long>(size),
                    static_cast<unsigned>(file.header_bytes));
        return -1;
    }
    const LAS14HeaderExtension& e = file.extension = extension_from_bytes(bytes, more);
    file.points = h.NumberOfPointReturns;
    if (kind.counts_in_64_bits()) {
        // The legacy count is zero, or the same count where it fits.
        if (h.NumberOfPointReturns != 0 && h.NumberOfPointReturns != e.NumberOfPointRecords) {
            std::printf(
                "\nFile %s counts %u point records in its legacy field and %llu in its LAS 1.4 field\n", name,
                static_cast<unsigned>(h.NumberOfPointReturns),
                static_cast<unsigned long long>(e.NumberOfPointRecords));
            return -1;
        }
        file.points = e.NumberOfPointRecords;
    }
    if (check_las_layout_of(name, h, static_cast<long long>(size), file.points, file.header_bytes,
                            kind.compressed) < 0)
        return -1;
    const std::uint64_t points_end = kind.compressed ? first_chunk_offset(h.OffsetToData)
                                                     : h.OffsetToData + file.points * h.PointDataRecordLength;
    if (kind.counts_in_64_bits() &&
        !locate_evlrs(name, fileno(f.get()), e.StartOfFirstExtendedVariableLengthRecord,
                      e.NumberOfExtendedVariableLengthRecords, points_end, size, file.evlrs))
        return -1;
    if (!kind.compressed) return 0;
    const std::uint64_t data_end = e.NumberOfExtendedVariableLengthRecords != 0 ? file.evlrs.begin : size;
    return check_laz_input(name, f.get(), h, kind, file.points, data_end, file.laz) ? 0 : -1;
}

namespace {

std::string version_text(const LasKind& k) {
    return "1." + std::to_string(k.VersionMinor);
}

// Ends the run when `file` is of another kind than the first file `first`,
// naming both and what differs.
void refuse_other_kind(const ListedFile& first, const LasKind& a, const ListedFile& file, const LasKind& b) {
    if (a.compressed != b.compressed)
        fail("\nThe list names both LAS and LAZ files (%s and %s): tile each kind in a run of its own\n",
             (a.compressed ? file : first).name.c_str(), (a.compressed ? first : file).name.c_str());
    const char* field = "LAS version";
    std::string va = version_text(a), vb = version_text(b);
    if (a.VersionMinor == b.VersionMinor && a.format.id != b.format.id) {
        field = "point data format";
        va = std::to_string(a.format.id);
        vb = std::to_string(b.format.id);
    } else if (a.VersionMinor == b.VersionMinor) {
        field = "point record length";
        va = std::to_string(a.record_length);
        vb = std::to_string(b.record_length);
    }
    fail("\nFiles %s and %s differ in their %s (%s and %s): all files of a run must share it\n",
         first.name.c_str(), file.name.c_str(), field, va.c_str(), vb.c_str());
}

}  // namespace

LasKind validation_pass(ListedSurvey& survey, const char* ASCIIfile, bool any_version) {
    std::int16_t LASType_cmp = 0;
    LasKind run_kind;
    bool first = true;
    for (ListedFile& file : survey.files) {
        const char* name = file.name.c_str();
        LasKind kind;
        std::int16_t LASType = any_version ? check_las_kind(name, kind) : check_las(name);
        if (LASType > 0) {
            // A kind check_las takes is told by its type code in either check.
            if (any_version)
                LASType = las_type_of(kind);
            else
                kind = kind_of_type(LASType);
        }
        if (LASType == 0) {
            std::printf(
                "\nFile %s declares point data format 2 or 3, which its LAS version 1.0 or 1.1 "
                "does not define\n",
                name);
            LASType = -1;
        } else if (LASType != -1 && note_validated_file(file, kind) < 0) {
            LASType = -1;
        }
        if (LASType == -1) fail("\n%s is not a valid LAS file\n", name);
        if (first) {
            LASType_cmp = LASType;
            run_kind = kind;
            first = false;
        } else if (!same_kind(kind, run_kind)) {
            if (any_version || LASType < 0 || LASType_cmp < 0)
                refuse_other_kind(survey.files.front(), run_kind, file, kind);
            fail(
                "\nFile %s in %s is of type %d which is incompatible with the type (%d) of previous files "
                "in the list\n",
                name, ASCIIfile, LASType, LASType_cmp);
        }
    }
    return run_kind;
}

std::int16_t check_scale_and_offset_consistency(const ListedSurvey& survey, bool name_both) {
    static constexpr const char* kFields[6] = {"X scale factor", "Y scale factor", "Z scale factor",
                                               "X offset",       "Y offset",       "Z offset"};
    const ListedFile& first = survey.files.front();
    const LAS12Header& ref = first.header;
    const double reference[6] = {ref.XScaleFactor, ref.YScaleFactor, ref.ZScaleFactor,
                                 ref.XOffset,      ref.YOffset,      ref.ZOffset};
    for (const ListedFile& file : survey.files) {
        const LAS12Header& h = file.header;
        const double values[6] = {h.XScaleFactor, h.YScaleFactor, h.ZScaleFactor,
                                  h.XOffset,      h.YOffset,      h.ZOffset};
        for (int k = 0; k < 6; ++k) {
            if (values[k] == reference[k]) continue;
            if (!name_both)
                fail("Scale mismatch between file %s and previous files in the list\n", file.name.c_str());
            // Values that differ in their last bit print differently only
            // with every digit that tells them apart.
            fail("\nFiles %s and %s differ in their %s (%.17g and %.17g): all files of a run must share it\n",
                 first.name.c_str(), file.name.c_str(), kFields[k], reference[k], values[k]);
        }
    }
    return 0;
}

std::uint64_t check_output_header(const ListedSurvey& survey, LAS12Header& header, bool limit_total,
                                  SurveyCrs* crs) {
    unsigned long long total = 0;
    double min_x = 1e13, min_y = 1e13, max_x = -1e13, max_y = -1e13;
    for (const ListedFile& file : survey.files) {
        header = file.header;
        if (crs != nullptr) {
            FilePtr f = reopen_listed(file);
            if (!f) fail("\nCannot open %s for reading\n", file.name.c_str());
            CrsName name = read_crs_name(f.get(), header);
            if (file.extension.NumberOfExtendedVariableLengthRecords != 0)
                add_extended_crs_records(f.get(), file.evlrs.begin,
                                         file.extension.NumberOfExtendedVariableLengthRecords, file.evlrs.end,
                                         name);
            add_file_crs(*crs, std::move(name));
        }
        total += file.points;
        if (limit_total && total > kMaxPointTotal)
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
    return total;
}

void print_data_summary(const LAS12Header& header, std::uint64_t total) {
    std::printf("\nTotal Number of Points in data: %15llu\n", static_cast<unsigned long long>(total));
    std::printf("Min X in data:                  %18.2f\n", header.MinX);
    std::printf("Max X in data:                  %18.2f\n", header.MaxX);
    std::printf("Min Y in data:                  %18.2f\n", header.MinY);
    std::printf("Max Y in data:                  %18.2f\n", header.MaxY);
    std::printf("X Range:                        %18.2f\n", header.MaxX - header.MinX);
    std::printf("Y Range:                        %18.2f\n", header.MaxY - header.MinY);
}

}  // namespace tessaro
