#pragma once

#include "FlightScript.h"

#include <iosfwd>
#include <optional>
#include <string>

namespace runner {

struct FlightOptions {
    std::string scenario;               // absolute
    std::optional<FlightScript> script; // parsed, save paths absolute
    std::optional<double> until;        // seconds; default: 1 s after the last command, or 10 s
    double dt = 0.1;
    double sampleInterval = 0.5;        // timeline rows; the plot uses every step
    std::string save, timeline, plot;   // absolute, empty when not asked for
    std::string title;                  // for the plot
};

// Loads the scenario into the host (its root is already set), flies it, prints one line per
// event and a summary to `out`, and writes the files asked for. Throws InputError for bad input;
// every output folder has been checked before the first step.
void runFlight(const FlightOptions& options, std::ostream& out);

// The end time of a flight with these options.
double flightEnd(const FlightOptions& options);

}  // namespace runner
