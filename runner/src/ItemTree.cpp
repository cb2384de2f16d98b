#include "ItemTree.h"

#include <cctype>
#include <cstring>
#include <strings.h>

namespace runner {

namespace {

bool startsNoCase(const std::string& s, const char* word) {
    const std::size_t n = std::strlen(word);
    return s.size() >= n && strncasecmp(s.c_str(), word, n) == 0;
}

bool isWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

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

    // The cone takes a line as an item line by its first characters, without regard to case...
    if (!startsNoCase(line, "PAYLOAD") && !startsNoCase(line, "STAGE") &&
        !startsNoCase(line, "ENDSTAGE"))
        return e;
    // ... but only its exact keywords reach the parser, and the parser wants them followed by
    // a blank.
    const std::string key = e.keyword.substr(0, 127);
    if (key != "PAYLOAD" && key != "STAGE" && key != "ENDSTAGE" && key != "ENDCVE") {
        e.kind = LineEffect::kWrongKeyword;
        return e;
    }
    if (static_cast<int>(items_.size()) >= kCapacity) {
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
                openStage_ = items_[static_cast<std::size_t>(openStage_)].parent;
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
            if (e.parse.kind == ItemLineParse::kStage) openStage_ = e.slot;
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
