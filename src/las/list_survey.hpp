// The survey of the list file: count, validation, consistency and extent passes.
#pragma once

#include <cstdint>
#include <cstdio>

#include "crs_records.hpp"
#include "las_records.hpp"
#include "listed_headers.hpp"

namespace tessaro {

// The most names a list may hold and the largest point total of a run.
inline constexpr unsigned long kMaxListedFiles = 65535;
inline constexpr unsigned long long kMaxPointTotal = 4294967295ULL;

// Count pass: the number of names in the list; refuses an empty list and a list
// of more names than a run can number.
std::uint16_t count_pass(std::FILE* fp_a, const char* ASCIIfile);

// Validation pass: every name through check_las and the layout checks; all must
// share one LAS type code, which is returned.
std::int16_t validation_pass(std::FILE* fp_a, const char* ASCIIfile);

// 0 when every listed file has the scale factors and offsets of the first;
// otherwise ends the run. Notes every header in `listed` for the later passes.
std::int16_t check_scale_and_offset_consistency(std::FILE* fp_a, ListedHeaders& listed);

// Fills `header` with the last file's header carrying the point total and the
// combined X/Y extent of all files; prints the size estimate. With `crs`, also
// gathers the coordinate system each file names in its variable-length records.
// Ends the run when a header differs from what `listed` noted of it.
void check_output_header(std::FILE* fp_ascii, LAS12Header& header, const ListedHeaders& listed,
                         SurveyCrs* crs = nullptr);

// The seven summary lines of the combined header.
void print_data_summary(const LAS12Header& header);

}  // namespace tessaro
