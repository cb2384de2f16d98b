#include "ConeItems.h"

#include "InputError.h"
#include "ScenarioReports.h"
#include "Text.h"

#include <host/Host.h>

#include <fstream>
#include <strings.h>

namespace runner {

std::vector<std::string> readScenarioLines(const std::string& path,
                                           const std::string& displayName) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw InputError(displayName + ": cannot open scenario");
    std::string raw;
    while (std::getline(in, raw)) {
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        lines.push_back(raw);
    }
    return lines;
}

std::string asHandedOver(const std::string& raw) {
    std::string line = raw.substr(0, raw.find('\0'));
    line = line.substr(0, line.find(';'));
    const std::size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    return line.substr(b, line.find_last_not_of(" \t") - b + 1);
}

itemtable::BlockRoute ConeItems::feed(const std::string& line, int lineNo,
                                      itemtable::Taken* taken) {
    const itemtable::BlockRoute route = itemtable::routeBlockLine(line.c_str());
    if (route != itemtable::BlockRoute::kItemLine) return route;
    const itemtable::Taken t = table_.take(line.c_str(), itemtable::fillPlainSlot);
    if (t.effect == itemtable::Taken::kEntered) lineOf_[t.slot] = lineNo;
    if (taken != nullptr) *taken = t;
    return route;
}

int ConeItems::count() const {
    int n = 0;
    for (const itemtable::ItemSlot& s : table_) n += s.present ? 1 : 0;
    return n;
}

bool isConeBlock(const host::BlockInfo& block) {
    return strcasecmp(block.moduleName.c_str(), kConeModule) == 0;
}

bool isConeVessel(const host::Vessel& vessel) {
    return strcasecmp(vessel.moduleName.c_str(), kConeModule) == 0;
}

std::vector<NumberedLine> blockLines(const std::vector<std::string>& lines,
                                     const host::BlockInfo& block) {
    std::vector<NumberedLine> out;
    for (int n = block.headerLine + 1; n <= block.lastLine && n <= static_cast<int>(lines.size());
         ++n) {
        std::string line = asHandedOver(lines[static_cast<std::size_t>(n - 1)]);
        if (n == block.lastLine && upper(line) == "END") break;
        out.push_back({n, std::move(line)});
    }
    return out;
}

ConeItems readSavedItems(const std::vector<std::string>& stateLines) {
    ConeItems items;
    int n = 0;
    for (const std::string& line : stateLines) items.feed(asHandedOver(line), ++n, nullptr);
    return items;
}

}  // namespace runner
