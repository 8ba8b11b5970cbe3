#include "ui/win32/templates/dialog_rc_writer.h"

#include <string>
#include <vector>

#include "ui/win32/dialog_templates.h"

namespace pelnik::platform::win32_dialogs {

namespace {

// A quoted resource-script string: quotes doubled, backslashes escaped.
std::string quoted(const std::string &text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    if (c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

struct Origin {
  int x = 0;
  int y = 0;
};

class TemplateWriter {
 public:
  TemplateWriter(std::ostream &out, Origin origin) : out_(out), origin_(origin) {}

  // "x, y, w, h" in dialog units, relative to the template's origin.
  std::string box(int x, int y, int w, int h) const {
    return std::to_string(dluX(x - origin_.x)) + ", " + std::to_string(dluY(y - origin_.y)) + ", " +
           std::to_string(dluX(w)) + ", " + std::to_string(dluY(h));
  }

  void line(const std::string &text) { out_ << "    " << text << "\n"; }

  void control(const DialogControl &c) {
    const Rect &b = c.box;
    const int id = shownControlId(c.id);
    switch (c.kind) {
      case ControlKind::ValueGroup:
        line("LTEXT " + quoted(c.label) + ", -1, " + box(b.x, b.y, b.w, kCaptionHeight));
        line("CONTROL \"\", " + std::to_string(shownControlId(c.sliderId)) +
             ", \"msctls_trackbar32\", TBS_HORZ | TBS_AUTOTICKS | WS_TABSTOP, " +
             box(b.x, b.y + kCaptionHeight, b.w - kEditGap, kRowHeight));
        line("EDITTEXT " + std::to_string(id) + ", " +
             box(b.x + b.w - kEditGap + 4, b.y + kCaptionHeight, kEditWidth, kRowHeight) +
             ", ES_AUTOHSCROLL");
        // Right after its edit box, which it takes as its buddy.
        line("CONTROL \"\", " + std::to_string(shownControlId(c.spinId)) +
             ", \"msctls_updown32\", UDS_AUTOBUDDY | UDS_ALIGNRIGHT | UDS_ARROWKEYS | "
             "UDS_NOTHOUSANDS, 0, 0, 0, 0");
        break;
      case ControlKind::CheckBox:
        line("CONTROL " + quoted(c.label) + ", " + std::to_string(id) +
             ", \"Button\", BS_CHECKBOX | WS_TABSTOP, " + box(b.x, b.y, b.w, b.h));
        break;
      case ControlKind::RadioButton:
        line("CONTROL " + quoted(c.label) + ", " + std::to_string(id) +
             ", \"Button\", BS_RADIOBUTTON | WS_TABSTOP, " + box(b.x, b.y, b.w, b.h));
        break;
      case ControlKind::ListBox:
        line("LTEXT " + quoted(c.label) + ", -1, " + box(b.x, b.y, b.w, kCaptionHeight));
        line("COMBOBOX " + std::to_string(id) + ", " +
             box(b.x, b.y + kCaptionHeight, b.w, kRowHeight + kListDropHeight) +
             ", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP");
        break;
      case ControlKind::NumberEdit:
      case ControlKind::ReadOnlyNumber:
        line("LTEXT " + quoted(c.label) + ", -1, " +
             box(b.x, b.y + 4, b.w - kNumberEditWidth - 4, b.h - 4));
        line("EDITTEXT " + std::to_string(id) + ", " +
             box(b.x + b.w - kNumberEditWidth, b.y, kNumberEditWidth, b.h) +
             (c.kind == ControlKind::ReadOnlyNumber ? ", ES_AUTOHSCROLL | ES_READONLY"
                                                    : ", ES_AUTOHSCROLL"));
        break;
      case ControlKind::Text:
        line("LTEXT " + quoted(c.label.empty() ? c.text : c.label) + ", " +
             std::to_string(id == 0 ? -1 : id) + ", " + box(b.x, b.y, b.w, b.h));
        break;
      case ControlKind::Frame:
        line("GROUPBOX " + quoted(c.label) + ", -1, " + box(b.x, b.y, b.w, b.h));
        break;
      case ControlKind::Button:
        line(std::string(c.isDefault ? "DEFPUSHBUTTON " : "PUSHBUTTON ") + quoted(c.label) + ", " +
             std::to_string(id) + ", " + box(b.x, b.y, b.w, b.h));
        break;
    }
  }

 private:
  std::ostream &out_;
  Origin origin_;
};

void writeHeader(std::ostream &out, const DialogForm &form, int id, int width, int height,
                 bool page) {
  out << id << " DIALOGEX 0, 0, " << dluX(width) << ", " << dluY(height) << "\n";
  if (page) {
    out << "STYLE DS_CONTROL | DS_SETFONT | WS_CHILD\n";
    out << "EXSTYLE WS_EX_CONTROLPARENT\n";
  } else {
    out << "STYLE DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU\n";
    out << "CAPTION " << quoted(form.title) << "\n";
  }
  // The Japanese face stands in for the system's own Japanese dialog face.
  out << (form.japanese ? "FONT 9, \"MS UI Gothic\"\n" : "FONT 8, \"MS Shell Dlg\"\n");
}

}  // namespace

void writeScriptHead(std::ostream &out) {
  out << "// Written by the build from the dialog forms; not edited by hand.\n"
      << "#pragma code_page(65001)\n"
      << "#include <windows.h>\n"
      << "#include <commctrl.h>\n\n";
}

void writeTemplates(std::ostream &out, const DialogForm &form) {
  const TemplateIds ids = templateIds(form.kind, form.japanese);
  const bool pagedTemplates = ids.pages[0] != 0;
  out << (form.japanese ? "LANGUAGE LANG_JAPANESE, SUBLANG_DEFAULT\n"
                        : "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n");

  writeHeader(out, form, ids.frame, form.width, form.height, false);
  out << "BEGIN\n";
  TemplateWriter frame(out, {});
  for (const DialogControl &c : form.controls)
    if (c.page < 0 || !pagedTemplates) frame.control(c);
  // Last, so that it lies beneath the controls drawn over it; the dialog
  // draws the tab labels.
  if (!form.tabs.empty()) {
    const Rect &t = form.tabArea;
    frame.line("CONTROL \"\", " + std::to_string(kTabControlId) +
               ", \"SysTabControl32\", TCS_OWNERDRAWFIXED | WS_TABSTOP | WS_CLIPSIBLINGS, " +
               frame.box(t.x, t.y, t.w, t.h) + ", WS_EX_CONTROLPARENT");
  }
  out << "END\n\n";

  if (!pagedTemplates) return;
  const Origin pageOrigin{form.tabArea.x + kPageLeft, form.tabArea.y + kPageTop};
  for (std::size_t page = 0; page < form.tabs.size() && page < ids.pages.size(); ++page) {
    if (ids.pages[page] == 0) continue;
    writeHeader(out, form, ids.pages[page], form.tabArea.w - 2 * kPageLeft,
                form.tabArea.h - kPageTop - kPageLeft, true);
    out << "BEGIN\n";
    TemplateWriter writer(out, pageOrigin);
    for (const DialogControl &c : form.controls)
      if (c.page == static_cast<int>(page)) writer.control(c);
    out << "END\n\n";
  }
}

}  // namespace pelnik::platform::win32_dialogs
