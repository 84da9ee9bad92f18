// The survey writer's LAZ files: a LAS file it wrote, with its points
// compressed in chunks of a fixed number of points, as LAZ writers commonly
// lay them out. The tests and the benchmark make their LAZ inputs with it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "laz_codec.hpp"

namespace tessaro::survey {

// Points a chunk of a LAZ file holds unless told otherwise.
inline constexpr std::uint32_t kLazChunkPoints = 50000;

// Writes `laz_path`, the LAZ file of the LAS file `las_path` (LAS 1.0 to 1.4,
// point formats 0 to 3 or 6 to 8, extra bytes too): the same header with the
// compressed bit in its point format and a LAZ record after the other
// variable-length records, then the chunk table offset, the chunks of
// `chunk_points` points each (the last one fewer) and their table, then the
// extended variable-length records. Throws std::runtime_error when a file
// cannot be read or written.
void compress_las_file(const std::string& las_path, const std::string& laz_path,
                       std::uint32_t chunk_points = kLazChunkPoints);

// The bytes of the file `path`. Throws std::runtime_error when it cannot be
// read.
std::vector<unsigned char> read_all(const std::string& path);

// The LAZ file image of the LAS file image `las`, as compress_las_file writes
// it; `chunks`, when given, receives where its chunks lie. Throws
// std::runtime_error when the image cannot be compressed.
std::vector<unsigned char> compress_las_image(std::span<const unsigned char> las,
                                              std::uint32_t chunk_points = kLazChunkPoints,
                                              std::vector<LazChunk>* chunks = nullptr);

// The point records of a LAZ file, decompressed, with how its chunks cut them.
struct LazFileChunks {
    LazPointLayout layout;
    std::size_t record_length = 0;
    std::vector<LazChunk> chunks;        // in file order: points, and where each lies in the file
    std::vector<unsigned char> records;  // every chunk's, one after another
};

// Reads the LAZ file `laz_path` and decompresses its chunks. Throws
// std::runtime_error when the file cannot be read as LAZ.
LazFileChunks laz_file_chunks(const std::string& laz_path);

// The point records of the LAZ file `laz_path`, decompressed, in file order.
std::vector<unsigned char> laz_point_records(const std::string& laz_path);

}  // namespace tessaro::survey
