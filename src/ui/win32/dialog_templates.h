#pragma once
// The resource templates of the settings dialogs: their ids per dialog and
// language, and the layout rules shared by the program that writes them from
// the dialog forms (templates/) and the view that shows them. Nothing here
// includes a system header, so the host-built writer uses it as it is.
#include <array>

#include "ui/dialog_form.h"

namespace pelnik::platform::win32_dialogs {

// A dialog's frame template and the templates of its tab pages (0: none; a
// frame without page templates holds its page's controls itself).
struct TemplateIds {
  int frame;
  std::array<int, 2> pages;
};

constexpr TemplateIds templateIds(DialogKind kind, bool japanese) {
  switch (kind) {
    case DialogKind::Camera:
      return japanese ? TemplateIds{101, {0, 0}} : TemplateIds{106, {0, 0}};
    case DialogKind::Image:
      return japanese ? TemplateIds{102, {103, 113}} : TemplateIds{108, {107, 112}};
    case DialogKind::Analog:
      break;
  }
  return japanese ? TemplateIds{104, {105, 0}} : TemplateIds{111, {110, 0}};
}

// The tab control of every frame; no dialog uses this id otherwise.
inline constexpr int kTabControlId = 1200;

// Form boxes are pixels at the templates' font (8 point "MS Shell Dlg" at 96
// dots per inch, whose dialog base units are 6 x 13 pixels); templates are in
// dialog units.
inline constexpr int kBaseUnitX = 6;
inline constexpr int kBaseUnitY = 13;
constexpr int dluX(int pixels) { return (pixels * 4 + kBaseUnitX / 2) / kBaseUnitX; }
constexpr int dluY(int pixels) { return (pixels * 8 + kBaseUnitY / 2) / kBaseUnitY; }

// A page sits inside the tab control below its labels; its controls are
// placed relative to this corner of the form.
inline constexpr int kPageLeft = 2;
inline constexpr int kPageTop = 25;

// A value group's pieces inside its box: caption, slider, edit box with the
// spin box at its right edge (the same arrangement as the other views).
inline constexpr int kCaptionHeight = 18;
inline constexpr int kRowHeight = 24;
inline constexpr int kEditWidth = 64;
inline constexpr int kEditGap = 96;  // from the box's right edge to the slider's end
// A labelled number edit box: the label left, the box this wide at the right.
inline constexpr int kNumberEditWidth = 80;
// A drop-down list's open height.
inline constexpr int kListDropHeight = 140;

}  // namespace pelnik::platform::win32_dialogs
