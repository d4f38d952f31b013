# The x64 drivers (latchwire.sys and the simulation driver vnotebook.sys) and the
# tests of their exception frame, built from the same sources with the x86-64
# mingw-w64 compilers in a tree of their own: ${CMAKE_BINARY_DIR}/x64, whose
# binaries are in LW_X64_BIN, unsigned (and the same bytes from every build).
# 64-bit Windows loads only signed drivers: the build signs them with a test
# certificate of its own (scripts/test-sign.sh, LW_SIGNING_DIR) into bin/x64 beside
# the 32-bit binaries, which is what ships and where the 32-bit tools and tests, run
# under WOW64, take them from.
include(ExternalProject)
set(LW_X64_DIR ${CMAKE_BINARY_DIR}/x64)
set(LW_X64_BIN ${LW_X64_DIR}/bin)
find_program(LW_X64_CC x86_64-w64-mingw32-gcc-posix)
if(NOT LW_X64_CC)
  message(FATAL_ERROR "x86_64-w64-mingw32-gcc-posix is missing: run scripts/setup.sh")
endif()
ExternalProject_Add(x64_drivers
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${LW_X64_DIR}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/toolchain-x86_64-mingw.cmake
             -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
  BUILD_ALWAYS TRUE
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${LW_X64_BIN}/latchwire.sys ${LW_X64_BIN}/vnotebook.sys ${LW_X64_BIN}/exception_frame_tests.exe
                   ${LW_X64_BIN}/wide_caller_tests.exe)
find_program(LW_OSSLSIGNCODE osslsigncode)
find_program(LW_OPENSSL openssl)
if(NOT LW_OSSLSIGNCODE OR NOT LW_OPENSSL)
  message(FATAL_ERROR "osslsigncode and openssl sign the x64 drivers: run scripts/setup.sh")
endif()
# Another build tree may share the certificate (the reproducibility check does).
set(LW_SIGNING_DIR ${CMAKE_BINARY_DIR}/test-signing CACHE PATH "Folder of the build's test-signing certificate")
set(LW_SIGNING_CERTIFICATE ${LW_SIGNING_DIR}/test-signing.crt)
ExternalProject_Add_Step(x64_drivers sign
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/test-sign.sh ${LW_SIGNING_DIR}
          ${LW_X64_BIN}/latchwire.sys ${CMAKE_BINARY_DIR}/bin/x64/latchwire.sys
          ${LW_X64_BIN}/vnotebook.sys ${CMAKE_BINARY_DIR}/bin/x64/vnotebook.sys
  DEPENDEES build
  BYPRODUCTS ${CMAKE_BINARY_DIR}/bin/x64/latchwire.sys ${CMAKE_BINARY_DIR}/bin/x64/vnotebook.sys
  ALWAYS TRUE)
