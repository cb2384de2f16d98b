#pragma once

// The runner's side of a cone's item table: the lines of a scenario as the simulator hands
// them to the cone, and the cone's table rebuilt from them with the module's own item model.

#include <ItemTable.h>

#include <string>
#include <vector>

namespace host {
struct BlockInfo;
struct Vessel;
}  // namespace host

namespace runner {

using ItemTable = itemtable::Table<itemtable::ItemSlot>;

// The lines of a scenario file as the simulator reads them: split at line ends, a carriage
// return before one dropped. Throws InputError when the file cannot be read.
std::vector<std::string> readScenarioLines(const std::string& path, const std::string& displayName);

// A line as the simulator hands it to a module: it ends at a NUL, is cut at the first ';', and
// loses the blanks and tabs around it (no other white space).
std::string asHandedOver(const std::string& raw);

// The items a cone reads from the lines of its block, each line as handed over.
class ConeItems {
public:
    // One line of the block: where the cone sends it, and, for an item line, what it did to
    // the table (taken).
    itemtable::BlockRoute feed(const std::string& line, int lineNo, itemtable::Taken* taken);

    const ItemTable& table() const { return table_; }
    // The line the item in slot s was read from.
    int lineOf(int s) const { return lineOf_[s]; }
    int count() const;

private:
    ItemTable table_;
    int lineOf_[itemtable::kCapacity] = {};
};

// Whether a block's vessel is a cone (its class names the cone's module).
bool isConeBlock(const host::BlockInfo& block);
// Whether a vessel is a cone (its class names the cone's module): only a cone carries items.
bool isConeVessel(const host::Vessel& vessel);

struct NumberedLine {
    int number;  // in the file, from 1
    std::string text;
};
// The lines of a block of the loaded scenario that its vessel reads, as handed over; lines is
// the file as readScenarioLines gives it.
std::vector<NumberedLine> blockLines(const std::vector<std::string>& lines,
                                     const host::BlockInfo& block);

// The items in a vessel's saved state lines, as a cone reads them back.
ConeItems readSavedItems(const std::vector<std::string>& stateLines);

}  // namespace runner
