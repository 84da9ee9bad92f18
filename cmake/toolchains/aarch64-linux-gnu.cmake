# arm64 (little-endian, unsigned char). See linux-gnu-cross.cmake.
set(TESSARO_CROSS_TRIPLET aarch64-linux-gnu)
set(TESSARO_CROSS_PROCESSOR aarch64)
set(TESSARO_CROSS_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
