# pugixml as the target Pugixml::pugixml, for the map's card that the command and the page read from its
# header (the Windows message-box program does not). The Linux build uses the system's library (Debian's
# libpugixml-dev) through pkg-config. The page, the Windows command and the fuzz build compile its one source
# file from Debian's source package, fetched as lzo2's is (cmake/fetch-source.sh), without exceptions and
# without XPath: the card reads elements and attributes alone. TALLYGLASS_PUGIXML_VERSION names the source
# version compiled.
if(TARGET Pugixml::pugixml)
  return()
endif()
if(NOT EMSCRIPTEN AND NOT WIN32 AND NOT TALLYGLASS_BUILD_FUZZERS)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(PUGIXML REQUIRED IMPORTED_TARGET GLOBAL pugixml)
  add_library(Pugixml::pugixml ALIAS PkgConfig::PUGIXML)
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/FetchSource.cmake)
tallyglass_fetch_source(pugixml src/pugixml.cpp TALLYGLASS_PUGIXML_VERSION)
set(deps "${PROJECT_BINARY_DIR}/_deps")

# Its own code is built as its author builds it, outside our warnings-as-errors.
add_library(pugixml_static STATIC "${deps}/pugixml/src/pugixml.cpp")
target_compile_options(pugixml_static PRIVATE -w $<$<BOOL:${TALLYGLASS_BUILD_FUZZERS}>:-fsanitize=fuzzer-no-link>)
target_compile_definitions(pugixml_static PUBLIC PUGIXML_NO_EXCEPTIONS PUGIXML_NO_XPATH PUGIXML_NO_STL)
# Formats and strtod from Windows' own msvcrt.dll, as in our code: mingw-w64's C99 printf and strtod would
# bring gdtoa along. libstdc++'s headers switch them on whatever the build asks, so the C headers are read
# first: mingw-w64's own stdlib.h by its path, past libstdc++'s stdlib.h, which reads its switches.
if(WIN32)
  find_file(TALLYGLASS_MINGW_STDLIB stdlib.h REQUIRED NO_CACHE)
  target_compile_definitions(pugixml_static PRIVATE __USE_MINGW_ANSI_STDIO=0)
  target_compile_options(pugixml_static PRIVATE "SHELL:-include stdio.h" "SHELL:-include ${TALLYGLASS_MINGW_STDLIB}")
endif()
target_include_directories(pugixml_static SYSTEM PUBLIC "${deps}/pugixml/src")
add_library(Pugixml::pugixml ALIAS pugixml_static)
