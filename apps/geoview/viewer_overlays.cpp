// TViewer: track files and item databases over the maps, as overlay layers
// of the map control; a click on database items names them on the status
// line.
#include <filesystem>
#include <memory>
#include <string>

#include "cli_text.h"
#include "marovia/geodb/geodb.h"
#include "marovia/geomap/geodb_layer.h"
#include "marovia/geomap/map_import.h"
#include "marovia/geomap/overlay_layer.h"
#include "marovia/geomap/track_files.h"
#include "viewer.h"

namespace marovia::geoview {

bool TViewer::IsTrackFile(const std::string& Path) {
  std::error_code ec;
  if (std::filesystem::is_directory(Path, ec)) return false;
  if (TrackFormatOfName(Path) == TTrackFormat::Unknown) return false;
  // A KML or KMZ file may be a map (a ground overlay) as well.
  return !IsImportableMapFile(Path);
}

bool TViewer::AddTrackFile(const std::string& File) {
  try {
    TTrackData data = ReadTrackFile(File);
    if (data.Skipped > 0)
      Message(apps::Printable(File) + ": " + std::to_string(data.Skipped) + " records left out" +
              (data.Warnings.empty() ? "" : " (" + data.Warnings[0] + ")"));
    Map().AddOverlayLayer(std::make_shared<TOverlayLayer>(std::move(data), File));
    return true;
  } catch (const std::exception& e) {
    const std::string what = e.what();
    Message(apps::Printable(what.find(File) != std::string::npos ? what : File + ": " + what));
    return false;
  }
}

bool TViewer::AddDatabase(const std::string& Base) {
  try {
    auto db = std::make_shared<TGeoDB>(nullptr);
    db->SetReadOnly(true);
    db->SetDBName(Base);
    auto layer = std::make_shared<TGeoDBLayer>(std::move(db), Base);
    layer->OnItemsPicked = [this](TGeoDBLayer&, const std::vector<TGeoDBPick>& Items) {
      if (Items.empty()) return;
      std::string text;
      for (const TGeoDBPick& p : Items) {
        if (!text.empty()) text += ", ";
        text += p.Item.Name.Text() + " (" + ItemKindName(p.Item.ItemKind) + ")";
      }
      Message(apps::Printable(text));
    };
    Map().AddOverlayLayer(layer);
    return true;
  } catch (const std::exception& e) {
    const std::string what = e.what();
    Message(apps::Printable(what.find(Base) != std::string::npos ? what : Base + ": " + what));
    return false;
  }
}

}  // namespace marovia::geoview
