# SPDX-License-Identifier: GPL-3.0-or-later
# pemberlock_module_table(VAR): the synthesizer's module list (data/modules.tsv)
# made into a C++ source in the calling folder's build folder at build time;
# VAR is set to that source's path.
function(pemberlock_module_table out)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/ModuleTableData.cpp)
  set(script ${PROJECT_SOURCE_DIR}/cmake/GenerateModuleTable.cmake)
  add_custom_command(
    OUTPUT ${source}
    COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/data/modules.tsv -DOUT=${source} -P ${script}
    DEPENDS ${PROJECT_SOURCE_DIR}/data/modules.tsv ${script}
    COMMENT "Generating the module table from data/modules.tsv"
    VERBATIM)
  set(${out} ${source} PARENT_SCOPE)
endfunction()
