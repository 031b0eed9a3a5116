# FLTK as the imported target `fltk`. FLTK's own CMake package file names the fluid program, which the
# -dev package only recommends, and fails without it; the library and headers are all we need.
find_path(FLTK_INCLUDE_DIR FL/Fl.H REQUIRED)
find_library(FLTK_LIBRARY fltk REQUIRED)
add_library(fltk UNKNOWN IMPORTED)
set_target_properties(fltk PROPERTIES IMPORTED_LOCATION ${FLTK_LIBRARY}
                                      INTERFACE_INCLUDE_DIRECTORIES ${FLTK_INCLUDE_DIR})
