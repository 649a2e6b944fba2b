# Fails when a source file under src/ includes a header of a layer it does not stand on, so that
# the floors docs/ARCHITECTURE.md draws hold by construction. Run by CTest:
#   cmake -DSOURCE_DIR=<repo>/src -P CheckLayers.cmake
cmake_minimum_required(VERSION 3.25)
set(allowed_platform platform)
set(allowed_options options)
set(allowed_fsutil fsutil platform)
set(allowed_engine engine fsutil options platform)
set(allowed_ui ui engine fsutil options platform)
set(allowed_cli cli engine fsutil options platform)
set(layers platform options fsutil engine ui cli)

set(violations "")
foreach(layer IN LISTS layers)
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^#include \"[a-z_0-9]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([a-z_0-9]+)/.*" "\\1" included "${line}")
      if(NOT included IN_LIST layers)
        continue()  # a generated or third-party header, not a layer
      endif()
      if(NOT included IN_LIST allowed_${layer})
        file(RELATIVE_PATH relative "${SOURCE_DIR}" "${source}")
        string(APPEND violations "  ${relative}: ${line} (${layer} does not stand on ${included})\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes across the layers:\n${violations}")
endif()
message(STATUS "Every include stays within its layer's floors")
