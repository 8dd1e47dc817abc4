# LZO is the system's library, found through pkg-config, as the target Lzo::lzo2.
if(NOT TARGET Lzo::lzo2)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LZO2 REQUIRED IMPORTED_TARGET GLOBAL lzo2)
  add_library(Lzo::lzo2 ALIAS PkgConfig::LZO2)
endif()
