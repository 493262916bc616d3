# SPDX-License-Identifier: GPL-3.0-or-later
# Header-only libraries come from this machine's /usr/include even when
# cross-compiling. Adding /usr/include itself would put this machine's
# system headers before the cross compiler's, so only the headers asked
# for are linked into a folder of their own, which the target then uses.
function(pemberlock_use_host_headers target scope)
  set(folder ${CMAKE_BINARY_DIR}/host-headers)
  file(MAKE_DIRECTORY ${folder})
  foreach(name IN LISTS ARGN)
    find_path(found_${name} ${name} PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
              REQUIRED)
    file(CREATE_LINK ${found_${name}}/${name} ${folder}/${name} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${folder})
endfunction()
