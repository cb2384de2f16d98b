#pragma once

#include <optional>
#include <string>
#include <vector>

namespace runner {

// The state of one vessel at one moment of a flight.
struct Sample {
    double time = 0.0;
    std::string vessel;
    double massKg = 0.0;
    double emptyMassKg = 0.0;
    double propellantKg = 0.0;         // all the vessel's propellant
    // The tank of the retro motor: the resource its group draws on, or before the group exists
    // the default resource of a vessel run by a module; empty for other vessels.
    std::optional<double> retroPropellantKg;
    std::optional<double> deployState; // state of the vessel's first animation, if it has one
    double retroLevel = 0.0;           // level of the retro thruster group, 0 without one
    double speedMps = 0.0;
};

// The timeline file: one row per sample with exactly these columns.
extern const char* const kTimelineHeader;

void writeTimelineCsv(const std::string& file, const std::vector<Sample>& samples);

}  // namespace runner
