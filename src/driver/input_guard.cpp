#include "input_guard.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <set>
#include <utility>

#include "console.hpp"
#include "list_file.hpp"

namespace tessaro {
namespace {

using FileId = std::pair<dev_t, ino_t>;

struct DirCloser {
    void operator()(DIR* d) const noexcept { closedir(d); }
};

// Parses "R<bufsize digits>C<bufsize digits>.las" with numbers inside the grid.
bool is_tile_label(const std::string& rest, int bufsize, const Tile& pTile) {
    const auto w = static_cast<std::size_t>(bufsize);
    if (rest.size() != 2 * w + 6 || rest[0] != 'R' || rest[w + 1] != 'C' ||
        rest.compare(2 * w + 2, 4, ".las") != 0)
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
    return row >= 1 && col >= 1 && row <= pTile.Rows && col <= pTile.Cols;
}

void refuse_if_input(const std::set<FileId>& inputs, const std::string& tile) {
    struct stat st;
    if (stat(tile.c_str(), &st) == 0 && inputs.count({st.st_dev, st.st_ino}) != 0)
        fail("\nTile file %s is the list file or a file named in it; choose another tile prefix\n",
             tile.c_str());
}

}  // namespace

void refuse_tiles_over_inputs(std::FILE* fp_a, const std::string& TilePrefix, const Tile& pTile,
                              int bufsize) {
    std::set<FileId> inputs;
    struct stat st;
    if (fstat(fileno(fp_a), &st) == 0) inputs.insert({st.st_dev, st.st_ino});
    rewind_list(fp_a);
    std::string name;
    while (read_token(fp_a, name))
        if (stat(name.c_str(), &st) == 0) inputs.insert({st.st_dev, st.st_ino});
    rewind_list(fp_a);

    // The tiles that exist are entries of the prefix's directory; reading it
    // costs one look per entry rather than one per tile of the grid.
    const std::size_t slash = TilePrefix.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : TilePrefix.substr(0, slash);
    const std::string stem = slash == std::string::npos ? TilePrefix : TilePrefix.substr(slash + 1);
    std::unique_ptr<DIR, DirCloser> listing(opendir(dir.c_str()));
    if (!listing) {
        // No such directory holds no tile. One that cannot be listed is
        // checked tile by tile.
        if (errno == ENOENT || errno == ENOTDIR) return;
        for (unsigned r = 0; r < pTile.Rows; ++r)
            for (unsigned c = 0; c < pTile.Cols; ++c)
                refuse_if_input(inputs, tile_file_name(TilePrefix, bufsize, static_cast<std::uint16_t>(r),
                                                       static_cast<std::uint16_t>(c)));
        return;
    }
    while (const dirent* entry = readdir(listing.get())) {
        const std::string file = entry->d_name;
        if (file.compare(0, stem.size(), stem) != 0 ||
            !is_tile_label(file.substr(stem.size()), bufsize, pTile))
            continue;
        refuse_if_input(inputs, TilePrefix + file.substr(stem.size()));
    }
}

}  // namespace tessaro
