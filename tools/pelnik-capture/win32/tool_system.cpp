#include "../tool_system.h"

#include <windows.h>

#include <cstdio>

#include "settings/setting_groups.h"

namespace capture {
namespace {

std::string systemMessage(DWORD code) {
  char text[256] = {};
  const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
  std::string words(text, length);
  while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.'))
    words.pop_back();
  return words.empty() ? "system error " + std::to_string(code) : words;
}

}  // namespace

// The window belongs to this thread: the SDK's posts wait in this thread's
// queue until next() takes them, and only this window's messages are taken.
struct MessageWindow::Parts {
  HWND window = nullptr;
};

MessageWindow::MessageWindow() : parts_(std::make_unique<Parts>()) {
  parts_->window = ::CreateWindowExA(0, "STATIC", "pelnik-capture", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                     nullptr, nullptr, nullptr);
}

MessageWindow::~MessageWindow() {
  if (parts_->window) ::DestroyWindow(parts_->window);
}

PelnikWindow MessageWindow::handle() const { return parts_->window; }

int MessageWindow::next(WindowMessage &m, int timeoutMs) {
  if (!parts_->window || !::IsWindow(parts_->window)) return -1;
  const DWORD start = ::GetTickCount();
  for (;;) {
    MSG msg;
    if (::PeekMessageA(&msg, parts_->window, 0, 0, PM_REMOVE)) {
      if (msg.message < WM_APP) {
        ::DispatchMessageA(&msg);
        continue;
      }
      m = {msg.message, msg.wParam, static_cast<std::intptr_t>(msg.lParam)};
      return 1;
    }
    const DWORD waited = ::GetTickCount() - start;
    if (timeoutMs >= 0 && waited >= DWORD(timeoutMs)) return 0;
    // Wakes for a message posted after the look above.
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs < 0 ? INFINITE : timeoutMs - waited,
                                QS_ALLPOSTMESSAGE);
  }
}

bool makeDirectory(const std::string &dir, std::string &reason) {
  if (::CreateDirectoryA(dir.c_str(), nullptr)) return true;
  const DWORD error = ::GetLastError();
  const DWORD attributes = ::GetFileAttributesA(dir.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
  reason =
      error == ERROR_ALREADY_EXISTS ? "a file of that name is in the way" : systemMessage(error);
  return false;
}

std::string unwritableReason(const std::string &path) {
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return systemMessage(::GetLastError());
  const bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
  ::CloseHandle(file);
  if (!existed) ::DeleteFileA(path.c_str());
  return "";
}

std::uint64_t fileBytes(const std::string &path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool stdoutIsTerminal() {
  return ::GetFileType(::GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR;
}

// The settings live in the registry, which regedit and reg.exe already show
// and edit; the tool's own reader is for the Linux store file.
int showStoredSettings(int) {
  std::fprintf(stderr,
               "pelnik-capture: the settings commands are Linux-only; on Windows the settings "
               "are in the registry under HKEY_CURRENT_USER\\%s (reg query, regedit)\n",
               pelnik::settings::kRootKey);
  return 1;
}

int resetStoredSettings(int number) { return showStoredSettings(number); }

}  // namespace capture
