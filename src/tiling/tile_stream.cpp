#include "tile_stream.hpp"

#include <cerrno>
#include <new>

#include "console.hpp"

namespace tessaro {
namespace {

void attach(TileStream& ts, std::FILE* file, const std::string& name, std::size_t buffer_size) {
    // The stream's own buffer does the buffering; stdio writes it straight out.
    std::setvbuf(file, nullptr, _IONBF, 0);
    ts.file = file;
    ts.name = &name;
    try {
        ts.buffer.resize(buffer_size);
    } catch (const std::bad_alloc&) {
        fail("\nOut of memory for the buffer of tile file %s\n", name.c_str());
    }
    ts.used = 0;
}

}  // namespace

TileStreamTable Make2dFilePointerArray(std::uint16_t rows, std::uint16_t cols) {
    TileStreamTable table;
    try {
        table.resize(rows);
    } catch (const std::bad_alloc&) {
        fail_line("Failed to allocate memory to row vector of File Pointers");
    }
    for (auto& row : table) {
        try {
            row.resize(cols);
        } catch (const std::bad_alloc&) {
            fail_line("Failed to allocate memory to column vector of file pointers");
        }
    }
    return table;
}

void open_tile_for_append(TileStream& ts, const std::string& name, std::size_t buffer_size) {
    std::FILE* f = std::fopen(name.c_str(), "ab");
    if (!f) fail("Failed to open file %s in append mode\n", name.c_str());
    attach(ts, f, name, buffer_size);
}

void create_tile(TileStream& ts, const std::string& name, std::size_t buffer_size) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) fail("Failed to open file %s for writing\n", name.c_str());
    attach(ts, f, name, buffer_size);
}

void flush_tile_stream(TileStream& ts) {
    if (ts.used == 0) return;
    if (std::fwrite(ts.buffer.data(), 1, ts.used, ts.file) != ts.used)
        fail("\nFailed to write to tile file %s: %s\n", ts.name->c_str(), std::strerror(errno));
    ts.used = 0;
}

void close_tile_stream(TileStream& ts) {
    flush_tile_stream(ts);
    std::FILE* f = ts.file;
    ts.file = nullptr;
    if (std::fclose(f) != 0)
        fail("\nFailed to close tile file %s: %s\n", ts.name->c_str(), std::strerror(errno));
    ts.buffer.clear();
    ts.buffer.shrink_to_fit();
}

}  // namespace tessaro
