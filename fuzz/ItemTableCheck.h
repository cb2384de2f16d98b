// The consistency of a framework vessel's item table, in one header so that both the fuzz
// targets and the hardening tests apply the same rules.
#ifndef ITEM_TABLE_CHECK_H
#define ITEM_TABLE_CHECK_H

#include "CommonVesselEx.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace fuzzsupport {

// An empty string when the table is consistent: present slots run unbroken from 0, every
// parent is -1 or a present STAGE of lower index, the open stage is -1 or a present STAGE,
// names are terminated within their fields and every number is finite and below the limit
// that keeps a written line within its length.
inline std::string itemTableFault(const COMMON_VESSEL_EX& v) {
    char why[160];
    bool gap = false;
    for (int i = 0; i < COMMON_VESSEL_EX::kItemCount; ++i) {
        const StageSlot& s = v.Item(i);
        if (!s.present) {
            gap = true;
            continue;
        }
        if (gap) {
            std::snprintf(why, sizeof why, "slot %d present after a free slot", i);
            return why;
        }
        if (s.kind != StageSlot::kPayload && s.kind != StageSlot::kStage) {
            std::snprintf(why, sizeof why, "slot %d has kind %d", i, s.kind);
            return why;
        }
        if (s.parent != -1) {
            const bool presentStage = s.parent >= 0 && s.parent < i && v.Item(s.parent).present &&
                                      v.Item(s.parent).kind == StageSlot::kStage;
            if (!presentStage) {
                std::snprintf(why, sizeof why, "slot %d has parent %d", i, s.parent);
                return why;
            }
        }
        if (strnlen(s.name, sizeof s.name) >= sizeof s.name ||
            strnlen(s.className, sizeof s.className) >= sizeof s.className) {
            std::snprintf(why, sizeof why, "slot %d holds an unterminated name", i);
            return why;
        }
        if (s.mesh.fileName.size() > static_cast<std::size_t>(itemtable::kNameMax)) {
            std::snprintf(why, sizeof why, "slot %d holds a mesh name of %zu characters", i,
                          s.mesh.fileName.size());
            return why;
        }
        const double numbers[] = {s.mesh.offset.x, s.mesh.offset.y, s.mesh.offset.z,
                                  s.mass,          s.angle,         s.fuel};
        for (double d : numbers) {
            if (!std::isfinite(d) || std::fabs(d) >= itemtable::kNumberLimit) {
                std::snprintf(why, sizeof why, "slot %d holds the number %g", i, d);
                return why;
            }
        }
        const double vel[] = {s.sepVelocity.x, s.sepVelocity.y, s.sepVelocity.z};
        for (double d : vel) {
            if (!std::isfinite(d)) {
                std::snprintf(why, sizeof why, "slot %d has separation velocity %g", i, d);
                return why;
            }
        }
    }
    const int open = v.OpenStage();
    if (open != -1 && (open < 0 || open >= COMMON_VESSEL_EX::kItemCount || !v.Item(open).present ||
                       v.Item(open).kind != StageSlot::kStage)) {
        std::snprintf(why, sizeof why, "open stage %d is not a present stage", open);
        return why;
    }
    return "";
}

}  // namespace fuzzsupport

#endif  // ITEM_TABLE_CHECK_H
