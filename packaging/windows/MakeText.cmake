# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -DOUTPUT=FILE -DINPUTS=A|B|... [-DBASE=FOLDER] -P MakeText.cmake
# Joins text files into one with Windows line ends, for Notepad and friends.
# An input under BASE gets a heading naming it (BASE/qtbase/zlib/LICENSE:
# "qtbase/zlib/LICENSE").
string(REPLACE "|" ";" inputs "${INPUTS}")
set(text "")
foreach(input IN LISTS inputs)
  file(READ ${input} part)
  string(REPLACE "\r\n" "\n" part "${part}")
  string(FIND "${input}" "${BASE}/" at)
  if(BASE AND at EQUAL 0)
    file(RELATIVE_PATH name ${BASE} ${input})
    string(APPEND text "\n---- ${name} ----\n\n")
  elseif(NOT text STREQUAL "")
    string(APPEND text "\n")
  endif()
  string(APPEND text "${part}")
endforeach()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT} "${text}")
