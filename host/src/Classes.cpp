// Vessel class files, read as the simulator reads them: each key is looked up from the top of
// the file, the first line naming it decides (an empty value means the key is not there), a
// number is read as far as it goes, and the attachment block has its own line syntax.
#include "World.h"

#include <cstring>

namespace host {
namespace detail {

namespace {

// Room the simulator's buffers leave for a line, the terminating NUL not counted.
constexpr size_t kKeyLineMax = 511;
constexpr size_t kBlockLineMax = 255;

bool itemReal(const std::vector<std::string>& lines, const char* label, double& out) {
    std::string v;
    if (!classItem(lines, label, v)) return false;
    const char* p = v.c_str();
    return scanDouble(p, out);
}

bool itemVector(const std::vector<std::string>& lines, const char* label, VECTOR3& out) {
    std::string v;
    if (!classItem(lines, label, v)) return false;
    const char* p = v.c_str();
    double d[3];
    for (double& x : d)
        if (!scanDouble(p, x)) return false;
    out = _V(d[0], d[1], d[2]);
    return true;
}

// The first line that starts with `keyword` (any case), the way the simulator searches a
// section: line by line in pieces of at most 1023 characters. Gives the index after it.
bool findLine(const std::vector<std::string>& lines, const char* keyword, size_t& after) {
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        for (size_t at = 0; at == 0 || at < l.size(); at += 1023) {
            if (startsWithNoCase(l.c_str() + at, keyword)) {
                after = i + 1;
                return true;
            }
        }
    }
    return false;
}

bool itemInt(const std::vector<std::string>& lines, const char* label, long& out) {
    std::string v;
    if (!classItem(lines, label, v)) return false;
    const char* p = v.c_str();
    return scanInt(p, out);
}

// BEGIN_DOCKLIST: one port a line (position, direction, rotation, and optionally the step of
// its docking system) up to END_DOCKLIST; every line makes a port, numbers it lacks are 0.
void readDocks(ClassInfo& ci) {
    size_t i = 0;
    if (!findLine(ci.lines, "BEGIN_DOCKLIST", i)) return;
    for (; i < ci.lines.size(); ++i) {
        const std::string& raw = ci.lines[i];
        if (raw.size() > kBlockLineMax || startsWithNoCase(raw.c_str(), "END_DOCKLIST")) break;
        const char* p = raw.c_str();
        double n[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
        int fields = 0;
        for (double& x : n) {
            if (!scanDouble(p, x)) break;
            ++fields;
        }
        ClassDock d;
        d.pos = _V(n[0], n[1], n[2]);
        d.dir = _V(n[3], n[4], n[5]);
        d.rot = _V(n[6], n[7], n[8]);
        d.ids = fields == 9 && scanInt(p, d.idsStep);
        ci.docks.push_back(d);
    }
}

void readPoints(ClassInfo& ci) {
    size_t i = 0;
    if (!findLine(ci.lines, "BEGIN_ATTACHMENT", i)) return;
    // A line the block's fields leave unread keeps the values of the line before.
    char type = '\0';
    double n[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (; i < ci.lines.size(); ++i) {
        const std::string& raw = ci.lines[i];
        if (raw.size() > kBlockLineMax || startsWithNoCase(raw.c_str(), "END_ATTACHMENT")) break;
        const std::string line = trimLine(raw);
        const char* p = line.c_str();
        int fields = 0;
        std::string id;
        if (*p) {
            type = *p++;
            fields = 1;
            for (double& x : n) {
                if (!scanDouble(p, x)) break;
                ++fields;
            }
            if (fields == 10) {
                while (*p == ' ' || *p == '\t') ++p;
                const char* e = p;
                while (*e && *e != ' ' && *e != '\t') ++e;
                id.assign(p, e);
                if (!id.empty()) ++fields;
            }
        }
        ClassPoint pt;
        pt.toParent = std::toupper(static_cast<unsigned char>(type)) == 'P';
        pt.pos = _V(n[0], n[1], n[2]);
        pt.dir = _V(n[3], n[4], n[5]);
        pt.rot = _V(n[6], n[7], n[8]);
        if (fields == 11) pt.id = id;
        ci.points.push_back(pt);
    }
}

void readKeys(ClassInfo& ci) {
    const auto& l = ci.lines;
    ci.hasModule = classItem(l, "Module", ci.module);
    ci.hasMeshName = classItem(l, "MeshName", ci.meshName);
    std::string b;
    if (classItem(l, "EnableFocus", b)) {
        ci.hasEnableFocus = true;
        if (startsWithNoCase(b.c_str(), "true")) ci.enableFocus = true;
        else if (startsWithNoCase(b.c_str(), "false")) ci.enableFocus = false;
        else ci.hasEnableFocus = false;
    }
    ci.hasSize = itemReal(l, "Size", ci.size);
    ci.hasMass = itemReal(l, "Mass", ci.mass);
    ci.hasPmi = itemVector(l, "Inertia", ci.pmi);
    for (int i = 1;; ++i) {
        std::string v;
        if (!classItem(l, ("PropellantResource" + std::to_string(i)).c_str(), v)) break;
        const char* p = v.c_str();
        double maxMass = 0.0, efficiency = 1.0;
        if (!scanDouble(p, maxMass)) continue;
        scanDouble(p, efficiency);
        ci.resources.emplace_back(maxMass, efficiency);
    }
    ci.hasMaxFuel = itemReal(l, "MaxFuel", ci.maxFuel);
    ci.hasIsp = itemReal(l, "Isp", ci.isp);
    ci.hasThrust[0] = itemReal(l, "MaxMainThrust", ci.thrust[0]);
    ci.hasThrust[1] = itemReal(l, "MaxRetroThrust", ci.thrust[1]);
    ci.hasThrust[2] = itemReal(l, "MaxHoverThrust", ci.thrust[2]);
    std::string cw;
    if (classItem(l, "CW", cw)) {
        ci.hasCw = true;
        const char* p = cw.c_str();
        for (double& x : ci.cw)
            if (!scanDouble(p, x)) break;
    }
    ci.hasCrossSections = itemVector(l, "CrossSections", ci.crossSections);
    ci.hasRotDrag = itemVector(l, "RotResistance", ci.rotDrag);
    ci.hasCameraOffset = itemVector(l, "CameraOffset", ci.cameraOffset);
    ci.hasAttThrust = itemReal(l, "MaxAttitudeThrust", ci.attThrust);
    std::string td;
    if (classItem(l, "TouchdownPoints", td)) {
        const char* p = td.c_str();
        double x[9];
        int got = 0;
        while (got < 9 && scanDouble(p, x[got])) ++got;
        ci.hasTouchdown = got == 9;
        for (int k = 0; k < 3 && ci.hasTouchdown; ++k)
            ci.touchdown[k] = _V(x[3 * k], x[3 * k + 1], x[3 * k + 2]);
    }
    if (classItem(l, "EnableXPDR", b) && startsWithNoCase(b.c_str(), "true")) {
        ci.hasXpdr = true;
        ci.hasXpdrStep = itemInt(l, "XPDR", ci.xpdrStep);
    }
    ci.hasDock = itemVector(l, "DockRef", ci.dock.pos) && itemVector(l, "DockDir", ci.dock.dir) &&
                 itemVector(l, "DockRot", ci.dock.rot);
    classItem(l, "BaseClass", ci.baseClass);
    readDocks(ci);
    readPoints(ci);
}

}  // namespace

bool classItem(const std::vector<std::string>& lines, const char* label, std::string& value) {
    for (const std::string& raw : lines) {
        if (raw.size() > kKeyLineMax) return false;  // the stream fails there
        const std::string line = trimLine(raw);
        if (equalsNoCase(line, "END_PARSE")) return false;
        const size_t eq = line.find('=');
        std::string key = line.substr(0, eq);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
        if (!equalsNoCase(key, label)) continue;
        size_t v = eq == std::string::npos ? line.size() : eq + 1;
        while (v < line.size() && (line[v] == ' ' || line[v] == '\t')) ++v;
        if (v == line.size()) return false;
        value = line.substr(v);
        return true;
    }
    return false;
}

namespace {
// The class file at path, read and kept under key; null where there is none to read.
const ClassInfo* readClass(const std::string& key, const std::string& path) {
    auto ci = std::make_unique<ClassInfo>();
    if (path.empty() || !readLines(path, ci->lines)) return nullptr;
    ci->path = path;
    readKeys(*ci);
    const ClassInfo* result = ci.get();
    world().classes[key] = std::move(ci);
    return result;
}
}  // namespace

const ClassInfo* classFile(const std::string& rel) {
    World& w = world();
    const std::string key = "file:" + lower(rel);
    auto it = w.classes.find(key);
    if (it != w.classes.end()) return it->second.get();
    return readClass(key, findFileNoCase(rel));
}

const ClassInfo* classInfo(const std::string& className) {
    World& w = world();
    const std::string key = lower(className);
    auto it = w.classes.find(key);
    if (it != w.classes.end()) return it->second.get();
    // A name the file system cannot take as a file name finds no file.
    std::string path;
    if (className.find('\0') == std::string::npos) {
        path = findFileNoCase("Config/Vessels/" + className + ".cfg");
        if (path.empty()) path = findFileNoCase("Config/" + className + ".cfg");
    }
    return readClass(key, path);
}

}  // namespace detail
}  // namespace host
