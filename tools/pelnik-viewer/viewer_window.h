#pragma once
// The viewer's main window: a menu bar, a tool row (camera, colour mode,
// subsample, snapshot, recording), the preview area the SDK paints into as
// a child X window, and a status line with the live frame rate.
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Menu_Bar.H>

#include <string>
#include <vector>

#include "camera_control.h"

namespace viewer {

class ViewerWindow : public Fl_Double_Window {
 public:
  static constexpr int kPreviewWidth = 640;
  static constexpr int kPreviewHeight = 512;

  ViewerWindow(CameraControl &camera, std::string outputDir);

  // Shows the window and starts the preview inside it.
  bool start();
  // The menu bar; further entries are added with menu().add(path, shortcut,
  // callback, this) and keep to the "Group/Item" paths used here.
  Fl_Menu_Bar &menu() { return menu_; }
  CameraControl &camera() { return camera_; }
  void setStatus(const std::string &text);
  // The Mode and Subsample choices show what the camera holds (after a
  // dialog changed it).
  void showCameraFormat();

 private:
  static void onMessages(int fd, void *self);
  static void onCamera(Fl_Widget *, void *self);
  static void onColourMode(Fl_Widget *, void *self);
  static void onSubsample(Fl_Widget *, void *self);
  static void onSnapshot(Fl_Widget *, void *self);
  static void onRecord(Fl_Widget *, void *self);
  static void onQuit(Fl_Widget *, void *self);

  void fillCameras();
  void snapshot();
  void toggleRecording();
  void restartFailed(const char *what);
  std::string newFileName(const char *prefix, const char *extension) const;
  PreviewArea previewArea() const;

  CameraControl &camera_;
  std::string outputDir_;
  Fl_Menu_Bar menu_;
  Fl_Choice cameras_;
  Fl_Choice colourMode_;
  Fl_Choice subsample_;
  Fl_Button snapshotButton_;
  Fl_Button recordButton_;
  Fl_Box preview_;
  Fl_Box rate_;
  Fl_Box status_;
  std::string rateText_;
  std::string statusText_;
  std::vector<CameraEntry> cameraList_;
};

}  // namespace viewer
