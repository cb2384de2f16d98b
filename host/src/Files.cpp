// Files of the simulation root: case-free lookup, meshes and textures.
#include "World.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace host {
namespace detail {

static bool isDir(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

static bool exists(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0;
}

bool readLines(const std::string& path, std::vector<std::string>& lines) {
    // The whole file in one read: these files are small, and a stream read line by line cost
    // more than what the modules then do with the lines.
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    std::setvbuf(f, nullptr, _IONBF, 0);  // read straight into the chunk, no buffer of its own
    std::string text;
    char chunk[16384];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, got);
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    if (!ok) return false;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t eol = text.find('\n', at);
        if (eol == std::string::npos) eol = text.size();
        std::string line(text, at, eol - at);
        at = eol + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
    }
    return true;
}

// Reads a text mesh as the simulator does: the first line is MSHX1, a GROUPS line gives the
// count, each group's GEOM line its vertices and triangles; a group cut short is left out, and
// lines of 256 characters or more end the reading. Only the positions are kept.
static void readMesh(const std::string& path, Mesh& mesh) {
    LineStream in;
    if (!readLines(path, in.lines)) return;
    std::string line;
    if (!in.getline(256, line) || line != "MSHX1") return;
    long groups = 0;
    for (;;) {
        if (!in.getline(256, line)) return;
        if (startsWithNoCase(line.c_str(), "GROUPS")) {
            const char* p = line.c_str() + 6;
            if (!scanInt(p, groups)) return;
            break;
        }
    }
    bool term = false;
    for (long g = 0; g < groups && !term; ++g) {
        std::vector<VECTOR3> vertices;
        long nv = 0, nt = 0;
        for (;;) {
            if (!in.getline(256, line)) {
                term = true;
                break;
            }
            if (!startsWithNoCase(line.c_str(), "GEOM")) continue;
            const char* p = line.c_str() + 4;
            if (!scanInt(p, nv) || !scanInt(p, nt)) break;
            if (nv < 0 || nt < 0) {
                // The simulator allocates the counts before it reads a line.
                stopHere(path, in.lineNumber(),
                         "a mesh group with a negative vertex or triangle count");
                return;
            }
            for (long v = 0; v < nv; ++v) {
                if (!in.getline(256, line)) {
                    nv = 0;
                    vertices.clear();
                    break;
                }
                // Read as floats; a number the line lacks stays 0.
                float xyz[3] = {0.0f, 0.0f, 0.0f};
                const char* q = line.c_str();
                for (float& x : xyz) {
                    double d;
                    if (!scanDouble(q, d)) break;
                    x = static_cast<float>(d);
                }
                vertices.push_back(_V(xyz[0], xyz[1], xyz[2]));
            }
            for (long t = 0; t < nt && nv > 0; ++t) {
                if (!in.getline(256, line)) {
                    nv = 0;
                    break;
                }
            }
            break;
        }
        if (nv > 0 && nt > 0) mesh.vertices.push_back(std::move(vertices));
    }
    mesh.groups = static_cast<int>(mesh.vertices.size());
}

Mesh* loadGlobalMesh(const std::string& name) {
    World& w = world();
    uint64_t sum = 0;
    for (char c : name) sum += static_cast<uint64_t>(static_cast<signed char>(c));
    const std::string head = name.substr(0, 32);
    for (const World::CachedMesh& c : w.meshCache)
        if (c.sum == sum && lower(c.head) == lower(head)) return c.mesh;
    auto m = std::make_unique<Mesh>();
    const std::string path = findFileNoCase("Meshes/" + name + ".msh");
    if (!path.empty()) readMesh(path, *m);
    // A mesh without a group counts as missing and is looked for again next time.
    if (m->groups == 0) return nullptr;
    m->name = name;
    m->path = path;
    m->global = true;
    Mesh* p = m.get();
    w.meshes.push_back(std::move(m));
    w.meshCache.push_back({sum, head, p});
    return p;
}

// A base file's name, place and landing pads: "Name", "Location" (degrees) and, in its object
// list, the POS of each pad block (LPAD1, LPAD2, LPAD2A) up to the block's END. Name and place
// keep what `b` held where the file gives none.
static bool readBase(const std::string& path, SurfaceBase& b) {
    std::vector<std::string> lines;
    if (!readLines(path, lines)) return false;
    classItem(lines, "Name", b.name);
    std::string location;
    if (classItem(lines, "Location", location)) {
        const char* p = location.c_str();
        double lng, lat;
        if (scanDouble(p, lng) && scanDouble(p, lat)) {
            b.lng = lng * RAD;
            b.lat = lat * RAD;
        }
    }
    bool inList = false, inPad = false;
    std::pair<double, double> pad;
    for (const std::string& raw : lines) {
        const std::string l = trimLine(raw);
        if (!inList) {
            inList = startsWithNoCase(l.c_str(), "BEGIN_OBJECTLIST");
        } else if (startsWithNoCase(l.c_str(), "END_OBJECTLIST")) {
            break;
        } else if (!inPad) {
            inPad = startsWithNoCase(l.c_str(), "LPAD");
            pad = {0.0, 0.0};
        } else if (equalsNoCase(l, "END")) {
            b.pads.push_back(pad);
            inPad = false;
        } else if (startsWithNoCase(l.c_str(), "POS")) {
            const char* p = l.c_str() + 3;
            double x, y, z;
            if (scanDouble(p, x) && scanDouble(p, y) && scanDouble(p, z)) pad = {x, z};
        }
    }
    return true;
}

// A folder of base files (relative to Config): every ".cfg" file whose first line that is not
// blank starts with BASE-V2.0. A PERIOD or CONTEXT limiter after the folder is cut off and
// taken as met.
static void scanBases(std::string dir, std::vector<SurfaceBase>& bases) {
    for (const char* limiter : {"PERIOD", "CONTEXT"}) {
        const size_t at = dir.find(limiter);
        if (at != std::string::npos) dir.erase(at);
    }
    dir = trimLine(dir);
    for (char& c : dir)
        if (c == '\\') c = '/';
    const std::string folder = findNoCase("Config/" + dir, true);
    if (folder.empty()) return;
    DIR* d = opendir(folder.c_str());
    if (!d) return;
    std::vector<std::string> files;
    while (dirent* e = readdir(d)) {
        const std::string n = e->d_name;
        if (n.size() > 4 && n.compare(n.size() - 4, 4, ".cfg") == 0) files.push_back(n);
    }
    closedir(d);
    std::sort(files.begin(), files.end());
    for (const std::string& f : files) {
        std::vector<std::string> lines;
        if (!readLines(folder + "/" + f, lines)) continue;
        size_t i = 0;
        while (i < lines.size() && trimLine(lines[i]).empty()) ++i;
        if (i == lines.size() || !startsWithNoCase(trimLine(lines[i]).c_str(), "BASE-V2.0"))
            continue;
        SurfaceBase b;
        b.name = f.substr(0, f.size() - 4);
        if (readBase(folder + "/" + f, b)) bases.push_back(std::move(b));
    }
}

bool bodyConfigured(const std::string& body) {
    return !findFileNoCase("Config/" + body + ".cfg").empty();
}

const std::vector<SurfaceBase>& basesOf(const std::string& body) {
    World& w = world();
    auto it = w.bases.find(body);
    if (it != w.bases.end()) return it->second;
    std::vector<SurfaceBase> found;
    std::vector<std::string> lines;
    const std::string cfg = findFileNoCase("Config/" + body + ".cfg");
    if (!cfg.empty()) readLines(cfg, lines);
    size_t at = lines.size();
    for (size_t i = 0; i < lines.size(); ++i)
        if (startsWithNoCase(lines[i].c_str(), "BEGIN_SURFBASE")) {
            at = i + 1;
            break;
        }
    if (at < lines.size()) {
        for (size_t i = at; i < lines.size(); ++i) {
            const std::string& raw = lines[i];
            if (raw.size() > 255 || startsWithNoCase(raw.c_str(), "END_SURFBASE")) break;
            const std::string pc = trimLine(raw);
            if (pc.empty()) continue;
            if (startsWithNoCase(pc.c_str(), "DIR")) {
                scanBases(pc.substr(3), found);
                continue;
            }
            // NAME:LNG LAT, the name as far as the first ':': the base is the file
            // Config/NAME.cfg, whose own name and place (if it gives them) take over. Without
            // that file the simulator finds no such base.
            const size_t b = pc.find_first_not_of(':');
            const size_t c = pc.find(':', b);
            if (b == std::string::npos || c == std::string::npos) continue;
            const char* p = pc.c_str() + c + 1;
            double lng, lat;
            if (!scanDouble(p, lng) || !scanDouble(p, lat)) continue;
            SurfaceBase base;
            base.name = pc.substr(b, c - b);
            base.lng = lng * RAD;
            base.lat = lat * RAD;
            const std::string file = findFileNoCase("Config/" + base.name + ".cfg");
            if (!file.empty() && readBase(file, base)) found.push_back(std::move(base));
        }
    } else {
        scanBases(body + "/Base", found);
    }
    // A name already listed (in any case) is not listed again.
    std::vector<SurfaceBase> bases;
    for (SurfaceBase& n : found)
        if (std::none_of(bases.begin(), bases.end(),
                         [&](const SurfaceBase& o) { return lower(o.name) == lower(n.name); }))
            bases.push_back(std::move(n));
    return w.bases[body] = std::move(bases);
}

const SurfaceBase* findBase(const std::string& body, const std::string& name) {
    for (const SurfaceBase& b : basesOf(body))
        if (b.name == name) return &b;
    return nullptr;
}

// A pad's place: its offset in the base's frame laid flat on the sphere of the body's mean
// radius R at the base, lat = lat_base - x / R, lng = lng_base + z / (R cos lat_base). Matched
// against the simulator's saves of vessels put on pads of bases on the Earth (5 to 46 degrees
// north and 31 south, offsets up to 30 km), the Moon and Mars, to the 1e-7 degrees they print.
void padPlace(const SurfaceBase& base, long pad, double radius, double& lng, double& lat) {
    lng = base.lng;
    lat = base.lat;
    if (pad < 0 || static_cast<size_t>(pad) >= base.pads.size() || radius <= 0.0) return;
    lat = base.lat - base.pads[pad].first / radius;
    lng = base.lng + base.pads[pad].second / (radius * std::cos(base.lat));
}

void deleteOwnedMeshes() {
    World& w = world();
    for (Mesh* m : w.ownedMeshes) delete m;
    w.ownedMeshes.clear();
}

static SURFHANDLE registerTexture(TextureRecord::Kind kind, const char* name) {
    World& w = world();
    TextureRecord r;
    r.kind = kind;
    r.name = name ? name : "";
    const std::string key = lower(r.name);
    auto it = w.textureByName.find(key);
    if (it != w.textureByName.end()) {
        r.handle = it->second;
    } else {
        auto tex = std::make_unique<TextureRecord>(r);
        r.handle = tex.get();
        tex->handle = r.handle;
        w.textures.push_back(std::move(tex));
        w.textureByName[key] = r.handle;
    }
    w.records.textures.push_back(r);
    return r.handle;
}

}  // namespace detail

std::string findFileNoCase(const std::string& relative) {
    return detail::findNoCase(relative, false);
}

namespace detail {

std::string findNoCase(const std::string& relative, bool dir) {
    std::string rel = relative;
    for (char& c : rel)
        if (c == '\\') c = '/';
    if (exists(rel) && isDir(rel) == dir) return rel;
    std::stringstream parts(rel);
    std::string part;
    std::vector<std::string> comps;
    while (std::getline(parts, part, '/'))
        if (!part.empty() && part != ".") comps.push_back(part);
    std::string cur = rel.size() && rel[0] == '/' ? "" : ".";
    for (size_t i = 0; i < comps.size(); ++i) {
        std::string want = lower(comps[i]);
        std::string found;
        std::string exact = cur + "/" + comps[i];
        if (exists(exact)) {
            found = comps[i];
        } else {
            DIR* d = opendir(cur.empty() ? "/" : cur.c_str());
            if (!d) return "";
            while (dirent* e = readdir(d)) {
                if (lower(e->d_name) == want) {
                    found = e->d_name;
                    break;
                }
            }
            closedir(d);
        }
        if (found.empty()) return "";
        cur += "/" + found;
        if (i + 1 < comps.size() && !isDir(cur)) return "";
    }
    if (comps.empty() || isDir(cur) != dir) return "";
    return cur.compare(0, 2, "./") == 0 ? cur.substr(2) : cur;
}

}  // namespace detail

}  // namespace host

using namespace host;
using namespace host::detail;

SURFHANDLE oapiRegisterExhaustTexture(char* name) {
    return registerTexture(host::TextureRecord::EXHAUST, name);
}
SURFHANDLE oapiRegisterParticleTexture(char* name) {
    return registerTexture(host::TextureRecord::PARTICLE, name);
}
SURFHANDLE oapiRegisterReentryTexture(char* name) {
    return registerTexture(host::TextureRecord::REENTRY, name);
}
MESHHANDLE oapiLoadMesh(const char* fname) {
    World& w = world();
    MeshLoadRecord r;
    r.name = fname ? fname : "";
    // A mesh of the caller's own, which it must delete; a missing file gives an empty mesh.
    auto m = std::make_unique<Mesh>();
    const std::string path = fname ? findFileNoCase("Meshes/" + r.name + ".msh") : "";
    if (!path.empty()) readMesh(path, *m);
    m->name = r.name;
    m->path = m->groups > 0 ? path : "";
    r.handle = m.get();
    w.ownedMeshes.insert(m.get());  // may throw: the mesh is released only once listed
    m.release();
    w.records.meshLoads.push_back(r);
    return r.handle;
}

MESHHANDLE oapiLoadMeshGlobal(const char* fname) {
    MeshLoadRecord r;
    r.name = fname ? fname : "";
    r.global = true;
    r.handle = loadGlobalMesh(r.name);
    world().records.meshLoads.push_back(r);
    return r.handle;
}

void oapiDeleteMesh(MESHHANDLE hMesh) {
    World& w = world();
    Mesh* m = static_cast<Mesh*>(hMesh);
    if (!m) return;
    if (w.ownedMeshes.erase(m)) {
        delete m;
        return;
    }
    // The simulator deletes whatever it is given: a shared mesh its manager still holds, or one
    // deleted before.
    for (const auto& shared : w.meshes)
        if (shared.get() == m) {
            stopHere("", 0,
                     "oapiDeleteMesh was given the shared mesh '" + m->name +
                         "' from oapiLoadMeshGlobal");
            return;
        }
    stopHere("", 0, "oapiDeleteMesh was given a mesh that is not live (deleted before?)");
}

size_t host::liveMeshCount() { return world().ownedMeshes.size(); }
