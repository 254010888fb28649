# SPDX-License-Identifier: Apache-2.0
# Cross-building for 32-bit ARM against a root file system of the target: the root's
# headers, libraries and pkg-config modules, never the build machine's.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux.cmake -DCMAKE_SYSROOT=<root>
#         [-DVORNIX_CROSS_PREFIX=<folder>/arm-linux-gnueabi-] ...
# VORNIX_CROSS_PREFIX is the compilers' path and name up to "gcc"/"g++" (default: Debian's
# arm-linux-gnueabihf- cross compilers on PATH).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VORNIX_CROSS_PREFIX)

if(NOT VORNIX_CROSS_PREFIX)
  set(VORNIX_CROSS_PREFIX arm-linux-gnueabihf-)
endif()
set(CMAKE_C_COMPILER ${VORNIX_CROSS_PREFIX}gcc)
set(CMAKE_CXX_COMPILER ${VORNIX_CROSS_PREFIX}g++)
# Only notes that GCC 7 changed how some arguments are passed; everything here is built
# by one compiler.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)

if(NOT CMAKE_SYSROOT)
  message(FATAL_ERROR "arm-linux.cmake: give the target's root with -DCMAKE_SYSROOT=<root>")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The root's modules alone, their paths taken inside the root.
get_filename_component(triple ${VORNIX_CROSS_PREFIX} NAME)
string(REGEX REPLACE "-$" "" triple ${triple})
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${CMAKE_SYSROOT})
set(ENV{PKG_CONFIG_LIBDIR} "${CMAKE_SYSROOT}/usr/lib/${triple}/pkgconfig:\
${CMAKE_SYSROOT}/usr/lib/pkgconfig:${CMAKE_SYSROOT}/usr/share/pkgconfig")
