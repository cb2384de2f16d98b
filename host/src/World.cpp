// The world of the host stand-in: vessels, time, steps, input, focus and attachments.
#include "World.h"

#if defined(_WIN32)
#  include <direct.h>
#  include <windows.h>
#else
#  include <dlfcn.h>
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

namespace host {

Error::Error(const std::string& f, int l, const std::string& m)
    : std::runtime_error(f + ":" + std::to_string(l) + ": " + m), file(f), line(l), message(m) {}

static std::string stopText(const std::string& file, int line, const std::string& reason) {
    std::string where = file.empty() ? "" : file + ":" + std::to_string(line) + ": ";
    return where + "the simulator would stop here: " + reason;
}

Stop::Stop(const std::string& f, int l, const std::string& r)
    : std::runtime_error(stopText(f, l, r)), file(f), line(l), reason(r) {}

Listener::~Listener() = default;

double ThrusterGroup::level() const { return thrusters.empty() ? 0.0 : thrusters.front()->level; }

double Vessel::mass() const {
    double m = emptyMass;
    for (const auto& p : propellants) m += p->mass;
    return m;
}

namespace detail {

World& world() {
    // Never destroyed: vessels of loaded modules must not be torn down after their module.
    static World* w = new World;
    return *w;
}

bool valid(OBJHANDLE h) {
    if (!h) return false;
    World& w = world();
    return w.live.count(h) != 0 && !asVessel(h)->deleted;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
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

std::string formatNumber(double d) {
    char buf[40];
    for (int prec = 15; prec <= 17; ++prec) {
        std::snprintf(buf, sizeof buf, "%.*g", prec, d);
        if (std::strtod(buf, nullptr) == d) break;
    }
    return buf;
}

std::string formatAngle(double rad) {
    // The file holds degrees; pick the shortest text whose reading gives back the same radians,
    // so a saved attitude reloads exactly and "10" stays "10".
    char buf[40];
    const double deg = rad * DEG;
    for (int prec = 15; prec <= 17; ++prec) {
        std::snprintf(buf, sizeof buf, "%.*g", prec, deg);
        if (std::strtod(buf, nullptr) * RAD == rad) break;
    }
    if (std::strcmp(buf, "-0") == 0) return "0";
    return buf;
}

VESSEL2* callbacks(Vessel& v) {
    if (!v.iface || v.iface->Version() < 1) return nullptr;
    return static_cast<VESSEL2*>(v.iface);
}

void updateRotation(Vessel& v) { v.rot = rotationFromAngles(v.arot); }

void list(Vessel* v) {
    World& w = world();
    v->index = w.vessels.size();
    w.vessels.push_back(v);
    w.byName[v->name] = v;
}

static void unlist(Vessel* v) {
    World& w = world();
    auto it = std::find(w.vessels.begin(), w.vessels.end(), v);
    if (it == w.vessels.end()) return;
    w.vessels.erase(it);
    for (size_t i = 0; i < w.vessels.size(); ++i) w.vessels[i]->index = i;
    auto n = w.byName.find(v->name);
    if (n != w.byName.end() && n->second == v) w.byName.erase(n);
}

// Releases the module object (or the host's own VESSEL2) of a vessel.
static void destroyInterface(Vessel& v) {
    VESSEL* iface = v.iface;
    v.iface = nullptr;
    if (!iface) return;
    try {
        if (v.hostOwnsIface) {
            // The host made it as a plain VESSEL2, so that is its full type.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdelete-non-virtual-dtor"
            delete static_cast<VESSEL2*>(iface);
#pragma GCC diagnostic pop
        }
        else if (v.exitFn)
            v.exitFn(iface);
    } catch (...) {
    }
}

void applyStatus(Vessel& v, const VESSELSTATUS& s) {
    v.pos = s.rpos;
    v.vel = s.rvel;
    v.vrot = s.vrot;
    v.arot = s.arot;
    v.status = s.status;
    updateRotation(v);
    if (v.defaultPropellant && s.fuel >= 0.0 && std::isfinite(s.fuel))
        v.defaultPropellant->mass = std::min(1.0, s.fuel) * v.defaultPropellant->maxMass;
    for (auto& g : v.groups) {
        double level = g->type == THGROUP_MAIN ? s.eng_main : g->type == THGROUP_HOVER ? s.eng_hovr : -1;
        if (level >= 0.0 && std::isfinite(level)) {
            for (Thruster* t : g->thrusters) t->level = std::min(1.0, level);
            if (level > 0.0) v.thrustMayFire = true;
        }
    }
}

static Module* moduleFor(const std::string& name, std::string* error) {
    World& w = world();
    std::string key = lower(name);
    auto r = w.registered.find(key);
    if (r != w.registered.end()) return &r->second;
    auto m = w.modules.find(key);
    if (m != w.modules.end()) return &m->second;
#if defined(_WIN32)
    std::string file = findFileNoCase("Modules/" + name + ".dll");
#else
    std::string file = findFileNoCase("Modules/" + name + ".so");
#endif
    if (file.empty()) {
        if (error) *error = "module " + name + " not found in Modules/";
        return nullptr;
    }
#if defined(_WIN32)
    // A full path, so that the loader takes this root's file and not one of the same name it
    // has loaded from elsewhere.
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(file.c_str(), sizeof full, full, nullptr);
    HMODULE lib = LoadLibraryA(n > 0 && n < sizeof full ? full : file.c_str());
    if (!lib) {
        if (error)
            *error = "cannot load module " + file + ": error " + std::to_string(GetLastError());
        return nullptr;
    }
    Module mod;
    mod.lib = lib;
    mod.init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(lib, "ovcInit")));
    mod.exit = reinterpret_cast<ExitFn>(reinterpret_cast<void*>(GetProcAddress(lib, "ovcExit")));
#else
    void* lib = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        if (error) *error = std::string("cannot load module ") + file + ": " + dlerror();
        return nullptr;
    }
    Module mod;
    mod.lib = lib;
    mod.init = reinterpret_cast<InitFn>(dlsym(lib, "ovcInit"));
    mod.exit = reinterpret_cast<ExitFn>(dlsym(lib, "ovcExit"));
#endif
    if (!mod.init || !mod.exit) {
        if (error) *error = "module " + file + " lacks ovcInit or ovcExit";
#if defined(_WIN32)
        FreeLibrary(lib);
#else
        dlclose(lib);
#endif
        return nullptr;
    }
    return &(w.modules[key] = mod);
}

// Builds the vessel object and its interface, up to clbkSetClassCaps; not listed yet.
Vessel* spawn(const std::string& name, const std::string& cls, std::string* error) {
    World& w = world();
    // A scenario writes a vessel as NAME:CLASS on one line, so a name it could not read back is
    // refused here rather than saved into a file that no longer loads.
    const bool unwritable =
        name.empty() || std::any_of(name.begin(), name.end(), [](char c) {
            return c == ':' || std::isspace(static_cast<unsigned char>(c)) != 0;
        });
    if (unwritable) {
        if (error) *error = "a vessel cannot be named '" + name + "' (empty, ':' or white space)";
        return nullptr;
    }
    if (w.byName.count(name)) {
        if (error) *error = "a vessel named '" + name + "' exists already";
        return nullptr;
    }
    const ClassInfo* ci = classInfo(cls, error);
    if (!ci) return nullptr;
    Module* mod = nullptr;
    if (!ci->module.empty()) {
        mod = moduleFor(ci->module, error);
        if (!mod) return nullptr;
    }
    auto owned = std::make_unique<Vessel>();
    Vessel* v = owned.get();
    w.owned.push_back(std::move(owned));
    w.live.insert(v);
    v->name = name;
    v->className = cls;
    v->moduleName = ci->module;
    v->createdInStep = w.inStep;
    if (w.inStep) w.createdInStep.push_back(v);
    updateRotation(*v);
    if (!mod) {
        // A module-less class takes what its class file says.
        v->flightModelAsked = w.flightModel;
        v->iface = new VESSEL2(v, w.flightModel);
        v->hostOwnsIface = true;
        if (ci->hasSize) v->size = ci->size;
        if (ci->hasMass) v->emptyMass = ci->mass;
        if (ci->hasMaxFuel) v->iface->CreatePropellantResource(ci->maxFuel);
        if (!ci->meshName.empty()) v->iface->AddMesh(ci->meshName.c_str());
        for (const ClassPoint& p : ci->points)
            v->iface->CreateAttachment(p.toParent, p.pos, p.dir, p.rot, p.id.c_str());
    } else {
        v->flightModelAsked = w.flightModel;
        v->exitFn = mod->exit;
        VESSEL* iface = nullptr;
        CallbackScope scope;
        try {
            iface = mod->init(v, w.flightModel);
        } catch (...) {
            iface = nullptr;
        }
        if (!iface) {
            if (error) *error = "module " + ci->module + " refused vessel '" + name + "'";
            v->deleted = true;
            w.live.erase(v);
            return nullptr;
        }
        v->iface = iface;
    }
    if (VESSEL2* cb = callbacks(*v)) {
        ScnFile cfg;
        cfg.path = ci->path;
        cfg.lines = &ci->lines;
        CallbackScope scope;
        try {
            cb->clbkSetClassCaps(&cfg);
        } catch (...) {
        }
    }
    return v;
}

void notifyFocus(Vessel* from, Vessel* to) {
    World& w = world();
    FocusRecord r;
    r.time = w.time;
    r.from = from;
    r.to = to;
    w.records.focusChanges.push_back(r);
    CallbackScope scope;
    if (from && valid(from))
        if (VESSEL2* cb = callbacks(*from)) cb->clbkFocusChanged(false, to, from);
    if (to)
        if (VESSEL2* cb = callbacks(*to)) cb->clbkFocusChanged(true, to, from);
    notify([&](Listener& l) { l.onFocusChanged(from, to); });
}

// ---------------------------------------------------------------------------------------------
// Attachments.

static MATRIX3 basis(const VECTOR3& dir, const VECTOR3& rotRef) {
    // Columns: dir, rot made orthogonal to dir, and their cross product.
    VECTOR3 a = unit(dir);
    VECTOR3 b = rotRef - a * dotp(rotRef, a);
    double lb = length(b);
    if (lb < 1e-12) {
        VECTOR3 t = std::fabs(a.x) < 0.9 ? _V(1, 0, 0) : _V(0, 1, 0);
        b = t - a * dotp(t, a);
        lb = length(b);
    }
    b = b / lb;
    VECTOR3 c = crossp(a, b);
    return _M(a.x, b.x, c.x, a.y, b.y, c.y, a.z, b.z, c.z);
}

static MATRIX3 mulMM(const MATRIX3& A, const MATRIX3& B) {
    MATRIX3 C;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double s = 0;
            for (int k = 0; k < 3; ++k) s += A.data[i * 3 + k] * B.data[k * 3 + j];
            C.data[i * 3 + j] = s;
        }
    return C;
}

static MATRIX3 transpose(const MATRIX3& A) {
    return _M(A.m11, A.m21, A.m31, A.m12, A.m22, A.m32, A.m13, A.m23, A.m33);
}

// Bit for bit, so that a cached result is reused only for exactly the inputs it came from.
template <class T>
static bool sameBits(const T& a, const T& b) {
    static_assert(sizeof(T) % sizeof(std::uint64_t) == 0, "compared in 64-bit words");
    const unsigned char* pa = reinterpret_cast<const unsigned char*>(&a);
    const unsigned char* pb = reinterpret_cast<const unsigned char*>(&b);
    for (std::size_t i = 0; i < sizeof(T); i += sizeof(std::uint64_t)) {
        std::uint64_t x, y;
        std::memcpy(&x, pa + i, sizeof x);
        std::memcpy(&y, pb + i, sizeof y);
        if (x != y) return false;
    }
    return true;
}

void placeChild(Vessel& child) {
    Attachment* pp = child.parentPoint;
    Attachment* cp = child.ownPoint;
    if (!pp || !cp) return;
    Vessel& parent = *pp->owner;
    Vessel::Placement& c = child.placement;
    if (c.parentPoint != pp || c.ownPoint != cp || !sameBits(c.parentRot, parent.rot)) {
        // Child axes relative to the parent: its point's direction turned opposite to the
        // parent's, its rotation reference along the parent's.
        MATRIX3 target = basis(-pp->dir, pp->rot);
        MATRIX3 own = basis(cp->dir, cp->rot);
        MATRIX3 rel = mulMM(target, transpose(own));
        c.arot = anglesFromRotation(mulMM(parent.rot, rel));
        c.rot = rotationFromAngles(c.arot);
        c.parentRot = parent.rot;
        c.parentPoint = pp;
        c.ownPoint = cp;
    }
    child.arot = c.arot;
    child.rot = c.rot;
    child.pos = parent.pos + mul(parent.rot, pp->pos) - mul(child.rot, cp->pos);
    child.vel = parent.vel;
    child.vrot = parent.vrot;
    for (auto& a : child.attachments)
        if (!a->toParent && a->attached) placeChild(*a->attached);
}

static bool isAncestor(const Vessel* candidate, const Vessel* v) {
    for (int guard = 0; v && guard < 100000; ++guard) {
        if (v == candidate) return true;
        v = v->parentPoint ? v->parentPoint->owner : nullptr;
    }
    return false;
}

// Every attach and detach is recorded and heard by the listeners alike.
static void recordAttachment(bool attached, Vessel& parent, Vessel& child, Attachment* pp,
                             Attachment* cp) {
    World& w = world();
    AttachRecord r;
    r.time = w.time;
    r.attach = attached;
    r.parent = &parent;
    r.child = &child;
    r.parentPoint = pp;
    r.childPoint = cp;
    w.records.attachments.push_back(r);
    notify([&](Listener& l) {
        if (attached) {
            l.onAttached(r);
        } else {
            l.onDetached(r);
        }
    });
}

bool attach(Vessel& parent, Attachment* pp, Vessel& child, Attachment* cp) {
    if (!pp || !cp || pp->owner != &parent || cp->owner != &child) return false;
    if (pp->toParent || !cp->toParent || pp->attached) return false;
    if (isAncestor(&child, &parent)) return false;
    if (child.parentPoint) detach(*child.parentPoint->owner, child.parentPoint, 0.0);
    pp->attached = &child;
    pp->mate = cp;
    cp->attached = &parent;
    cp->mate = pp;
    child.parentPoint = pp;
    child.ownPoint = cp;
    placeChild(child);
    recordAttachment(true, parent, child, pp, cp);
    return true;
}

bool detach(Vessel& parent, Attachment* pp, double vel) {
    if (!pp || pp->owner != &parent || pp->toParent || !pp->attached) return false;
    Vessel& child = *pp->attached;
    Attachment* cp = pp->mate;
    placeChild(child);
    child.vel = parent.vel + mul(parent.rot, unit(pp->dir)) * vel;
    pp->attached = nullptr;
    pp->mate = nullptr;
    if (cp) {
        cp->attached = nullptr;
        cp->mate = nullptr;
    }
    child.parentPoint = nullptr;
    child.ownPoint = nullptr;
    recordAttachment(false, parent, child, pp, cp);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Physics of one step: thrust, propellant, positions; children follow their parents.

static void flyFree(Vessel& v, double dt) {
    if (!v.thrustMayFire) {
        v.pos += v.vel * dt;
        return;
    }
    VECTOR3 force{};
    bool thrust = false;
    bool firing = false;
    for (auto& tp : v.thrusters) {
        Thruster& t = *tp;
        if (t.level <= 0.0) continue;
        firing = true;
        if (!t.resource || t.resource->mass <= 0.0) continue;
        double f = t.maxThrust * t.level;
        double share = 1.0;
        double isp = t.isp0 * t.resource->efficiency;
        if (isp > 0.0) {
            double use = f / isp * dt;
            if (use > t.resource->mass) {
                share = t.resource->mass / use;
                use = t.resource->mass;
            }
            t.resource->mass -= use;
            if (t.resource->mass < 0.0) t.resource->mass = 0.0;
        }
        force += t.dir * (f * share);
        thrust = true;
    }
    v.thrustMayFire = firing;
    if (thrust) {
        double m = v.mass();
        if (m > 0.0) v.vel += mul(v.rot, force) * (dt / m);
    }
    v.pos += v.vel * dt;
}

// One pass: a free vessel's flight depends on nothing attached to it, so its children can
// follow it before the next free vessel flies.
static void physics(double dt) {
    World& w = world();
    for (Vessel* v : w.vessels) {
        if (v->parentPoint || v->deleted) continue;
        flyFree(*v, dt);
        for (auto& a : v->attachments)
            if (!a->toParent && a->attached) placeChild(*a->attached);
    }
}

CallbackScope::CallbackScope() { ++world().callbackDepth; }
CallbackScope::~CallbackScope() {
    World& w = world();
    if (--w.callbackDepth == 0 && !w.inStep) destroyPending();
}

void destroyPending() {
    World& w = world();
    std::vector<Vessel*> doomed;
    doomed.swap(w.pendingDestroy);
    for (Vessel* v : doomed) destroyInterface(*v);
}

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
    w.meshCache.clear();
}

const std::string& root() { return world().root; }

void reset() {
    World& w = world();
    std::vector<Vessel*> all = w.vessels;
    for (Vessel* v : all) {
        for (auto& a : v->attachments) {
            a->attached = nullptr;
            a->mate = nullptr;
        }
        v->parentPoint = v->ownPoint = nullptr;
    }
    for (Vessel* v : all) {
        v->deleted = true;
        destroyInterface(*v);
    }
    destroyPending();
    // A vessel whose creation the host could not finish (out of memory before it was listed)
    // still holds its module object; release that too.
    for (auto& v : w.owned) {
        if (v->iface == nullptr) continue;
        v->deleted = true;
        destroyInterface(*v);
    }
    w.vessels.clear();
    w.createdInStep.clear();
    w.byName.clear();
    w.live.clear();
    w.owned.clear();
    w.retiredPropellants.clear();
    w.retiredGroups.clear();
    deleteOwnedMeshes();
    w.focus = nullptr;
    w.step = w.baseStep = 0;
    w.time = w.baseTime = 0.0;
    w.inStep = false;
    w.queuedKeys.clear();
    std::memset(w.held, 0, sizeof w.held);
    w.keyAccepted.clear();
    w.failCreateIn = w.failMeshIn = 0;
    w.records = Records();
    w.scenario = ScenarioInfo();
    w.layout.clear();
    w.flightModel = 1;
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

void step() {
    World& w = world();
    ++w.step;
    w.time = w.baseTime + static_cast<double>(w.step - w.baseStep) * w.dt;
    const double t = w.time;
    w.inStep = true;
    if (w.preStepHook) w.preStepHook(t);
    std::vector<int> keys;
    keys.swap(w.queuedKeys);
    for (int k : keys) sendKeyEvent(k);
    physics(w.dt);
    // Vessels created during this pass are stepped from the next step on. The list's storage
    // is kept from step to step (a step inside a step, if ever, takes storage of its own).
    std::vector<Vessel*> pass;
    pass.swap(w.stepPass);
    pass.assign(w.vessels.begin(), w.vessels.end());
    const double mjd = 51544.5 + t / 86400.0;
    for (Vessel* v : pass) {
        // The host's own interface of a module-less class has no callbacks of its own.
        if (v->deleted || v->createdInStep || v->hostOwnsIface) continue;
        if (VESSEL2* cb = callbacks(*v)) {
            try {
                cb->clbkPostStep(t, w.dt, mjd);
            } catch (...) {
            }
        }
    }
    for (Vessel* v : w.createdInStep) v->createdInStep = false;
    w.createdInStep.clear();
    pass.clear();
    w.stepPass.swap(pass);
    w.inStep = false;
    destroyPending();
    notify([&](Listener& l) { l.onStepEnd(t); });
}

void runFor(double seconds) {
    World& w = world();
    if (!(seconds > 0.0) || !std::isfinite(seconds)) return;
    long n = std::lround(seconds / w.dt);
    for (long i = 0; i < n; ++i) step();
}

OBJHANDLE createVessel(const std::string& name, const std::string& cls, const VESSELSTATUS& status) {
    World& w = world();
    CreationRecord rec;
    rec.time = w.time;
    rec.name = name;
    rec.className = cls;
    rec.status = status;
    Vessel* v = nullptr;
    bool forcedFailure = false;
    if (w.failCreateIn > 0 && --w.failCreateIn == 0) forcedFailure = true;
    if (!forcedFailure) {
        std::string error;
        v = spawn(name, cls, &error);
        if (v) {
            applyStatus(*v, status);
            list(v);
        }
    }
    rec.result = v;
    w.records.creations.push_back(rec);
    notify([&](Listener& l) { l.onVesselCreated(v, rec); });
    return v;
}

bool deleteVessel(OBJHANDLE h) {
    if (!valid(h)) return false;
    World& w = world();
    Vessel* v = asVessel(h);
    for (auto& a : v->attachments) {
        if (a->toParent && a->attached) detach(*a->attached, a->mate, 0.0);
        else if (!a->toParent && a->attached) detach(*v, a.get(), 0.0);
    }
    v->deleted = true;
    unlist(v);
    w.live.erase(v);
    notify([&](Listener& l) { l.onVesselDeleted(v); });
    if (w.focus == v) {
        Vessel* next = w.vessels.empty() ? nullptr : w.vessels.front();
        w.focus = next;
        notifyFocus(v, next);
    }
    w.pendingDestroy.push_back(v);
    if (!w.inStep && w.callbackDepth == 0) destroyPending();
    return true;
}

const std::vector<Vessel*>& vessels() { return world().vessels; }

OBJHANDLE find(const std::string& name) {
    World& w = world();
    auto it = w.byName.find(name);
    return it == w.byName.end() ? nullptr : it->second;
}

const Vessel& vessel(OBJHANDLE h) { return *asVessel(h); }

OBJHANDLE focus() { return world().focus; }

void setFocus(OBJHANDLE h) {
    World& w = world();
    if (!valid(h) || w.focus == h) return;
    Vessel* old = w.focus;
    w.focus = asVessel(h);
    notifyFocus(old, w.focus);
}

VESSELSTATUS defaultStatus() {
    VESSELSTATUS s;
    std::memset(&s, 0, sizeof s);
    s.fuel = 1.0;
    return s;
}

MATRIX3 rotationFromAngles(const VECTOR3& a) {
    const double ca = std::cos(a.x), sa = std::sin(a.x);
    const double cb = std::cos(a.y), sb = std::sin(a.y);
    const double cc = std::cos(a.z), sc = std::sin(a.z);
    MATRIX3 rxT = _M(1, 0, 0, 0, ca, sa, 0, -sa, ca);
    MATRIX3 ryT = _M(cb, 0, -sb, 0, 1, 0, sb, 0, cb);
    MATRIX3 rzT = _M(cc, sc, 0, -sc, cc, 0, 0, 0, 1);
    return mulMM(mulMM(rxT, ryT), rzT);
}

VECTOR3 anglesFromRotation(const MATRIX3& R) {
    const VECTOR3 gX = _V(R.m11, R.m21, R.m31);
    const VECTOR3 gY = _V(R.m12, R.m22, R.m32);
    const VECTOR3 gZ = _V(R.m13, R.m23, R.m33);
    const double lz = length(gZ);
    double s = lz > 0.0 ? -gZ.x / lz : 0.0;
    s = std::max(-1.0, std::min(1.0, s));
    return _V(std::atan2(gZ.y, gZ.z), std::asin(s), std::atan2(gY.x, gX.x));
}

void holdKey(int code, bool down) {
    if (code < 0 || code > 255) return;
    World& w = world();
    w.held[code] = down ? static_cast<char>(0x80) : 0;
}

int sendKeyEvent(int code) {
    World& w = world();
    KeyRecord r;
    r.time = w.time;
    r.vessel = w.focus;
    r.key = static_cast<DWORD>(code);
    if (w.focus && code >= 0 && code <= 255) {
        if (VESSEL2* cb = callbacks(*w.focus)) {
            char state[256];
            std::memcpy(state, w.held, sizeof state);
            state[code] = static_cast<char>(0x80);
            CallbackScope scope;
            try {
                r.result = cb->clbkConsumeBufferedKey(r.key, true, state);
            } catch (...) {
                r.result = 0;
            }
        }
    }
    w.records.keys.push_back(r);
    notify([&](Listener& l) { l.onKeyEvent(r); });
    return r.result;
}

void pressKey(int code) { world().queuedKeys.push_back(code); }

void failNthCreateVessel(int n) { world().failCreateIn = n > 0 ? n : 0; }
void failNthLoadMesh(int n) { world().failMeshIn = n > 0 ? n : 0; }

void visualCreated(OBJHANDLE h) {
    if (!valid(h)) return;
    CallbackScope scope;
    if (VESSEL2* cb = callbacks(*asVessel(h))) cb->clbkVisualCreated(h, 1);
}
void visualDestroyed(OBJHANDLE h) {
    if (!valid(h)) return;
    CallbackScope scope;
    if (VESSEL2* cb = callbacks(*asVessel(h))) cb->clbkVisualDestroyed(h, 0);
}

void registerModule(const std::string& moduleName, InitFn init, ExitFn exit) {
    Module m;
    m.init = init;
    m.exit = exit;
    world().registered[lower(moduleName)] = m;
}

}  // namespace host
