#include "Paths.h"

#include "InputError.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

// Where an installed simulation root lies, relative to the installed runner's folder.
#ifndef AEROBELL_INSTALLED_ROOT
#  define AEROBELL_INSTALLED_ROOT "../share/aerobell/sim"
#endif

namespace runner {

std::string absoluteFrom(const std::string& base, const std::string& path) {
    fs::path p(path);
    if (p.is_absolute()) return p.lexically_normal().string();
    return (fs::path(base) / p).lexically_normal().string();
}

std::string executableFolder() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return fs::current_path().string();
    return self.parent_path().string();
}

std::string defaultRoot() {
    // An installed runner finds the root installed with it; one in the build tree, the copy the
    // build keeps beside its bin/ folder. Neither there: the installed one is named in the error.
    const fs::path bin = executableFolder();
    const fs::path installed = (bin / AEROBELL_INSTALLED_ROOT).lexically_normal();
    const fs::path built = (bin / ".." / "sim").lexically_normal();
    std::error_code ec;
    if (!fs::is_directory(installed, ec) && fs::is_directory(built, ec)) return built.string();
    return installed.string();
}

void requireParentFolder(const std::string& file, const std::string& what,
                         const std::string& shown) {
    const fs::path parent = fs::path(file).parent_path();
    std::error_code ec;
    if (parent.empty() || fs::is_directory(parent, ec)) return;
    const std::string name = shown.empty() ? file : shown;
    const std::string folder = fs::path(name).parent_path().string();
    throw InputError(what + " " + name + ": folder " + (folder.empty() ? parent.string() : folder) +
                     " does not exist");
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
    return fs::path(a).lexically_normal() == fs::path(b).lexically_normal();
}

}  // namespace runner
