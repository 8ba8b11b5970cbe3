// Streams colour pictures from a camera and prints the frame rate: the
// camera and the message targets are owned by small RAII classes.
#include <PelnikMessages.h>
#include <PelnikSdk_R5M_LX.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class MessageTarget {
 public:
  MessageTarget() : id_(PelnikMsg_CreateWindow()) {
    if (!id_) throw std::runtime_error("no message target");
  }
  ~MessageTarget() { PelnikMsg_DestroyWindow(id_); }
  MessageTarget(const MessageTarget &) = delete;
  MessageTarget &operator=(const MessageTarget &) = delete;
  int id() const { return id_; }

 private:
  int id_;
};

class Camera {
 public:
  explicit Camera(int number) : handle_(Pelnik_Initialize(owner_.id())) {
    if (!handle_) throw std::runtime_error("Pelnik_Initialize failed");
    if (!Pelnik_SetDeviceNumber(handle_, number)) fail("Pelnik_SetDeviceNumber");
  }
  ~Camera() { Pelnik_Release(handle_); }
  Camera(const Camera &) = delete;
  Camera &operator=(const Camera &) = delete;
  int handle() const { return handle_; }
  [[noreturn]] void fail(const char *what) {
    const int code = Pelnik_GetLastError(handle_);
    Pelnik_Release(handle_);
    throw std::runtime_error(std::string(what) + ": SDK error " + std::to_string(code));
  }

 private:
  MessageTarget owner_;
  int handle_;
};

}  // namespace

int main(int argc, char **argv) {
  const int number = argc > 1 ? std::atoi(argv[1]) : 0;
  const int wanted = argc > 2 ? std::atoi(argv[2]) : 30;
  try {
    Camera camera(number);
    if (!Pelnik_SetColorMode(camera.handle(), 24)) camera.fail("Pelnik_SetColorMode");
    const int stride = (Pelnik_Width(camera.handle()) * 3 + 3) & ~3;
    std::vector<unsigned char> picture(std::size_t(stride) * Pelnik_Height(camera.handle()));
    MessageTarget frames;
    if (!Pelnik_CallBackPreview(camera.handle(), frames.id(), picture.data(), int(picture.size()),
                                1))
      camera.fail("Pelnik_CallBackPreview");
    const auto start = std::chrono::steady_clock::now();
    int received = 0;
    PelnikMsg msg;
    while (received < wanted && PelnikMsg_Get(frames.id(), &msg, 6000) == 1) {
      if (msg.message != PELNIK_WM_FRAME) continue;
      if (msg.wParam == 0) {
        std::fprintf(stderr, "frame error %d\n", int(msg.lParam));
        break;
      }
      ++received;
    }
    Pelnik_StopPreview(camera.handle());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d frames in %.2f s (%.1f per second)\n", received, seconds, received / seconds);
    return received == wanted ? 0 : 1;
  } catch (const std::exception &e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
