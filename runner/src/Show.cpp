#include "ConeItems.h"
#include "InputError.h"
#include "Readings.h"
#include "ScenarioReports.h"

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

void printItems(std::ostream& out, const ItemTable& items, int parent, const std::string& indent) {
    for (int i = 0; i < itemtable::kCapacity; ++i) {
        const itemtable::ItemSlot& it = items[i];
        if (!it.present || it.parent != parent) continue;
        const bool stage = it.kind == itemtable::kStage;
        out << indent << (stage ? "STAGE   " : "PAYLOAD ") << it.name << "  class " << it.className
            << ", mesh " << it.mesh << ", " << fmt("%.2f kg", it.mass) << " at "
            << where(it.x, it.y, it.z) << '\n';
        if (stage) printItems(out, items, i, indent + "    ");
    }
}

// Each cone's items as it read them from its block (not as it saves them, which rounds them to
// two decimals): the mass and centre are then the cone's own.
std::vector<const host::BlockInfo*> blocksOfVessels() {
    std::vector<const host::BlockInfo*> out(host::vessels().size(), nullptr);
    const std::vector<host::BlockInfo>& blocks = host::scenario().blocks;
    // The scenario's vessels, in the order of their blocks.
    for (std::size_t i = 0; i < out.size() && i < blocks.size(); ++i) {
        if (blocks[i].name == host::vessels()[i]->name) out[i] = &blocks[i];
    }
    return out;
}

}  // namespace

void showScenario(const std::string& scenario, std::ostream& out) {
    host::reset();
    try {
        host::loadScenario(scenario);
    } catch (const host::Error& e) {
        throw InputError(e.what());
    }
    const std::vector<std::string> lines = readScenarioLines(scenario, scenario);
    const std::vector<const host::BlockInfo*> blocks = blocksOfVessels();
    out << scenario << '\n';
    for (const std::string& d : host::scenario().description) out << "  | " << d << '\n';
    for (std::size_t n = 0; n < host::vessels().size(); ++n) {
        const host::Vessel* v = host::vessels()[n];
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
        ConeItems items;
        if (blocks[n] != nullptr && isConeBlock(*blocks[n])) {
            for (const NumberedLine& l : blockLines(lines, *blocks[n]))
                items.feed(l.text, l.number, nullptr);
        }
        if (items.count() == 0) {
            out << "  items: none\n";
            continue;
        }
        itemtable::Vec3 centre;
        const double mass = items.table().payloadCentre(centre);
        out << "  items: " << items.count() << ", " << fmt("%.2f kg", mass) << ", centre "
            << where(centre.x, centre.y, centre.z) << '\n';
        printItems(out, items.table(), -1, "    ");
    }
}

}  // namespace runner
