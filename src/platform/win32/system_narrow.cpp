#include <windows.h>

#include "platform/text_convert.h"

namespace pelnik::platform {

std::optional<std::string> wideToSystemNarrow(const char16_t *text) {
  if (!text) return std::nullopt;
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");
  const auto *wide = reinterpret_cast<const wchar_t *>(text);
  if (!*wide) return std::string();
  // No best-fit mapping: a character the code page lacks must fail rather
  // than turn into a look-alike or '?', or a file would get another name.
  BOOL usedDefault = FALSE;
  const int needed = ::WideCharToMultiByte(CP_THREAD_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr,
                                           0, nullptr, &usedDefault);
  if (needed <= 0 && ::GetLastError() == ERROR_INVALID_PARAMETER) {
    // A thread whose ANSI code page is UTF-8 takes neither flag; there only
    // an unpaired surrogate cannot be converted.
    const int utf8Needed = ::WideCharToMultiByte(CP_THREAD_ACP, WC_ERR_INVALID_CHARS, wide, -1,
                                                 nullptr, 0, nullptr, nullptr);
    if (utf8Needed <= 0) return std::nullopt;
    std::string narrow(static_cast<std::size_t>(utf8Needed), '\0');
    if (::WideCharToMultiByte(CP_THREAD_ACP, WC_ERR_INVALID_CHARS, wide, -1, narrow.data(),
                              utf8Needed, nullptr, nullptr) != utf8Needed)
      return std::nullopt;
    narrow.resize(static_cast<std::size_t>(utf8Needed) - 1);
    return narrow;
  }
  if (needed <= 0 || usedDefault) return std::nullopt;
  std::string narrow(static_cast<std::size_t>(needed), '\0');
  usedDefault = FALSE;
  const int written = ::WideCharToMultiByte(CP_THREAD_ACP, WC_NO_BEST_FIT_CHARS, wide, -1,
                                            narrow.data(), needed, nullptr, &usedDefault);
  if (written != needed || usedDefault) return std::nullopt;
  narrow.resize(static_cast<std::size_t>(written) - 1);  // the terminator
  return narrow;
}

}  // namespace pelnik::platform
