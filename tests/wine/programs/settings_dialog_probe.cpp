// Windows side of the settings dialog tests: opens the named dialogs one
// after another through their exports on an open camera (the virtual
// camera's pipe in this process), and for each one, once it shows, compares
// every caption, tab label and list entry with the form the dialog's model
// builds, and tells the driving test where the controls are. After each
// dialog it reports what the getters give, and at the end what the
// registry holds.
//   settings-dialog-probe.exe REPORT_DIR analog|image|camera...
// Files in REPORT_DIR: KIND.shown (when the dialog shows), KIND.done (after
// it has closed), registry (at the end), each written whole.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "PelnikSdk_R5M_LX.h"
#include "dialogs/dialog_texts.h"
#include "dialogs/win32/layout_hosts.h"
#include "imaging/filter_slots.h"
#include "settings/setting_groups.h"
#include "settings/user_store.h"
#include "ui/ui_language.h"
#include "virtcam/win32/pipe_server.h"

namespace {

using namespace pelnik;

std::wstring wide(const std::string &utf8) {
  if (utf8.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  std::wstring text(std::size_t(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), n);
  return text;
}

std::string utf8(const std::wstring &text) {
  if (text.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                      nullptr, nullptr);
  std::string out(std::size_t(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr,
                        nullptr);
  return out;
}

std::wstring windowTextW(HWND window) {
  wchar_t text[512] = {};
  ::GetWindowTextW(window, text, 512);
  return text;
}

// Whole or not at all: the driving test polls for the file.
bool writeWhole(const std::string &path, const std::string &text) {
  const std::string partial = path + ".partial";
  FILE *f = std::fopen(partial.c_str(), "wb");
  if (!f) return false;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  return ::MoveFileExA(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

struct Child {
  HWND window;
  int id;
  std::wstring className;
  std::wstring text;
};

BOOL CALLBACK collectChild(HWND window, LPARAM data) {
  wchar_t className[64] = {};
  ::GetClassNameW(window, className, 64);
  reinterpret_cast<std::vector<Child> *>(data)->push_back(
      {window, ::GetDlgCtrlID(window), className, windowTextW(window)});
  return TRUE;
}

// The form the shown dialog was built from: the same model over hosts whose
// values do not matter to texts (the image dialog's in a monochrome mode,
// which has both pages), the camera dialog's over the registry it reads.
platform::DialogForm expectedForm(const std::string &kind) {
  const settings::DialogTexts &texts = settings::dialogTexts(platform::sessionLanguage());
  if (kind == "analog") {
    settings::layout::LayoutAnalogHost host;
    return settings::AnalogDialogModel(host, texts).form();
  }
  if (kind == "image") {
    settings::layout::LayoutImageHost host;
    return settings::ImageDialogModel(host, texts).form();
  }
  return settings::CameraDialogModel(settings::userStore(), 0, texts).form();
}

// Compares the dialog with the form; one line per difference, and the
// number of texts compared.
std::string compareTexts(HWND dialog, const platform::DialogForm &form, int &compared) {
  std::ostringstream out;
  std::vector<Child> children;
  ::EnumChildWindows(dialog, collectChild, reinterpret_cast<LPARAM>(&children));
  auto expect = [&](const std::wstring &shown, const std::string &wanted, const std::string &what) {
    ++compared;
    if (shown != wide(wanted))
      out << "mismatch " << what << " shown '" << utf8(shown) << "' wanted '" << wanted << "'\n";
  };
  expect(windowTextW(dialog), form.title, "title");

  HWND tab = nullptr;
  for (const Child &c : children)
    if (c.className == WC_TABCONTROLW) tab = c.window;
  const int tabs = tab ? int(::SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0)) : 0;
  if (tabs != int(form.tabs.size()))
    out << "mismatch tab count " << tabs << " wanted " << form.tabs.size() << "\n";
  for (int i = 0; i < tabs && i < int(form.tabs.size()); ++i) {
    wchar_t label[128] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = label;
    item.cchTextMax = 128;
    ::SendMessageW(tab, TCM_GETITEMW, WPARAM(i), LPARAM(&item));
    expect(label, form.tabs[std::size_t(i)], "tab " + std::to_string(i));
  }

  for (const platform::DialogControl &c : form.controls) {
    const bool captioned = c.kind != platform::ControlKind::Text || c.text.empty();
    if (captioned && !c.label.empty()) {
      bool found = false;
      for (const Child &child : children) found = found || child.text == wide(c.label);
      ++compared;
      if (!found) out << "mismatch caption of " << c.id << " '" << c.label << "' not shown\n";
    }
    if (c.kind != platform::ControlKind::ListBox) continue;
    HWND list = nullptr;
    for (const Child &child : children)
      if (child.id == platform::shownControlId(c.id) && child.className == WC_COMBOBOXW)
        list = child.window;
    if (!list) {
      out << "mismatch list " << c.id << " missing\n";
      continue;
    }
    const int count = int(::SendMessageW(list, CB_GETCOUNT, 0, 0));
    if (count != int(c.items.size()))
      out << "mismatch list " << c.id << " holds " << count << " wanted " << c.items.size() << "\n";
    for (int i = 0; i < count && i < int(c.items.size()); ++i) {
      const auto length = ::SendMessageW(list, CB_GETLBTEXTLEN, WPARAM(i), 0);
      std::wstring entry(std::size_t(length > 0 ? length : 0) + 1, L'\0');
      ::SendMessageW(list, CB_GETLBTEXT, WPARAM(i), LPARAM(entry.data()));
      entry.resize(std::size_t(length > 0 ? length : 0));
      expect(entry, c.items[std::size_t(i)], "list " + std::to_string(c.id) + " entry " +
                                                 std::to_string(i));
    }
  }
  return out.str();
}

// Where the visible controls are, in screen coordinates (which are the X
// root's under Wine), by id.
std::string controlPlaces(HWND dialog) {
  std::ostringstream out;
  RECT r{};
  ::GetWindowRect(dialog, &r);
  out << "window " << r.left << " " << r.top << " " << r.right - r.left << " "
      << r.bottom - r.top << "\n";
  std::vector<Child> children;
  ::EnumChildWindows(dialog, collectChild, reinterpret_cast<LPARAM>(&children));
  for (const Child &c : children) {
    if (c.id <= 0 || !::IsWindowVisible(c.window)) continue;
    ::GetWindowRect(c.window, &r);
    out << "control " << c.id << " " << r.left << " " << r.top << " " << r.right - r.left << " "
        << r.bottom - r.top << "\n";
  }
  return out.str();
}

// Watches for the dialog on another thread while the export runs.
void watch(const std::string &kind, const std::string &dir, std::atomic<bool> &stop) {
  const platform::DialogForm form = expectedForm(kind);
  HWND dialog = nullptr;
  while (!stop && !dialog) {
    HWND found = ::FindWindowW(L"#32770", wide(form.title).c_str());
    if (found && ::IsWindowVisible(found)) dialog = found;
    else ::Sleep(20);
  }
  if (!dialog) return;
  ::Sleep(200);  // its first paint
  int compared = 0;
  const std::string differences = compareTexts(dialog, form, compared);
  writeWhole(dir + "/" + kind + ".shown", "compared " + std::to_string(compared) + "\n" +
                                              differences + controlPlaces(dialog));
}

std::string values(int handle) {
  std::ostringstream out;
  out << "gain " << Pelnik_GetGlobalGain(handle, nullptr) << "\n"
      << "exposure " << Pelnik_GetExposureTime(handle, nullptr) << "\n"
      << "brightness " << Pelnik_GetBrightness(handle, nullptr) << "\n"
      << "waittime " << Pelnik_GetWaitTime(handle) << "\n";
  return out.str();
}

long registryValue(const std::string &subKey, const char *name) {
  const std::string key = std::string(settings::kRootKey) + "\\Camera_00" +
                          (subKey.empty() ? "" : "\\" + subKey);
  DWORD value = 0;
  DWORD size = sizeof value;
  if (::RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS)
    return -1;
  return long(value);
}

LRESULT CALLBACK ownerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: settings-dialog-probe REPORT_DIR KIND...\n");
    return 2;
  }
  const std::string dir = argv[1];
  virtcam::CameraOptions options;
  options.sensorTiming = false;
  virtcam::win32::PipeServer server({0}, options);
  if (!server.ok()) {
    std::fprintf(stderr, "virtual camera: %s\n", server.error().c_str());
    return 1;
  }
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = ownerProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"PelnikDialogOwner";
  ::RegisterClassW(&windowClass);
  HWND owner = ::CreateWindowW(L"PelnikDialogOwner", L"Pelnik dialog owner",
                               WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1000, 900, nullptr, nullptr,
                               windowClass.hInstance, nullptr);
  const int handle = Pelnik_Initialize(owner);
  if (!handle || Pelnik_SetDeviceNumber(handle, 0) != 1 || Pelnik_SetColorMode(handle, 8) != 1) {
    std::fprintf(stderr, "no camera: error %d\n", handle ? Pelnik_GetLastError(handle) : -1);
    return 1;
  }
  std::string summary = "language " + std::to_string(::GetSystemDefaultLangID()) + "\n";
  for (int i = 2; i < argc; ++i) {
    const std::string kind = argv[i];
    const std::string before = values(handle);
    std::atomic<bool> stop{false};
    std::thread watcher([&] { watch(kind, dir, stop); });
    int result = -1;
    if (kind == "analog")
      result = Pelnik_SetAnalogDlg(handle, owner);
    else if (kind == "image")
      result = Pelnik_SetImageDlg(handle, owner);
    else if (kind == "camera")
      result = Pelnik_SetCameraDlg(handle, owner);
    stop = true;
    watcher.join();
    writeWhole(dir + "/" + kind + ".done",
               "result " + std::to_string(result) + "\nbefore\n" + before + "after\n" +
                   values(handle));
  }
  // The camera's settings reach the registry when it is released.
  Pelnik_Release(handle);
  const pelnik::FilterSlotInfo &brightness = pelnik::filterSlotInfo(0);
  std::ostringstream registry;
  registry << "gain " << registryValue("Gain", "Global") << "\n"
           << "exposure " << registryValue("Gain", "Exposure") << "\n"
           << "brightness "
           << registryValue(pelnik::slotGroupKey(brightness.group), brightness.storedName) << "\n"
           << "waittime " << registryValue("", "WaitTime") << "\n";
  writeWhole(dir + "/registry", summary + registry.str());
  ::DestroyWindow(owner);
  return 0;
}
