# Configures a fresh tree with GoogleTest out of reach and Python hidden, then builds only
# Pictalon: what a Windows machine with nothing but the compiler and CMake does.
# cmake -DSOURCE=... -DBINARY=... [-DTOOLCHAIN=...] [-DLAUNCHER=...] -P program_alone.cmake
file(REMOVE_RECURSE ${BINARY})
set(args -S ${SOURCE} -B ${BINARY} -DCMAKE_BUILD_TYPE=Release
         -DPICT_GTEST_DIR=${BINARY}/no-googletest-here -DCMAKE_DISABLE_FIND_PACKAGE_Python3=ON)
if(TOOLCHAIN)
  list(APPEND args -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
if(LAUNCHER)
  list(APPEND args -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER} -DCMAKE_C_COMPILER_LAUNCHER=${LAUNCHER})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} ${args} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configure without GoogleTest and Python failed:\n${out}")
endif()
# The one line that says what this tree builds must say the tests are left out.
if(NOT out MATCHES "Pictalon builds: the program; no unit tests")
  message(FATAL_ERROR "the configure did not say it builds the program without tests:\n${out}")
endif()
cmake_host_system_information(RESULT cores QUERY NUMBER_OF_LOGICAL_CORES)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY} --target Pictalon -j${cores}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building Pictalon alone failed:\n${out}")
endif()
file(GLOB exe ${BINARY}/src/app/exe/Pictalon.exe)
if(NOT exe)
  message(FATAL_ERROR "the build succeeded but left no Pictalon.exe:\n${out}")
endif()
file(REMOVE_RECURSE ${BINARY})
message(STATUS "Pictalon.exe configured and built without GoogleTest or Python")
