#pragma once

#include <chrono>
#include <iosfwd>

namespace runner {

// A line on standard error that tells how far a long flight has come: shown only where that is
// a terminal, only once the flight has taken a while, and redrawn a few times a second.
class Progress {
public:
    // `end`: the time the flight is to reach. `enabled`: standard error is a terminal.
    Progress(std::ostream& err, double end, bool enabled);
    ~Progress() { clear(); }

    // Called after every step; looks at the clock only every few calls.
    void update(double simTime) {
        if (enabled_ && ++calls_ % kCallsPerLook == 0) look(simTime);
    }
    // Takes the line away, so that other output starts on a clean line.
    void clear();

private:
    static constexpr unsigned kCallsPerLook = 16;
    using Clock = std::chrono::steady_clock;

    void look(double simTime);

    std::ostream& err_;
    double end_;
    bool enabled_;
    bool shown_ = false;
    unsigned calls_ = 0;
    Clock::time_point start_, nextDraw_;
};

// True when standard error is a terminal that can take the line back (not "dumb").
bool stderrIsTerminal();

}  // namespace runner
