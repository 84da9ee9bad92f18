#include "input_guard.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "console.hpp"
#include "tile_stats.hpp"

namespace tessaro {
namespace {

// Parses "R<bufsize digits>C<bufsize digits>" and the tiles' extension, with
// numbers inside the grid; `key` is then the tile's key.
bool is_tile_label(const std::string& rest, int bufsize, const Tile& pTile, const char* extension,
                   std::uint32_t& key) {
    const auto w = static_cast<std::size_t>(bufsize);
    if (rest.size() != 2 * w + 6 || rest[0] != 'R' || rest[w + 1] != 'C' || rest.compare(2 * w + 2, 4, extension) != 0)
        return false;
    unsigned row = 0;
    unsigned col = 0;
    for (std::size_t k = 0; k < w; ++k) {
        const char r = rest[1 + k];
        const char c = rest[w + 2 + k];
        if (r < '0' || r > '9' || c < '0' || c > '9') return false;
        row = row * 10 + static_cast<unsigned>(r - '0');
        col = col * 10 + static_cast<unsigned>(c - '0');
    }
    if (row < 1 || col < 1 || row > pTile.Rows || col > pTile.Cols) return false;
    key = tile_key(static_cast<std::uint16_t>(row - 1), static_cast<std::uint16_t>(col - 1));
    return true;
}

void refuse_if_input(const std::vector<FileId>& inputs, const std::string& tile) {
    struct stat st;
    if (stat(tile.c_str(), &st) == 0 &&
        std::binary_search(inputs.begin(), inputs.end(), FileId{st.st_dev, st.st_ino}))
        fail("\nTile file %s is the list file or a file named in it; choose another tile prefix\n",
             tile.c_str());
}

}  // namespace

OutputDirectory refuse_tiles_over_inputs(const ListedSurvey& survey, const std::string& TilePrefix,
                                         const Tile& pTile, int bufsize, const char* extension) {
    OutputDirectory out;
    out.inputs = input_file_ids(survey);
    // The tiles that exist are entries of the prefix's directory; reading it
    // costs one look per entry rather than one per tile of the grid. A
    // directory that cannot be listed (one that takes files but hides them)
    // is left to the tile streams, which check every tile file they open
    // before they write to it.
    const std::size_t slash = TilePrefix.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : TilePrefix.substr(0, slash);
    const std::string stem = slash == std::string::npos ? TilePrefix : TilePrefix.substr(slash + 1);
    Handle<DIR, closedir> listing(opendir(dir.c_str()));
    if (!listing) return out;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(listing.get());
        if (entry == nullptr) {
            if (errno != 0)
                fail("\nFailed to list the directory %s: %s\n", dir.c_str(), std::strerror(errno));
            break;
        }
        const std::string file = entry->d_name;
        std::uint32_t key = 0;
        if (file.compare(0, stem.size(), stem) != 0 ||
            !is_tile_label(file.substr(stem.size()), bufsize, pTile, extension, key))
            continue;
        refuse_if_input(out.inputs, TilePrefix + file.substr(stem.size()));
        try {
            out.present_tiles.push_back(key);
        } catch (const std::bad_alloc&) {
            fail_line("Failed to allocate memory for the names of the tile files");
        }
    }
    std::sort(out.present_tiles.begin(), out.present_tiles.end());
    out.listed = true;
    return out;
}

}  // namespace tessaro
