# add_trov_test(name LIBS lib... SOURCES src...): one GoogleTest executable per area, run by CTest.
function(add_trov_test name)
  cmake_parse_arguments(ARG "" "" "LIBS;SOURCES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "TROV_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
include(GoogleTest)
