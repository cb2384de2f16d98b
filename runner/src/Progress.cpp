#include "Progress.h"

#include "Messages.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>

namespace runner {

namespace {

// A flight quicker than this shows nothing; after it, the line is redrawn this often.
constexpr std::chrono::milliseconds kQuiet(2000);
constexpr std::chrono::milliseconds kRedraw(250);

}  // namespace

Progress::Progress(std::ostream& err, double end, bool enabled)
    : err_(err),
      end_(end),
      enabled_(enabled),
      start_(Clock::now()),
      nextDraw_(start_ + kQuiet) {}

void Progress::look(double simTime) {
    const Clock::time_point now = Clock::now();
    if (now < nextDraw_) return;
    nextDraw_ = now + kRedraw;
    const double share = end_ > 0.0 ? 100.0 * simTime / end_ : 100.0;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    char line[160];
    std::snprintf(line, sizeof line, "\r%sflying: %.2f of %.2f s (%.0f %%), %.0f s so far\x1b[K",
                  kProgramPrefix, simTime, end_, share, elapsed);
    err_ << line << std::flush;
    shown_ = true;
}

void Progress::clear() {
    if (!shown_) return;
    err_ << "\r\x1b[K" << std::flush;
    shown_ = false;
}

bool stderrIsTerminal() {
    const char* term = std::getenv("TERM");
    return ::isatty(STDERR_FILENO) && !(term && std::strcmp(term, "dumb") == 0);
}

}  // namespace runner
