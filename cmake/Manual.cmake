# The man page as a download carries it, and the date a release gives it.

# Sets SOURCE_DATE_EPOCH in the environment where it is not set (scripts/release.sh sets the commit's time):
# to the time of the commit checked out, else the time that an unpacked source archive's files carry (git
# archive gives them the commit's). string(TIMESTAMP) reads it from there.
function(tallyglass_source_date)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    return()
  endif()
  execute_process(COMMAND git rev-parse --show-toplevel WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(top STREQUAL PROJECT_SOURCE_DIR)
    execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE)
  else()
    file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CMakeLists.txt epoch "%s" UTC)
  endif()
  if(epoch)
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
  endif()
endfunction()

# Writes docs/tallyglass.1 to OUT with the header a download gives it: the project version and the release
# date. The page in the source reads right where it stands (man -l docs/tallyglass.1) with a header of its own.
function(tallyglass_dated_manual out)
  tallyglass_source_date()
  string(TIMESTAMP date "%Y-%m-%d" UTC)
  file(READ ${PROJECT_SOURCE_DIR}/docs/tallyglass.1 manual)
  string(REGEX REPLACE "^\\.TH TALLYGLASS 1 [^\n]*" ".TH TALLYGLASS 1 ${date} \"Tallyglass ${PROJECT_VERSION}\" \"User Commands\""
         manual "${manual}")
  file(CONFIGURE OUTPUT ${out} CONTENT "${manual}" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/tallyglass.1)
endfunction()
