// A plain top-level window whose client area shows a known pattern: what the
// Wine window tests read back, to show that a client area found through the
// report is the one on the screen.
#include <windows.h>

#include <cstdint>
#include <vector>

#include "probe_channel.h"

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;

// Red across, green down, blue a checker of 8-pixel squares.
std::uint32_t patternAt(int x, int y) {
  const std::uint32_t r = static_cast<std::uint32_t>(x * 255 / (kWidth - 1));
  const std::uint32_t g = static_cast<std::uint32_t>(y * 255 / (kHeight - 1));
  const std::uint32_t b = ((x / 8 + y / 8) % 2) ? 0xC0u : 0x20u;
  return r << 16 | g << 8 | b;
}

LRESULT CALLBACK probeProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) pixels.push_back(patternAt(x, y));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, kWidth, kHeight, 0, 0, 0, kHeight, pixels.data(), &info,
                      DIB_RGB_COLORS);
    EndPaint(window, &ps);
    return 0;
  }
  return DefWindowProcA(window, message, w, l);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) return 2;
  const pelnik::test::ProbeChannel channel(argv[1]);
  WNDCLASSA wc{};
  wc.lpfnWndProc = probeProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "PelnikWineProbe";
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  if (!RegisterClassA(&wc)) return 3;
  RECT outer{0, 0, kWidth, kHeight};
  AdjustWindowRectEx(&outer, WS_OVERLAPPEDWINDOW, FALSE, 0);
  HWND window = CreateWindowExA(0, wc.lpszClassName, "Pelnik Wine Probe",
                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 30, outer.right - outer.left,
                                outer.bottom - outer.top, nullptr, nullptr, wc.hInstance, nullptr);
  if (!window) return 4;
  UpdateWindow(window);
  pelnik::test::ProbeChannel::pumpFor(300);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  RECT client;
  GetClientRect(window, &client);
  channel.report("shown", {{"x", pelnik::test::str(origin.x)},
                           {"y", pelnik::test::str(origin.y)},
                           {"width", pelnik::test::str(client.right)},
                           {"height", pelnik::test::str(client.bottom)}});
  const bool told = channel.waitFor("done", 60000);
  DestroyWindow(window);
  return told ? 0 : 5;
}
