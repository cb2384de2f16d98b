#include "ConeItems.h"
#include "InputError.h"
#include "ScenarioReports.h"
#include "ScenarioLint.h"
#include "Text.h"

#include <host/Host.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <strings.h>

namespace runner {

const char* const kConeModule = "Aerobell";

namespace {

const char* const kFieldNames[ItemLineParse::kFieldCount] = {"name", "mesh", "class", "x",   "y",
                                                             "z",    "mass", "angle", "fuel"};

const std::string kLastItem = std::to_string(itemtable::kCapacity) + "th";
const std::string kNameMax = std::to_string(itemtable::kNameMax);
const std::string kLineMax = std::to_string(itemtable::kLineMax);
const std::string kNumberLimit = "1e12";
static_assert(itemtable::kNumberLimit == 1e12, "kNumberLimit names the item table's limit");

std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diag = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] != b[j - 1] ? 1u : 0u)});
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

std::string fixed2(double v) {
    char b[64];
    std::snprintf(b, sizeof b, "%.2f", v);
    return b;
}

bool hasClassFile(const std::string& cls) {
    return !host::findFileNoCase("Config/Vessels/" + cls + ".cfg").empty() ||
           !host::findFileNoCase("Config/" + cls + ".cfg").empty();
}

// The word of a line at `at` as an item line's reader takes it: up to white space or the end
// of what is read.
std::string wordAt(const std::string& line, std::size_t at) {
    std::size_t end = at;
    while (end < line.size() && end < static_cast<std::size_t>(itemtable::kLineMax) &&
           !itemtable::isWhite(line[end]))
        ++end;
    return line.substr(at, end - at);
}

class Linter {
public:
    Linter(const std::string& file, std::vector<std::string>& out) : file_(file), out_(out) {}

    void report(int line, const std::string& message) {
        out_.push_back(file_ + ":" + std::to_string(line) + ": " + message);
    }

    // One line of a cone's block, as handed over.
    void coneLine(ConeItems& items, const std::string& line, int lineNo) {
        itemtable::Taken t;
        const itemtable::BlockRoute route = items.feed(line, lineNo, &t);
        const std::string keyword = wordAt(line, 0);
        if (route == itemtable::BlockRoute::kSimulator) {
            if (keyword == "ENDCVE") {
                report(lineNo, "ENDCVE does not close a stage in a scenario (write ENDSTAGE)");
                return;
            }
            const std::string meant = likelyKeyword(keyword);
            if (!meant.empty())
                report(lineNo, "unknown keyword '" + keyword + "' (did you mean " + meant +
                                   "?): the line is not read as an item");
            return;
        }
        if (route == itemtable::BlockRoute::kOnMessage) {
            const std::string meant = likelyKeyword(keyword);
            report(lineNo, "unknown keyword '" + keyword + "'" +
                               (meant.empty() ? "" : " (did you mean " + meant + "?)") +
                               ": item keywords are written in capitals; the line is dropped");
            return;
        }
        switch (t.effect) {
            case itemtable::Taken::kNotItem:
                // PAYLOAD or STAGE, but not followed by a blank.
                if (line.size() == keyword.size())
                    report(lineNo, keyword + " with nothing after it: the line is dropped");
                else
                    report(lineNo, "a tab after " + keyword +
                                       ": the keyword must be followed by a blank; the line is "
                                       "dropped");
                break;
            case itemtable::Taken::kTableFull:
                report(lineNo, keyword == "ENDSTAGE"
                                   ? keyword + " after the " + kLastItem + " item: ignored"
                                   : "item past the " + kLastItem + ": the line is dropped");
                break;
            case itemtable::Taken::kNothingOpen:
                report(lineNo, keyword + " with no stage open: ignored");
                break;
            case itemtable::Taken::kClosed:
                break;
            case itemtable::Taken::kEntered:
                enteredLine(t.line, line, lineNo);
                break;
        }
    }

    void blockEnd(const ConeItems& items) {
        const ItemTable& table = items.table();
        for (int s = table.openStage(); s >= 0; s = table[s].parent)
            report(items.lineOf(s), std::string("STAGE ") + table[s].name +
                                        " is never closed by ENDSTAGE: the items after it are "
                                        "inside it");
    }

private:
    void enteredLine(const ItemLineParse& p, const std::string& line, int lineNo) {
        // Field f's text as the cone read it: from where it begins up to white space or the end
        // of what is read.
        const auto word = [&p, &line](int f) {
            return p.fieldAt[f] < 0 ? std::string()
                                    : wordAt(line, static_cast<std::size_t>(p.fieldAt[f]));
        };
        if (p.lineCut)
            report(lineNo, "line longer than " + kLineMax + " characters: the rest is not read");
        const itemtable::VesselWords vesselWords = itemtable::vesselWords(p.name, p.className);
        const bool carriable = vesselWords == itemtable::VesselWords::kFine;
        if (p.fieldsRead > 0 && !carriable)
            report(lineNo, vesselWords == itemtable::VesselWords::kBadName
                               ? "name '" + std::string(p.name) +
                                     "' cannot be carried by a scenario (empty, or holding ':', "
                                     "';' or a blank): J keeps the item aboard"
                               : "class '" + std::string(p.className) +
                                     "' cannot be carried by a scenario (it holds ';'): J keeps "
                                     "the item aboard");
        if (p.fieldsRead > 2 && !hasClassFile(p.className))
            report(lineNo,
                   std::string("class '") + p.className +
                       "' has no class file in the root (the simulator would stop on it): J "
                       "keeps the item aboard");
        if (p.fieldsRead > 1 &&
            host::findFileNoCase(std::string("Meshes/") + p.mesh + ".msh").empty())
            report(lineNo, std::string("mesh '") + p.mesh + "' has no file Meshes/" + p.mesh +
                               ".msh in the root: the item is carried and released, but not drawn");
        for (int f = 0; f < 3; ++f) {
            if (word(f).size() > static_cast<std::size_t>(itemtable::kNameMax))
                report(lineNo, std::string(kFieldNames[f]) + " longer than " + kNameMax +
                                   " characters: cut to the first " + kNameMax);
            if (p.cutByLine & (1u << f))
                report(lineNo, std::string(kFieldNames[f]) + " cut short by the " + kLineMax +
                                   "-character line limit: read as '" + word(f).substr(0, 40) +
                                   "'");
        }
        for (int f = ItemLineParse::kX; f < ItemLineParse::kFieldCount; ++f) {
            if (p.cutByLine & (1u << f))
                report(lineNo, std::string(kFieldNames[f]) + " '" + word(f).substr(0, 40) +
                                   "' cut short by the " + kLineMax +
                                   "-character line limit: read as 0");
            else if (p.badNumbers & (1u << f))
                report(lineNo, std::string(kFieldNames[f]) + " '" + word(f).substr(0, 40) +
                                   "' is not a finite number below " + kNumberLimit +
                                   ": read as 0");
        }
        if (p.fieldsRead > ItemLineParse::kMass && p.mass < 0.0)
            report(lineNo,
                   "negative mass " + fixed2(p.mass) + ": the cone's empty mass drops by it");
        if (p.fieldsRead > ItemLineParse::kFuel && (p.fuel < 0.0 || p.fuel > 1.0))
            report(lineNo,
                   "fuel fraction " + fixed2(p.fuel) +
                       " outside 0..1: the released vessel's tanks take it as the simulator "
                       "clamps it");
        reportShortOrTrailing(p, word, lineNo);
        if (p.fieldsRead > 0 && p.fieldsRead <= ItemLineParse::kClass)
            report(lineNo,
                   "no class word: J keeps the item aboard (the simulator could not make "
                   "its vessel); a save writes the line with the words it has");
        if (p.mass == 0.0)
            report(lineNo,
                   "mass 0: the item is carried all the same, and while it is aboard the "
                   "cone takes no crew from its class");
        if (p.fieldsRead == ItemLineParse::kFieldCount && carriable && hasClassFile(p.className))
            releases.push_back({lineNo, p.className, p.mass, p.fuel});
    }

    // A line with fewer than nine fields, or text after them.
    template <class Word>
    void reportShortOrTrailing(const ItemLineParse& p, Word word, int lineNo) {
        if (p.fieldsRead < ItemLineParse::kFieldCount) {
            // A number followed by junk in its own word ("212,00") is read up to the junk, and
            // the reading stops there: the junk sits in that field, not in the next.
            int junk = -1;
            for (int f = ItemLineParse::kX; f < p.fieldsRead && junk < 0; ++f) {
                const std::string text = word(f);
                char* end = nullptr;
                std::strtod(text.c_str(), &end);
                if (end != text.c_str() + text.size()) junk = f;
            }
            if (p.trailing && junk >= 0)
                report(lineNo, std::string(kFieldNames[junk]) + " '" + word(junk).substr(0, 40) +
                                   "' has text after its number: read as " +
                                   fixed2(numberOf(p, junk)) + ", and the fields after it as 0");
            else if (p.trailing)
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

public:
    // Items whose release would make a vessel, with what the cone counts for them.
    struct Release {
        int line;
        std::string className;
        double mass, fuel;
    };
    std::vector<Release> releases;

private:
    static double numberOf(const ItemLineParse& p, int field) {
        const double values[] = {p.x, p.y, p.z, p.mass, p.angle, p.fuel};
        return values[field - ItemLineParse::kX];
    }

    std::string file_;
    std::vector<std::string>& out_;
};

}  // namespace

namespace {

// What the simulator itself does with the file: its stop, and what it does silently. The
// scenario stays loaded.
std::vector<std::pair<int, std::string>> simulatorFindings(const std::string& scenario,
                                                           const std::string& displayName) {
    std::vector<std::pair<int, std::string>> found;
    host::reset();
    try {
        host::loadScenario(scenario);
    } catch (const host::Stop& e) {
        found.emplace_back(e.line, "the simulator would stop here: " + e.reason);
    } catch (const host::Error& e) {
        throw InputError(displayName, e.line, e.message);
    }
    for (const host::Notice& n : host::scenario().notices) found.emplace_back(n.line, n.message);
    return found;
}

// The item lines of every cone block of the loaded scenario, as the cone will read them.
void lintConeBlocks(Linter& linter, const std::vector<std::string>& lines) {
    for (const host::BlockInfo& b : host::scenario().blocks) {
        if (!isConeBlock(b)) continue;
        ConeItems items;
        for (const NumberedLine& l : blockLines(lines, b)) linter.coneLine(items, l.text, l.number);
        linter.blockEnd(items);
    }
}

// What each released vessel will weigh: its class as made, with the item's fuel in its default
// tank, as a release fills it. Another mass on the item makes mass appear or vanish at the
// release.
void checkReleaseMasses(Linter& linter) {
    if (host::stopped()) return;
    int n = 0;
    for (const Linter::Release& r : linter.releases) {
        try {
            const OBJHANDLE h = host::createVessel("lint-release-" + std::to_string(++n),
                                                   r.className, host::defaultStatus());
            VESSEL* v = oapiGetVesselInterface(h);
            if (v == nullptr) continue;
            v->SetFuelMass(v->GetMaxFuelMass() * r.fuel);
            const double mass = host::vessel(h).mass();
            if (std::fabs(mass - r.mass) >= 0.005)
                linter.report(r.line, "mass " + fixed2(r.mass) + " kg, but the '" + r.className +
                                          "' it becomes weighs " + fixed2(mass) +
                                          " kg: mass appears or vanishes at its release");
            host::deleteVessel(h);
        } catch (const host::Stop&) {
            break;
        }
    }
}

}  // namespace

std::vector<std::string> lintScenario(const std::string& scenario, const std::string& displayName) {
    const std::vector<std::string> lines = readScenarioLines(scenario, displayName);
    requireScenario(lines, displayName);
    std::vector<std::pair<int, std::string>> found = simulatorFindings(scenario, displayName);
    for (auto& f : scenarioFindings(lines)) found.push_back(std::move(f));
    std::vector<std::string> items;
    Linter linter(displayName, items);
    lintConeBlocks(linter, lines);
    checkReleaseMasses(linter);
    host::reset();

    // One list by line; at one line the simulator's findings before the cone's.
    std::vector<std::string> findings;
    for (const auto& f : found)
        findings.push_back(displayName + ":" + std::to_string(f.first) + ": " + f.second);
    findings.insert(findings.end(), items.begin(), items.end());
    auto lineOf = [&](const std::string& f) {
        return std::atoi(f.c_str() + displayName.size() + 1);
    };
    std::stable_sort(
        findings.begin(), findings.end(),
        [&](const std::string& a, const std::string& b) { return lineOf(a) < lineOf(b); });
    findings.erase(std::unique(findings.begin(), findings.end()), findings.end());
    return findings;
}

}  // namespace runner
