# add_trov_layer(target FOLDER folder SOURCES src... [LINKS lib...]): one layer of the code as a static
# library. Its headers are included as "<folder>/name.h" through an include root of its own that holds
# only a link to its folder, so a layer compiles against the layers it links and nothing else: a header
# of a layer above (or beside) it is not found.
function(add_trov_layer target)
  cmake_parse_arguments(ARG "" "FOLDER" "SOURCES;LINKS" ${ARGN})
  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  get_filename_component(parent ${root}/${ARG_FOLDER} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${ARG_FOLDER} ${root}/${ARG_FOLDER} SYMBOLIC)
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC ${root})
  target_link_libraries(${target} PUBLIC ${ARG_LINKS})
  target_compile_features(${target} PUBLIC cxx_std_20)
endfunction()
