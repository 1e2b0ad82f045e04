# What Buildroot's generated toolchain file sets for a 32-bit PowerPC image
# (support/misc/toolchainfile.cmake.in), with Debian's cross compiler and
# the sysroot the check script makes (BUTTOND_SYSROOT in the environment).
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
set(CMAKE_SYSTEM_NAME Buildroot)
set(CMAKE_SYSTEM_PROCESSOR powerpc)

# Buildroot clears the per-type flags so its own apply, and says projects
# that replace them break.
set(CMAKE_C_FLAGS_DEBUG "" CACHE STRING "Debug CFLAGS")
set(CMAKE_CXX_FLAGS_DEBUG "" CACHE STRING "Debug CXXFLAGS")
set(CMAKE_C_FLAGS_RELEASE " -DNDEBUG" CACHE STRING "Release CFLAGS")
set(CMAKE_CXX_FLAGS_RELEASE " -DNDEBUG" CACHE STRING "Release CXXFLAGS")
set(CMAKE_BUILD_TYPE Release CACHE STRING "Buildroot build configuration")

# BR2_OPTIMIZE_S, no debugging, BR2_FORTIFY_SOURCE_1, 32-bit time_t.
set(_flags "-D_LARGEFILE_SOURCE -D_LARGEFILE64_SOURCE -D_FILE_OFFSET_BITS=64 -Os -g0 -D_FORTIFY_SOURCE=1")
set(CMAKE_C_FLAGS "${_flags}" CACHE STRING "Buildroot CFLAGS")
set(CMAKE_CXX_FLAGS "${_flags}" CACHE STRING "Buildroot CXXFLAGS")
set(CMAKE_EXE_LINKER_FLAGS "" CACHE STRING "Buildroot LDFLAGS for executables")
set(CMAKE_SHARED_LINKER_FLAGS "" CACHE STRING "Buildroot LDFLAGS for shared libraries")
set(CMAKE_MODULE_LINKER_FLAGS "" CACHE STRING "Buildroot LDFLAGS for modules")
set(CMAKE_INSTALL_SO_NO_EXE 0)

set(CMAKE_SYSROOT $ENV{BUTTOND_SYSROOT})
set(CMAKE_FIND_ROOT_PATH $ENV{BUTTOND_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# For pkg-config, as Buildroot's does.
set(ENV{PKG_CONFIG_SYSROOT_DIR} $ENV{BUTTOND_SYSROOT})

set(CMAKE_C_COMPILER powerpc-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER powerpc-linux-gnu-g++)
