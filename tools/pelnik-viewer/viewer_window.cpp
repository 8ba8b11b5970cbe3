#include "viewer_window.h"

#include <FL/Fl.H>
#include <FL/x.H>

#include <cstdio>
#include <ctime>
#include <filesystem>

namespace viewer {

namespace {

constexpr int kMargin = 10;
constexpr int kMenuHeight = 25;
constexpr int kRowTop = kMenuHeight + 8;
constexpr int kRowHeight = 25;
constexpr int kPreviewTop = kRowTop + kRowHeight + 8;
constexpr int kStatusHeight = 24;
constexpr int kWindowWidth = ViewerWindow::kPreviewWidth + 2 * kMargin;
constexpr int kWindowHeight = kPreviewTop + ViewerWindow::kPreviewHeight + kStatusHeight + 12;

// Menu and choice entries of the colour modes, by their set value.
struct ModeEntry {
  const char *label;
  int bits;
  int reported;
};
constexpr ModeEntry kModes[] = {{"Mono 8", 8, 8},      {"Mono 10", 16, 10},
                                {"Colour 24", 24, 24}, {"Colour 32", 32, 32},
                                {"Colour 48", 48, 42}, {"Colour 64", 64, 58}};
// Plain labels: a slash would make a submenu of the choice entry.
constexpr const char *kSubsamples[] = {"Full", "1:2", "1:4", "1:8"};

}  // namespace

ViewerWindow::ViewerWindow(CameraControl &camera, std::string outputDir)
    : Fl_Double_Window(kWindowWidth, kWindowHeight, "Pelnik Viewer"),
      camera_(camera),
      outputDir_(std::move(outputDir)),
      menu_(0, 0, kWindowWidth, kMenuHeight),
      cameras_(kMargin + 55, kRowTop, 155, kRowHeight, "Camera"),
      colourMode_(kMargin + 255, kRowTop, 100, kRowHeight, "Mode"),
      subsample_(kMargin + 450, kRowTop, 60, kRowHeight, "Subsample"),
      snapshotButton_(kMargin + 515, kRowTop, 52, kRowHeight, "Snap"),
      recordButton_(kMargin + 571, kRowTop, 69, kRowHeight, "Record"),
      preview_(kMargin, kPreviewTop, kPreviewWidth, kPreviewHeight),
      rate_(kMargin, kPreviewTop + kPreviewHeight + 6, 110, kStatusHeight),
      status_(kMargin + 115, kPreviewTop + kPreviewHeight + 6, kPreviewWidth - 115, kStatusHeight) {
  menu_.add("&File/&Snapshot", 's', onSnapshot, this);
  menu_.add("&File/&Record or stop", 'r', onRecord, this, FL_MENU_DIVIDER);
  menu_.add("&File/&Quit", FL_CTRL + 'q', onQuit, this);
  for (const ModeEntry &mode : kModes) colourMode_.add(mode.label, 0, onColourMode, this);
  for (const char *label : kSubsamples) subsample_.add(label, 0, onSubsample, this);
  cameras_.callback(onCamera, this);
  snapshotButton_.callback(onSnapshot, this);
  recordButton_.callback(onRecord, this);
  preview_.box(FL_FLAT_BOX);
  preview_.color(FL_BLACK);
  rate_.box(FL_THIN_DOWN_BOX);
  rate_.align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT);
  status_.box(FL_THIN_DOWN_BOX);
  status_.align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_CLIP);
  end();
  callback(onQuit, this);
}

PreviewArea ViewerWindow::previewArea() const {
  return {fl_xid(this), preview_.x(), preview_.y(), preview_.w(), preview_.h()};
}

void ViewerWindow::showCameraFormat() {
  for (int index = 0; index < static_cast<int>(std::size(kModes)); ++index)
    if (kModes[index].reported == camera_.colourMode()) colourMode_.value(index);
  subsample_.value(std::max(0, std::min(3, camera_.subsample() & 3)));
  colourMode_.redraw();
  subsample_.redraw();
}

bool ViewerWindow::start() {
  fillCameras();
  showCameraFormat();
  show();
  // The preview needs the window's X id, which exists once it is shown.
  Fl::flush();
  Fl::add_fd(camera_.messageFd(), FL_READ, onMessages, this);
  if (cameraList_.empty()) {
    // Said in words, on the window and to the terminal that started it.
    const std::string text = "No camera is connected (error " +
                             std::to_string(PELNIK_ERR_CAMERA_ABSENT) +
                             "): start pelnik-virtcam, or run with --virtual";
    setStatus(text);
    std::fprintf(stderr, "pelnik-viewer: %s\n", text.c_str());
    return false;
  }
  if (!camera_.start(previewArea())) {
    setStatus("Preview could not start: " + camera_.lastErrors());
    std::fprintf(stderr, "pelnik-viewer: %s\n", statusText_.c_str());
    return false;
  }
  setStatus("Previewing");
  return true;
}

void ViewerWindow::fillCameras() {
  cameras_.clear();
  cameraList_ = camera_.cameras();
  for (const CameraEntry &entry : cameraList_) {
    // A slash would make a submenu of the entry; escaped it is shown as is.
    std::string label;
    for (const char c : entry.name) {
      if (c == '/' || c == '\\') label += '\\';
      label += c;
    }
    cameras_.add(label.c_str(), 0, nullptr, nullptr, 0);
  }
  if (!cameraList_.empty()) cameras_.value(0);
}

void ViewerWindow::setStatus(const std::string &text) {
  statusText_ = text;
  status_.label(statusText_.c_str());
  status_.redraw();
}

void ViewerWindow::onMessages(int, void *self) {
  auto *w = static_cast<ViewerWindow *>(self);
  std::vector<int> errors;
  const int rate10 = w->camera_.takeMessages(errors);
  if (rate10 >= 0) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d fps", rate10 / 10, rate10 % 10);
    if (w->rateText_ != text) {
      w->rateText_ = text;
      w->rate_.label(w->rateText_.c_str());
      w->rate_.redraw();
    }
  }
  if (!errors.empty()) w->setStatus("Camera: " + errorWords(errors.back()));
}

void ViewerWindow::restartFailed(const char *what) {
  setStatus(std::string(what) + " failed: " + camera_.lastErrors());
}

void ViewerWindow::onCamera(Fl_Widget *, void *self) {
  auto *w = static_cast<ViewerWindow *>(self);
  const int index = w->cameras_.value();
  if (index < 0 || index >= static_cast<int>(w->cameraList_.size())) return;
  if (!w->camera_.selectCamera(w->cameraList_[index].number))
    w->restartFailed("Selecting the camera");
  else
    w->setStatus("Camera " + w->cameraList_[index].name);
}

void ViewerWindow::onColourMode(Fl_Widget *, void *self) {
  auto *w = static_cast<ViewerWindow *>(self);
  const int index = w->colourMode_.value();
  if (index < 0) return;
  if (!w->camera_.setColourMode(kModes[index].bits))
    w->restartFailed("Changing the colour mode");
  else
    w->setStatus(std::string("Colour mode ") + kModes[index].label);
}

void ViewerWindow::onSubsample(Fl_Widget *, void *self) {
  auto *w = static_cast<ViewerWindow *>(self);
  const int index = w->subsample_.value();
  if (index < 0) return;
  if (!w->camera_.setSubsample(index))
    w->restartFailed("Changing the subsample");
  else
    w->setStatus(std::string("Subsample ") + kSubsamples[index]);
}

std::string ViewerWindow::newFileName(const char *prefix, const char *extension) const {
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::filesystem::path dir(outputDir_);
  std::filesystem::path path = dir / (std::string(prefix) + stamp + extension);
  for (int n = 2; std::filesystem::exists(path); ++n)
    path = dir / (std::string(prefix) + stamp + "-" + std::to_string(n) + extension);
  return path.string();
}

void ViewerWindow::snapshot() {
  const std::string path = newFileName("pelnik-snapshot-", ".png");
  if (camera_.snapshot(path))
    setStatus("Saved " + path);
  else
    restartFailed("Saving the snapshot");
}

void ViewerWindow::toggleRecording() {
  if (camera_.recording()) {
    camera_.stopRecording();
    recordButton_.label("Record");
    setStatus("Recording stopped");
    return;
  }
  const std::string path = newFileName("pelnik-recording-", ".avi");
  if (!camera_.startRecording(path)) {
    restartFailed("Starting the recording");
    return;
  }
  recordButton_.label("Stop");
  setStatus("Recording to " + path);
}

void ViewerWindow::onSnapshot(Fl_Widget *, void *self) {
  static_cast<ViewerWindow *>(self)->snapshot();
}

void ViewerWindow::onRecord(Fl_Widget *, void *self) {
  static_cast<ViewerWindow *>(self)->toggleRecording();
}

void ViewerWindow::onQuit(Fl_Widget *, void *self) {
  auto *w = static_cast<ViewerWindow *>(self);
  Fl::remove_fd(w->camera_.messageFd());
  // The painter stops before the window that holds the preview goes.
  w->camera_.stop();
  w->hide();
}

}  // namespace viewer
