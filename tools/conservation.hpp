// The conservation check of a finished tiling run: recomputes the grid from
// the input headers, places every input record by the tiling rules, and
// confirms that the tile files on disk hold exactly those records (home
// records and buffer copies, byte for byte, in input order) under headers
// that describe them. Used by the end-to-end tests, the benchmark and the
// command-line program tessaro_verify.
//
// LAZ inputs are read chunk by chunk through their chunk table, and their
// tiles (<prefix>R<row>C<col>.laz) are checked as LAS tiles are, on their
// decompressed records, and for their LAZ layout: the creating file's LAZ
// record replaced by one of variable-sized chunks, the chunk table offset,
// the chunks one after the other, their table (covering every chunk and
// the header's count), and nothing after it but the extended records.
//
// Memory stays bounded by the number of tiles that receive records, and one
// LAZ chunk at a time: every tile keeps a count, an order-sensitive
// fingerprint of its expected record sequence and its expected header
// statistics. A tile whose fingerprint or count disagrees is compared record
// by record (inputs re-read) to name the first difference.
#pragma once

#include <cstdint>
#include <string>

namespace tessaro::verify {

struct ConservationRequest {
    std::string list_file;    // the list file of the run
    std::string tile_prefix;  // the tile prefix of the run
    double tile_size = 0.0;
    double buffer = 0.0;  // 0 when the run had no buffer
    bool snap = false;    // the run had -r
    double resolution = 0.0;
    // Directory the run was started in: relative paths (list file, names in
    // it, prefix) are resolved against it. Empty: the current directory.
    std::string directory;
    // The run was of tessaro_unbounded: no file is refused for the tiles it
    // spreads over.
    bool unbounded = false;
};

struct ConservationReport {
    bool ok = false;
    // On success the summary line "verified N records, M copies, T tiles";
    // otherwise the first difference found.
    std::string message;
    std::uint64_t records = 0;  // input records, each one home record
    std::uint64_t copies = 0;   // buffer copies
    std::uint64_t tiles = 0;    // tile files
    // The run must have been refused by the span check (a file spans more
    // than 99 tiles, and the run was not unbounded); `ok` then says that no
    // tile file exists.
    bool refusal_expected = false;
};

ConservationReport check_conservation(const ConservationRequest& request);

}  // namespace tessaro::verify
