// A vessel class file and a mesh, both from the input: the host reads them when a vessel of
// the class is made (by the host, and by a cone releasing an item of that class) and when a
// cone's item names the mesh.
#include "FuzzSupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) return -1;
    FuzzedDataProvider in(data, size);
    const std::string cls = in.ConsumeRandomLengthString(16 * 1024);
    const std::string mesh = in.ConsumeRemainingBytesAsString();
    fuzzsupport::writeFile("Config/Vessels/FuzzClass.cfg",
                           reinterpret_cast<const uint8_t*>(cls.data()), cls.size());
    fuzzsupport::writeFile("Meshes/fuzzmesh.msh", reinterpret_cast<const uint8_t*>(mesh.data()),
                           mesh.size());
    fuzzsupport::resetWorld();
    host::setRoot(fuzzsupport::root());  // forgets the classes and meshes read before

    // A class whose mesh cannot be loaded stops the simulator: an outcome, not a finding.
    try {
        host::createVessel("Fuzz-Vessel", "FuzzClass", host::defaultStatus());
    } catch (const host::Stop&) {
        return 0;
    }

    const OBJHANDLE h = host::createVessel("Fuzz-Cone", "AEROBELL", host::defaultStatus());
    COMMON_VESSEL_EX* cone = h != nullptr ? fuzzsupport::framework(h) : nullptr;
    if (cone == nullptr) fuzzsupport::fail("the cone was not created");
    host::setFocus(h);
    cone->HandleItemText("STAGE Fuzz-Stage fuzzmesh FuzzClass 0 0 -1 50 0 1");
    cone->HandleItemText("PAYLOAD Fuzz-Inner fuzzmesh FuzzClass 0 0.3 -1 10 0 1");
    cone->HandleItemText("ENDSTAGE");
    cone->HandleItemText("PAYLOAD Fuzz-Item fuzzmesh FuzzClass 1 0 0 20 30 0.5");
    try {
        host::visualCreated(h);
        host::step();
        host::sendKeyEvent(OAPI_KEY_J);
        host::step();
        host::sendKeyEvent(OAPI_KEY_J);
        host::step();
        fuzzsupport::checkWorld();
        host::scenarioText();
    } catch (const host::Stop&) {
        fuzzsupport::checkWorld();
    }
    return 0;
}
