#!/bin/sh
# Checks a cross-built PelnikSdk_R5M_LX.dll without running it:
#  - its export table is exactly the header's Pelnik_* functions, plain names;
#  - it imports nothing but Windows' own DLLs (the compiler runtime is static);
#  - both import libraries name every function, the 32-bit ones decorated
#    (_Name@N) and importing the plain export;
#  - a C caller linked by Microsoft-style lld-link against the .lib, and one
#    linked by MinGW against the .dll.a, import the plain names.
#   check-dll.sh BUILD_DIR x86_64|i686 SOURCE_DIR
set -eu
build=$(cd "$1" && pwd) arch=$2 src=$(cd "$3" && pwd)
triplet=$arch-w64-mingw32
dll=$build/PelnikSdk_R5M_LX.dll
header=$src/include/PelnikSdk_R5M_LX.h
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-dll: $*" >&2; exit 1; }
for tool in $triplet-objdump $triplet-nm $triplet-gcc-posix lld-link; do
  command -v "$tool" >/dev/null || fail "$tool missing (sh scripts/install-deps.sh windows)"
done
[ -f "$dll" ] || fail "no $dll"

# The header's functions, read independently of the build's .def generator.
tr '\n' ' ' <"$header" | grep -o 'PELNIK_CALL *Pelnik_[A-Za-z0-9_]*' |
  sed 's/.* //' | sort >"$work/declared"
[ "$(wc -l <"$work/declared")" -eq 124 ] || fail "header declares $(wc -l <"$work/declared") functions, not 124"

$triplet-objdump -p "$dll" >"$work/dump"
sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' "$work/dump" |
  sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort >"$work/exported"
diff -u "$work/declared" "$work/exported" >"$work/diff" ||
  { cat "$work/diff" >&2; fail "export table differs from the header"; }

# Imports: Windows' own DLLs only, compared without case.
sed -n 's/^[[:space:]]*DLL Name: //p' "$work/dump" | tr 'A-Z' 'a-z' | sort -u >"$work/imports"
system="advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll
oleaut32.dll shell32.dll shlwapi.dll user32.dll uuid.dll winmm.dll ws2_32.dll bcrypt.dll
ntdll.dll version.dll"
while read -r name; do
  case " $(echo $system) " in
    *" $name "*) ;;
    *) fail "imports $name, which is not a Windows system DLL" ;;
  esac
done <"$work/imports"
grep -qx kernel32.dll "$work/imports" || fail "import table unreadable (no kernel32.dll)"

# Import libraries: every function, decorated with its argument bytes on x86.
for lib in "$build/libPelnikSdk_R5M_LX.dll.a" "$build/PelnikSdk_R5M_LX.lib"; do
  [ -f "$lib" ] || fail "no $lib"
  $triplet-nm "$lib" 2>/dev/null | sed -n 's/^.* [TI] __imp_//p' | sort -u >"$work/symbols"
  if [ "$arch" = i686 ]; then
    grep -qx '_Pelnik_Initialize@4' "$work/symbols" || fail "$lib lacks _Pelnik_Initialize@4"
    grep -qx '_Pelnik_SetCaptureWindowEx@28' "$work/symbols" || fail "$lib lacks _Pelnik_SetCaptureWindowEx@28"
    sed 's/^_//; s/@[0-9]*$//' "$work/symbols" | sort -u >"$work/names"
  else
    grep -q '@' "$work/symbols" && fail "$lib has decorated names on x64"
    cp "$work/symbols" "$work/names"
  fi
  diff -u "$work/declared" "$work/names" >"$work/diff" ||
    { cat "$work/diff" >&2; fail "$lib does not name exactly the header's functions"; }
done

# The header takes <windows.h>'s own types: HWND and wchar_t text, in C++ too.
cat >"$work/types.cpp" <<'TYPES'
#include <windows.h>
#include "PelnikSdk_R5M_LX.h"
int use(HWND window, const wchar_t *name) {
  int handle = Pelnik_Initialize(window);
  int (PELNIK_CALL *save)(int, const wchar_t *, int) = &Pelnik_SaveImageW;
  return Pelnik_CallBackPreview(handle, window, nullptr, 0, 1) + save(handle, name, PELNIK_FILE_BMP);
}
TYPES
$triplet-g++-posix -std=c++20 -Wall -Werror -fsyntax-only -I"$src/include" "$work/types.cpp" ||
  fail "the header does not take HWND and wchar_t text"

# Callers through the public header, without any C runtime.
cat >"$work/caller.c" <<'CALLER'
#include "PelnikSdk_R5M_LX.h"
__declspec(dllimport) void __stdcall ExitProcess(unsigned code);
void __stdcall caller_entry(void) {
  int handle = Pelnik_Initialize((PelnikWindow)0);
  int width = 0, flag = 0, ok = handle != 0 && Pelnik_GetDllVersion() != 0;
  if (handle) {
    Pelnik_GetCaptureWindowEx(handle, &width, &width, &width, &width, &width, &width);
    Pelnik_GetBrightness(handle, &flag);
    ok = Pelnik_Release(handle) == 1 && ok;
  }
  ExitProcess(ok ? 0u : 1u);
}
CALLER
$triplet-gcc-posix -O2 -std=c99 -Wall -Werror -fno-asynchronous-unwind-tables -I"$src/include" \
  -c "$work/caller.c" -o "$work/caller.o"
if [ "$arch" = i686 ]; then entry=caller_entry@0 machine=x86; else entry=caller_entry machine=x64; fi
lld-link /nologo /safeseh:no /machine:$machine /entry:$entry /subsystem:console /nodefaultlib \
  /out:"$work/msvc_caller.exe" "$work/caller.o" "$build/PelnikSdk_R5M_LX.lib" \
  /usr/$triplet/lib/libkernel32.a || fail "lld-link could not link a caller against the .lib"
$triplet-gcc-posix -nostartfiles -e "$( [ "$arch" = i686 ] && echo _caller_entry@0 || echo caller_entry)" \
  -o "$work/mingw_caller.exe" "$work/caller.o" "$build/libPelnikSdk_R5M_LX.dll.a" -lkernel32 ||
  fail "MinGW could not link a caller against the .dll.a"
for exe in msvc_caller mingw_caller; do
  $triplet-objdump -p "$work/$exe.exe" |
    sed -n '/DLL Name: PelnikSdk_R5M_LX.dll/,/^$/p' | awk 'NF >= 3 && $3 ~ /^Pelnik_/ {print $3}' |
    sort >"$work/$exe.imports"
  printf 'Pelnik_GetBrightness\nPelnik_GetCaptureWindowEx\nPelnik_GetDllVersion\nPelnik_Initialize\nPelnik_Release\n' |
    diff -u - "$work/$exe.imports" || fail "$exe does not import the plain names"
done
# The 64-bit callers also run, beside the DLL, under Wine (a test lane of
# make test-windows): the loader must bind every import to the DLL.
if [ "$arch" = x86_64 ]; then
  cp "$dll" "$work/"
  for exe in msvc_caller mingw_caller; do
    (cd "$work" && sh "$src/scripts/windows/wine-run.sh" "$exe.exe") ||
      fail "$exe.exe failed under Wine (status $?)"
  done
fi
echo "check-dll $arch: 124 plain exports, system imports only, import libraries and callers agree"
