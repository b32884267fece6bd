# SPDX-License-Identifier: GPL-3.0-or-later
# The programs an installation ships. Each is declared once, beside its
# target:
#   tavi_program(<target> SUMMARY <one line> [PAGE <hand-written page.1.in>])
# and gets from that its place in bin, a manual page (made from its --help
# unless PAGE gives one), a line in every other page's SEE ALSO, a <binary>
# in the AppStream metainfo and a line in the package description.

function(tavi_program target)
  cmake_parse_arguments(ARG "" "SUMMARY;PAGE" "" ${ARGN})
  if(NOT ARG_SUMMARY)
    message(FATAL_ERROR "tavi_program(${target}): SUMMARY is required")
  endif()
  set_property(GLOBAL APPEND PROPERTY TAVI_PROGRAMS ${target})
  set_property(GLOBAL PROPERTY TAVI_SUMMARY_${target} "${ARG_SUMMARY}")
  if(ARG_PAGE)
    get_filename_component(page ${ARG_PAGE} ABSOLUTE)
    set_property(GLOBAL PROPERTY TAVI_PAGE_${target} ${page})
  endif()
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# Runs once every folder has declared its programs (deferred to the end of
# the top-level CMakeLists.txt).
function(tavi_finish_programs)
  get_property(programs GLOBAL PROPERTY TAVI_PROGRAMS)
  list(SORT programs)
  string(REPLACE ";" "|" program_list "${programs}")
  set(man_dir ${PROJECT_BINARY_DIR}/man)
  set(pages)
  set(provides)
  set(described)
  foreach(p IN LISTS programs)
    get_property(summary GLOBAL PROPERTY TAVI_SUMMARY_${p})
    get_property(page GLOBAL PROPERTY TAVI_PAGE_${p})
    set(out ${man_dir}/${p}.1.gz)
    if(page)
      set(from -DPAGE=${page})
      set(depends ${page})
    else()
      set(from -DTOOL=$<TARGET_FILE:${p}>)
      set(depends ${p})
    endif()
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}
      COMMAND ${CMAKE_COMMAND} ${from} -DNAME=${p} "-DSUMMARY=${summary}"
              -DVERSION=${PROJECT_VERSION} -DDATE=${TAVI_RELEASE_DATE}
              "-DPROGRAMS=${program_list}" -DOUT=${out}
              -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
      DEPENDS ${depends} ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
      COMMENT "Manual page of ${p}" VERBATIM)
    list(APPEND pages ${out})
    string(APPEND provides "    <binary>${p}</binary>\n")
    string(APPEND described " - ${p}: ${summary}\n")
  endforeach()
  add_custom_target(tavi-man-pages ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  set(PROVIDES "${provides}")
  set(VERSION ${PROJECT_VERSION})
  set(RELEASE_DATE ${TAVI_RELEASE_DATE})
  set(metainfo ${PROJECT_BINARY_DIR}/${TAVI_APP_ID}.metainfo.xml)
  configure_file(${PROJECT_SOURCE_DIR}/data/${TAVI_APP_ID}.metainfo.xml.in ${metainfo} @ONLY)
  install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  string(STRIP "${described}" described)
  set(TAVI_PROGRAMS_DESCRIBED " ${described}\n")
  include(${PROJECT_SOURCE_DIR}/cmake/Packaging.cmake)
endfunction()
