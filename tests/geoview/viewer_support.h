// A viewer on the sample atlas, with its messages collected, and input
// posted to its form as a window system would.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "viewer.h"

namespace marovia::geoview::test {

inline std::string Sample(const std::string& Name = "") {
  return Name.empty() ? std::string(MAROVIA_SAMPLE_ATLAS)
                      : std::string(MAROVIA_SAMPLE_ATLAS) + "/" + Name;
}

class ViewerTest : public ::testing::Test {
 protected:
  ViewerTest() : viewer(800, 600) {
    viewer.OnMessage = [this](const std::string& Text) { messages.push_back(Text); };
  }

  TGeoMap& Map() { return viewer.Map(); }
  // Form coordinates of a point of a control.
  TPoint OnForm(const TControl& C, TPoint P) const {
    const TPoint o = C.OriginInTopLevel();
    return TPoint{o.X + P.X, o.Y + P.Y};
  }
  void Click(TPoint FormPoint, TMouseButton Button = mbLeft) {
    Application().PostMouseMove(viewer.Form(), {}, FormPoint.X, FormPoint.Y);
    Application().PostMouseDown(viewer.Form(), Button, {}, FormPoint.X, FormPoint.Y);
    Application().PostMouseUp(viewer.Form(), Button, {}, FormPoint.X, FormPoint.Y);
    viewer.Pump();
  }
  TPoint MapCentre() { return OnForm(Map(), TPoint{Map().Width() / 2, Map().Height() / 2}); }
  // The image pixel under a point of the map control, unrounded.
  std::pair<double, double> ImageAt(TPoint P) {
    const double m = Map().Magnification();
    return {P.X / m + Map().TopLeft().X, P.Y / m + Map().TopLeft().Y};
  }
  bool Said(const std::string& Part) const {
    for (const auto& m : messages)
      if (m.find(Part) != std::string::npos) return true;
    return false;
  }

  TViewer viewer;
  std::vector<std::string> messages;
};

}  // namespace marovia::geoview::test
