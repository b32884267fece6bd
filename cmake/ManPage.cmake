# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -DTOOL=<program> -DNAME=<name> -DSUMMARY=<text> -DVERSION=<v> -DOUT=<file.1.gz> -P ManPage.cmake
# A manual page made from the program's own --help text, so the two never disagree.
# cmake -DPAGE=<file.1> -DOUT=<file.1.gz> -P ManPage.cmake compresses a written one.
if(DEFINED PAGE)
  get_filename_component(dir "${OUT}" DIRECTORY)
  get_filename_component(base "${OUT}" NAME_WLE)
  configure_file("${PAGE}" "${dir}/${base}" COPYONLY)
  file(ARCHIVE_CREATE OUTPUT "${OUT}" PATHS "${dir}/${base}" FORMAT raw COMPRESSION GZip)
  return()
endif()
execute_process(COMMAND ${TOOL} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${TOOL} --help failed (${rc})")
endif()
# roff: backslashes first, then minus signs, then lines that start with a control character.
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(TOUPPER "${NAME}" upper)
string(REPLACE "-" "\\-" name_roff "${NAME}")
set(page ".TH ${upper} 1 \"\" \"tavi ${VERSION}\" \"User Commands\"
.SH NAME
${name_roff} \\- ${SUMMARY}
.SH DESCRIPTION
.nf
${help}.fi
.SH SEE ALSO
.BR tavi\\-sim (1),
.BR tavi\\-dcw (1)
")
get_filename_component(dir "${OUT}" DIRECTORY)
get_filename_component(base "${OUT}" NAME_WLE)
file(WRITE "${dir}/${base}" "${page}")
file(ARCHIVE_CREATE OUTPUT "${OUT}" PATHS "${dir}/${base}" FORMAT raw COMPRESSION GZip)
