#pragma once

#include "FlightScript.h"

#include <iosfwd>
#include <optional>
#include <string>

namespace runner {

struct FlightOptions {
    std::string scenario;                // absolute
    std::optional<FlightScript> script;  // parsed, save paths absolute
    bool ownScript = false;              // the script was found beside the scenario, not given
    std::optional<double> until;         // seconds; default: 1 s after the last command, or 10 s
    double dt = 0.1;
    double sampleInterval = 0.5;       // timeline rows; the plot takes every step
    std::string save, timeline, plot;  // absolute, empty when not asked for
    // The same as the user wrote them, for messages; empty: as above.
    std::string saveShown, timelineShown, plotShown;
    std::string title;      // for the plot
    double plotFrom = 0.0;  // the plot's time axis, within the flight; plotTo < 0: to its end
    double plotTo = -1.0;
    bool strict = false;    // warnings are errors
    bool quiet = false;     // no events for the simulator's log lines and module-less vessels
    bool progress = false;  // show how far a long flight has come on standard error
};

// How a flight ended.
struct FlightEnd {
    enum Kind {
        kComplete,     // reached its end time
        kError,        // ended early on an error in what the runner was given (exit status 2)
        kStop,         // the simulator would have stopped (exit status 3)
        kInterrupted,  // SIGINT or SIGTERM ended it between two steps (exit status 128 + signal)
    } kind = kComplete;
    std::string reason;  // the one line that says why, for kError and kStop
    double time = 0.0;   // simulation time the flight reached
    int signal = 0;      // for kInterrupted
};

// The steps that take a flight from 0 to `end` with steps of `dt`: whole steps, then one shorter
// step where `end` falls between two, so that the flight ends at `end` itself.
struct StepPlan {
    long wholeSteps = 0;
    double lastStep = 0.0;  // 0: none
};
// The most steps a run takes: at a microsecond a step, a quarter of an hour.
constexpr double kMaxSteps = 1e9;
// Throws InputError when a run cannot reach `end` (more than kMaxSteps steps).
StepPlan planSteps(double end, double dt);

// Loads the scenario into the host (its root is already set), flies it, prints one line per
// event and a summary to `out`, warnings to `err`, and writes the files asked for, also when the
// flight ends early (then the summary says why; after a stop nothing is saved). Throws
// InputError for what stops a run before its first step (bad times, an output it cannot write,
// a scenario it cannot read) and host::Stop when the simulator would stop loading it.
FlightEnd runFlight(const FlightOptions& options, std::ostream& out, std::ostream& err);

// The end time of a flight with these options.
double flightEnd(const FlightOptions& options);

}  // namespace runner
