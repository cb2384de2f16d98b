// Scenario files in the simulator's format: reading, writing, and the module's line access.
#include "World.h"

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>

using namespace host;
using namespace host::detail;

namespace {

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Whether the line without its surrounding blanks is the (upper-case) keyword, in any case.
// Every line of every vessel block is asked this, so it copies nothing.
bool isKeyword(const std::string& line, const char* keyword) {
    const size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos) return *keyword == '\0';
    const size_t e = line.find_last_not_of(" \t") + 1;
    const size_t n = std::strlen(keyword);
    if (e - b != n) return false;
    for (size_t k = 0; k < n; ++k) {
        const int c = std::toupper(static_cast<unsigned char>(line[b + k]));
        if (c != static_cast<unsigned char>(keyword[k])) return false;
    }
    return true;
}

// The words of a line as a stream would read them: runs of characters between white space.
std::vector<std::string> words(const std::string& s) {
    std::vector<std::string> w;
    auto white = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    size_t i = 0;
    for (;;) {
        while (i < s.size() && white(s[i])) ++i;
        if (i == s.size()) break;
        size_t j = i;
        while (j < s.size() && !white(s[j])) ++j;
        w.emplace_back(s, i, j - i);
        i = j;
    }
    return w;
}

struct ShipBlock {
    std::string name, cls;
    int headerLine = 0;
    std::vector<std::string> lines;
    std::vector<int> numbers;
};

// Index of a point among the vessel's points of the same kind.
long kindIndex(const Vessel& v, const Attachment* a) {
    long n = 0;
    for (const auto& b : v.attachments) {
        if (b.get() == a) return n;
        if (b->toParent == a->toParent) ++n;
    }
    return -1;
}

Attachment* nthOfKind(Vessel& v, bool toParent, long i) {
    for (auto& a : v.attachments)
        if (a->toParent == toParent && i-- == 0) return a.get();
    return nullptr;
}

void loadVesselState(Vessel& v, const ShipBlock& b, const std::string& path,
                     std::vector<PendingAttach>& pending) {
    ScnFile f;
    f.path = path;
    f.lines = &b.lines;
    f.lineNumbers = &b.numbers;
    LoadState ls;
    ls.vessel = &v;
    ls.file = &f;
    v.unknownLines.clear();
    CallbackScope scope;
    try {
        if (VESSEL2* cb = callbacks(v)) {
            cb->clbkLoadStateEx(&f, &ls);
        } else {
            char* line = nullptr;
            while (oapiReadScenario_nextline(&f, line)) v.iface->ParseScenarioLineEx(line, &ls);
        }
    } catch (...) {
    }
    if (!ls.error.empty()) throw Error(path, ls.errorLine, ls.error);
    if (ls.hasRpos) v.pos = ls.rpos;
    if (ls.hasRvel) v.vel = ls.rvel;
    if (ls.hasArot) v.arot = ls.arot;
    if (ls.hasVrot) v.vrot = ls.vrot;
    if (!ls.refBody.empty()) v.refBody = ls.refBody;
    v.status = ls.status;
    updateRotation(v);
    for (auto& lv : ls.levels) {
        if (lv.first < 0 || static_cast<size_t>(lv.first) >= v.propellants.size()) continue;
        Propellant& p = *v.propellants[lv.first];
        double level = lv.second < 0.0 ? 0.0 : lv.second > 1.0 ? 1.0 : lv.second;
        p.mass = level * p.maxMass;
    }
    if (ls.attached)
        pending.push_back({&v, ls.parentPoint, ls.ownPoint, ls.parentName, path, ls.attachLine});
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw Error(path, 0, "cannot write the file");
    out << text;
    out.flush();
    if (!out) throw Error(path, 0, "cannot write the file");
}

}  // namespace

namespace host {
namespace detail {

void writeLine(FILEHANDLE fh, std::string line) {
    ScnFile* f = static_cast<ScnFile*>(fh);
    if (f && f->writing && f->out) f->out->push_back(std::move(line));
}

void runSave(Vessel& v, std::vector<std::string>& out) {
    std::vector<std::string> lines;
    ScnFile f;
    f.writing = true;
    f.out = &lines;
    {
        CallbackScope scope;
        try {
            if (VESSEL2* cb = callbacks(v))
                cb->clbkSaveState(&f);
            else if (v.iface)
                v.iface->SaveDefaultState(&f);
        } catch (...) {
        }
    }
    v.lastSave = lines;
    out.insert(out.end(), std::make_move_iterator(lines.begin()),
               std::make_move_iterator(lines.end()));
}

}  // namespace detail

void loadScenario(const std::string& path) {
    World& w = world();
    std::vector<std::string> lines;
    if (!readLines(path, lines)) throw Error(path, 0, "cannot open the scenario file");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string& line = lines[i];
        // Every carriage return that ends a line goes: one kept would be written back and lose
        // its own follower at the next load, so that a file would change with each save.
        while (!line.empty() && line.back() == '\r') line.pop_back();
        // Lines reach modules as C strings: a NUL would silently cut one there, while the
        // host kept the whole of it.
        if (line.find('\0') != std::string::npos)
            throw Error(path, static_cast<int>(i + 1), "a NUL byte: not a text file");
    }

    ScenarioInfo info;
    info.path = path;
    std::vector<World::Segment> layout;
    std::vector<ShipBlock> ships;
    const size_t n = lines.size();
    auto section = [&](size_t& i, const char* end, std::vector<std::string>* keep) {
        size_t start = i;
        for (++i; i < n; ++i) {
            if (isKeyword(lines[i], end)) return;
            if (keep) keep->push_back(lines[i]);
        }
        throw Error(path, static_cast<int>(start + 1),
                    trim(lines[start]) + " without " + end);
    };
    bool haveShips = false;
    for (size_t i = 0; i < n; ++i) {
        const std::string t = upper(trim(lines[i]));
        if (t == "BEGIN_DESC") {
            section(i, "END_DESC", &info.description);
            layout.push_back({World::Segment::DESC, ""});
        } else if (t == "BEGIN_ENVIRONMENT") {
            section(i, "END_ENVIRONMENT", &info.environment);
            layout.push_back({World::Segment::ENV, ""});
        } else if (t == "BEGIN_FOCUS") {
            std::vector<std::string> f;
            section(i, "END_FOCUS", &f);
            for (const std::string& l : f) {
                std::vector<std::string> wd = words(l);
                if (wd.size() >= 2 && upper(wd[0]) == "SHIP") info.focusName = wd[1];
            }
            layout.push_back({World::Segment::FOCUS, ""});
        } else if (t == "BEGIN_SHIPS") {
            if (haveShips) throw Error(path, static_cast<int>(i + 1), "second BEGIN_SHIPS");
            haveShips = true;
            const size_t start = i;
            bool closed = false;
            for (++i; i < n; ++i) {
                const std::string h = trim(lines[i]);
                if (h.empty()) continue;
                if (upper(h) == "END_SHIPS") {
                    closed = true;
                    break;
                }
                size_t colon = h.find(':');
                ShipBlock b;
                b.headerLine = static_cast<int>(i + 1);
                if (colon != std::string::npos) {
                    b.name = trim(h.substr(0, colon));
                    b.cls = trim(h.substr(colon + 1));
                }
                if (b.name.empty() || b.cls.empty() ||
                    b.name.find_first_of(" \t") != std::string::npos)
                    throw Error(path, b.headerLine, "expected NAME:CLASS, found '" + h.substr(0, 80) + "'");
                bool ended = false;
                for (++i; i < n; ++i) {
                    if (isKeyword(lines[i], "END")) {
                        ended = true;
                        break;
                    }
                    if (lines[i].find_first_not_of(" \t") == std::string::npos) continue;
                    b.lines.push_back(std::move(lines[i]));  // read only once
                    b.numbers.push_back(static_cast<int>(i + 1));
                }
                if (!ended) throw Error(path, b.headerLine, "vessel '" + b.name + "' has no END");
                ships.push_back(std::move(b));
            }
            if (!closed) throw Error(path, static_cast<int>(start + 1), "BEGIN_SHIPS without END_SHIPS");
            layout.push_back({World::Segment::SHIPS, ""});
        } else {
            layout.push_back({World::Segment::RAW, lines[i]});
            if (!t.empty()) info.unknownSections.push_back(lines[i]);
        }
    }

    // Everything that can be checked before a vessel exists.
    std::unordered_set<std::string> names;
    for (const ShipBlock& b : ships) {
        if (!names.insert(b.name).second || w.byName.count(b.name))
            throw Error(path, b.headerLine, "a vessel named '" + b.name + "' exists already");
        std::string error;
        if (!classInfo(b.cls, &error)) throw Error(path, b.headerLine, error);
    }

    w.scenario = info;
    w.layout = layout;
    std::vector<PendingAttach> pending;
    std::vector<Vessel*> made;
    for (const ShipBlock& b : ships) {
        std::string error;
        Vessel* v = spawn(b.name, b.cls, &error);
        if (!v) throw Error(path, b.headerLine, "cannot create vessel '" + b.name + "': " + error);
        list(v);
        made.push_back(v);
        loadVesselState(*v, b, path, pending);
    }
    for (const PendingAttach& p : pending) {
        Vessel* parent = static_cast<Vessel*>(find(p.parentName));
        if (!parent) throw Error(p.file, p.line, "ATTACHED names no vessel '" + p.parentName + "'");
        Attachment* pp = nthOfKind(*parent, false, p.parentPoint);
        Attachment* cp = nthOfKind(*p.child, true, p.ownPoint);
        if (!pp || !cp) throw Error(p.file, p.line, "ATTACHED names a point that does not exist");
        if (!attach(*parent, pp, *p.child, cp))
            throw Error(p.file, p.line, "ATTACHED cannot be made (point taken or a loop)");
    }
    for (Vessel* v : made) {
        CallbackScope scope;
        if (valid(v))
            if (VESSEL2* cb = callbacks(*v)) cb->clbkPostCreation();
    }
    Vessel* f = static_cast<Vessel*>(find(info.focusName));
    if (!f && !made.empty() && !w.focus) f = made.front();
    if (f && f != w.focus) {
        Vessel* old = w.focus;
        w.focus = f;
        notifyFocus(old, f);
    }
}

const ScenarioInfo& scenario() { return world().scenario; }

std::string scenarioText() {
    World& w = world();
    std::vector<World::Segment> layout = w.layout;
    auto has = [&](World::Segment::Kind k) {
        for (auto& s : layout)
            if (s.kind == k) return true;
        return false;
    };
    if (layout.empty())
        layout = {{World::Segment::DESC, ""}, {World::Segment::RAW, ""}, {World::Segment::FOCUS, ""},
                  {World::Segment::RAW, ""}, {World::Segment::SHIPS, ""}};
    if (!has(World::Segment::SHIPS)) layout.push_back({World::Segment::SHIPS, ""});
    if (!has(World::Segment::FOCUS) && w.focus) {
        for (size_t i = 0; i < layout.size(); ++i)
            if (layout[i].kind == World::Segment::SHIPS) {
                layout.insert(layout.begin() + i, {World::Segment::FOCUS, ""});
                break;
            }
    }
    std::vector<std::string> out;
    // A file may repeat a section; all its lines were gathered into one, written at the first
    // place only, so that saving again never multiplies them.
    bool written[World::Segment::SHIPS + 1] = {};
    for (const auto& s : layout) {
        if (s.kind != World::Segment::RAW && written[s.kind]) continue;
        written[s.kind] = true;
        switch (s.kind) {
        case World::Segment::RAW: out.push_back(s.text); break;
        case World::Segment::DESC:
            out.push_back("BEGIN_DESC");
            for (auto& l : w.scenario.description) out.push_back(l);
            out.push_back("END_DESC");
            break;
        case World::Segment::ENV:
            out.push_back("BEGIN_ENVIRONMENT");
            for (auto& l : w.scenario.environment) out.push_back(l);
            out.push_back("END_ENVIRONMENT");
            break;
        case World::Segment::FOCUS:
            out.push_back("BEGIN_FOCUS");
            if (w.focus) out.push_back("  Ship " + w.focus->name);
            out.push_back("END_FOCUS");
            break;
        case World::Segment::SHIPS:
            out.push_back("BEGIN_SHIPS");
            for (Vessel* v : std::vector<Vessel*>(w.vessels)) {
                out.push_back(v->name + ":" + v->className);
                runSave(*v, out);
                out.push_back("END");
            }
            out.push_back("END_SHIPS");
            break;
        }
    }
    std::string text;
    for (auto& l : out) {
        text += l;
        text += '\n';
    }
    return text;
}

void saveScenario(const std::string& path) { writeFile(path, scenarioText()); }

std::vector<std::string> saveVesselState(OBJHANDLE h) {
    std::vector<std::string> out;
    if (valid(h)) runSave(*asVessel(h), out);
    return out;
}

}  // namespace host

// ---------------------------------------------------------------------------------------------
// The module's access to scenario files.

bool oapiReadScenario_nextline(FILEHANDLE scn, char*& line) {
    ScnFile* f = static_cast<ScnFile*>(scn);
    if (!f || f->writing || !f->lines) return false;
    while (f->next < f->lines->size()) {
        const std::string& raw = (*f->lines)[f->next];
        f->currentLine = f->lineNumbers ? (*f->lineNumbers)[f->next] : static_cast<int>(f->next + 1);
        ++f->next;
        size_t b = raw.find_first_not_of(" \t");
        if (b == std::string::npos) continue;
        f->buffer.assign(raw.begin() + static_cast<long>(b), raw.end());
        f->buffer.push_back('\0');
        line = f->buffer.data();
        return true;
    }
    return false;
}

void oapiWriteScenario_string(FILEHANDLE scn, char* item, char* string) {
    const char* key = item ? item : "";
    const char* value = string && *string ? string : nullptr;
    std::string l;
    l.reserve(3 + std::strlen(key) + (value ? std::strlen(value) : 0));
    l += "  ";
    l += key;
    if (value) {
        l += ' ';
        l += value;
    }
    writeLine(scn, std::move(l));
}
void oapiWriteScenario_int(FILEHANDLE scn, char* item, int i) {
    writeLine(scn, std::string("  ") + (item ? item : "") + " " + std::to_string(i));
}
void oapiWriteScenario_float(FILEHANDLE scn, char* item, double d) {
    writeLine(scn, std::string("  ") + (item ? item : "") + " " + formatNumber(d));
}
void oapiWriteScenario_vec(FILEHANDLE scn, char* item, const VECTOR3& v) {
    writeLine(scn, std::string("  ") + (item ? item : "") + " " + formatNumber(v.x) + " " +
                       formatNumber(v.y) + " " + formatNumber(v.z));
}
void oapiWriteLine(FILEHANDLE file, char* line) { writeLine(file, line ? line : ""); }

// ---------------------------------------------------------------------------------------------
// Default state lines of a vessel.

void VESSEL::ParseScenarioLineEx(char* line, void* status) const {
    Vessel& v = *static_cast<Vessel*>(hVessel_);
    if (!line) return;
    LoadState* ls = static_cast<LoadState*>(status);
    if (ls && ls->magic != LoadState::MAGIC) ls = nullptr;
    const std::string text = line;
    std::vector<std::string> wd = words(text);
    if (wd.empty()) return;
    const std::string key = upper(wd[0]);
    auto fail = [&](const std::string& msg) {
        if (ls && ls->error.empty()) {
            ls->error = msg;
            ls->errorLine = ls->file ? ls->file->currentLine : 0;
        }
    };
    auto vec = [&](bool& has, VECTOR3& out, double scale) {
        double d[3];
        if (wd.size() != 4 || !parseDouble(wd[1], d[0]) || !parseDouble(wd[2], d[1]) ||
            !parseDouble(wd[3], d[2]))
            return fail(wd[0] + " needs three numbers");
        if (!ls) return;
        has = true;
        out = _V(d[0] * scale, d[1] * scale, d[2] * scale);
    };
    if (key == "STATUS") {
        if (wd.size() < 2) return fail("STATUS needs Orbiting or Landed");
        std::string s = upper(wd[1]);
        if (s != "ORBITING" && s != "LANDED") return fail("STATUS needs Orbiting or Landed");
        if (!ls) return;
        ls->status = s == "LANDED" ? 1 : 0;
        if (wd.size() >= 3) ls->refBody = wd[2];
    } else if (key == "RPOS") {
        bool dummy;
        vec(ls ? ls->hasRpos : dummy, ls ? ls->rpos : v.pos, 1.0);
    } else if (key == "RVEL") {
        bool dummy;
        vec(ls ? ls->hasRvel : dummy, ls ? ls->rvel : v.vel, 1.0);
    } else if (key == "AROT") {
        bool dummy;
        vec(ls ? ls->hasArot : dummy, ls ? ls->arot : v.arot, RAD);
    } else if (key == "VROT") {
        bool dummy;
        vec(ls ? ls->hasVrot : dummy, ls ? ls->vrot : v.vrot, RAD);
    } else if (key == "PRPLEVEL") {
        std::vector<std::pair<long, double>> levels;
        for (size_t i = 1; i < wd.size(); ++i) {
            size_t colon = wd[i].find(':');
            double idx, level;
            if (colon == std::string::npos || !parseDouble(wd[i].substr(0, colon), idx) ||
                !parseDouble(wd[i].substr(colon + 1), level) || idx < 0 || idx > 1e6 ||
                idx != static_cast<double>(static_cast<long>(idx)))
                return fail("PRPLEVEL needs INDEX:LEVEL pairs, found '" + wd[i].substr(0, 80) + "'");
            levels.emplace_back(static_cast<long>(idx), level);
        }
        if (ls) ls->levels.insert(ls->levels.end(), levels.begin(), levels.end());
    } else if (key == "ATTACHED") {
        // ATTACHED i:j,PARENT
        std::string arg = wd.size() >= 2 ? wd[1] : "";
        size_t colon = arg.find(':'), comma = arg.find(',');
        double i = -1, j = -1;
        if (wd.size() != 2 || colon == std::string::npos || comma == std::string::npos || comma < colon ||
            !parseDouble(arg.substr(0, colon), i) || !parseDouble(arg.substr(colon + 1, comma - colon - 1), j) ||
            i < 0 || j < 0 || i > 1e6 || j > 1e6 || comma + 1 >= arg.size())
            return fail("ATTACHED needs I:J,PARENT");
        if (!ls) return;
        ls->attached = true;
        ls->parentPoint = static_cast<long>(i);
        ls->ownPoint = static_cast<long>(j);
        ls->parentName = arg.substr(comma + 1);
        ls->attachLine = ls->file ? ls->file->currentLine : 0;
    } else {
        v.unknownLines.push_back(text);
    }
}

void VESSEL::SaveDefaultState(FILEHANDLE scn) const {
    const Vessel& v = *static_cast<Vessel*>(hVessel_);
    auto vec = [](const VECTOR3& x) {
        return formatNumber(x.x) + " " + formatNumber(x.y) + " " + formatNumber(x.z);
    };
    auto deg = [](const VECTOR3& x) {
        return formatAngle(x.x) + " " + formatAngle(x.y) + " " + formatAngle(x.z);
    };
    writeLine(scn, std::string("  STATUS ") + (v.status == 1 ? "Landed " : "Orbiting ") + v.refBody);
    writeLine(scn, "  RPOS " + vec(v.pos));
    writeLine(scn, "  RVEL " + vec(v.vel));
    writeLine(scn, "  AROT " + deg(v.arot));
    writeLine(scn, "  VROT " + deg(v.vrot));
    if (v.parentPoint && v.ownPoint)
        writeLine(scn, "  ATTACHED " + std::to_string(kindIndex(*v.parentPoint->owner, v.parentPoint)) + ":" +
                           std::to_string(kindIndex(v, v.ownPoint)) + "," + v.parentPoint->owner->name);
    if (!v.propellants.empty()) {
        std::string l = "  PRPLEVEL";
        for (size_t i = 0; i < v.propellants.size(); ++i) {
            const Propellant& p = *v.propellants[i];
            l += " " + std::to_string(i) + ":" + formatNumber(p.maxMass > 0.0 ? p.mass / p.maxMass : 0.0);
        }
        writeLine(scn, std::move(l));
    }
    for (const std::string& u : v.unknownLines) writeLine(scn, "  " + u);
}
