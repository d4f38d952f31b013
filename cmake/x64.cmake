# The x64 drivers (latchwire.sys and the simulation driver vnotebook.sys) and the
# tests of their exception frame, built from the same sources with the x86-64
# mingw-w64 compilers in a tree of their own: ${CMAKE_BINARY_DIR}/x64, whose
# binaries are in LW_X64_BIN. The drivers are also copied into bin/x64 beside the
# 32-bit binaries: where the 32-bit tools and tests, run under WOW64, take them from.
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
  BUILD_BYPRODUCTS ${LW_X64_BIN}/latchwire.sys ${LW_X64_BIN}/vnotebook.sys ${LW_X64_BIN}/exception_frame_tests.exe)
ExternalProject_Add_Step(x64_drivers beside_32bit
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin/x64
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${LW_X64_BIN}/latchwire.sys ${LW_X64_BIN}/vnotebook.sys
          ${CMAKE_BINARY_DIR}/bin/x64
  DEPENDEES build
  ALWAYS TRUE)
