#include "InputError.h"
#include "ScenarioReports.h"
#include "ItemTree.h"
#include "Text.h"

#include <host/Host.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>
#include <strings.h>

namespace runner {

const char* const kConeModule = "Aerobell";

namespace {

const char* const kFieldNames[ItemLineParse::kFieldCount] = {
    "name", "mesh", "class", "x", "y", "z", "mass", "angle", "fuel"};

std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diag = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] != b[j - 1] ? 1u : 0u)});
            diag = up;
        }
    }
    return row[b.size()];
}

// The item keyword a word was probably meant to be, or "" when it is not close to one.
std::string likelyKeyword(const std::string& word) {
    const std::string u = upper(word);
    for (const char* k : {"PAYLOAD", "STAGE", "ENDSTAGE"}) {
        if (u == k) return k;
        if (u.size() >= 4 && editDistance(u, k) <= 2) return k;
    }
    return "";
}

// The module a class file names, "" when it names none. Throws when there is no class file.
std::string moduleOfClass(const std::string& cls, const std::string& file, int line) {
    const std::string path = host::findFileNoCase("Config/Vessels/" + cls + ".cfg");
    if (path.empty()) throw InputError(file, line, "unknown vessel class '" + cls + "'");
    std::ifstream in(path);
    std::string l;
    while (std::getline(in, l)) {
        const std::size_t eq = l.find('=');
        if (eq == std::string::npos) continue;
        if (upper(trim(l.substr(0, eq))) == "MODULE") return trim(l.substr(eq + 1));
    }
    return "";
}

class Linter {
public:
    Linter(const std::string& file, std::vector<std::string>& out) : file_(file), out_(out) {}

    void report(int line, const std::string& message) {
        out_.push_back(file_ + ":" + std::to_string(line) + ": " + message);
    }

    void coneLine(ItemReader& reader, const std::string& raw, int lineNo) {
        const LineEffect e = reader.feed(raw, lineNo);
        const std::string line = trim(raw);
        const std::vector<std::string> w = words(line);
        switch (e.kind) {
            case LineEffect::kHostLine: {
                if (e.keyword == "ENDCVE") {
                    report(lineNo, "ENDCVE does not close a stage in a scenario (write ENDSTAGE)");
                    break;
                }
                const std::string meant = likelyKeyword(e.keyword);
                if (!meant.empty())
                    report(lineNo, "unknown keyword '" + e.keyword + "' (did you mean " + meant +
                                       "?): the line is not read as an item");
                break;
            }
            case LineEffect::kWrongKeyword: {
                const std::string& k = e.keyword;
                if (k == "PAYLOAD" || k == "STAGE") {
                    const char next = line.size() > k.size() ? line[k.size()] : '\0';
                    if (next == '\0')
                        report(lineNo, k + " with nothing after it: the line is dropped");
                    else
                        report(lineNo, "a tab after " + k +
                                           ": the keyword must be followed by a blank; the line "
                                           "is dropped");
                } else {
                    const std::string meant = likelyKeyword(k);
                    report(lineNo, "unknown keyword '" + k + "'" +
                                       (meant.empty() ? "" : " (did you mean " + meant + "?)") +
                                       ": item keywords are written in capitals; the line is "
                                       "dropped");
                }
                break;
            }
            case LineEffect::kTableFull:
                report(lineNo, e.keyword == "ENDSTAGE" || e.keyword == "ENDCVE"
                                   ? e.keyword + " after the 50th item: ignored"
                                   : "item past the 50th: the line is dropped");
                break;
            case LineEffect::kNothingOpen:
                report(lineNo, e.keyword + " with no stage open: ignored");
                break;
            case LineEffect::kClosed:
                break;
            case LineEffect::kEntered:
                enteredLine(e.parse, w, lineNo);
                break;
        }
    }

    void blockEnd(const ItemReader& reader) {
        const auto& items = reader.items();
        for (int s = reader.openStage(); s >= 0; s = items[static_cast<std::size_t>(s)].parent) {
            const CarriedItem& st = items[static_cast<std::size_t>(s)];
            report(st.line, std::string("STAGE ") + st.fields.name +
                                " is never closed by ENDSTAGE: the items after it are inside it");
        }
    }

private:
    void enteredLine(const ItemLineParse& p, const std::vector<std::string>& w, int lineNo) {
        auto word = [&](int f) {
            const std::size_t i = static_cast<std::size_t>(f) + 1;
            return i < w.size() ? w[i] : std::string();
        };
        if (p.lineCut) report(lineNo, "line longer than 511 characters: the rest is not read");
        if (std::strchr(p.name, ':') != nullptr)
            report(lineNo, std::string("name '") + p.name +
                               "' holds ':': no vessel can carry it in a scenario, so the item is "
                               "never released");
        for (int f = 0; f < 3; ++f)
            if (p.cutWords & (1u << f))
                report(lineNo, std::string(kFieldNames[f]) +
                                   " longer than 127 characters: cut to the first 127");
        for (int f = ItemLineParse::kX; f < ItemLineParse::kFieldCount; ++f)
            if (p.badNumbers & (1u << f))
                report(lineNo, std::string(kFieldNames[f]) + " '" + word(f).substr(0, 40) +
                                   "' is not a finite number below 1e12: read as 0");
        if (p.fieldsRead < ItemLineParse::kFieldCount) {
            if (p.trailing)
                report(lineNo, std::string(kFieldNames[p.fieldsRead]) + " '" +
                                   word(p.fieldsRead).substr(0, 40) +
                                   "' is not a number: it and the fields after it read as 0");
            else
                report(lineNo, "only " + std::to_string(p.fieldsRead) +
                                   " of the 9 fields (name mesh class x y z mass angle fuel): "
                                   "the missing ones read as empty or 0");
        } else if (p.trailing) {
            report(lineNo, "text after the ninth field is ignored");
        }
    }

    std::string file_;
    std::vector<std::string>& out_;
};

}  // namespace

std::vector<std::string> lintScenario(const std::string& scenario, const std::string& displayName) {
    std::ifstream in(scenario, std::ios::binary);
    if (!in) throw InputError(displayName + ": cannot open scenario");
    std::vector<std::string> findings;
    Linter linter(displayName, findings);

    bool inShips = false, inCone = false, inBlock = false;
    ItemReader reader;
    std::string raw;
    int lineNo = 0;
    while (std::getline(in, raw)) {
        ++lineNo;
        const std::string line = trim(raw);
        if (!inShips) {
            if (upper(line) == "BEGIN_SHIPS") inShips = true;
            continue;
        }
        if (!inBlock) {
            if (upper(line) == "END_SHIPS") {
                inShips = false;
                continue;
            }
            const std::size_t colon = line.find(':');
            if (line.empty()) continue;
            if (colon == std::string::npos || colon == 0 || colon + 1 == line.size())
                throw InputError(displayName, lineNo, "expected a vessel as NAME:CLASS");
            const std::string cls = trim(line.substr(colon + 1));
            inBlock = true;
            inCone = strcasecmp(moduleOfClass(cls, displayName, lineNo).c_str(), kConeModule) == 0;
            reader = ItemReader();
            continue;
        }
        if (upper(line) == "END") {
            if (inCone) linter.blockEnd(reader);
            inBlock = false;
            continue;
        }
        if (inCone) linter.coneLine(reader, raw, lineNo);
    }
    if (inBlock) throw InputError(displayName, lineNo, "vessel block without END");
    return findings;
}

}  // namespace runner
