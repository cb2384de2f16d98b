#include "ResumeProperty.h"

#include <host/Host.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

namespace resume {

namespace {

constexpr double kStep = 0.1;

// What the simulator writes (fixed decimals): half a unit of the last decimal, per component.
constexpr double kPosWritten = 0.5e-3;  // RPOS, 3 decimals
constexpr double kVelWritten = 0.5e-4;  // RVEL, 4 decimals
constexpr double kRadian = 3.14159265358979323846 / 180.0;
constexpr double kAttWritten = 0.5e-3 * kRadian;   // AROT, 3 decimals of degrees
constexpr double kRateWritten = 0.5e-4 * kRadian;  // VROT, 4 decimals of degrees per second
constexpr double kLevelWritten = 0.5e-6;           // PRPLEVEL, 6 decimals of the level

std::string num(double d) {
    char b[40];
    std::snprintf(b, sizeof b, "%.17g", d + 0.0);
    return b;
}

std::string vec(const VECTOR3& v) { return "(" + num(v.x) + " " + num(v.y) + " " + num(v.z) + ")"; }

std::string two(double d) {
    char b[40];
    std::snprintf(b, sizeof b, "%.2f", d);
    return b;
}

// ---------------------------------------------------------------------------------------------
// What the host shows of a world after a step.

struct VesselState {
    std::string name;
    std::string exact;  // compared as it stands
    std::vector<double> tanks, tankMax;
    double mass = 0.0;
    VECTOR3 pos{}, vel{};
    MATRIX3 rot{};
    // In the air or on the ground, at this step or, in the original flight, at any step before.
    // The bounds below carry the written rounding through flight in vacuum; aerodynamic moments
    // and ground contact amplify it (a cone on the edge of its touchdown points tips one way or
    // the other), so motion is compared only until the vessel first meets the atmosphere or the
    // ground. Everything else is compared to the end.
    bool grounded = false;
    bool landed = false;  // standing on the ground (its place written as POS, HEADING, ALT)
    double spin = 0.0;    // rad/s
};

struct WorldState {
    std::vector<VesselState> vessels;  // by index
    std::string focus;
};

// The index of a point among its owner's points of the same kind, as ATTACHED counts them.
long pointNumber(const host::Attachment* a) {
    long n = 0;
    for (const auto& b : a->owner->attachments) {
        if (b.get() == a) return n;
        if (b->toParent == a->toParent) ++n;
    }
    return -1;
}

VesselState stateOf(const host::Vessel& v) {
    VesselState s;
    s.name = v.name;
    std::string& e = s.exact;
    e = v.name + ":" + v.className + " " + v.refBody + " status " + std::to_string(v.status) +
        " empty " + num(v.emptyMass);
    for (const auto& p : v.propellants) {
        s.tanks.push_back(p->mass);
        s.tankMax.push_back(p->maxMass);
        e += " tank/" + num(p->maxMass);
    }
    // Groups by type: the thrusters a group holds, with their levels. Thrusters no group holds
    // (older definitions the simulator keeps) count only while they fire.
    std::vector<const host::ThrusterGroup*> groups;
    for (const auto& g : v.groups)
        if (!g->thrusters.empty()) groups.push_back(g.get());
    std::sort(groups.begin(), groups.end(),
              [](const host::ThrusterGroup* a, const host::ThrusterGroup* b) {
                  return a->type < b->type;
              });
    std::set<const host::Thruster*> grouped;
    for (const host::ThrusterGroup* g : groups) {
        e += " g" + std::to_string(g->type);
        for (const host::Thruster* t : g->thrusters) {
            grouped.insert(t);
            e += " " + num(t->maxThrust) + "@" + num(t->level) + "/" + num(t->levelPermanent);
        }
    }
    for (const auto& t : v.thrusters)
        if (!grouped.count(t.get()) && (t->level != 0.0 || t->levelPermanent != 0.0))
            e += " loose " + num(t->maxThrust) + "@" + num(t->level) + "/" + num(t->levelPermanent);
    for (const auto& a : v.animations) e += " anim " + num(a->state);
    for (const host::MeshSlot& m : v.meshes)
        e += " mesh " + m.meshName + vec(m.offset) + "v" + std::to_string(m.visibility);
    if (v.parentPoint && v.ownPoint)
        e += " on " + v.parentPoint->owner->name + " " + std::to_string(pointNumber(v.ownPoint)) +
             ":" + std::to_string(pointNumber(v.parentPoint));
    s.mass = v.mass();
    s.spin = std::sqrt(dotp(v.vrot, v.vrot));
    s.grounded = v.readings.groundContact || v.status == 1 || v.readings.dynPressure > 0.01;
    s.landed = v.status == 1;
    s.pos = v.pos;
    s.vel = v.vel;
    s.rot = v.rot;
    return s;
}

WorldState worldState() {
    WorldState w;
    for (const host::Vessel* v : host::vessels()) w.vessels.push_back(stateOf(*v));
    const OBJHANDLE f = host::focus();
    w.focus = f ? host::vessel(f).name : "-";
    return w;
}

// Where two descriptions part: the words they share up to there (the name first), then the
// next few words of each.
std::string wordsApart(const std::string& original, const std::string& resumed) {
    auto split = [](const std::string& t) {
        std::vector<std::string> w;
        std::istringstream in(t);
        for (std::string x; in >> x;) w.push_back(x);
        return w;
    };
    const std::vector<std::string> a = split(original), b = split(resumed);
    size_t same = 0;
    while (same < a.size() && same < b.size() && a[same] == b[same]) ++same;
    auto run = [same](const std::vector<std::string>& w) {
        std::string t;
        for (size_t i = same; i < w.size() && i < same + 6; ++i) t += " " + w[i];
        return t.empty() ? std::string(" (nothing)") : t;
    };
    return (a.empty() ? std::string() : a[0]) + ", after " + std::to_string(same) +
           " words alike:" + run(b) + "\n  not" + run(a);
}

double norm(const VECTOR3& v) { return std::sqrt(dotp(v, v)); }

// The angle between two attitudes.
double turn(const MATRIX3& a, const MATRIX3& b) {
    // trace(aᵀ b) = 1 + 2 cos(angle)
    const double tr = a.m11 * b.m11 + a.m21 * b.m21 + a.m31 * b.m31 + a.m12 * b.m12 +
                      a.m22 * b.m22 + a.m32 * b.m32 + a.m13 * b.m13 + a.m23 * b.m23 + a.m33 * b.m33;
    const double c = std::max(-1.0, std::min(1.0, (tr - 1.0) / 2.0));
    // Near zero acos loses its digits; the sine from the antisymmetric part keeps them.
    const double sx = a.m12 * b.m13 + a.m22 * b.m23 + a.m32 * b.m33 -
                      (a.m13 * b.m12 + a.m23 * b.m22 + a.m33 * b.m32);
    const double sy = a.m13 * b.m11 + a.m23 * b.m21 + a.m33 * b.m31 -
                      (a.m11 * b.m13 + a.m21 * b.m23 + a.m31 * b.m33);
    const double sz = a.m11 * b.m12 + a.m21 * b.m22 + a.m31 * b.m32 -
                      (a.m12 * b.m11 + a.m22 * b.m21 + a.m32 * b.m31);
    return std::atan2(0.5 * std::sqrt(sx * sx + sy * sy + sz * sz), c);
}

// How far a resumed vessel may be from the original `elapsed` seconds after the save: what the
// written state carried, carried on by the flight (an attitude off by a little turns every
// thrust since by as much).
struct Bounds {
    double att, vel, pos;
};

Bounds boundsAfter(double elapsed, double speedChange, double speed, double distance, double spin) {
    const double root3 = std::sqrt(3.0);
    Bounds b;
    // Three angles, each off by up to its rounding, about axes that need not be orthogonal; in a
    // turning vessel the rates' error is carried round by the turn too (d(err)/dt = err_rate +
    // spin x err, to first order).
    b.att = 3.0 * (kAttWritten + kRateWritten * elapsed) * (1.0 + spin * elapsed) * 1.01 + 1e-12;
    b.vel = root3 * kVelWritten * 1.01 + b.att * speedChange + 1e-12 * speed;
    b.pos = root3 * kPosWritten * 1.01 + b.vel * elapsed + 1e-12 * distance;
    return b;
}

// The first difference between a resumed world and the original at the same step; empty when
// they agree. `since` is the original's state at the save.
std::string differ(const WorldState& original, const WorldState& resumed, const WorldState& since,
                   double elapsed, bool exactly) {
    if (original.focus != resumed.focus)
        return "the focus is on " + resumed.focus + ", not on " + original.focus;
    if (original.vessels.size() != resumed.vessels.size())
        return std::to_string(resumed.vessels.size()) + " vessels, not " +
               std::to_string(original.vessels.size());
    for (size_t i = 0; i < original.vessels.size(); ++i) {
        const VesselState& a = original.vessels[i];
        const VesselState& b = resumed.vessels[i];
        if (a.exact != b.exact)
            return "vessel " + std::to_string(i) + " " + wordsApart(a.exact, b.exact);
        const std::string who =
            "vessel " + std::to_string(i) + " (" + a.exact.substr(0, a.exact.find(' ')) + ")";
        double tankBound = 0.0;
        for (size_t t = 0; t < a.tanks.size(); ++t) {
            const double bound = exactly ? 0.0 : kLevelWritten * 1.01 * std::fabs(a.tankMax[t]);
            tankBound += bound;
            if (std::fabs(a.tanks[t] - b.tanks[t]) > bound)
                return who + ": tank " + std::to_string(t) + " holds " + num(b.tanks[t]) +
                       " kg, not " + num(a.tanks[t]);
        }
        if (std::fabs(a.mass - b.mass) > tankBound + (exactly ? 0.0 : 1e-12 * a.mass))
            return who + ": mass " + num(b.mass) + " kg, not " + num(a.mass);
        if (!exactly && (a.grounded || b.grounded)) continue;
        // A vessel made after the save from one in the air or down carries its difference.
        if (!exactly && i >= since.vessels.size() &&
            std::any_of(original.vessels.begin(), original.vessels.end(),
                        [](const VesselState& o) { return o.grounded; }))
            continue;
        Bounds bound{0.0, 0.0, 0.0};
        if (!exactly) {
            // A vessel made after the save took its motion from one that was there: it carries
            // what any of them may carry.
            double speedChange = 0.0;
            if (i < since.vessels.size()) {
                speedChange = norm(a.vel - since.vessels[i].vel);
            } else {
                for (size_t j = 0; j < since.vessels.size() && j < original.vessels.size(); ++j)
                    speedChange =
                        std::max(speedChange, norm(original.vessels[j].vel - since.vessels[j].vel));
            }
            bound = boundsAfter(elapsed, speedChange, norm(a.vel), norm(a.pos), a.spin);
        }
        if (turn(a.rot, b.rot) > bound.att)
            return who + ": attitude off by " + num(turn(a.rot, b.rot)) + " rad";
        if (norm(a.vel - b.vel) > bound.vel)
            return who + ": velocity " + vec(b.vel) + ", not " + vec(a.vel) + " (off by " +
                   num(norm(a.vel - b.vel)) + " m/s, bound " + num(bound.vel) + ")";
        if (norm(a.pos - b.pos) > bound.pos)
            return who + ": position " + vec(b.pos) + ", not " + vec(a.pos) + " (off by " +
                   num(norm(a.pos - b.pos)) + " m, bound " + num(bound.pos) + ")";
    }
    return "";
}

// Two saves of one world: the same lines, but for the numbers of motion and tanks, which may
// round the other way by a unit of their last decimal.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// A save's lines with every tank level written as zero left out (a remnant below what six
// decimals carry reads back as an empty tank, which the next save does not list).
std::vector<std::string> levelsRead(const std::string& text) {
    std::vector<std::string> out;
    for (std::string l : linesOf(text)) {
        if (l.rfind("  PRPLEVEL", 0) == 0) {
            for (size_t at; (at = l.find(":0.000000")) != std::string::npos;) {
                const size_t begin = l.rfind(' ', at);
                l.erase(begin, at + 9 - begin);
            }
            if (l == "  PRPLEVEL") continue;
        }
        out.push_back(l);
    }
    return out;
}

// A tank that held no more than its written level carries, in one flight, and nothing in the
// other: full thrust burns any remnant, so the burn ends a step apart, as the level written allows.
bool emptiedApart(const WorldState& original, const WorldState& resumed) {
    if (original.vessels.size() != resumed.vessels.size()) return false;
    for (size_t i = 0; i < original.vessels.size(); ++i) {
        const VesselState& a = original.vessels[i];
        const VesselState& b = resumed.vessels[i];
        for (size_t t = 0; t < a.tanks.size() && t < b.tanks.size(); ++t) {
            const double bound = kLevelWritten * 1.01 * std::fabs(a.tankMax[t]);
            if ((a.tanks[t] == 0.0) != (b.tanks[t] == 0.0) &&
                std::max(a.tanks[t], b.tanks[t]) <= bound)
                return true;
        }
    }
    return false;
}

// Two vessels whose names differ at most in case: the scenario names the focus and a seated
// vessel's parent by name, so the simulator cannot tell which one a save meant.
bool sameNames(const WorldState& w) {
    std::set<std::string> seen;
    for (const VesselState& v : w.vessels) {
        std::string name = v.name;
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!seen.insert(name).second) return true;
    }
    return false;
}

// Two numbers as written, at most a unit of the last decimal apart: a vessel that takes its
// place from another (a seated one, from its seat) is placed from what was read back of that
// other, so its own numbers may round the other way.
bool nearlyWritten(const std::string& x, const std::string& y) {
    if (x == y) return true;
    const size_t cx = x.find(':'), cy = y.find(':');
    if (cx != std::string::npos || cy != std::string::npos)
        return cx == cy && x.compare(0, cx, y, 0, cy) == 0 &&
               nearlyWritten(x.substr(cx + 1), y.substr(cy + 1));
    char* ex = nullptr;
    char* ey = nullptr;
    const double a = std::strtod(x.c_str(), &ex), b = std::strtod(y.c_str(), &ey);
    if (*ex != '\0' || *ey != '\0' || ex == x.c_str() || ey == y.c_str()) return false;
    const size_t dot = x.find('.');
    const int decimals = dot == std::string::npos ? 0 : static_cast<int>(x.size() - dot - 1);
    return std::fabs(a - b) <= 1.01 * std::pow(10.0, -decimals);
}

// The lines of vessel blocks that hold an ATTACHED line.
std::vector<bool> seatedLines(const std::vector<std::string>& lines) {
    std::vector<bool> seated(lines.size(), false);
    size_t begin = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != "END" && lines[i] != "BEGIN_SHIPS") continue;
        bool attached = false;
        for (size_t j = begin; j < i; ++j)
            attached = attached || lines[j].rfind("  ATTACHED", 0) == 0;
        for (size_t j = begin; j < i; ++j) seated[j] = attached;
        begin = i + 1;
    }
    return seated;
}

// A resumed flight starts from the date as the save wrote it, to ten decimals of a day: its
// dates may differ from the unsaved flight's by that rounding, and no more.
bool sameDate(const std::string& a, const std::string& b) {
    const char* const key = "  Date MJD ";
    if (a.rfind(key, 0) != 0 || b.rfind(key, 0) != 0) return false;
    return std::fabs(std::atof(a.c_str() + 11) - std::atof(b.c_str() + 11)) <= 1.5e-10;
}

// `motionLoose`: a vessel of the world is in the air or on the ground (see VesselState), where
// loading lifts one that sank below the surface, as the simulator does: lines of motion may then
// read back otherwise.
std::string scenarioDiffer(const std::string& first, const std::string& second,
                           bool motionLoose = false) {
    static const std::set<std::string> written = {"RPOS", "RVEL", "AROT",    "VROT",
                                                  "ALT",  "POS",  "HEADING", "PRPLEVEL"};
    static const std::set<std::string> placed = {"RPOS", "RVEL", "AROT", "VROT"};
    const std::vector<std::string> a = levelsRead(first), b = levelsRead(second);
    const std::vector<bool> seatedA = seatedLines(a), seatedB = seatedLines(b);
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const std::string x = i < a.size() ? a[i] : "(nothing)";
        const std::string y = i < b.size() ? b[i] : "(nothing)";
        if (x == y) continue;
        std::istringstream wx(x), wy(y);
        std::vector<std::string> p, q;
        for (std::string w; wx >> w;) p.push_back(w);
        for (std::string w; wy >> w;) q.push_back(w);
        // The simulator reads no motion for an attached vessel: it takes its place from its
        // parent, and one attached in the step before the save stood elsewhere until now.
        if (i < seatedA.size() && i < seatedB.size() && seatedA[i] && seatedB[i] && !p.empty() &&
            !q.empty() && p[0] == q[0] && placed.count(p[0]))
            continue;
        bool near = p.size() == q.size() && !p.empty() && p[0] == q[0] && written.count(p[0]);
        for (size_t k = 1; near && k < p.size(); ++k) near = nearlyWritten(p[k], q[k]);
        if (near) continue;
        if (motionLoose && !p.empty() && !q.empty() && p[0] == q[0] && placed.count(p[0])) continue;
        return "line " + std::to_string(i + 1) + ": '" + y + "', not '" + x + "'";
    }
    return "";
}

// ---------------------------------------------------------------------------------------------
// Flying.

void apply(const Action& a) {
    switch (a.kind) {
        case Action::Kind::Key:
            host::pressKey(a.key);
            break;
        case Action::Kind::Thrust: {
            const OBJHANDLE f = host::focus();
            if (!f) break;
            const host::Vessel& v = host::vessel(f);
            for (const auto& g : v.groups)
                if (g->type == a.group && !g->thrusters.empty()) {
                    v.iface->SetThrusterGroupLevel(static_cast<THGROUP_TYPE>(a.group), a.level);
                    break;
                }
            break;
        }
        case Action::Kind::Focus:
            if (const OBJHANDLE h = host::find(a.vessel)) host::setFocus(h);
            break;
    }
}

// Loads `file` into a fresh world and flies the flight's steps after `from` (the steps flown
// before the save) up to its end; `each` sees the world after every step, numbered as the
// original flight numbers them.
template <class F>
void fly(const Flight& flight, const std::string& file, long from, F each) {
    host::reset();
    host::setStep(kStep);
    host::loadScenario(file);
    each(from);
    size_t next = 0;
    while (next < flight.actions.size() && flight.actions[next].step <= from) ++next;
    host::setPreStepHook([&](double) {
        const long n = from + host::stepIndex();
        for (; next < flight.actions.size() && flight.actions[next].step == n; ++next)
            apply(flight.actions[next]);
    });
    struct Unhook {
        ~Unhook() { host::setPreStepHook(nullptr); }
    } unhook;
    for (long n = from + 1; n <= flight.steps; ++n) {
        host::step();
        each(n);
    }
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string stopOf(const std::exception& e) { return std::string("the host stopped: ") + e.what(); }

}  // namespace

// ---------------------------------------------------------------------------------------------

std::string Flight::text() const {
    std::string t = "flight " + name + ", " + std::to_string(steps) + " steps\n";
    for (const Action& a : actions) {
        t += "  step " + std::to_string(a.step) + ": ";
        switch (a.kind) {
            case Action::Kind::Key:
                t += a.key == OAPI_KEY_K   ? "key K"
                     : a.key == OAPI_KEY_J ? "key J"
                     : a.key == OAPI_KEY_S ? "key S"
                                           : "key " + std::to_string(a.key);
                break;
            case Action::Kind::Thrust:
                t += "thrust " +
                     std::string(a.group == THGROUP_RETRO  ? "RETRO"
                                 : a.group == THGROUP_MAIN ? "MAIN"
                                                           : std::to_string(a.group)) +
                     " " + two(a.level);
                break;
            case Action::Kind::Focus:
                t += "focus " + a.vessel;
                break;
        }
        t += "\n";
    }
    return t + "--- scenario\n" + scenario;
}

uint64_t SeededSource::next() {
    // splitmix64: the same numbers on every platform.
    uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

uint64_t ByteSource::next() {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) {
        v <<= 8;
        if (at_ < size_) v |= data_[at_++];
    }
    return v;
}

// ---------------------------------------------------------------------------------------------
// Flights.

namespace {

const char* const kConeClasses[] = {"AEROBELL", "AEROBELLGEM", "AEROBELL2001", "AEROBELLDG3"};

struct Astronaut {
    const char* className;
    const char* mesh;
    VECTOR3 butt;  // its BUTT point
};
const Astronaut kAstronauts[] = {
    {"AerobellCrew", "mmu", {{0, 0.4, -0.2}}},
    {"gemini_leva", "gem-eva1", {{0, 0, 0}}},
    {"DGIIIMmu", "DGIIIMmu", {{0, 0, 0.1}}},
};

template <class T, size_t N>
const T& pick(Source& s, const T (&from)[N]) {
    return from[s.below(N)];
}

// A number of two decimals in [lo, hi), as a scenario holds it.
double decimals(Source& s, double lo, double hi) {
    const long steps = std::lround((hi - lo) * 100.0);
    return lo + static_cast<double>(s.below(static_cast<uint64_t>(steps))) / 100.0;
}

std::string line3(const VECTOR3& v) { return two(v.x) + " " + two(v.y) + " " + two(v.z); }

struct Draft {
    Source& s;
    std::string coneName;
    int count = 0;  // items written so far
    std::vector<std::string> lines;
    std::vector<std::string>& names;  // every vessel name the flight may meet

    // Names are never taken twice: a save names the focus and a seat's vessel by name.
    std::string itemName() {
        const std::string crew = coneName + "-Suit";
        const bool free = std::find(names.begin(), names.end(), crew) == names.end();
        const std::string n =
            free && s.chance(20) ? crew : coneName + "-I" + std::to_string(++count);
        names.push_back(n);
        return n;
    }

    double mass() {
        static const double kMasses[] = {0.0, 40.0, 107.25, 212.0};
        return s.chance(60) ? pick(s, kMasses) : decimals(s, 1.0, 300.0);
    }

    void item(bool stage, const std::string& cls, const std::string& mesh) {
        static const double kAngles[] = {0.0, 90.0, 45.5};
        static const double kFuel[] = {0.0, 0.5, 1.0};
        std::vector<std::string> w = {stage ? "STAGE" : "PAYLOAD", itemName(), mesh, cls};
        const VECTOR3 at = {{decimals(s, -3, 3), decimals(s, -3, 3), decimals(s, -3, 3)}};
        w.push_back(line3(at));
        w.push_back(two(mass()));
        w.push_back(two(pick(s, kAngles)));
        w.push_back(two(pick(s, kFuel)));
        // Some lines lack words, as hand-written files do.
        size_t words = w.size();
        if (s.chance(8)) words = 2 + s.below(w.size() - 2);
        std::string l;
        for (size_t i = 0; i < words; ++i) l += (i ? " " : "") + w[i];
        lines.push_back(l);
    }

    void items(int depth) {
        const uint64_t n = s.below(depth == 0 ? 4 : 3);
        for (uint64_t i = 0; i < n && count < 6; ++i) {
            if (depth < 2 && s.chance(30)) {
                item(true, pick(s, kConeClasses), "Aerobell");
                items(depth + 1);
                if (!s.chance(10)) lines.push_back("ENDSTAGE");
            } else if (s.chance(15)) {
                item(false, "Probe", "probe");
            } else {
                const Astronaut& a = pick(s, kAstronauts);
                item(false, a.className, a.mesh);
            }
        }
    }
};

std::string block(const std::string& name, const std::string& cls, const VECTOR3& pos,
                  const VECTOR3& vel, const VECTOR3& arot, const std::vector<std::string>& extra) {
    std::string b = name + ":" + cls + "\n  STATUS Orbiting Earth\n  RPOS " + line3(pos) +
                    "\n  RVEL " + line3(vel) + "\n  AROT " + line3(arot) + "\n";
    for (const std::string& l : extra) b += "  " + l + "\n";
    return b + "END\n";
}

}  // namespace

Flight randomFlight(Source& s, const std::string& name) {
    Flight f;
    f.name = name;
    f.steps = 100 + static_cast<long>(s.below(151));
    std::vector<std::string> names;

    const VECTOR3 base = {{6578000.0, 0.0, 0.0}};
    const VECTOR3 orbit = {{0.0, 7784.0, 0.0}};
    const bool together = s.chance(60);  // side by side, seats within reach
    const int cones = 1 + static_cast<int>(s.below(3));
    std::string ships;
    struct Placed {
        std::string name;
        VECTOR3 pos;
    };
    std::vector<Placed> placed;
    for (int c = 0; c < cones; ++c) {
        const std::string cone = "Cone" + std::to_string(c + 1);
        names.push_back(cone);
        const VECTOR3 pos =
            together ? base + _V(decimals(s, -1, 1), decimals(s, -1, 1), decimals(s, -1, 1))
                     : base + _V(0.0, 200.0 * c, 0.0);
        // Side by side the attitudes agree, so that seats and BUTT points meet as placed.
        const VECTOR3 arot =
            together || s.chance(50)
                ? _V(0, 0, 0)
                : _V(decimals(s, -180, 180), decimals(s, -90, 90), decimals(s, -180, 180));
        Draft d{s, cone, 0, {}, names};
        static const double kLevels[] = {1.0, 0.5, 0.05};
        const double retro = s.chance(80) ? pick(s, kLevels) : decimals(s, 0, 1);
        d.lines.push_back("PRPLEVEL 0:1.000000" +
                          (retro > 0.0 ? " 1:" + two(retro) + "0000" : std::string()));
        // What earlier saves write of a cone in flight.
        if (s.chance(25)) {
            static const double kDeploy[] = {0.25, 0.5, 1.0};
            d.lines.push_back("DEPLOY " + two(pick(s, kDeploy)) + (s.chance(50) ? " 1" : " 0"));
        }
        if (s.chance(15)) d.lines.push_back(std::string("RETRO ") + (s.chance(50) ? "1" : "0"));
        if (s.chance(10)) d.lines.push_back("CREW RELEASED");
        d.items(0);
        ships += block(cone, pick(s, kConeClasses), pos, orbit, arot, d.lines);
        placed.push_back({cone, pos});
    }
    // Astronauts floating by a cone's seat, some seated on it.
    const uint64_t floating = s.below(3);
    std::vector<std::string> seated;
    for (uint64_t i = 0; i < floating; ++i) {
        const Placed& at = placed[s.below(placed.size())];
        const Astronaut& a = pick(s, kAstronauts);
        const std::string crew = at.name + "-Suit";
        const bool free = std::find(names.begin(), names.end(), crew) == names.end();
        const std::string n = free && s.chance(50) ? crew : "Walker" + std::to_string(i + 1);
        names.push_back(n);
        // Its BUTT point within reach of the seat (the cone's origin), both unturned.
        const VECTOR3 pos =
            at.pos - a.butt +
            _V(decimals(s, -0.3, 0.3), decimals(s, -0.3, 0.3), decimals(s, -0.3, 0.3));
        std::vector<std::string> extra = {"PRPLEVEL 0:1.000000"};
        // One vessel a seat at most: the simulator reads no position for a child that another
        // has taken the place of, so such a file cannot resume as it was saved.
        if (s.chance(40) && std::find(seated.begin(), seated.end(), at.name) == seated.end()) {
            extra.push_back("ATTACHED 0:0," + at.name);
            seated.push_back(at.name);
        }
        ships += block(n, a.className, pos, orbit, _V(0, 0, 0), extra);
    }

    const std::string focus = placed[s.below(placed.size())].name;
    f.scenario = "BEGIN_DESC\n" + name + "\nEND_DESC\n\nBEGIN_ENVIRONMENT\n  System Sol\n" +
                 "  Date MJD 51982.5\nEND_ENVIRONMENT\n\nBEGIN_FOCUS\n  Ship " + focus +
                 "\nEND_FOCUS\n\nBEGIN_SHIPS\n" + ships + "END_SHIPS\n";

    // The pilot.
    const uint64_t count = 3 + s.below(8);
    for (uint64_t i = 0; i < count; ++i) {
        Action a;
        a.step = 1 + static_cast<long>(s.below(static_cast<uint64_t>(f.steps - 5)));
        const uint64_t what = s.below(100);
        if (what < 25) {
            a.key = OAPI_KEY_K;
        } else if (what < 55) {
            a.key = OAPI_KEY_J;
        } else if (what < 75) {
            a.key = OAPI_KEY_S;
        } else if (what < 90) {
            a.kind = Action::Kind::Thrust;
            a.group = s.chance(80) ? THGROUP_RETRO : THGROUP_MAIN;
            static const double kThrust[] = {1.0, 1.0, 0.0, 0.5};
            a.level = pick(s, kThrust);
        } else {
            a.kind = Action::Kind::Focus;
            a.vessel = names[s.below(names.size())];
        }
        f.actions.push_back(a);
        // Right after a release: the next step's command.
        if (a.kind == Action::Kind::Key && a.key == OAPI_KEY_J && s.chance(40)) {
            Action b;
            b.step = a.step + 1;
            if (s.chance(50)) {
                b.key = s.chance(50) ? OAPI_KEY_S : OAPI_KEY_K;
            } else {
                b.kind = Action::Kind::Focus;
                b.vessel = names[s.below(names.size())];
            }
            f.actions.push_back(b);
        }
    }
    std::stable_sort(f.actions.begin(), f.actions.end(),
                     [](const Action& a, const Action& b) { return a.step < b.step; });
    // The simulator remembers the last key taken, by the wall clock, for its repeat delay of a
    // second; no save carries that. A key pressed again within the delay is left out, so that
    // it is taken, or not, alike before and after any save.
    std::vector<Action> kept;
    long lastOf[256];
    std::fill(std::begin(lastOf), std::end(lastOf), -1000);
    for (const Action& a : f.actions) {
        if (a.kind == Action::Kind::Key) {
            if (a.step - lastOf[a.key] <= 11) continue;
            lastOf[a.key] = a.step;
        }
        kept.push_back(a);
    }
    f.actions = kept;
    return f;
}

Flight scriptedFlight(const std::string& name, const std::string& scenarioText,
                      const std::string& scriptText) {
    Flight f;
    f.name = name;
    f.scenario = scenarioText;
    std::istringstream in(scriptText);
    double last = 0.0;
    int lineNo = 0;
    for (std::string l; std::getline(in, l);) {
        ++lineNo;
        l = l.substr(0, l.find('#'));
        std::istringstream words(l);
        double time;
        std::string command;
        if (!(words >> time)) continue;
        words >> command;
        Action a;
        // The first step whose time reaches the command.
        a.step = std::max(1L, static_cast<long>(std::ceil(time / kStep - 1e-6)));
        if (command == "key") {
            std::string k;
            words >> k;
            a.key = k == "K" ? OAPI_KEY_K : k == "J" ? OAPI_KEY_J : k == "S" ? OAPI_KEY_S : -1;
            if (a.key < 0)
                throw std::runtime_error(name + ":" + std::to_string(lineNo) + ": key " + k);
        } else if (command == "thrust") {
            std::string g;
            a.kind = Action::Kind::Thrust;
            words >> g >> a.level;
            a.group = g == "RETRO" ? THGROUP_RETRO : g == "MAIN" ? THGROUP_MAIN : -1;
            if (a.group < 0)
                throw std::runtime_error(name + ":" + std::to_string(lineNo) + ": group " + g);
        } else if (command == "focus") {
            a.kind = Action::Kind::Focus;
            words >> a.vessel;
        } else if (command == "save") {
            last = std::max(last, time);
            continue;
        } else {
            throw std::runtime_error(name + ":" + std::to_string(lineNo) + ": " + command);
        }
        last = std::max(last, time);
        f.actions.push_back(a);
    }
    std::stable_sort(f.actions.begin(), f.actions.end(),
                     [](const Action& a, const Action& b) { return a.step < b.step; });
    f.steps = std::lround((last + 1.0) / kStep);
    return f;
}

Result check(const Flight& flight, long stride, const std::string& workFile, size_t mostSaves) {
    Result result;
    const std::string scenarioFile = workFile;
    writeText(scenarioFile, flight.scenario);

    // The flight never saved.
    std::vector<WorldState> original;
    std::string originalEnd;
    try {
        fly(flight, scenarioFile, 0, [&](long) {
            original.push_back(worldState());
            if (original.size() < 2) return;
            // Once down, a vessel stays down for the comparison of motion.
            const WorldState& before = original[original.size() - 2];
            std::vector<VesselState>& now = original.back().vessels;
            for (size_t i = 0; i < now.size() && i < before.vessels.size(); ++i)
                now[i].grounded = now[i].grounded || before.vessels[i].grounded;
        });
        originalEnd = host::scenarioText();
    } catch (const host::Stop&) {
        // Where the simulator stops, there is no flight to resume.
        result.steps += static_cast<long>(original.size());
        host::reset();
        return result;
    }
    result.steps += flight.steps;

    std::vector<long> points;
    const auto changed = [&](long n) {
        return n >= 1 && n <= flight.steps &&
               (original[n].focus != original[n - 1].focus ||
                original[n].vessels.size() != original[n - 1].vessels.size() ||
                !std::equal(
                    original[n].vessels.begin(), original[n].vessels.end(),
                    original[n - 1].vessels.begin(),
                    [](const VesselState& a, const VesselState& b) { return a.exact == b.exact; }));
    };
    for (long k = 0; k < flight.steps; ++k) {
        if (stride <= 1 || k % stride == 0 || changed(k - 1) || changed(k) || changed(k + 1))
            points.push_back(k);
    }
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    points.erase(std::remove_if(points.begin(), points.end(),
                                [&](long k) { return k < 0 || k >= flight.steps; }),
                 points.end());
    if (mostSaves > 0 && points.size() > mostSaves) {
        // Spread over the flight, the first and the last kept.
        std::vector<long> spread;
        const size_t gaps = std::max<size_t>(mostSaves - 1, 1);
        for (size_t j = 0; j < mostSaves; ++j)
            spread.push_back(points[j * (points.size() - 1) / gaps]);
        spread.erase(std::unique(spread.begin(), spread.end()), spread.end());
        points = spread;
    }

    // The same flight saved after each of those steps: the saves change nothing of it.
    std::vector<std::string> saves;
    try {
        size_t p = 0;
        fly(flight, scenarioFile, 0, [&](long n) {
            const std::string d = differ(original[n], worldState(), original[0], 0.0, true);
            if (!d.empty() && result.failure.empty())
                result.failure =
                    "saving changed the flight: at step " + std::to_string(n) + ", " + d;
            if (p < points.size() && points[p] == n) {
                saves.push_back(host::scenarioText());
                ++p;
            }
        });
    } catch (const host::Stop& e) {
        result.failure = "saving: " + stopOf(e);
    }
    result.steps += flight.steps;
    if (!result.failure.empty()) return result;

    // Each save loaded into a fresh world and flown on.
    const std::string saveFile = workFile + ".saved.scn";
    for (size_t i = 0; i < points.size(); ++i) {
        const long k = points[i];
        if (sameNames(original[k])) {
            ++result.ambiguous;
            continue;
        }
        writeText(saveFile, saves[i]);
        const std::string where = "saved after step " + std::to_string(k) + ": ";
        std::string failure;
        bool apart = false;  // a tank ran out a step apart: compared no further
        WorldState before;   // the resumed world a step before
        try {
            fly(flight, saveFile, k, [&](long n) {
                if (!failure.empty() || apart) return;
                const WorldState now = worldState();
                if (n == k) {
                    // Loaded and saved again at once, the scenario stands as it was saved.
                    const bool down =
                        std::any_of(original[k].vessels.begin(), original[k].vessels.end(),
                                    [](const VesselState& v) { return v.grounded; });
                    const std::string d = scenarioDiffer(saves[i], host::scenarioText(), down);
                    if (!d.empty()) failure = where + "saved again after loading, " + d;
                    before = now;
                    return;
                }
                const std::string d = differ(original[n], now, original[k], (n - k) * kStep, false);
                if (!d.empty()) {
                    if (emptiedApart(original[n - 1], before)) apart = true;
                    else failure = where + "at step " + std::to_string(n) + ", " + d;
                }
                before = now;
            });
            ++result.saves;
            result.steps += flight.steps - k;
            if (apart) ++result.apart;
            if (failure.empty() && !apart) {
                // What the vessels write of themselves at the end, numbers of motion aside.
                const std::vector<std::string> a = linesOf(originalEnd),
                                               b = linesOf(host::scenarioText());
                bool inShips = false;
                std::string block;  // the vessel whose block the line is in
                for (size_t l = 0; l < std::max(a.size(), b.size()) && failure.empty(); ++l) {
                    const std::string x = l < a.size() ? a[l] : "(nothing)";
                    const std::string y = l < b.size() ? b[l] : "(nothing)";
                    if (x == "BEGIN_SHIPS" || x == "END_SHIPS" || (inShips && x == "END")) {
                        inShips = x != "END_SHIPS";
                        block.clear();
                    } else if (inShips && block.empty() && !x.empty() && x[0] != ' ') {
                        block = x.substr(0, x.find(':'));
                    }
                    const std::string key =
                        x.substr(0, x.find_first_of(' ', x.find_first_not_of(' ')));
                    // Motion and tanks are compared step by step above.
                    static const std::set<std::string> motion = {"  RPOS", "  RVEL", "  AROT",
                                                                 "  VROT", "  PRPLEVEL"};
                    // A vessel set down on the ground after the save (released from a carrier
                    // bouncing there) stands where motion on the ground put it, which is not
                    // compared; one that stood there at the save stands there still.
                    static const std::set<std::string> place = {"  POS", "  HEADING", "  ALT"};
                    const bool stoodAtSave = std::any_of(
                        original[k].vessels.begin(), original[k].vessels.end(),
                        [&](const VesselState& v) { return v.landed && v.name == block; });
                    const bool moved = motion.count(key) || (place.count(key) && !stoodAtSave);
                    if (x != y && !(moved && y.rfind(key + " ", 0) == 0) && !sameDate(x, y))
                        failure = where + "at the end the save holds '" + y + "', not '" + x + "'";
                }
            }
        } catch (const host::Stop& e) {
            failure = where + stopOf(e);
        }
        if (!failure.empty()) {
            result.failure = failure;
            break;
        }
    }
    host::reset();
    return result;
}

}  // namespace resume
