#include "Outputs.h"

#include "InputError.h"
#include "Text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace runner {

namespace {

// The one file two names stand for, as far as can be told before either exists.
fs::path identity(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(path, ec);
    return ec ? fs::path(path).lexically_normal() : p;
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;
    return identity(a) == identity(b);
}

}  // namespace

// Permissions alone do not tell (root, read-only mounts, special file systems), so a file is made
// and removed again.
std::string whyNotWritable(const std::string& folder, const std::string& shown) {
    std::error_code ec;
    const fs::file_status st = fs::status(folder, ec);
    if (!fs::exists(st)) return "folder " + shown + " does not exist";
    if (!fs::is_directory(st)) return shown + " is not a folder";
    const fs::path probe = fs::path(folder) / (".aerobell-sim-probe-" + std::to_string(::getpid()));
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) {
        if (errno == EEXIST) return "";
        return "cannot write into folder " + shown + ": " + std::strerror(errno);
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return "";
}

namespace {

// Why the run could not write `o`, or "" when it can. An existing file is opened for writing
// without truncating it, so it stays as it is; a device or pipe (/dev/stdout) is taken as given.
std::string writeProblem(const OutputFile& o) {
    std::error_code ec;
    const fs::file_status st = fs::status(o.path, ec);
    if (fs::is_directory(st)) return "is a folder, not a file";
    if (fs::is_regular_file(st)) {
        const int fd = ::open(o.path.c_str(), O_WRONLY);
        if (fd < 0) return std::string("cannot write it: ") + std::strerror(errno);
        ::close(fd);
        return "";
    }
    if (fs::exists(st)) return "";
    const std::string shownFolder = fs::path(o.shown).parent_path().string();
    const fs::path folder = fs::path(o.path).parent_path();
    return whyNotWritable(folder.string(), shownFolder.empty() ? folder.string() : shownFolder);
}

const char* describe(OutputFile::Kind kind) {
    switch (kind) {
        case OutputFile::kScenario:
            return "a saved scenario";
        case OutputFile::kTimeline:
            return "the timeline";
        case OutputFile::kPlot:
            return "the plot";
    }
    return "";
}

}  // namespace

void checkOutputs(const std::vector<OutputFile>& outputs, const std::vector<std::string>& inputs) {
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const OutputFile& o = outputs[i];
        const auto fail = [&](const std::string& why) { throw InputError(o.label + ": " + why); };

        if (o.kind == OutputFile::kPlot && upper(fs::path(o.path).extension().string()) != ".SVG")
            fail("plots are drawn as SVG only; give a file name ending in .svg");
        const std::string why = writeProblem(o);
        if (!why.empty()) fail(why);

        for (const std::string& in : inputs)
            if (sameFile(o.path, in)) fail("is an input of this run; write to another file");
        for (std::size_t j = 0; j < i; ++j) {
            const OutputFile& before = outputs[j];
            if (o.kind == OutputFile::kScenario && before.kind == OutputFile::kScenario) continue;
            if (sameFile(o.path, before.path))
                fail(std::string("is also ") + describe(before.kind) + " (" + before.label +
                     "); give each its own file");
        }
    }
}

}  // namespace runner
