# Cross compiler for release builds: the C++ compiler of the `ziglang` package, which
# targets a chosen glibc version and links its own C++ runtime statically, so the module
# needs nothing from the system but an old glibc.
#   cmake -DCMAKE_TOOLCHAIN_FILE=tools/zig-toolchain.cmake -DZIG_TARGET=aarch64-linux-gnu.2.17 ...
# ZIG_TARGET is a target triple as zig names it (arch-os-abi, with the glibc version last).
# ZIG, the compiler itself, is found through the `ziglang` package of the python3 on PATH
# unless given. ZIG_LIBGCC, optional, is a libgcc.a for the target (see below).

if(NOT ZIG_TARGET)
  message(FATAL_ERROR "zig-toolchain.cmake needs ZIG_TARGET, e.g. x86_64-linux-gnu.2.17")
endif()
if(NOT ZIG)
  find_program(ZIG_PYTHON NAMES python3 python REQUIRED)
  execute_process(
    COMMAND "${ZIG_PYTHON}" -c "import os, ziglang; print(os.path.join(os.path.dirname(ziglang.__file__), 'zig'))"
    OUTPUT_VARIABLE ZIG OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(ZIG "${ZIG}" CACHE FILEPATH "The zig compiler driver")
endif()
# The checks CMake compiles in scratch projects read this file again: hand them both.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZIG ZIG_TARGET ZIG_LIBGCC)

string(REPLACE "-" ";" target_parts "${ZIG_TARGET}")
list(GET target_parts 0 CMAKE_SYSTEM_PROCESSOR)
list(GET target_parts 1 target_os)
set(system_names linux Linux macos Darwin windows Windows)
list(FIND system_names "${target_os}" os_index)
if(os_index LESS 0)
  message(FATAL_ERROR "zig-toolchain.cmake: no system name known for '${target_os}'")
endif()
math(EXPR os_index "${os_index} + 1")
list(GET system_names ${os_index} CMAKE_SYSTEM_NAME)

set(CMAKE_CXX_COMPILER "${ZIG}" c++ -target "${ZIG_TARGET}")
# The host's archiver may not read the target's objects (or LTO bitcode); zig's own does.
set(CMAKE_CXX_ARCHIVE_CREATE "\"${ZIG}\" ar qc <TARGET> <LINK_FLAGS> <OBJECTS>")
set(CMAKE_CXX_ARCHIVE_APPEND "\"${ZIG}\" ar q <TARGET> <LINK_FLAGS> <OBJECTS>")
set(CMAKE_CXX_ARCHIVE_FINISH "\"${ZIG}\" ranlib <TARGET>")

if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # Other systems' builds here are compile-only checks of the sources: nothing is linked.
  set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
  return()
endif()

# Speed, measured against the GCC build (bench/): zig compiles -O3 as -O2 and keeps frame
# pointers; link-time optimisation and a higher inlining threshold bring the string appends
# of the JSON writer, which its C++ runtime keeps out of line, back inline.
set(CMAKE_CXX_FLAGS_INIT "-fomit-frame-pointer -flto -mllvm -inline-threshold=1000")
# No debug sections are kept.
set(linker_flags "-s")
# zig's own helper library would bring with it its generic memcpy, memmove and strlen, which
# bind ahead of glibc's tuned ones (a third slower on short keys); a GCC runtime for the
# target supplies the few helpers needed instead.
if(ZIG_LIBGCC)
  string(APPEND linker_flags " -rtlib=none \"${ZIG_LIBGCC}\"")
endif()
# The unwinder is the system's libgcc_s.so.1 (which every manylinux system has), not zig's own:
# the C library ends a thread (pthread_exit, which ends daemon threads at interpreter exit) by
# unwinding it with libgcc_s, which calls the module's C++ personality routine, and that
# routine must read the unwinder's state with the same unwinder or it crashes. The link is
# made against a stub that only names libgcc_s's symbols and versions.
set(unwinder_stub "${CMAKE_BINARY_DIR}/unwinder/libgcc_s.so.1")
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/unwinder")
execute_process(
  COMMAND "${ZIG}" cc -target "${ZIG_TARGET}" -shared -nostdlib -o "${unwinder_stub}"
          -Wl,-soname,libgcc_s.so.1 "-Wl,--version-script=${CMAKE_CURRENT_LIST_DIR}/unwinder/libgcc_s.map"
          "${CMAKE_CURRENT_LIST_DIR}/unwinder/libgcc_s.c"
  COMMAND_ERROR_IS_FATAL ANY)
string(APPEND linker_flags " -unwindlib=none \"${unwinder_stub}\"")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${linker_flags}")
# A module exports its entry point alone, not the operators new and delete of its C++ runtime.
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${linker_flags} -Wl,--version-script=${CMAKE_CURRENT_LIST_DIR}/module-exports.map")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${linker_flags}")
