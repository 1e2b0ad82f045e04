# Where the unit tests get GoogleTest; sets BUTTOND_GTEST to the target to
# link, or leaves it empty when there is none for a cross build. Natively it
# is the system's. A cross build looks in the target's sysroot only, or
# builds the source tree named in BUTTOND_GTEST_SOURCE: the build host's
# headers and /usr/src never reach a target compile.
set(BUTTOND_GTEST_SOURCE "" CACHE PATH
    "GoogleTest source tree to build for the tests (none: use an installed one)")
set(BUTTOND_GTEST "")

function(buttond_find_target_gtest)
  # Without a sysroot the search would fall back to the host's paths.
  if(NOT CMAKE_SYSROOT AND NOT CMAKE_FIND_ROOT_PATH)
    return()
  endif()
  foreach(kind INCLUDE LIBRARY PACKAGE)
    set(CMAKE_FIND_ROOT_PATH_MODE_${kind} ONLY)
  endforeach()
  find_package(GTest QUIET)
  set(GTest_FOUND ${GTest_FOUND} PARENT_SCOPE)
endfunction()

if(BUTTOND_GTEST_SOURCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${BUTTOND_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(BUTTOND_GTEST gtest_main)
elseif(CMAKE_CROSSCOMPILING)
  buttond_find_target_gtest()
  if(GTest_FOUND)
    set(BUTTOND_GTEST GTest::gtest_main)
  else()
    message(STATUS "GoogleTest: none in the target sysroot and no BUTTOND_GTEST_SOURCE, tests left out")
  endif()
else()
  find_package(GTest REQUIRED)
  set(BUTTOND_GTEST GTest::gtest_main)
endif()
