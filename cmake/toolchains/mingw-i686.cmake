# Cross build for 32-bit Windows with Debian's MinGW-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(PELNIK_MINGW_TRIPLET i686-w64-mingw32)
set(PELNIK_MINGW_ARCH i686)
# The 32-bit ABI promises only 4-byte stack alignment to callbacks.
set(PELNIK_MINGW_ARCH_FLAGS "-mstackrealign")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
