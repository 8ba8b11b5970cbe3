# Cross build for arm64 with Debian's cross toolchain and the arm64
# development packages installed through multiarch (scripts/deps/arm64.*).
# Test programs run under qemu-aarch64 with the arm64 runtime as its root.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
# Debian's name for the architecture, for the packages (cpack -G DEB).
set(PELNIK_DEBIAN_ARCHITECTURE arm64)
# The wrapper also tells the tests how to start helper programs (no binfmt
# handler here) and asks slow tests for their reduced workload.
set(CMAKE_CROSSCOMPILING_EMULATOR sh ${CMAKE_CURRENT_LIST_DIR}/../../scripts/arm64/qemu-run.sh)
# Multiarch: arm64 libraries in /usr/lib/aarch64-linux-gnu, headers shared.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
