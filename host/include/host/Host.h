// Control and inspection interface of the headless simulator stand-in.
//
// One world per process. Typical use in a test or in the runner:
//
//     host::setRoot(simDir);                     // chdir()s there: the simulator's working folder
//     host::reset();                             // no vessels, time 0
//     host::loadScenario("Scenarios/Tests/burn.scn");
//     OBJHANDLE h = host::find("Probe-1");
//     const host::Vessel& v = host::vessel(h);   // everything the module asked of the host
//     host::pressKey(OAPI_KEY_K);                // delivered in the next step
//     host::runFor(5.0);
//     host::saveScenario("/tmp/out.scn");
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

// A file the host cannot go on reading. what() is "FILE:LINE: MESSAGE" (line 0: the whole file).
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

// A thruster at level L with maximum thrust F pushes with F*L along dir and draws
// F*L / (isp0 * efficiency) kg/s from its resource; isp0 <= 0 draws nothing. No resource, or an
// empty one, gives no thrust; a resource never goes below 0.
struct Thruster {
    VECTOR3 pos{}, dir{};
    double maxThrust = 0.0;
    Propellant* resource = nullptr;  // null: none given, or its resource was deleted
    double isp0 = 0.0, ispRef = 0.0, pRef = 0.0;
    double level = 0.0;
};

struct ThrusterGroup {
    THGROUP_TYPE type = THGROUP_MAIN;
    std::vector<Thruster*> thrusters;
    double level() const;  // the level of its first thruster, 0 for an empty group
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
    MESHHANDLE handle = nullptr;
    std::string meshName;  // name the handle was loaded under, empty for a null handle
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
    std::string id;
    bool loose = false;
    Vessel* attached = nullptr;  // the child on a C point, the parent on a P point
    Attachment* mate = nullptr;  // the point on the other vessel
};

// The host's vessel object. Read it; change it only through the SDK or the functions below.
struct HOST_API Vessel {
    // What every step reads of every vessel comes first, so that stepping many vessels touches
    // few cache lines of each: the step's flags, the interface, the attachments, the state that
    // a parent hands to its children, and the mass.
    bool deleted = false;
    bool createdInStep = false;
    bool hostOwnsIface = false;
    // False only while every thruster is known to be at level 0 (set by any level above 0,
    // cleared by the physics when it finds none firing): such a vessel skips the thrust pass.
    bool thrustMayFire = false;
    VESSEL* iface = nullptr;
    Attachment* parentPoint = nullptr;  // the parent's C point it hangs on, null when free
    Attachment* ownPoint = nullptr;     // its own P point used for that
    std::vector<std::unique_ptr<Attachment>> attachments;  // creation order, both kinds
    double emptyMass = 0.0;
    std::vector<std::unique_ptr<Propellant>> propellants;  // creation order, deleted ones gone
    VECTOR3 pos{}, vel{};  // global (the reference body sits at the origin)
    VECTOR3 arot{};        // Euler angles [rad]
    MATRIX3 rot{};         // rotation matrix of arot
    VECTOR3 vrot{};
    // The attitude taken on a parent's point depends only on the two points (whose geometry is
    // fixed when they are made) and the parent's attitude; while those stay the same the last
    // result is reused, since the trigonometry is most of following a parent.
    struct Placement {
        const Attachment* parentPoint = nullptr;  // null: nothing cached
        const Attachment* ownPoint = nullptr;
        MATRIX3 parentRot{};
        MATRIX3 rot{};
        VECTOR3 arot{};
    } placement;

    std::string name;
    std::string className;   // as written by the scenario or the caller
    std::string moduleName;  // empty for a module-less class
    int flightModelAsked = 1;  // given to ovcInit
    int flightModelGiven = 1;  // given to the VESSEL constructor

    double size = 1.0;
    VECTOR3 pmi{};
    VECTOR3 crossSections{};
    double cw[4] = {0, 0, 0, 0};  // z+, z-, x, y
    VECTOR3 rotDrag{};
    double pitchMomentScale = 0.0, bankMomentScale = 0.0;
    VECTOR3 touchdown[3]{};
    VECTOR3 cameraOffset{};

    Propellant* defaultPropellant = nullptr;
    std::vector<std::unique_ptr<Thruster>> thrusters;
    std::vector<std::unique_ptr<ThrusterGroup>> groups;  // a type defined again replaces the first
    std::vector<Exhaust> exhausts;
    std::vector<std::unique_ptr<ParticleStream>> streams;
    ReentryTexture reentry;

    std::vector<MeshSlot> meshes;  // index order
    std::vector<MeshCall> meshCalls;
    std::vector<std::unique_ptr<Animation>> animations;

    std::string refBody = "Earth";
    int status = 0;  // 0 orbiting, 1 landed

    std::vector<std::string> lastSave;      // lines written by its last clbkSaveState
    std::vector<std::string> unknownLines;  // scenario lines the host did not know, kept
    double mass() const;                    // empty mass + propellant, in creation order

    size_t index = 0;  // position in the vessel list
    void (*exitFn)(VESSEL*) = nullptr;
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
    // gives null for a missing or unreadable file, or when made to fail.
    MESHHANDLE handle = nullptr;
};

struct CreationRecord {
    double time = 0.0;
    std::string name, className;
    VESSELSTATUS status{};
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
    std::vector<CreationRecord> creations;  // oapiCreateVessel / createVessel calls, not scenario loads
    std::vector<FocusRecord> focusChanges;
    std::vector<KeyRecord> keys;
    std::vector<AttachRecord> attachments;
    std::vector<std::string> log;  // lines given to oapiWriteLog
};

HOST_API const Records& records();

// Observer of what happens, called as it happens (while the module's call is still running).
// onVesselCreated is told of every oapiCreateVessel / createVessel call, refused ones with a null
// handle; vessels of a scenario being loaded are not reported one by one.
class HOST_API Listener {
public:
    virtual ~Listener();
    virtual void onVesselCreated(OBJHANDLE, const CreationRecord&) {}
    virtual void onVesselDeleted(OBJHANDLE) {}
    virtual void onFocusChanged(OBJHANDLE /*from*/, OBJHANDLE /*to*/) {}
    virtual void onAttached(const AttachRecord&) {}
    virtual void onDetached(const AttachRecord&) {}
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
// Destroys every vessel (module vessels through their ovcExit), clears records, listeners
// stay, time 0, step index 0, focus none, failure counters off, held keys released.
HOST_API void reset();

HOST_API void setStep(double dt);  // default 0.1 s
HOST_API double stepLength();
HOST_API double simTime();
HOST_API long stepIndex();
// Called first in every step with that step's time (the time oapiGetSimTime gives in it).
HOST_API void setPreStepHook(std::function<void(double)> fn);
// One step: hook, queued key events to the focus vessel, physics, clbkPostStep of every vessel.
HOST_API void step();
// Steps until simTime() has advanced by `seconds` (rounded to whole steps).
HOST_API void runFor(double seconds);
// Flight model the host asks of modules in ovcInit (default 1); reset() restores 1.
HOST_API void setFlightModel(int fm);

// ---------------------------------------------------------------------------------------------
// Scenarios. Paths are relative to the current working folder (the root after setRoot).

struct ScenarioInfo {
    std::string path;
    std::vector<std::string> description;  // lines between BEGIN_DESC and END_DESC, as read
    std::vector<std::string> environment;  // lines between BEGIN_ENVIRONMENT and END_ENVIRONMENT
    std::vector<std::string> unknownSections;  // other top-level lines (not blank), written back in place
    std::string focusName;                     // as read
};

// Creates every vessel of the file (adding to the world: call reset() first for a fresh one),
// loads and attaches them, and gives the focus to the BEGIN_FOCUS ship (else the first one).
// Throws host::Error where it cannot go on: a missing file, a section or vessel block without
// its end, a header that is not NAME:CLASS, a taken name, an unknown class, a number that is not
// a finite number in a line the host reads (RPOS, RVEL, AROT, VROT, PRPLEVEL, ATTACHED), an
// ATTACHED that cannot be made. Structural faults are found before any vessel is made.
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

// Same path as oapiCreateVessel (counts towards failNthCreateVessel, recorded, listeners told).
HOST_API OBJHANDLE createVessel(const std::string& name, const std::string& cls,
                                const VESSELSTATUS& status);
// Unlists the vessel at once; its object is destroyed now when called from outside a step,
// otherwise at the end of the step (a module may delete the vessel whose callback is running).
HOST_API bool deleteVessel(OBJHANDLE h);
HOST_API const std::vector<Vessel*>& vessels();  // creation order
HOST_API OBJHANDLE find(const std::string& name);
HOST_API const Vessel& vessel(OBJHANDLE h);
HOST_API OBJHANDLE focus();
HOST_API void setFocus(OBJHANDLE h);
// A VESSELSTATUS at rest at the origin, fuel 1.
HOST_API VESSELSTATUS defaultStatus();

// Attitude convention: R = Rx(a)^T * Ry(b)^T * Rz(c)^T; columns are the vessel axes.
HOST_API MATRIX3 rotationFromAngles(const VECTOR3& arot);
HOST_API VECTOR3 anglesFromRotation(const MATRIX3& R);

// ---------------------------------------------------------------------------------------------
// Input.

HOST_API void holdKey(int code, bool down);
// Delivers one buffered key event now to the focus vessel's clbkConsumeBufferedKey with the
// held keys plus this one down; gives the callback's result (0 without a focus vessel).
HOST_API int sendKeyEvent(int code);
// Queues a key event for the key phase of the next step.
HOST_API void pressKey(int code);

// ---------------------------------------------------------------------------------------------
// Failure controls: the n-th call from now (1 = the next one) fails; 0 turns it off.
// Mesh calls count oapiLoadMesh and oapiLoadMeshGlobal alike.

HOST_API void failNthCreateVessel(int n);
HOST_API void failNthLoadMesh(int n);  // oapiLoadMeshGlobal only: oapiLoadMesh never fails

// Meshes given out by oapiLoadMesh and not yet deleted with oapiDeleteMesh (their owners must).
HOST_API size_t liveMeshCount();

// ---------------------------------------------------------------------------------------------
// Visual callbacks (a flight never calls them: there is no visual).

HOST_API void visualCreated(OBJHANDLE h);
HOST_API void visualDestroyed(OBJHANDLE h);

// ---------------------------------------------------------------------------------------------
// In-process modules: a class file naming `moduleName` uses these functions instead of
// loading Modules/<moduleName>.so.

using InitFn = VESSEL* (*)(OBJHANDLE, int);
using ExitFn = void (*)(VESSEL*);
HOST_API void registerModule(const std::string& moduleName, InitFn init, ExitFn exit);

// Finds `relative` under the current working folder without regard to case; "" if absent.
HOST_API std::string findFileNoCase(const std::string& relative);

}  // namespace host

#endif  // HOST_HOST_H
