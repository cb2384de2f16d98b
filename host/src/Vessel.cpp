// The SDK's vessel classes, backed by the host's vessel objects.
#include "World.h"

#include <algorithm>
#include <cstring>

using namespace host;
using namespace host::detail;

namespace {

Vessel& V(OBJHANDLE h) { return *static_cast<Vessel*>(h); }

template <class T>
T* findIn(const std::vector<std::unique_ptr<T>>& list, const void* h) {
    for (const auto& p : list)
        if (p.get() == h) return p.get();
    return nullptr;
}

double clamp01(double x) { return x < 0.0 ? 0.0 : x > 1.0 ? 1.0 : x; }

ThrusterGroup* groupOfType(Vessel& v, THGROUP_TYPE t) {
    for (auto& g : v.groups)
        if (g->type == t) return g.get();
    return nullptr;
}

void setGroupLevel(Vessel& v, ThrusterGroup* g, double level) {
    if (!g) return;
    level = clamp01(level);
    for (Thruster* t : g->thrusters) t->level = level;
    if (!(level <= 0.0)) v.thrustMayFire = true;
    notify([&](Listener& l) { l.onThrusterGroupLevel(&v, g->type, level); });
}

}  // namespace

// ---------------------------------------------------------------------------------------------

VESSEL::VESSEL(OBJHANDLE hVessel, int fmodel)
    : hVessel_(hVessel), flightmodel_(static_cast<short>(fmodel)), version_(0) {
    if (world().live.count(hVessel)) V(hVessel).flightModelGiven = fmodel;
}
VESSEL::~VESSEL() {}

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-qualifiers"
#endif
const OBJHANDLE VESSEL::GetHandle() const { return hVessel_; }
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

char* VESSEL::GetName() const { return const_cast<char*>(V(hVessel_).name.c_str()); }
char* VESSEL::GetClassNameA() const { return const_cast<char*>(V(hVessel_).className.c_str()); }
int VESSEL::GetFlightModel() const { return flightmodel_; }
int VESSEL::Version() const { return version_; }

void VESSEL::SetSize(double size) const { V(hVessel_).size = size; }
double VESSEL::GetSize() const { return V(hVessel_).size; }
void VESSEL::SetEmptyMass(double m) const { V(hVessel_).emptyMass = m; }
double VESSEL::GetEmptyMass() const { return V(hVessel_).emptyMass; }
void VESSEL::SetPMI(const VECTOR3& pmi) const { V(hVessel_).pmi = pmi; }
void VESSEL::SetCrossSections(const VECTOR3& cs) const { V(hVessel_).crossSections = cs; }
void VESSEL::SetCW(double zp, double zn, double x, double y) const {
    double* cw = V(hVessel_).cw;
    cw[0] = zp;
    cw[1] = zn;
    cw[2] = x;
    cw[3] = y;
}
void VESSEL::SetRotDrag(const VECTOR3& rd) const { V(hVessel_).rotDrag = rd; }
void VESSEL::SetPitchMomentScale(double s) const { V(hVessel_).pitchMomentScale = s; }
void VESSEL::SetBankMomentScale(double s) const { V(hVessel_).bankMomentScale = s; }
void VESSEL::SetTouchdownPoints(const VECTOR3& a, const VECTOR3& b, const VECTOR3& c) const {
    Vessel& v = V(hVessel_);
    v.touchdown[0] = a;
    v.touchdown[1] = b;
    v.touchdown[2] = c;
}
void VESSEL::SetCameraOffset(const VECTOR3& co) const { V(hVessel_).cameraOffset = co; }

// Propellant -----------------------------------------------------------------------------------

PROPELLANT_HANDLE VESSEL::CreatePropellantResource(double maxmass, double mass, double eff) const {
    Vessel& v = V(hVessel_);
    auto p = std::make_unique<Propellant>();
    p->maxMass = maxmass < 0.0 ? 0.0 : maxmass;
    p->mass = mass < 0.0 ? p->maxMass : std::min(mass, p->maxMass);
    p->efficiency = eff;
    Propellant* r = p.get();
    v.propellants.push_back(std::move(p));
    if (!v.defaultPropellant) v.defaultPropellant = r;
    return r;
}

void VESSEL::DelPropellantResource(PROPELLANT_HANDLE& ph) const {
    Vessel& v = V(hVessel_);
    auto it = std::find_if(v.propellants.begin(), v.propellants.end(),
                           [&](const std::unique_ptr<Propellant>& p) { return p.get() == ph; });
    if (it == v.propellants.end()) return;
    Propellant* p = it->get();
    for (auto& t : v.thrusters)
        if (t->resource == p) t->resource = nullptr;
    if (v.defaultPropellant == p) v.defaultPropellant = nullptr;
    world().retiredPropellants.push_back(std::move(*it));
    v.propellants.erase(it);
    ph = nullptr;
}

// A tank holds between nothing and its maximum, whatever it is asked to hold.
static void fill(Propellant& p, double mass) { p.mass = std::max(0.0, std::min(mass, p.maxMass)); }

void VESSEL::SetDefaultPropellantResource(PROPELLANT_HANDLE ph) const {
    Vessel& v = V(hVessel_);
    if (Propellant* p = findIn(v.propellants, ph)) v.defaultPropellant = p;
}
DWORD VESSEL::GetPropellantCount() const { return static_cast<DWORD>(V(hVessel_).propellants.size()); }
PROPELLANT_HANDLE VESSEL::GetPropellantHandleByIndex(DWORD idx) const {
    Vessel& v = V(hVessel_);
    return idx < v.propellants.size() ? v.propellants[idx].get() : nullptr;
}
double VESSEL::GetPropellantMass(PROPELLANT_HANDLE ph) const {
    Propellant* p = findIn(V(hVessel_).propellants, ph);
    return p ? p->mass : 0.0;
}
double VESSEL::GetPropellantMaxMass(PROPELLANT_HANDLE ph) const {
    Propellant* p = findIn(V(hVessel_).propellants, ph);
    return p ? p->maxMass : 0.0;
}
void VESSEL::SetPropellantMass(PROPELLANT_HANDLE ph, double mass) const {
    if (Propellant* p = findIn(V(hVessel_).propellants, ph)) fill(*p, mass);
}
double VESSEL::GetMass() const { return V(hVessel_).mass(); }
double VESSEL::GetFuelMass() const {
    Propellant* p = V(hVessel_).defaultPropellant;
    return p ? p->mass : 0.0;
}
double VESSEL::GetMaxFuelMass() const {
    Propellant* p = V(hVessel_).defaultPropellant;
    return p ? p->maxMass : 0.0;
}
void VESSEL::SetFuelMass(double m) const {
    if (Propellant* p = V(hVessel_).defaultPropellant) fill(*p, m);
}

// Thrusters -------------------------------------------------------------------------------------

THRUSTER_HANDLE VESSEL::CreateThruster(const VECTOR3& pos, const VECTOR3& dir, double maxth0,
                                       PROPELLANT_HANDLE hp, double isp0, double isp_ref,
                                       double p_ref) const {
    Vessel& v = V(hVessel_);
    auto t = std::make_unique<Thruster>();
    t->pos = pos;
    t->dir = dir;
    t->maxThrust = maxth0;
    t->resource = findIn(v.propellants, hp);
    t->isp0 = isp0;
    t->ispRef = isp_ref;
    t->pRef = p_ref;
    Thruster* r = t.get();
    v.thrusters.push_back(std::move(t));
    return r;
}
DWORD VESSEL::GetThrusterCount() const { return static_cast<DWORD>(V(hVessel_).thrusters.size()); }
THRUSTER_HANDLE VESSEL::GetThrusterHandleByIndex(DWORD idx) const {
    Vessel& v = V(hVessel_);
    return idx < v.thrusters.size() ? v.thrusters[idx].get() : nullptr;
}
double VESSEL::GetThrusterLevel(THRUSTER_HANDLE th) const {
    Thruster* t = findIn(V(hVessel_).thrusters, th);
    return t ? t->level : 0.0;
}
void VESSEL::SetThrusterLevel(THRUSTER_HANDLE th, double level) const {
    Vessel& v = V(hVessel_);
    if (Thruster* t = findIn(v.thrusters, th)) {
        t->level = clamp01(level);
        if (!(t->level <= 0.0)) v.thrustMayFire = true;
    }
}

THGROUP_HANDLE VESSEL::CreateThrusterGroup(THRUSTER_HANDLE* th, int nth, THGROUP_TYPE thgt) const {
    Vessel& v = V(hVessel_);
    auto g = std::make_unique<ThrusterGroup>();
    g->type = thgt;
    if (th && nth > 0) g->thrusters.reserve(static_cast<size_t>(nth));
    for (int i = 0; th && i < nth; ++i)
        if (Thruster* t = findIn(v.thrusters, th[i])) g->thrusters.push_back(t);
    ThrusterGroup* r = g.get();
    bool replaced = false;
    if (thgt != THGROUP_USER) {
        for (auto& old : v.groups) {
            if (old->type == thgt) {
                world().retiredGroups.push_back(std::move(old));
                old = std::move(g);
                replaced = true;
                break;
            }
        }
    }
    if (!replaced) v.groups.push_back(std::move(g));
    notify([&](Listener& l) { l.onThrusterGroupCreated(&v, thgt); });
    return r;
}
THGROUP_HANDLE VESSEL::GetThrusterGroupHandle(THGROUP_TYPE thgt) const {
    return groupOfType(V(hVessel_), thgt);
}
double VESSEL::GetThrusterGroupLevel(THGROUP_HANDLE thg) const {
    ThrusterGroup* g = findIn(V(hVessel_).groups, thg);
    return g ? g->level() : 0.0;
}
double VESSEL::GetThrusterGroupLevel(THGROUP_TYPE thgt) const {
    ThrusterGroup* g = groupOfType(V(hVessel_), thgt);
    return g ? g->level() : 0.0;
}
void VESSEL::SetThrusterGroupLevel(THGROUP_HANDLE thg, double level) const {
    Vessel& v = V(hVessel_);
    setGroupLevel(v, findIn(v.groups, thg), level);
}
void VESSEL::SetThrusterGroupLevel(THGROUP_TYPE thgt, double level) const {
    Vessel& v = V(hVessel_);
    setGroupLevel(v, groupOfType(v, thgt), level);
}

// Visual effects --------------------------------------------------------------------------------

UINT VESSEL::AddExhaust(THRUSTER_HANDLE th, double lscale, double wscale, SURFHANDLE tex) const {
    Vessel& v = V(hVessel_);
    Exhaust e;
    e.thruster = findIn(v.thrusters, th);
    e.lscale = lscale;
    e.wscale = wscale;
    e.tex = tex;
    v.exhausts.push_back(e);
    return static_cast<UINT>(v.exhausts.size() - 1);
}
UINT VESSEL::AddExhaust(THRUSTER_HANDLE th, double lscale, double wscale, const VECTOR3& pos,
                        const VECTOR3& dir, SURFHANDLE tex) const {
    Vessel& v = V(hVessel_);
    Exhaust e;
    e.thruster = findIn(v.thrusters, th);
    e.lscale = lscale;
    e.wscale = wscale;
    e.hasPosDir = true;
    e.pos = pos;
    e.dir = dir;
    e.tex = tex;
    v.exhausts.push_back(e);
    return static_cast<UINT>(v.exhausts.size() - 1);
}

static PSTREAM_HANDLE addStream(Vessel& v, ParticleStream::Kind kind, THRUSTER_HANDLE th,
                                const VECTOR3* pos, PARTICLESTREAMSPEC* pss) {
    auto s = std::make_unique<ParticleStream>();
    s->kind = kind;
    s->thruster = th ? findIn(v.thrusters, th) : nullptr;
    if (pos) {
        s->hasPos = true;
        s->pos = *pos;
    }
    if (pss) {
        s->hasSpec = true;
        std::memcpy(&s->spec, pss, sizeof s->spec);
    }
    ParticleStream* r = s.get();
    v.streams.push_back(std::move(s));
    return r;
}
PSTREAM_HANDLE VESSEL::AddExhaustStream(THRUSTER_HANDLE th, PARTICLESTREAMSPEC* pss) const {
    return addStream(V(hVessel_), ParticleStream::EXHAUST, th, nullptr, pss);
}
PSTREAM_HANDLE VESSEL::AddExhaustStream(THRUSTER_HANDLE th, const VECTOR3& pos,
                                        PARTICLESTREAMSPEC* pss) const {
    return addStream(V(hVessel_), ParticleStream::EXHAUST, th, &pos, pss);
}
PSTREAM_HANDLE VESSEL::AddReentryStream(PARTICLESTREAMSPEC* pss) const {
    return addStream(V(hVessel_), ParticleStream::REENTRY, nullptr, nullptr, pss);
}
void VESSEL::SetReentryTexture(SURFHANDLE tex, double plimit, double lscale, double wscale) const {
    ReentryTexture& r = V(hVessel_).reentry;
    r.set = true;
    r.tex = tex;
    r.plimit = plimit;
    r.lscale = lscale;
    r.wscale = wscale;
}

// Meshes ----------------------------------------------------------------------------------------

UINT VESSEL::AddMesh(MESHHANDLE hMesh, const VECTOR3* ofs) const {
    Vessel& v = V(hVessel_);
    MeshSlot s;
    s.handle = hMesh;
    if (hMesh) s.meshName = static_cast<Mesh*>(hMesh)->name;
    if (ofs) s.offset = *ofs;
    UINT idx = static_cast<UINT>(v.meshes.size());
    v.meshes.push_back(s);
    MeshCall c;
    c.kind = MeshCall::ADD;
    c.handle = s.handle;
    c.meshName = s.meshName;
    c.offset = s.offset;
    c.index = idx;
    v.meshCalls.push_back(c);
    return idx;
}
UINT VESSEL::AddMesh(const char* meshname, const VECTOR3* ofs) const {
    return AddMesh(meshname ? static_cast<MESHHANDLE>(loadMesh(meshname)) : nullptr, ofs);
}
void VESSEL::ClearMeshes() const { ClearMeshes(true); }
void VESSEL::ClearMeshes(bool retainAnim) const {
    Vessel& v = V(hVessel_);
    v.meshes.clear();
    MeshCall c;
    c.kind = MeshCall::CLEAR;
    c.retainAnim = retainAnim;
    v.meshCalls.push_back(c);
}
UINT VESSEL::GetMeshCount() const { return static_cast<UINT>(V(hVessel_).meshes.size()); }
void VESSEL::SetMeshVisibilityMode(UINT idx, WORD mode) const {
    Vessel& v = V(hVessel_);
    if (idx < v.meshes.size()) v.meshes[idx].visibility = mode;
    MeshCall c;
    c.kind = MeshCall::VISIBILITY;
    c.index = idx;
    c.mode = mode;
    v.meshCalls.push_back(c);
}

// Animations ------------------------------------------------------------------------------------

UINT VESSEL::CreateAnimation(double initial_state) const {
    Vessel& v = V(hVessel_);
    auto a = std::make_unique<Animation>();
    a->initialState = a->state = initial_state;
    v.animations.push_back(std::move(a));
    return static_cast<UINT>(v.animations.size() - 1);
}
ANIMATIONCOMPONENT_HANDLE VESSEL::AddAnimationComponent(UINT anim, double state0, double state1,
                                                        MGROUP_TRANSFORM* trans,
                                                        ANIMATIONCOMPONENT_HANDLE parent) const {
    Vessel& v = V(hVessel_);
    if (anim >= v.animations.size()) return nullptr;
    auto c = std::make_unique<AnimationComponent>();
    c->state0 = state0;
    c->state1 = state1;
    c->transform = trans;
    c->parent = static_cast<AnimationComponent*>(parent);
    AnimationComponent* r = c.get();
    v.animations[anim]->components.push_back(std::move(c));
    return r;
}
bool VESSEL::SetAnimation(UINT anim, double state) const {
    Vessel& v = V(hVessel_);
    if (anim >= v.animations.size()) return false;
    v.animations[anim]->state = state;
    notify([&](Listener& l) { l.onAnimationState(&v, anim, state); });
    return true;
}
double VESSEL::GetAnimation(UINT anim) const {
    Vessel& v = V(hVessel_);
    return anim < v.animations.size() ? v.animations[anim]->state : 0.0;
}

// Attachments -----------------------------------------------------------------------------------

ATTACHMENTHANDLE VESSEL::CreateAttachment(bool toparent, const VECTOR3& pos, const VECTOR3& dir,
                                          const VECTOR3& rot, const char* id, bool loose) const {
    Vessel& v = V(hVessel_);
    auto a = std::make_unique<Attachment>();
    a->owner = &v;
    a->toParent = toparent;
    a->pos = pos;
    a->dir = dir;
    a->rot = rot;
    a->id = id ? id : "";
    a->loose = loose;
    Attachment* r = a.get();
    v.attachments.push_back(std::move(a));
    return r;
}
DWORD VESSEL::AttachmentCount(bool toparent) const {
    DWORD n = 0;
    for (const auto& a : V(hVessel_).attachments)
        if (a->toParent == toparent) ++n;
    return n;
}
ATTACHMENTHANDLE VESSEL::GetAttachmentHandle(bool toparent, DWORD i) const {
    for (const auto& a : V(hVessel_).attachments)
        if (a->toParent == toparent && i-- == 0) return a.get();
    return nullptr;
}
DWORD VESSEL::GetAttachmentIndex(ATTACHMENTHANDLE att) const {
    Attachment* a = findIn(V(hVessel_).attachments, att);
    if (!a) return static_cast<DWORD>(-1);
    DWORD n = 0;
    for (const auto& b : V(hVessel_).attachments) {
        if (b.get() == a) return n;
        if (b->toParent == a->toParent) ++n;
    }
    return static_cast<DWORD>(-1);
}
const char* VESSEL::GetAttachmentId(ATTACHMENTHANDLE att) const {
    Attachment* a = findIn(V(hVessel_).attachments, att);
    return a ? a->id.c_str() : "";
}
void VESSEL::GetAttachmentParams(ATTACHMENTHANDLE att, VECTOR3& pos, VECTOR3& dir, VECTOR3& rot) const {
    if (Attachment* a = findIn(V(hVessel_).attachments, att)) {
        pos = a->pos;
        dir = a->dir;
        rot = a->rot;
    }
}
OBJHANDLE VESSEL::GetAttachmentStatus(ATTACHMENTHANDLE att) const {
    Attachment* a = findIn(V(hVessel_).attachments, att);
    return a ? a->attached : nullptr;
}
bool VESSEL::AttachChild(OBJHANDLE child, ATTACHMENTHANDLE attachment,
                         ATTACHMENTHANDLE child_attachment) const {
    Vessel& v = V(hVessel_);
    if (!valid(child) || child == hVessel_) return false;
    Attachment* pp = findIn(v.attachments, attachment);
    Attachment* cp = findIn(V(child).attachments, child_attachment);
    return attach(v, pp, V(child), cp);
}
bool VESSEL::DetachChild(ATTACHMENTHANDLE attachment, double vel) const {
    Vessel& v = V(hVessel_);
    return detach(v, findIn(v.attachments, attachment), vel);
}

// State and frames ------------------------------------------------------------------------------

void VESSEL::GetStatus(VESSELSTATUS& s) const {
    Vessel& v = V(hVessel_);
    std::memset(&s, 0, sizeof s);
    s.rpos = v.pos;
    s.rvel = v.vel;
    s.vrot = v.vrot;
    s.arot = v.arot;
    Propellant* p = v.defaultPropellant;
    s.fuel = p && p->maxMass > 0.0 ? p->mass / p->maxMass : 0.0;
    if (ThrusterGroup* g = groupOfType(v, THGROUP_MAIN)) s.eng_main = g->level();
    if (ThrusterGroup* g = groupOfType(v, THGROUP_HOVER)) s.eng_hovr = g->level();
    s.status = v.status;
}
void VESSEL::DefSetState(const VESSELSTATUS* status) const {
    if (status) applyStatus(V(hVessel_), *status);
}
void VESSEL::GetGlobalPos(VECTOR3& pos) const { pos = V(hVessel_).pos; }
void VESSEL::GetGlobalVel(VECTOR3& vel) const { vel = V(hVessel_).vel; }
void VESSEL::GetRotationMatrix(MATRIX3& R) const { R = V(hVessel_).rot; }
void VESSEL::Local2Global(const VECTOR3& local, VECTOR3& global) const {
    Vessel& v = V(hVessel_);
    global = mul(v.rot, local) + v.pos;
}
void VESSEL::Global2Local(const VECTOR3& global, VECTOR3& local) const {
    Vessel& v = V(hVessel_);
    local = tmul(v.rot, global - v.pos);
}
void VESSEL::Local2Rel(const VECTOR3& local, VECTOR3& rel) const { Local2Global(local, rel); }
void VESSEL::GlobalRot(const VECTOR3& rloc, VECTOR3& rglob) const { rglob = mul(V(hVessel_).rot, rloc); }

// VESSEL2 / VESSEL3 default callbacks -----------------------------------------------------------

VESSEL2::VESSEL2(OBJHANDLE hVessel, int fmodel) : VESSEL(hVessel, fmodel) { version_ = 1; }

void VESSEL2::clbkSetClassCaps(FILEHANDLE) {}
void VESSEL2::clbkSaveState(FILEHANDLE scn) { SaveDefaultState(scn); }
void VESSEL2::clbkLoadStateEx(FILEHANDLE scn, void* status) {
    char* line = nullptr;
    while (oapiReadScenario_nextline(scn, line)) ParseScenarioLineEx(line, status);
}
void VESSEL2::clbkSetStateEx(const void*) {}
void VESSEL2::clbkPostCreation() {}
void VESSEL2::clbkFocusChanged(bool, OBJHANDLE, OBJHANDLE) {}
void VESSEL2::clbkPreStep(double, double, double) {}
void VESSEL2::clbkPostStep(double, double, double) {}
bool VESSEL2::clbkPlaybackEvent(double, double, const char*, const char*) { return false; }
void VESSEL2::clbkVisualCreated(VISHANDLE, int) {}
void VESSEL2::clbkVisualDestroyed(VISHANDLE, int) {}
void VESSEL2::clbkRCSMode(int) {}
void VESSEL2::clbkADCtrlMode(DWORD) {}
void VESSEL2::clbkHUDMode(int) {}
void VESSEL2::clbkMFDMode(int, int) {}
void VESSEL2::clbkNavMode(int, bool) {}
void VESSEL2::clbkDockEvent(int, OBJHANDLE) {}
void VESSEL2::clbkAnimate(double) {}
int VESSEL2::clbkConsumeDirectKey(char*) { return 0; }
int VESSEL2::clbkConsumeBufferedKey(DWORD, bool, char*) { return 0; }
bool VESSEL2::clbkLoadGenericCockpit() { return false; }
bool VESSEL2::clbkLoadPanel(int) { return false; }
bool VESSEL2::clbkPanelMouseEvent(int, int, int, int) { return false; }
bool VESSEL2::clbkPanelRedrawEvent(int, int, SURFHANDLE) { return false; }
bool VESSEL2::clbkLoadVC(int) { return false; }
bool VESSEL2::clbkVCMouseEvent(int, int, VECTOR3&) { return false; }
bool VESSEL2::clbkVCRedrawEvent(int, int, SURFHANDLE) { return false; }

VESSEL3::VESSEL3(OBJHANDLE hVessel, int fmodel) : VESSEL2(hVessel, fmodel) { version_ = 2; }
bool VESSEL3::clbkPanelMouseEvent(int, int, int, int, void*) { return false; }
bool VESSEL3::clbkPanelRedrawEvent(int, int, SURFHANDLE, void*) { return false; }
int VESSEL3::clbkGeneric(int, int, void*) { return 0; }
bool VESSEL3::clbkLoadPanel2D(int, PANELHANDLE, DWORD, DWORD) { return false; }
void VESSEL3::clbkGetRadiationForce(const VECTOR3&, VECTOR3& F, VECTOR3& pos) {
    F = _V(0, 0, 0);
    pos = _V(0, 0, 0);
}
