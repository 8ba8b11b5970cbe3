// The resource script the Windows build writes from the dialog forms: every
// template the view asks for exists once, every control of a page is in its
// page's template under an id no other control of that template uses, and
// every box lies inside its template.
#include "ui/win32/dialog_templates.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "dialogs/dialog_texts.h"
#include "dialogs/win32/layout_hosts.h"
#include "ui/win32/templates/dialog_rc_writer.h"

namespace pelnik::settings {
namespace {

using platform::ControlKind;
using platform::DialogForm;
namespace templates = platform::win32_dialogs;

struct ScriptControl {
  std::string line;
  int id = 0;
  int x = 0, y = 0, w = 0, h = 0;
};

struct Template {
  int width = 0;
  int height = 0;
  bool child = false;
  std::string caption;
  std::vector<ScriptControl> controls;
};

// Reads back what the writer wrote: templates by id, each control's id and
// box (dialog units).
std::map<int, Template> parse(const std::string &script) {
  std::map<int, Template> found;
  std::istringstream in(script);
  std::string line;
  Template *current = nullptr;
  const std::regex head(R"(^(\d+) DIALOGEX 0, 0, (\d+), (\d+)$)");
  const std::regex quoted(R"("([^"]|"")*")");
  const std::regex numbers(R"(-?\d+)");
  std::smatch m;
  while (std::getline(in, line)) {
    if (std::regex_match(line, m, head)) {
      current = &found[std::stoi(m[1])];
      current->width = std::stoi(m[2]);
      current->height = std::stoi(m[3]);
    } else if (current && line.rfind("STYLE", 0) == 0) {
      current->child = line.find("WS_CHILD") != std::string::npos;
    } else if (current && line.rfind("CAPTION ", 0) == 0) {
      current->caption = line.substr(9, line.size() - 10);
    } else if (current && line.rfind("    ", 0) == 0) {
      // Quoted texts and style names aside, the numbers are: id, x, y, w, h.
      const std::string bare = std::regex_replace(line, quoted, "\"\"");
      std::vector<int> values;
      for (auto it = std::sregex_iterator(bare.begin(), bare.end(), numbers);
           it != std::sregex_iterator(); ++it)
        values.push_back(std::stoi(it->str()));
      if (values.size() < 5) continue;
      ScriptControl c{line, values[0], values[1], values[2], values[3], values[4]};
      current->controls.push_back(c);
    }
  }
  return found;
}

struct Forms {
  std::vector<DialogForm> all;
  std::string script;
};

Forms writeAll() {
  Forms forms;
  for (auto language : {platform::UiLanguage::English, platform::UiLanguage::Japanese}) {
    const DialogTexts &texts = dialogTexts(language);
    layout::LayoutAnalogHost analog;
    layout::LayoutImageHost image;
    layout::EmptyStore store;
    forms.all.push_back(AnalogDialogModel(analog, texts).form());
    forms.all.push_back(ImageDialogModel(image, texts).form());
    forms.all.push_back(CameraDialogModel(store, 0, texts).form());
  }
  std::ostringstream out;
  templates::writeScriptHead(out);
  for (const DialogForm &form : forms.all) templates::writeTemplates(out, form);
  forms.script = out.str();
  return forms;
}

// The ids a form control is found by in its template.
std::vector<int> shownIds(const platform::DialogControl &c) {
  if (c.id == 0) return {};
  if (c.kind == ControlKind::ValueGroup)
    return {platform::shownControlId(c.sliderId), platform::shownControlId(c.id),
            platform::shownControlId(c.spinId)};
  return {platform::shownControlId(c.id)};
}

TEST(DialogTemplates, EachTemplateHoldsItsPageControlsEachUnderAnIdOfItsOwn) {
  const Forms forms = writeAll();
  const std::map<int, Template> script = parse(forms.script);
  // The ids each template should hold, from the forms.
  std::map<int, std::multiset<int>> wanted;
  for (const DialogForm &form : forms.all) {
    const templates::TemplateIds ids = templates::templateIds(form.kind, form.japanese);
    wanted[ids.frame];
    if (!form.tabs.empty()) wanted[ids.frame].insert(templates::kTabControlId);
    for (const platform::DialogControl &c : form.controls) {
      const bool onPage = c.page >= 0 && ids.pages[0] != 0;
      const int holder = onPage ? ids.pages[static_cast<std::size_t>(c.page)] : ids.frame;
      for (int id : shownIds(c)) wanted[holder].insert(id);
    }
    ASSERT_TRUE(script.count(ids.frame)) << ids.frame;
    EXPECT_FALSE(script.at(ids.frame).child);
    EXPECT_EQ(script.at(ids.frame).caption, form.title);
    for (int page : ids.pages) {
      if (page != 0 && script.count(page)) {
        EXPECT_TRUE(script.at(page).child) << page;
      }
    }
  }
  // Twelve templates: three frames and three pages per language.
  EXPECT_EQ(script.size(), 12u);
  EXPECT_EQ(wanted.size(), 12u);
  for (const auto &[id, ids] : wanted) {
    ASSERT_TRUE(script.count(id)) << "no template " << id;
    std::multiset<int> held;
    for (const ScriptControl &c : script.at(id).controls)
      if (c.id != -1) held.insert(c.id);
    EXPECT_EQ(held, ids) << "template " << id;
    // GetDlgItem finds one control per id.
    for (int control : held) {
      EXPECT_EQ(held.count(control), 1u) << control << " in " << id;
    }
  }
}

TEST(DialogTemplates, EveryBoxLiesInsideItsTemplate) {
  const std::map<int, Template> script = parse(writeAll().script);
  for (const auto &[id, t] : script)
    for (const ScriptControl &c : t.controls) {
      EXPECT_GE(c.x, 0) << id << ": " << c.line;
      EXPECT_GE(c.y, 0) << id << ": " << c.line;
      EXPECT_LE(c.x + c.w, t.width) << id << ": " << c.line;
      // A drop-down list's box includes its open list.
      if (c.line.find("COMBOBOX") == std::string::npos) {
        EXPECT_LE(c.y + c.h, t.height) << id << ": " << c.line;
      }
    }
}

TEST(DialogTemplates, TextsAreWrittenAsUtf8WithQuotesAndBackslashesEscaped) {
  const std::string script = writeAll().script;
  EXPECT_NE(script.find("#pragma code_page(65001)"), std::string::npos);
  // Japanese captions as the table spells them.
  EXPECT_NE(script.find("\"キャンセル\""), std::string::npos);
  EXPECT_NE(script.find("\"グローバルゲイン(&G)\""), std::string::npos);

  DialogForm form;
  form.kind = platform::DialogKind::Camera;
  form.title = "A \"quoted\" C:\\path";
  form.width = 100;
  form.height = 50;
  std::ostringstream out;
  templates::writeTemplates(out, form);
  EXPECT_NE(out.str().find("CAPTION \"A \"\"quoted\"\" C:\\\\path\""), std::string::npos)
      << out.str();
}

}  // namespace
}  // namespace pelnik::settings
