# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -DSRC=<src folder> -DLAYERS=<layers.cmake> -P CheckLayers.cmake
# Fails when a file under src/<folder> includes a header of a folder whose
# library its own libraries do not link: a lower layer reaching up (the
# processing model into the windows, the device layer into the program).
# LAYERS sets TAVI_FOLDERS and, per folder, TAVI_ALLOWED_<folder>.
cmake_minimum_required(VERSION 3.25)
include(${LAYERS})
set(faults "")
foreach(folder IN LISTS TAVI_FOLDERS)
  file(GLOB files ${SRC}/${folder}/*.h ${SRC}/${folder}/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^#include \"[A-Za-z_]+/")
    foreach(line IN LISTS includes)
      string(REGEX MATCH "^#include \"([A-Za-z_]+)/" _ "${line}")
      set(target_folder ${CMAKE_MATCH_1})
      if(NOT target_folder IN_LIST TAVI_ALLOWED_${folder})
        file(RELATIVE_PATH rel ${SRC} ${file})
        string(APPEND faults "  ${rel}: ${line} (${folder} may include: ${TAVI_ALLOWED_${folder}})\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "Includes against the library layering:\n${faults}")
endif()
message(STATUS "Include layering holds in: ${TAVI_FOLDERS}")
