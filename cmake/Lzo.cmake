# LZO as the target Lzo::lzo2. Native builds use the system's library, found through pkg-config. Windows builds
# compile Debian's source package of lzo2, fetched once at configure time into build/_deps (never committed).
if(NOT TARGET Lzo::lzo2)
  if(WIN32)
    set(TALLYGLASS_LZO_SOURCE_DIR "${PROJECT_SOURCE_DIR}/build/_deps/lzo2"
        CACHE PATH "Unpacked lzo2 source package (fetched when missing)")
    execute_process(COMMAND "${PROJECT_SOURCE_DIR}/cmake/fetch-lzo-source.sh" "${TALLYGLASS_LZO_SOURCE_DIR}"
                    RESULT_VARIABLE lzo_fetch_result)
    if(NOT lzo_fetch_result EQUAL 0)
      message(FATAL_ERROR "Could not fetch the lzo2 source package")
    endif()
    file(GLOB lzo_sources "${TALLYGLASS_LZO_SOURCE_DIR}/src/*.c")
    add_library(lzo2_static STATIC ${lzo_sources})
    # LZO's own code is built as Debian builds it, outside our warnings-as-errors.
    target_compile_definitions(lzo2_static PRIVATE LZO_CFG_MODERN_C=1)
    target_compile_options(lzo2_static PRIVATE -w)
    target_include_directories(lzo2_static PRIVATE "${TALLYGLASS_LZO_SOURCE_DIR}/src")
    target_include_directories(lzo2_static SYSTEM PUBLIC "${TALLYGLASS_LZO_SOURCE_DIR}/include")
    add_library(Lzo::lzo2 ALIAS lzo2_static)
  else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(LZO2 REQUIRED IMPORTED_TARGET GLOBAL lzo2)
    add_library(Lzo::lzo2 ALIAS PkgConfig::LZO2)
  endif()
endif()
