#pragma once

#include <ItemLine.h>
#include <ItemTable.h>

#include <string>
#include <vector>

namespace runner {

// One item a cone carries, as its scenario lines give it.
struct CarriedItem {
    ItemLineParse fields;
    int parent = -1;  // index of the enclosing stage in the table, -1 when carried directly
    int line = 0;     // where it was read (1-based among the lines fed)
};

// What one line of a cone's block did when read the way the cone reads it.
struct LineEffect {
    enum Kind {
        kHostLine,      // not an item line: the simulator keeps it
        kEntered,       // a new item in slot `slot`
        kClosed,        // closed the open stage
        kWrongKeyword,  // picked up as an item line but its keyword is not one; dropped
        kTableFull,     // the table already held every item it can; dropped
        kNothingOpen,   // ENDSTAGE with no stage open; nothing happened
    } kind = kHostLine;
    int slot = -1;
    std::string keyword;  // the first word of the line
    ItemLineParse parse;  // for kEntered
};

// Replays what a cone does with the lines of its scenario block: which lines it takes as item
// lines, and the item table they build. The grammar and the table's rules are the framework's.
class ItemReader {
public:
    LineEffect feed(const std::string& line, int lineNo);

    const std::vector<CarriedItem>& items() const { return items_; }
    int openStage() const { return openStage_; }

private:
    std::vector<CarriedItem> items_;
    int openStage_ = -1;
};

struct ItemReading {
    std::vector<CarriedItem> items;
    int openStage = -1;
};

// The items in a vessel's saved state lines.
ItemReading readItems(const std::vector<std::string>& stateLines);

// Mass-weighted centre of the items' offsets and their total mass.
struct ItemMass {
    double mass = 0.0;
    double x = 0.0, y = 0.0, z = 0.0;
};
ItemMass itemMass(const std::vector<CarriedItem>& items);

}  // namespace runner
