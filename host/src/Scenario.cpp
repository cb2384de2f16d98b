// Scenario files as the simulator reads them (each section found from the top of the file, the
// list of ships read line by line through the same stream its vessels read their blocks from)
// and as it writes them, with the sections the host does not model written back as they stand.
#include "World.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

namespace host {
namespace detail {

namespace {

using Region = World::Region;

// The line where a section begins: the first that starts with the keyword in any case, read in
// pieces of at most 1023 characters.
bool findSection(const std::vector<std::string>& lines, const char* keyword, size_t& at) {
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        for (size_t piece = 0; piece == 0 || piece < l.size(); piece += 1023) {
            if (startsWithNoCase(l.c_str() + piece, keyword)) {
                at = i;
                return true;
            }
        }
    }
    return false;
}

// A section read with the simulator's 256-character buffer up to its end keyword: gives the
// index after its last line read.
size_t readSection(
    LineStream& in, size_t begin, const char* end,
    const std::function<void(const std::string& raw, const std::string& line)>& each) {
    in.next = begin + 1;
    in.col = 0;
    in.failed = false;
    std::string raw;
    while (in.getline(256, raw)) {
        const std::string line = trimLine(raw);
        if (equalsNoCase(line, end)) break;
        each(raw, line);
    }
    return in.next;
}

void notice(int line, const std::string& message) {
    world().scenario.notices.push_back({line, message});
}

// Resources of a vessel that its block left empty without saying so: not listed by a PRPLEVEL
// line, although they hold something when full.
void noticeEmptyTanks(const VesselRecord& v, const LoadState& ls, int line) {
    auto listed = [&](size_t i) {
        for (const auto& f : ls.fuel)
            if (f.first == i || f.first == static_cast<DWORD>(-1)) return true;
        return false;
    };
    std::string empty;
    size_t count = 0;
    for (size_t i = 0; i < v.propellants.size(); ++i) {
        const Propellant& p = *v.propellants[i];
        if (p.maxMass <= 0.0 || p.mass != 0.0 || listed(i)) continue;
        empty += (empty.empty() ? "" : ", ") + std::to_string(i);
        ++count;
    }
    if (empty.empty()) return;
    notice(line, "vessel '" + v.name + "': resource" + (count == 1 ? " " : "s ") + empty +
                     (ls.hasPrplevel ? " not listed by PRPLEVEL" : " without a PRPLEVEL line") +
                     (count == 1 ? " starts" : " start") +
                     " empty (the simulator empties every resource a block does not fill)");
}

void writeFile(const std::string& path, const std::string& text) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) throw Error(path, 0, "cannot write the file");
    const bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (std::fclose(out) != 0 || !ok) throw Error(path, 0, "cannot write the file");
}

}  // namespace
}  // namespace detail

using namespace detail;

namespace {

void readDescription(const std::vector<std::string>& lines, ScenarioInfo& info, World& w) {
    size_t at = 0;
    if (!findSection(lines, "BEGIN_DESC", at)) return;
    size_t i = at + 1;
    for (; i < lines.size() && !equalsNoCase(trimLine(lines[i]), "END_DESC"); ++i)
        info.description.push_back(lines[i]);
    w.regions.push_back({Region::DESC, at, std::min(i + 1, lines.size())});
}

// The simulator starts from the solar system the environment names (Config/NAME.cfg); without
// one it looks for "Config/.cfg" and stops before any vessel is made.
void readEnvironment(LineStream& in, ScenarioInfo& info, World& w) {
    size_t at = 0;
    bool named = false;
    if (!findSection(in.lines, "BEGIN_ENVIRONMENT", at)) {
        notice(1,
               "no BEGIN_ENVIRONMENT section naming the solar system ('System Sol'): the "
               "simulator stops at once (File not found: .\\Config\\.cfg while initialising "
               "solar system)");
        return;
    }
    const size_t end = readSection(
        in, at, "END_ENVIRONMENT", [&](const std::string& raw, const std::string& line) {
            info.environment.push_back(raw);
            if (startsWithNoCase(line.c_str(), "System")) named = !trimLine(line.substr(6)).empty();
            if (!startsWithNoCase(line.c_str(), "Date")) return;
            const std::string date = trimLine(line.substr(4));
            const char* p = date.c_str();
            double t;
            if (startsWithNoCase(p, "MJD") && (p += 3, scanDouble(p, t))) w.mjd0 = t;
            else if (startsWithNoCase(p, "JD") && (p += 2, scanDouble(p, t)))
                w.mjd0 = t - 2400000.5;
        });
    if (!named)
        notice(static_cast<int>(at) + 1,
               "the environment names no solar system ('System Sol'): the simulator stops at once "
               "(File not found: .\\Config\\.cfg while initialising solar system)");
    w.regions.push_back({Region::ENV, at, end});
}

void readFocus(LineStream& in, ScenarioInfo& info, World& w) {
    size_t at = 0;
    if (!findSection(in.lines, "BEGIN_FOCUS", at)) return;
    const size_t end =
        readSection(in, at, "END_FOCUS", [&](const std::string&, const std::string& line) {
            if (startsWithNoCase(line.c_str(), "Ship")) {
                info.focusName = trimLine(line.substr(4));
                info.focusLine = in.lineNumber();
            }
        });
    w.regions.push_back({Region::FOCUS, at, end});
}

// The block of one ship whose header (trimmed) the stream has just given: its vessel made and
// its block read by the vessel itself. False when the simulator stops at it.
bool readShip(LineStream& in, const std::string& path, const std::string& header, int headerLine,
              ScenarioInfo& info) {
    // NAME:CLASS, split at the first colon; without one the class is the name.
    const size_t colon = header.find(':');
    const std::string name = header.substr(0, colon);
    const std::string cls = colon == std::string::npos ? name : header.substr(colon + 1);
    BlockInfo block;
    block.name = name;
    block.className = cls;
    block.headerLine = headerLine;
    if (name.find_first_of(" \t\v\f\r") != std::string::npos)
        notice(headerLine, "vessel name '" + name +
                               "' holds a blank: an ATTACHED line cannot name it as a parent");
    const ClassInfo* ci = classInfo(cls);
    if (!ci)
        notice(headerLine, "vessel '" + name + "': no class file Config/Vessels/" + cls +
                               ".cfg or Config/" + cls +
                               ".cfg in the root (the simulator would stop)");
    else block.moduleName = ci->module;
    info.blocks.push_back(block);
    VesselRecord* v = spawn(name, cls, path, headerLine);
    if (!v) return false;
    ScnFile f;
    f.in = &in;
    f.scenario = true;
    LoadState ls;
    ls.vessel = v;
    ls.file = &in;
    if (VESSEL2* cb = callbacks(*v))
        callModule("clbkLoadStateEx", *v, [&] { cb->clbkLoadStateEx(&f, &ls); });
    else readDefaultState(*v->iface, f, &ls);
    applyLoadState(*v, ls);
    noticeEmptyTanks(*v, ls, headerLine);
    info.blocks.back().lastLine = in.lineNumber();
    list(v);
    return true;
}

// The list of ships. Each vessel reads its block from the same stream, so a block that ends
// early or late moves where the next header is looked for.
void readShips(LineStream& in, const std::string& path, ScenarioInfo& info, World& w) {
    size_t shipsAt = in.lines.size();
    if (!findSection(in.lines, "BEGIN_SHIPS", shipsAt)) return;
    in.next = shipsAt + 1;
    in.col = 0;
    in.failed = false;
    w.regions.push_back({Region::SHIPS, shipsAt, in.lines.size()});
    std::string raw;
    for (;;) {
        if (!in.getline(256, raw)) {
            if (in.failed)
                notice(in.lineNumber() + 1,
                       "a line of 256 characters or more where a vessel is "
                       "expected: the simulator ends the list of ships here");
            break;
        }
        const int headerLine = in.lineNumber();
        bool cut = false;
        const std::string header = trimLine(raw, &cut);
        if (cut && !header.empty())
            notice(headerLine,
                   "the simulator cuts this line at ';' (a comment): it reads '" + header + "'");
        if (equalsNoCase(header, "END_SHIPS")) break;
        if (!readShip(in, path, header, headerLine, info)) break;
    }
    w.regions.back().last = in.next;
}

// As the simulator starts a session: the focus first, then the docks and attachments, then each
// vessel's clbkPostCreation.
void startSession(const ScenarioInfo& info, World& w) {
    // The focus name is compared exactly; the first vessel by index that bears it.
    VesselRecord* f = nullptr;
    for (Vessel* v : w.vessels)
        if (v->name == info.focusName) {
            f = rec(v);
            break;
        }
    if (!f) {
        f = rec(w.vessels.front());
        if (info.focusLine > 0) {
            const VesselRecord* like = findVessel(info.focusName);
            notice(info.focusLine,
                   "the focus ship '" + info.focusName + "' is no vessel's name" +
                       (like ? " ('" + like->name + "' differs from it in case only)" : "") +
                       ": the simulator gives the focus to the first vessel, '" + f->name + "'");
        }
    }
    w.focus = nullptr;
    setFocusTo(f);
    // The docks' mates found by name first; then each vessel in turn joins its docked vessels
    // and takes its parent.
    for (Vessel* v : w.vessels) resolveDocks(*rec(v));
    for (size_t i = 0; i < w.vessels.size(); ++i) {
        VesselRecord& v = *rec(w.vessels[i]);
        initDocking(v);
        throwIfStopped();
        if (!v.attachPending) continue;
        v.attachPending = false;
        VesselRecord* parent = v.attachName.empty() ? nullptr : findVessel(v.attachName);
        if (!parent) {
            if (!v.attachName.empty())
                notice(v.attachLine, "ATTACHED names no vessel '" + v.attachName +
                                         "': the simulator leaves this vessel unattached");
            continue;
        }
        attach(*parent, pointAt(*parent, false, v.attachParent), v, pointAt(v, true, v.attachOwn),
               v.attachFile, v.attachLine);
    }
    // Placed once every link is made, before anything can read or save them: each vessel
    // that hangs on nothing carries what hangs on it, as a step would.
    for (size_t i = 0; i < w.vessels.size(); ++i)
        if (!w.vessels[i]->ownPoint) carryChildren(*rec(w.vessels[i]));
    for (size_t i = 0; i < w.vessels.size(); ++i)
        if (VESSEL2* cb = callbacks(*w.vessels[i]))
            callModule("clbkPostCreation", *w.vessels[i], [&] { cb->clbkPostCreation(); });
}

}  // namespace

void loadScenario(const std::string& path) {
    World& w = world();
    throwIfStopped();
    LineStream in;
    in.path = path;
    if (!readLines(path, in.lines)) throw Error(path, 0, "cannot open the scenario file");

    ScenarioInfo& info = w.scenario;
    info = ScenarioInfo();
    info.path = path;
    w.layoutLines = in.lines;
    w.regions.clear();
    w.scenarioLoaded = true;
    readDescription(in.lines, info, w);
    readEnvironment(in, info, w);
    readFocus(in, info, w);
    readShips(in, path, info, w);
    if (w.vessels.empty())
        stopHere(path, static_cast<int>(std::min(in.next, in.lines.size())),
                 "the scenario has no vessel to take the focus");
    startSession(info, w);
}

const ScenarioInfo& scenario() { return world().scenario; }

namespace {

// A section kept as the file had it, between its begin and end keywords.
void writeKeptSection(std::vector<std::string>& out, const char* begin, const char* end,
                      const Region& r, const std::vector<std::string>& lines) {
    out.push_back(begin);
    for (size_t i = r.first + 1; i < r.last && i < lines.size(); ++i)
        if (i + 1 < r.last || !equalsNoCase(trimLine(lines[i]), end)) out.push_back(lines[i]);
    out.push_back(end);
}

// The environment as the simulator writes it from what it read: the solar system, the date it
// has reached (ten decimals of a day, so a saved flight resumes at its own time), then the
// context, splash screen (without its colour), script, help and playback where given; any
// other line is gone. Each value is the last one given, trimmed.
void writeEnvironment(std::vector<std::string>& out, const World& w) {
    static const char* const keys[] = {"System", "Context", "SplashScreen",
                                       "Script", "Help",    "Playback"};
    std::string value[6];
    for (const std::string& raw : w.scenario.environment) {
        const std::string line = trimLine(raw);
        if (startsWithNoCase(line.c_str(), "Date")) continue;
        for (size_t k = 0; k < 6; ++k) {
            const size_t n = std::strlen(keys[k]);
            if (!startsWithNoCase(line.c_str(), keys[k])) continue;
            std::string v = line.substr(n);
            if (k == 2) {
                // A colour word first; a line without one sets nothing.
                const size_t c = v.find_first_not_of(" \t\n\v\f\r");
                if (c == std::string::npos) break;
                const size_t e = v.find_first_of(" \t\n\v\f\r", c);
                v = e == std::string::npos ? std::string() : v.substr(e);
            }
            value[k] = trimLine(v);
            break;
        }
    }
    char date[64];
    std::snprintf(date, sizeof date, "  Date MJD %.10f", w.mjd0 + w.time * (1.0 / 86400.0));
    out.push_back("BEGIN_ENVIRONMENT");
    out.push_back("  System " + value[0]);
    out.push_back(date);
    for (size_t k = 1; k < 6; ++k)
        if (!value[k].empty()) out.push_back(std::string("  ") + keys[k] + " " + value[k]);
    out.push_back("END_ENVIRONMENT");
}

void writeFocusSection(std::vector<std::string>& out, const World& w) {
    out.push_back("BEGIN_FOCUS");
    if (w.focus) out.push_back("  Ship " + w.focus->name);
    out.push_back("END_FOCUS");
}

// The list of ships, each vessel's block as it saves it; a focus section before it where the
// file had none.
void writeShips(std::vector<std::string>& out, const World& w, bool hasFocusSection) {
    if (!hasFocusSection && w.focus) writeFocusSection(out, w);
    out.push_back("BEGIN_SHIPS");
    for (Vessel* v : std::vector<Vessel*>(w.vessels)) {
        out.push_back(v->name + ":" + v->className);
        runSave(*rec(v), out);
        out.push_back("END");
    }
    out.push_back("END_SHIPS");
}

// The lines as a file. Reading takes one CR before a line end as part of it (CRLF); a line that
// ends in a CR of its own gets that line end, so that it reads back as it stands.
std::string fileText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) {
        text += l;
        if (!l.empty() && l.back() == '\r') text += '\r';
        text += '\n';
    }
    return text;
}

}  // namespace

std::string scenarioText() {
    World& w = world();
    throwIfStopped();
    std::vector<Region> regions = w.regions;
    std::sort(regions.begin(), regions.end(),
              [](const Region& a, const Region& b) { return a.first < b.first; });
    // A section without its end reaches no further than the next one.
    for (size_t i = 0; i + 1 < regions.size(); ++i)
        regions[i].last =
            std::min(regions[i].last, std::max(regions[i + 1].first, regions[i].first + 1));
    const std::vector<std::string>& lines = w.layoutLines;
    auto has = [&](Region::Kind k) {
        return std::any_of(regions.begin(), regions.end(),
                           [&](const Region& r) { return r.kind == k; });
    };

    std::vector<std::string> out;
    auto section = [&](const Region& r) {
        switch (r.kind) {
            case Region::DESC:
                writeKeptSection(out, "BEGIN_DESC", "END_DESC", r, lines);
                break;
            case Region::ENV:
                writeEnvironment(out, w);
                break;
            case Region::FOCUS:
                writeFocusSection(out, w);
                break;
            case Region::SHIPS:
                writeShips(out, w, has(Region::FOCUS));
                break;
        }
    };
    if (!w.scenarioLoaded) {
        out.push_back("BEGIN_DESC");
        out.push_back("END_DESC");
        out.push_back("");
        writeShips(out, w, has(Region::FOCUS));
    } else {
        size_t next = 0;
        for (size_t i = 0; i < lines.size();) {
            while (next < regions.size() && regions[next].first < i) ++next;
            if (next < regions.size() && regions[next].first == i) {
                section(regions[next]);
                i = std::max(regions[next].last, i + 1);
                ++next;
                continue;
            }
            out.push_back(lines[i++]);
        }
        if (!has(Region::SHIPS)) writeShips(out, w, has(Region::FOCUS));
    }
    return fileText(out);
}

void saveScenario(const std::string& path) {
    const std::string text = scenarioText();
    writeFile(path, text);
}

std::vector<std::string> saveVesselState(OBJHANDLE h) {
    throwIfStopped();
    std::vector<std::string> out;
    if (valid(h)) runSave(*rec(h), out);
    return out;
}

}  // namespace host
