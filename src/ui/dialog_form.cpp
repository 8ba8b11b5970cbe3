#include "ui/dialog_form.h"

namespace pelnik::platform {

namespace {

template <class Form>
auto findIn(Form &form, int id) -> decltype(&form.controls.front()) {
  if (id == 0) return nullptr;
  for (auto &control : form.controls)
    if (control.id == id || control.sliderId == id || control.spinId == id) return &control;
  return nullptr;
}

}  // namespace

DialogControl *DialogForm::find(int id) { return findIn(*this, id); }

const DialogControl *DialogForm::find(int id) const { return findIn(*this, id); }

}  // namespace pelnik::platform
