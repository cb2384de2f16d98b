// Private state of the host stand-in, shared by its source files.
#ifndef HOST_WORLD_H
#define HOST_WORLD_H

#include "host/Host.h"
#include "PointerSet.h"

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace host {
namespace detail {

struct ClassPoint {
    bool toParent = false;
    VECTOR3 pos{}, dir{}, rot{};
    std::string id;
};

// A vessel class file, read once per root.
struct ClassInfo {
    std::string path;
    std::string module;
    bool hasSize = false, hasMass = false, hasMaxFuel = false;
    double size = 0.0, mass = 0.0, maxFuel = 0.0;
    std::string meshName;
    std::vector<ClassPoint> points;
    std::vector<std::string> lines;  // the file, for the clbkSetClassCaps handle
};

struct Module {
    void* lib = nullptr;
    InitFn init = nullptr;
    ExitFn exit = nullptr;
};

struct Texture {
    TextureRecord::Kind kind;
    std::string name;
};

// A scenario or class file as handed to the module through FILEHANDLE.
struct ScnFile {
    bool writing = false;
    std::string path;
    // Reading: the block's lines and the file line number of each.
    const std::vector<std::string>* lines = nullptr;
    const std::vector<int>* lineNumbers = nullptr;
    size_t next = 0;
    int currentLine = 0;
    std::vector<char> buffer;  // the line last handed out, valid until the next call
    // Writing.
    std::vector<std::string>* out = nullptr;
    // A file opened by oapiOpenFile holds its own lines; output goes to `target` on closing.
    std::vector<std::string> ownLines;
    std::vector<int> ownNumbers;
    std::string target;
    bool append = false;
};

// What ParseScenarioLineEx gathers during one clbkLoadStateEx.
struct LoadState {
    static constexpr uint32_t MAGIC = 0x5354534cu;
    uint32_t magic = MAGIC;
    Vessel* vessel = nullptr;
    ScnFile* file = nullptr;
    bool hasRpos = false, hasRvel = false, hasArot = false, hasVrot = false;
    VECTOR3 rpos{}, rvel{}, arot{}, vrot{};
    int status = 0;
    std::string refBody;
    std::vector<std::pair<long, double>> levels;
    bool attached = false;
    long parentPoint = 0, ownPoint = 0;
    std::string parentName;
    int attachLine = 0;
    std::string error;  // first problem found in a line the host knows
    int errorLine = 0;
};

struct PendingAttach {
    Vessel* child;
    long parentPoint, ownPoint;
    std::string parentName;
    std::string file;
    int line;
};

struct World {
    std::string root;
    double dt = 0.1;
    long step = 0;
    long baseStep = 0;  // step index and time at which dt last changed
    double baseTime = 0.0;
    double time = 0.0;
    int flightModel = 1;
    bool inStep = false;
    int callbackDepth = 0;  // module callbacks running now

    std::vector<Vessel*> vessels;                // listed, creation order
    std::vector<std::unique_ptr<Vessel>> owned;  // every vessel object, live or deleted
    PointerSet live;  // vessels that exist and are not deleted
    std::unordered_map<std::string, Vessel*> byName;
    Vessel* focus = nullptr;
    std::vector<Vessel*> pendingDestroy;
    std::vector<Vessel*> stepPass;       // storage of the list of vessels a step calls back
    std::vector<Vessel*> createdInStep;  // vessels whose createdInStep flag is set
    // Deleted resources and replaced groups stay allocated: modules may still hold their handles.
    std::vector<std::unique_ptr<Propellant>> retiredPropellants;
    std::vector<std::unique_ptr<ThrusterGroup>> retiredGroups;

    std::function<void(double)> preStepHook;
    std::vector<int> queuedKeys;
    char held[256] = {};
    std::unordered_map<int, double> keyAccepted;  // key -> time last accepted

    int failCreateIn = 0, failMeshIn = 0;

    std::map<std::string, ClassInfo> classes;  // lower-case class name; a missing file is absent
    std::map<std::string, Module> modules;     // lower-case module name
    std::map<std::string, Module> registered;  // lower-case module name
    std::map<std::string, Mesh*> meshCache;    // lower-case mesh name
    std::vector<std::unique_ptr<Mesh>> meshes;  // kept for the process: modules may hold handles
    std::unordered_set<Mesh*> ownedMeshes;      // given out by oapiLoadMesh, not yet deleted
    std::map<std::pair<int, std::string>, Texture*> textureByName;
    std::vector<std::unique_ptr<Texture>> textures;

    Records records;
    std::vector<Listener*> listeners;
    ScenarioInfo scenario;
    // Top-level layout of the loaded scenario: raw lines and placeholders for the sections.
    struct Segment {
        enum Kind { RAW, DESC, ENV, FOCUS, SHIPS } kind;
        std::string text;
    };
    std::vector<Segment> layout;
};

World& world();

inline Vessel* asVessel(OBJHANDLE h) { return static_cast<Vessel*>(h); }
// A handle of a listed, not deleted vessel.
bool valid(OBJHANDLE h);
inline Vessel& self(const VESSEL* v, OBJHANDLE h) {
    (void)v;
    return *static_cast<Vessel*>(h);
}

std::string lower(std::string s);
// Reads a text file into lines without their line ends (LF, or CRLF); false when unreadable.
bool readLines(const std::string& path, std::vector<std::string>& lines);
bool parseDouble(const std::string& text, double& out);  // whole text, finite
std::string formatNumber(double d);                     // shortest text that reads back exactly
std::string formatAngle(double rad);  // degrees, reading back to the same radians

const ClassInfo* classInfo(const std::string& className, std::string* error);
Mesh* loadMesh(const std::string& name);  // no failure counting, cached
MESHHANDLE loadMeshCounted(const char* name, bool global);
void deleteOwnedMeshes();  // at reset: what modules left undeleted

Vessel* spawn(const std::string& name, const std::string& cls, std::string* error);
void list(Vessel* v);
void applyStatus(Vessel& v, const VESSELSTATUS& s);
void updateRotation(Vessel& v);
void placeChild(Vessel& child);
bool attach(Vessel& parent, Attachment* parentPoint, Vessel& child, Attachment* childPoint);
bool detach(Vessel& parent, Attachment* parentPoint, double vel);
void notifyFocus(Vessel* from, Vessel* to);
VESSEL2* callbacks(Vessel& v);  // null when the interface has no callbacks

void runSave(Vessel& v, std::vector<std::string>& out);
void writeLine(FILEHANDLE f, std::string line);

// Marks a call into a module: a vessel deleted meanwhile is destroyed only when the outermost
// callback has returned (it may be the deleted vessel's own).
struct CallbackScope {
    CallbackScope();
    ~CallbackScope();
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;
};
void destroyPending();

template <class F>
void notify(F f) {
    for (Listener* l : world().listeners) f(*l);
}

}  // namespace detail
}  // namespace host

#endif  // HOST_WORLD_H
