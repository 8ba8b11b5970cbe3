#include "ui/dialog_view.h"

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/dialog_form.h"
#include "ui/dialog_inbox.h"
#include "ui/win32/dialog_inbox_wake.h"
#include "ui/win32/dialog_templates.h"

namespace pelnik::platform {

namespace {

using win32_dialogs::TemplateIds;

// Posted to the frame when another thread has queued an update.
constexpr UINT kDrainInbox = WM_APP + 0x51;
// Japanese texts reach the narrow calls in the Japanese code page.
constexpr UINT kJapaneseCodePage = 932;

// One dialog at a time in the process, re-entered by its own thread.
std::recursive_mutex &dialogTurnLock() {
  static std::recursive_mutex lock;
  return lock;
}

// The module holding the templates: the one this code is linked into.
HMODULE templateModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&templateModule), &module);
  return module;
}

// The form's UTF-8 text in the code page of the dialog's language.
std::string narrowText(const std::string &utf8, bool japanese) {
  if (utf8.empty()) return {};
  const int wideLength =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (wideLength <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                        wideLength);
  const UINT codePage = japanese ? kJapaneseCodePage : CP_ACP;
  const int length =
      ::WideCharToMultiByte(codePage, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string narrow(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(codePage, 0, wide.data(), wideLength, narrow.data(), length, nullptr,
                        nullptr);
  return narrow;
}

std::string windowText(HWND window) {
  const int length = ::GetWindowTextLengthA(window);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int got = ::GetWindowTextA(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return text;
}

enum class Role { Slider, Spin, Edit, Check, Radio, List, Button, Text };

struct Binding {
  int formId = 0;
  Role role = Role::Button;
  HWND window = nullptr;
  std::vector<std::string> shownItems;  // lists: what the box holds
  int shownMinimum = 0;                 // sliders and spins: the range set
  int shownMaximum = -1;
  int shownTick = -1;
};

class ResourceDialogView {
 public:
  ResourceDialogView(DialogController &controller, HMODULE module)
      : controller_(controller),
        module_(module),
        japanese_(controller.form().japanese),
        ids_(win32_dialogs::templateIds(controller.form().kind, controller.form().japanese)) {}

  // The modal frame; -1 when its template cannot be shown.
  INT_PTR run(HWND owner) {
    return ::DialogBoxParamA(module_, MAKEINTRESOURCEA(ids_.frame), owner, frameProc,
                             reinterpret_cast<LPARAM>(this));
  }

 private:
  static ResourceDialogView *viewOf(HWND dialog) {
    return reinterpret_cast<ResourceDialogView *>(::GetWindowLongPtrA(dialog, DWLP_USER));
  }

  static INT_PTR CALLBACK frameProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      reinterpret_cast<ResourceDialogView *>(lParam)->attach(dialog);
      return TRUE;
    }
    ResourceDialogView *view = viewOf(dialog);
    if (!view) return FALSE;
    switch (message) {
      case kDrainInbox:
        view->drainInbox();
        return TRUE;
      case WM_CLOSE:
        view->send({DialogEvent::Kind::Closed, 0, 0, {}});
        return TRUE;
      case WM_DESTROY:
        view->wake_.reset();
        if (view->paneBrush_) ::DeleteObject(view->paneBrush_);
        view->paneBrush_ = nullptr;
        return FALSE;
      case WM_DRAWITEM: {
        const auto *item = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
        if (item->CtlType != ODT_TAB || item->hwndItem != view->tab_) return FALSE;
        view->drawTabLabel(*item);
        return TRUE;
      }
      case WM_CTLCOLORSTATIC:
        // Captions laid over the tab control itself take the colour of its pane.
        if (view->controlsOverTab() && isStaticText(reinterpret_cast<HWND>(lParam))) {
          if (HBRUSH brush = view->paneBrush()) {
            ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<INT_PTR>(brush);
          }
        }
        return FALSE;
      default:
        return view->controlMessage(dialog, message, wParam, lParam);
    }
  }

  static INT_PTR CALLBACK pageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      ::SetWindowLongPtrA(page, DWLP_USER, lParam);
      return FALSE;
    }
    ResourceDialogView *view = viewOf(page);
    return view ? view->controlMessage(page, message, wParam, lParam) : FALSE;
  }

  // A frame without page templates holds its page's controls itself.
  bool controlsOverTab() const { return tab_ && ids_.pages[0] == 0; }

  static bool isStaticText(HWND control) {
    char className[16] = {};
    ::GetClassNameA(control, className, sizeof className);
    return ::lstrcmpiA(className, "Static") == 0;
  }

  // The colour the tab control paints its pane with (themes differ): a
  // point of the pane as the control prints itself.
  HBRUSH paneBrush() {
    if (paneBrush_ || !tab_) return paneBrush_;
    RECT area{};
    ::GetClientRect(tab_, &area);
    RECT pane = area;
    ::SendMessageA(tab_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&pane));
    HDC screen = ::GetDC(tab_);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, area.right, area.bottom);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::FillRect(memory, &area, ::GetSysColorBrush(COLOR_BTNFACE));
    ::SendMessageA(tab_, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory),
                   PRF_CLIENT | PRF_ERASEBKGND);
    const COLORREF colour = ::GetPixel(memory, pane.left + 4, pane.top + 4);
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(tab_, screen);
    paneBrush_ = ::CreateSolidBrush(colour == CLR_INVALID ? ::GetSysColor(COLOR_BTNFACE) : colour);
    return paneBrush_;
  }

  // A tab's label: its text centred on the tab, on the button face.
  void drawTabLabel(const DRAWITEMSTRUCT &item) {
    const DialogForm &form = controller_.form();
    if (item.itemID >= form.tabs.size()) return;
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    HBRUSH brush = ::CreateSolidBrush(face);
    ::FillRect(item.hDC, &item.rcItem, brush);
    ::DeleteObject(brush);
    const std::string label = narrowText(form.tabs[item.itemID], japanese_);
    SIZE extent{};
    ::GetTextExtentPoint32A(item.hDC, label.c_str(), static_cast<int>(label.size()), &extent);
    ::SetBkColor(item.hDC, face);
    ::TextOutA(item.hDC, (item.rcItem.left + item.rcItem.right - extent.cx) / 2,
               (item.rcItem.top + item.rcItem.bottom - extent.cy) / 2, label.c_str(),
               static_cast<int>(label.size()));
  }

  void attach(HWND frame) {
    frame_ = frame;
    const DialogForm &form = controller_.form();
    tab_ = ::GetDlgItem(frame, win32_dialogs::kTabControlId);
    if (tab_) {
      for (std::size_t i = 0; i < form.tabs.size(); ++i) {
        std::string label = narrowText(form.tabs[i], japanese_);
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = label.data();
        ::SendMessageA(tab_, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
      }
      // Pages are children of the tab control, below its labels.
      RECT corner{win32_dialogs::dluX(win32_dialogs::kPageLeft),
                  win32_dialogs::dluY(win32_dialogs::kPageTop), 0, 0};
      ::MapDialogRect(frame, &corner);
      for (std::size_t i = 0; i < form.tabs.size() && i < ids_.pages.size(); ++i) {
        if (ids_.pages[i] == 0) continue;
        HWND page = ::CreateDialogParamA(module_, MAKEINTRESOURCEA(ids_.pages[i]), tab_, pageProc,
                                         reinterpret_cast<LPARAM>(this));
        if (!page) continue;
        ::SetWindowPos(page, HWND_TOP, corner.left, corner.top, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
        pages_.resize(i + 1, nullptr);
        pages_[i] = page;
      }
    }
    bindControls();
    centreOverOwner(frame);
    wake_ = std::make_unique<InboxWakeTarget>(controller_.inbox(), frame, kDrainInbox);
    sync();
    // What was queued before the dialog could be woken.
    ::PostMessageA(frame, kDrainInbox, 0, 0);
  }

  // Over the owner's middle, kept on the owner's monitor; without an owner
  // the template centres it on the screen.
  static void centreOverOwner(HWND frame) {
    HWND owner = ::GetWindow(frame, GW_OWNER);
    if (!owner || !::IsWindowVisible(owner)) return;
    RECT ownerBox{};
    RECT box{};
    ::GetWindowRect(owner, &ownerBox);
    ::GetWindowRect(frame, &box);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoA(::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT &work = monitor.rcWork;
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    const int x = std::clamp<int>((ownerBox.left + ownerBox.right - width) / 2, work.left,
                                  std::max<int>(work.left, work.right - width));
    const int y = std::clamp<int>((ownerBox.top + ownerBox.bottom - height) / 2, work.top,
                                  std::max<int>(work.top, work.bottom - height));
    ::SetWindowPos(frame, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  HWND parentOf(const DialogControl &c) const {
    if (c.page >= 0 && c.page < static_cast<int>(pages_.size()) &&
        pages_[static_cast<std::size_t>(c.page)])
      return pages_[static_cast<std::size_t>(c.page)];
    return frame_;
  }

  void bind(HWND parent, int formId, int shownId, Role role) {
    HWND window = ::GetDlgItem(parent, shownControlId(shownId));
    if (!window) return;
    Binding binding;
    binding.formId = formId;
    binding.role = role;
    binding.window = window;
    byWindow_[window] = bindings_.size();
    bindings_.push_back(std::move(binding));
  }

  void bindControls() {
    for (const DialogControl &c : controller_.form().controls) {
      if (c.id == 0) continue;
      HWND parent = parentOf(c);
      switch (c.kind) {
        case ControlKind::ValueGroup:
          bind(parent, c.id, c.sliderId, Role::Slider);
          bind(parent, c.id, c.id, Role::Edit);
          bind(parent, c.id, c.spinId, Role::Spin);
          break;
        case ControlKind::CheckBox:
          bind(parent, c.id, c.id, Role::Check);
          break;
        case ControlKind::RadioButton:
          bind(parent, c.id, c.id, Role::Radio);
          break;
        case ControlKind::ListBox:
          bind(parent, c.id, c.id, Role::List);
          break;
        case ControlKind::NumberEdit:
        case ControlKind::ReadOnlyNumber:
          bind(parent, c.id, c.id, Role::Edit);
          break;
        case ControlKind::Text:
          bind(parent, c.id, c.id, Role::Text);
          break;
        case ControlKind::Button:
          bind(parent, c.id, c.id, Role::Button);
          break;
        case ControlKind::Frame:
          break;
      }
    }
  }

  Binding *bindingOf(HWND window) {
    const auto found = byWindow_.find(window);
    return found == byWindow_.end() ? nullptr : &bindings_[found->second];
  }

  // Messages of the frame and the pages from their controls.
  INT_PTR controlMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return TRUE;
      case WM_HSCROLL:
        if (Binding *b = bindingOf(reinterpret_cast<HWND>(lParam)); b && b->role == Role::Slider)
          sliderMoved(*b);
        return TRUE;
      case WM_NOTIFY: {
        const auto *header = reinterpret_cast<const NMHDR *>(lParam);
        if (header->code == UDN_DELTAPOS) {
          if (Binding *b = bindingOf(header->hwndFrom); b && b->role == Role::Spin) {
            const auto *step = reinterpret_cast<const NMUPDOWN *>(lParam);
            const DialogControl *c = controller_.form().find(b->formId);
            send({DialogEvent::Kind::SpinStepped,
                  c ? c->spinId : b->formId,
                  step->iDelta < 0 ? -1 : 1,
                  {}});
            // The form decides the position; sync shows it.
            ::SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
            return TRUE;
          }
        } else if (header->code == TCN_SELCHANGE && header->hwndFrom == tab_) {
          const int chosen = static_cast<int>(::SendMessageA(tab_, TCM_GETCURSEL, 0, 0));
          send({DialogEvent::Kind::TabChosen, 0, chosen, {}});
        }
        return FALSE;
      }
      default:
        return FALSE;
    }
  }

  void command(int id, int code, HWND control) {
    if (!control) {
      // Enter and Escape: the dialog manager's OK and Cancel.
      if (id == IDOK || id == IDCANCEL) pressButton(id);
      return;
    }
    Binding *b = bindingOf(control);
    if (!b) return;
    switch (b->role) {
      case Role::Button:
        if (code == BN_CLICKED) send({DialogEvent::Kind::Pressed, b->formId, 0, {}});
        break;
      case Role::Check:
        if (code == BN_CLICKED) {
          const bool checked = ::SendMessageA(b->window, BM_GETCHECK, 0, 0) == BST_CHECKED;
          send({DialogEvent::Kind::Toggled, b->formId, checked ? 0 : 1, {}});
        }
        break;
      case Role::Radio:
        if (code == BN_CLICKED) send({DialogEvent::Kind::Toggled, b->formId, 1, {}});
        break;
      case Role::List:
        if (code == CBN_SELCHANGE) {
          const int index = static_cast<int>(::SendMessageA(b->window, CB_GETCURSEL, 0, 0));
          send({DialogEvent::Kind::Selected, b->formId, index, {}});
        }
        break;
      case Role::Edit:
        // Every change, and leaving the box (the form then shows the number taken).
        if (code == EN_CHANGE || code == EN_KILLFOCUS)
          send({DialogEvent::Kind::EditChanged, b->formId, 0, windowText(b->window)});
        break;
      case Role::Slider:
      case Role::Spin:
      case Role::Text:
        break;
    }
  }

  void pressButton(int id) {
    const DialogControl *c = controller_.form().find(id);
    if (c && c->kind == ControlKind::Button && c->enabled)
      send({DialogEvent::Kind::Pressed, id, 0, {}});
  }

  void sliderMoved(const Binding &b) {
    const DialogControl *c = controller_.form().find(b.formId);
    if (!c) return;
    const int position = static_cast<int>(::SendMessageA(b.window, TBM_GETPOS, 0, 0));
    // End-of-drag and repeated notices at the shown position change nothing.
    if (position == c->value) return;
    send({DialogEvent::Kind::SliderMoved, c->sliderId, position, {}});
  }

  void send(const DialogEvent &event) {
    if (syncing_) return;
    controller_.handle(event);
    sync();
    if (controller_.finished()) ::EndDialog(frame_, IDOK);
  }

  void drainInbox() {
    if (controller_.inbox().drain() > 0) sync();
    if (controller_.finished()) ::EndDialog(frame_, IDOK);
  }

  // Shows the form's current state in the controls. Messages the controls
  // send meanwhile are the view's own doing, not the user's.
  void sync() {
    syncing_ = true;
    const DialogForm &form = controller_.form();
    for (Binding &b : bindings_) {
      const DialogControl *c = form.find(b.formId);
      if (c) syncOne(b, *c);
    }
    if (tab_ && form.currentTab != shownTab_ && form.currentTab >= 0 &&
        form.currentTab < static_cast<int>(form.tabs.size())) {
      ::SendMessageA(tab_, TCM_SETCURSEL, static_cast<WPARAM>(form.currentTab), 0);
      for (std::size_t i = 0; i < pages_.size(); ++i)
        if (pages_[i])
          ::ShowWindow(pages_[i], static_cast<int>(i) == form.currentTab ? SW_SHOW : SW_HIDE);
      shownTab_ = form.currentTab;
    }
    syncing_ = false;
  }

  void syncOne(Binding &b, const DialogControl &c) {
    if ((::IsWindowEnabled(b.window) != FALSE) != c.enabled) ::EnableWindow(b.window, c.enabled);
    switch (b.role) {
      case Role::Slider:
        if (b.shownMinimum != c.minimum || b.shownMaximum != c.maximum) {
          ::SendMessageA(b.window, TBM_SETRANGEMIN, FALSE, c.minimum);
          ::SendMessageA(b.window, TBM_SETRANGEMAX, TRUE, c.maximum);
          b.shownMinimum = c.minimum;
          b.shownMaximum = c.maximum;
          b.shownTick = -1;
        }
        if (b.shownTick != c.tick) {
          if (c.tick > 0)
            ::SendMessageA(b.window, TBM_SETTICFREQ, static_cast<WPARAM>(c.tick), 0);
          else
            ::SendMessageA(b.window, TBM_CLEARTICS, TRUE, 0);
          b.shownTick = c.tick;
        }
        if (::SendMessageA(b.window, TBM_GETPOS, 0, 0) != c.value)
          ::SendMessageA(b.window, TBM_SETPOS, TRUE, c.value);
        break;
      case Role::Spin:
        if (b.shownMinimum != c.minimum || b.shownMaximum != c.maximum) {
          ::SendMessageA(b.window, UDM_SETRANGE32, static_cast<WPARAM>(c.minimum), c.maximum);
          b.shownMinimum = c.minimum;
          b.shownMaximum = c.maximum;
        }
        ::SendMessageA(b.window, UDM_SETPOS32, 0, c.value);
        break;
      case Role::Edit:
        // Edit boxes hold numbers: their narrow text is the form's text as it is.
        if (windowText(b.window) != c.text) {
          ::SetWindowTextA(b.window, c.text.c_str());
          const auto end = static_cast<WPARAM>(c.text.size());
          ::SendMessageA(b.window, EM_SETSEL, end, static_cast<LPARAM>(end));
        }
        break;
      case Role::Check:
      case Role::Radio: {
        const WPARAM state = c.value != 0 ? BST_CHECKED : BST_UNCHECKED;
        if (static_cast<WPARAM>(::SendMessageA(b.window, BM_GETCHECK, 0, 0)) != state)
          ::SendMessageA(b.window, BM_SETCHECK, state, 0);
        break;
      }
      case Role::List: {
        if (b.shownItems != c.items) {
          ::SendMessageA(b.window, CB_RESETCONTENT, 0, 0);
          for (const std::string &item : c.items) {
            const std::string text = narrowText(item, japanese_);
            ::SendMessageA(b.window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
          }
          b.shownItems = c.items;
        }
        const int wanted =
            c.value >= 0 && c.value < static_cast<int>(c.items.size()) ? c.value : -1;
        if (::SendMessageA(b.window, CB_GETCURSEL, 0, 0) != wanted)
          ::SendMessageA(b.window, CB_SETCURSEL, static_cast<WPARAM>(wanted), 0);
        break;
      }
      case Role::Text: {
        const std::string shown = narrowText(c.text.empty() ? c.label : c.text, japanese_);
        if (windowText(b.window) != shown) ::SetWindowTextA(b.window, shown.c_str());
        break;
      }
      case Role::Button:
        break;
    }
  }

  DialogController &controller_;
  HMODULE module_;
  const bool japanese_;
  const TemplateIds ids_;
  HWND frame_ = nullptr;
  HWND tab_ = nullptr;
  std::vector<HWND> pages_;
  int shownTab_ = -1;
  std::vector<Binding> bindings_;
  std::map<HWND, std::size_t> byWindow_;
  bool syncing_ = false;
  std::unique_ptr<InboxWakeTarget> wake_;
  HBRUSH paneBrush_ = nullptr;
};

void initCommonControls() {
  static std::once_flag once;
  std::call_once(once, [] {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS;
    ::InitCommonControlsEx(&controls);
  });
}

// An int names a window by its low 32 bits; anything that is no window
// means no owner.
HWND ownerFrom(int ownerWindow) {
  HWND owner = reinterpret_cast<HWND>(static_cast<std::intptr_t>(ownerWindow));
  return ownerWindow != 0 && ::IsWindow(owner) ? owner : nullptr;
}

}  // namespace

DialogTurn::DialogTurn() { dialogTurnLock().lock(); }

DialogTurn::~DialogTurn() { dialogTurnLock().unlock(); }

DialogRunResult runModalDialog(DialogController &controller, int ownerWindow) {
  std::lock_guard turn(dialogTurnLock());
  initCommonControls();
  ResourceDialogView view(controller, templateModule());
  if (view.run(ownerFrom(ownerWindow)) == -1) return DialogRunResult::NoDisplay;
  // The loop ended without the form's say (a quit message): closing counts.
  if (!controller.finished()) controller.handle({DialogEvent::Kind::Closed, 0, 0, {}});
  return DialogRunResult::Closed;
}

}  // namespace pelnik::platform
