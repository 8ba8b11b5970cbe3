# What both MinGW-w64 toolchains share; each architecture's file sets
# PELNIK_MINGW_TRIPLET, PELNIK_MINGW_ARCH and PELNIK_MINGW_ARCH_FLAGS first.
set(CMAKE_C_COMPILER ${PELNIK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELNIK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PELNIK_MINGW_TRIPLET}-windres)

# The cross-built image libraries and zlib are the only things found there.
set(PELNIK_WINDOWS_DEPS_DIR ${CMAKE_CURRENT_LIST_DIR}/../../build/windows-deps/${PELNIK_MINGW_ARCH} CACHE PATH
    "Cross-built image libraries for this architecture")
set(CMAKE_FIND_ROOT_PATH /usr/${PELNIK_MINGW_TRIPLET} ${PELNIK_WINDOWS_DEPS_DIR})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# zlib's static archive, not the import library of zlib1.dll beside it:
# nothing but system DLLs at run time.
set(ZLIB_LIBRARY /usr/${PELNIK_MINGW_TRIPLET}/lib/libz.a CACHE FILEPATH "Static zlib")

# GCC assumes more stack alignment than Windows guarantees, and an aligned
# vector move of a spilled register then faults on Windows (Wine hides it).
set(PELNIK_MINGW_FLAGS "-Wa,-muse-unaligned-vector-move ${PELNIK_MINGW_ARCH_FLAGS}")
set(CMAKE_C_FLAGS_INIT "${PELNIK_MINGW_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${PELNIK_MINGW_FLAGS}")
