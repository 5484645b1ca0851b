// What the fault and power-loss tests' writers write, shared by the driver
// (which writes it under the shim) and the tests (which know from it what
// to expect).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "crash/crash_model.h"
#include "marovia/geomap/web_tiles.h"

namespace marovia::faults {

// The encoded bytes stored for a tile by a variant.
std::vector<uint8_t> TileBytes(const TTileId& Tile, int Variant);

// The database of the tests: B = Folder + "/db".
std::string DatabaseBase(const std::string& Folder);

// Database commands of the driver ("db-<Command>"): fill (the items every
// run starts from), add, replace, delete, meta, description, transaction,
// collect, record. Variant is the durability (0 none, 1 normal, 2 full).
void RunDatabase(const std::string& Command, const std::string& Folder, int Variant);

// The steps of "record": each changes the database and is then confirmed;
// OnConfirmed(step) is called after step 1, 2, ... returned.
void RecordSteps(TGeoDB& Db, const std::function<void(int Step)>& OnConfirmed);

// What a database holds: item ID -> its key (the Tag its content follows
// from), with "/" and the comment of its meta information for a BLOB; ID 0
// -> the description. Every item is checked to be whole and the indexes to
// agree first; Why says what is wrong otherwise (and the map is empty).
using TContents = std::map<int32_t, std::string>;
TContents Contents(TGeoDB& Db, std::string& Why);

}  // namespace marovia::faults
