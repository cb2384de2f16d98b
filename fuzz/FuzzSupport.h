// Shared set-up of the fuzz targets: a private simulation root, the cone module registered
// in-process, and the consistency checks every target applies after feeding its input.
//
// A target reports a fault by aborting (fuzzsupport::fail), so that libFuzzer keeps the input.
#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

#include "CommonVesselEx.h"
#include "ItemTableCheck.h"

#include <host/Host.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzsupport {

// Makes the root on first use (the repository's test world and add-on files with the message module) and
// enters it. The root is removed when the process exits.
const std::string& root();

// Drains every listed vessel's mail, then empties the world. The message module stays loaded
// for the whole process, so mail left for a destroyed vessel could otherwise reach a new
// vessel that happens to get the same address.
void resetWorld();

// The framework vessel behind a vessel made by the cone module; null for any other vessel.
COMMON_VESSEL_EX* framework(OBJHANDLE h);

// An empty string when every item line in a vessel's saved block fits 511 characters and
// reads back with no word or number cut.
std::string savedLinesFault(const std::vector<std::string>& block);

// True when an item has no name. Its line is the bare keyword and a blank, which a scenario
// reader trims to the keyword alone: such an item does not come back from a file. (An item
// lacking only later words is written with the words it has and comes back as it was.)
bool hasEmptyWords(const COMMON_VESSEL_EX& v);

// Checks every cone of the world; aborts with the fault and the vessel's name.
void checkWorld();

[[noreturn]] void fail(const std::string& what);

// The message module's entry points, from the copy the world loads.
using SendFn = void (*)(VESSEL*, const char*, const char*);
using CheckFn = int (*)(VESSEL*, char*, char*);
SendFn sendMessage();
CheckFn checkMessage();

// Writes a file under the root (relative path), creating folders.
void writeFile(const std::string& relative, const uint8_t* data, size_t size);

}  // namespace fuzzsupport

#endif  // FUZZ_SUPPORT_H
