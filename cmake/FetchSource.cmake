# Fetches Debian's source package PACKAGE into the build tree's _deps (cmake/fetch-source.sh: once, under a
# lock), CHECK being a file of the unpacked tree that tells the fetch is whole, and sets VERSION_VARIABLE to
# the source version, which the notices name.
function(tallyglass_fetch_source package check version_variable)
  set(deps "${PROJECT_BINARY_DIR}/_deps")
  execute_process(COMMAND "${PROJECT_SOURCE_DIR}/cmake/fetch-source.sh" ${package} "${deps}" ${check}
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Could not fetch the ${package} source package (see the messages above)")
  endif()
  file(STRINGS "${deps}/${package}.version" version LIMIT_COUNT 1)
  message(STATUS "${package} source package: ${version}, in ${deps}/${package}-source")
  set(${version_variable} "${version}" PARENT_SCOPE)
endfunction()
