#include "ItemTree.h"

namespace runner {

using itemtable::isWhite;

LineEffect ItemReader::feed(const std::string& rawLine, int lineNo) {
    LineEffect e;
    // The simulator hands a vessel its lines without leading white space or line end.
    std::size_t b = 0;
    while (b < rawLine.size() && isWhite(rawLine[b])) ++b;
    std::string line = rawLine.substr(b);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();

    std::size_t w = 0;
    while (w < line.size() && !isWhite(line[w])) ++w;
    e.keyword = line.substr(0, w);

    if (!itemtable::isItemCandidate(line.c_str())) return e;
    // The parser wants the keyword followed by a blank. A word holding a NUL is taken as it is
    // read here, whole, and is then no keyword.
    const std::string key = e.keyword.substr(0, itemtable::kNameMax);
    if (key.find('\0') != std::string::npos || !itemtable::isItemKeyword(key.c_str())) {
        e.kind = LineEffect::kWrongKeyword;
        return e;
    }
    if (static_cast<int>(items_.size()) >= itemtable::kCapacity) {
        e.kind = LineEffect::kTableFull;
        return e;
    }
    e.parse = parseItemLine(line.c_str());
    switch (e.parse.kind) {
        case ItemLineParse::kNotItem:
            e.kind = LineEffect::kWrongKeyword;
            break;
        case ItemLineParse::kEndStage:
            if (openStage_ < 0) {
                e.kind = LineEffect::kNothingOpen;
            } else {
                e.kind = LineEffect::kClosed;
                openStage_ = itemtable::openStageAfterClose(openStage_, [this](int s) {
                    return items_[static_cast<std::size_t>(s)].parent;
                });
            }
            break;
        case ItemLineParse::kPayload:
        case ItemLineParse::kStage: {
            e.kind = LineEffect::kEntered;
            e.slot = static_cast<int>(items_.size());
            CarriedItem item;
            item.fields = e.parse;
            item.parent = openStage_;
            item.line = lineNo;
            items_.push_back(item);
            openStage_ = itemtable::openStageAfterEntry(
                openStage_, e.parse.kind == ItemLineParse::kStage, e.slot);
            break;
        }
    }
    return e;
}

ItemReading readItems(const std::vector<std::string>& stateLines) {
    ItemReader reader;
    int n = 0;
    for (const std::string& line : stateLines) reader.feed(line, ++n);
    return {reader.items(), reader.openStage()};
}

ItemMass itemMass(const std::vector<CarriedItem>& items) {
    ItemMass m;
    for (const CarriedItem& i : items) {
        m.mass += i.fields.mass;
        m.x += i.fields.mass * i.fields.x;
        m.y += i.fields.mass * i.fields.y;
        m.z += i.fields.mass * i.fields.z;
    }
    if (m.mass != 0.0) {
        m.x /= m.mass;
        m.y /= m.mass;
        m.z /= m.mass;
    }
    return m;
}

}  // namespace runner
