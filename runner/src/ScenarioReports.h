#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace runner {

// Prints the vessels of a scenario after loading: each cone's items as a tree, masses, meshes.
// The host's root is already set; `scenario` is absolute.
void showScenario(const std::string& scenario, std::ostream& out);

// Every item line of the scenario's cones that a cone would drop, cut or read differently than
// written, as "FILE:LINE: message" with FILE as `displayName`. Throws InputError when the file
// cannot be read or names a class without a class file.
std::vector<std::string> lintScenario(const std::string& scenario, const std::string& displayName);

// The module the cone class files name.
extern const char* const kConeModule;

}  // namespace runner
