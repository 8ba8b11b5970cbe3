// The SDK's preview window under Wine, over the virtual camera's pipe in
// this process. Scenarios (the second argument):
//   modes   every colour mode in a top-level window, a child of the picture's
//           size and a child one pixel wider; two modes in a top-level
//           window at subsample 1: after each, the window's facts and Pelnik_GetImage's picture
//           are reported and the test reads the screen before "go-N";
//   vanish  the parent destroyed while painting, then the top-level window
//           closed by the user (the test presses alt+F4): frames go on;
//   close   Pelnik_Close while painting, 200 times.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "PelnikModes.h"
#include "PelnikSdk_R5M_LX.h"
#include "probe_channel.h"
#include "virtcam/win32/pipe_server.h"

namespace {

using pelnik::test::ProbeChannel;
using pelnik::test::str;

constexpr int kDevice = 3;
constexpr const char *kHostTitle = "Pelnik Preview Host";
long frames = 0;  // PELNIK_WM_FRAME messages with a frame, counted on this thread

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == PELNIK_WM_FRAME && w != 0) {
    ++frames;
    return 0;
  }
  return DefWindowProcA(window, message, w, l);
}

HWND makeWindow(const char *title, HWND parent) {
  if (parent == HWND_MESSAGE)
    return CreateWindowExA(0, "PelnikProbeHost", title, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  RECT outer{0, 0, 700, 520};
  AdjustWindowRectEx(&outer, WS_OVERLAPPEDWINDOW, FALSE, 0);
  HWND window = CreateWindowExA(0, "PelnikProbeHost", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                                10, outer.right - outer.left, outer.bottom - outer.top, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
  UpdateWindow(window);
  return window;
}

bool waitFrames(long count, DWORD timeoutMs) {
  const long target = frames + count;
  const DWORD start = GetTickCount();
  while (frames < target) {
    if (GetTickCount() - start > timeoutMs) return false;
    ProbeChannel::pump();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return true;
}

struct Camera {
  int handle = 0;
  std::vector<unsigned char> buffer;
  int width = 0, height = 0, bits = 0, stride = 0;

  int fullWidth = 0, fullHeight = 0;

  // The picture of a colour mode (its bits as the mode's setter takes them)
  // at a subsample: the sensor's size divided by the subsample's divisor.
  bool setMode(const PelnikColourModeInfo &mode, int subsample) {
    if (Pelnik_SetColorMode(handle, mode.setBits) != 1 ||
        Pelnik_SetSubSample(handle, subsample) != 1)
      return false;
    fullWidth = Pelnik_Width(handle);
    fullHeight = Pelnik_Height(handle);
    width = fullWidth / PelnikSubsampleDivisor(subsample);
    height = fullHeight / PelnikSubsampleDivisor(subsample);
    bits = mode.outputBits;
    stride = (width * (bits / 8) + 3) / 4 * 4;
    buffer.assign(static_cast<std::size_t>(stride) * height, 0);
    return width > 0 && height > 0;
  }
  bool start(HWND sink) {
    return Pelnik_CallBackPreview(handle, sink, buffer.data(), static_cast<int>(buffer.size()),
                                  1) == 1;
  }
};

HWND findPreview(HWND parent) {
  if (parent) return FindWindowExA(parent, nullptr, nullptr, "ActiveMovie Window");
  return FindWindowA(nullptr, "Active Window");
}

std::vector<std::pair<std::string, std::string>> windowFacts(HWND window) {
  char cls[128] = {}, title[128] = {};
  GetClassNameA(window, cls, sizeof cls);
  GetWindowTextA(window, title, sizeof title);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  RECT client{}, outer{};
  GetClientRect(window, &client);
  GetWindowRect(window, &outer);
  char style[16];
  std::snprintf(style, sizeof style, "0x%08lX",
                static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)));
  return {{"class", cls},
          {"title", title},
          {"style", style},
          {"id", str(GetDlgCtrlID(window))},
          {"x", str(origin.x)},
          {"y", str(origin.y)},
          {"clientWidth", str(client.right)},
          {"clientHeight", str(client.bottom)},
          {"outerLeft", str(outer.left)},
          {"outerTop", str(outer.top)},
          {"outerWidth", str(outer.right - outer.left)},
          {"outerHeight", str(outer.bottom - outer.top)},
          {"screenWidth", str(GetSystemMetrics(SM_CXSCREEN))},
          {"screenHeight", str(GetSystemMetrics(SM_CYSCREEN))}};
}

int runModes(const ProbeChannel &channel, Camera &camera, HWND host, HWND sink) {
  // Every mode at full size in one top-level window, then in child windows,
  // then two at subsample 1. Grouped because Wine without a window manager
  // waits for each top-level window it hides, and a changed subsample
  // reconfigures the sensor: each takes seconds.
  struct Case {
    int mode;
    const char *layout;
  };
  std::vector<Case> cases;
  for (int m = 0; m < PELNIK_COLOUR_MODE_COUNT; ++m) cases.push_back({m, "top"});
  for (int m = 0; m < PELNIK_COLOUR_MODE_COUNT; ++m)
    for (const char *layout : {"child", "wide"}) cases.push_back({m, layout});
  cases.push_back({0, "half"});
  cases.push_back({2, "half"});
  int n = 0;
  for (const Case &c : cases) {
    {
      const PelnikColourModeInfo &mode = kPelnikColourModes[c.mode];
      const char *layout = c.layout;
      const bool half = std::strcmp(layout, "half") == 0;
      const bool top = half || std::strcmp(layout, "top") == 0;
      if (!camera.setMode(mode, half ? 1 : 0)) return 10;
      const int w = camera.width + (std::strcmp(layout, "wide") == 0 ? 1 : 0);
      const int ok = top ? Pelnik_SetPreviewWindow(camera.handle, nullptr, 1, 1, 1, 1)
                         : Pelnik_SetPreviewWindow(camera.handle, host, 10, 10, w, camera.height);
      if (ok != 1 || !camera.start(sink)) return 11;
      if (!waitFrames(3, 10000)) return 12;
      Pelnik_StopPreview(camera.handle);
      ProbeChannel::pumpFor(100);
      if (Pelnik_GetImage(camera.handle, camera.buffer.data(),
                          static_cast<int>(camera.buffer.size()), 1) != 1)
        return 13;
      HWND preview = findPreview(top ? nullptr : host);
      if (!preview) return 14;
      auto facts = windowFacts(preview);
      facts.insert(facts.end(), {{"mode", str(mode.reportedBits)},
                                 {"fullWidth", str(camera.fullWidth)},
                                 {"fullHeight", str(camera.fullHeight)},
                                 {"layout", layout},
                                 {"width", str(camera.width)},
                                 {"height", str(camera.height)},
                                 {"bits", str(camera.bits)},
                                 {"stride", str(camera.stride)},
                                 {"parentIsHost", str(GetParent(preview) == host)}});
      const std::string name = "case-" + str(n);
      if (!channel.writeFile(name + ".raw", camera.buffer.data(), camera.buffer.size())) return 15;
      channel.report(name, facts);
      if (!channel.waitFor("go-" + str(n), 60000)) return 16;
      ++n;
    }
  }
  return 0;
}

int runVanish(const ProbeChannel &channel, Camera &camera, HWND host, HWND sink) {
  if (!camera.setMode(kPelnikColourModes[2], 0)) return 20;
  if (Pelnik_SetPreviewWindow(camera.handle, host, 10, 10, camera.width, camera.height) != 1 ||
      !camera.start(sink))
    return 21;
  if (!waitFrames(3, 10000)) return 22;
  HWND child = findPreview(host);
  // The application destroys its window while the preview paints into it.
  DestroyWindow(host);
  const bool childGone = child && !IsWindow(child);
  const bool framesAfterParent = waitFrames(10, 10000);
  const int stopped = Pelnik_StopPreview(camera.handle);
  channel.report("parent-gone", {{"childFound", str(child != nullptr)},
                                 {"childGone", str(childGone)},
                                 {"framesAfter", str(framesAfterParent)},
                                 {"stop", str(stopped)},
                                 {"error", str(Pelnik_GetLastError(camera.handle))}});

  // A top-level window the user closes.
  if (Pelnik_SetPreviewWindow(camera.handle, nullptr, 1, 1, 1, 1) != 1 || !camera.start(sink))
    return 23;
  if (!waitFrames(3, 10000)) return 24;
  HWND top = findPreview(nullptr);
  if (!top) return 25;
  channel.report("top-shown", windowFacts(top));
  const DWORD start = GetTickCount();
  while (IsWindow(top) && GetTickCount() - start < 20000) ProbeChannel::pumpFor(20);
  const bool topGone = !IsWindow(top);
  const bool framesAfterClose = waitFrames(10, 10000);
  // A later start makes the window again.
  Pelnik_StopPreview(camera.handle);
  const bool restarted = camera.start(sink) && waitFrames(3, 10000);
  HWND again = findPreview(nullptr);
  const bool shownAgain = again != nullptr && IsWindowVisible(again);
  const int closed = Pelnik_Close(camera.handle);
  channel.report("top-closed", {{"gone", str(topGone)},
                                {"framesAfter", str(framesAfterClose)},
                                {"restarted", str(restarted)},
                                {"shownAgain", str(shownAgain)},
                                {"close", str(closed)},
                                {"goneAfterClose", str(!FindWindowA(nullptr, "Active Window"))}});
  return 0;
}

int runClose(const ProbeChannel &channel, Camera &camera, HWND host, HWND sink, int rounds) {
  if (!camera.setMode(kPelnikColourModes[2], 0)) return 30;
  const DWORD start = GetTickCount();
  int closedWhilePainting = 0, leftBehind = 0, failures = 0;
  DWORD startMs = 0, frameMs = 0, closeMs = 0;
  for (int i = 0; i < rounds; ++i) {
    // Child windows, 1:1 and scaled in turn (top-level windows are closed in
    // the other scenarios: Wine without a window manager waits seconds for
    // each).
    const int placed =
        Pelnik_SetPreviewWindow(camera.handle, host, 10, 10, camera.width + (i % 2), camera.height);
    const DWORD t0 = GetTickCount();
    const bool started = placed == 1 && camera.start(sink);
    startMs += GetTickCount() - t0;
    if (!started) {
      ++failures;
      continue;
    }
    const DWORD t1 = GetTickCount();
    if (waitFrames(1, 10000)) ++closedWhilePainting;
    const DWORD t2 = GetTickCount();
    frameMs += t2 - t1;
    if (Pelnik_Close(camera.handle) != 1) ++failures;
    closeMs += GetTickCount() - t2;
    if (findPreview(host)) ++leftBehind;
  }
  channel.report("closed", {{"rounds", str(rounds)},
                            {"whilePainting", str(closedWhilePainting)},
                            {"leftBehind", str(leftBehind)},
                            {"failures", str(failures)},
                            {"ms", str(GetTickCount() - start)},
                            {"startMs", str(startMs)},
                            {"firstFrameMs", str(frameMs)},
                            {"closeMs", str(closeMs)},
                            {"hostAlive", str(IsWindow(host) != 0)}});
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) return 2;
  const ProbeChannel channel(argv[1]);
  const std::string scenario = argv[2];
  pelnik::virtcam::CameraOptions options;
  options.sensorTiming = false;
  options.maxFrameRate = 100;
  pelnik::virtcam::win32::PipeServer server({kDevice}, options);
  if (!server.ok()) return 3;

  WNDCLASSA wc{};
  wc.lpfnWndProc = hostProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "PelnikProbeHost";
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
  if (!RegisterClassA(&wc)) return 4;
  HWND host = makeWindow(kHostTitle, nullptr);
  HWND sink = makeWindow("sink", HWND_MESSAGE);
  if (!host || !sink) return 5;

  Camera camera;
  camera.handle = Pelnik_Initialize(sink);
  if (!camera.handle || Pelnik_SetDeviceNumber(camera.handle, kDevice) != 1) return 6;
  // A small picture, so every window fits the screen.
  int th = 0, hs = 0, eh = 0, tv = 0, vs = 0, ev = 0;
  if (Pelnik_GetCaptureWindowEx(camera.handle, &th, &hs, &eh, &tv, &vs, &ev) != 1 ||
      Pelnik_SetCaptureWindowEx(camera.handle, th, hs, 320, tv, vs, 240) != 1)
    return 7;
  ProbeChannel::pumpFor(100);

  int result = 1;
  if (scenario == "modes")
    result = runModes(channel, camera, host, sink);
  else if (scenario == "vanish")
    result = runVanish(channel, camera, host, sink);
  else if (scenario == "close")
    result = runClose(channel, camera, host, sink, argc > 3 ? std::atoi(argv[3]) : 200);
  Pelnik_Close(camera.handle);
  Pelnik_Release(camera.handle);
  channel.report("end", {{"result", str(result)}});
  return result;
}
