#pragma once

#include "Timeline.h"

#include <string>
#include <vector>

namespace runner {

// Draws a flight as one SVG page of four panels over time: deployment, mass, retro propellant
// and speed, one line per vessel. Throws InputError when the file cannot be written.
void writeFlightPlot(const std::string& file, const std::string& title,
                     const std::vector<Sample>& samples);

}  // namespace runner
