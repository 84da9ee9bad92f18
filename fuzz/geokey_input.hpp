// The input of the GeoKey fuzz target (fuzz/geokey_prj_fuzz.cpp) and of its
// seed writer (fuzz/geokey_seeds.cpp): the coordinate system records of one
// file. Three records, each after its length as a little-endian 16-bit
// count of bytes: the GeoKeyDirectory (little-endian shorts), the double
// parameters (little-endian doubles) and the ASCII parameters; the rest of
// the input is the WKT record, read up to its first NUL as the LAS reader
// reads it. A length that runs past the input takes what is left.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "crs_records.hpp"
#include "las_bytes.hpp"

namespace tessaro::fuzz {

inline CrsName crs_name_of(const std::uint8_t* data, std::size_t size) {
    CrsName name;
    std::size_t at = 0;
    for (std::vector<unsigned char>* record : {&name.geokeys, &name.geodoubles, &name.geoascii}) {
        if (size - at < 2) return name;
        const std::size_t length = std::min<std::size_t>(load_u16le(data + at), size - at - 2);
        at += 2;
        record->assign(data + at, data + at + length);
        at += length;
    }
    for (; at < size && data[at] != 0; ++at) name.wkt += static_cast<char>(data[at]);
    return name;
}

inline std::vector<unsigned char> input_of(const std::vector<std::uint16_t>& directory,
                                           const std::vector<double>& doubles, const std::string& ascii,
                                           const std::string& wkt) {
    std::vector<unsigned char> input;
    const auto add_length = [&input](std::size_t bytes) {
        input.push_back(static_cast<unsigned char>(bytes));
        input.push_back(static_cast<unsigned char>(bytes >> 8));
    };
    add_length(2 * directory.size());
    for (const std::uint16_t word : directory) {
        input.push_back(static_cast<unsigned char>(word));
        input.push_back(static_cast<unsigned char>(word >> 8));
    }
    add_length(8 * doubles.size());
    for (const double value : doubles) {
        unsigned char bytes[8];
        store_f64le(bytes, value);
        input.insert(input.end(), bytes, bytes + 8);
    }
    add_length(ascii.size());
    input.insert(input.end(), ascii.begin(), ascii.end());
    input.insert(input.end(), wkt.begin(), wkt.end());
    return input;
}

}  // namespace tessaro::fuzz
