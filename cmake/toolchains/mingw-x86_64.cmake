# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(PELNIK_MINGW_TRIPLET x86_64-w64-mingw32)
set(PELNIK_MINGW_ARCH x86_64)
set(PELNIK_MINGW_ARCH_FLAGS "")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
