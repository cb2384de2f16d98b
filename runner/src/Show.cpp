#include "Readings.h"
#include "InputError.h"
#include "ScenarioReports.h"
#include "ItemTree.h"

#include <host/Host.h>

#include <cstdio>
#include <ostream>

namespace runner {

namespace {

std::string fmt(const char* format, double a, double b = 0.0, double c = 0.0) {
    char buf[160];
    std::snprintf(buf, sizeof buf, format, a, b, c);
    return buf;
}

std::string where(double x, double y, double z) { return fmt("(%.2f, %.2f, %.2f)", x, y, z); }

void printItems(std::ostream& out, const std::vector<CarriedItem>& items, int parent,
                const std::string& indent) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        const CarriedItem& it = items[i];
        if (it.parent != parent) continue;
        const ItemLineParse& f = it.fields;
        const bool stage = f.kind == ItemLineParse::kStage;
        out << indent << (stage ? "STAGE   " : "PAYLOAD ") << f.name << "  class " << f.className
            << ", mesh " << f.mesh << ", " << fmt("%.2f kg", f.mass) << " at "
            << where(f.x, f.y, f.z) << '\n';
        if (stage) printItems(out, items, static_cast<int>(i), indent + "    ");
    }
}

}  // namespace

void showScenario(const std::string& scenario, std::ostream& out) {
    host::reset();
    try {
        host::loadScenario(scenario);
    } catch (const host::Error& e) {
        throw InputError(e.what());
    }
    out << scenario << '\n';
    for (const std::string& d : host::scenario().description) out << "  | " << d << '\n';
    for (host::Vessel* v : host::vessels()) {
        out << '\n'
            << v->name << " (class " << v->className
            << (v->moduleName.empty() ? "" : ", module " + v->moduleName) << ")"
            << (host::focus() == v ? "  [focus]" : "") << '\n';
        out << "  mass "
            << fmt("%.2f kg: empty %.2f kg, propellant %.3f kg", v->mass(), v->emptyMass,
                   propellantKg(*v))
            << '\n';
        if (const host::Vessel* p = parentOf(*v))
            out << "  attached to " << p->name
                << (v->parentPoint && !v->parentPoint->id.empty() ? " at " + v->parentPoint->id
                                                                  : "")
                << '\n';
        out << "  meshes:";
        if (v->meshes.empty()) out << " none";
        out << '\n';
        for (std::size_t i = 0; i < v->meshes.size(); ++i) {
            const host::MeshSlot& m = v->meshes[i];
            out << "    " << i << "  "
                << (m.handle ? m.meshName
                             : std::string("(not found") +
                                   (m.meshName.empty() ? "" : ": " + m.meshName) + ")")
                << " at " << where(m.offset.x, m.offset.y, m.offset.z) << '\n';
        }
        if (v->moduleName.empty()) continue;
        const ItemReading reading = readItems(host::saveVesselState(v));
        if (reading.items.empty()) {
            out << "  items: none\n";
            continue;
        }
        const ItemMass m = itemMass(reading.items);
        out << "  items: " << reading.items.size() << ", " << fmt("%.2f kg", m.mass) << ", centre "
            << where(m.x, m.y, m.z) << '\n';
        printItems(out, reading.items, -1, "    ");
    }
}

}  // namespace runner
