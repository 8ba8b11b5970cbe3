// Windows side of the settings dialog tests: opens the named dialogs one
// after another through their exports on an open camera (the virtual
// camera's pipe in this process), and for each one, once it shows, compares
// every caption, tab label and list entry with the form the dialog's model
// builds, and tells the driving test where the controls are. After each
// dialog it reports what the getters give, and at the end what the
// registry holds. It starts from an empty settings key and leaves one:
// other programs share the prefix.
//   settings_dialog_probe.exe WORK_DIR analog|image|camera|analog-auto...
// Reports: KIND.shown (when the dialog shows), KIND.done (after it has
// closed), registry (at the end).
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <atomic>
#include <cstdio>
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
#include "wine/programs/probe_channel.h"

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
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring windowTextW(HWND window) {
  wchar_t text[512] = {};
  ::GetWindowTextW(window, text, 512);
  return text;
}

using Facts = std::vector<std::pair<std::string, std::string>>;

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
  if (kind == "analog" || kind == "analog-auto") {
    settings::layout::LayoutAnalogHost host;
    return settings::AnalogDialogModel(host, texts).form();
  }
  if (kind == "image") {
    settings::layout::LayoutImageHost host;
    return settings::ImageDialogModel(host, texts).form();
  }
  return settings::CameraDialogModel(settings::userStore(), 0, texts).form();
}

// Compares the dialog with the form: "compared" texts, "mismatches" and
// one "mismatch.N" fact per difference.
void compareTexts(HWND dialog, const platform::DialogForm &form, Facts &facts) {
  std::vector<Child> children;
  ::EnumChildWindows(dialog, collectChild, reinterpret_cast<LPARAM>(&children));
  int compared = 0;
  int mismatches = 0;
  auto differs = [&](const std::string &what) {
    facts.emplace_back("mismatch." + std::to_string(mismatches++), what);
  };
  auto expect = [&](const std::wstring &shown, const std::string &wanted, const std::string &what) {
    ++compared;
    if (shown != wide(wanted)) differs(what + " shows '" + utf8(shown) + "', not '" + wanted + "'");
  };
  expect(windowTextW(dialog), form.title, "title");

  HWND tab = nullptr;
  for (const Child &c : children)
    if (c.className == WC_TABCONTROLW) tab = c.window;
  const int tabs = tab ? int(::SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0)) : 0;
  if (tabs != int(form.tabs.size()))
    differs(std::to_string(tabs) + " tabs, not " + std::to_string(form.tabs.size()));
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
    // A static text the dialog fills in itself (the exposure time) is not a caption.
    const bool captioned = c.kind != platform::ControlKind::Text || c.text.empty();
    if (captioned && !c.label.empty()) {
      bool found = false;
      for (const Child &child : children) found = found || child.text == wide(c.label);
      ++compared;
      if (!found) differs("no caption '" + c.label + "' (control " + std::to_string(c.id) + ")");
    }
    if (c.kind != platform::ControlKind::ListBox) continue;
    HWND list = nullptr;
    for (const Child &child : children)
      if (child.id == platform::shownControlId(c.id) && child.className == WC_COMBOBOXW)
        list = child.window;
    if (!list) {
      differs("no list " + std::to_string(c.id));
      continue;
    }
    const int count = int(::SendMessageW(list, CB_GETCOUNT, 0, 0));
    if (count != int(c.items.size()))
      differs("list " + std::to_string(c.id) + " holds " + std::to_string(count) +
              " entries, not " + std::to_string(c.items.size()));
    for (int i = 0; i < count && i < int(c.items.size()); ++i) {
      const auto length = ::SendMessageW(list, CB_GETLBTEXTLEN, WPARAM(i), 0);
      std::wstring entry(std::size_t(length > 0 ? length : 0) + 1, L'\0');
      ::SendMessageW(list, CB_GETLBTEXT, WPARAM(i), LPARAM(entry.data()));
      entry.resize(std::size_t(length > 0 ? length : 0));
      expect(entry, c.items[std::size_t(i)],
             "list " + std::to_string(c.id) + " entry " + std::to_string(i));
    }
  }
  facts.emplace_back("compared", std::to_string(compared));
  facts.emplace_back("mismatches", std::to_string(mismatches));
}

void addPlace(Facts &facts, const std::string &name, HWND window) {
  RECT r{};
  ::GetWindowRect(window, &r);
  facts.emplace_back(name + ".x", std::to_string(r.left));
  facts.emplace_back(name + ".y", std::to_string(r.top));
  facts.emplace_back(name + ".w", std::to_string(r.right - r.left));
  facts.emplace_back(name + ".h", std::to_string(r.bottom - r.top));
}

// Where the dialog, its owner, its client area and its visible controls are
// ("window.x", "owner.x", "client.x", "c1013.x"...),
// in screen coordinates, which are the X root's under Wine.
void controlPlaces(HWND dialog, Facts &facts) {
  addPlace(facts, "window", dialog);
  if (HWND owner = ::GetWindow(dialog, GW_OWNER)) addPlace(facts, "owner", owner);
  // The client area: without a window manager nobody draws the caption.
  RECT client{};
  ::GetClientRect(dialog, &client);
  ::MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT *>(&client), 2);
  facts.emplace_back("client.x", std::to_string(client.left));
  facts.emplace_back("client.y", std::to_string(client.top));
  facts.emplace_back("client.w", std::to_string(client.right - client.left));
  facts.emplace_back("client.h", std::to_string(client.bottom - client.top));
  std::vector<Child> children;
  ::EnumChildWindows(dialog, collectChild, reinterpret_cast<LPARAM>(&children));
  for (const Child &c : children)
    if (c.id > 0 && ::IsWindowVisible(c.window))
      addPlace(facts, "c" + std::to_string(c.id), c.window);
}

// With automatic exposure running, the exposure edit box follows what the
// acquisition thread sets ("auto.first", "auto.last"); then the dialog is
// cancelled.
int gHandle = 0;  // the camera, for the watcher's reads

void followAutomaticExposure(HWND dialog, Facts &facts) {
  std::vector<Child> children;
  ::EnumChildWindows(dialog, collectChild, reinterpret_cast<LPARAM>(&children));
  HWND exposure = nullptr;
  for (const Child &c : children)
    if (c.id == 1027 && c.className == WC_EDITW) exposure = c.window;
  const std::wstring first = exposure ? windowTextW(exposure) : L"";
  // Turned on only now, so the loop moves the exposure while the dialog shows.
  Pelnik_SetAutoIris(gHandle, 1);
  // The box has followed once it shows a new value that is the device's
  // (the loop may move on between the two reads, so they are read again).
  std::wstring last = first;
  int device = -1;
  for (int i = 0; i < 400 && exposure; ++i) {
    last = windowTextW(exposure);
    device = Pelnik_GetExposureTime(gHandle, nullptr);
    if (last != first && last == std::to_wstring(device)) break;
    ::Sleep(20);
  }
  facts.emplace_back("auto.first", utf8(first));
  facts.emplace_back("auto.last", utf8(last));
  facts.emplace_back("auto.device", std::to_string(device));
  ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

// Watches for the dialog on another thread while the export runs.
void watch(const test::ProbeChannel &channel, const std::string &kind, std::atomic<bool> &stop) {
  const platform::DialogForm form = expectedForm(kind);
  HWND dialog = nullptr;
  while (!stop && !dialog) {
    HWND found = ::FindWindowW(L"#32770", wide(form.title).c_str());
    if (found && ::IsWindowVisible(found))
      dialog = found;
    else
      ::Sleep(20);
  }
  if (!dialog) return;
  Facts facts;
  facts.emplace_back("language", std::to_string(::GetSystemDefaultLangID()));
  compareTexts(dialog, form, facts);
  controlPlaces(dialog, facts);
  if (kind == "analog-auto") followAutomaticExposure(dialog, facts);
  channel.report(kind + ".shown", facts);
}

void addValues(Facts &facts, const std::string &prefix, int handle) {
  facts.emplace_back(prefix + "gain", std::to_string(Pelnik_GetGlobalGain(handle, nullptr)));
  facts.emplace_back(prefix + "exposure", std::to_string(Pelnik_GetExposureTime(handle, nullptr)));
  facts.emplace_back(prefix + "brightness", std::to_string(Pelnik_GetBrightness(handle, nullptr)));
  facts.emplace_back(prefix + "waittime", std::to_string(Pelnik_GetWaitTime(handle)));
}

long registryValue(const std::string &subKey, const char *name) {
  const std::string key =
      std::string(settings::kRootKey) + "\\Camera_00" + (subKey.empty() ? "" : "\\" + subKey);
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
    std::fprintf(stderr, "usage: settings_dialog_probe WORK_DIR KIND...\n");
    return 2;
  }
  const test::ProbeChannel channel(argv[1]);
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
  // Every run starts from the stored defaults, whatever an earlier run in
  // this prefix left.
  ::RegDeleteTreeA(HKEY_CURRENT_USER, settings::kRootKey);
  const int handle = Pelnik_Initialize(owner);
  gHandle = handle;
  // Monochrome 8 bit: the image dialog has both of its pages.
  if (!handle || Pelnik_SetDeviceNumber(handle, 0) != 1 || Pelnik_SetColorMode(handle, 8) != 1) {
    std::fprintf(stderr, "no camera: error %d\n", handle ? Pelnik_GetLastError(handle) : -1);
    return 1;
  }
  for (int i = 2; i < argc; ++i) {
    const std::string kind = argv[i];
    Facts facts;
    addValues(facts, "before.", handle);
    std::atomic<bool> stop{false};
    std::thread watcher([&] { watch(channel, kind, stop); });
    int result = -1;
    std::vector<unsigned char> frames;
    if (kind == "analog-auto") {
      // A running acquisition; the watcher turns on automatic exposure.
      frames.resize(std::size_t(Pelnik_Width(handle)) * std::size_t(Pelnik_Height(handle)) * 4);
      if (Pelnik_SetPreviewWindow(handle, nullptr, 0, 0, 0, 0) != 1 ||
          Pelnik_CallBackPreview(handle, owner, frames.data(), int(frames.size()), 1) != 1)
        std::fprintf(stderr, "no acquisition: error %d\n", Pelnik_GetLastError(handle));
    }
    if (kind == "analog" || kind == "analog-auto")
      result = Pelnik_SetAnalogDlg(handle, owner);
    else if (kind == "image")
      result = Pelnik_SetImageDlg(handle, owner);
    else if (kind == "camera")
      result = Pelnik_SetCameraDlg(handle, owner);
    stop = true;
    watcher.join();
    if (kind == "analog-auto") {
      Pelnik_StopPreview(handle);
      Pelnik_SetAutoIris(handle, 0);
    }
    facts.emplace_back("result", std::to_string(result));
    addValues(facts, "after.", handle);
    channel.report(kind + ".done", facts);
  }
  // The camera's settings reach the registry when it is released.
  Pelnik_Release(handle);
  const FilterSlotInfo &brightness = filterSlotInfo(0);
  channel.report("registry",
                 {{"gain", std::to_string(registryValue("Gain", "Global"))},
                  {"exposure", std::to_string(registryValue("Gain", "Exposure"))},
                  {"brightness", std::to_string(registryValue(slotGroupKey(brightness.group),
                                                              brightness.storedName))},
                  {"waittime", std::to_string(registryValue("", "WaitTime"))}});
  // The prefix's other programs find the settings as they were: none.
  ::RegDeleteTreeA(HKEY_CURRENT_USER, settings::kRootKey);
  ::DestroyWindow(owner);
  return 0;
}
