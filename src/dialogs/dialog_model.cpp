#include "dialogs/dialog_model.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

namespace pelnik::settings {

using platform::ControlKind;
using platform::DialogControl;
using platform::DialogEvent;

int editNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i == text.size()) return 0;
  long long value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ' ') break;
    if (c < '0' || c > '9') return 0;
    value = std::min<long long>(value * 10 + (c - '0'), static_cast<long long>(INT_MAX) + 1);
  }
  for (; i < text.size(); ++i)
    if (text[i] != ' ') return 0;
  if (negative) value = -value;
  return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

const DialogControl &DialogModel::control(int id) const {
  const DialogControl *found = form_.find(id);
  if (!found) throw std::out_of_range("no dialog control " + std::to_string(id));
  return *found;
}

DialogControl &DialogModel::mutableControl(int id) {
  DialogControl *found = form_.find(id);
  if (!found) throw std::out_of_range("no dialog control " + std::to_string(id));
  return *found;
}

int DialogModel::groupValue(int editId) const {
  const DialogControl &group = control(editId);
  return std::clamp(editNumber(group.text), group.minimum, group.maximum);
}

DialogControl &DialogModel::addValueGroup(GroupIds ids, std::string label, int minimum, int maximum,
                                          int tick, int value, bool enabled, int page,
                                          platform::Rect box) {
  DialogControl &group = add(ControlKind::ValueGroup, ids.edit, std::move(label), page, box);
  group.sliderId = ids.slider;
  group.spinId = ids.spin;
  group.minimum = minimum;
  group.maximum = maximum;
  group.tick = tick == kEighthTicks ? (maximum - minimum) / 8 : tick;
  group.enabled = enabled;
  showGroupValue(ids.edit, value);
  return group;
}

DialogControl &DialogModel::add(ControlKind kind, int id, std::string label, int page,
                                platform::Rect box) {
  DialogControl c;
  c.kind = kind;
  c.id = id;
  c.label = std::move(label);
  c.page = page;
  c.box = box;
  form_.controls.push_back(std::move(c));
  return form_.controls.back();
}

void DialogModel::showGroupValue(int editId, int value) {
  DialogControl &group = mutableControl(editId);
  group.value = std::clamp(value, group.minimum, group.maximum);
  group.text = std::to_string(value);
}

void DialogModel::setChecked(int id, bool checked) { mutableControl(id).value = checked ? 1 : 0; }

void DialogModel::userSetGroup(DialogControl &group, int value) {
  value = std::clamp(value, group.minimum, group.maximum);
  group.value = value;
  group.text = std::to_string(value);
  groupChanged(group.id, value);
}

void DialogModel::handle(const DialogEvent &event) {
  if (finished()) return;
  DialogControl *c = form_.find(event.id);
  switch (event.kind) {
    case DialogEvent::Kind::SliderMoved:
      if (c && c->kind == ControlKind::ValueGroup && c->enabled) userSetGroup(*c, event.value);
      break;
    case DialogEvent::Kind::SpinStepped:
      if (c && c->kind == ControlKind::ValueGroup && c->enabled)
        userSetGroup(*c, groupValue(c->id) + (event.value < 0 ? -1 : 1));
      break;
    case DialogEvent::Kind::EditChanged:
      if (!c || !c->enabled || c->kind == ControlKind::ReadOnlyNumber) break;
      if (c->kind == ControlKind::ValueGroup) {
        if (event.text == c->text) {
          // Leaving the box: show the number that was taken.
          c->text = std::to_string(groupValue(c->id));
          break;
        }
        c->text = event.text;
        c->value = groupValue(c->id);
        groupChanged(c->id, c->value);
      } else if (c->kind == ControlKind::NumberEdit && event.text != c->text) {
        c->text = event.text;
        editChanged(c->id);
      }
      break;
    case DialogEvent::Kind::Toggled:
      if (c && c->enabled) {
        c->value = event.value != 0 ? 1 : 0;
        toggled(c->id, c->value != 0);
      }
      break;
    case DialogEvent::Kind::Selected:
      if (c && c->enabled && event.value >= 0 && event.value < static_cast<int>(c->items.size())) {
        c->value = event.value;
        selected(c->id, event.value);
      }
      break;
    case DialogEvent::Kind::Pressed:
      if (c && c->enabled) pressed(c->id);
      break;
    case DialogEvent::Kind::TabChosen:
      if (event.value >= 0 && event.value < static_cast<int>(form_.tabs.size()))
        form_.currentTab = event.value;
      break;
    case DialogEvent::Kind::Closed:
      closed();
      break;
  }
}

}  // namespace pelnik::settings
