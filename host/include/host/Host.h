// Control and inspection interface of the headless simulator stand-in.
//
// One world per process. Typical use in a test or in the runner:
//
//     host::setRoot(simDir);                     // chdir()s there: the simulator's working folder
//     host::reset();                             // no vessels, time 0
//     host::loadScenario("Scenarios/Tests/burn.scn");
//     OBJHANDLE h = host::find("Probe-1");
//     const host::Vessel& v = host::vessel(h);   // everything the module asked of the host
//     host::pressKey(OAPI_KEY_K);                // delivered at the end of the next step
//     host::runFor(5.0);
//     host::saveScenario("/tmp/out.scn");
//
// The host does what the simulator does, including where the simulator would stop: such a point
// throws host::Stop from the host function the caller is in (or, when a module's code is
// running, as soon as the module's callback has returned), and every world operation after it
// throws the same Stop until reset().
//
// OBJHANDLE is a host::Vessel*; the other SDK handles point to the records below (Propellant,
// Thruster, ThrusterGroup, ParticleStream, AnimationComponent, Attachment, Mesh). Those objects
// stay at their address until host::reset(), even when deleted or replaced (a deleted vessel is
// unlisted but its object lives on), so a handle kept by a module never dangles within a run.
// Entries of the plain vectors (meshes, exhausts, records) move as the vectors grow.
#ifndef HOST_HOST_H
#define HOST_HOST_H

#include "Orbitersdk.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#if defined(_WIN32)
#  ifdef ORBITER_HOST_BUILD
#    define HOST_API __declspec(dllexport)
#  else
#    define HOST_API __declspec(dllimport)
#  endif
#else
#  define HOST_API __attribute__((visibility("default")))
#endif

namespace host {

// A file the runner gave the host that cannot be read at all. what() is "FILE:LINE: MESSAGE"
// (line 0: the whole file).
class HOST_API Error : public std::runtime_error {
public:
    Error(const std::string& file, int line, const std::string& message);
    std::string file;
    int line;
    std::string message;
};

// The simulator would stop (terminate) at this point: the flight is over and nothing more may be
// saved. what() is "FILE:LINE: the simulator would stop here: REASON", without "FILE:LINE: "
// where no file is involved (file empty).
class HOST_API Stop : public std::runtime_error {
public:
    Stop(const std::string& file, int line, const std::string& reason);
    std::string file;
    int line;
    std::string reason;
};

// ---------------------------------------------------------------------------------------------
// Records of one vessel.

struct Vessel;

struct Propellant {
    double maxMass = 0.0;
    double mass = 0.0;
    double efficiency = 1.0;
};

// A thruster burns at `level`, which the step takes from its permanent level clamped to 0..1:
// F = maxThrust * level along dir, drawing F / (isp0 * efficiency) kg/s from its resource. A
// resource that is missing or empty gives no thrust and sets both levels to 0.
struct Thruster {
    Vessel* owner = nullptr;
    VECTOR3 pos{}, dir{};  // dir as given; the thrust acts along its unit vector
    double maxThrust = 0.0;
    Propellant* resource = nullptr;  // null: none given, or its resource was deleted
    double isp0 = 0.0;               // the vessel's default Isp where the module gave none
    double ispRef = 0.0, pRef = 0.0;
    double level = 0.0;
    double levelPermanent = 0.0;
};

// One group per type, made on first use and kept (a type defined again takes new thrusters).
struct ThrusterGroup {
    THGROUP_TYPE type = THGROUP_MAIN;
    std::vector<Thruster*> thrusters;
    // The mean level of its thrusters, 0 for an empty group.
    double level() const {
        double sum = 0.0;
        for (const Thruster* t : thrusters) sum += t->level;
        return thrusters.empty() ? 0.0 : sum / static_cast<double>(thrusters.size());
    }
};

struct Exhaust {
    Thruster* thruster = nullptr;
    double lscale = 0.0, wscale = 0.0;
    bool hasPosDir = false;  // the overload with its own position and direction was used
    VECTOR3 pos{}, dir{};
    SURFHANDLE tex = nullptr;
};

struct ParticleStream {
    enum Kind { EXHAUST, REENTRY } kind = EXHAUST;
    Thruster* thruster = nullptr;  // exhaust streams only
    bool hasPos = false;
    VECTOR3 pos{};
    bool hasSpec = false;  // false: the module passed null
    PARTICLESTREAMSPEC spec{};
};

struct ReentryTexture {
    bool set = false;
    SURFHANDLE tex = nullptr;
    double plimit = 0.0, lscale = 0.0, wscale = 0.0;
};

struct Mesh;  // a loaded mesh; MESHHANDLE is a Mesh*

struct MeshSlot {
    MESHHANDLE handle = nullptr;  // null where the mesh was added by file name
    std::string meshName;         // the file name given, or the name the handle was loaded under
    VECTOR3 offset{};
    WORD visibility = 1;
};

struct MeshCall {
    enum Kind { CLEAR, ADD, VISIBILITY } kind = CLEAR;
    MESHHANDLE handle = nullptr;  // ADD
    std::string meshName;         // ADD
    VECTOR3 offset{};             // ADD
    UINT index = 0;               // ADD: index given; VISIBILITY: index asked
    WORD mode = 0;                // VISIBILITY
    bool retainAnim = false;      // CLEAR
};

struct AnimationComponent {
    double state0 = 0.0, state1 = 1.0;
    MGROUP_TRANSFORM* transform = nullptr;  // the module's object, kept by reference
    AnimationComponent* parent = nullptr;
};

struct Animation {
    double initialState = 0.0;
    double state = 0.0;
    std::vector<std::unique_ptr<AnimationComponent>> components;
};

struct Attachment {
    Vessel* owner = nullptr;
    bool toParent = false;  // true: a point by which the owner hangs on a parent (P)
    VECTOR3 pos{}, dir{}, rot{};
    std::string id;  // at most 8 characters, as the simulator keeps it
    bool loose = false;
    Vessel* attached = nullptr;  // the child on a C point, the parent on a P point
    Attachment* mate = nullptr;  // the point on the other vessel
};

// An airfoil as created: `version` 0 takes an AirfoilCoeffFunc, 1 an AirfoilCoeffFuncEx (with the
// vessel and `context`), 2 an AirfoilCoeffFuncEx2 (align FORCE_AND_MOMENT).
struct Airfoil {
    int version = 0;
    AIRFOIL_ORIENTATION align = LIFT_VERTICAL;
    VECTOR3 ref{};
    AirfoilCoeffFunc cf = nullptr;  // of the type `version` says
    void* context = nullptr;
    double c = 0.0, S = 0.0, A = 0.0;  // chord, area (0: the projected cross section), aspect
};

struct ControlSurface {
    AIRCTRL_TYPE ctrl = AIRCTRL_ELEVATOR;
    VECTOR3 ref{};
    double area = 0.0, dCl = 0.0;
    int axis = AIRCTRL_AXIS_AUTO;  // resolved at creation
    UINT anim = static_cast<UINT>(-1);
};

// The deflection of each control-surface type: the permanent and transient targets, the level
// reached, and the time a full deflection takes.
struct ControlLevel {
    double ptgt = 0.0, ttgt = 0.0, curr = 0.0, delay = 1.0;
};

struct DragElement {
    const double* drag = nullptr;  // the module's level, read at every step
    double factor = 0.0;
    VECTOR3 ref{};
};

struct DockPort {
    Vessel* owner = nullptr;
    VECTOR3 pos{}, dir{}, rot{};
    Vessel* mate = nullptr;     // the vessel docked here, null when free
    DWORD mateDock = 0;         // the index of the mate's port it is docked at
    Vessel* pending = nullptr;  // a vessel whose port came within capture closing in
    // Its instrument docking system, as far as a save shows it: step and range in km.
    bool ids = false;
    long idsStep = 0;
    long idsRange = 20;
};

// What the host holds of a vessel and what its module asked of it. Read it; change it only
// through the SDK or the functions below. What every step reads comes last, next to the host's
// own bookkeeping of the vessel.
struct HOST_API Vessel {
    std::string name;
    std::string className;     // as written by the scenario or the caller
    std::string moduleName;    // as the class file names it, empty for a module-less class
    bool moduleMade = false;   // iface is what ovcInit gave; false: the simulator's plain VESSEL
    int flightModelAsked = 1;  // given to ovcInit
    int flightModelGiven = 1;  // given to the VESSEL constructor

    // The simulator's defaults where a class sets nothing; moments of inertia below zero are
    // derived from the size once the class is set up (2*size, 2*size, size per unit mass).
    double size = 10.0;
    VECTOR3 pmi{{-1, -1, -1}};
    VECTOR3 crossSections{{20, 20, 20}};
    double cw[4] = {0.1, 0.3, 0.3, 0.3};  // z+, z-, x, y
    VECTOR3 rotDrag{{0.01, 0.01, 0.01}};
    double pitchMomentScale = 0.0, bankMomentScale = 0.0;
    VECTOR3 touchdown[3] = {{{0, -2, 10}}, {{-3, -2, -5}}, {{3, -2, -5}}};
    // Collision vertices beyond the three touchdown points (TOUCHDOWNVTX lists), with theirs.
    std::vector<TOUCHDOWNVTX> hullVertices;
    double cogElev = 5.0;  // elevation of the centre of mass over the ground when landed
    VECTOR3 cameraOffset{};

    // Aerodynamics: with an airfoil the airfoil model flies the vessel, without one the
    // simulator's older model of cross sections and moment scales.
    std::vector<std::unique_ptr<Airfoil>> airfoils;
    std::vector<std::unique_ptr<ControlSurface>> controlSurfaces;
    std::vector<DragElement> dragElements;
    ControlLevel controlLevels[6];
    int controlSync = 0;  // 0 levels settled, 1 moving towards their targets, 2 set directly
    LiftCoeffFunc liftCoeff = nullptr;
    // The older model's elevator trim and its wing (induced drag over aspect times effectiveness).
    double trimScale = 0.0, wingAspect = 1.0, wingEffectiveness = 2.8;
    // Friction of touchdown points set from positions alone (lateral, longitudinal).
    double surfaceMu = 0.5, surfaceMuLng = 0.1;
    double lift = 0.0, drag = 0.0, sideForce = 0.0;  // of the last step [N]
    std::vector<std::unique_ptr<DockPort>> docks;
    // Deleted airfoils, surfaces and docks stay allocated: modules may still hold handles.
    std::vector<std::unique_ptr<Airfoil>> retiredAirfoils;
    std::vector<std::unique_ptr<ControlSurface>> retiredSurfaces;
    std::vector<std::unique_ptr<DockPort>> retiredDocks;

    Propellant* defaultPropellant = nullptr;  // the one set, else the first made; null once deleted
    std::vector<std::unique_ptr<Thruster>> thrusters;
    std::vector<std::unique_ptr<ThrusterGroup>> groups;  // creation order of the types
    std::vector<Exhaust> exhausts;
    std::vector<std::unique_ptr<ParticleStream>> streams;
    ReentryTexture reentry;

    std::vector<MeshSlot> meshes;  // index order
    std::vector<MeshCall> meshCalls;
    std::vector<std::unique_ptr<Animation>> animations;

    std::string refBody;  // the body its state is relative to
    int status = 0;       // 0 orbiting, 1 landed

    // What the simulator reports of the vessel's flight over its body after the last step (all
    // zero where the host knows no such body): the SDK's readers give these.
    struct Readings {
        bool hasBody = false;
        double altitude = 0.0;  // over the mean radius [m]
        double longitude = 0.0, latitude = 0.0, radius = 0.0;
        double airspeed = 0.0;
        VECTOR3 horizonAirspeed{};  // in the local horizon frame (x east, y up, z north)
        double dynPressure = 0.0, mach = 0.0, density = 0.0, pressure = 0.0, temperature = 0.0;
        double gLoad = 0.0;  // acceleration other than gravity, in standard gravities
        bool groundContact = false;
    } readings;

    // What GetMass gives: the empty mass plus the sum of the tanks as the simulator last summed
    // them (setting the empty mass or a tank's mass, applying a state, the end of the physics of
    // each step). Creating or deleting a tank alone does not sum again.
    double mass() const { return massAtUpdate; }

    VESSEL* iface = nullptr;
    Attachment* parentPoint = nullptr;  // the parent's C point it hangs on, null when free
    Attachment* ownPoint = nullptr;     // its own P point used for that
    std::vector<std::unique_ptr<Attachment>> attachments;  // creation order, both kinds
    double emptyMass = 1000.0;                             // the simulator's default
    double massAtUpdate = 1000.0;
    bool massSummed = false;  // whether the mass was ever summed (unsummed, it weighs nothing)
    std::vector<std::unique_ptr<Propellant>> propellants;  // creation order, deleted ones gone
    VECTOR3 pos{}, vel{};  // relative to the reference body (the global frame less its place)
    VECTOR3 arot{};        // Euler angles [rad]
    MATRIX3 rot{};         // rotation matrix of arot
    VECTOR3 vrot{};        // angular velocity in the vessel's frame [rad/s]
};

struct Mesh {
    std::string name;  // as asked
    std::string path;  // file found, empty when the file was missing or unreadable
    int groups = 0;
    std::vector<std::vector<VECTOR3>> vertices;  // positions of each group's vertices
    bool global = false;  // from oapiLoadMeshGlobal: shared, never deleted by a module
};

// ---------------------------------------------------------------------------------------------
// Global records.

struct TextureRecord {
    enum Kind { EXHAUST, PARTICLE, REENTRY } kind = EXHAUST;
    std::string name;
    SURFHANDLE handle = nullptr;
};

struct MeshLoadRecord {
    std::string name;
    bool global = false;
    // oapiLoadMesh always gives a new mesh (empty when the file is missing); oapiLoadMeshGlobal
    // gives null for a file without a group.
    MESHHANDLE handle = nullptr;
};

struct CreationRecord {
    double time = 0.0;
    std::string name, className;
    VESSELSTATUS status{};
    // The vessel made; where the simulator stopped instead, a handle no lookup finds.
    OBJHANDLE result = nullptr;
};

struct FocusRecord {
    double time = 0.0;
    OBJHANDLE from = nullptr, to = nullptr;
};

struct KeyRecord {
    double time = 0.0;
    OBJHANDLE vessel = nullptr;  // focus vessel, null when there was none
    DWORD key = 0;
    bool down = true;
    int result = 0;
};

struct AttachRecord {
    double time = 0.0;
    bool attach = true;  // false: detach
    OBJHANDLE parent = nullptr, child = nullptr;
    ATTACHMENTHANDLE parentPoint = nullptr, childPoint = nullptr;
};

struct Records {
    std::vector<TextureRecord> textures;
    std::vector<MeshLoadRecord> meshLoads;
    std::vector<CreationRecord>
        creations;  // oapiCreateVessel / createVessel calls, not scenario loads
    std::vector<FocusRecord> focusChanges;
    std::vector<KeyRecord> keys;
    std::vector<AttachRecord> attachments;
    std::vector<std::string> log;  // lines given to oapiWriteLog, and the host's own log lines
};

HOST_API const Records& records();

// Observer of what happens, called as it happens (while the module's call is still running).
// onVesselCreated is told of every vessel made by oapiCreateVessel / createVessel; vessels of a
// scenario being loaded are not reported one by one.
class HOST_API Listener {
public:
    virtual ~Listener();
    virtual void onVesselCreated(OBJHANDLE, const CreationRecord&) {}
    virtual void onVesselDeleted(OBJHANDLE) {}
    virtual void onFocusChanged(OBJHANDLE /*from*/, OBJHANDLE /*to*/) {}
    virtual void onAttached(const AttachRecord&) {}
    virtual void onDetached(const AttachRecord&) {}
    // Two vessels docked at their ports (`docked`), or parted there; `v` is the one that asked.
    virtual void onDocking(OBJHANDLE /*v*/, UINT /*port*/, OBJHANDLE /*mate*/, UINT /*matePort*/,
                           bool /*docked*/) {}
    virtual void onKeyEvent(const KeyRecord&) {}
    virtual void onThrusterGroupLevel(OBJHANDLE, THGROUP_TYPE, double /*level*/) {}
    virtual void onThrusterGroupCreated(OBJHANDLE, THGROUP_TYPE) {}
    virtual void onAnimationState(OBJHANDLE, UINT /*anim*/, double /*state*/) {}
    virtual void onStepEnd(double /*simt*/) {}
};
HOST_API void addListener(Listener* l);
HOST_API void removeListener(Listener* l);

// ---------------------------------------------------------------------------------------------
// World.

HOST_API void setRoot(const std::string& dir);  // also chdir()s into it
HOST_API const std::string& root();
// Destroys every vessel (module vessels through their ovcExit), clears records and a stop,
// listeners stay, time 0, step index 0, focus none, held keys released.
HOST_API void reset();
// The stop the world has come to, or null while it runs.
HOST_API const Stop* stopped();

HOST_API void setStep(double dt);  // default 0.1 s
HOST_API double stepLength();
HOST_API double simTime();
HOST_API long stepIndex();
// Called first in every step with that step's time (the time oapiGetSimTime gives in it).
HOST_API void setPreStepHook(std::function<void(double)> fn);
// One step in the simulator's order: the hook, clbkPreStep of every vessel by index, the
// physics, clbkPostStep of every vessel by index (a vessel made during a pass is called in it),
// the deletions asked for, then the key events.
HOST_API void step();
// Steps until simTime() has advanced by `seconds` (rounded to whole steps).
HOST_API void runFor(double seconds);
// Flight model the host asks of modules in ovcInit (default 1); reset() restores 1.
HOST_API void setFlightModel(int fm);

// ---------------------------------------------------------------------------------------------
// Scenarios. Paths are relative to the current working folder (the root after setRoot).

// Something the simulator does silently while it reads a scenario, at a line of the file.
struct Notice {
    int line = 0;
    std::string message;
};

// A vessel block as the simulator read it: header line and the lines after it up to and with
// the last one read for the vessel (its END where it has one).
struct BlockInfo {
    std::string name, className, moduleName;
    int headerLine = 0, lastLine = 0;
};

struct ScenarioInfo {
    std::string path;
    std::vector<std::string> description;  // lines between BEGIN_DESC and END_DESC, as read
    std::vector<std::string> environment;  // lines between BEGIN_ENVIRONMENT and END_ENVIRONMENT
    std::string focusName;                 // as read
    int focusLine = 0;                     // of the Ship line read, 0 without one
    std::vector<BlockInfo> blocks;         // in file order
    std::vector<Notice> notices;           // in the order found
};

// Creates every vessel of the file as the simulator does (adding to the world: call reset()
// first for a fresh one), gives the focus to the BEGIN_FOCUS ship (else the first vessel),
// attaches and post-creates them. Throws host::Error only for a file that cannot be read, and
// host::Stop where the simulator would stop (a class file it cannot find, a scenario without a
// vessel, an ATTACHED it would crash on); scenario() then holds what was read up to there.
HOST_API void loadScenario(const std::string& path);
HOST_API const ScenarioInfo& scenario();
// Writes the world in the simulator's format; throws host::Error if the file cannot be written.
HOST_API void saveScenario(const std::string& path);
HOST_API std::string scenarioText();  // what saveScenario would write
// Runs the vessel's clbkSaveState into memory: the indented lines of its block, without the
// "NAME:CLASS" and "END" lines.
HOST_API std::vector<std::string> saveVesselState(OBJHANDLE h);

// ---------------------------------------------------------------------------------------------
// Vessels.

// Same path as oapiCreateVessel (recorded, listeners told).
HOST_API OBJHANDLE createVessel(const std::string& name, const std::string& cls,
                                const VESSELSTATUS& status);
// Asks for the vessel's deletion as oapiDeleteVessel does; outside a step and a module's
// callback it is carried out at once, otherwise with the step's deletions. False for a handle
// that is not a listed vessel.
HOST_API bool deleteVessel(OBJHANDLE h);
HOST_API const std::vector<Vessel*>& vessels();  // the simulator's index order
// The first vessel by index whose name matches without regard to case, as the simulator finds.
HOST_API OBJHANDLE find(const std::string& name);
HOST_API const Vessel& vessel(OBJHANDLE h);
HOST_API OBJHANDLE focus();
HOST_API void setFocus(OBJHANDLE h);
// A VESSELSTATUS at rest at the origin, fuel 1, its flags clear (fuel and engines not applied).
HOST_API VESSELSTATUS defaultStatus();

// Attitude convention: R = Rx(a)^T * Ry(b)^T * Rz(c)^T; columns are the vessel axes.
HOST_API MATRIX3 rotationFromAngles(const VECTOR3& arot);
HOST_API VECTOR3 anglesFromRotation(const MATRIX3& R);

// ---------------------------------------------------------------------------------------------
// Input.

HOST_API void holdKey(int code, bool down);
// Delivers one buffered key-down event now to the focus vessel's clbkConsumeBufferedKey with the
// held keys plus this one down; gives the callback's result (0 without a focus vessel).
HOST_API int sendKeyEvent(int code);
// A key pressed for one step: its down event goes to the focus vessel at the end of the next
// step, its up event at the end of the step after.
HOST_API void pressKey(int code);

// Meshes given out by oapiLoadMesh and not yet deleted with oapiDeleteMesh (their owners must).
HOST_API size_t liveMeshCount();

// ---------------------------------------------------------------------------------------------
// Visual callbacks (a flight never calls them: there is no visual).

HOST_API void visualCreated(OBJHANDLE h);
HOST_API void visualDestroyed(OBJHANDLE h);

// ---------------------------------------------------------------------------------------------
// In-process modules: a class file naming `moduleName` uses these functions instead of
// loading Modules/<moduleName>.so. Either may be null, as a library may lack either.

using InitFn = VESSEL* (*)(OBJHANDLE, int);
using ExitFn = void (*)(VESSEL*);
HOST_API void registerModule(const std::string& moduleName, InitFn init, ExitFn exit);

// Finds `relative` under the current working folder without regard to case; "" if absent.
HOST_API std::string findFileNoCase(const std::string& relative);

}  // namespace host

#endif  // HOST_HOST_H
