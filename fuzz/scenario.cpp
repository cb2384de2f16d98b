// A whole scenario file loaded through the host into cones, flown for a few steps with the
// pilot's keys, saved, and loaded again: what the system wrote must read back, and a scenario
// saved again straight after loading must not change.
#include "FuzzSupport.h"

#include <string>

namespace {

const char* const kInput = "Scenarios/fuzz-input.scn";
const char* const kSaved = "Scenarios/fuzz-saved.scn";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) return -1;
    fuzzsupport::writeFile(kInput, data, size);
    fuzzsupport::resetWorld();
    try {
        host::loadScenario(kInput);
    } catch (const host::Error&) {
        return 0;  // refused as a whole, before or while loading: nothing else to check
    }
    fuzzsupport::checkWorld();

    host::step();
    host::pressKey(OAPI_KEY_K);
    host::step();
    host::pressKey(OAPI_KEY_J);
    host::step();
    fuzzsupport::checkWorld();

    const std::string first = host::scenarioText();
    bool exact = true;
    for (host::Vessel* v : host::vessels()) {
        const COMMON_VESSEL_EX* cone = fuzzsupport::framework(v);
        if (cone == nullptr) continue;
        const std::string fault = fuzzsupport::savedLinesFault(v->lastSave);
        if (!fault.empty()) fuzzsupport::fail(v->name + ": " + fault);
        if (fuzzsupport::hasEmptyWords(*cone)) exact = false;
    }
    fuzzsupport::writeFile(kSaved, reinterpret_cast<const uint8_t*>(first.data()), first.size());

    fuzzsupport::resetWorld();
    try {
        host::loadScenario(kSaved);
    } catch (const host::Error& e) {
        fuzzsupport::fail(std::string("a saved scenario does not load: ") + e.what() + "\n" + first);
    }
    fuzzsupport::checkWorld();
    const std::string second = host::scenarioText();
    if (exact && second != first) {
        fuzzsupport::fail("saving a loaded scenario changed it:\n--- first\n" + first +
                          "--- second\n" + second);
    }
    return 0;
}
