// A vessel's state as the simulator reads it from a scenario block, applies it, hands it out in
// a VESSELSTATUS, and writes it back (the default state lines).
#include "World.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace host {
namespace detail {

namespace {

// Handles the simulator gives for celestial bodies, one per name; no vessel lookup finds them.
struct Body {
    std::string name;
};

std::map<std::string, std::unique_ptr<Body>>& bodies() {
    static auto* b = new std::map<std::string, std::unique_ptr<Body>>;
    return *b;
}

OBJHANDLE bodyHandle(const std::string& name) {
    auto& b = bodies()[name];
    if (!b) b = std::make_unique<Body>(Body{name});
    return b.get();
}

std::string bodyName(OBJHANDLE h) {
    for (const auto& b : bodies())
        if (b.second.get() == h) return b.first;
    // Without a reference body the simulator takes the first star of the system.
    return "Sun";
}

std::string rest(const char* p) { return trimLine(p); }

// The tokens of a line split at blanks (not tabs), as strtok with " " gives them.
std::vector<std::string> blankTokens(const char* p) {
    std::vector<std::string> out;
    while (*p) {
        while (*p == ' ') ++p;
        if (!*p) break;
        const char* e = p;
        while (*e && *e != ' ') ++e;
        out.emplace_back(p, e);
        p = e;
    }
    return out;
}

// sscanf(token, "%d%c%lf") == 3: an index, any one character, a number.
bool indexLevel(const std::string& token, DWORD& index, double& level) {
    const char* p = token.c_str();
    long n;
    if (!scanInt(p, n) || !*p) return false;
    ++p;
    if (!scanDouble(p, level)) return false;
    index = static_cast<DWORD>(n);
    return true;
}

// The "I:LEVEL" list of a PRPLEVEL or THLEVEL line. The simulator sizes it by the colons in the
// line and fills one entry per token it can read: more such tokens than colons write past it.
void readLevels(LoadState& ls, const char* p, const char* key,
                std::vector<std::pair<DWORD, double>>& list) {
    size_t colons = 0;
    for (const char* c = p; *c; ++c) colons += *c == ':';
    list.clear();
    for (const std::string& t : blankTokens(p)) {
        DWORD i;
        double level;
        if (!indexLevel(t, i, level)) continue;
        if (list.size() == colons) {
            stopHere(ls.file ? ls.file->path : "", ls.file ? ls.file->lineNumber() : 0,
                     std::string(key) + " holds more entries than colons (its list overflows)");
            return;
        }
        list.emplace_back(i, level);
    }
}

// sscanf's "%s" into the simulator's 256-character buffer: a longer word overflows it.
bool wordFits(LoadState* ls, const std::string& word, const char* key) {
    if (word.size() <= 255) return true;
    stopHere(ls && ls->file ? ls->file->path : "", ls && ls->file ? ls->file->lineNumber() : 0,
             std::string(key) + " names a vessel of more than 255 characters (a buffer overflows)");
    return false;
}

std::string word(const char*& p) {
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
    const char* e = p;
    while (*e && !std::isspace(static_cast<unsigned char>(*e))) ++e;
    std::string w(p, e);
    p = e;
    return w;
}

void vector3(const char* p, VECTOR3& v, double scale) {
    for (int i = 0; i < 3; ++i) {
        double d;
        if (!scanDouble(p, d)) break;
        v.data[i] = d;
    }
    for (double& d : v.data) d *= scale;
}

void notice(LoadState* ls, const std::string& message) {
    if (!ls || !ls->file) return;
    world().scenario.notices.push_back({ls->file->lineNumber(), message});
}

// The thrusters of a group, as indexes into the vessel's list.
void groupLevels(VesselRecord& v, THGROUP_TYPE type, double level,
                 std::vector<std::pair<DWORD, double>>& list) {
    ThrusterGroup* g = groupOf(v, type, false);
    if (!g) return;
    for (Thruster* t : g->thrusters)
        for (size_t i = 0; i < v.thrusters.size(); ++i)
            if (v.thrusters[i].get() == t) list.emplace_back(static_cast<DWORD>(i), level);
}

VECTOR3 anglesOf(const MATRIX3& R) {
    return _V(std::atan2(R.m23, R.m33), -std::asin(R.m13), std::atan2(R.m12, R.m11));
}

std::string vectorText(const VECTOR3& v, int decimals, double scale = 1.0) {
    return fixed(v.x * scale, decimals) + " " + fixed(v.y * scale, decimals) + " " +
           fixed(v.z * scale, decimals);
}

// A base's pad is held by one vessel: the last one put on it takes it from any other, which
// stays where it stands but is no longer saved as on the pad. Null or a pad the base lacks:
// the vessel holds none.
void holdPad(VesselRecord& v, const SurfaceBase* base, long pad) {
    v.base.clear();
    v.pad = -1;
    if (!base || pad < 0 || static_cast<size_t>(pad) >= base->pads.size()) return;
    for (Vessel* p : world().vessels) {
        VesselRecord& o = *static_cast<VesselRecord*>(p);
        if (&o != &v && o.pad == pad && o.base == base->name && o.refBody == v.refBody) o.pad = -1;
    }
    v.base = base->name;
    v.pad = pad;
}

// Angular distance between two places on a sphere [rad].
double arc(double lng0, double lat0, double lng1, double lat1) {
    const double c =
        std::sin(lat0) * std::sin(lat1) + std::cos(lat0) * std::cos(lat1) * std::cos(lng1 - lng0);
    return std::acos(std::max(-1.0, std::min(1.0, c)));
}

// A vessel set down at a base stands on a pad when within 30 m of the pad's centre (whatever
// the pad's kind or scale: measured in the simulator to the centimetre at pads of two kinds and
// scales). It takes that pad from any other vessel and is refuelled there, every tank filled
// (the simulator's RefuelOnPad, on by default).
void touchDown(VesselRecord& v, const SurfaceBase* base) {
    const CentralBody* body = v.dyn.body;
    if (!base || !body) return;
    for (size_t i = 0; i < base->pads.size(); ++i) {
        double lng, lat;
        padPlace(*base, static_cast<long>(i), body->size, lng, lat);
        if (arc(v.surfLng, v.surfLat, lng, lat) * body->size >= 30.0) continue;
        holdPad(v, base, static_cast<long>(i));
        for (auto& p : v.propellants) p->mass = p->maxMass;
        updateMass(v);
        return;
    }
}

}  // namespace

void touchDownAtNearestBase(VesselRecord& v) {
    const SurfaceBase* nearest = nullptr;
    double best = 0.0;
    for (const SurfaceBase& b : basesOf(v.refBody)) {
        const double d = arc(v.surfLng, v.surfLat, b.lng, b.lat);
        if (!nearest || d < best) {
            nearest = &b;
            best = d;
        }
    }
    touchDown(v, nearest);
}

bool bodyBehind(OBJHANDLE h, const CentralBody*& body) {
    for (const auto& b : bodies())
        if (b.second.get() == h) {
            body = centralBody(b.first, world().mjd0);
            return true;
        }
    return false;
}

void applyLoadState(VesselRecord& v, LoadState& ls) {
    v.refBody = ls.body.empty() ? "Sun" : ls.body;
    for (auto& p : v.propellants) p->mass = std::min(0.0, p->maxMass);
    for (const auto& f : ls.fuel) {
        if (f.first < v.propellants.size()) {
            Propellant& p = *v.propellants[f.first];
            p.mass = std::min(f.second * p.maxMass, p.maxMass);
        } else if (f.first == static_cast<DWORD>(-1)) {
            for (auto& p : v.propellants) p->mass = std::min(f.second * p->maxMass, p->maxMass);
        }
    }
    for (auto& t : v.thrusters) t->levelPermanent = 0.0;
    for (const auto& t : ls.thrust) {
        if (t.first >= v.thrusters.size()) continue;
        Thruster& th = *v.thrusters[t.first];
        th.levelPermanent = t.second;
        th.level = std::min(1.0, t.second);
        v.thrustMayFire = true;
    }
    if (v.hasXpdr && ls.xpdr != 0) v.xpdrStep = ls.xpdr;
    v.pendingDocks.clear();
    for (const LoadState::DockInfo& e : ls.dockInfo) {
        if (e.port < v.docks.size()) {
            v.pendingDocks.push_back(e);
        } else if (e.line > 0) {
            world().scenario.notices.push_back(
                {e.line, "DOCKINFO names port " + std::to_string(e.port) + " of a vessel with " +
                             std::to_string(v.docks.size()) + ": the simulator ignores the entry"});
        }
    }
    v.status = ls.status;
    resolveBody(v);
    if (ls.status == 0) {
        // A vessel to be attached takes its state too: its parent places it, unless nothing
        // carries it (a loop), where it stays as written.
        v.pos = ls.rpos;
        v.vel = ls.rvel;
        v.arot = ls.arot;
        v.vrot = ls.vrot;
        updateRotation(v);
        if (!v.attachPending) placeOrbiting(v);
    } else {
        // Standing at POS/HEADING: with ALT and AROT (as the simulator saves a landed vessel)
        // at that altitude and attitude against the surface, else on its touchdown points.
        holdPad(v, ls.base.empty() ? nullptr : findBase(ls.body, ls.base), ls.port);
        v.vel = _V(0, 0, 0);
        v.vrot = _V(0, 0, 0);
        if (ls.arot.x <= 4.0) {
            const MATRIX3 lrot = rotationFromAngles(ls.arot);
            placeLanded(v, ls.surfLng, ls.surfLat, ls.surfHdg, &lrot, ls.vrot.x);
        } else {
            // Pressed in by the mass the simulator last summed: emptying the tanks sums it, a
            // vessel without tanks whose module never set its mass weighs nothing yet.
            if (!v.propellants.empty()) updateMass(v);
            placeLanded(v, ls.surfLng, ls.surfLat, ls.surfHdg, nullptr, 0.0, v.massSummed);
        }
        touchDown(v, ls.base.empty() ? nullptr : findBase(ls.body, ls.base));
        if (!v.dyn.body) {
            v.pos = ls.rpos;
            v.arot = v.landArot;
            updateRotation(v);
        }
    }
    updateMass(v);
}

void applyStatus(VesselRecord& v, const VESSELSTATUS& s) {
    v.refBody = bodyName(s.rbody);
    if ((s.flag[0] & 2) && v.defaultPropellant) {
        Propellant& p = *v.defaultPropellant;
        p.mass = std::min(s.fuel * p.maxMass, p.maxMass);
    }
    updateMass(v);
    if (s.flag[0] & 1) {
        auto set = [&](THGROUP_TYPE type, double level) {
            if (ThrusterGroup* g = groupOf(v, type, false))
                for (Thruster* t : g->thrusters) setThrusterLevel(*t, level);
        };
        set(THGROUP_MAIN, s.eng_main >= 0.0 ? s.eng_main : 0.0);
        set(THGROUP_RETRO, s.eng_main >= 0.0 ? 0.0 : -s.eng_main);
        set(THGROUP_HOVER, s.eng_hovr);
    }
    resolveBody(v);
    if (s.status == 0) {
        v.status = 0;
        v.pad = -1;
        v.pos = s.rpos;
        v.vel = s.rvel;
        v.arot = s.arot;
        v.vrot = s.vrot;
        updateRotation(v);
        // A place inside the body is no place: the simulator puts such a vessel above it.
        const CentralBody* b = v.dyn.body;
        if (b && length(v.pos) < b->size) v.pos = _V(0, 0, 1.1 * b->size);
        placeOrbiting(v);
    } else if (s.status == 1) {
        v.vel = _V(0, 0, 0);
        v.vrot = _V(0, 0, 0);
        placeLanded(v, s.vdata[0].x, s.vdata[0].y, s.vdata[0].z, nullptr, 0.0);
    }
}

void runSave(VesselRecord& v, std::vector<std::string>& out) {
    std::vector<std::string> lines;
    ScnFile f;
    f.writing = true;
    f.out = &lines;
    if (VESSEL2* cb = callbacks(v)) callModule("clbkSaveState", v, [&] { cb->clbkSaveState(&f); });
    else if (v.iface) v.iface->SaveDefaultState(&f);
    v.lastSave = lines;
    out.insert(out.end(), lines.begin(), lines.end());
}

}  // namespace detail
}  // namespace host

using namespace host;
using namespace host::detail;

namespace {

// STATUS, BASE, POS and HEADING: where the vessel stands on its body.
bool readSurfaceLine(LoadState& s, const char* p) {
    if (startsWithNoCase(p, "STATUS")) {
        const std::string r = rest(p + 6);
        if (startsWithNoCase(r.c_str(), "LANDED")) {
            s.body = rest(r.c_str() + 6);
            s.hasBody = true;
            s.status = 1;
            s.surfHdg = 0.0;
            s.arot.x = 10;  // the simulator's mark for "no attitude given"
        } else if (startsWithNoCase(r.c_str(), "ORBITING")) {
            s.body = rest(r.c_str() + 8);
            s.hasBody = true;
            s.status = 0;
        }
    } else if (startsWithNoCase(p, "BASE")) {
        const std::string r = rest(p + 4);
        size_t b = r.find_first_not_of(':');
        if (b == std::string::npos) return true;
        if (!s.hasBody || s.body.empty()) {
            stopHere(s.file ? s.file->path : "", s.file ? s.file->lineNumber() : 0,
                     "BASE before any STATUS naming a body");
            return true;
        }
        const size_t e = r.find(':', b);
        s.base = trimLine(r.substr(b, e - b));
        // The body must have the base, named exactly: the simulator stops otherwise. A body the
        // root does not configure is not modelled here (its vessels fly without it), so its
        // bases cannot be told either.
        const SurfaceBase* base = findBase(s.body, s.base);
        if (bodyConfigured(s.body) && !base) {
            stopHere(s.file ? s.file->path : "", s.file ? s.file->lineNumber() : 0,
                     "base '" + s.base + "' not found on body '" + s.body + "'" +
                         (s.vessel ? " (vessel '" + s.vessel->name + "')" : std::string()));
            return true;
        }
        // A pad after the name (counted from 1) puts the vessel on it, where a later POS may
        // move it; the number read stays if none can be read, and one the base lacks puts it
        // at the base's own place.
        const size_t q0 = e == std::string::npos ? e : r.find_first_not_of(':', e);
        if (q0 != std::string::npos) {
            const char* q = r.c_str() + q0;
            long port;
            if (scanInt(q, port)) s.port = port;
            s.port -= 1;
            const CentralBody* body = base ? centralBody(s.body, world().mjd0) : nullptr;
            if (body) padPlace(*base, s.port, body->size, s.surfLng, s.surfLat);
            if (base && (s.port < 0 || static_cast<size_t>(s.port) >= base->pads.size()))
                notice(&s, "base '" + base->name + "' has no pad " + std::to_string(s.port + 1) +
                               ": the simulator puts the vessel at the base's own place and "
                               "saves it on no pad");
        }
    } else if (startsWithNoCase(p, "POS")) {
        p += 3;
        double d;
        if (scanDouble(p, d)) {
            s.surfLng = d;
            if (scanDouble(p, d)) s.surfLat = d;
        }
        s.surfLng *= RAD;
        s.surfLat *= RAD;
    } else if (startsWithNoCase(p, "HEADING")) {
        p += 7;
        scanDouble(p, s.surfHdg);
        s.surfHdg *= RAD;
    } else {
        return false;
    }
    return true;
}

// PRPLEVEL, FUEL, THLEVEL, ENGINE_MAIN and ENGINE_HOVR: tank and thrust levels.
bool readLevelLine(VesselRecord& v, LoadState& s, const char* p) {
    if (startsWithNoCase(p, "PRPLEVEL")) {
        readLevels(s, p + 8, "PRPLEVEL", s.fuel);
        s.hasPrplevel = true;
    } else if (startsWithNoCase(p, "FUEL")) {
        p += 4;
        double level;
        if (scanDouble(p, level)) {
            s.fuel.assign(1, {static_cast<DWORD>(-1), level});
            s.hasPrplevel = true;
        }
    } else if (startsWithNoCase(p, "THLEVEL")) {
        readLevels(s, p + 7, "THLEVEL", s.thrust);
    } else if (startsWithNoCase(p, "ENGINE_MAIN")) {
        p += 11;
        double level;
        if (scanDouble(p, level)) {
            if (level > 0) groupLevels(v, THGROUP_MAIN, level, s.thrust);
            if (level < 0) groupLevels(v, THGROUP_RETRO, -level, s.thrust);
        }
    } else if (startsWithNoCase(p, "ENGINE_HOVR")) {
        p += 11;
        double level;
        if (scanDouble(p, level) && level > 0) groupLevels(v, THGROUP_HOVER, level, s.thrust);
    } else {
        return false;
    }
    return true;
}

// DOCKINFO: "I:J,NAME" entries, own port I docked at port J of vessel NAME (matched once every
// vessel is made). An entry without a name takes the one before it on the line, as the
// simulator's buffer keeps it; the first without one names nothing.
bool readDockInfoLine(LoadState* ls, LoadState& s, const char* p) {
    if (startsWithNoCase(p, "DOCKINFO")) {
        size_t colons = 0;
        for (const char* c = p + 8; *c; ++c) colons += *c == ':';
        const std::vector<std::string> tokens = blankTokens(p + 8);
        if (tokens.size() > colons) {
            stopHere(s.file ? s.file->path : "", s.file ? s.file->lineNumber() : 0,
                     "DOCKINFO holds more entries than colons (its list overflows)");
            return true;
        }
        s.dockInfo.clear();
        std::string name;
        for (const std::string& t : tokens) {
            const size_t comma = t.find(',');
            if (comma != std::string::npos && !wordFits(ls, t.substr(comma + 1), "DOCKINFO"))
                return true;
            const char* q = t.c_str();
            long port = 0, matePort = 0;
            if (!scanInt(q, port) || *q != ':') continue;
            ++q;
            if (!scanInt(q, matePort)) continue;
            if (*q == ',') {
                const char* e = ++q;
                while (*e && !std::isspace(static_cast<unsigned char>(*e))) ++e;
                if (e != q) name.assign(q, e);
            }
            s.dockInfo.push_back({static_cast<DWORD>(port), static_cast<DWORD>(matePort),
                                  nameSum(name), name, s.file ? s.file->lineNumber() : 0});
        }
    } else {
        return false;
    }
    return true;
}

// ELEMENTS: a, e, i, longitude of the ascending node, longitude of periapsis, mean longitude
// (degrees) at an epoch (MJD), turned into position and velocity relative to the body STATUS
// named before it; without such a body the line does nothing.
void readElements(VesselRecord& v, LoadState& s, const char* p) {
    double el[7] = {0, 0, 0, 0, 0, 0, 0};
    for (double& d : el)
        if (!scanDouble(p, d)) break;
    if (!s.hasBody) return;
    const World& w = world();
    const CentralBody* b = centralBody(s.body, w.mjd0);
    if (!b) return;
    elementsToState(el[0], el[1], el[2] * RAD, el[3] * RAD, el[4] * RAD, el[5] * RAD, el[6],
                    kGrav * (b->mass + v.mass()), w.mjd0, w.time, s.rpos, s.rvel);
}

// RPOS, RVEL, AROT, VROT and ALT: the state in free flight.
bool readMotionLine(VesselRecord& v, LoadState& s, const char* p) {
    if (startsWithNoCase(p, "ELEMENTS")) {
        readElements(v, s, p + 8);
    } else if (startsWithNoCase(p, "RPOS")) {
        vector3(p + 4, s.rpos, 1.0);
    } else if (startsWithNoCase(p, "RVEL")) {
        vector3(p + 4, s.rvel, 1.0);
    } else if (startsWithNoCase(p, "AROT")) {
        vector3(p + 4, s.arot, RAD);
    } else if (startsWithNoCase(p, "VROT")) {
        vector3(p + 4, s.vrot, RAD);
    } else if (startsWithNoCase(p, "ALT")) {
        p += 3;
        scanDouble(p, s.vrot.x);
    } else {
        return false;
    }
    return true;
}

// IDS (each port's docking system: I:STEP or I:STEP:RANGE, range in km, 20 when not given)
// and XPDR (the transponder's step, kept in the status until the state is applied); a
// recording's FLIGHTDATA is read and not modelled.
bool readRadioLine(VesselRecord& v, LoadState& s, const char* p) {
    if (startsWithNoCase(p, "IDS")) {
        for (const std::string& t : blankTokens(p + 3)) {
            const char* q = t.c_str();
            long i = 0, step = 0, range = 20;
            if (!scanInt(q, i) || !*q) continue;
            ++q;
            if (!scanInt(q, step)) continue;
            if (*q) {
                ++q;
                scanInt(q, range);
            }
            if (static_cast<DWORD>(i) >= v.docks.size()) continue;
            host::DockPort& d = *v.docks[static_cast<DWORD>(i)];
            d.ids = true;
            d.idsStep = step;
            d.idsRange = range;
        }
    } else if (startsWithNoCase(p, "XPDR")) {
        p += 4;
        scanInt(p, s.xpdr);
    } else {
        return startsWithNoCase(p, "FLIGHTDATA");
    }
    return true;
}

// NAVFREQ, RCSMODE and AFCMODE: the settings of a vessel that can take the focus.
bool readControlLine(VesselRecord& v, const char* p) {
    if (startsWithNoCase(p, "NAVFREQ")) {
        if (!v.enableFocus) return true;
        const std::vector<std::string> tokens = blankTokens(p + 7);
        size_t n = 0;
        for (const std::string& t : tokens) {
            if (n == 2) break;
            const char* q = t.c_str();
            long step;
            if (scanInt(q, step)) v.nav[n++] = static_cast<long>(static_cast<DWORD>(step));
        }
    } else if (startsWithNoCase(p, "RCSMODE")) {
        p += 7;
        long m;
        if (scanInt(p, m)) v.attMode = static_cast<int>(m);
    } else if (startsWithNoCase(p, "AFCMODE")) {
        p += 7;
        long m;
        if (scanInt(p, m)) v.ctrlSurfMode = static_cast<int>(m);
    } else {
        return false;
    }
    return true;
}

// ATTACHED: the parent this vessel is attached to once every vessel is made.
bool readAttachedLine(VesselRecord& v, LoadState* ls, LoadState& s, const char* p) {
    if (startsWithNoCase(p, "ATTACHED")) {
        // "%d:%d,%s": own point, parent's point, parent name (up to a blank).
        p += 8;
        long own = v.attachOwn, parent = v.attachParent;
        std::string name;
        bool named = false;
        if (scanInt(p, own) && *p == ':') {
            ++p;
            if (scanInt(p, parent) && *p == ',') {
                ++p;
                name = word(p);
                named = !name.empty();
            }
        }
        if (named && !wordFits(ls, name, "ATTACHED")) return true;
        v.attachOwn = own;
        v.attachParent = parent;
        v.attachPending = true;
        v.attachName = named ? name : std::string();
        v.attachFile = s.file ? s.file->path : "";
        v.attachLine = s.file ? s.file->lineNumber() : 0;
        if (!named)
            notice(ls, "ATTACHED needs I:J,PARENT: the simulator attaches this vessel to nothing");
    } else {
        return false;
    }
    return true;
}

}  // namespace

void VESSEL::ParseScenarioLineEx(char* line, void* status) const {
    VesselRecord& v = *rec(vessel);
    if (!status || !line) {
        stopHere("", 0, "ParseScenarioLineEx was given a null line or status");
        return;
    }
    // The simulator reads the status only when it is its own version 2 record.
    LoadState* ls = static_cast<LoadState*>(status);
    if (ls->version != 2) return;
    if (ls->magic != LoadState::MAGIC) ls = nullptr;
    // A status that is not the host's own record is read into a scratch one: what a line makes
    // the simulator do still happens, what it sets is kept nowhere.
    LoadState scratch;
    LoadState& s = ls ? *ls : scratch;
    const char* p = line;

    if (readSurfaceLine(s, p) || readLevelLine(v, s, p) || readDockInfoLine(ls, s, p) ||
        readMotionLine(v, s, p) || readRadioLine(v, s, p) || readControlLine(v, p) ||
        readAttachedLine(v, ls, s, p))
        return;
    notice(ls, "a line nothing reads: the simulator ignores it and a save drops it");
}

void VESSEL::SaveDefaultState(FILEHANDLE scn) const {
    const VesselRecord& v = *rec(vessel);
    int precision = 3;  // the stream's precision carries from one number to the next
    if (v.status == 1) {
        writeLine(scn, "  STATUS Landed " + v.refBody);
        if (v.pad >= 0) writeLine(scn, "  BASE " + v.base + ":" + std::to_string(v.pad + 1));
        writeLine(scn, "  POS " + fixed(v.surfLng * DEG, 7) + " " + fixed(v.surfLat * DEG, 7));
        writeLine(scn, "  HEADING " + fixed(v.surfHdg * DEG, 2));
        writeLine(scn, "  ALT " + fixed(v.landAlt, 3));
        writeLine(scn, "  AROT " + vectorText(anglesOf(v.dyn.landRot), 3, DEG));
    } else {
        writeLine(scn, "  STATUS Orbiting " + v.refBody);
        writeLine(scn, "  RPOS " + vectorText(v.pos, 3));
        writeLine(scn, "  RVEL " + vectorText(v.vel, 4));
        writeLine(scn, "  AROT " + vectorText(anglesOf(v.rot), 3, DEG));
        if (dotp(v.vrot, v.vrot) > 1e-8) {
            writeLine(scn, "  VROT " + vectorText(v.vrot, 4, DEG));
            precision = 4;
        }
    }
    if (v.ownPoint && v.parentPoint && v.ownPoint->attached) {
        // Each point's index among its own vessel's points of its kind, as a DWORD: a point
        // of another vessel is written as the simulator's "not found".
        const host::Vessel& parent = *v.ownPoint->attached;
        writeLine(scn, "  ATTACHED " +
                           std::to_string(static_cast<DWORD>(pointIndex(v, v.ownPoint))) + ":" +
                           std::to_string(static_cast<DWORD>(pointIndex(parent, v.parentPoint))) +
                           "," + parent.name);
    }
    if (v.attMode != 1) writeLine(scn, "  RCSMODE " + std::to_string(v.attMode));
    if (v.ctrlSurfMode != 0) writeLine(scn, "  AFCMODE " + std::to_string(v.ctrlSurfMode));
    std::string levels;
    for (size_t i = 0; i < v.propellants.size(); ++i) {
        const Propellant& p = *v.propellants[i];
        const double level = p.maxMass != 0.0 ? p.mass / p.maxMass : 0.0;
        if (level != 0.0) levels += " " + std::to_string(i) + ":" + fixed(level, 6);
    }
    if (!levels.empty()) {
        writeLine(scn, "  PRPLEVEL" + levels);
        precision = 6;
    }
    levels.clear();
    for (size_t i = 0; i < v.thrusters.size(); ++i)
        if (v.thrusters[i]->levelPermanent != 0.0)
            levels +=
                " " + std::to_string(i) + ":" + fixed(v.thrusters[i]->levelPermanent, precision);
    if (!levels.empty()) writeLine(scn, "  THLEVEL" + levels);
    levels.clear();
    for (size_t i = 0; i < v.docks.size(); ++i)
        if (const host::Vessel* mate = v.docks[i]->mate)
            levels += " " + std::to_string(i) + ":" + std::to_string(v.docks[i]->mateDock) + "," +
                      mate->name;
    if (!levels.empty()) writeLine(scn, "  DOCKINFO" + levels);
    levels.clear();
    for (size_t i = 0; i < v.docks.size(); ++i)
        if (v.docks[i]->ids)
            levels += " " + std::to_string(i) + ":" + std::to_string(v.docks[i]->idsStep) + " " +
                      std::to_string(v.docks[i]->idsRange);
    if (!levels.empty()) writeLine(scn, "  IDS" + levels);
    if (v.enableFocus)
        writeLine(scn, "  NAVFREQ " + std::to_string(v.nav[0]) + " " + std::to_string(v.nav[1]));
    if (v.hasXpdr) writeLine(scn, "  XPDR " + std::to_string(v.xpdrStep));
}

void VESSEL::GetStatus(VESSELSTATUS& s) const {
    const VesselRecord& v = *rec(vessel);
    std::memset(&s, 0, sizeof s);
    s.rbody = bodyHandle(v.refBody);
    const SeenState seen = seenState(v);
    s.rpos = seen.rpos;
    s.rvel = seen.rvel;
    if (v.status == 1) {
        s.vrot = _V(v.landAlt, 0, 0);
        s.arot = anglesOf(v.dyn.landRot);
        s.vdata[0] = _V(v.surfLng, v.surfLat, v.surfHdg);
    } else {
        s.vrot = seen.vrot;
        s.arot = anglesOf(seen.rot);
    }
    // The first resource, whichever is the default.
    if (!v.propellants.empty()) {
        const Propellant& p = *v.propellants.front();
        s.fuel = p.maxMass != 0.0 ? p.mass / p.maxMass : 0.0;
    }
    VesselRecord& m = const_cast<VesselRecord&>(v);
    const ThrusterGroup* main = groupOf(m, THGROUP_MAIN, false);
    const ThrusterGroup* retro = groupOf(m, THGROUP_RETRO, false);
    const ThrusterGroup* hover = groupOf(m, THGROUP_HOVER, false);
    s.eng_main = main ? main->level() : 0.0;
    if (s.eng_main == 0.0) s.eng_main = retro ? -retro->level() : 0.0;
    s.eng_hovr = hover ? hover->level() : 0.0;
    s.port = static_cast<int>(v.pad);  // the pad held, -1 for none (the host has no base handles)
    s.status = v.status;
}

void VESSEL::DefSetState(const VESSELSTATUS* status) const {
    if (!status) {
        stopHere("", 0, "DefSetState was given a null status");
        return;
    }
    applyStatus(*rec(vessel), *status);
}

// Readers of the flight over the body: the readings of the vessel's last step. Outside the
// atmosphere the simulator gives zero for its parameters; the readings hold zero there.
DWORD VESSEL::GetFlightStatus() const { return rec(vessel)->status == 1 ? 1u : 0u; }
bool VESSEL::GroundContact() const { return rec(vessel)->readings.groundContact; }
double VESSEL::GetAltitude() const { return rec(vessel)->readings.altitude; }
OBJHANDLE VESSEL::GetEquPos(double& longitude, double& latitude, double& radius) const {
    const VesselRecord& v = *rec(vessel);
    if (!v.readings.hasBody) {
        longitude = latitude = radius = 0.0;
        return nullptr;
    }
    longitude = v.readings.longitude;
    latitude = v.readings.latitude;
    radius = v.readings.radius;
    return bodyHandle(v.refBody);
}
double VESSEL::GetYaw() const {
    const VesselRecord& v = *rec(vessel);
    return v.readings.hasBody ? heading(v) : 0.0;
}
void VESSEL::HorizonRot(const VECTOR3& rloc, VECTOR3& rhorizon) const {
    const VesselRecord& v = *rec(vessel);
    if (v.readings.hasBody) rhorizon = horizonRot(v, rloc);
}
double VESSEL::GetAtmTemperature() const { return rec(vessel)->readings.temperature; }
double VESSEL::GetAtmDensity() const { return rec(vessel)->readings.density; }
double VESSEL::GetAtmPressure() const { return rec(vessel)->readings.pressure; }
double VESSEL::GetDynPressure() const { return rec(vessel)->readings.dynPressure; }
double VESSEL::GetMachNumber() const { return rec(vessel)->readings.mach; }
double VESSEL::GetAirspeed() const { return rec(vessel)->readings.airspeed; }
bool VESSEL::GetHorizonAirspeedVector(VECTOR3& h) const {
    const VesselRecord& v = *rec(vessel);
    h = v.readings.horizonAirspeed;
    return v.readings.hasBody;
}
