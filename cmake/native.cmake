# Native Linux build of the portable core with AddressSanitizer and UndefinedBehaviorSanitizer.
# With PICT_FUZZ the tree holds only the libFuzzer targets, with the portable core instrumented
# for coverage too (the fuzzer sees nothing of code built without it); build it optimised in its
# own folder (scripts/fuzz does), apart from the Debug tree of the unit tests.
option(PICT_FUZZ "Build only the libFuzzer targets, with a coverage-instrumented core" OFF)
add_compile_options(-Wall -Wextra -Werror -g -fno-omit-frame-pointer)
set(PICT_SANITIZE "-fsanitize=address,undefined;-fno-sanitize-recover=all")
if(PICT_FUZZ)
  list(APPEND PICT_SANITIZE "-fsanitize=fuzzer-no-link")
endif()
find_package(Threads REQUIRED)

# The portable sources: all of src/text, the cookie-jar text of src/web and the plain-text parts
# of src/app (names on disk, path forms, reading the service's answers, the album folder's
# record, telling picture bytes from pages, listing pages asked for ahead).
file(GLOB portable_srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/text/*.cpp
     ${CMAKE_SOURCE_DIR}/src/web/cookie_jar*.cpp)
foreach(f app/download/file_naming app/download/long_path app/service/service_answers
          app/download/album_record app/service/picture_bytes app/download/pages_ahead
          app/download/listing_plan)
  if(EXISTS ${CMAKE_SOURCE_DIR}/src/${f}.cpp)
    list(APPEND portable_srcs ${CMAKE_SOURCE_DIR}/src/${f}.cpp)
  endif()
endforeach()
list(FILTER portable_srcs EXCLUDE REGEX "_win\\.cpp$")

if(portable_srcs)
  add_library(pict_portable STATIC ${portable_srcs})
  set(scope PUBLIC)
else()
  add_library(pict_portable INTERFACE)
  set(scope INTERFACE)
endif()
target_include_directories(pict_portable ${scope} ${CMAKE_SOURCE_DIR}/src)
target_compile_options(pict_portable ${scope} ${PICT_SANITIZE})
target_link_options(pict_portable ${scope} ${PICT_SANITIZE})

if(NOT PICT_FUZZ)
  pict_googletest()
  file(GLOB native_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/text/*.cpp
       ${CMAKE_SOURCE_DIR}/tests/portable/*.cpp)
  foreach(f app/file_naming_test)
    if(EXISTS ${CMAKE_SOURCE_DIR}/tests/${f}.cpp)
      list(APPEND native_tests ${CMAKE_SOURCE_DIR}/tests/${f}.cpp)
    endif()
  endforeach()
  list(FILTER native_tests EXCLUDE REGEX "_win\\.cpp$")
  if(native_tests AND TARGET gtest)
    add_executable(test_portable ${native_tests})
    target_include_directories(test_portable PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_link_libraries(test_portable PRIVATE pict_portable gtest_main Threads::Threads)
    add_test(NAME native_portable COMMAND test_portable --gtest_color=no)
    # A reader that sets memory aside from a count it has not read fails here rather than on a
    # user's machine.
    set_tests_properties(native_portable PROPERTIES LABELS "native;text"
                         ENVIRONMENT "ASAN_OPTIONS=max_allocation_size_mb=256")
  endif()
endif()

# libFuzzer targets: fuzz/<name>.cpp, clang only. The Debug tree builds them too, so a change
# that breaks one shows at once.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  file(GLOB fuzzers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*.cpp)
  foreach(f ${fuzzers})
    get_filename_component(n ${f} NAME_WE)
    add_executable(fuzz_${n} ${f})
    target_link_libraries(fuzz_${n} PRIVATE pict_portable)
    target_compile_options(fuzz_${n} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${n} PRIVATE -fsanitize=fuzzer)
  endforeach()
endif()
set(parts "the portable core")
if(TEST native_portable)
  string(APPEND parts ", its tests (GoogleTest: ${PICT_GTEST_DIR})")
else()
  string(APPEND parts "; no tests (no GoogleTest at PICT_GTEST_DIR=${PICT_GTEST_DIR})")
endif()
if(fuzzers)
  string(APPEND parts ", fuzz targets")
else()
  string(APPEND parts "; no fuzz targets (they need clang)")
endif()
message(STATUS "Pictalon native tree builds: ${parts}")
