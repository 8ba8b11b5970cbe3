#!/bin/sh
# Tests the DLL's export tooling on a stand-in DLL whose 124 functions come
# from the public header: the .def generator (cmake/PelnikExports.cmake), the
# dlltool import libraries, and check-dll.sh itself, which must pass the
# right build and reject each fault it exists to catch.
#   test-export-tooling.sh SOURCE_DIR
set -eu
src=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "test-export-tooling: $*" >&2; exit 1; }

# A function body per declaration: enough for the loader and the callers.
stand_in() {
  tr '\n' ' ' <"$src/include/PelnikSdk_R5M_LX.h" |
    grep -o 'PELNIK_API int PELNIK_CALL Pelnik_[A-Za-z0-9_]*([^)]*)' |
    sed 's/^PELNIK_API \(.*\)$/\1 { return 1; }/'
}

build() { # arch dir [drop-name] [no-kill-at] [ld-implib]
  arch=$1 dir=$2 drop=${3:-} nokill=${4:-} ldimplib=${5:-}
  t=$arch-w64-mingw32
  mkdir -p "$dir"
  decorate=OFF machine=i386:x86-64
  [ "$arch" = i686 ] && decorate=ON machine=i386
  cmake -DHEADER="$src/include/PelnikSdk_R5M_LX.h" -DOUTPUT="$dir/PelnikSdk_R5M_LX.def" \
    -DDECORATE=$decorate -P "$src/cmake/PelnikExports.cmake"
  [ -n "$drop" ] && sed -i "/^  $drop\(@[0-9]*\)\?\$/d" "$dir/PelnikSdk_R5M_LX.def"
  { echo '#include "PelnikSdk_R5M_LX.h"'; stand_in; } >"$dir/stand_in.c"
  kill=""
  [ "$arch" = i686 ] && [ -z "$nokill" ] && kill=-Wl,--kill-at
  $t-gcc-posix -O1 -shared -static -I"$src/include" -o "$dir/PelnikSdk_R5M_LX.dll" \
    "$dir/stand_in.c" "$dir/PelnikSdk_R5M_LX.def" $kill \
    ${ldimplib:+-Wl,--out-implib,$dir/libPelnikSdk_R5M_LX.dll.a}
  [ -n "$ldimplib" ] ||
    $t-dlltool -d "$dir/PelnikSdk_R5M_LX.def" -D PelnikSdk_R5M_LX.dll -l "$dir/libPelnikSdk_R5M_LX.dll.a" -k
  llvm-dlltool -m $machine -d "$dir/PelnikSdk_R5M_LX.def" -D PelnikSdk_R5M_LX.dll \
    -l "$dir/PelnikSdk_R5M_LX.lib" -k
}

expect_pass() {
  sh "$src/scripts/windows/check-dll.sh" "$1" "$2" "$src" >"$work/log" 2>&1 ||
    { cat "$work/log" >&2; fail "check-dll rejected a correct $2 DLL"; }
}
expect_fail() { # dir arch what
  if sh "$src/scripts/windows/check-dll.sh" "$1" "$2" "$src" >"$work/log" 2>&1; then
    fail "check-dll accepted $3"
  fi
}

for arch in x86_64 i686; do
  build $arch "$work/$arch"
  expect_pass "$work/$arch" $arch
  # The generator names all 124, decorated with their argument bytes on x86.
  [ "$(grep -c '^  Pelnik_' "$work/$arch/PelnikSdk_R5M_LX.def")" -eq 124 ] || fail "$arch .def lacks functions"
done
grep -qx '  Pelnik_SetCaptureWindowEx@28' "$work/i686/PelnikSdk_R5M_LX.def" || fail "x86 .def decoration wrong"
grep -qx '  Pelnik_GetDllVersion@0' "$work/i686/PelnikSdk_R5M_LX.def" || fail "x86 .def decoration of (void) wrong"
grep -q '@' "$work/x86_64/PelnikSdk_R5M_LX.def" && fail "x64 .def decorated"

build x86_64 "$work/missing" Pelnik_SetGamma
expect_fail "$work/missing" x86_64 "a DLL missing an export"
build i686 "$work/decorated" "" no-kill-at
expect_fail "$work/decorated" i686 "decorated export names"
build i686 "$work/ld-implib" "" "" ld-implib
expect_fail "$work/ld-implib" i686 "an import library without decorations"
# A DLL that needs the compiler's runtime DLL.
build x86_64 "$work/runtime"
printf '#include <string>\nextern "C" int pelnik_length(const char *s) { return (int)std::string(s).size(); }\n' \
  >"$work/runtime/runtime.cpp"
x86_64-w64-mingw32-g++-posix -O1 -shared -I"$src/include" -o "$work/runtime/PelnikSdk_R5M_LX.dll" \
  -x c "$work/runtime/stand_in.c" -x c++ "$work/runtime/runtime.cpp" -x none \
  "$work/runtime/PelnikSdk_R5M_LX.def"
expect_fail "$work/runtime" x86_64 "a DLL importing the compiler's runtime"
echo "test-export-tooling: generator, import libraries and checks agree on both architectures"
