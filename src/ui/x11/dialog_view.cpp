#include "ui/dialog_view.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Int_Input.H>
#include <FL/Fl_Repeat_Button.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Tabs.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/dialog_form.h"
#include "ui/dialog_inbox.h"
#include "ui/x11/x11_error_trap.h"

namespace pelnik::platform {

namespace {

// FLTK keeps its display, fonts and event loop process-wide.
std::recursive_mutex &toolkitLoopLock() {  // guards every FLTK call of the library
  static std::recursive_mutex lock;
  return lock;
}

// Far above the faces an application adds itself from FL_FREE_FONT on.
constexpr Fl_Font kJapaneseFace = FL_FREE_FONT + 100;
constexpr Fl_Fontsize kTextSize = 12;
constexpr int kTabHeight = 25;

// Opens FLTK's display on the first dialog; an FLTK application has done so
// already. FLTK itself would end the process when no display can be opened.
// The library's own FLTK connection (not an FLTK application's).
x11::ConnectionErrors gToolkitErrors;

bool ensureDisplay() {
  // A server that went away takes the toolkit with it: no further dialogs.
  if (gToolkitErrors.dead.load()) return false;
  if (fl_display) return true;
  Display *display = XOpenDisplay(nullptr);
  if (!display) return false;
  // FLTK installs process-wide handlers that end the process when any
  // server goes away; the earlier ones are put back and this connection is
  // trapped like the library's other connections.
  x11::keepingHandlers([](void *opened) { fl_open_display(static_cast<Display *>(opened)); },
                       display);
  x11::registerConnection(display, &gToolkitErrors);
  return true;
}

void registerJapaneseFace() {
  static bool registered = false;
  if (registered) return;
  Fl::set_font(kJapaneseFace, " Noto Sans CJK JP");
  registered = true;
}

// X errors on our own connection while the owner window is examined (the
// caller may pass anything as its window) are noted, not reported: the
// connection is registered for the check, its latest registration.
struct OwnerPlace {
  bool valid = false;
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
};

OwnerPlace examineOwner(int ownerWindow) {
  OwnerPlace place;
  if (ownerWindow <= 0) return place;
  const auto window = static_cast<Window>(static_cast<unsigned>(ownerWindow));
  XSync(fl_display, False);
  x11::ConnectionErrors ownerCheck;
  x11::registerForCheck(fl_display, &ownerCheck);
  XWindowAttributes attributes{};
  Window child = 0;
  int rootX = 0;
  int rootY = 0;
  const bool found = XGetWindowAttributes(fl_display, window, &attributes) != 0;
  if (found)
    XTranslateCoordinates(fl_display, window, attributes.root, 0, 0, &rootX, &rootY, &child);
  XSync(fl_display, False);
  x11::unregisterConnection(fl_display, &ownerCheck);
  if (!found || ownerCheck.count.load() != 0) return place;
  place = {true, rootX, rootY, attributes.width, attributes.height};
  return place;
}

// FLTK menus read '/', '&', '_' and '\\' in item texts; list entries are shown
// as written.
std::string menuText(const std::string &text) {
  std::string escaped;
  for (char c : text) {
    if (c == '/' || c == '\\' || c == '_') escaped += '\\';
    if (c == '&') escaped += '&';
    escaped += c;
  }
  return escaped;
}

// A horizontal slider that draws its tick marks beneath the track.
class TickSlider : public Fl_Slider {
 public:
  TickSlider(int x, int y, int w, int h) : Fl_Slider(x, y, w, h) {
    type(FL_HOR_NICE_SLIDER);
    box(FL_FLAT_BOX);
    step(1);
  }
  int tick = 0;

 protected:
  void draw() override {
    Fl_Slider::draw();
    const double low = minimum();
    const double high = maximum();
    if (tick <= 0 || high <= low) return;
    // The knob's centre travels between half a knob from either end.
    const int knob = static_cast<int>(slider_size() * w() + 0.5) > 12
                         ? static_cast<int>(slider_size() * w() + 0.5)
                         : 12;
    const int left = x() + knob / 2;
    const int span = w() - knob;
    fl_color(active_r() ? FL_DARK3 : FL_INACTIVE_COLOR);
    for (double v = low; v <= high + 0.5; v += tick) {
      const int px = left + static_cast<int>(std::lround((v - low) / (high - low) * span));
      fl_line(px, y() + h() - 4, px, y() + h() - 1);
    }
  }
};

// A caption that underlines the letter after '&', as buttons do.
class Caption : public Fl_Box {
 public:
  Caption(int x, int y, int w, int h) : Fl_Box(x, y, w, h) { set_flag(SHORTCUT_LABEL); }
  Caption(Fl_Boxtype box, int x, int y, int w, int h) : Fl_Box(box, x, y, w, h, nullptr) {
    set_flag(SHORTCUT_LABEL);
  }
};

class FormView;

enum class Role { Slider, SpinUp, SpinDown, Edit, Check, List, Button, Tabs };

struct Binding {
  FormView *view = nullptr;
  int id = 0;
  Role role = Role::Button;
  Fl_Widget *widget = nullptr;
  std::vector<std::string> shownItems;  // list boxes: what the menu holds
};

class FormView {
 public:
  explicit FormView(DialogController &controller) : controller_(controller) {}

  Fl_Double_Window *build() {
    const DialogForm &form = controller_.form();
    font_ = form.japanese ? kJapaneseFace : FL_HELVETICA;
    // An FLTK application may have a group open; the dialog is no part of it.
    Fl_Group::current(nullptr);
    window_ = std::make_unique<Fl_Double_Window>(form.width, form.height);
    window_->copy_label(form.title.c_str());
    window_->set_modal();
    window_->callback(windowCallback, this);

    std::vector<Fl_Group *> pages;
    if (!form.tabs.empty()) {
      const Rect &area = form.tabArea;
      tabs_ = new Fl_Tabs(area.x, area.y, area.w, area.h);
      bind(tabs_, 0, Role::Tabs);
      for (const std::string &label : form.tabs) {
        auto *page = new Fl_Group(area.x, area.y + kTabHeight, area.w, area.h - kTabHeight);
        page->copy_label(label.c_str());
        page->labelfont(font_);
        page->labelsize(kTextSize);
        page->end();
        pages.push_back(page);
      }
      tabs_->end();
      pages_ = pages;
    }
    window_->end();

    for (const DialogControl &control : form.controls) {
      Fl_Group *parent = control.page >= 0 && control.page < static_cast<int>(pages.size())
                             ? pages[static_cast<std::size_t>(control.page)]
                             : window_.get();
      parent->begin();
      create(control);
      parent->end();
    }
    Fl_Group::current(nullptr);
    sync();
    return window_.get();
  }

  // Shows the form's current state in the widgets.
  void sync() {
    const DialogForm &form = controller_.form();
    for (auto &binding : bindings_) syncOne(*binding, form);
    // Only a change of the model's page moves the tabs: the tab control
    // itself may be in the middle of switching when a focus change of a
    // page's edit box reports in.
    if (tabs_ && form.currentTab != shownTab_ && form.currentTab >= 0 &&
        form.currentTab < static_cast<int>(pages_.size())) {
      tabs_->value(pages_[static_cast<std::size_t>(form.currentTab)]);
      shownTab_ = form.currentTab;
    }
    syncTexts();
  }

  void send(const DialogEvent &event) {
    controller_.handle(event);
    sync();
  }

  void drainInbox() {
    if (controller_.inbox().drain() > 0) sync();
  }

  DialogController &controller() { return controller_; }
  // After the server is gone: the widgets are never destroyed (that would
  // talk to the server).
  void abandon() { (void)window_.release(); }

 private:
  Binding *bind(Fl_Widget *widget, int id, Role role) {
    auto binding = std::make_unique<Binding>();
    binding->view = this;
    binding->id = id;
    binding->role = role;
    binding->widget = widget;
    widget->callback(widgetCallback, binding.get());
    bindings_.push_back(std::move(binding));
    return bindings_.back().get();
  }

  void style(Fl_Widget *widget) {
    widget->labelfont(font_);
    widget->labelsize(kTextSize);
  }

  void create(const DialogControl &c) {
    const Rect &b = c.box;
    switch (c.kind) {
      case ControlKind::ValueGroup: {
        auto *label = new Caption(b.x, b.y, b.w, 18);
        label->copy_label(c.label.c_str());
        label->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
        style(label);
        labels_.push_back({label, c.id});
        auto *slider = new TickSlider(b.x, b.y + 18, b.w - 96, 24);
        slider->tick = c.tick;
        bind(slider, c.id, Role::Slider);
        auto *edit = new Fl_Int_Input(b.x + b.w - 92, b.y + 18, 64, 24);
        edit->when(FL_WHEN_CHANGED | FL_WHEN_RELEASE_ALWAYS);
        edit->textfont(font_);
        edit->textsize(kTextSize);
        bind(edit, c.id, Role::Edit);
        auto *up = new Fl_Repeat_Button(b.x + b.w - 26, b.y + 18, 18, 12, "@8>");
        up->labelsize(7);
        bind(up, c.id, Role::SpinUp);
        auto *down = new Fl_Repeat_Button(b.x + b.w - 26, b.y + 30, 18, 12, "@2>");
        down->labelsize(7);
        bind(down, c.id, Role::SpinDown);
        break;
      }
      case ControlKind::CheckBox:
      case ControlKind::RadioButton: {
        Fl_Button *button = c.kind == ControlKind::CheckBox
                                ? static_cast<Fl_Button *>(new Fl_Check_Button(b.x, b.y, b.w, b.h))
                                : new Fl_Round_Button(b.x, b.y, b.w, b.h);
        button->type(FL_TOGGLE_BUTTON);
        button->copy_label(c.label.c_str());
        style(button);
        bind(button, c.id, Role::Check);
        break;
      }
      case ControlKind::ListBox: {
        auto *choice = new Fl_Choice(b.x, b.y + 18, b.w, 24);
        choice->copy_label(c.label.c_str());
        choice->align(FL_ALIGN_TOP_LEFT);
        style(choice);
        choice->textfont(font_);
        choice->textsize(kTextSize);
        bind(choice, c.id, Role::List);
        break;
      }
      case ControlKind::NumberEdit:
      case ControlKind::ReadOnlyNumber: {
        auto *edit = new Fl_Int_Input(b.x + b.w - 80, b.y, 80, b.h);
        edit->copy_label(c.label.c_str());
        edit->align(FL_ALIGN_LEFT);
        style(edit);
        edit->textfont(font_);
        edit->textsize(kTextSize);
        edit->when(FL_WHEN_CHANGED | FL_WHEN_RELEASE_ALWAYS);
        if (c.kind == ControlKind::ReadOnlyNumber) {
          edit->readonly(1);
          edit->color(FL_BACKGROUND_COLOR);
        }
        bind(edit, c.id, Role::Edit);
        break;
      }
      case ControlKind::Text: {
        auto *text = new Fl_Box(b.x, b.y, b.w, b.h);
        text->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
        style(text);
        texts_.push_back({text, c.id});
        break;
      }
      case ControlKind::Frame: {
        auto *frame = new Caption(FL_ENGRAVED_FRAME, b.x, b.y, b.w, b.h);
        frame->copy_label(c.label.c_str());
        frame->align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE);
        style(frame);
        break;
      }
      case ControlKind::Button: {
        Fl_Button *button = c.isDefault ? new Fl_Return_Button(b.x, b.y, b.w, b.h)
                                        : new Fl_Button(b.x, b.y, b.w, b.h);
        button->copy_label(c.label.c_str());
        style(button);
        bind(button, c.id, Role::Button);
        break;
      }
    }
  }

  static void setActive(Fl_Widget *widget, bool enabled) {
    if (enabled && !widget->active())
      widget->activate();
    else if (!enabled && widget->active())
      widget->deactivate();
  }

  void syncOne(Binding &binding, const DialogForm &form) {
    if (binding.role == Role::Tabs) return;
    const DialogControl *c = form.find(binding.id);
    if (!c) return;
    setActive(binding.widget, c->enabled);
    switch (binding.role) {
      case Role::Slider: {
        auto *slider = static_cast<TickSlider *>(binding.widget);
        if (slider->minimum() != c->minimum || slider->maximum() != c->maximum)
          slider->bounds(c->minimum, c->maximum);
        if (static_cast<int>(slider->value()) != c->value) slider->value(c->value);
        break;
      }
      case Role::Edit: {
        auto *edit = static_cast<Fl_Int_Input *>(binding.widget);
        if (c->text != edit->value()) {
          edit->value(c->text.c_str());
          edit->position(edit->size());
        }
        break;
      }
      case Role::Check: {
        auto *button = static_cast<Fl_Button *>(binding.widget);
        if (button->value() != (c->value != 0)) button->value(c->value != 0 ? 1 : 0);
        break;
      }
      case Role::List: {
        auto *choice = static_cast<Fl_Choice *>(binding.widget);
        if (binding.shownItems != c->items) {
          choice->clear();
          for (const std::string &item : c->items) choice->add(menuText(item).c_str(), 0, nullptr);
          binding.shownItems = c->items;
        }
        const int wanted =
            c->value >= 0 && c->value < static_cast<int>(c->items.size()) ? c->value : -1;
        if (choice->value() != wanted) {
          if (wanted >= 0)
            choice->value(wanted);
          else
            choice->value(static_cast<const Fl_Menu_Item *>(nullptr));
        }
        break;
      }
      case Role::SpinUp:
      case Role::SpinDown:
      case Role::Button:
      case Role::Tabs:
        break;
    }
  }

  // Static texts and value-group captions have no events; they follow the form here.
  void syncTexts() {
    const DialogForm &form = controller_.form();
    for (auto &[box, id] : texts_) {
      const DialogControl *c = form.find(id);
      if (!c) continue;
      const std::string &shown = c->text.empty() ? c->label : c->text;
      if (!box->label() || shown != box->label()) box->copy_label(shown.c_str());
      setActive(box, c->enabled);
    }
    for (auto &[box, id] : labels_) {
      const DialogControl *c = form.find(id);
      if (c) setActive(box, c->enabled);
    }
  }

  static void widgetCallback(Fl_Widget *widget, void *data) {
    auto *binding = static_cast<Binding *>(data);
    FormView &view = *binding->view;
    DialogEvent event;
    event.id = binding->id;
    switch (binding->role) {
      case Role::Slider:
        event.kind = DialogEvent::Kind::SliderMoved;
        event.value = static_cast<int>(std::lround(static_cast<Fl_Slider *>(widget)->value()));
        if (const DialogControl *c = view.controller_.form().find(binding->id))
          event.id = c->sliderId;
        break;
      case Role::SpinUp:
      case Role::SpinDown:
        event.kind = DialogEvent::Kind::SpinStepped;
        event.value = binding->role == Role::SpinUp ? 1 : -1;
        if (const DialogControl *c = view.controller_.form().find(binding->id))
          event.id = c->spinId;
        break;
      case Role::Edit:
        event.kind = DialogEvent::Kind::EditChanged;
        event.text = static_cast<Fl_Input *>(widget)->value();
        break;
      case Role::Check:
        event.kind = DialogEvent::Kind::Toggled;
        event.value = static_cast<Fl_Button *>(widget)->value();
        break;
      case Role::List:
        event.kind = DialogEvent::Kind::Selected;
        event.value = static_cast<Fl_Choice *>(widget)->value();
        break;
      case Role::Button:
        event.kind = DialogEvent::Kind::Pressed;
        break;
      case Role::Tabs: {
        auto *tabs = static_cast<Fl_Tabs *>(widget);
        event.kind = DialogEvent::Kind::TabChosen;
        event.value = tabs->find(tabs->value());
        view.shownTab_ = event.value;
        break;
      }
    }
    view.send(event);
  }

  static void windowCallback(Fl_Widget *, void *data) {
    auto *view = static_cast<FormView *>(data);
    DialogEvent event;
    event.kind = DialogEvent::Kind::Closed;
    view->send(event);
  }

  DialogController &controller_;
  Fl_Font font_ = FL_HELVETICA;
  // Before the window: the widgets (and their callbacks) go first.
  std::vector<std::unique_ptr<Binding>> bindings_;
  std::unique_ptr<Fl_Double_Window> window_;
  Fl_Tabs *tabs_ = nullptr;
  int shownTab_ = -1;
  std::vector<Fl_Group *> pages_;
  std::vector<std::pair<Fl_Box *, int>> texts_;
  std::vector<std::pair<Fl_Box *, int>> labels_;
};

void inboxReady(FL_SOCKET, void *data) { static_cast<FormView *>(data)->drainInbox(); }

void placeWindow(Fl_Double_Window &window, const OwnerPlace &owner) {
  int x = 0;
  int y = 0;
  if (owner.valid) {
    x = owner.x + (owner.w - window.w()) / 2;
    y = owner.y + (owner.h - window.h()) / 2;
  } else {
    x = (Fl::w() - window.w()) / 2;
    y = (Fl::h() - window.h()) / 2;
  }
  x = std::clamp(x, 0, std::max(0, Fl::w() - window.w()));
  y = std::clamp(y, 0, std::max(0, Fl::h() - window.h()));
  window.position(x, y);
}

}  // namespace

DialogTurn::DialogTurn() { toolkitLoopLock().lock(); }

DialogTurn::~DialogTurn() { toolkitLoopLock().unlock(); }

DialogRunResult runModalDialog(DialogController &controller, int ownerWindow) {
  std::lock_guard<std::recursive_mutex> toolkit(toolkitLoopLock());
  if (!ensureDisplay()) return DialogRunResult::NoDisplay;
  registerJapaneseFace();

  FormView view(controller);
  Fl_Double_Window *window = view.build();
  const OwnerPlace owner = examineOwner(ownerWindow);
  placeWindow(*window, owner);
  window->show();
  if (owner.valid) {
    XSetTransientForHint(fl_display, fl_xid(window),
                         static_cast<Window>(static_cast<unsigned>(ownerWindow)));
  }
  const int wakeFd = controller.inbox().wakeFd();
  if (wakeFd >= 0) Fl::add_fd(wakeFd, FL_READ, inboxReady, &view);

  while (!controller.finished()) {
    if (gToolkitErrors.dead.load()) {
      // The server went away: the dialog counts as closed. Its windows went
      // with the server and are left alone; nothing more is sent to it.
      DialogEvent closed;
      closed.kind = DialogEvent::Kind::Closed;
      view.send(closed);
      if (wakeFd >= 0) Fl::remove_fd(wakeFd);
      x11::releaseAfterLoss(fl_display, gToolkitErrors);
      view.abandon();
      return DialogRunResult::Closed;
    }
    if (!window->shown()) {
      DialogEvent closed;
      closed.kind = DialogEvent::Kind::Closed;
      view.send(closed);
      break;
    }
    Fl::wait(wakeFd >= 0 ? 0.5 : 0.05);
    view.drainInbox();
  }

  if (wakeFd >= 0) Fl::remove_fd(wakeFd);
  window->hide();
  Fl::flush();
  XSync(fl_display, False);
  return DialogRunResult::Closed;
}

}  // namespace pelnik::platform
