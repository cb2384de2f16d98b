// The few dynamic-loader calls the test suites make, over the Windows loader, for test builds
// that run on Windows. A library named NAME.so is looked for as NAME.dll, the suffix the build
// gives modules there.
#ifndef AEROBELL_POSIX_SHIM_DLFCN_H
#define AEROBELL_POSIX_SHIM_DLFCN_H

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#define RTLD_LAZY 0x1
#define RTLD_NOW 0x2
#define RTLD_LOCAL 0x0
#define RTLD_GLOBAL 0x100
#define RTLD_NOLOAD 0x4

namespace aerobell_posix_shim {
inline char lastError[64] = "";
inline bool errorPending = false;

inline void setError() {
    std::snprintf(lastError, sizeof lastError, "Windows error %lu",
                  static_cast<unsigned long>(GetLastError()));
    errorPending = true;
}
}  // namespace aerobell_posix_shim

inline void* dlopen(const char* file, int flags) {
    if (file == nullptr) return GetModuleHandleA(nullptr);
    std::string name(file);
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0)
        name.replace(name.size() - 3, 3, ".dll");
    for (char& c : name) {
        if (c == '/') c = '\\';
    }
    HMODULE lib = nullptr;
    if (flags & RTLD_NOLOAD) {
        // Only a library already in the process, counted once more, as dlopen does.
        if (!GetModuleHandleExA(0, name.c_str(), &lib)) lib = nullptr;
    } else {
        lib = LoadLibraryA(name.c_str());
    }
    if (lib == nullptr) aerobell_posix_shim::setError();
    return reinterpret_cast<void*>(lib);
}

inline void* dlsym(void* lib, const char* name) {
    FARPROC proc = GetProcAddress(static_cast<HMODULE>(lib), name);
    if (proc == nullptr) aerobell_posix_shim::setError();
    return reinterpret_cast<void*>(proc);
}

inline int dlclose(void* lib) { return FreeLibrary(static_cast<HMODULE>(lib)) ? 0 : -1; }

inline char* dlerror() {
    if (!aerobell_posix_shim::errorPending) return nullptr;
    aerobell_posix_shim::errorPending = false;
    return aerobell_posix_shim::lastError;
}

#endif  // AEROBELL_POSIX_SHIM_DLFCN_H
