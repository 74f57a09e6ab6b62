# Shared build settings: every target of this tree goes through kova_defaults,
# so warnings, sanitizers and fuzzing instrumentation are the same everywhere.

find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

set(KOVA_WARNINGS
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Werror)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  # GCC 12 reports -Wrestrict inside std::string concatenation at -O2 and
  # above where no overlap can happen (GCC bug 105329), and
  # -Wmaybe-uninitialized for std::variant members of aggregates built from
  # braced lists, which are always initialised (GCC bug 105593 and kin).
  list(APPEND KOVA_WARNINGS -Wno-restrict -Wno-maybe-uninitialized)
endif()

if(KOVA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(KOVA_FUZZ)
  # Libraries are instrumented for coverage; only the fuzz executables link
  # the libFuzzer driver (see kova_fuzz_target).
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

function(kova_defaults target)
  target_compile_options(${target} PRIVATE ${KOVA_WARNINGS})
endfunction()

# kova_library(NAME SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# One folder, one library. Headers live beside the sources and are included
# as "<folder>/<file>.h" from the repository's platform/ or src/ root.
function(kova_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  kova_defaults(${name})
  target_include_directories(${name} PUBLIC ${KOVA_INCLUDE_ROOT})
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
endfunction()

# kova_test(NAME SOURCES ... LIBS ...)
# One GoogleTest binary per library. Test cases are discovered when ctest
# runs, so building never executes a test binary.
include(GoogleTest)
find_package(GTest REQUIRED)
function(kova_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  kova_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  # Helpers every test folder shares, such as support/eventually.h.
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "KOVA_SOURCE_DIR=${PROJECT_SOURCE_DIR};KOVA_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()

# kova_bench(NAME SOURCES ... LIBS ...)
function(kova_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  kova_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
endfunction()

# kova_fuzz_target(NAME SOURCES ... LIBS ...)
function(kova_fuzz_target name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  kova_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

# Adds every listed subdirectory that exists, so folders can land one by one.
# KOVA_FOLDERS, when set, limits the build to the named folders (and their
# tests, benchmarks and fuzz targets), so one library can be worked on while
# another is half-written.
set(KOVA_FOLDERS "" CACHE STRING "Build only these folders (empty: all)")
macro(kova_add_existing)
  foreach(dir ${ARGN})
    if(KOVA_FOLDERS AND NOT dir IN_LIST KOVA_FOLDERS)
      continue()
    endif()
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endmacro()
