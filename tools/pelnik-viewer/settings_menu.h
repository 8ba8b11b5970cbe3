#pragma once
// The viewer's Settings menu: the SDK's three settings dialogs, shown over
// the viewer's window from its own FLTK loop (the dialogs nest in it).
namespace viewer {

class ViewerWindow;

void addSettingsMenu(ViewerWindow &window);

}  // namespace viewer
