# SPDX-License-Identifier: GPL-3.0-or-later
# Turns data/modules.tsv into a C++ table: cmake -DIN=modules.tsv -DOUT=ModuleTableData.cpp -P this.
# Rows must come by type, then parameter, so the core can search them by halves.
# Only the rows: the header lines may hold characters CMake lists take apart.
file(STRINGS "${IN}" lines REGEX "^[0-9]" ENCODING UTF-8)
set(rows "")
set(count 0)
set(last -1)
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^([0-9]+)\t([^\t\"\\\\]+)\t([0-9]+)\t([^\t\"\\\\]+)\t([^\t\"\\\\]*)$")
    message(FATAL_ERROR "${IN}: not a row of five fields: ${line}")
  endif()
  set(type ${CMAKE_MATCH_1})
  set(param ${CMAKE_MATCH_3})
  math(EXPR order "${type} * 1000 + ${param}")
  if(order LESS_EQUAL last)
    message(FATAL_ERROR "${IN}: out of order: ${line}")
  endif()
  set(last ${order})
  string(APPEND rows "    {${type}, \"${CMAKE_MATCH_2}\", ${param}, \"${CMAKE_MATCH_4}\", \"${CMAKE_MATCH_5}\"},\n")
  math(EXPR count "${count} + 1")
endforeach()
set(text "// Generated from data/modules.tsv by cmake/GenerateModuleTable.cmake; do not edit.
#include \"patch/ModuleTable.h\"

namespace pemberlock::detail {

extern const ModuleParameter kModuleTable[] = {
${rows}};
extern const std::size_t kModuleTableSize = ${count};

}  // namespace pemberlock::detail
")
file(WRITE "${OUT}.new" "${text}")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
