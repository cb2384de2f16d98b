// A whole scenario file loaded through the host into cones, flown for a few steps with the
// pilot's keys, saved, and loaded again: what the system wrote must read back, and a scenario
// saved again straight after loading must not change.
#include "FuzzSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const kInput = "Scenarios/fuzz-input.scn";
const char* const kSaved = "Scenarios/fuzz-saved.scn";

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// Attitudes are written in degrees; not every angle in radians has a decimal in degrees that
// reads back to exactly it, so the first reload may move one by the last bit, and no more.
bool sameAttitude(const std::string& a, const std::string& b) {
    double x[3], y[3];
    if (std::sscanf(a.c_str(), " AROT %lf %lf %lf", &x[0], &x[1], &x[2]) != 3 ||
        std::sscanf(b.c_str(), " AROT %lf %lf %lf", &y[0], &y[1], &y[2]) != 3)
        return false;
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(x[i] - y[i]) > 1e-12 * std::max(1.0, std::fabs(x[i]))) return false;
    }
    return true;
}

// The lines of vessel blocks that hang on a parent: the simulator reads no motion for such a
// vessel but places it on its parent's point, by its parent's attitude as written, so its own
// lines of motion may read back a last decimal apart.
std::vector<bool> attachedBlockLines(const std::vector<std::string>& a) {
    std::vector<bool> out(a.size(), false);
    std::size_t start = 0;
    bool attached = false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].rfind("  ATTACHED ", 0) == 0) attached = true;
        if (a[i] == "END" || a[i] == "END_SHIPS") {
            for (std::size_t j = start; j < i; ++j) out[j] = attached;
            start = i + 1;
            attached = false;
        }
    }
    return out;
}

bool finite(const VECTOR3& a) {
    return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}

bool motionLine(const std::string& l) {
    for (const char* key : {"  RPOS ", "  RVEL ", "  AROT ", "  VROT "})
        if (l.rfind(key, 0) == 0) return true;
    return false;
}

bool sameScenario(const std::string& first, const std::string& second) {
    const std::vector<std::string> a = lines(first), b = lines(second);
    if (a.size() != b.size()) return false;
    const std::vector<bool> attached = attachedBlockLines(a);
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] == b[i] || sameAttitude(a[i], b[i])) continue;
        if (attached[i] && motionLine(a[i]) && motionLine(b[i]) &&
            a[i].substr(0, 7) == b[i].substr(0, 7))
            continue;
        return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) return -1;
    fuzzsupport::writeFile(kInput, data, size);
    fuzzsupport::resetWorld();
    // Where the simulator would stop (a class file missing, no vessel at all, ...) the flight
    // ends there: an outcome, not a finding.
    std::string first;
    bool exact = true;
    try {
        host::loadScenario(kInput);
        fuzzsupport::checkWorld();
        host::step();
        host::pressKey(OAPI_KEY_K);
        host::step();
        host::pressKey(OAPI_KEY_J);
        host::step();
        fuzzsupport::checkWorld();
        first = host::scenarioText();
        for (host::Vessel* v : host::vessels()) {
            // One that sank below the surface in flight is lifted onto it when loaded again,
            // as the simulator does.
            if (v->readings.hasBody && v->status == 0 && v->readings.altitude < 0.0) exact = false;
            // A state blown up to infinities or NaNs (a vessel flown through its body's centre)
            // is written as such; what it reads back as, and its sign, is not one value.
            if (!finite(v->pos) || !finite(v->vel) || !finite(v->arot) || !finite(v->vrot))
                exact = false;
            // The host keeps the name of a body it has no file for; the simulator, knowing its
            // system's bodies, would save such a vessel as orbiting the Sun. A name long enough
            // to push the STATUS line past the simulator's line reader is none of its bodies.
            if (v->refBody.size() > 200) exact = false;
            // The simulator reads a parent's name on an ATTACHED line up to the first blank, so
            // a vessel hanging on a parent whose name holds one is loaded free.
            if (v->parentPoint != nullptr &&
                v->parentPoint->owner->name.find_first_of(" \t\v\f\r\n") != std::string::npos)
                exact = false;
            const COMMON_VESSEL_EX* cone = fuzzsupport::framework(v);
            if (cone == nullptr) continue;
            const std::string fault = fuzzsupport::savedLinesFault(host::saveVesselState(v));
            if (!fault.empty()) fuzzsupport::fail(v->name + ": " + fault);
            if (fuzzsupport::hasEmptyWords(*cone)) exact = false;
        }
    } catch (const host::Error&) {
        return 0;  // not readable at all
    } catch (const host::Stop&) {
        fuzzsupport::checkWorld();
        return 0;
    }
    fuzzsupport::writeFile(kSaved, reinterpret_cast<const uint8_t*>(first.data()), first.size());

    fuzzsupport::resetWorld();
    std::string second;
    try {
        host::loadScenario(kSaved);
        fuzzsupport::checkWorld();
        second = host::scenarioText();
    } catch (const host::Stop&) {
        // A vessel made in flight under a name the scenario format cannot carry back.
        return 0;
    } catch (const std::exception& e) {
        fuzzsupport::fail(std::string("a saved scenario does not load: ") + e.what() + "\n" +
                          first);
    }
    if (exact && !sameScenario(first, second)) {
        fuzzsupport::fail("saving a loaded scenario changed it:\n--- first\n" + first +
                          "--- second\n" + second);
    }
    return 0;
}
