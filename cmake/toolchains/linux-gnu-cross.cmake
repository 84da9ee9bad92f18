# Common part of the cross toolchains: Debian's cross compiler for
# TESSARO_CROSS_TRIPLET, the libraries of a Debian root of the target
# (TESSARO_SYSROOT, made by scripts/cross-test.sh) and qemu-user to run what
# the build makes: test discovery at build time, the tests, and tessaro.
#
# The including file sets TESSARO_CROSS_TRIPLET, TESSARO_CROSS_PROCESSOR and
# TESSARO_CROSS_QEMU.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${TESSARO_CROSS_PROCESSOR})
set(CMAKE_C_COMPILER ${TESSARO_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TESSARO_CROSS_TRIPLET}-g++)

# The root is passed once on the command line (-DTESSARO_SYSROOT=...); CMake's
# own test projects read this file again and get it through the environment.
if(TESSARO_SYSROOT)
  set(ENV{TESSARO_SYSROOT} "${TESSARO_SYSROOT}")
elseif(DEFINED ENV{TESSARO_SYSROOT})
  set(TESSARO_SYSROOT "$ENV{TESSARO_SYSROOT}")
endif()
if(NOT TESSARO_SYSROOT OR NOT EXISTS "${TESSARO_SYSROOT}/usr/lib/${TESSARO_CROSS_TRIPLET}")
  message(FATAL_ERROR "TESSARO_SYSROOT must name a Debian root of ${TESSARO_CROSS_PROCESSOR} "
                      "(scripts/cross-test.sh makes one)")
endif()
set(TESSARO_SYSROOT "${TESSARO_SYSROOT}" CACHE PATH "Debian root of the target processor")

# The compiler keeps its own C and C++ run-time; headers and libraries of the
# dependencies come from the root, and nothing of the host's.
set(CMAKE_SYSROOT "${TESSARO_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${TESSARO_SYSROOT}")
set(ENV{PKG_CONFIG_LIBDIR}
    "${TESSARO_SYSROOT}/usr/lib/${TESSARO_CROSS_TRIPLET}/pkgconfig:${TESSARO_SYSROOT}/usr/share/pkgconfig")

# qemu-user finds the target's loader and shared libraries under -L.
find_program(TESSARO_QEMU ${TESSARO_CROSS_QEMU} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR "${TESSARO_QEMU};-L;${TESSARO_SYSROOT}")
