// The world of the host stand-in: its state, reset, stops, look-ups, and the text helpers that
// read numbers and lines as the simulator's C library does.
#include "World.h"

#if defined(_WIN32)
#  include <direct.h>
#  define chdir _chdir
#  define getcwd _getcwd
#else
#  include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef PATH_MAX
#  define PATH_MAX 4096
#endif

namespace host {

Error::Error(const std::string& f, int l, const std::string& m)
    : std::runtime_error(f + ":" + std::to_string(l) + ": " + m),
      file(f),
      line(l),
      message(m) {}

static std::string stopText(const std::string& file, int line, const std::string& reason) {
    std::string where = file.empty() ? "" : file + ":" + std::to_string(line) + ": ";
    return where + "the simulator would stop here: " + reason;
}

Stop::Stop(const std::string& f, int l, const std::string& r)
    : std::runtime_error(stopText(f, l, r)),
      file(f),
      line(l),
      reason(r) {}

Listener::~Listener() = default;

namespace detail {

void updateMass(Vessel& v) {
    // The tanks are summed first and the sum added to the empty mass: in the last bit this is
    // not always what adding each tank to the empty mass in turn gives.
    double fuel = 0.0;
    for (const auto& p : v.propellants) fuel += p->mass;
    v.massAtUpdate = v.emptyMass + fuel;
    v.massSummed = true;
}

World& world() {
    // Never destroyed: vessels of loaded modules must not be torn down after their module.
    static World* w = new World;
    return *w;
}

// ---------------------------------------------------------------------------------------------
// Text.

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool equalsNoCase(const std::string& a, const char* b) {
    const size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool startsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix)
        if (std::tolower(static_cast<unsigned char>(*text)) !=
            std::tolower(static_cast<unsigned char>(*prefix)))
            return false;
    return true;
}

std::string trimLine(const std::string& raw, bool* cut) {
    // A C string: a NUL ends it.
    size_t end = raw.find('\0');
    if (end == std::string::npos) end = raw.size();
    const size_t semi = raw.find(';');
    if (cut) *cut = semi < end;
    if (semi < end) end = semi;
    while (end > 0 && (raw[end - 1] == ' ' || raw[end - 1] == '\t')) --end;
    size_t begin = 0;
    while (begin < end && (raw[begin] == ' ' || raw[begin] == '\t')) ++begin;
    return raw.substr(begin, end - begin);
}

bool parseDouble(const std::string& text, double& out) {
    if (text.empty()) return false;
    const char* b = text.c_str();
    char* e = nullptr;
    errno = 0;
    double d = std::strtod(b, &e);
    if (e == b || *e != '\0' || !std::isfinite(d)) return false;
    out = d;
    return true;
}

bool scanDouble(const char*& p, double& out) {
    char* e = nullptr;
    const double d = std::strtod(p, &e);
    if (e == p) return false;
    out = d;
    p = e;
    return true;
}

bool scanInt(const char*& p, long& out) {
    char* e = nullptr;
    errno = 0;
    long v = std::strtol(p, &e, 10);
    if (e == p) return false;
    // %d into an int: the low bits of what was read.
    out = static_cast<long>(static_cast<int>(static_cast<unsigned long>(v) & 0xffffffffUL));
    p = e;
    return true;
}

std::string fixed(double d, int decimals) {
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, d);
    return buf;
}

std::string trimmedFixed(double d, int decimals) {
    std::string s = fixed(d, decimals);
    // Zeros after the point go, all but the one right after it; nan and inf have no point.
    if (s.find('.') == std::string::npos) return s;
    while (s.back() == '0' && s[s.size() - 2] != '.') s.pop_back();
    return s;
}

std::string formatNumber(double d) {
    char buf[40];
    for (int prec = 15; prec <= 17; ++prec) {
        std::snprintf(buf, sizeof buf, "%.*g", prec, d);
        if (std::strtod(buf, nullptr) == d) break;
    }
    return buf;
}

// ---------------------------------------------------------------------------------------------
// Lines as the simulator's streams read them.

bool LineStream::getline(size_t size, std::string& out) {
    if (failed || next >= lines.size()) return false;
    const std::string& l = lines[next];
    const size_t left = l.size() - col;
    if (left > size - 1) {
        col += size - 1;
        failed = true;
        return false;
    }
    out.assign(l, col, left);
    ++next;
    col = 0;
    return true;
}

bool LineStream::readline(std::string& out) {
    failed = false;
    if (next >= lines.size()) return false;
    out.assign(lines[next], col, std::string::npos);
    ++next;
    col = 0;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Stops.

void stopHere(const std::string& file, int line, const std::string& reason) {
    World& w = world();
    if (!w.stop) w.stop = std::make_unique<Stop>(file, line, reason);
    if (w.callbackDepth == 0) throw *w.stop;
}

void logObsolete(const std::string& function) {
    World& w = world();
    if (!w.obsoleteLogged.insert(function).second) return;
    std::vector<std::string>& log = w.records.log;
    log.push_back("-------------------------- OBSOLETE: --------------------------");
    log.push_back("Obsolete API function used: " + function);
    log.push_back("At least one active module is accessing an obsolete interface function.");
    log.push_back("Addons which rely on obsolete functions may not be compatible with");
    log.push_back("future versions of Orbiter.");
    log.push_back("---------------------------------------------------------------");
}

void moduleThrew(const char* callback, const Vessel& v, const char* what) {
    std::string reason =
        std::string("an exception escaped ") + callback + " of vessel '" + v.name + "'";
    reason += what ? std::string(": ") + what : std::string(" (not a std::exception)");
    stopHere("", 0, reason);
}

void throwIfStopped() {
    World& w = world();
    if (w.stop && w.callbackDepth == 0) throw *w.stop;
}

// ---------------------------------------------------------------------------------------------
// Look-ups.

bool valid(OBJHANDLE h) { return h != nullptr && world().live.count(h) != 0; }

VesselRecord* findVessel(const std::string& name) {
    World& w = world();
    auto it = w.byName.find(lower(name));
    if (it == w.byName.end() || it->second.empty()) return nullptr;
    VesselRecord* best = it->second.front();
    for (VesselRecord* v : it->second)
        if (v->index < best->index) best = v;
    return best;
}

void updateRotation(Vessel& v) { v.rot = rotationFromAngles(v.arot); }

}  // namespace detail

using namespace detail;

// ---------------------------------------------------------------------------------------------
// Public control interface.

const Records& records() { return world().records; }

void addListener(Listener* l) {
    auto& ls = world().listeners;
    if (l && std::find(ls.begin(), ls.end(), l) == ls.end()) ls.push_back(l);
}

void removeListener(Listener* l) {
    auto& ls = world().listeners;
    ls.erase(std::remove(ls.begin(), ls.end(), l), ls.end());
}

void setRoot(const std::string& dir) {
    World& w = world();
    if (chdir(dir.c_str()) != 0) throw Error(dir, 0, "cannot enter the simulation root");
    char buf[PATH_MAX];
    w.root = getcwd(buf, sizeof buf) ? buf : dir;
    w.classes.clear();
    w.bases.clear();
    w.meshCache.clear();
    forgetBodies();
}

const std::string& root() { return world().root; }

const Stop* stopped() { return world().stop.get(); }

void reset() {
    World& w = world();
    w.inStep = w.stepOpen = w.stateUpdate = false;
    w.callbackDepth = 0;
    // No module may see a half-torn world: every link goes first, then every object.
    for (auto& v : w.owned) {
        for (auto& a : v->attachments) {
            a->attached = nullptr;
            a->mate = nullptr;
        }
        v->parentPoint = v->ownPoint = nullptr;
        for (auto& d : v->docks) d->mate = nullptr;
        v->composite = nullptr;
    }
    w.composites.clear();
    std::vector<Vessel*> all = w.vessels;
    w.vessels.clear();
    w.live.clear();
    w.byName.clear();
    w.focus = w.previousFocus = nullptr;
    for (Vessel* v : all) {
        rec(v)->listed = false;
        w.doomed.push_back(rec(v));
    }
    // Vessels whose creation stopped before they were listed still hold their interface.
    for (auto& v : w.owned)
        if (!v->listed && v->iface &&
            std::find(w.doomed.begin(), w.doomed.end(), v.get()) == w.doomed.end())
            w.doomed.push_back(v.get());
    destroyDoomed();
    w.owned.clear();
    w.retiredPropellants.clear();
    w.retiredAnimations.clear();
    deleteOwnedMeshes();
    w.step = w.baseStep = 0;
    w.time = w.baseTime = 0.0;
    w.inPasses = false;
    w.passStart = w.simStep = 0.0;
    w.mjd0 = 51544.5;
    w.queuedKeys.clear();
    w.releasedKeys.clear();
    std::memset(w.held, 0, sizeof w.held);
    w.lastKey = static_cast<char>(255);
    w.lastKeyTime = 0.0;
    w.obsoleteLogged.clear();
    w.records = Records();
    w.scenario = ScenarioInfo();
    w.layoutLines.clear();
    w.regions.clear();
    w.scenarioLoaded = false;
    w.flightModel = 1;
    w.stop.reset();
}

void setStep(double dt) {
    World& w = world();
    if (!(dt > 0.0) || !std::isfinite(dt)) return;
    w.baseStep = w.step;
    w.baseTime = w.time;
    w.dt = dt;
}
double stepLength() { return world().dt; }
double simTime() { return world().time; }
long stepIndex() { return world().step; }
void setPreStepHook(std::function<void(double)> fn) { world().preStepHook = std::move(fn); }
void setFlightModel(int fm) { world().flightModel = fm; }

const std::vector<Vessel*>& vessels() { return world().vessels; }

OBJHANDLE find(const std::string& name) { return findVessel(name); }

const Vessel& vessel(OBJHANDLE h) { return *static_cast<Vessel*>(h); }

OBJHANDLE focus() { return world().focus; }

VESSELSTATUS defaultStatus() {
    VESSELSTATUS s;
    std::memset(&s, 0, sizeof s);
    s.fuel = 1.0;
    return s;
}

void registerModule(const std::string& moduleName, InitFn init, ExitFn exit) {
    Module m;
    m.init = init;
    m.exit = exit;
    world().registered[lower(moduleName)] = m;
}

}  // namespace host
