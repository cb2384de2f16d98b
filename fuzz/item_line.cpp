// Item lines handed to a cone, one per input line, as the scenario reader hands them over;
// then the table is saved and the saved lines are read into a second cone, which must come
// back with the same items.
#include "FuzzSupport.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::vector<std::string> splitLines(const uint8_t* data, size_t size) {
    std::vector<std::string> lines;
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            lines.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    lines.push_back(current);
    return lines;
}

// The value a number takes after being written with two decimals and read again.
double rounded(double d) {
    char b[64];
    std::snprintf(b, sizeof b, "%.2lf", d);
    return std::strtod(b, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) return -1;
    fuzzsupport::resetWorld();
    const OBJHANDLE h = host::createVessel("Fuzz", "AEROBELL", host::defaultStatus());
    COMMON_VESSEL_EX* cone = h != nullptr ? fuzzsupport::framework(h) : nullptr;
    if (cone == nullptr) fuzzsupport::fail("the cone was not created");

    for (const std::string& line : splitLines(data, size)) cone->HandleItemText(line.c_str());
    std::string fault = fuzzsupport::itemTableFault(*cone);
    if (!fault.empty()) fuzzsupport::fail("after reading: " + fault);

    const std::vector<std::string> block = host::saveVesselState(h);
    fault = fuzzsupport::savedLinesFault(block);
    if (!fault.empty()) fuzzsupport::fail(fault);

    if (fuzzsupport::hasEmptyWords(*cone)) return 0;

    const OBJHANDLE h2 = host::createVessel("Fuzz-2", "AEROBELL", host::defaultStatus());
    COMMON_VESSEL_EX* copy = h2 != nullptr ? fuzzsupport::framework(h2) : nullptr;
    if (copy == nullptr) fuzzsupport::fail("the second cone was not created");
    for (const std::string& line : block) {
        const std::size_t b = line.find_first_not_of(" \t");
        if (b == std::string::npos) continue;
        const std::string l = line.substr(b);
        if (itemtable::isItemCandidate(l.c_str())) copy->HandleItemText(l.c_str());
    }
    // A full table ignores closing lines, so only a table with room must end with none open.
    if (copy->OpenStage() != -1 && !copy->Item(COMMON_VESSEL_EX::kItemCount - 1).present)
        fuzzsupport::fail("a table read back leaves a stage open");
    for (int i = 0; i < COMMON_VESSEL_EX::kItemCount; ++i) {
        const StageSlot& a = cone->Item(i);
        const StageSlot& b = copy->Item(i);
        char where[32];
        std::snprintf(where, sizeof where, "slot %d ", i);
        if (a.present != b.present) fuzzsupport::fail(std::string(where) + "present differs");
        if (!a.present) continue;
        if (a.kind != b.kind || a.parent != b.parent)
            fuzzsupport::fail(std::string(where) + "kind or parent differs after the round trip");
        if (std::strcmp(a.name, b.name) != 0 || std::strcmp(a.className, b.className) != 0 ||
            a.mesh.fileName != b.mesh.fileName)
            fuzzsupport::fail(std::string(where) + "a name differs after the round trip");
        const double before[] = {a.mesh.offset.x, a.mesh.offset.y, a.mesh.offset.z,
                                 a.mass,          a.angle,         a.fuel};
        const double after[] = {b.mesh.offset.x, b.mesh.offset.y, b.mesh.offset.z,
                                b.mass,          b.angle,         b.fuel};
        for (int k = 0; k < 6; ++k) {
            if (rounded(before[k]) != after[k])
                fuzzsupport::fail(std::string(where) + "a number differs after the round trip");
        }
    }
    return 0;
}
