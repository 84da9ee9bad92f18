#include "listed_files.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "lidar.hpp"

namespace tessaro {

bool identify_open_file(int fd, FileId& id, std::uint64_t& size) {
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    id = FileId{st.st_dev, st.st_ino};
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

namespace {

// The header fields after the first 227 bytes (LAS 1.3 and 1.4) of the open
// file `fd` are those `file` had when validated; read in place, so the
// file still stands right after its first 227 bytes.
bool same_extension(int fd, const ListedFile& file) {
    const std::size_t n = file.header_bytes - kHeaderBytes;
    if (n == 0) return true;
    unsigned char now[kLAS14HeaderBytes - kHeaderBytes];
    unsigned char then[kLAS14HeaderBytes - kHeaderBytes];
    if (n > sizeof now) return false;
    extension_to_bytes(file.extension, then, n);
    return read_at(fd, now, n, kHeaderBytes) && std::memcmp(now, then, n) == 0;
}

}  // namespace

FilePtr reopen_listed(const ListedFile& file) {
    FilePtr f = open_file(file.name.c_str(), "rb");
    if (!f) return f;
    FileId id{};
    std::uint64_t size = 0;
    unsigned char now[kHeaderBytes];
    unsigned char then[kHeaderBytes];
    header_to_bytes(file.header, then);
    if (!identify_open_file(fileno(f.get()), id, size) || !(id == file.id) || size != file.size ||
        std::fread(now, 1, kHeaderBytes, f.get()) != kHeaderBytes ||
        std::memcmp(now, then, kHeaderBytes) != 0 || !same_extension(fileno(f.get()), file))
        fail("\nFile %s has changed since it was validated\n", file.name.c_str());
    return f;
}

std::vector<FileId> input_file_ids(const ListedSurvey& survey) {
    std::vector<FileId> ids;
    try {
        ids.reserve(survey.files.size() + 1);
        ids.push_back(survey.list_id);
        for (const ListedFile& f : survey.files) ids.push_back(f.id);
    } catch (const std::bad_alloc&) {
        fail_line("Failed to allocate memory for the names of the input files");
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

}  // namespace tessaro
