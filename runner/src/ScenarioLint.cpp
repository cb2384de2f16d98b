#include "ScenarioLint.h"

#include "FlightScript.h"
#include "InputError.h"
#include "ScenarioReports.h"
#include "Text.h"

#include <host/Host.h>

#include <map>
#include <set>
#include <strings.h>

namespace runner {

namespace {

using Findings = std::vector<std::pair<int, std::string>>;

// A line as the simulator reads it: cut at ';', trimmed.
std::string content(const std::string& raw) { return trim(raw.substr(0, raw.find(';'))); }

bool isItemKeyword(const std::string& w) { return w == "PAYLOAD" || w == "STAGE"; }

// Vessels are found by name (focus, flight scripts, a release, messages), so one name stands for
// one vessel; an item's name is the vessel it becomes.
void duplicateNames(const std::vector<std::string>& lines, Findings& out) {
    // Upper-cased name: the name as first given, its line and what it named there.
    struct First {
        std::string name;
        int line;
        std::string what;
    };
    std::map<std::string, First> first;
    const auto claim = [&](const std::string& name, int line, const std::string& what) {
        const auto [it, fresh] = first.emplace(upper(name), First{name, line, what});
        if (fresh) return;
        const First& f = it->second;
        out.emplace_back(line, what + " '" + name + "' has the name of the " + f.what +
                                   " at line " + std::to_string(f.line) +
                                   (f.name == name ? ""
                                                   : " ('" + f.name +
                                                         "', as the simulator "
                                                         "compares names, without case)") +
                                   ": vessels are found by name (focus, flight scripts, "
                                   "releases), so only one of the two is ever found");
    };
    for (const host::BlockInfo& b : host::scenario().blocks) claim(b.name, b.headerLine, "vessel");
    for (const host::BlockInfo& b : host::scenario().blocks) {
        if (strcasecmp(b.moduleName.c_str(), kConeModule) != 0) continue;
        for (int n = b.headerLine + 1; n <= b.lastLine && n <= static_cast<int>(lines.size());
             ++n) {
            const std::vector<std::string> w =
                words(content(lines[static_cast<std::size_t>(n - 1)]));
            if (w.size() >= 2 && isItemKeyword(w[0])) claim(w[1], n, "item");
        }
    }
}

// A class file whose module is not installed: its vessels fly as the simulator's plain vessel.
void missingModules(Findings& out) {
    for (const host::BlockInfo& b : host::scenario().blocks) {
        if (b.moduleName.empty()) continue;
        const OBJHANDLE h = oapiGetVesselByName(const_cast<char*>(b.name.c_str()));
        if (h == nullptr || host::vessel(h).moduleMade) continue;
        out.emplace_back(b.headerLine,
                         "vessel '" + b.name + "': its class '" + b.className +
                             "' names the module '" + b.moduleName +
                             "', which is not installed (Modules/): it flies as a plain vessel, "
                             "with no behaviour of its own");
    }
}

// Item lines of the cone blocks: a stage that holds nothing, and a name with a blank in it.
void coneItemCauses(const std::vector<std::string>& lines, Findings& out) {
    for (const host::BlockInfo& b : host::scenario().blocks) {
        if (strcasecmp(b.moduleName.c_str(), kConeModule) != 0) continue;
        int openStage = 0;  // line of a STAGE with no item after it yet
        std::string stageName;
        for (int n = b.headerLine + 1; n <= b.lastLine && n <= static_cast<int>(lines.size());
             ++n) {
            const std::vector<std::string> w =
                words(content(lines[static_cast<std::size_t>(n - 1)]));
            if (w.empty()) continue;
            if (w[0] == "ENDSTAGE" && openStage > 0)
                out.emplace_back(openStage, "STAGE '" + stageName +
                                                "' holds nothing (ENDSTAGE at line " +
                                                std::to_string(n) +
                                                "): the vessel it becomes receives no items, and a "
                                                "cone that receives none takes the astronaut of "
                                                "its class, with its mass");
            if (isItemKeyword(w[0]) || w[0] == "ENDSTAGE") openStage = 0;
            if (w[0] == "STAGE" && w.size() >= 2) {
                openStage = n;
                stageName = w[1];
            }
            // Nine fields after the keyword; more, ending in six numbers, is a name or mesh or
            // class written with a blank, which shifts every field after it.
            double number = 0.0;
            bool sixNumbers = w.size() > 10;
            for (std::size_t i = w.size() - 6; sixNumbers && i < w.size(); ++i)
                sixNumbers = parseNumber(w[i], number);
            if (isItemKeyword(w[0]) && sixNumbers) {
                std::string joined = w[1];
                for (std::size_t i = 2; i + 8 < w.size(); ++i) joined += " " + w[i];
                out.emplace_back(n, "'" + joined +
                                        "' holds a blank: item fields are separated by blanks, so "
                                        "every field after it shifts (the class reads '" +
                                        w[w.size() - 8] + "'); write it without blanks");
            }
        }
    }
}

// A vessel block runs to its END; without one, the next vessel's header is read as a line of it.
void missingEnds(const std::vector<std::string>& lines, Findings& out) {
    for (const host::BlockInfo& b : host::scenario().blocks)
        for (int n = b.headerLine + 1; n <= b.lastLine && n <= static_cast<int>(lines.size());
             ++n) {
            const std::string line = content(lines[static_cast<std::size_t>(n - 1)]);
            const std::size_t colon = line.find(':');
            if (colon == std::string::npos || colon == 0 ||
                line.find_first_of(" \t") != std::string::npos)
                continue;
            const std::string cls = line.substr(colon + 1);
            if (host::findFileNoCase("Config/Vessels/" + cls + ".cfg").empty() &&
                host::findFileNoCase("Config/" + cls + ".cfg").empty())
                continue;
            out.emplace_back(b.headerLine, "vessel '" + b.name + "' has no END before line " +
                                               std::to_string(n) + " ('" + line +
                                               "'): that vessel is read as lines of this one");
            break;
        }
}

}  // namespace

std::vector<std::string> scriptFindings(const FlightScript& script,
                                        const std::vector<std::string>& lines) {
    // The names read straight from the ship list: vessel headers NAME:CLASS and item names.
    std::set<std::string> names;
    bool inShips = false;
    for (const std::string& raw : lines) {
        const std::string line = content(raw);
        const std::string u = upper(line);
        if (u == "BEGIN_SHIPS" || u == "END_SHIPS") {
            inShips = u == "BEGIN_SHIPS";
            continue;
        }
        if (!inShips) continue;
        const std::vector<std::string> w = words(line);
        const std::size_t colon = line.find(':');
        if (w.size() == 1 && colon != std::string::npos && colon > 0) {
            const std::string name = line.substr(0, colon);
            names.insert(upper(name));
            names.insert(upper(name + "-Suit"));
        } else if (w.size() >= 2 && isItemKeyword(w[0])) {
            names.insert(upper(w[1]));
        }
    }
    std::vector<std::string> out;
    for (const ScriptCommand& c : script.commands)
        if (c.kind == ScriptCommand::Kind::Focus && names.count(upper(c.name)) == 0)
            out.push_back(script.file + ":" + std::to_string(c.line) + ": focus '" + c.name +
                          "' names no vessel of the scenario, none of its items and no astronaut "
                          "a cone takes from its class: the command will be skipped");
    return out;
}

void requireScenario(const std::vector<std::string>& lines, const std::string& displayName) {
    for (const std::string& raw : lines) {
        const std::string w = upper(content(raw));
        if (w == "BEGIN_SHIPS" || w == "END_SHIPS" || w == "BEGIN_ENVIRONMENT" ||
            w == "BEGIN_FOCUS" || w == "BEGIN_DESC")
            return;
    }
    throw InputError(displayName +
                     ": not a scenario (none of its sections: BEGIN_DESC, BEGIN_ENVIRONMENT, "
                     "BEGIN_FOCUS, BEGIN_SHIPS)");
}

Findings scenarioFindings(const std::vector<std::string>& lines) {
    Findings out;
    duplicateNames(lines, out);
    missingModules(out);
    coneItemCauses(lines, out);
    missingEnds(lines, out);
    return out;
}

}  // namespace runner
