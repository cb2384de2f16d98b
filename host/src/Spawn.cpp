// Vessels coming and going: modules, creation in the simulator's order, the plain VESSEL of a
// vessel without a module, deletion and the focus.
#include "World.h"

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>

namespace host {
namespace detail {

namespace {

// The module a class file names, loaded while a vessel holds it; null (and logged as the
// simulator logs it) when it cannot be loaded. A module may lack either entry point.
Module* moduleFor(const std::string& name) {
    World& w = world();
    const std::string key = lower(name);
    auto r = w.registered.find(key);
    if (r != w.registered.end()) return &r->second;
    auto m = w.modules.find(key);
    if (m != w.modules.end()) return &m->second;
#if defined(_WIN32)
    const std::string file = findFileNoCase("Modules/" + name + ".dll");
#else
    const std::string file = findFileNoCase("Modules/" + name + ".so");
#endif
    Module mod;
    std::string why;
    if (file.empty()) {
        why = "no such file";
    } else {
#if defined(_WIN32)
        // A full path, so that the loader takes this root's file and not one of the same name it
        // has loaded from elsewhere.
        char full[MAX_PATH];
        DWORD n = GetFullPathNameA(file.c_str(), sizeof full, full, nullptr);
        HMODULE lib = LoadLibraryA(n > 0 && n < sizeof full ? full : file.c_str());
        if (!lib) why = "error " + std::to_string(GetLastError());
        mod.lib = lib;
        if (lib) {
            mod.init =
                reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(lib, "ovcInit")));
            mod.exit =
                reinterpret_cast<ExitFn>(reinterpret_cast<void*>(GetProcAddress(lib, "ovcExit")));
        }
#else
        void* lib = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!lib) why = dlerror();
        mod.lib = lib;
        if (lib) {
            mod.init = reinterpret_cast<InitFn>(dlsym(lib, "ovcInit"));
            mod.exit = reinterpret_cast<ExitFn>(dlsym(lib, "ovcExit"));
        }
#endif
    }
    if (!mod.lib) {
        w.records.log.push_back("Could not load vessel module: " + name + " (" + why + ")");
        return nullptr;
    }
    return &(w.modules[key] = mod);
}

// The simulator's vessels each load their module and free it when they go: the library leaves
// the process with the last vessel that holds it, and its statics start anew at the next load.
void releaseModule(const std::string& key) {
    if (key.empty()) return;
    World& w = world();
    auto m = w.modules.find(key);
    if (m == w.modules.end() || --m->second.users > 0) return;
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(m->second.lib));
#else
    dlclose(m->second.lib);
#endif
    w.modules.erase(m);
}

void unlist(VesselRecord* v) {
    World& w = world();
    if (!v->listed) return;
    // As the simulator does: the last vessel takes the place of the one that goes.
    const size_t i = v->index;
    w.vessels[i] = w.vessels.back();
    rec(w.vessels[i])->index = i;
    w.vessels.pop_back();
    auto n = w.byName.find(lower(v->name));
    if (n != w.byName.end()) {
        auto& same = n->second;
        same.erase(std::remove(same.begin(), same.end(), v), same.end());
        if (same.empty()) w.byName.erase(n);
    }
    w.live.erase(v);
    v->listed = false;
}

void notifyFocus(VesselRecord* from, VesselRecord* to) {
    World& w = world();
    FocusRecord r;
    r.time = w.time;
    r.from = from;
    r.to = to;
    w.records.focusChanges.push_back(r);
    if (from)
        if (VESSEL2* cb = callbacks(*from))
            callModule("clbkFocusChanged", *from, [&] { cb->clbkFocusChanged(false, to, from); });
    if (to)
        if (VESSEL2* cb = callbacks(*to))
            callModule("clbkFocusChanged", *to, [&] { cb->clbkFocusChanged(true, to, from); });
    notify([&](Listener& l) { l.onFocusChanged(from, to); });
}

}  // namespace

void findProxy(VesselRecord& v) {
    World& w = world();
    v.proxy = nullptr;
    double best = 1e100;
    for (size_t i = w.vessels.size(); i-- > 0;) {
        VesselRecord* o = rec(w.vessels[i]);
        if (o == &v) continue;
        const VECTOR3 d = o->pos - v.pos;
        const double d2 = dotp(d, d);
        if (d2 < best) {
            best = d2;
            v.proxy = o;
        }
    }
}

void updateProxies(double time) {
    for (Vessel* p : world().vessels) {
        VesselRecord& v = *rec(p);
        if (v.status != 0 || !(time > v.proxyTime)) continue;
        findProxy(v);
        v.proxyTime = time + 100.0;
    }
}

void list(VesselRecord* v) {
    World& w = world();
    // Placed among the vessels already listed, it looks for the nearest of them.
    findProxy(*v);
    v->index = w.vessels.size();
    w.vessels.push_back(v);
    w.byName[lower(v->name)].push_back(v);
    w.live.insert(v);
    v->listed = true;
}

namespace {

// The vessel's interface: the one its module's ovcInit makes, or the simulator's own.
void makeInterface(VesselRecord* v, const ClassInfo* ci) {
    World& w = world();
    const std::string& name = v->name;
    Module* mod = ci->hasModule ? moduleFor(ci->module) : nullptr;
    if (mod && mod->lib) {
        // The vessel holds the library until it goes, whether or not it gives an interface.
        ++mod->users;
        v->moduleKey = lower(ci->module);
    }
    VESSEL* iface = nullptr;
    if (mod && mod->init) {
        v->exitFn = mod->exit;
        w.spawning = v;
        callModule("ovcInit", *v, [&] {
            try {
                iface = mod->init(v, w.flightModel);
            } catch (...) {
                // The simulator ends there, before any ovcExit: the module's exit never sees the
                // plain interface the host makes below only to finish its own callback (an exit
                // that deletes what it is given as its own class would free it twice).
                v->exitFn = nullptr;
                w.spawning = nullptr;
                throw;
            }
        });
        w.spawning = nullptr;
    } else if (mod) {
        v->exitFn = mod->exit;
    }
    if (iface) {
        v->iface = iface;
        v->moduleMade = true;
    } else {
        // The simulator's own interface: version 0, no callbacks, its defaults for the state.
        if (ci->hasModule)
            w.records.log.push_back("Vessel " + name + ": module " + ci->module +
                                    " gave no interface; the vessel has none of its own");
        v->iface = new VESSEL(v, w.flightModel);
        v->plainInterface = true;
        v->flightModelGiven = w.flightModel;
    }
}

// The simulator's default attitude thrusters: six linear ones of the full thrust, then pairs of
// half the thrust at the vessel's size for pitch, yaw and bank, each in a group of its own.
void makeAttitudeSet(VesselRecord* v, double th) {
    VESSEL& iface = *v->iface;
    Propellant* tank = v->propellants.empty() ? nullptr : v->propellants.front().get();
    const double isp = v->defaultIsp;
    const struct {
        VECTOR3 dir;
        THGROUP_TYPE type;
    } linear[6] = {{{{0, 1, 0}}, THGROUP_ATT_UP},      {{{0, -1, 0}}, THGROUP_ATT_DOWN},
                   {{{-1, 0, 0}}, THGROUP_ATT_LEFT},   {{{1, 0, 0}}, THGROUP_ATT_RIGHT},
                   {{{0, 0, 1}}, THGROUP_ATT_FORWARD}, {{{0, 0, -1}}, THGROUP_ATT_BACK}};
    for (const auto& l : linear) {
        THRUSTER_HANDLE h = iface.CreateThruster(_V(0, 0, 0), l.dir, th, tank, isp);
        iface.CreateThrusterGroup(&h, 1, l.type);
    }
    const double s = v->size;
    const VECTOR3 fore = _V(0, 0, s), aft = _V(0, 0, -s), right = _V(s, 0, 0), left = _V(-s, 0, 0);
    const VECTOR3 up = _V(0, 1, 0), down = _V(0, -1, 0), lft = _V(-1, 0, 0), rgt = _V(1, 0, 0);
    const struct {
        VECTOR3 pos0, dir0, pos1, dir1;
        THGROUP_TYPE type;
    } rotation[6] = {{fore, up, aft, down, THGROUP_ATT_PITCHUP},
                     {fore, down, aft, up, THGROUP_ATT_PITCHDOWN},
                     {fore, lft, aft, rgt, THGROUP_ATT_YAWLEFT},
                     {fore, rgt, aft, lft, THGROUP_ATT_YAWRIGHT},
                     {right, up, left, down, THGROUP_ATT_BANKLEFT},
                     {left, up, right, down, THGROUP_ATT_BANKRIGHT}};
    for (const auto& r : rotation) {
        THRUSTER_HANDLE h[2] = {iface.CreateThruster(r.pos0, r.dir0, 0.5 * th, tank, isp),
                                iface.CreateThruster(r.pos1, r.dir1, 0.5 * th, tank, isp)};
        iface.CreateThrusterGroup(h, 2, r.type);
    }
}

// The generic keys of a class file after the module's own set-up, in the simulator's order: a
// base class's file first (its keys then overridden or added to by this one's). False where
// the simulator stops (recorded).
bool applyClassKeys(VesselRecord* v, const ClassInfo* ci, int depth = 0) {
    if (!ci->baseClass.empty()) {
        // Each base file is read in full, its own base first: a chain that comes back to a file
        // runs the simulator out of stack.
        if (depth > 64) {
            stopHere(ci->path, 0,
                     "vessel '" + v->name + "': its BaseClass chain comes back to itself");
            return false;
        }
        const ClassInfo* base = classFile("Config/" + ci->baseClass + ".cfg");
        if (base && !applyClassKeys(v, base, depth + 1)) return false;
    }
    if (ci->hasMeshName) {
        Mesh* m = loadGlobalMesh(ci->meshName);
        if (!m) {
            stopHere(ci->path, 0,
                     "vessel '" + v->name + "': its mesh '" + ci->meshName + "' cannot be loaded");
            return false;
        }
        v->iface->AddMesh(static_cast<MESHHANDLE>(m));
    }
    if (ci->hasEnableFocus) v->enableFocus = ci->enableFocus;
    if (ci->hasSize) v->size = ci->size;
    if (ci->hasMass) v->emptyMass = ci->mass;
    if (ci->hasPmi) v->pmi = ci->pmi;
    if (ci->hasXpdr) {
        v->hasXpdr = true;
        if (ci->hasXpdrStep) v->xpdrStep = ci->xpdrStep;
    }
    for (const auto& r : ci->resources) v->iface->CreatePropellantResource(r.first, -1.0, r.second);
    if (v->propellants.empty() && ci->hasMaxFuel) v->iface->CreatePropellantResource(ci->maxFuel);
    if (ci->hasIsp) v->defaultIsp = ci->isp;
    static const THGROUP_TYPE engine[3] = {THGROUP_MAIN, THGROUP_RETRO, THGROUP_HOVER};
    static const VECTOR3 engineDir[3] = {{{0, 0, 1}}, {{0, 0, -1}}, {{0, 1, 0}}};
    for (int e = 0; e < 3; ++e) {
        if (!ci->hasThrust[e]) continue;
        ThrusterGroup* g = groupOf(*v, engine[e], true);
        if (g->thrusters.empty()) {
            Propellant* tank = v->propellants.empty() ? nullptr : v->propellants.front().get();
            THRUSTER_HANDLE th = v->iface->CreateThruster(_V(0, 0, 0), engineDir[e], ci->thrust[e],
                                                          tank, v->defaultIsp);
            v->iface->CreateThrusterGroup(&th, 1, engine[e]);
        } else if (g->thrusters.size() == 1) {
            g->thrusters.front()->maxThrust = ci->thrust[e];
        }
    }
    if (ci->hasAttThrust) makeAttitudeSet(v, ci->attThrust);
    if (ci->hasTouchdown) {
        // Given as points, with the simulator's fixed stiffness and damping, not derived from
        // the mass as for a module's three points.
        for (int i = 0; i < 3; ++i) {
            v->touchdown[i] = ci->touchdown[i];
            v->dyn.stiffness[i] = 1e6;
            v->dyn.damping[i] = 1e5;
        }
    }
    if (ci->hasCw) std::copy(ci->cw, ci->cw + 4, v->cw);
    if (ci->hasCrossSections) v->crossSections = ci->crossSections;
    if (ci->hasRotDrag) v->rotDrag = ci->rotDrag;
    if (ci->hasCameraOffset) v->cameraOffset = ci->cameraOffset;
    auto addDock = [v](const ClassDock& d) {
        auto port = std::make_unique<host::DockPort>();
        port->owner = v;
        port->pos = d.pos;
        port->dir = d.dir;
        port->rot = d.rot;
        port->ids = d.ids;
        port->idsStep = d.idsStep;
        v->docks.push_back(std::move(port));
    };
    if (ci->hasDock) {
        if (v->docks.empty()) {
            addDock(ci->dock);
        } else {
            v->docks.front()->pos = ci->dock.pos;
            v->docks.front()->dir = ci->dock.dir;
            v->docks.front()->rot = ci->dock.rot;
        }
    }
    for (const ClassDock& d : ci->docks) addDock(d);
    for (const ClassPoint& p : ci->points)
        v->iface->CreateAttachment(p.toParent, p.pos, p.dir, p.rot, p.id.c_str());
    return true;
}

// Moments of inertia nobody set come from the size, as the simulator's set-up derives them.
void defaultInertia(VesselRecord* v) {
    if (v->pmi.x < 0.0) v->pmi.x = 2.0 * v->size;
    if (v->pmi.y < 0.0) v->pmi.y = 2.0 * v->size;
    if (v->pmi.z < 0.0) v->pmi.z = v->size;
}

}  // namespace

VesselRecord* spawn(const std::string& name, const std::string& cls, const std::string& file,
                    int line) {
    World& w = world();
    const ClassInfo* ci = classInfo(cls);
    if (!ci) {
        stopHere(file, line,
                 "no class file for vessel '" + name + "': neither Config/Vessels/" + cls +
                     ".cfg nor Config/" + cls + ".cfg");
        return nullptr;
    }
    auto owned = std::make_unique<VesselRecord>();
    VesselRecord* v = owned.get();
    w.owned.push_back(std::move(owned));
    v->name = name;
    v->className = cls;
    v->moduleName = ci->module;
    v->flightModelAsked = w.flightModel;
    updateRotation(*v);
    makeInterface(v, ci);
    if (VESSEL2* cb = callbacks(*v)) {
        ScnFile cfg;
        cfg.own.path = ci->path;
        cfg.own.lines = ci->lines;
        cfg.in = &cfg.own;
        callModule("clbkSetClassCaps", *v, [&] { cb->clbkSetClassCaps(&cfg); });
    }
    if (w.stop) return v;

    // The generic keys of the class file, after the module's own set-up.
    if (!applyClassKeys(v, ci)) return nullptr;
    defaultInertia(v);
    return v;
}

// Unlisted vessels are destroyed once no module code is running: a module may delete the
// vessel whose callback it is in.
void destroyDoomed() {
    World& w = world();
    while (!w.doomed.empty()) {
        VesselRecord* v = w.doomed.front();
        w.doomed.erase(w.doomed.begin());
        VESSEL* iface = v->iface;
        v->iface = nullptr;
        if (!iface) continue;
        ++w.callbackDepth;
        try {
            // The module's exit receives what its vessel had, the plain VESSEL included.
            if (v->exitFn) v->exitFn(iface);
        } catch (const std::exception& e) {
            moduleThrew("ovcExit", *v, e.what());
        } catch (...) {
            moduleThrew("ovcExit", *v, nullptr);
        }
        --w.callbackDepth;
        if (v->plainInterface) delete iface;
        releaseModule(v->moduleKey);
    }
}

void setFocusTo(VesselRecord* v) {
    World& w = world();
    if (v == w.focus) return;
    VesselRecord* old = w.focus;
    w.previousFocus = old;
    w.focus = v;
    notifyFocus(old, v);
}

void killNow(VesselRecord* v) {
    World& w = world();
    if (!v->listed) return;
    if (v == w.focus && v->proxy && !v->proxy->killPending) {
        // Its proxy first, whether or not that one may take the focus.
        setFocusTo(v->proxy);
    } else if (v == w.focus) {
        // Else the nearest other vessel that may take the focus.
        VesselRecord* next = nullptr;
        double best = 1e20;
        for (Vessel* o : w.vessels) {
            VesselRecord* c = rec(o);
            if (c == v || c->killPending || !c->enableFocus) continue;
            const double d = dist(v->pos, c->pos);
            if (d < best) {
                best = d;
                next = c;
            }
        }
        if (!next) {
            stopHere("", 0,
                     "vessel '" + v->name +
                         "' had the focus and was deleted, and no other vessel can take it");
            return;
        }
        setFocusTo(next);
    }
    if (v == w.previousFocus) w.previousFocus = nullptr;
    // Vessels whose proxy this was look again at their next step.
    for (Vessel* o : w.vessels) {
        VesselRecord* r = rec(o);
        if (r->proxy != v) continue;
        r->proxy = nullptr;
        r->proxyTime = w.time - 1.0;
    }
    notify([&](Listener& l) { l.onVesselDeleted(v); });
    if (v->composite ||
        std::any_of(v->docks.begin(), v->docks.end(),
                    [](const std::unique_ptr<host::DockPort>& d) { return d->mate; }))
        undock(*v, ALLDOCKS, nullptr, 0.0);
    if (v->ownPoint) detachFromParent(*v, 0.0);
    for (auto& a : v->attachments)
        if (!a->toParent && a->attached) detachChild(*v, a.get(), 0.0);
    unlist(v);
    w.doomed.push_back(v);
}

// Marks the vessel for deletion; outside a step and a module's callback it goes at once,
// otherwise with the step's deletions or when the callback has returned.
void askDeletion(VesselRecord* v) {
    World& w = world();
    v->killPending = true;
    w.anyKillPending = true;
    if (!w.inStep && w.callbackDepth == 0) {
        killNow(v);
        destroyDoomed();
        throwIfStopped();
    }
}

void killPending() {
    World& w = world();
    if (!w.anyKillPending) return;
    w.anyKillPending = false;
    for (size_t i = w.vessels.size(); i-- > 0;) {
        if (i >= w.vessels.size()) continue;
        VesselRecord* v = rec(w.vessels[i]);
        if (!v->killPending) continue;
        killNow(v);
        throwIfStopped();
    }
}

}  // namespace detail

using namespace detail;

OBJHANDLE createVessel(const std::string& name, const std::string& cls,
                       const VESSELSTATUS& status) {
    World& w = world();
    throwIfStopped();
    CreationRecord record;
    record.time = w.time;
    record.name = name;
    record.className = cls;
    record.status = status;
    VesselRecord* v = spawn(name, cls, "", 0);
    if (v && !w.stop) {
        applyStatus(*v, status);
        list(v);
    }
    if (!v || w.stop) {
        // The simulator stops here; the module that asked goes on with a handle that leads
        // nowhere until its callback returns.
        record.result = &w.stopped;
        w.records.creations.push_back(record);
        throwIfStopped();
        return &w.stopped;
    }
    record.result = v;
    w.records.creations.push_back(record);
    notify([&](Listener& l) { l.onVesselCreated(v, record); });
    if (VESSEL2* cb = callbacks(*v))
        callModule("clbkPostCreation", *v, [&] { cb->clbkPostCreation(); });
    return v;
}

bool deleteVessel(OBJHANDLE h) {
    throwIfStopped();
    if (!valid(h)) return false;
    askDeletion(rec(h));
    return true;
}

void setFocus(OBJHANDLE h) {
    throwIfStopped();
    if (valid(h)) setFocusTo(rec(h));
}

}  // namespace host

using namespace host;
using namespace host::detail;

OBJHANDLE oapiCreateVessel(const char* name, const char* classname, const VESSELSTATUS& status) {
    if (!name) {
        stopHere("", 0, "oapiCreateVessel was given no name");
        return &world().stopped;
    }
    // Without a class the simulator takes the name for it.
    return createVessel(name, classname ? classname : name, status);
}

bool oapiDeleteVessel(OBJHANDLE hVessel, OBJHANDLE /*hAlternativeCameraTarget*/) {
    // The camera target is all the second handle changes, and there is no camera here.
    if (!valid(hVessel)) {
        stopHere("", 0, "oapiDeleteVessel was given a handle that is no vessel");
        return true;
    }
    askDeletion(rec(hVessel));
    return true;
}
