// A stream of messages with arbitrary keys and texts sent to two cones through the message
// module, interleaved with steps (in which the cones poll) and the pilot's keys.
#include "FuzzSupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) return -1;
    fuzzsupport::resetWorld();
    OBJHANDLE cones[2] = {
        host::createVessel("Fuzz-A", "AEROBELL", host::defaultStatus()),
        host::createVessel("Fuzz-B", "AEROBELL2001", host::defaultStatus()),
    };
    if (cones[0] == nullptr || cones[1] == nullptr) fuzzsupport::fail("cones not created");
    host::setFocus(cones[0]);
    const fuzzsupport::SendFn send = fuzzsupport::sendMessage();

    FuzzedDataProvider in(data, size);
    // A release of an item whose class has no class file stops the simulator: an outcome.
    try {
        for (int op = 0; op < 200 && in.remaining_bytes() > 0; ++op) {
            switch (in.ConsumeIntegralInRange<int>(0, 7)) {
                case 0:
                    host::step();
                    break;
                case 1: {
                    static const int keys[] = {OAPI_KEY_K, OAPI_KEY_J, OAPI_KEY_S};
                    host::sendKeyEvent(keys[in.ConsumeIntegralInRange<int>(0, 2)]);
                    break;
                }
                default: {
                    // Keys and texts may run beyond the module's buffers: it must cut them.
                    const OBJHANDLE to = cones[in.ConsumeBool() ? 1 : 0];
                    const std::string key = in.ConsumeRandomLengthString(300);
                    const std::string text = in.ConsumeRandomLengthString(3000);
                    send(host::vessel(to).iface, key.c_str(), text.c_str());
                    break;
                }
            }
        }
        host::step();
    } catch (const host::Stop&) {
        fuzzsupport::checkWorld();
        return 0;
    }
    fuzzsupport::checkWorld();
    for (host::Vessel* v : host::vessels()) {
        if (fuzzsupport::framework(v) == nullptr) continue;
        const std::string fault = fuzzsupport::savedLinesFault(host::saveVesselState(v));
        if (!fault.empty()) fuzzsupport::fail(v->name + ": " + fault);
    }
    return 0;
}
