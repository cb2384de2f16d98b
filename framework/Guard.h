// The one way module code keeps an exception from reaching the simulator, which has no handler
// around its callbacks: the exception is caught and named in one line of the simulator's log, so
// that a fault the module survives still leaves a trace.
#ifndef GUARD_H
#define GUARD_H

#include "OrbiterModule.h"

#include <exception>

// Writes "Aerobell module: VESSEL: exception in WHERE: WHAT" to the simulator's log (without the
// vessel's part when vessel is null). Never throws.
void logCaughtException(const VESSEL* vessel, const char* where, const char* what) noexcept;

// Runs body; an exception it lets out is logged (see logCaughtException) and goes no further.
// True when body ran to its end.
template <typename Body>
bool guarded(const VESSEL* vessel, const char* where, Body&& body) noexcept {
    try {
        body();
        return true;
    } catch (const std::exception& e) {
        logCaughtException(vessel, where, e.what());
    } catch (...) {
        logCaughtException(vessel, where, "an exception of unknown type");
    }
    return false;
}

#endif  // GUARD_H
