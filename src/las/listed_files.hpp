// The files a list names, read from the list once. Every pass of a run works
// from this survey: the names in list order, and for each file the identity
// (device, inode, size) and the header it had when it was validated. A file
// opened again is checked against it, so a list or an input that changes
// during the run is refused instead of being read as a different survey.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "console.hpp"
#include "evlr_records.hpp"
#include "las_records.hpp"
#include "laz_input.hpp"

namespace tessaro {

// A file as the system knows it, under whatever name it is reached.
struct FileId {
    dev_t dev;
    ino_t ino;
};

inline bool operator==(const FileId& a, const FileId& b) {
    return a.dev == b.dev && a.ino == b.ino;
}
inline bool operator<(const FileId& a, const FileId& b) {
    return a.dev != b.dev ? a.dev < b.dev : a.ino < b.ino;
}

struct ListedFile {
    std::string name;  // as the list gives it
    FileId id{};
    std::uint64_t size = 0;  // bytes when validated
    LAS12Header header{};
    // What LAS 1.3 and 1.4 add to the header (zero for the fields a version
    // lacks), and the bytes of the version's header block.
    LAS14HeaderExtension extension{};
    std::uint16_t header_bytes = kHeaderBytes;
    std::uint64_t points = 0;  // point records: the LAS 1.4 count, else the legacy one
    EvlrSpan evlrs{};          // the extended variable-length records (LAS 1.4)
    LazInput laz{};            // of a compressed file
};

struct ListedSurvey {
    FileId list_id{};  // the list file itself
    std::vector<ListedFile> files;
};

// The identity and size of the open file `fd`; false when it cannot be told.
bool identify_open_file(int fd, FileId& id, std::uint64_t& size);

// Opens a listed file again for reading, standing right after the first 227
// bytes of its header block. Null when it cannot be opened (the caller names the pass that
// failed); ends the run with "File ... has changed since it was validated"
// when the file opened is not the one validated: another file, another size
// or another header.
FilePtr reopen_listed(const ListedFile& file);

// The list file and every listed file, sorted, each once.
std::vector<FileId> input_file_ids(const ListedSurvey& survey);

}  // namespace tessaro
