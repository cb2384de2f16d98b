#pragma once

#include <string>

namespace runner {

// The runner works inside the simulation root, as the simulator does, but every file name the user
// types is meant relative to the folder the runner was started in. These helpers pin such names
// to absolute paths before the working folder changes.
std::string absoluteFrom(const std::string& base, const std::string& path);

// The folder the running executable lives in.
std::string executableFolder();

// The default simulation root: ../share/aerobell/sim from the executable's folder where it was
// installed, ../sim in the build tree.
std::string defaultRoot();

// Throws InputError unless the folder that would hold `file` exists.
// `shown` is the name to use in the message (what the user typed), `file` when empty.
void requireParentFolder(const std::string& file, const std::string& what,
                         const std::string& shown = "");

bool sameFile(const std::string& a, const std::string& b);

}  // namespace runner
