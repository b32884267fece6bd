# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -DTOOL=<program> -DNAME=<name> -DSUMMARY=<text> -DVERSION=<v> -DDATE=<yyyy-mm-dd>
#       -DPROGRAMS=<a|b|c> -DOUT=<file.1.gz> [-DPAGE=<file.1.in>] -P ManPage.cmake
# A manual page made from the program's own --help text, so the two never
# disagree; with PAGE, a page written by hand whose @DATE@, @VERSION@ and
# @SEE_ALSO@ are filled in. Compressed as Debian wants it: best, no time stamp.
string(REPLACE "|" ";" programs "${PROGRAMS}")
list(REMOVE_ITEM programs "${NAME}")
set(SEE_ALSO "")
foreach(p IN LISTS programs)
  string(REPLACE "-" "\\-" p "${p}")
  string(APPEND SEE_ALSO ".BR ${p} (1),\n")
endforeach()
string(REGEX REPLACE ",\n$" "\n" SEE_ALSO "${SEE_ALSO}")

get_filename_component(dir "${OUT}" DIRECTORY)
get_filename_component(base "${OUT}" NAME_WLE)
set(page_file "${dir}/${base}")

if(DEFINED PAGE)
  configure_file("${PAGE}" "${page_file}" @ONLY)
else()
  execute_process(COMMAND ${TOOL} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR help STREQUAL "")
    message(FATAL_ERROR "${TOOL} --help failed (${rc})")
  endif()
  # roff: backslashes first, then minus signs, then lines that start with a control character.
  string(REPLACE "\\" "\\e" help "${help}")
  string(REPLACE "-" "\\-" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  # The usage lines at the top of the help ("Usage: x ...", then "       x ...")
  # are the synopsis; the rest is the description.
  string(REPLACE "-" "\\-" name_roff "${NAME}")
  string(REPLACE "-" "\\\\-" name_re "${NAME}")
  string(REGEX MATCH "^Usage: +${name_re}[^\n]*(\n +${name_re}[^\n]*)*\n" usage "${help}")
  if(usage STREQUAL "")
    set(synopsis "${name_roff} [options]\n")
    set(description "${help}")
  else()
    string(LENGTH "${usage}" length)
    string(SUBSTRING "${help}" ${length} -1 description)
    string(REGEX REPLACE "(^|\n)(Usage:)? +" "\\1" synopsis "${usage}")
  endif()
  string(REGEX REPLACE "^\n+" "" description "${description}")
  string(REGEX REPLACE "\n+$" "\n" description "${description}")
  string(TOUPPER "${NAME}" upper)
  file(WRITE "${page_file}" ".TH ${upper} 1 \"${DATE}\" \"tavi ${VERSION}\" \"User Commands\"
.SH NAME
${name_roff} \\- ${SUMMARY}
.SH SYNOPSIS
.nf
${synopsis}.fi
.SH DESCRIPTION
.nf
${description}.fi
.SH SEE ALSO
${SEE_ALSO}")
endif()

execute_process(COMMAND gzip -9nf "${page_file}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip ${page_file} failed (${rc})")
endif()
