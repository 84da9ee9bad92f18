// The survey of the list file: count, validation, consistency and extent passes.
#pragma once

#include <cstdint>
#include <cstdio>

#include "crs_records.hpp"
#include "las_records.hpp"
#include "listed_files.hpp"

namespace tessaro {

// The most names a list may hold and the largest point total of a run.
inline constexpr unsigned long kMaxListedFiles = 65535;
inline constexpr unsigned long long kMaxPointTotal = 4294967295ULL;

// Count pass: reads every name of the list, once, into `survey`; refuses an
// empty list and a list of more names than a run can number. Returns the count.
std::uint16_t count_pass(std::FILE* fp_a, const char* ASCIIfile, ListedSurvey& survey);

// Validation pass: every name through check_las (with `any_version`, through
// check_las_kind) and the layout checks; all must be of one kind (LAS type
// code), which is returned. Notes the identity and header of every file in
// `survey`.
LasKind validation_pass(ListedSurvey& survey, const char* ASCIIfile, bool any_version);

// Reads the identity and header of a file that the checks by name accepted
// as of `kind`, and runs the layout checks on that header (of a LAZ file,
// also those of its LAZ record and chunk table): what is noted in `file` is
// what was checked. Returns 0, or -1 after a message naming the file. A file
// whose header is of another kind now was replaced in between: the run ends.
std::int16_t note_validated_file(ListedFile& file, const LasKind& kind);

// 0 when every listed file has the scale factors and offsets of the first;
// otherwise ends the run, with `name_both` naming both files and the field.
std::int16_t check_scale_and_offset_consistency(const ListedSurvey& survey, bool name_both);

// Fills `header` with the last file's header carrying the combined X/Y
// extent of all files, and returns the point total (also in `header` when it
// fits 32 bits); prints the size estimate. A total beyond kMaxPointTotal ends
// the run when `limit_total`. With `crs`, also gathers the coordinate system
// each file names in its variable-length records, reading each file again
// (and ending the run when it changed).
std::uint64_t check_output_header(const ListedSurvey& survey, LAS12Header& header, bool limit_total,
                                  SurveyCrs* crs = nullptr);

// The seven summary lines of the combined header and the point total.
void print_data_summary(const LAS12Header& header, std::uint64_t total);

}  // namespace tessaro
