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

// Reads a text mesh; gives the group count, or -1 when the file is not a readable mesh.
static int readMesh(const std::string& path) {
    std::vector<std::string> lines;
    if (!readLines(path, lines)) return -1;
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
    if (!nextWords(words) || words[0] != "MSHX1") return -1;
    long groups = -1;
    while (nextWords(words)) {
        if (words[0] == "GROUPS" && words.size() >= 2) {
            groups = std::strtol(words[1].c_str(), nullptr, 10);
            break;
        }
    }
    if (groups < 0) return -1;
    for (long g = 0; g < groups; ++g) {
        long nv = -1, nt = -1;
        while (nextWords(words)) {
            if (words[0] == "GEOM" && words.size() >= 3) {
                nv = std::strtol(words[1].c_str(), nullptr, 10);
                nt = std::strtol(words[2].c_str(), nullptr, 10);
                break;
            }
        }
        if (nv < 0 || nt < 0) return -1;
        for (long v = 0; v < nv; ++v) {
            double d;
            if (!nextWords(words) || words.size() < 3 || !parseDouble(words[0], d) ||
                !parseDouble(words[1], d) || !parseDouble(words[2], d))
                return -1;
        }
        for (long t = 0; t < nt; ++t) {
            if (!nextWords(words) || words.size() < 3) return -1;
            for (int k = 0; k < 3; ++k) {
                char* e = nullptr;
                long idx = std::strtol(words[k].c_str(), &e, 10);
                if (*e != '\0' || idx < 0 || idx >= nv) return -1;
            }
        }
    }
    return static_cast<int>(groups);
}

Mesh* loadMesh(const std::string& name) {
    World& w = world();
    std::string key = lower(name);
    auto it = w.meshCache.find(key);
    if (it != w.meshCache.end()) return it->second;
    std::string path = name.empty() ? "" : findFileNoCase("Meshes/" + name + ".msh");
    if (path.empty()) return nullptr;
    int groups = readMesh(path);
    if (groups < 0) return nullptr;
    auto m = std::make_unique<Mesh>();
    m->name = name;
    m->path = path;
    m->groups = groups;
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
    bool fail = w.failMeshIn > 0 && --w.failMeshIn == 0;
    r.handle = fail ? nullptr : loadMesh(r.name);
    w.records.meshLoads.push_back(r);
    return r.handle;
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
