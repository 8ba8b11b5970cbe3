#include "preview/win32/gdi_preview.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/clock.h"
#include "platform/random.h"

namespace pelnik {

namespace {

constexpr const char *kChildTitle = "ActiveMovie Window";
constexpr const char *kTopLevelTitle = "Active Window";
constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;  // 0x52000000
constexpr DWORD kTopLevelStyle =
    WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;  // 0x16CF0000
constexpr int kChildId = 6540;

static_assert(kChildStyle == 0x52000000u && kTopLevelStyle == 0x16CF0000u);

// Window handles are significant in their low 32 bits and sign-extended.
HWND windowOf(int id) { return reinterpret_cast<HWND>(static_cast<std::intptr_t>(id)); }

HINSTANCE processInstance() { return GetModuleHandleA(nullptr); }

bool registerClass(const std::string &name) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = 0;
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = processInstance();
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = name.c_str();
  return RegisterClassExA(&wc) != 0;
}

}  // namespace

GdiPreview::GdiPreview(const void *owner) : owner_(reinterpret_cast<std::uintptr_t>(owner)) {}

GdiPreview::~GdiPreview() {
  close();
  std::lock_guard<std::mutex> guard(windowLock_);
  if (!pendingClass_.empty()) UnregisterClassA(pendingClass_.c_str(), processInstance());
}

PreviewSurface::OpenResult GdiPreview::open(const PreviewPlacement &placement,
                                            PreviewImageSize image) {
  {
    std::lock_guard<std::mutex> guard(windowLock_);
    const bool sameWindow =
        placement == placement_ && (placement.parentWindow != 0 || image == image_);
    if (window_ && sameWindow && windowAlive()) {
      ShowWindow(window_, SW_SHOW);
      return OpenResult::Shown;
    }
  }
  close();

  const bool explicitParent = placement.parentWindow != 0;
  if (!explicitParent && placement.left == 0 && placement.top == 0 && placement.right == 0 &&
      placement.bottom == 0)
    return OpenResult::Failed;

  char name[64];
  std::snprintf(name, sizeof name, "VideoRenderer_%08x_%08x", static_cast<unsigned>(owner_),
                static_cast<unsigned>(platform::tickCount() +
                                      static_cast<unsigned>(platform::runtimeRand())));
  const std::string className = name;
  if (!registerClass(className)) return OpenResult::Failed;

  HWND window = nullptr;
  if (explicitParent) {
    // The rectangle's last two values are the size.
    window = CreateWindowExA(
        0, className.c_str(), kChildTitle, kChildStyle, placement.left, placement.top,
        placement.right, placement.bottom, windowOf(placement.parentWindow),
        reinterpret_cast<HMENU>(static_cast<std::intptr_t>(kChildId)), processInstance(), nullptr);
  } else {
    RECT outer{0, 0, image.width, image.height};
    AdjustWindowRectEx(&outer, kTopLevelStyle, FALSE, 0);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    window = CreateWindowExA(0, className.c_str(), kTopLevelTitle, kTopLevelStyle, x, y, width,
                             height, nullptr, nullptr, processInstance(), nullptr);
  }
  if (!window) {
    UnregisterClassA(className.c_str(), processInstance());
    return OpenResult::Failed;
  }
  SetFocus(window);
  ShowWindow(window, SW_SHOW);
  if (!UpdateWindow(window)) {
    DestroyWindow(window);
    UnregisterClassA(className.c_str(), processInstance());
    return OpenResult::Failed;
  }
  std::lock_guard<std::mutex> guard(windowLock_);
  window_ = window;
  windowGone_ = false;
  className_ = className;
  placement_ = placement;
  image_ = image;
  return OpenResult::Shown;
}

bool GdiPreview::isOpen() const {
  std::lock_guard<std::mutex> guard(windowLock_);
  return window_ != nullptr;
}

bool GdiPreview::windowAlive() const {
  if (!window_ || windowGone_ || !IsWindow(window_)) return false;
  // A destroyed window's handle can be given to a new window: the class
  // name, unique to this preview, tells them apart.
  char name[96] = {};
  return GetClassNameA(window_, name, sizeof name) > 0 && className_ == name;
}

void GdiPreview::paint(const PreviewPicture &picture) {
  std::lock_guard<std::mutex> guard(windowLock_);
  if (!window_ || windowGone_) return;
  // A window destroyed with its parent or closed by the user is not painted
  // again; acquisition runs on.
  if (!windowAlive()) {
    windowGone_ = true;
    return;
  }
  if (!painter_.choosePicture(picture)) return;
  if (!IsWindowVisible(window_)) return;
  RECT client{};
  if (!GetClientRect(window_, &client)) return;
  const int width = client.right;
  const int height = client.bottom;
  if (width <= 0 || height <= 0) return;
  HDC target = GetDC(window_);
  if (!target) return;
  lastPath_ = painter_.pathFor(width, height);
  const bool drawn = lastPath_ == PreviewPainter::Path::OneToOne
                         ? drawOneToOne(target, width, height)
                         : drawScaled(target, width, height);
  ReleaseDC(window_, target);
  if (drawn) ++framesDrawn_;
}

bool GdiPreview::drawOneToOne(HDC target, int width, int height) {
  const int bits = painter_.shownBits();
  if (!picture_.matches(width, height, bits) && !picture_.create(width, height, bits)) return false;
  // The section holds the picture as the image buffers do (memory row 0 the
  // top line), which the platform reads as the bottom line: the blit turns it.
  // A mirrored source rectangle includes its origin row, so the turned
  // rectangle starts at the last row (starting at row `height` would take
  // rows 1..height and show the picture one line low).
  const std::size_t rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(bits / 8);
  for (int y = 0; y < height; ++y)
    std::memcpy(picture_.pixels() + static_cast<std::ptrdiff_t>(y) * picture_.stride(),
                painter_.shownPixels() + static_cast<std::ptrdiff_t>(y) * painter_.shownStride(),
                rowBytes);
  GdiFlush();
  return StretchBlt(target, 0, 0, width, height, picture_.dc(), 0, height - 1, width, -height,
                    SRCCOPY) != 0;
}

bool GdiPreview::drawScaled(HDC target, int width, int height) {
  const int bits = painter_.shownBits();
  if (!display_.matches(width, height, bits) && !display_.create(width, height, bits)) return false;
  if (!painter_.scaleInto(display_.pixels(), display_.stride(), width, height)) return false;
  GdiFlush();
  return BitBlt(target, 0, 0, width, height, display_.dc(), 0, 0, SRCCOPY) != 0;
}

void GdiPreview::present() {
  // GDI drew the frame during paint(); nothing is queued.
}

void GdiPreview::destroyWindow() {
  HWND window = nullptr;
  std::string className;
  bool alive = false;
  {
    std::lock_guard<std::mutex> guard(windowLock_);
    alive = windowAlive();
    window = window_;
    className = className_;
    window_ = nullptr;
    windowGone_ = false;
    className_.clear();
    placement_ = {};
    image_ = {};
  }
  if (className.empty()) return;
  // Outside the lock: destroying the window sends its messages.
  if (alive && !DestroyWindow(window) && IsWindow(window)) {
    // Only the window's own thread may destroy it: it is asked to close
    // (the default procedure destroys it), and the class goes later.
    PostMessageA(window, WM_CLOSE, 0, 0);
  }
  if (!UnregisterClassA(className.c_str(), processInstance())) {
    std::lock_guard<std::mutex> guard(windowLock_);
    if (!pendingClass_.empty()) UnregisterClassA(pendingClass_.c_str(), processInstance());
    pendingClass_ = className;
  }
}

void GdiPreview::close() { destroyWindow(); }

HWND GdiPreview::window() const {
  std::lock_guard<std::mutex> guard(windowLock_);
  return window_;
}

std::string GdiPreview::className() const {
  std::lock_guard<std::mutex> guard(windowLock_);
  return className_;
}

PreviewPainter::Path GdiPreview::lastPath() const {
  std::lock_guard<std::mutex> guard(windowLock_);
  return lastPath_;
}

std::uint64_t GdiPreview::framesDrawn() const {
  std::lock_guard<std::mutex> guard(windowLock_);
  return framesDrawn_;
}

std::unique_ptr<PreviewSurface> makeWindowPreview(const void *owner) {
  return std::make_unique<GdiPreview>(owner);
}

}  // namespace pelnik
