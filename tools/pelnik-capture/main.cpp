// pelnik-capture: list, open, configure, stream, snapshot, trigger, save and record.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "camera_session.h"
#include "options.h"
#include "record.h"
#include "virtual_camera.h"

namespace capture {
namespace {

using Clock = std::chrono::steady_clock;

int fail(const std::string &message, int status = kExitFailure) {
  std::fprintf(stderr, "pelnik-capture: %s\n", message.c_str());
  return status;
}

std::string joinPath(const std::string &dir, const std::string &name) {
  return dir.empty() ? name : dir + "/" + name;
}

// Writes a received buffer as it arrived, with a text file of its geometry.
bool writeRawPicture(const std::string &path, const std::vector<unsigned char> &data, int width,
                     int height, int bits) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
  std::ofstream geometry(path + ".txt", std::ios::trunc);
  geometry << "width " << width << "\nheight " << height << "\nbits " << bits << "\nstride "
           << ((width * bits / 8 + 3) & ~3) << "\nrows bottom line first\n";
  return out.good() && geometry.good();
}

// Saves the camera's current picture once per requested format.
bool savePictures(CameraSession &camera, const Options &o, const std::string &stem,
                  std::vector<std::string> &written, std::string &error) {
  std::vector<std::string> formats = o.saveFormats;
  if (formats.empty() && !o.saveFile.empty()) formats.push_back(formatForFile(o.saveFile));
  for (const auto &format : formats) {
    std::string path = o.saveFile;
    if (path.empty() || formats.size() > 1)
      path = joinPath(o.outputDir, stem + "-" + format + "." + formatExtension(format));
    if (const std::string reason = unwritableReason(path); !reason.empty()) {
      error = "cannot write " + path + ": " + reason;
      return false;
    }
    if (!Pelnik_SaveImage(camera.handle(), path.c_str(), formatCode(format))) {
      error = fileFailure(path, camera.drainErrors());
      return false;
    }
    written.push_back(path);
  }
  return true;
}

int listCameras() {
  CameraSession camera;
  if (!camera.valid()) return fail("cannot open the library");
  std::vector<char> names(32 * 256, '\0');
  const int count = Pelnik_EnumDevice(camera.handle(), names.data());
  std::printf("%d camera%s present\n", count, count == 1 ? "" : "s");
  // Each with the number --camera takes; the name is the one the SDK gives
  // for that number, as every binding shows it.
  std::printf("  number  name\n");
  int shown = 0;
  for (int number = 0; number < 32 && shown < count; ++number) {
    char name[256] = {};
    if (!Pelnik_GetDeviceName(camera.handle(), number, name, sizeof name)) continue;
    std::printf("  %6d  %s\n", number, name);
    ++shown;
  }
  return 0;
}

struct StreamResult {
  int frames = 0;
  int dropped = 0;
  int failed = 0;
  Clock::time_point first{}, last{};
  ErrorTally errors;

  void arrived(Clock::time_point at) {
    if (frames == 0) first = at;
    last = at;
    ++frames;
  }
  // Measured from the arrival times: right for a short run, and for
  // triggered pictures, where the SDK's own rate has nothing to average.
  double rate() const {
    const double span = std::chrono::duration<double>(last - first).count();
    return frames > 1 && span > 0 ? (frames - 1) / span : 0.0;
  }
};

// Rewritten in place on a terminal.
void printLiveStatus(const StreamResult &r) {
  std::printf("\r\033[Kframes %d  rate %.1f fps  dropped %d  failed %d  errors: %s", r.frames,
              r.rate(), r.dropped, r.failed, r.errors.describe().c_str());
  std::fflush(stdout);
}

// The summary clears the live line first.
void printSummary(const StreamResult &r, bool live) {
  if (live) std::printf("\r\033[K");
  std::printf("frames %d  rate %.1f fps  dropped %d  failed %d  errors: %s\n", r.frames, r.rate(),
              r.dropped, r.failed, r.errors.describe().c_str());
  std::fflush(stdout);
}

// The library may store the next frame's fields while we read the record
// (each field is stored whole): each is read whole too.
PelnikFrameInfo readFrameInfo(PelnikFrameInfo *record) {
  PelnikFrameInfo info{};
  info.size = std::atomic_ref<int>(record->size).load(std::memory_order_relaxed);
  info.width = std::atomic_ref<int>(record->width).load(std::memory_order_relaxed);
  info.height = std::atomic_ref<int>(record->height).load(std::memory_order_relaxed);
  info.bitsPerPixel = std::atomic_ref<int>(record->bitsPerPixel).load(std::memory_order_relaxed);
  info.frameRate10 = std::atomic_ref<int>(record->frameRate10).load(std::memory_order_relaxed);
  info.buffer = std::atomic_ref<void *>(record->buffer).load(std::memory_order_relaxed);
  return info;
}

int stream(CameraSession &camera, const Options &o, bool triggered) {
  const int bytes = camera.pictureBytes();
  std::vector<unsigned char> buffer(static_cast<std::size_t>(bytes));
  const int started =
      triggered ? Pelnik_Trigger(camera.handle(), camera.callbackWindow(), buffer.data(), bytes, 0)
                : Pelnik_CallBackPreview(camera.handle(), camera.callbackWindow(), buffer.data(),
                                         bytes, 0);
  if (!started)
    return fail(std::string(triggered ? "triggered acquisition" : "streaming") +
                " could not start: " + camera.drainErrors());
  const bool live = !o.quiet && stdoutIsTerminal();
  const double seconds = o.seconds.value_or(o.frames ? 1e9 : 3.0);
  const int wanted = triggered ? o.count : o.frames.value_or(-1);
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(seconds));
  StreamResult r;
  auto lastStatus = Clock::now();
  std::vector<unsigned char> lastPicture;
  PelnikFrameInfo lastInfo{};
  while (Clock::now() < deadline && (wanted < 0 || r.frames < wanted)) {
    WindowMessage m;
    const int got = camera.callbackMessages().next(m, 100);
    if (got < 0) break;
    if (got == 1 && m.message == PELNIK_WM_FRAME) {
      if (m.wParam == 0) {
        ++r.failed;
        r.errors.add(static_cast<int>(m.lParam));
      } else {
        // Messages queued behind this one point at the same, newer record:
        // the pictures they announced were overwritten before we got to them.
        WindowMessage next;
        while (camera.callbackMessages().next(next, 0) == 1) {
          if (next.wParam == 0) {
            ++r.failed;
            r.errors.add(static_cast<int>(next.lParam));
          } else {
            ++r.dropped;
          }
        }
        lastInfo = readFrameInfo(reinterpret_cast<PelnikFrameInfo *>(m.wParam));
        r.arrived(Clock::now());
        if (!o.outputDir.empty()) lastPicture = buffer;
      }
    }
    camera.collectNotifications(r.errors);
    if (live && Clock::now() - lastStatus > std::chrono::milliseconds(200)) {
      printLiveStatus(r);
      lastStatus = Clock::now();
    }
  }
  Pelnik_StopPreview(camera.handle());
  camera.collectNotifications(r.errors);
  printSummary(r, live);

  std::vector<std::string> written;
  std::string error;
  if (!o.outputDir.empty() && !lastPicture.empty()) {
    const std::string path = joinPath(o.outputDir, triggered ? "triggered.buffer" : "last.buffer");
    if (!writeRawPicture(path, lastPicture, lastInfo.width, lastInfo.height, lastInfo.bitsPerPixel))
      return fail(fileFailure(path, "the write failed"));
    written.push_back(path + " (raw picture buffer; its geometry in " + path + ".txt)");
  }
  if (r.frames > 0 && (!o.saveFormats.empty() || !o.saveFile.empty()) &&
      !savePictures(camera, o, triggered ? "triggered" : "stream", written, error))
    return fail(error);
  for (const auto &path : written) std::printf("wrote %s\n", path.c_str());
  // A camera lost or stalled mid-stream is a failure however many pictures came before.
  if (r.errors.cameraLost())
    return fail("the camera stopped delivering pictures after " + std::to_string(r.frames) +
                    " frames (error " + std::to_string(PELNIK_ERR_STOPPED) + ")",
                kExitCameraLost);
  if (r.frames == 0) return fail("no picture received (" + r.errors.describe() + ")");
  if (wanted > 0 && r.frames < wanted)
    return fail("only " + std::to_string(r.frames) + " of " + std::to_string(wanted) +
                " pictures received");
  return 0;
}

int snapshots(CameraSession &camera, const Options &o) {
  const int bytes = camera.pictureBytes();
  std::vector<unsigned char> buffer(static_cast<std::size_t>(bytes));
  if (o.count > 1 && !Pelnik_Capture(camera.handle()))
    return fail("snapshots could not start: " + camera.drainErrors());
  std::vector<std::string> written;
  std::string error;
  for (int i = 0; i < o.count; ++i) {
    if (!Pelnik_SnapShot(camera.handle(), buffer.data(), bytes, 0))
      return fail("snapshot " + std::to_string(i + 1) + ": " + camera.drainErrors());
    if (!o.outputDir.empty()) {
      // A picture any viewer opens, and the buffer as the SDK delivered it.
      const std::string stem = joinPath(o.outputDir, "snapshot-" + std::to_string(i + 1));
      const std::string picture = stem + ".bmp";
      if (const std::string reason = unwritableReason(picture); !reason.empty())
        return fail("cannot write " + picture + ": " + reason);
      if (!Pelnik_SaveImage(camera.handle(), picture.c_str(), PELNIK_FILE_BMP))
        return fail(fileFailure(picture, camera.drainErrors()));
      written.push_back(picture);
      const std::string path = stem + ".buffer";
      if (!writeRawPicture(path, buffer, Pelnik_Width(camera.handle()),
                           Pelnik_Height(camera.handle()), camera.bitsPerPixel()))
        return fail(fileFailure(path, "the write failed"));
      written.push_back(path + " (raw picture buffer; its geometry in " + path + ".txt)");
    }
  }
  if ((!o.saveFormats.empty() || !o.saveFile.empty()) &&
      !savePictures(camera, o, "snapshot", written, error))
    return fail(error);
  Pelnik_StopPreview(camera.handle());
  std::printf("%d snapshot%s taken\n", o.count, o.count == 1 ? "" : "s");
  for (const auto &path : written) std::printf("wrote %s\n", path.c_str());
  return 0;
}

int run(const Options &o) {
  if (o.command == Command::Help) {
    std::fputs(usage().c_str(), stdout);
    return 0;
  }
  std::unique_ptr<VirtualCameraHost> host;
  if (o.virtualCamera) {
    std::string error;
    host = startVirtualCamera(o.command == Command::Trigger ? 200 : 0, error);
    if (!host) return fail("cannot start the virtual camera: " + error);
  }
  if (std::string reason; !o.outputDir.empty() && !makeDirectory(o.outputDir, reason))
    return fail("cannot create " + o.outputDir + ": " + reason);
  if (o.command == Command::List) return listCameras();
  if (o.command == Command::SettingsShow) return showStoredSettings(o.camera);
  if (o.command == Command::SettingsReset) return resetStoredSettings(o.camera);

  CameraSession camera;
  if (!camera.valid())
    return fail("the SDK could not open a handle: " + errorText(PELNIK_ERR_MEMORY));
  // Nothing is printed about a camera that is not there.
  if (!camera.present(o.camera) || (o.camera == 0 && Pelnik_GetLastError(camera.handle()) != 0))
    return fail(camera.cameraUnavailable(o.camera));
  std::string error;
  if (!camera.configure(o, error)) return fail(error);
  std::printf("PelnikSdk_R5M_LX version %d\n", Pelnik_GetDllVersion());
  std::printf("camera %d: %d x %d, colour mode %d\n", o.camera, Pelnik_Width(camera.handle()),
              Pelnik_Height(camera.handle()), Pelnik_GetColorMode(camera.handle()));
  switch (o.command) {
    case Command::Snapshot:
      return snapshots(camera, o);
    case Command::Trigger:
      return stream(camera, o, true);
    case Command::Record:
      return record(camera, o);
    default:
      return stream(camera, o, false);
  }
}

}  // namespace
}  // namespace capture

int main(int argc, char **argv) {
  std::string error;
  const auto options = capture::parseOptions(argc, argv, error);
  if (!options) {
    std::fprintf(stderr, "pelnik-capture: %s\n\n%s", error.c_str(), capture::usage().c_str());
    return 2;
  }
  return capture::run(*options);
}
