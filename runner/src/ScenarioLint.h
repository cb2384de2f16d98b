#pragma once

#include <string>
#include <utility>
#include <vector>

namespace runner {

// Findings about a scenario as a whole, at lines of the file: what the simulator and the cones
// do with it that its author probably did not mean (names given twice, a module that is not
// installed, a stage with nothing in it, a name with a blank, a vessel block without its END).
// `lines` is the file as read; the scenario is loaded in the host.
std::vector<std::pair<int, std::string>> scenarioFindings(const std::vector<std::string>& lines);

struct FlightScript;

// A flight script's `focus` commands that name no vessel the scenario has or makes: none of its
// vessels, none of its items, no astronaut a cone takes from its class (NAME-Suit), each as
// "FILE:LINE: message". `lines` is the scenario as read.
std::vector<std::string> scriptFindings(const FlightScript& script,
                                        const std::vector<std::string>& lines);

// Throws InputError unless the file has at least one of a scenario's sections (a misspelt one
// among others is a finding, not another kind of file).
void requireScenario(const std::vector<std::string>& lines, const std::string& displayName);

}  // namespace runner
