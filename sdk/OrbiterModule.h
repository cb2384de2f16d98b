// Chief header of the vessel module: the simulator's programming interface plus the small
// portability layer that lets the same module sources build on Windows and on POSIX systems.
// Module sources include this header only; nothing outside it may call the platform directly.
#ifndef ORBITER_MODULE_H
#define ORBITER_MODULE_H

#include <Orbitersdk.h>

#if !defined(_WIN32)

#  include <dlfcn.h>
#  include <unistd.h>

#  include <cstring>
#  include <string>

typedef void* HMODULE;
// A generic function pointer; callers convert it to the real type of the function they look up.
// (void (*)() is the type every compiler lets through such a conversion without a warning.)
typedef void (*FARPROC)();

namespace orbiter_module_detail {

#  if defined(__APPLE__)
inline constexpr const char* kLibrarySuffix = ".dylib";
#  else
inline constexpr const char* kLibrarySuffix = ".so";
#  endif

// "Modules\cvelmessage" -> "<working folder>/Modules/cvelmessage.so": the simulator's names use
// backslashes and leave the extension out. The working folder is made explicit because the
// dynamic loader would otherwise search its own folders, and would take a relative name it has
// loaded before, from another working folder, for the same library.
inline std::string libraryPath(const char* name) {
    std::string path(name);
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    const std::string::size_type slash = path.rfind('/');
    const std::string::size_type dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        path += kLibrarySuffix;
    }
    if (!path.empty() && path[0] == '/') return path;
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) return "./" + path;
    return std::string(cwd) + "/" + path;
}

// Symbol look-ups run once per poll per vessel per step, so recent results are kept. Entries
// name their module; FreeLibrary drops that module's entries before the handle can be reused.
struct ProcCacheEntry {
    void* module;
    char name[32];
    void* proc;
};
inline constexpr int kProcCacheSize = 8;
inline ProcCacheEntry procCache[kProcCacheSize] = {};
inline int procCacheNext = 0;

inline void* cachedSymbol(void* module, const char* name) {
    const std::size_t len = std::strlen(name);
    const bool cacheable = len < sizeof(procCache[0].name);
    if (cacheable) {
        for (const ProcCacheEntry& e : procCache) {
            if (e.module == module && std::strcmp(e.name, name) == 0) return e.proc;
        }
    }
    void* proc = dlsym(module, name);
    if (cacheable && proc != nullptr) {
        ProcCacheEntry& e = procCache[procCacheNext];
        procCacheNext = (procCacheNext + 1) % kProcCacheSize;
        e.module = module;
        std::memcpy(e.name, name, len + 1);
        e.proc = proc;
    }
    return proc;
}

inline void forgetModule(void* module) {
    for (ProcCacheEntry& e : procCache) {
        if (e.module == module) e = ProcCacheEntry{};
    }
}

}  // namespace orbiter_module_detail

inline HMODULE LoadLibraryA(const char* name) {
    if (name == nullptr) return nullptr;
    try {
        return dlopen(orbiter_module_detail::libraryPath(name).c_str(), RTLD_NOW | RTLD_LOCAL);
    } catch (...) {
        return nullptr;
    }
}

inline FARPROC GetProcAddress(HMODULE module, const char* name) {
    if (module == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<FARPROC>(orbiter_module_detail::cachedSymbol(module, name));
}

// Non-zero on success, as on Windows.
inline int FreeLibrary(HMODULE module) {
    if (module == nullptr) return 0;
    orbiter_module_detail::forgetModule(module);
    return dlclose(module) == 0 ? 1 : 0;
}

#endif  // !_WIN32

#endif  // ORBITER_MODULE_H
