// The SDK's vessel classes, backed by the host's vessel records. As in the simulator, a handle
// is used as given (one of another vessel included); a null one, which the simulator would
// dereference, stops it.
#include "World.h"

#include <algorithm>
#include <cstring>

using host::Attachment;
using host::Mesh;
using host::MeshCall;
using host::MeshSlot;
using host::Propellant;
using host::Thruster;
using host::ThrusterGroup;
using host::detail::VesselRecord;
using host::detail::callModule;
using host::detail::notify;
using host::detail::R;
using host::detail::rec;
using host::detail::stopHere;
using host::detail::world;

namespace {

template <class T>
T* need(void* handle, const char* function) {
    if (!handle) stopHere("", 0, std::string(function) + " was given a null handle");
    return static_cast<T*>(handle);
}

host::Vessel* asVessel(OBJHANDLE h) { return static_cast<host::Vessel*>(h); }

double clamp01(double x) { return x < 0.0 ? 0.0 : x > 1.0 ? 1.0 : x; }

Propellant* defaultOf(const VesselRecord& v) {
    if (v.defaultPropellant) return v.defaultPropellant;
    return v.propellants.empty() ? nullptr : v.propellants.front().get();
}

// Thruster group types: the fifteen of the simulator's table, and user types from THGROUP_USER.
bool validType(THGROUP_TYPE t) {
    const int i = static_cast<int>(t);
    return (i >= 0 && i <= THGROUP_ATT_BACK) || i >= THGROUP_USER;
}

void setGroupLevel(VesselRecord& v, ThrusterGroup& g, double level) {
    level = clamp01(level);
    for (Thruster* t : g.thrusters) host::detail::setThrusterLevel(*t, level);
    notify([&](host::Listener& l) { l.onThrusterGroupLevel(&v, g.type, level); });
}

bool knownMesh(const Mesh* m) {
    auto& w = world();
    if (w.ownedMeshes.count(const_cast<Mesh*>(m))) return true;
    for (const auto& g : w.meshes)
        if (g.get() == m) return true;
    return false;
}

void addMeshSlot(VesselRecord& v, MESHHANDLE handle, const std::string& name, const VECTOR3* ofs,
                 UINT& index) {
    MeshSlot s;
    s.handle = handle;
    s.meshName = name;
    if (ofs) s.offset = *ofs;
    index = static_cast<UINT>(v.meshes.size());
    v.meshes.push_back(s);
    MeshCall c;
    c.kind = MeshCall::ADD;
    c.handle = s.handle;
    c.meshName = s.meshName;
    c.offset = s.offset;
    c.index = index;
    v.meshCalls.push_back(c);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

VESSEL::VESSEL(OBJHANDLE hVessel, int fmodel)
    : vessel(static_cast<Vessel*>(hVessel)),
      flightmodel(static_cast<short>(fmodel)),
      version(0) {
    auto& w = world();
    if (hVessel == w.spawning || host::detail::valid(hVessel))
        rec(hVessel)->flightModelGiven = fmodel;
}

#if defined(__GNUC__)
#  pragma GCC diagnostic push
#  pragma GCC diagnostic ignored "-Wignored-qualifiers"
#endif
const OBJHANDLE VESSEL::GetHandle() const { return vessel; }
#if defined(__GNUC__)
#  pragma GCC diagnostic pop
#endif

char* VESSEL::GetName() const { return const_cast<char*>(R(vessel).name.c_str()); }
char* VESSEL::GetClassNameA() const { return const_cast<char*>(R(vessel).className.c_str()); }
int VESSEL::GetFlightModel() const { return R(vessel).flightModelAsked; }

void VESSEL::SetSize(double size) const { R(vessel).size = size; }
double VESSEL::GetSize() const { return R(vessel).size; }
void VESSEL::SetEmptyMass(double m) const {
    VesselRecord& v = R(vessel);
    v.emptyMass = m;
    host::detail::updateMass(v);
}
double VESSEL::GetEmptyMass() const { return R(vessel).emptyMass; }
void VESSEL::SetPMI(const VECTOR3& pmi) const { R(vessel).pmi = pmi; }
void VESSEL::SetCrossSections(const VECTOR3& cs) const { R(vessel).crossSections = cs; }
void VESSEL::SetCW(double zp, double zn, double x, double y) const {
    double* cw = R(vessel).cw;
    cw[0] = zp;
    cw[1] = zn;
    cw[2] = x;
    cw[3] = y;
}
void VESSEL::SetRotDrag(const VECTOR3& rd) const { R(vessel).rotDrag = rd; }
void VESSEL::SetPitchMomentScale(double s) const { R(vessel).pitchMomentScale = s; }
// Obsolete in the simulator's interface: it says so in its log. Its build with Microsoft's
// compiler names the function with its class.
void VESSEL::SetBankMomentScale(double s) const {
    host::detail::logObsolete("VESSEL::SetBankMomentScale");
    R(vessel).bankMomentScale = s;
}
void VESSEL::SetCameraOffset(const VECTOR3& co) const { R(vessel).cameraOffset = co; }

// Propellant -----------------------------------------------------------------------------------

PROPELLANT_HANDLE VESSEL::CreatePropellantResource(double maxmass, double mass, double eff) const {
    VesselRecord& v = R(vessel);
    auto p = std::make_unique<Propellant>();
    p->maxMass = maxmass;
    p->mass = mass >= 0.0 ? mass : maxmass;
    p->efficiency = eff;
    Propellant* r = p.get();
    // Listed first: should the list fail to grow, no pointer is left to the freed resource.
    v.propellants.push_back(std::move(p));
    if (v.propellants.size() == 1) v.defaultPropellant = r;
    return r;
}

void VESSEL::DelPropellantResource(PROPELLANT_HANDLE& ph) const {
    VesselRecord& v = R(vessel);
    for (auto& t : v.thrusters)
        if (t->resource == ph) t->resource = nullptr;
    if (v.defaultPropellant == ph) v.defaultPropellant = nullptr;
    auto it = std::find_if(v.propellants.begin(), v.propellants.end(),
                           [&](const std::unique_ptr<Propellant>& p) { return p.get() == ph; });
    if (it != v.propellants.end()) {
        world().retiredPropellants.push_back(std::move(*it));
        v.propellants.erase(it);
    }
    ph = nullptr;
}

void VESSEL::SetDefaultPropellantResource(PROPELLANT_HANDLE ph) const {
    R(vessel).defaultPropellant = static_cast<Propellant*>(ph);
}
DWORD VESSEL::GetPropellantCount() const {
    return static_cast<DWORD>(R(vessel).propellants.size());
}
PROPELLANT_HANDLE VESSEL::GetPropellantHandleByIndex(DWORD idx) const {
    VesselRecord& v = R(vessel);
    return idx < v.propellants.size() ? v.propellants[idx].get() : nullptr;
}
double VESSEL::GetPropellantMass(PROPELLANT_HANDLE ph) const {
    Propellant* p = need<Propellant>(ph, "GetPropellantMass");
    return p ? p->mass : 0.0;
}
double VESSEL::GetPropellantMaxMass(PROPELLANT_HANDLE ph) const {
    Propellant* p = need<Propellant>(ph, "GetPropellantMaxMass");
    return p ? p->maxMass : 0.0;
}
void VESSEL::SetPropellantMass(PROPELLANT_HANDLE ph, double mass) const {
    // Taken as given: no clamp to the tank.
    if (Propellant* p = need<Propellant>(ph, "SetPropellantMass")) {
        p->mass = mass;
        host::detail::updateMass(R(vessel));
    }
}
double VESSEL::GetMass() const { return R(vessel).mass(); }
double VESSEL::GetFuelMass() const {
    Propellant* p = defaultOf(R(vessel));
    return p ? p->mass : 0.0;
}
double VESSEL::GetMaxFuelMass() const {
    Propellant* p = defaultOf(R(vessel));
    return p ? p->maxMass : 0.0;
}
void VESSEL::SetFuelMass(double m) const {
    VesselRecord& v = R(vessel);
    if (Propellant* p = defaultOf(v)) {
        p->mass = std::min(m, p->maxMass);
        host::detail::updateMass(v);
    }
}

// Thrusters -------------------------------------------------------------------------------------

THRUSTER_HANDLE VESSEL::CreateThruster(const VECTOR3& pos, const VECTOR3& dir, double maxth0,
                                       PROPELLANT_HANDLE hp, double isp0, double isp_ref,
                                       double p_ref) const {
    VesselRecord& v = R(vessel);
    auto t = std::make_unique<Thruster>();
    t->owner = &v;
    t->pos = pos;
    t->dir = dir;
    t->maxThrust = maxth0;
    t->resource = static_cast<Propellant*>(hp);
    t->isp0 = isp0 > 0.0 ? isp0 : v.defaultIsp;
    t->ispRef = isp_ref;
    t->pRef = p_ref;
    Thruster* r = t.get();
    v.thrusters.push_back(std::move(t));
    return r;
}
DWORD VESSEL::GetThrusterCount() const { return static_cast<DWORD>(R(vessel).thrusters.size()); }
THRUSTER_HANDLE VESSEL::GetThrusterHandleByIndex(DWORD idx) const {
    VesselRecord& v = R(vessel);
    return idx < v.thrusters.size() ? v.thrusters[idx].get() : nullptr;
}
double VESSEL::GetThrusterLevel(THRUSTER_HANDLE th) const {
    Thruster* t = need<Thruster>(th, "GetThrusterLevel");
    return t ? t->level : 0.0;
}
void VESSEL::SetThrusterLevel(THRUSTER_HANDLE th, double level) const {
    Thruster* t = need<Thruster>(th, "SetThrusterLevel");
    if (!t) return;
    t->levelPermanent = level;
    if (t->resource && t->resource->mass != 0.0) t->level = std::min(1.0, level);
    if (t->owner) static_cast<VesselRecord*>(t->owner)->thrustMayFire = true;
}

THGROUP_HANDLE VESSEL::CreateThrusterGroup(THRUSTER_HANDLE* th, int nth, THGROUP_TYPE thgt) const {
    VesselRecord& v = R(vessel);
    if (!validType(thgt)) {
        stopHere("", 0, "CreateThrusterGroup was given the invalid type " + std::to_string(thgt));
        return nullptr;
    }
    if (nth < 0 || (nth > 0 && !th)) {
        stopHere(
            "", 0,
            "CreateThrusterGroup was given no thrusters for a count of " + std::to_string(nth));
        return nullptr;
    }
    for (int i = 0; i < nth; ++i)
        if (!th[i]) {
            stopHere("", 0, "CreateThrusterGroup was given a null thruster handle");
            return nullptr;
        }
    ThrusterGroup* g = host::detail::groupOf(v, thgt, true);
    g->thrusters.clear();
    for (int i = 0; i < nth; ++i) g->thrusters.push_back(static_cast<Thruster*>(th[i]));
    notify([&](host::Listener& l) { l.onThrusterGroupCreated(&v, thgt); });
    return g;
}
THGROUP_HANDLE VESSEL::GetThrusterGroupHandle(THGROUP_TYPE thgt) const {
    if (!validType(thgt)) return nullptr;
    // The simulator's table holds every standard type from the start.
    return host::detail::groupOf(R(vessel), thgt, thgt < THGROUP_USER);
}
double VESSEL::GetThrusterGroupLevel(THGROUP_HANDLE thg) const {
    ThrusterGroup* g = need<ThrusterGroup>(thg, "GetThrusterGroupLevel");
    return g ? g->level() : 0.0;
}
double VESSEL::GetThrusterGroupLevel(THGROUP_TYPE thgt) const {
    ThrusterGroup* g = validType(thgt) ? host::detail::groupOf(R(vessel), thgt, false) : nullptr;
    return g ? g->level() : 0.0;
}
void VESSEL::SetThrusterGroupLevel(THGROUP_HANDLE thg, double level) const {
    if (ThrusterGroup* g = need<ThrusterGroup>(thg, "SetThrusterGroupLevel"))
        setGroupLevel(R(vessel), *g, level);
}
void VESSEL::SetThrusterGroupLevel(THGROUP_TYPE thgt, double level) const {
    VesselRecord& v = R(vessel);
    if (ThrusterGroup* g = validType(thgt) ? host::detail::groupOf(v, thgt, false) : nullptr)
        setGroupLevel(v, *g, level);
}

// Visual effects --------------------------------------------------------------------------------

UINT VESSEL::AddExhaust(THRUSTER_HANDLE th, double lscale, double wscale, SURFHANDLE tex) const {
    VesselRecord& v = R(vessel);
    host::Exhaust e;
    e.thruster = static_cast<Thruster*>(th);
    e.lscale = lscale;
    e.wscale = wscale;
    e.tex = tex;
    v.exhausts.push_back(e);
    return static_cast<UINT>(v.exhausts.size() - 1);
}
UINT VESSEL::AddExhaust(THRUSTER_HANDLE th, double lscale, double wscale, const VECTOR3& pos,
                        const VECTOR3& dir, SURFHANDLE tex) const {
    VesselRecord& v = R(vessel);
    host::Exhaust e;
    e.thruster = static_cast<Thruster*>(th);
    e.lscale = lscale;
    e.wscale = wscale;
    e.hasPosDir = true;
    e.pos = pos;
    e.dir = dir;
    e.tex = tex;
    v.exhausts.push_back(e);
    return static_cast<UINT>(v.exhausts.size() - 1);
}

static PSTREAM_HANDLE addStream(VesselRecord& v, host::ParticleStream::Kind kind,
                                THRUSTER_HANDLE th, const VECTOR3* pos, PARTICLESTREAMSPEC* pss) {
    auto s = std::make_unique<host::ParticleStream>();
    s->kind = kind;
    s->thruster = static_cast<Thruster*>(th);
    if (pos) {
        s->hasPos = true;
        s->pos = *pos;
    }
    if (pss) {
        s->hasSpec = true;
        std::memcpy(&s->spec, pss, sizeof s->spec);
    }
    host::ParticleStream* r = s.get();
    v.streams.push_back(std::move(s));
    return r;
}
PSTREAM_HANDLE VESSEL::AddExhaustStream(THRUSTER_HANDLE th, PARTICLESTREAMSPEC* pss) const {
    return addStream(R(vessel), host::ParticleStream::EXHAUST, th, nullptr, pss);
}
PSTREAM_HANDLE VESSEL::AddExhaustStream(THRUSTER_HANDLE th, const VECTOR3& pos,
                                        PARTICLESTREAMSPEC* pss) const {
    return addStream(R(vessel), host::ParticleStream::EXHAUST, th, &pos, pss);
}
PSTREAM_HANDLE VESSEL::AddReentryStream(PARTICLESTREAMSPEC* pss) const {
    return addStream(R(vessel), host::ParticleStream::REENTRY, nullptr, nullptr, pss);
}
void VESSEL::SetReentryTexture(SURFHANDLE tex, double plimit, double lscale, double wscale) const {
    host::ReentryTexture& r = R(vessel).reentry;
    r.set = true;
    r.tex = tex;
    r.plimit = plimit;
    r.lscale = lscale;
    r.wscale = wscale;
}

// Meshes ----------------------------------------------------------------------------------------

UINT VESSEL::AddMesh(MESHHANDLE hMesh, const VECTOR3* ofs) const {
    const Mesh* m = static_cast<const Mesh*>(hMesh);
    UINT index = 0;
    addMeshSlot(R(vessel), hMesh, m && knownMesh(m) ? m->name : std::string(), ofs, index);
    return index;
}
UINT VESSEL::AddMesh(const char* meshname, const VECTOR3* ofs) const {
    // The name is copied into a 64-character field; the mesh is loaded when a visual needs it.
    if (!meshname || std::strlen(meshname) >= 64) {
        stopHere("", 0,
                 meshname ? std::string("AddMesh was given a mesh name of 64 characters or more")
                          : std::string("AddMesh was given a null mesh name"));
        return 0;
    }
    UINT index = 0;
    addMeshSlot(R(vessel), nullptr, meshname, ofs, index);
    return index;
}
void VESSEL::ClearMeshes() const { ClearMeshes(true); }
void VESSEL::ClearMeshes(bool retainAnim) const {
    VesselRecord& v = R(vessel);
    MeshCall c;
    c.kind = MeshCall::CLEAR;
    c.retainAnim = retainAnim;
    v.meshCalls.push_back(c);
    if (v.meshes.empty()) return;  // the simulator does nothing then, animations kept
    v.meshes.clear();
    if (!retainAnim) {
        for (auto& a : v.animations) world().retiredAnimations.push_back(std::move(a));
        v.animations.clear();
    }
}
UINT VESSEL::GetMeshCount() const { return static_cast<UINT>(R(vessel).meshes.size()); }
void VESSEL::SetMeshVisibilityMode(UINT idx, WORD mode) const {
    VesselRecord& v = R(vessel);
    if (idx < v.meshes.size()) v.meshes[idx].visibility = mode;
    MeshCall c;
    c.kind = MeshCall::VISIBILITY;
    c.index = idx;
    c.mode = mode;
    v.meshCalls.push_back(c);
}

// Animations ------------------------------------------------------------------------------------

UINT VESSEL::CreateAnimation(double initial_state) const {
    VesselRecord& v = R(vessel);
    auto a = std::make_unique<host::Animation>();
    a->initialState = a->state = initial_state;
    v.animations.push_back(std::move(a));
    return static_cast<UINT>(v.animations.size() - 1);
}
ANIMATIONCOMPONENT_HANDLE VESSEL::AddAnimationComponent(UINT anim, double state0, double state1,
                                                        MGROUP_TRANSFORM* trans,
                                                        ANIMATIONCOMPONENT_HANDLE parent) const {
    VesselRecord& v = R(vessel);
    if (anim >= v.animations.size()) return nullptr;
    auto c = std::make_unique<host::AnimationComponent>();
    c->state0 = state0;
    c->state1 = state1;
    c->transform = trans;
    c->parent = static_cast<host::AnimationComponent*>(parent);
    host::AnimationComponent* r = c.get();
    v.animations[anim]->components.push_back(std::move(c));
    return r;
}
bool VESSEL::SetAnimation(UINT anim, double state) const {
    VesselRecord& v = R(vessel);
    if (anim >= v.animations.size()) return false;
    v.animations[anim]->state = state;
    notify([&](host::Listener& l) { l.onAnimationState(&v, anim, state); });
    return true;
}
double VESSEL::GetAnimation(UINT anim) const {
    VesselRecord& v = R(vessel);
    return anim < v.animations.size() ? v.animations[anim]->state : -1.0;
}

// Attachments -----------------------------------------------------------------------------------

ATTACHMENTHANDLE VESSEL::CreateAttachment(bool toparent, const VECTOR3& pos, const VECTOR3& dir,
                                          const VECTOR3& rot, const char* id, bool loose) const {
    VesselRecord& v = R(vessel);
    if (!id) {
        stopHere("", 0, "CreateAttachment was given a null id");
        return nullptr;
    }
    auto a = std::make_unique<Attachment>();
    a->owner = &v;
    a->toParent = toparent;
    a->pos = pos;
    a->dir = dir;
    a->rot = rot;
    a->id.assign(id, strnlen(id, 8));  // the simulator keeps eight characters of it
    a->loose = loose;
    Attachment* r = a.get();
    v.attachments.push_back(std::move(a));
    return r;
}
DWORD VESSEL::AttachmentCount(bool toparent) const {
    DWORD n = 0;
    for (const auto& a : R(vessel).attachments)
        if (a->toParent == toparent) ++n;
    return n;
}
ATTACHMENTHANDLE VESSEL::GetAttachmentHandle(bool toparent, DWORD i) const {
    for (const auto& a : R(vessel).attachments)
        if (a->toParent == toparent && i-- == 0) return a.get();
    return nullptr;
}
DWORD VESSEL::GetAttachmentIndex(ATTACHMENTHANDLE att) const {
    Attachment* a = need<Attachment>(att, "GetAttachmentIndex");
    if (!a) return static_cast<DWORD>(-1);
    return static_cast<DWORD>(host::detail::pointIndex(*asVessel(vessel), a));
}
const char* VESSEL::GetAttachmentId(ATTACHMENTHANDLE att) const {
    Attachment* a = need<Attachment>(att, "GetAttachmentId");
    return a ? a->id.c_str() : "";
}
void VESSEL::GetAttachmentParams(ATTACHMENTHANDLE att, VECTOR3& pos, VECTOR3& dir,
                                 VECTOR3& rot) const {
    if (Attachment* a = need<Attachment>(att, "GetAttachmentParams")) {
        pos = a->pos;
        dir = a->dir;
        rot = a->rot;
    }
}
OBJHANDLE VESSEL::GetAttachmentStatus(ATTACHMENTHANDLE att) const {
    Attachment* a = need<Attachment>(att, "GetAttachmentStatus");
    return a ? a->attached : nullptr;
}
bool VESSEL::AttachChild(OBJHANDLE child, ATTACHMENTHANDLE attachment,
                         ATTACHMENTHANDLE child_attachment) const {
    VesselRecord& v = R(vessel);
    if (!host::detail::valid(child)) {
        stopHere("", 0, "AttachChild was given a child that is no vessel");
        return false;
    }
    VesselRecord& c = *rec(child);
    // Points of either kind and of any vessel are linked as given.
    return host::detail::attach(v, static_cast<Attachment*>(attachment), c,
                                static_cast<Attachment*>(child_attachment), "", 0);
}
bool VESSEL::DetachChild(ATTACHMENTHANDLE attachment, double vel) const {
    Attachment* a = need<Attachment>(attachment, "DetachChild");
    if (!a) return false;
    return host::detail::detachChild(*static_cast<VesselRecord*>(a->owner), a, vel);
}

// Frames ----------------------------------------------------------------------------------------

// The global frame is the simulator's: its origin is not the reference body's centre, which
// moves through it (round the Sun), so a place in it and a place relative to the body are apart
// by the body's place at the same moment.
void VESSEL::GetGlobalPos(VECTOR3& pos) const { pos = seenState(R(vessel)).globalPos(); }
void VESSEL::GetGlobalVel(VECTOR3& vel) const { vel = seenState(R(vessel)).globalVel(); }
void VESSEL::GetRotationMatrix(MATRIX3& m) const { m = seenState(R(vessel)).rot; }
void VESSEL::Local2Global(const VECTOR3& local, VECTOR3& global) const {
    const host::detail::SeenState s = seenState(R(vessel));
    global = mul(s.rot, local) + s.globalPos();
}
void VESSEL::Global2Local(const VECTOR3& global, VECTOR3& local) const {
    const host::detail::SeenState s = seenState(R(vessel));
    local = tmul(s.rot, global - s.globalPos());
}
void VESSEL::Local2Rel(const VECTOR3& local, VECTOR3& rel) const {
    const host::detail::SeenState s = seenState(R(vessel));
    rel = mul(s.rot, local) + s.rpos;
}
void VESSEL::GlobalRot(const VECTOR3& rloc, VECTOR3& rglob) const {
    rglob = mul(seenState(R(vessel)).rot, rloc);
}

// VESSEL2 / VESSEL3 default callbacks -----------------------------------------------------------

VESSEL2::VESSEL2(OBJHANDLE hVessel, int fmodel) : VESSEL(hVessel, fmodel) { version = 1; }

void VESSEL2::clbkSetClassCaps(FILEHANDLE) {}
void VESSEL2::clbkSaveState(FILEHANDLE scn) { SaveDefaultState(scn); }
void VESSEL2::clbkLoadStateEx(FILEHANDLE scn, void* status) {
    if (auto* f = static_cast<host::detail::ScnFile*>(scn))
        host::detail::readDefaultState(*this, *f, status);
}
void VESSEL2::clbkSetStateEx(const void* status) {
    auto* ls = static_cast<const host::detail::LoadState*>(status);
    if (ls && ls->version == 2 && ls->magic == host::detail::LoadState::MAGIC)
        host::detail::applyLoadState(R(vessel), *const_cast<host::detail::LoadState*>(ls));
}
void VESSEL2::clbkPostCreation() {}
void VESSEL2::clbkFocusChanged(bool, OBJHANDLE, OBJHANDLE) {}
void VESSEL2::clbkPreStep(double, double, double) {}
void VESSEL2::clbkPostStep(double, double, double) {}
bool VESSEL2::clbkPlaybackEvent(double, double, const char*, const char*) { return false; }
void VESSEL2::clbkVisualCreated(VISHANDLE, int) {}
void VESSEL2::clbkVisualDestroyed(VISHANDLE, int) {}
void VESSEL2::clbkDrawHUD(int, const HUDPAINTSPEC*, HDC) {}
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

VESSEL3::VESSEL3(OBJHANDLE hVessel, int fmodel) : VESSEL2(hVessel, fmodel) { version = 2; }
bool VESSEL3::clbkPanelMouseEvent(int, int, int, int, void*) { return false; }
bool VESSEL3::clbkPanelRedrawEvent(int, int, SURFHANDLE, void*) { return false; }
int VESSEL3::clbkGeneric(int, int, void*) { return 0; }
bool VESSEL3::clbkLoadPanel2D(int, PANELHANDLE, DWORD, DWORD) { return false; }
bool VESSEL3::clbkDrawHUD(int, const HUDPAINTSPEC*, oapi::Sketchpad*) { return true; }
void VESSEL3::clbkRenderHUD(int, const HUDPAINTSPEC*, SURFHANDLE) {}
void VESSEL3::clbkGetRadiationForce(const VECTOR3& mflux, VECTOR3& F, VECTOR3& pos) {
    // A simple cross section (size squared) and albedo, no torque.
    const double size = R(vessel).size;
    F = mflux * (size * size * 1.5);
    pos = _V(0, 0, 0);
}
