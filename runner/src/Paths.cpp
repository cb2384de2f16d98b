#include "Paths.h"

#include "InputError.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

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
    return (fs::path(executableFolder()) / ".." / "sim").lexically_normal().string();
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
