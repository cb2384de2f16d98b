#include "Guard.h"

#include <cstdio>

void logCaughtException(const VESSEL* vessel, const char* where, const char* what) noexcept {
    try {
        const char* name = vessel != nullptr ? vessel->GetName() : nullptr;
        char line[512];
        if (name != nullptr) {
            std::snprintf(line, sizeof line, "Aerobell module: %s: exception in %s: %s", name,
                          where, what);
        } else {
            std::snprintf(line, sizeof line, "Aerobell module: exception in %s: %s", where, what);
        }
        oapiWriteLog(line);
    } catch (...) {
        // The log itself failed: nothing is left to tell it to.
    }
}
