// pelnik-viewer for Windows: the SDK's preview as a child of the viewer's
// window, the three settings dialogs from the Settings menu, snapshots
// (Ctrl+S) and recordings (Ctrl+R) into the output folder. What happened
// last is shown in the title bar.
//   pelnik-viewer [--virtual] [--output-dir DIR]
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "PelnikErrors.h"
#include "PelnikSdk_R5M_LX.h"
#include "virtcam/win32/pipe_server.h"

namespace {

constexpr const char *kTitle = "Pelnik Viewer";
constexpr const char *kClassName = "PelnikViewerWindow";
constexpr int kRecordUntilStopped = -1;

enum Command : WORD {
  kSnap = 100,
  kRecord,
  kExit,
  kCameraDialog,
  kAnalogDialog,
  kImageDialog,
};

class Viewer {
 public:
  Viewer(HWND window, int handle, std::string outputDir)
      : window_(window), handle_(handle), outputDir_(std::move(outputDir)) {}

  bool start() {
    RECT client{};
    GetClientRect(window_, &client);
    if (Pelnik_SetPreviewWindow(handle_, window_, 0, 0, client.right, client.bottom) != 1 ||
        Pelnik_CallBackPreview(handle_, window_, nullptr, 0, 1) != 1) {
      status("no preview: " + lastError());
      return false;
    }
    status("previewing");
    return true;
  }

  void snap() {
    const std::string path = nextName("snap", ".bmp", snaps_);
    if (Pelnik_SaveImage(handle_, path.c_str(), PELNIK_FILE_BMP) == 1)
      status("saved " + leaf(path));
    else
      status("snap failed: " + lastError());
  }

  void toggleRecording() {
    if (recording_) {
      // The acquisition stop finishes the file; the preview goes on.
      recording_ = false;
      Pelnik_StopPreview(handle_);
      start();
      status("recorded " + leaf(recordPath_));
      return;
    }
    recordPath_ = nextName("record", ".avi", records_);
    recording_ = Pelnik_Record(handle_, recordPath_.c_str(), kRecordUntilStopped, 0) == 1;
    status(recording_ ? "recording " + leaf(recordPath_) : "record failed: " + lastError());
  }

  void dialog(WORD command) {
    // Modal on this thread; the preview stops while a dialog is open.
    const int shown = command == kCameraDialog   ? Pelnik_SetCameraDlg(handle_, window_)
                      : command == kAnalogDialog ? Pelnik_SetAnalogDlg(handle_, window_)
                                                 : Pelnik_SetImageDlg(handle_, window_);
    if (shown != 1) status("dialog failed: " + lastError());
    recording_ = false;
    start();
  }

  // The preview child follows the window's size; the SDK scales into it.
  void resized(int width, int height) {
    HWND preview = FindWindowExA(window_, nullptr, nullptr, "ActiveMovie Window");
    if (preview) MoveWindow(preview, 0, 0, width, height, TRUE);
  }

  void error(int code) { status("camera error: " + describe(code)); }

  // The preview stops and its window goes while the viewer's window still
  // exists.
  void close() {
    recording_ = false;
    Pelnik_Close(handle_);
  }

 private:
  static std::string describe(int code) {
    char text[160];
    return PelnikErrorDescribe(code, text, sizeof text);
  }
  std::string lastError() { return describe(Pelnik_GetLastError(handle_)); }
  static std::string leaf(const std::string &path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
  }
  std::string nextName(const char *stem, const char *extension, int &counter) const {
    char name[64];
    std::snprintf(name, sizeof name, "%s-%04d%s", stem, ++counter, extension);
    return outputDir_ + "\\" + name;
  }
  void status(const std::string &text) {
    SetWindowTextA(window_, (std::string(kTitle) + " - " + text).c_str());
  }

  HWND window_;
  int handle_;
  std::string outputDir_;
  std::string recordPath_;
  int snaps_ = 0;
  int records_ = 0;
  bool recording_ = false;
};

Viewer *theViewer = nullptr;  // set once the camera is open; used by the window procedure

LRESULT CALLBACK viewerProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_COMMAND:
      if (!theViewer) break;
      switch (LOWORD(w)) {
        case kSnap:
          theViewer->snap();
          return 0;
        case kRecord:
          theViewer->toggleRecording();
          return 0;
        case kCameraDialog:
        case kAnalogDialog:
        case kImageDialog:
          theViewer->dialog(LOWORD(w));
          return 0;
        case kExit:
          SendMessageA(window, WM_CLOSE, 0, 0);
          return 0;
        default:
          break;
      }
      break;
    case WM_SIZE:
      if (theViewer) theViewer->resized(LOWORD(l), HIWORD(l));
      return 0;
    case PELNIK_WM_ERROR:
      if (theViewer) theViewer->error(static_cast<int>(l));
      return 0;
    case PELNIK_WM_FRAME:
      if (w == 0 && theViewer) theViewer->error(static_cast<int>(l));
      return 0;
    case WM_CLOSE:
      if (theViewer) theViewer->close();
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, w, l);
}

HMENU makeMenu() {
  HMENU file = CreatePopupMenu();
  AppendMenuA(file, MF_STRING, kSnap, "&Snap\tCtrl+S");
  AppendMenuA(file, MF_STRING, kRecord, "&Record / stop\tCtrl+R");
  AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(file, MF_STRING, kExit, "E&xit\tCtrl+Q");
  HMENU settings = CreatePopupMenu();
  AppendMenuA(settings, MF_STRING, kCameraDialog, "&Camera...");
  AppendMenuA(settings, MF_STRING, kAnalogDialog, "&Analog...");
  AppendMenuA(settings, MF_STRING, kImageDialog, "&Image...");
  HMENU bar = CreateMenu();
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(settings), "&Settings");
  return bar;
}

void usage() {
  MessageBoxA(nullptr,
              "pelnik-viewer [--virtual] [--output-dir DIR]\n"
              "  --virtual          serve a virtual camera from inside the viewer\n"
              "  --output-dir DIR   where snapshots and recordings go (default: here)\n"
              "Ctrl+S snapshot, Ctrl+R start or stop recording, Ctrl+Q quit.",
              kTitle, MB_OK);
}

}  // namespace

int main(int argc, char **argv) {
  bool virtualCamera = false;
  std::string outputDir = ".";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--virtual") == 0) {
      virtualCamera = true;
    } else if (std::strcmp(argv[i], "--output-dir") == 0 && i + 1 < argc) {
      outputDir = argv[++i];
    } else {
      usage();
      return 2;
    }
  }
  // The virtual camera serves camera 0 as the pipe the SDK falls back to.
  std::unique_ptr<pelnik::virtcam::win32::PipeServer> server;
  if (virtualCamera) {
    server = std::make_unique<pelnik::virtcam::win32::PipeServer>(std::vector<int>{0},
                                                                  pelnik::virtcam::CameraOptions{});
    if (!server->ok()) {
      MessageBoxA(nullptr, server->error().c_str(), kTitle, MB_OK | MB_ICONERROR);
      return 1;
    }
  }

  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = viewerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
  wc.lpszClassName = kClassName;
  if (!RegisterClassExA(&wc)) return 1;
  RECT outer{0, 0, 640, 512};
  AdjustWindowRectEx(&outer, WS_OVERLAPPEDWINDOW, TRUE, 0);
  HWND window =
      CreateWindowExA(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                      CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top, nullptr,
                      makeMenu(), wc.hInstance, nullptr);
  if (!window) return 1;
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);

  const int handle = Pelnik_Initialize(window);
  if (handle == 0) return 1;
  Viewer viewer(window, handle, outputDir);
  theViewer = &viewer;
  if (virtualCamera) Pelnik_SetDeviceNumber(handle, 0);
  viewer.start();

  ACCEL keys[] = {{FCONTROL | FVIRTKEY, 'S', kSnap},
                  {FCONTROL | FVIRTKEY, 'R', kRecord},
                  {FCONTROL | FVIRTKEY, 'Q', kExit}};
  HACCEL accelerators = CreateAcceleratorTableA(keys, 3);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    // The keys work whichever window has the focus (the preview takes it).
    if (TranslateAcceleratorA(window, accelerators, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  DestroyAcceleratorTable(accelerators);
  theViewer = nullptr;
  Pelnik_Close(handle);
  Pelnik_Release(handle);
  return static_cast<int>(msg.wParam);
}
