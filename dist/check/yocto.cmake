# What the cmake class's generated toolchain.cmake sets for a 32-bit PowerPC
# machine (OE-core master, time64 and security flags included; kirkstone's
# with BUTTOND_OE_SERIES=kirkstone), with Debian's cross compiler and the
# sysroot the check script makes (BUTTOND_SYSROOT in the environment).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ppc)
set(CMAKE_C_COMPILER powerpc-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER powerpc-linux-gnu-g++)

if("$ENV{BUTTOND_OE_SERIES}" STREQUAL "kirkstone")
  # No time64 flags yet, and DEBUG_FLAGS still with -feliminate-unused-debug-types.
  set(_flags "-mbig-endian -m32 -mhard-float -fstack-protector-strong -O2 -D_FORTIFY_SOURCE=2 -Wformat -Wformat-security -Werror=format-security -O2 -pipe -g -feliminate-unused-debug-types")
else()
  set(_flags "-mbig-endian -m32 -mhard-float -D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64 -fstack-protector-strong -O2 -D_FORTIFY_SOURCE=2 -Wformat -Wformat-security -Werror=format-security -g -pipe")
endif()
set(_ldflags "-Wl,-O1 -Wl,--hash-style=gnu -Wl,--as-needed -Wl,-z,relro,-z,now")
set(CMAKE_C_FLAGS "${_flags}" CACHE STRING "CFLAGS")
set(CMAKE_CXX_FLAGS "${_flags}" CACHE STRING "CXXFLAGS")
set(CMAKE_C_FLAGS_RELEASE "-DNDEBUG" CACHE STRING "Additional CFLAGS for release")
set(CMAKE_CXX_FLAGS_RELEASE "-DNDEBUG" CACHE STRING "Additional CXXFLAGS for release")
set(CMAKE_C_LINK_FLAGS "${_ldflags}" CACHE STRING "LDFLAGS")
set(CMAKE_CXX_LINK_FLAGS "${_ldflags}" CACHE STRING "LDFLAGS")

set(CMAKE_SYSROOT $ENV{BUTTOND_SYSROOT})
set(CMAKE_FIND_ROOT_PATH $ENV{BUTTOND_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
