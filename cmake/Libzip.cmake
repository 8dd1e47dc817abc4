# libzip as the target Libzip::libzip, for the command and the page, which read the embedded files (the
# Windows message-box program does not). The Linux build uses the system's library (Debian's libzip-dev) through
# pkg-config, linked dynamically. The page, the Windows command (linked statically) and the fuzz build (whose
# sanitizers and coverage must see into the library too) compile Debian's source packages of zlib and libzip,
# fetched as lzo2's are (cmake/fetch-source.sh): zlib's inflate and deflate files as a library of ours, and
# libzip with its own CMake build, configured with the same toolchain file (for the page emscripten's directly:
# emcmake's wrapper would run its test programs with a node flag this node rejects). TALLYGLASS_LIBZIP_VERSION
# and TALLYGLASS_ZLIB_VERSION name the source versions compiled.
if(TARGET Libzip::libzip)
  return()
endif()
if(NOT EMSCRIPTEN AND NOT WIN32 AND NOT TALLYGLASS_BUILD_FUZZERS)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET GLOBAL libzip)
  add_library(Libzip::libzip ALIAS PkgConfig::LIBZIP)
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/FetchSource.cmake)
tallyglass_fetch_source(zlib inflate.c TALLYGLASS_ZLIB_VERSION)
tallyglass_fetch_source(libzip lib/zip.h TALLYGLASS_LIBZIP_VERSION)
set(deps "${PROJECT_BINARY_DIR}/_deps")

# Their own code is built as their authors build it, outside our warnings-as-errors.
set(zlib_dir "${deps}/zlib")
add_library(zlib_static STATIC ${zlib_dir}/adler32.c ${zlib_dir}/crc32.c ${zlib_dir}/deflate.c ${zlib_dir}/inffast.c
                               ${zlib_dir}/inflate.c ${zlib_dir}/inftrees.c ${zlib_dir}/trees.c ${zlib_dir}/zutil.c)
target_compile_options(zlib_static PRIVATE -w)
target_include_directories(zlib_static SYSTEM PUBLIC ${zlib_dir})

if(EMSCRIPTEN)
  # Emscripten's optimizer runs on node, which must find Debian's node modules (acorn).
  set(libzip_env ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
  set(libzip_target -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
                    "-DCMAKE_CROSSCOMPILING_EMULATOR=/usr/bin/node$<SEMICOLON>--no-experimental-fetch")
  set(libzip_flags "-ffile-prefix-map=${deps}=_deps -w")
elseif(WIN32)
  # Formats from Windows' own msvcrt.dll, as in our code: mingw-w64's C99 printf would bring gdtoa along.
  set(libzip_env "")
  set(libzip_target -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE})
  set(libzip_flags "${CMAKE_C_FLAGS} -ffile-prefix-map=${deps}=_deps -D__USE_MINGW_ANSI_STDIO=0 -w")
  target_compile_definitions(zlib_static PRIVATE __USE_MINGW_ANSI_STDIO=0)
else()
  set(libzip_env "")
  set(libzip_target -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER} "-DCMAKE_EXE_LINKER_FLAGS=${CMAKE_EXE_LINKER_FLAGS}")
  set(libzip_flags "${CMAKE_C_FLAGS} -fsanitize=fuzzer-no-link -w")
  target_compile_options(zlib_static PRIVATE -fsanitize=fuzzer-no-link)
endif()

# Every crypto backend, bzip2 and LZMA off: deflated and stored entries are read.
include(ExternalProject)
set(libzip_install "${deps}/libzip-install")
ExternalProject_Add(libzip_build
  SOURCE_DIR "${deps}/libzip"
  BINARY_DIR "${deps}/libzip-build"
  INSTALL_DIR "${libzip_install}"
  CONFIGURE_COMMAND ${libzip_env} ${CMAKE_COMMAND} -Wno-dev -S <SOURCE_DIR> -B <BINARY_DIR> ${libzip_target}
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR> -DCMAKE_INSTALL_LIBDIR=lib
    "-DCMAKE_C_FLAGS=${libzip_flags}" -DBUILD_SHARED_LIBS=OFF
    -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF
    -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
    -DZLIB_INCLUDE_DIR=${zlib_dir} -DZLIB_LIBRARY=$<TARGET_FILE:zlib_static>
  INSTALL_COMMAND ${CMAKE_COMMAND} --install <BINARY_DIR>
  BUILD_BYPRODUCTS "${libzip_install}/lib/libzip.a"
  DEPENDS zlib_static)

# zip.h is read as a system header: it trips clang's nullability warnings.
add_library(libzip_static INTERFACE)
target_include_directories(libzip_static SYSTEM INTERFACE "${libzip_install}/include")
target_link_libraries(libzip_static INTERFACE "${libzip_install}/lib/libzip.a" zlib_static)
if(WIN32)
  target_compile_definitions(libzip_static INTERFACE ZIP_STATIC)  # no dllimport
endif()
add_dependencies(libzip_static libzip_build)
add_library(Libzip::libzip ALIAS libzip_static)
