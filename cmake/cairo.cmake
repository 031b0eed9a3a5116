# cairo as the imported target `cairo`, found as library and headers (libcairo2-dev).
find_path(CAIRO_INCLUDE_DIR cairo.h PATH_SUFFIXES cairo REQUIRED)
find_library(CAIRO_LIBRARY cairo REQUIRED)
add_library(cairo UNKNOWN IMPORTED)
set_target_properties(cairo PROPERTIES IMPORTED_LOCATION ${CAIRO_LIBRARY}
                                       INTERFACE_INCLUDE_DIRECTORIES ${CAIRO_INCLUDE_DIR})
