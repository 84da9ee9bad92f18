// Hostile inputs for tessaro: valid generated surveys of every LAS version and
// point format, and deterministic mutants of them (damaged headers, boundary
// and non-finite field values, truncations, records far outside their
// bounds, odd lists and odd tile prefixes). Surveys compressed as LAZ, run
// through tessaro_unbounded, are damaged besides in their LAZ record, chunk
// table and chunks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "laz_codec.hpp"

namespace tessaro::campaign {

// splitmix64: small, fast and the same on every platform and library.
struct Rng {
    std::uint64_t state;
    explicit Rng(std::uint64_t seed) : state(seed) {}
    std::uint64_t next();
    std::uint64_t below(std::uint64_t n) { return n == 0 ? 0 : next() % n; }
    bool percent(unsigned p) { return below(100) < p; }
    template <typename T>
    const T& pick(const std::vector<T>& v) {
        return v[below(v.size())];
    }
};

struct BaseFile {
    std::string name;
    std::vector<unsigned char> bytes;
    // Of a LAZ file: the LAS file image it compresses, and where its chunks lie.
    std::vector<unsigned char> las;
    std::vector<LazChunk> chunks;
};

// A small valid survey of one version and point format, with VLRs.
struct BaseSurvey {
    unsigned minor = 2;
    unsigned format = 1;
    unsigned extra_bytes = 0;
    std::uint32_t chunk_points = 0;  // of a LAZ survey; 0 for LAS
    std::vector<BaseFile> files;
    bool laz() const { return chunk_points != 0; }
};

// Writes the surveys of every version 1.0 - 1.2 and point format 0 - 3 through
// the project's LAS writer (in `scratch`, then read back), and LAZ surveys of
// point formats 1, 3, 6 and 8 in chunks of a few hundred points, and returns
// them.
std::vector<BaseSurvey> make_base_surveys(const std::string& scratch);

enum class EntryKind { Regular, Directory, Fifo, Symlink };

// One thing the run directory holds before the run.
struct Entry {
    std::string path;  // relative to the run directory
    EntryKind kind = EntryKind::Regular;
    std::vector<unsigned char> bytes;  // Regular
    std::string target;                // Symlink
};

struct Mutant {
    std::uint64_t index = 0;
    std::string family;  // the kind of mutation, for the figures
    std::string detail;  // what exactly was changed
    std::vector<Entry> entries;
    std::string list_file = "list.txt";
    std::string tile_prefix = "tiles/t_";
    double tile_size = 100.0;
    double buffer = 0.0;  // 0: no -b
    bool snap = false;
    double resolution = 0.0;
    bool shapes = false;
    bool unbounded = false;         // run by tessaro_unbounded (the LAZ surveys)
    std::vector<std::string> args;  // the command line, built by finish_arguments
};

// Mutant number `index` of the campaign with `seed`; the same pair always
// gives the same mutant.
Mutant make_mutant(const std::vector<BaseSurvey>& bases, std::uint64_t seed, std::uint64_t index);

// Formats a value word the way the command line takes it.
std::string number_word(double value);

}  // namespace tessaro::campaign
