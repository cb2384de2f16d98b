// Separation of the next item: the last item, or the outermost stage of its nest, becomes a
// vessel of its own; a released stage's contents follow it as item lines.
#include "CommonVesselEx.h"
#include "Guard.h"
#include "ItemLine.h"

#include <cmath>
#include <cstdio>
#include <cstring>

bool COMMON_VESSEL_EX::CanBecomeVessel(const StageSlot& item) {
    const char* why = nullptr;
    if (itemtable::vesselWords(item.name, item.className) != itemtable::VesselWords::kFine) {
        why = "a scenario could not carry its name or class back";
    } else {
        // Looked for where the simulator looks: Config/Vessels, then Config. Without either it
        // would stop altogether.
        char path[sizeof item.className + 16];
        std::snprintf(path, sizeof path, "Vessels\\%s.cfg", item.className);
        FILEHANDLE file = oapiOpenFile(path, FILE_IN_ZEROONFAIL, CONFIG);
        if (file == nullptr) {
            std::snprintf(path, sizeof path, "%s.cfg", item.className);
            file = oapiOpenFile(path, FILE_IN_ZEROONFAIL, CONFIG);
        }
        if (file != nullptr) {
            oapiCloseFile(file, FILE_IN_ZEROONFAIL);
        } else {
            why = "its class has no class file";
        }
    }
    if (why == nullptr) return true;
    char line[512];
    std::snprintf(line, sizeof line, "%s: item '%s' of class '%s' stays aboard: %s", GetName(),
                  item.name, item.className, why);
    oapiWriteLog(line);
    return false;
}

VESSELSTATUS COMMON_VESSEL_EX::ReleaseStatus(const StageSlot& item) {
    VESSELSTATUS vs;
    GetStatus(vs);
    vs.eng_main = 0.0;
    vs.eng_hovr = 0.0;
    vs.fuel = item.fuel;
    Local2Rel(item.position, vs.rpos);
    const VECTOR3 sepLocal = sepVelOverrideSet ? sepVelOverride : item.sepVelocity;
    VECTOR3 sepGlobal;
    GlobalRot(sepLocal, sepGlobal);
    vs.rvel.x += sepGlobal.x;
    vs.rvel.y += sepGlobal.y;
    vs.rvel.z += sepGlobal.z;
    sepVelOverrideSet = false;
    SetDownOnGround(item.position, vs);
    return vs;
}

void COMMON_VESSEL_EX::SetDownOnGround(const VECTOR3& place, VESSELSTATUS& vs) const {
    // A landed carrier's status already stands the vessel on the ground.
    if (vs.status != 0) return;
    double lng, lat, rad;
    const OBJHANDLE body = GetEquPos(lng, lat, rad);
    if (body == nullptr || body != vs.rbody) return;
    const double meanRadius = rad - GetAltitude();
    if (!GroundContact() && length(vs.rpos) >= meanRadius) return;
    // The item's place in the body's frame: the carrier's place moved by the item's offset
    // along the local east, up and north.
    VECTOR3 h = _V(0.0, 0.0, 0.0);
    HorizonRot(place, h);
    const double slng = std::sin(lng), clng = std::cos(lng);
    const double slat = std::sin(lat), clat = std::cos(lat);
    const double up = rad + h.y;
    const double x = up * clat * clng - h.x * slng - h.z * slat * clng;
    const double y = up * slat + h.z * clat;
    const double z = up * clat * slng + h.x * clng - h.z * slat * slng;
    vs.status = 1;
    vs.vdata[0].x = std::atan2(z, x);
    vs.vdata[0].y = std::atan2(y, std::sqrt(x * x + z * z));
    vs.vdata[0].z = GetYaw();
    // Beside the carrier, not on a landing pad of a base.
    vs.base = nullptr;
}

void COMMON_VESSEL_EX::TurnToItemAttitude(double angle, VESSELSTATUS& vs) const {
    // The item's axes, turned by its angle about the carrier's x axis, in the global frame;
    // the angles are those that give this rotation in the simulator's attitude convention.
    const double a = angle * 3.141592653589793 / 180.0;
    const VECTOR3 X = _V(1.0, 0.0, 0.0);
    const VECTOR3 Y = _V(0.0, std::cos(a), std::sin(a));
    const VECTOR3 Z = _V(0.0, -std::sin(a), std::cos(a));
    VECTOR3 gX, gY, gZ;
    GlobalRot(Z, gZ);
    GlobalRot(Y, gY);
    GlobalRot(X, gX);
    const double lenZ = std::sqrt(gZ.x * gZ.x + gZ.y * gZ.y + gZ.z * gZ.z);
    vs.arot.x = std::atan2(gZ.y, gZ.z);
    vs.arot.y = std::asin(-gZ.x / lenZ);
    vs.arot.z = std::atan2(gY.x, gX.x);
}

OBJHANDLE COMMON_VESSEL_EX::CreateItemVessel(const StageSlot& item, VESSELSTATUS& vs) {
    // The simulator may fail on its side (out of memory) instead of refusing: the same as a
    // refusal, so that the item is not lost from the table.
    OBJHANDLE created = nullptr;
    guarded(this, "SeparateNextItem",
            [&] { created = oapiCreateVessel(item.name, item.className, vs); });
    return created;
}

void COMMON_VESSEL_EX::SendItemLine(VESSEL* receiver, const StageSlot& item,
                                    const VECTOR3& origin) {
    const char* keyword = item.kind == StageSlot::kPayload ? "PAYLOAD" : "STAGE";
    // Names hold at most 127 characters and offsets, masses, angles and fuel stay below 1e12 in
    // magnitude, so every line fits; one that would not is not sent at all rather than sent
    // cut short.
    char line[1024];
    const std::size_t keyLen = std::strlen(keyword);
    std::memcpy(line, keyword, keyLen);
    line[keyLen] = ' ';
    const double numbers[6] = {item.position.x - origin.x,
                               item.position.y - origin.y,
                               item.position.z - origin.z,
                               item.mass,
                               item.angle,
                               item.fuel};
    const int len = static_cast<int>(keyLen) + 1 +
                    formatItemFields(line + keyLen + 1, sizeof line - keyLen - 1, item.name,
                                     item.mesh.fileName.c_str(), item.className, numbers);
    if (receiver != nullptr && len <= kItemLineMax) SendVesselMessage(receiver, keyword, line);
}

VESSEL* COMMON_VESSEL_EX::SeparateNextItem() {
    itemtable::Release plan;
    if (!items.planRelease(plan)) return nullptr;
    const bool singleRelease = plan.single;
    StageSlot& r = items[plan.slot];

    VESSELSTATUS vs = ReleaseStatus(r);
    if (!CanBecomeVessel(r)) return nullptr;
    r.present = false;
    if (singleRelease) TurnToItemAttitude(r.angle, vs);

    const OBJHANDLE created = CreateItemVessel(r, vs);
    if (created == nullptr) {
        // Refused: the item stays aboard (the override, already spent, stays cleared).
        r.present = true;
        return nullptr;
    }
    // A vessel without an interface can take neither fuel nor contents. The release stands;
    // a released stage's contents leave the table with it, as when no message module is
    // loaded, and no mail is sent where nobody could ever collect it.
    VESSEL* const released = oapiGetVesselInterface(created);
    if (released != nullptr) released->SetFuelMass(released->GetMaxFuelMass() * r.fuel);

    if (!singleRelease && r.kind == StageSlot::kStage) {
        // Offsets go relative to the released stage, the receiver's origin.
        const VECTOR3 origin = r.position;
        if (!guarded(this, "SeparateNextItem", [&] {
                items.handOver(plan, [&](const StageSlot& item, int endStages) {
                    SendItemLine(released, item, origin);
                    for (int k = 0; k < endStages && released != nullptr; ++k) {
                        SendVesselMessage(released, "ENDSTAGE", "ENDSTAGE");
                    }
                });
            })) {
            items.forgetOpenStageIfGone();
            return nullptr;
        }
    }
    items.forgetOpenStageIfGone();
    return released;
}
