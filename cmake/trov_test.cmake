# The test files share one precompiled GoogleTest (with the standard headers they use most), built once
# per build in trov_test_pch; -Winvalid-pch says so where a test file cannot use it.
file(WRITE ${CMAKE_BINARY_DIR}/trov_test_pch.cpp "")
add_library(trov_test_pch OBJECT ${CMAKE_BINARY_DIR}/trov_test_pch.cpp)
target_link_libraries(trov_test_pch PRIVATE GTest::gtest)
target_precompile_headers(trov_test_pch PRIVATE <gtest/gtest.h> <algorithm> <cmath> <filesystem> <fstream>
                          <optional> <string> <string_view> <vector>)
# trov_use_test_pch(target): a test program compiled with the shared precompiled header.
function(trov_use_test_pch target)
  target_precompile_headers(${target} REUSE_FROM trov_test_pch)
  target_compile_options(${target} PRIVATE -Winvalid-pch)
endfunction()

# add_trov_test(name LIBS lib... SOURCES src...): one GoogleTest executable per area, run by CTest.
# Its files are compiled as one (a unity build): most of a test file's compile time is the templates
# of GoogleTest and nlohmann::json it instantiates, which the files of an area share.
function(add_trov_test name)
  cmake_parse_arguments(ARG "" "" "LIBS;SOURCES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  trov_use_test_pch(${name})
  set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "TROV_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
include(GoogleTest)
