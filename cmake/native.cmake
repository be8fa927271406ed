# Native Linux build of the portable core with AddressSanitizer and UndefinedBehaviorSanitizer.
add_compile_options(-Wall -Wextra -Werror -g -fno-omit-frame-pointer)
set(PICT_SANITIZE "-fsanitize=address,undefined;-fno-sanitize-recover=all")
find_package(Threads REQUIRED)

# The portable sources: all of src/text plus the cookie-jar text of src/web.
file(GLOB portable_srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/text/*.cpp
     ${CMAKE_SOURCE_DIR}/src/web/cookie_jar*.cpp)
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

pict_googletest()
file(GLOB native_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/text/*.cpp
     ${CMAKE_SOURCE_DIR}/tests/portable/*.cpp)
list(FILTER native_tests EXCLUDE REGEX "_win\\.cpp$")
if(native_tests)
  add_executable(test_portable ${native_tests})
  target_include_directories(test_portable PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(test_portable PRIVATE pict_portable gtest_main Threads::Threads)
  add_test(NAME native_portable COMMAND test_portable --gtest_color=no)
  set_tests_properties(native_portable PROPERTIES LABELS "native;text")
endif()

# libFuzzer targets: fuzz/<name>.cpp, clang only.
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
