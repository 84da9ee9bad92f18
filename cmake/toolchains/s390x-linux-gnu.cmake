# s390x (big-endian, unsigned char). See linux-gnu-cross.cmake.
set(TESSARO_CROSS_TRIPLET s390x-linux-gnu)
set(TESSARO_CROSS_PROCESSOR s390x)
set(TESSARO_CROSS_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
