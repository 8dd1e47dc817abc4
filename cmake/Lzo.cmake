# LZO as the target Lzo::lzo2. Native builds use the system's library, found through pkg-config. Windows and
# WebAssembly builds compile Debian's source package of lzo2, fetched once at configure time into the build
# tree's _deps folder (cmake/fetch-source.sh); its package files stay there for the release, and
# TALLYGLASS_LZO_VERSION names the source version the program contains.
if(NOT TARGET Lzo::lzo2)
  if(WIN32 OR EMSCRIPTEN)
    include(${CMAKE_CURRENT_LIST_DIR}/FetchSource.cmake)
    tallyglass_fetch_source(lzo2 src/lzo1x_d1.c TALLYGLASS_LZO_VERSION)
    set(TALLYGLASS_LZO_DIR "${PROJECT_BINARY_DIR}/_deps")
    set(lzo_source_dir "${TALLYGLASS_LZO_DIR}/lzo2")
    file(GLOB lzo_sources "${lzo_source_dir}/src/*.c")
    add_library(lzo2_static STATIC ${lzo_sources})
    # LZO's own code is built as Debian builds it, outside our warnings-as-errors.
    target_compile_definitions(lzo2_static PRIVATE LZO_CFG_MODERN_C=1)
    target_compile_options(lzo2_static PRIVATE -w)
    target_include_directories(lzo2_static PRIVATE "${lzo_source_dir}/src")
    # WebAssembly loads and stores need no alignment, but LZO does not know the target and would copy the body
    # byte by byte: its own switches for unaligned access make decompression about a quarter faster there.
    if(EMSCRIPTEN)
      target_compile_definitions(lzo2_static PRIVATE LZO_OPT_UNALIGNED16=1 LZO_OPT_UNALIGNED32=1)
    endif()
    target_include_directories(lzo2_static SYSTEM PUBLIC "${lzo_source_dir}/include")
    add_library(Lzo::lzo2 ALIAS lzo2_static)
  else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(LZO2 REQUIRED IMPORTED_TARGET GLOBAL lzo2)
    add_library(Lzo::lzo2 ALIAS PkgConfig::LZO2)
  endif()
endif()
