// The time step in the simulator's order, the keyboard, and the visual callbacks.
#include "World.h"

#include <cmath>
#include <cstring>

namespace host {
namespace detail {

namespace {

int deliverKey(int code, bool down) {
    World& w = world();
    KeyRecord r;
    r.time = w.time;
    r.vessel = w.focus;
    r.key = static_cast<DWORD>(code);
    r.down = down;
    if (w.focus && code >= 0 && code <= 255) {
        if (VESSEL2* cb = callbacks(*w.focus)) {
            char state[256];
            std::memcpy(state, w.held, sizeof state);
            if (down) state[code] = static_cast<char>(0x80);
            callModule("clbkConsumeBufferedKey", *w.focus,
                       [&] { r.result = cb->clbkConsumeBufferedKey(r.key, down, state); });
        }
    }
    w.records.keys.push_back(r);
    notify([&](Listener& l) { l.onKeyEvent(r); });
    return r.result;
}

// Calls `f` with the callbacks of every vessel by index; the list is read afresh each time, so a
// vessel made during the pass is called in it.
template <class F>
void eachVessel(const char* callback, F f) {
    World& w = world();
    for (size_t i = 0; i < w.vessels.size(); ++i)
        if (VESSEL2* cb = callbacks(*w.vessels[i]))
            callModule(callback, *w.vessels[i], [&] { f(*cb); });
}

}  // namespace
}  // namespace detail

using namespace detail;

void step() {
    World& w = world();
    throwIfStopped();
    const double t0 = w.time;  // where the last step ended
    ++w.step;
    w.time = w.baseTime + static_cast<double>(w.step - w.baseStep) * w.dt;
    const double t = w.time;
    const double dt = w.dt;
    const double mjd0 = w.mjd0 + t0 * (1.0 / 86400.0);
    const double mjd = w.mjd0 + t * (1.0 / 86400.0);
    struct InStep {
        InStep() { world().inStep = world().inPasses = true; }
        ~InStep() {
            World& w = world();
            w.inStep = w.inPasses = w.stepOpen = w.stateUpdate = false;
        }
    } inStep;
    w.stepOpen = true;
    w.passStart = t0;
    w.simStep = dt;
    // Before the flight script's or the vessels' callbacks of the step change any level.
    keepStartingThrust();
    if (w.preStepHook) w.preStepHook(t);
    // As in the simulator, a step's pre-step callbacks are given its start, its post-step ones
    // its end.
    eachVessel("clbkPreStep", [&](VESSEL2& cb) { cb.clbkPreStep(t0, dt, mjd0); });
    physics(dt);
    // Each vessel's update ends by summing its mass again, the step's consumption included.
    for (Vessel* v : w.vessels) updateMass(*v);
    updateProxies(t);
    eachVessel("clbkPostStep", [&](VESSEL2& cb) { cb.clbkPostStep(t, dt, mjd); });
    // The new states take over: the global frame shows the step's end.
    w.stepOpen = w.stateUpdate = false;
    killPending();
    if (!w.doomed.empty()) destroyDoomed();
    if (w.stop) throwIfStopped();
    w.inPasses = false;  // the step is over: keys come at its end time
    // The keyboard after the update, as the simulator reads it once a frame is done: a key
    // pressed for one step is let go at the end of the next.
    if (!w.releasedKeys.empty() || !w.queuedKeys.empty()) {
        std::vector<int> up, down;
        up.swap(w.releasedKeys);
        down.swap(w.queuedKeys);
        for (int k : up) deliverKey(k, false);
        for (int k : down) {
            deliverKey(k, true);
            w.releasedKeys.push_back(k);
        }
    }
    notify([&](Listener& l) { l.onStepEnd(t); });
}

void runFor(double seconds) {
    World& w = world();
    throwIfStopped();
    if (!(seconds > 0.0) || !std::isfinite(seconds)) return;
    long n = std::lround(seconds / w.dt);
    for (long i = 0; i < n; ++i) step();
}

void holdKey(int code, bool down) {
    if (code < 0 || code > 255) return;
    world().held[code] = down ? static_cast<char>(0x80) : 0;
}

int sendKeyEvent(int code) {
    throwIfStopped();
    return deliverKey(code, true);
}

void pressKey(int code) {
    throwIfStopped();
    world().queuedKeys.push_back(code);
}

void visualCreated(OBJHANDLE h) {
    throwIfStopped();
    if (!valid(h)) return;
    if (VESSEL2* cb = callbacks(*rec(h)))
        callModule("clbkVisualCreated", *rec(h), [&] { cb->clbkVisualCreated(h, 1); });
}

void visualDestroyed(OBJHANDLE h) {
    throwIfStopped();
    if (!valid(h)) return;
    if (VESSEL2* cb = callbacks(*rec(h)))
        callModule("clbkVisualDestroyed", *rec(h), [&] { cb->clbkVisualDestroyed(h, 0); });
}

}  // namespace host

using namespace host;
using namespace host::detail;

double oapiGetSimTime() {
    const World& w = world();
    return w.inPasses ? w.passStart : w.time;
}
double oapiGetSimStep() { return world().simStep; }

bool oapiAcceptDelayedKey(char key, double repdelay) {
    World& w = world();
    // One key is remembered, with the time it was last accepted (simulation time stands in for
    // the wall clock; the nanosecond absorbs the rounding of step times).
    if (key == w.lastKey && w.time - w.lastKeyTime < repdelay - 1e-9 && w.time > w.lastKeyTime)
        return false;
    w.lastKey = key;
    w.lastKeyTime = w.time;
    return true;
}
