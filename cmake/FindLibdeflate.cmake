# Finds libdeflate and defines the imported target libdeflate::libdeflate.
# The Windows tree takes the static library scripts/bootstrap.sh cross-builds
# into .deps/mingw (setup.exe needs no DLL beside it); the native tree takes
# Debian's libdeflate-dev.

find_path(Libdeflate_INCLUDE_DIR NAMES libdeflate.h)
if(WIN32)
  find_library(Libdeflate_LIBRARY NAMES libdeflate.a)
else()
  find_library(Libdeflate_LIBRARY NAMES deflate)
endif()

if(Libdeflate_INCLUDE_DIR AND EXISTS "${Libdeflate_INCLUDE_DIR}/libdeflate.h")
  file(STRINGS "${Libdeflate_INCLUDE_DIR}/libdeflate.h" version_line
       REGEX "^#define LIBDEFLATE_VERSION_STRING[ \t]+\"[^\"]+\"")
  string(REGEX REPLACE ".*\"([^\"]+)\".*" "\\1" Libdeflate_VERSION "${version_line}")
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Libdeflate
  REQUIRED_VARS Libdeflate_LIBRARY Libdeflate_INCLUDE_DIR
  VERSION_VAR Libdeflate_VERSION)

if(Libdeflate_FOUND AND NOT TARGET libdeflate::libdeflate)
  add_library(libdeflate::libdeflate UNKNOWN IMPORTED GLOBAL)
  set_target_properties(libdeflate::libdeflate PROPERTIES
    IMPORTED_LOCATION "${Libdeflate_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${Libdeflate_INCLUDE_DIR}")
endif()
mark_as_advanced(Libdeflate_INCLUDE_DIR Libdeflate_LIBRARY)
