# What the kernel drivers' builds share, for either target:
#   LW_DDK_INCLUDE      mingw-w64's DDK headers of the target
#   LW_GUARD_ASM        the exception frame of the target (lw_guard.h)
#   LW_DRIVER_LINK      link options of a native image entered at DriverEntry
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(LW_GUARD_ASM lw_guard_x86_64.S)
  set(LW_DRIVER_ENTRY DriverEntry)
  set(LW_MINGW_ROOT /usr/x86_64-w64-mingw32)
else()
  set(LW_GUARD_ASM lw_guard_i686.S)
  set(LW_DRIVER_ENTRY _DriverEntry@8)  # stdcall, two arguments
  set(LW_MINGW_ROOT /usr/i686-w64-mingw32)
endif()
set(LW_DDK_INCLUDE ${LW_MINGW_ROOT}/include/ddk)
set(LW_DRIVER_LINK -nostdlib -nostartfiles -Wl,--subsystem,native -Wl,--entry,${LW_DRIVER_ENTRY})
# Kernel code: on i686 without unwind tables (exception frames there are the fs:[0]
# chain); on x64 every function keeps its unwind data, since the system unwinds
# through them to reach an exception frame.
if(CMAKE_CROSSCOMPILING AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(LW_KERNEL_UNWIND -funwind-tables)
else()
  set(LW_KERNEL_UNWIND -fno-asynchronous-unwind-tables)
endif()
