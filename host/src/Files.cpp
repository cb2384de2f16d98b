// Files of the simulation root: case-free lookup, vessel class files, meshes and textures.
#include "World.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <sstream>

namespace host {
namespace detail {

static std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

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

const ClassInfo* classInfo(const std::string& className, std::string* error) {
    World& w = world();
    const std::string key = lower(className);
    auto it = w.classes.find(key);
    if (it != w.classes.end()) return &it->second;
    std::string rel = "Config/Vessels/" + className + ".cfg";
    std::string path = className.empty() ? "" : findFileNoCase(rel);
    if (path.empty()) {
        if (error) *error = "unknown vessel class '" + className + "' (no " + rel + ")";
        return nullptr;
    }
    ClassInfo ci;
    ci.path = path;
    if (!readLines(path, ci.lines)) {
        if (error) *error = path + ": cannot read the class file";
        return nullptr;
    }
    auto fail = [&](size_t i, const std::string& msg) {
        if (error) *error = path + ":" + std::to_string(i + 1) + ": " + msg;
        return nullptr;
    };
    bool inAttach = false;
    size_t attachStart = 0;
    for (size_t i = 0; i < ci.lines.size(); ++i) {
        std::string line = ci.lines[i];
        size_t semi = line.find(';');
        if (semi != std::string::npos) line.erase(semi);
        line = trim(line);
        if (line.empty()) continue;
        if (inAttach) {
            if (lower(line) == "end_attachment") {
                inAttach = false;
                continue;
            }
            std::istringstream in(line);
            std::string kind, id;
            double n[9];
            in >> kind;
            std::string word;
            for (double& d : n) {
                if (!(in >> word) || !parseDouble(word, d))
                    return fail(i, "attachment line needs P|C, nine numbers and an id");
            }
            in >> id;
            std::string k = lower(kind);
            if ((k != "p" && k != "c") || id.empty())
                return fail(i, "attachment line needs P|C, nine numbers and an id");
            ClassPoint p;
            p.toParent = k == "p";
            p.pos = _V(n[0], n[1], n[2]);
            p.dir = _V(n[3], n[4], n[5]);
            p.rot = _V(n[6], n[7], n[8]);
            p.id = id;
            ci.points.push_back(p);
            continue;
        }
        if (lower(line) == "begin_attachment") {
            inAttach = true;
            attachStart = i;
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;  // not a setting the host reads
        std::string k = lower(trim(line.substr(0, eq)));
        std::string v = trim(line.substr(eq + 1));
        auto number = [&](bool& has, double& out) {
            if (!parseDouble(v, out)) return false;
            has = true;
            return true;
        };
        if (k == "module") ci.module = v;
        else if (k == "meshname") ci.meshName = v;
        else if (k == "size") {
            if (!number(ci.hasSize, ci.size)) return fail(i, "bad number for Size: '" + v + "'");
        } else if (k == "mass") {
            if (!number(ci.hasMass, ci.mass)) return fail(i, "bad number for Mass: '" + v + "'");
        } else if (k == "maxfuel") {
            if (!number(ci.hasMaxFuel, ci.maxFuel) || ci.maxFuel < 0)
                return fail(i, "bad number for MaxFuel: '" + v + "'");
        }
    }
    if (inAttach) return fail(attachStart, "BEGIN_ATTACHMENT without END_ATTACHMENT");
    return &(w.classes[key] = std::move(ci));
}

// Reads a text mesh into `mesh` (group count and vertex positions); false when the file is not
// a readable mesh.
static bool readMesh(const std::string& path, Mesh& mesh) {
    std::vector<std::string> lines;
    if (!readLines(path, lines)) return false;
    size_t i = 0;
    auto nextWords = [&](std::vector<std::string>& words) {
        while (i < lines.size()) {
            std::istringstream in(lines[i++]);
            words.clear();
            std::string w;
            while (in >> w) words.push_back(w);
            if (!words.empty()) return true;
        }
        return false;
    };
    std::vector<std::string> words;
    if (!nextWords(words) || words[0] != "MSHX1") return false;
    long groups = -1;
    while (nextWords(words)) {
        if (words[0] == "GROUPS" && words.size() >= 2) {
            groups = std::strtol(words[1].c_str(), nullptr, 10);
            break;
        }
    }
    if (groups < 0) return false;
    std::vector<std::vector<VECTOR3>> vertices;
    for (long g = 0; g < groups; ++g) {
        long nv = -1, nt = -1;
        while (nextWords(words)) {
            if (words[0] == "GEOM" && words.size() >= 3) {
                nv = std::strtol(words[1].c_str(), nullptr, 10);
                nt = std::strtol(words[2].c_str(), nullptr, 10);
                break;
            }
        }
        if (nv < 0 || nt < 0) return false;
        std::vector<VECTOR3> group;
        for (long v = 0; v < nv; ++v) {
            VECTOR3 p;
            if (!nextWords(words) || words.size() < 3 || !parseDouble(words[0], p.x) ||
                !parseDouble(words[1], p.y) || !parseDouble(words[2], p.z))
                return false;
            group.push_back(p);
        }
        for (long t = 0; t < nt; ++t) {
            if (!nextWords(words) || words.size() < 3) return false;
            for (int k = 0; k < 3; ++k) {
                char* e = nullptr;
                long idx = std::strtol(words[k].c_str(), &e, 10);
                if (*e != '\0' || idx < 0 || idx >= nv) return false;
            }
        }
        vertices.push_back(std::move(group));
    }
    mesh.groups = static_cast<int>(groups);
    mesh.vertices = std::move(vertices);
    return true;
}

Mesh* loadMesh(const std::string& name) {
    World& w = world();
    std::string key = lower(name);
    auto it = w.meshCache.find(key);
    if (it != w.meshCache.end()) return it->second;
    std::string path = name.empty() ? "" : findFileNoCase("Meshes/" + name + ".msh");
    if (path.empty()) return nullptr;
    auto m = std::make_unique<Mesh>();
    if (!readMesh(path, *m)) return nullptr;
    m->name = name;
    m->path = path;
    m->global = true;
    Mesh* p = m.get();
    w.meshes.push_back(std::move(m));
    w.meshCache[key] = p;
    return p;
}

MESHHANDLE loadMeshCounted(const char* name, bool global) {
    World& w = world();
    MeshLoadRecord r;
    r.name = name ? name : "";
    r.global = global;
    if (global) {
        bool fail = w.failMeshIn > 0 && --w.failMeshIn == 0;
        r.handle = fail ? nullptr : loadMesh(r.name);
    } else {
        // A mesh of the caller's own, which it must delete; a file that cannot be read gives an
        // empty mesh, never null.
        auto m = std::make_unique<Mesh>();
        if (const Mesh* file = loadMesh(r.name)) *m = *file;
        m->name = r.name;
        m->global = false;
        r.handle = m.get();
        w.ownedMeshes.insert(m.get());  // may throw: the mesh is released only once listed
        m.release();
    }
    w.records.meshLoads.push_back(r);
    return r.handle;
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
    auto key = std::make_pair(static_cast<int>(kind), lower(r.name));
    auto it = w.textureByName.find(key);
    Texture* t;
    if (it != w.textureByName.end()) {
        t = it->second;
    } else {
        auto tex = std::make_unique<Texture>();
        tex->kind = kind;
        tex->name = r.name;
        t = tex.get();
        w.textures.push_back(std::move(tex));
        w.textureByName[key] = t;
    }
    r.handle = t;
    w.records.textures.push_back(r);
    return t;
}

}  // namespace detail

std::string findFileNoCase(const std::string& relative) {
    using namespace detail;
    std::string rel = relative;
    for (char& c : rel)
        if (c == '\\') c = '/';
    if (exists(rel) && !isDir(rel)) return rel;
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
    if (comps.empty() || isDir(cur)) return "";
    return cur.compare(0, 2, "./") == 0 ? cur.substr(2) : cur;
}

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
MESHHANDLE oapiLoadMesh(const char* fname) { return loadMeshCounted(fname, false); }
MESHHANDLE oapiLoadMeshGlobal(const char* fname) { return loadMeshCounted(fname, true); }

void oapiDeleteMesh(MESHHANDLE hMesh) {
    World& w = world();
    Mesh* m = static_cast<Mesh*>(hMesh);
    // Only a mesh of the caller's own is deleted; a shared one stays for every other user.
    if (m && w.ownedMeshes.erase(m)) delete m;
}

size_t host::liveMeshCount() { return world().ownedMeshes.size(); }

FILEHANDLE oapiOpenFile(const char* fname, FileAccessMode mode, PathRoot root) {
    if (!fname) return nullptr;
    std::string rel = fname;
    switch (root) {
    case CONFIG: rel = "Config/" + rel; break;
    case SCENARIOS: rel = "Scenarios/" + rel + ".scn"; break;
    case TEXTURES: rel = "Textures/" + rel; break;
    case TEXTURES2: rel = "Textures2/" + rel; break;
    case MESHES: rel = "Meshes/" + rel + ".msh"; break;
    case MODULES: rel = "Modules/" + rel; break;
    default: break;
    }
    for (char& c : rel)
        if (c == '\\') c = '/';
    auto f = std::make_unique<ScnFile>();
    if (mode == FILE_IN || mode == FILE_IN_ZEROONFAIL) {
        // The simulator's file system ignores case, so the root's files are found as it would.
        const std::string found = findFileNoCase(rel);
        if (found.empty() || !readLines(found, f->ownLines)) {
            if (mode == FILE_IN_ZEROONFAIL) return nullptr;
            f->ownLines.clear();
        }
        for (size_t i = 0; i < f->ownLines.size(); ++i) f->ownNumbers.push_back(static_cast<int>(i + 1));
        f->path = found.empty() ? rel : found;
        f->lines = &f->ownLines;
        f->lineNumbers = &f->ownNumbers;
    } else {
        f->writing = true;
        f->path = f->target = rel;
        f->append = mode == FILE_APP;
        f->out = &f->ownLines;
    }
    return f.release();
}

void oapiCloseFile(FILEHANDLE file, FileAccessMode) {
    std::unique_ptr<ScnFile> f(static_cast<ScnFile*>(file));
    if (!f || !f->writing || f->target.empty()) return;
    if (std::FILE* out = std::fopen(f->target.c_str(), f->append ? "ab" : "wb")) {
        for (const std::string& l : f->ownLines) {
            std::fwrite(l.data(), 1, l.size(), out);
            std::fputc('\n', out);
        }
        std::fclose(out);
    }
}

void oapiWriteLog(char* line) { world().records.log.push_back(line ? line : ""); }
