// Routines shared by the LiDAR utilities: file checks, LAS file validation and
// the common banner.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

#include "las_records.hpp"

namespace tessaro {

// 0 if the file can be opened for reading, else prints a message and returns -1.
std::int16_t file_access(const char* filename);

// 0 if `filename` ends in "." followed by the three characters `extension`.
std::int16_t check_file_extension(const char* filename, const char* extension);

// Prints the message of code `i` with `text` in place of its %s.
void error_msg(int i, const char* text);

// LAS type code of the file: 1 to 8 by version and point format, 0 for version
// 1.0 or 1.1 declaring format 2 or 3, -1 (after a message) for a refused file.
std::int16_t check_las(const char* filename);

// Checks of a file that check_las accepted which make its points safe to read:
// a whole header, a header size and point offset that hold together, all
// declared point records present, finite nonzero scale factors, finite offsets
// and finite, ordered bounds. Prints a message naming the file and returns -1
// on the first failure; 0 when the file passes.
std::int16_t check_las_layout(const char* filename);

// The same checks of the header `header` of a file of `size` bytes (-1 when
// the size cannot be told) that holds `points` point records and whose
// version's header block has `header_bytes` bytes. Of a `compressed` file
// only the offset of its chunk table must lie in the file; its chunks are
// checked by their table.
std::int16_t check_las_layout_of(const char* filename, const LAS12Header& header, long long size,
                                 std::uint64_t points, std::size_t header_bytes, bool compressed = false);

// The check of check_las for a tiler that also takes LAS 1.3 and 1.4, point
// formats 6 to 8 (LAS 1.4) and records longer than their format (extra
// bytes): 1 with the file's version, format and record length in `kind`; 0
// for version 1.0 or 1.1 declaring format 2 or 3; -1 after a message. Files
// of waveform formats (4, 5, 9, 10) are refused with a hint at a copy
// without waveforms.
std::int16_t check_las_kind(const char* filename, LasKind& kind);

// The LAS type code (1 to 8) of a kind check_las takes, or kNotATypeCode
// for a kind only check_las_kind takes (LAS 1.3 and 1.4, formats 6 to 8,
// extra bytes).
inline constexpr std::int16_t kNotATypeCode = -2;
std::int16_t las_type_of(const LasKind& kind);

// The kind of LAS type code 1 to 8.
LasKind kind_of_type(std::int16_t las_type);

// Record buffer size of a LAS type code 1 to 8; 0 for any other code.
std::uint16_t record_size_of_type(std::int16_t las_type);

// Reads the 227-byte public header at the current position of `file`.
std::optional<LAS12Header> read_las_header(std::FILE* file);

// Size of an open file in bytes, or -1 if it cannot be told.
long long file_size(std::FILE* file);

// The banner of the LiDAR utilities.
void credits();

}  // namespace tessaro
