#pragma once
// The public header's window and wide-text types as the camera takes them.
//
// Window handles as the camera keeps them: an int. On Windows an HWND is
// significant in its low 32 bits even in a 64-bit process (what lets 32- and
// 64-bit processes pass windows to each other), so the int names the window.
#include <cstdint>

#include "PelnikSdk_R5M_LX.h"

namespace pelnik {

inline int windowId(int window) noexcept { return window; }
template <class Handle>
inline int windowId(Handle *window) noexcept {
  return static_cast<int>(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(window)));
}

// Wide text is UTF-16 on both systems: wchar_t on Windows, char16_t on Linux.
static_assert(sizeof(PelnikChar16) == sizeof(char16_t));
inline const char16_t *utf16(const PelnikChar16 *text) noexcept {
  return reinterpret_cast<const char16_t *>(text);
}
inline char16_t *utf16(PelnikChar16 *text) noexcept { return reinterpret_cast<char16_t *>(text); }

}  // namespace pelnik
