# Cross-compiles for Windows on ARM64 with Debian's clang, lld and llvm-dlltool, and runs the
# resulting programs under Debian's arm64 Wine emulated by qemu. Debian has no C runtime for
# this target, only the mingw-w64 headers: what is built here must need none.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)

set(triple aarch64-w64-mingw32)
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_CXX_COMPILER_TARGET ${triple})
set(CMAKE_C_FLAGS_INIT "-isystem /usr/share/mingw-w64/include")
set(CMAKE_CXX_FLAGS_INIT "-isystem /usr/share/mingw-w64/include")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld-14")
endforeach()
# With no runtime to link against, CMake's own test programs can only be compiled.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(TIRK_DLLTOOL llvm-dlltool-14 -m arm64)
# The resource script needs no preprocessor (without this, llvm-windres calls an unversioned clang).
set(TIRK_WINDRES llvm-windres-14 --target=${triple} --no-preprocess)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-arm64-run.sh)
