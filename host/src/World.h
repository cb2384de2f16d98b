// Private state of the host stand-in, shared by its source files.
#ifndef HOST_WORLD_H
#define HOST_WORLD_H

#include "host/Host.h"
#include "Dynamics.h"
#include "PointerSet.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace host {
namespace detail {

// ---------------------------------------------------------------------------------------------
// Matrices.

inline MATRIX3 mulMM(const MATRIX3& A, const MATRIX3& B) {
    MATRIX3 C;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            C.data[i * 3 + j] = A.data[i * 3] * B.data[j] + A.data[i * 3 + 1] * B.data[3 + j] +
                                A.data[i * 3 + 2] * B.data[6 + j];
    return C;
}
inline MATRIX3 transpose(const MATRIX3& A) {
    return _M(A.m11, A.m21, A.m31, A.m12, A.m22, A.m32, A.m13, A.m23, A.m33);
}

// ---------------------------------------------------------------------------------------------
// Text as the simulator's C library and streams read it.

std::string lower(std::string s);
bool equalsNoCase(const std::string& a, const char* b);
bool startsWithNoCase(const char* text, const char* prefix);
// The simulator's trim_string: cut at the first ';', trailing blanks and tabs removed, leading
// ones skipped. `cut` tells whether a ';' cut anything.
std::string trimLine(const std::string& raw, bool* cut = nullptr);
// Reads a text file into lines without their line ends (LF, or CRLF); false when unreadable.
bool readLines(const std::string& path, std::vector<std::string>& lines);
bool parseDouble(const std::string& text, double& out);  // whole text, finite
// sscanf's %lf and %d: leading white space skipped, the longest number read; false when none.
bool scanDouble(const char*& p, double& out);
bool scanInt(const char*& p, long& out);
std::string fixed(double d, int decimals);  // a stream in fixed notation with that precision
std::string formatNumber(double d);         // shortest text that reads back exactly
// The simulator's float format of scenario values: fixed, trailing zeros cut ("0.0", "0.666667").
std::string trimmedFixed(double d, int decimals);

// ---------------------------------------------------------------------------------------------
// The simulator's stops.

// Records the stop (the first one stands) and throws it at once unless a module's code is on
// the stack; then the host call returns something harmless and the stop is thrown as soon as
// the outermost callback has returned.
void stopHere(const std::string& file, int line, const std::string& reason);
// The simulator's log note, once a session for each function, that a module called an obsolete
// function of its interface (`function` as the simulator names it, e.g. "VESSEL::GetName").
void logObsolete(const std::string& function);
void throwIfStopped();  // the recorded stop, when no module code is running
// Wraps a call into a module (`callback` of vessel `v`, for the stop's reason): counts it as
// module code on the stack, destroys vessels whose deletion waited for it, and throws a stop it
// led to. An exception escaping the module is the simulator's stop: it has no handler there.
template <class F>
void callModule(const char* callback, const Vessel& v, F&& f);
// Records the stop of an exception that escaped `callback` of vessel `v` (`what`: its message,
// null when it is no std::exception).
void moduleThrew(const char* callback, const Vessel& v, const char* what);

// ---------------------------------------------------------------------------------------------
// Vessel classes.

struct ClassPoint {
    bool toParent = false;
    VECTOR3 pos{}, dir{}, rot{};
    std::string id;
};

struct ClassDock {
    VECTOR3 pos{}, dir{}, rot{};
    bool ids = false;  // an instrument docking system on the step given
    long idsStep = 0;
};

// A vessel class file: its lines (the clbkSetClassCaps handle reads them) and the generic keys
// the simulator takes from it after clbkSetClassCaps, read once per root.
struct ClassInfo {
    std::string path;
    std::vector<std::string> lines;
    bool hasModule = false;
    std::string module;
    bool hasMeshName = false;
    std::string meshName;
    bool hasSize = false, hasMass = false, hasMaxFuel = false, hasIsp = false;
    double size = 0.0, mass = 0.0, maxFuel = 0.0, isp = 0.0;
    bool hasEnableFocus = false, enableFocus = true;
    std::vector<std::pair<double, double>> resources;  // PropellantResourceN: maximum, efficiency
    bool hasThrust[3] = {false, false, false};         // MaxMainThrust, MaxRetroThrust, ...Hover
    double thrust[3] = {0.0, 0.0, 0.0};
    bool hasPmi = false, hasCrossSections = false, hasRotDrag = false, hasCameraOffset = false;
    VECTOR3 pmi{}, crossSections{}, rotDrag{}, cameraOffset{};
    bool hasCw = false;
    double cw[4] = {0, 0, 0, 0};
    bool hasAttThrust = false;  // MaxAttitudeThrust: the default set, 18 thrusters in 12 groups
    double attThrust = 0.0;
    bool hasTouchdown = false;  // TouchdownPoints, all nine numbers given
    VECTOR3 touchdown[3] = {};
    bool hasXpdr = false, hasXpdrStep = false;  // EnableXPDR true, XPDR
    long xpdrStep = 0;
    bool hasDock = false;  // DockRef, DockDir and DockRot
    ClassDock dock;
    std::vector<ClassDock> docks;  // BEGIN_DOCKLIST
    std::string baseClass;         // BaseClass: Config/NAME.cfg, read first
    std::vector<ClassPoint> points;
};

// The class file of `className` as the simulator looks for it (Config/Vessels, then Config),
// null when there is none.
const ClassInfo* classInfo(const std::string& className);
// A file of generic keys by its path under the root (a BaseClass), null when there is none.
const ClassInfo* classFile(const std::string& path);
// The simulator's GetItemString: the first line whose key matches `label` decides.
bool classItem(const std::vector<std::string>& lines, const char* label, std::string& value);

// ---------------------------------------------------------------------------------------------
// Files handed to modules.

// A text file as the simulator's input stream reads it: whole lines, a read position within a
// line, and the stream's failure after a line too long for a fixed buffer.
struct LineStream {
    std::string path;
    std::vector<std::string> lines;
    size_t next = 0;  // line read next
    size_t col = 0;   // characters of that line already read
    bool failed = false;
    int lineNumber() const { return static_cast<int>(next); }  // of the line read last
    // getline into a buffer of `size` characters: false at the end, or when the line does not
    // fit (the stream then fails, having read size - 1 characters of it).
    bool getline(size_t size, std::string& out);
    // The simulator's readline: a whole line of any length (it heals a failed stream).
    bool readline(std::string& out);
};

struct ScnFile {
    bool writing = false;
    bool scenario = false;     // a scenario being loaded: what the simulator cuts is noticed
    LineStream* in = nullptr;  // reading
    LineStream own;            // a file opened by oapiOpenFile, or a class file
    std::vector<char> buffer;  // the line last handed out, valid until the next call
    std::vector<std::string>* out = nullptr;  // writing into memory (scenario saving)
    std::FILE* file = nullptr;                // writing a file opened by oapiOpenFile
};

void writeLine(FILEHANDLE f, const std::string& line);
// The simulator's reader of a vessel block for an interface without a reader of its own.
void readDefaultState(VESSEL& iface, ScnFile& f, void* status);
void noticeCut(const ScnFile& f, const std::string& raw, const std::string& kept);

// ---------------------------------------------------------------------------------------------
// Vessels.

struct Module {
    void* lib = nullptr;  // null for a module registered in process
    InitFn init = nullptr;
    ExitFn exit = nullptr;
    int users = 0;  // vessels holding the library, as each of the simulator's vessels loads it
};

// What the simulator's VESSELSTATUS2 gathers while a vessel block is read: the host hands this
// to clbkLoadStateEx as its status pointer, so it starts with the version field.
struct VesselRecord;
struct LoadState {
    static constexpr uint32_t MAGIC = 0x5354534cu;
    DWORD version = 2;
    uint32_t magic = MAGIC;
    VesselRecord* vessel = nullptr;
    LineStream* file = nullptr;
    bool hasBody = false;
    std::string body;
    int status = 0;
    VECTOR3 rpos{}, rvel{}, arot{}, vrot{};
    double surfLng = 0.0, surfLat = 0.0, surfHdg = 0.0;
    std::string base;
    long port = -1;                                // the pad of BASE name:pad, from 0
    std::vector<std::pair<DWORD, double>> fuel;    // PRPLEVEL (index -1: every resource)
    std::vector<std::pair<DWORD, double>> thrust;  // THLEVEL
    bool hasPrplevel = false;
    long xpdr = 0;  // XPDR
    // DOCKINFO: own port, the mate's port, and the mate's name as the simulator keeps it until
    // every vessel is made (the sums of its bytes in four lanes).
    struct DockInfo {
        DWORD port, matePort;
        uint32_t nameSum;
        std::string name;  // as written, for the notes of a scenario check
        int line;
    };
    std::vector<DockInfo> dockInfo;
};

// The simulator's stand-in for a vessel's name until the vessels are made: each byte added into
// one of four lanes in turn.
uint32_t nameSum(const std::string& name);

struct Composite;

// The host's vessel: the public record plus its bookkeeping. OBJHANDLE points to one.
struct VesselRecord : Vessel {
    // Placed next to what the step reads of the public record.
    bool killPending = false;
    bool listed = false;
    // False only while every thruster is known to be at level 0 (set by any level above 0,
    // cleared by the physics when it finds none firing): such a vessel skips the thrust pass.
    bool thrustMayFire = false;
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
    size_t index = 0;  // position in the vessel list
    DynamicState dyn;

    ExitFn exitFn = nullptr;
    std::string moduleKey;        // the library this vessel holds (lower-case name), empty for none
    bool plainInterface = false;  // the host made iface as a plain VESSEL and deletes it
    double defaultIsp = 5e4;
    bool enableFocus = true;
    std::vector<std::unique_ptr<ThrusterGroup>> userGroups;  // index type - THGROUP_USER
    long nav[2] = {0, 0};  // NAVFREQ steps of the two radios every focusable vessel has
    int attMode = 1, ctrlSurfMode = 0;
    // Landed state as read (the host keeps a landed vessel where it is).
    double surfLng = 0.0, surfLat = 0.0, surfHdg = 0.0, landAlt = 0.0;
    VECTOR3 landArot{};
    // The landing pad the vessel holds (from 0) and its base's name; -1 for none.
    std::string base;
    long pad = -1;
    // The parent an ATTACHED line names, applied after the focus is set.
    bool attachPending = false;
    long attachOwn = 0, attachParent = 0;
    std::string attachName;
    std::string attachFile;
    int attachLine = 0;
    std::vector<std::string> lastSave;  // lines written by its last clbkSaveState
    // The transponder, as far as a save shows it (the docks' systems are on their ports).
    bool hasXpdr = false;
    long xpdrStep = 0;
    // The nearest other vessel as last looked for (when placed, when let go by a parent, on a
    // free vessel's first step and every 100 s after): the focus goes to it first when this
    // vessel goes. Null when none, or once it has gone.
    VesselRecord* proxy = nullptr;
    double proxyTime = -1.0;  // a free vessel looks again after this time
    // Docked vessels fly as one body; null while docked to nothing.
    Composite* composite = nullptr;
    // The scenario's DOCKINFO entries on ports it has, matched to vessels once all are made.
    std::vector<LoadState::DockInfo> pendingDocks;
    double stepMass = 0.0;        // the mass the step's flight takes, from before its burn
    size_t scanVessel = 0;        // the vessel last looked at for docking by approach
    double undockTime = -1000.0;  // when a port last let go
};

// Docked vessels: one rigid body of their summed mass, centre of mass and inertia, moved by all
// their forces. Members keep their places and attitudes relative to the first one (the
// reference), whose frame is the body's frame.
struct Composite {
    std::vector<VesselRecord*> members;
    std::vector<VECTOR3> offset;         // in the reference's frame
    std::vector<MATRIX3> rel;            // member frame -> reference frame
    std::unique_ptr<VesselRecord> body;  // the state the flight integrates
};

inline VesselRecord* rec(OBJHANDLE h) {
    return static_cast<VesselRecord*>(static_cast<Vessel*>(h));
}
// The record behind a VESSEL's `vessel` member (the SDK keeps it as a const pointer).
inline VesselRecord& R(const void* vessel) { return *rec(const_cast<void*>(vessel)); }
// A handle of a listed vessel.
bool valid(OBJHANDLE h);
VesselRecord* findVessel(const std::string& name);  // first by index, without regard to case

// Builds the vessel up to its class keys (module, clbkSetClassCaps, generic keys); not listed.
// Null where the simulator stops (recorded with stopHere).
VesselRecord* spawn(const std::string& name, const std::string& cls, const std::string& file,
                    int line);
void list(VesselRecord* v);
void askDeletion(VesselRecord* v);  // as oapiDeleteVessel asks
void killPending();                 // the step's deletions
void killNow(VesselRecord* v);
void setFocusTo(VesselRecord* v);  // the simulator's SetFocusObject; nothing when already so
void findProxy(VesselRecord& v);   // the nearest other listed vessel becomes its proxy
void updateProxies(double time);   // a step's periodic look of free vessels
// Null when the interface has no callbacks (the simulator's plain VESSEL, version 0).
inline VESSEL2* callbacks(const Vessel& v) {
    if (!v.iface || v.iface->Version() < 1) return nullptr;
    return static_cast<VESSEL2*>(v.iface);
}

// State.
// The simulator's UpdateMass: sums the vessel's mass into what mass() and GetMass give.
void updateMass(Vessel& v);
// A VESSELSTATUS applied as the simulator's SetState does (oapiCreateVessel, DefSetState); like
// the simulator, it sums the vessel's mass before it sets a landed one down.
void applyStatus(VesselRecord& v, const VESSELSTATUS& s);
void applyLoadState(VesselRecord& v, LoadState& ls);
void updateRotation(Vessel& v);
void runSave(VesselRecord& v, std::vector<std::string>& out);
// The simulator's UpdateMass: sums the vessel's mass into what mass() and GetMass give.
void updateMass(Vessel& v);

// Thrust.
void setThrusterLevel(Thruster& t, double level);  // the simulator's internal setter
ThrusterGroup* groupOf(VesselRecord& v, THGROUP_TYPE type, bool make);
// The thrust of every vessel as the step begins, kept for its first stage.
void keepStartingThrust();
void physics(double dt);

// Docking.
// The simulator's DockVessels: joins the two vessels' bodies where their ports meet (the
// vessel not yet docked to anything moves, else the second one's body), their motions mixed by
// momentum or, without `mixMoments`, the unmoved body's velocity given to the new centre of
// mass and its turn to the whole.
void dockVessels(VesselRecord& v1, DWORD p1, VesselRecord& v2, DWORD p2, bool mixMoments);
// The simulator's Dock modes 1 and 2: `mover`'s body brought to `anchor`'s port at the
// anchor's velocity.
void placeDocked(VesselRecord& anchor, DWORD anchorPort, VesselRecord& mover, DWORD moverPort);
// The simulator's Vessel::Dock: 1 and 2 where the own or the target's port is taken, 3 where
// the two are docked already, else 0, joined (a stop where it would crash).
int dockTo(VesselRecord& v, DWORD n, VesselRecord& t, DWORD tgtn, UINT mode);
// Each free vessel with ports looks at one other vessel a step (in turn) and docks where two
// free ports have come within half a metre and are no longer closing in.
void scanDocking();
// Marks the port docked (null: free) and tells the vessel's module.
void registerDocking(VesselRecord& v, DWORD port, VesselRecord* mate, DWORD matePort);
// The simulator's Undock: port `port` (ALLDOCKS: every one) let go of its mate, unless that is
// `exclude`; the two parts pushed apart at `vsep` along the port's axis.
bool undock(VesselRecord& v, UINT port, const VesselRecord* exclude, double vsep);
// The scenario's DOCKINFO of the vessel matched to vessels and its docks joined.
void resolveDocks(VesselRecord& v);
void initDocking(VesselRecord& v);
// Each docked body's flight over the step; members' own forces are already in their flin/amom.
void flyComposites(double dt);

// Attachments.
void placeChild(VesselRecord& child);
// Places what hangs on the vessel's points for children, and what hangs on that, and so on;
// the vessels of an attachment loop are reached from no vessel that hangs on nothing.
void carryChildren(VesselRecord& v);
// The simulator's AttachChild; false where it refuses, a stop where it would crash.
bool attach(VesselRecord& parent, Attachment* parentPoint, VesselRecord& child,
            Attachment* childPoint, const std::string& file, int line);
bool detachChild(VesselRecord& parent, Attachment* parentPoint, double vel);
void detachFromParent(VesselRecord& child, double vel);
Attachment* pointAt(VesselRecord& v, bool toParent, long index);
// The point's index among `v`'s points of its kind; -1 when `v` does not own it.
long pointIndex(const Vessel& v, const Attachment* a);

// Whether `h` is a handle the host gives for a celestial body; `body` is then the body it
// models by that name (null for a body the root does not configure).
bool bodyBehind(OBJHANDLE h, const CentralBody*& body);
// A vessel come to rest on the surface reports to the body's base nearest to it, which gives
// it the pad it stands on, if any (refuelling it there).
void touchDownAtNearestBase(VesselRecord& v);

// A file (or, with `dir`, a folder) under the root, found as the simulator's file system
// finds it, without regard to case; empty when there is none.
std::string findNoCase(const std::string& relative, bool dir);
// A surface base as its file gives it: its place and its landing pads, in the order listed,
// each at (x, z) metres in the base's frame (x toward the south, z toward the east).
struct SurfaceBase {
    std::string name;
    double lng = 0.0, lat = 0.0;  // [rad]
    std::vector<std::pair<double, double>> pads;
};
// The surface bases of a body as the simulator lists them from Config/<body>.cfg (its
// BEGIN_SURFBASE list, else the folder Config/<body>/Base), names as the files give them.
const std::vector<SurfaceBase>& basesOf(const std::string& body);
// The body's base of exactly that name; null for none.
const SurfaceBase* findBase(const std::string& body, const std::string& name);
// Where a vessel put on `pad` (from 0) stands, on a body of radius `radius`; a pad the base
// lacks puts it at the base's own place.
void padPlace(const SurfaceBase& base, long pad, double radius, double& lng, double& lat);
// Whether the root configures the body (Config/<Body>.cfg); the host models no other.
bool bodyConfigured(const std::string& body);

// Meshes and textures.
Mesh* loadGlobalMesh(const std::string& name);
void deleteOwnedMeshes();

// ---------------------------------------------------------------------------------------------
// The world.

struct World {
    std::string root;
    double dt = 0.1;
    long step = 0;
    long baseStep = 0;  // step index and time at which dt last changed
    double baseTime = 0.0;
    double time = 0.0;
    double mjd0 = 51544.5;  // the scenario's date at time 0
    // What oapiGetSimTime and oapiGetSimStep give: the simulator's clock still shows a step's
    // start through its callbacks, physics and deletions, and its step is 0 before the first.
    bool inPasses = false;
    double passStart = 0.0;
    double simStep = 0.0;
    int flightModel = 1;
    bool inStep = false;
    // From a step's start to the end of its post-step callbacks the simulator's interface shows
    // the states of the step's start (`passStart`); in its update (the physics and the post-step
    // callbacks) new states are being made beside them.
    bool stepOpen = false, stateUpdate = false;
    bool anyKillPending = false;  // some vessel awaits the step's deletions
    int callbackDepth = 0;        // module callbacks running now
    std::unique_ptr<Stop> stop;

    std::vector<Vessel*> vessels;                      // listed, index order
    std::vector<std::unique_ptr<VesselRecord>> owned;  // every vessel object, live or deleted
    PointerSet live;                                   // listed vessels
    // Lower-case name -> listed vessels of that name (the first by index is the one found).
    std::unordered_map<std::string, std::vector<VesselRecord*>> byName;
    VesselRecord* focus = nullptr;
    VesselRecord* previousFocus = nullptr;
    std::vector<VesselRecord*> doomed;  // unlisted, waiting for the module's code to return
    VesselRecord stopped;               // what oapiCreateVessel gives where the simulator stops
    VesselRecord* spawning = nullptr;   // the vessel whose ovcInit is running
    // Deleted resources and cleared animations stay allocated: modules may still hold handles.
    std::vector<std::unique_ptr<Propellant>> retiredPropellants;
    std::vector<std::unique_ptr<Animation>> retiredAnimations;
    std::vector<std::unique_ptr<Thruster>> retiredThrusters;
    std::vector<std::unique_ptr<ThrusterGroup>> retiredGroups;
    std::vector<std::unique_ptr<ParticleStream>> retiredStreams;
    std::vector<std::unique_ptr<Composite>> composites;

    std::function<void(double)> preStepHook;
    std::vector<int> queuedKeys;    // down at the end of the next step
    std::vector<int> releasedKeys;  // up at the end of the next step
    char held[256] = {};
    char lastKey = static_cast<char>(255);  // oapiAcceptDelayedKey remembers one key
    double lastKeyTime = 0.0;
    std::unordered_set<std::string> obsoleteLogged;  // obsolete functions the log has named

    std::map<std::string, std::unique_ptr<ClassInfo>> classes;  // lower-case class name
    std::map<std::string, std::vector<SurfaceBase>> bases;      // by body name
    std::map<std::string, Module> modules;                      // lower-case module name
    std::map<std::string, Module> registered;                   // lower-case module name
    // The shared meshes as the simulator finds them again: by the sum of the name's bytes and
    // its first 32 characters compared without regard to case, the first match in load order.
    struct CachedMesh {
        uint64_t sum;
        std::string head;  // the first 32 characters
        Mesh* mesh;
    };
    std::vector<CachedMesh> meshCache;
    std::vector<std::unique_ptr<Mesh>> meshes;  // kept for the process: modules may hold handles
    std::unordered_set<Mesh*> ownedMeshes;      // given out by oapiLoadMesh, not yet deleted
    // Every registered texture kind goes through the one texture loader: one name, one texture.
    std::map<std::string, SURFHANDLE> textureByName;
    std::vector<std::unique_ptr<TextureRecord>> textures;
    std::unordered_set<ScnFile*> openFiles;  // by oapiOpenFile, not yet closed

    Records records;
    std::vector<Listener*> listeners;
    ScenarioInfo scenario;
    // The loaded scenario's lines and where its sections lie, to write it back.
    struct Region {
        enum Kind { DESC, ENV, FOCUS, SHIPS } kind;
        size_t first, last;  // line indexes; last is one past the region
    };
    std::vector<std::string> layoutLines;
    std::vector<Region> regions;
    bool scenarioLoaded = false;
};

World& world();

template <class F>
void notify(F f) {
    for (Listener* l : world().listeners) f(*l);
}

void destroyDoomed();

template <class F>
void callModule(const char* callback, const Vessel& v, F&& f) {
    World& w = world();
    {
        // Module code is on the stack until the call is over, however it ends.
        struct Depth {
            int& n;
            explicit Depth(int& d) : n(d) { ++n; }
            ~Depth() { --n; }
        } depth(w.callbackDepth);
        try {
            f();
        } catch (const std::exception& e) {
            moduleThrew(callback, v, e.what());
        } catch (...) {
            moduleThrew(callback, v, nullptr);
        }
    }
    if (w.callbackDepth == 0) {
        if (!w.inStep && !w.doomed.empty()) destroyDoomed();
        if (w.stop) throwIfStopped();
    }
}

}  // namespace detail
}  // namespace host

#endif  // HOST_WORLD_H
