# Finds the commit the Windows module is built from, at every build rather than
# at configure time, so a build after a new commit always names the new one.
# Writes two files, each only when its text changes, so that an unchanged
# commit rebuilds and relinks nothing:
#   HEADER: defines SOURCE_COMMIT_TEXT for the version resource's Comments:
#     "commit <40 hex digits>" for a clean work tree;
#     "commit <40 hex digits> + niezatwierdzone zmiany" when tracked files
#       differ from the commit or untracked files lie beside them, since such
#       bytes cannot be rebuilt from the commit alone;
#     "commit nieznany" when the sources are not a git work tree of their own.
#   TIME: the commit's time in seconds since 1970 (empty when unknown), which
#     cmake/link_at_commit_time.sh hands the linker as SOURCE_DATE_EPOCH.
# Usage: cmake -DSOURCE_DIR=DIR -DHEADER=FILE -DTIME=FILE -P source_commit.cmake

function(run_git result)
  # --no-optional-locks: a build never takes the index lock from a git command
  # running at the same time.
  execute_process(COMMAND git --no-optional-locks -C "${SOURCE_DIR}" ${ARGN}
                  RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_QUIET
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed)
    set(${result} "" PARENT_SCOPE)
  else()
    set(${result} "${out}" PARENT_SCOPE)
    set(${result}_ok TRUE PARENT_SCOPE)
  endif()
endfunction()

function(write_if_changed file text)
  if(EXISTS "${file}")
    file(READ "${file}" old)
    if(old STREQUAL text)
      return()
    endif()
  endif()
  file(WRITE "${file}" "${text}")
endfunction()

set(text "commit nieznany")
set(time "")
# The sources must be the top of the work tree: an unpacked copy inside some
# other repository must not take that repository's commit.
run_git(top rev-parse --show-toplevel)
file(REAL_PATH "${SOURCE_DIR}" source)
if(top)
  file(REAL_PATH "${top}" top)
endif()
if(top STREQUAL source)
  run_git(head log -1 --format=%H%n%ct)
  if(head MATCHES "^([0-9a-f]+)\n([0-9]+)$")
    set(text "commit ${CMAKE_MATCH_1}")
    set(time "${CMAKE_MATCH_2}")
    run_git(changes status --porcelain)
    # A failed status cannot vouch for a clean tree either.
    if(NOT changes_ok OR NOT changes STREQUAL "")
      string(APPEND text " + niezatwierdzone zmiany")
    endif()
  endif()
endif()

write_if_changed("${HEADER}" "#define SOURCE_COMMIT_TEXT \"${text}\"\n")
write_if_changed("${TIME}" "${time}")
