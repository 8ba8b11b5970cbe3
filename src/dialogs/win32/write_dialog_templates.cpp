// Host program of the Windows build: writes the resource script of the
// settings dialogs' templates from the forms the dialog models build, in
// English and Japanese, so the templates hold exactly the ids, kinds and
// texts the models use.
//   write-dialog-templates OUTPUT.rc
#include <fstream>
#include <iostream>
#include <sstream>

#include "dialogs/dialog_texts.h"
#include "dialogs/win32/layout_hosts.h"
#include "ui/win32/templates/dialog_rc_writer.h"

int main(int argc, char **argv) {
  using namespace pelnik;
  using namespace pelnik::settings::layout;
  if (argc != 2) {
    std::cerr << "usage: write-dialog-templates OUTPUT.rc\n";
    return 2;
  }
  std::ostringstream script;
  platform::win32_dialogs::writeScriptHead(script);
  for (platform::UiLanguage language :
       {platform::UiLanguage::Japanese, platform::UiLanguage::English}) {
    const settings::DialogTexts &texts = settings::dialogTexts(language);
    LayoutAnalogHost analogHost;
    LayoutImageHost imageHost;
    EmptyStore store;
    platform::win32_dialogs::writeTemplates(script,
                                            settings::AnalogDialogModel(analogHost, texts).form());
    platform::win32_dialogs::writeTemplates(script,
                                            settings::ImageDialogModel(imageHost, texts).form());
    platform::win32_dialogs::writeTemplates(script,
                                            settings::CameraDialogModel(store, 0, texts).form());
  }
  // Written only when it changes, so an unchanged script is not compiled again.
  {
    std::ifstream current(argv[1], std::ios::binary);
    std::ostringstream old;
    old << current.rdbuf();
    if (current && old.str() == script.str()) return 0;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << script.str();
  return out ? 0 : 1;
}
