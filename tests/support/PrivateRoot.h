// A test program's own copy of the built simulation root: suites add class files and scenarios
// to it without touching the build tree, and two programs never share one.
#ifndef PRIVATE_ROOT_H
#define PRIVATE_ROOT_H

#include "host/Host.h"

#ifdef _WIN32
#  include <process.h>
#else
#  include <unistd.h>
#endif

#include <filesystem>
#include <string>
#include <system_error>

namespace testroot {

// A fresh copy of the built root (with an empty Scenarios/Tests folder) named after the tag and
// this process.
inline std::filesystem::path copyBuiltRoot(const std::string& tag) {
    namespace fs = std::filesystem;
#ifdef _WIN32
    const long pid = static_cast<long>(::_getpid());
#else
    const long pid = static_cast<long>(::getpid());
#endif
    const fs::path dir = fs::temp_directory_path() / (tag + "-" + std::to_string(pid));
    fs::remove_all(dir);
    fs::copy(AEROBELL_SIM_DIR, dir, fs::copy_options::recursive);
    fs::create_directories(dir / "Scenarios" / "Tests");
    return dir;
}

// Resets the world first, so that no vessel or module of the copy is in use while it goes.
inline void removeRoot(const std::filesystem::path& dir) {
    host::reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace testroot

#endif  // PRIVATE_ROOT_H
