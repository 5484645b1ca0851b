// The viewer in an SDL window: the form's picture goes to the window, the
// window's mouse input goes through the form, the keys become viewer
// commands, and the platform's cursors become SDL cursors.
#pragma once

#include <string>

#include "viewer.h"

namespace marovia::geoview {

// Shows the viewer until the window is closed. Answers false, with the
// reason in Error, when no window can be opened (no display).
bool RunSdlWindow(TViewer& Viewer, std::string& Error);

}  // namespace marovia::geoview
