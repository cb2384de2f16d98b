// Construction, the item table and its parser, and the mesh list of a framework vessel.
#include "CommonVesselEx.h"

#include "CopyCut.h"
#include "Guard.h"
#include "ItemLine.h"

#include <cmath>
#include <cstdio>
#include <cstring>

void MeshEntry::reset() {
    handle = nullptr;
    offset = _V(0.0, 0.0, 0.0);
    fileName.clear();
    meshIndex = 0;
    fromItemLine = false;
}

void StageSlot::clear() {
    kind = kPayload;
    present = false;
    parent = 0;
    std::memset(name, 0, sizeof name);
    position = _V(0.0, 0.0, 0.0);
    std::memset(className, 0, sizeof className);
    mass = 0.0;
    angle = 0.0;
    fuel = 0.0;
    sepVelocity = _V(0.0, 0.0, 0.0);
}

void _COMMON_VESSEL_EX::OnMessage(const char* /*key*/, const char* /*text*/) {}

COMMON_VESSEL_EX::COMMON_VESSEL_EX(OBJHANDLE hVessel)
    : VESSEL3(hVessel, 1),
      meshShift(_V(0.0, 0.0, 0.0)),
      hMessageLib(nullptr),
      meshVisibility(1),
      sepVelOverride(_V(0.0, 0.0, 1.0)),
      sepVelOverrideSet(false) {
    ClearMeshList();
    for (StageSlot& slot : items) slot.clear();
    hMessageLib = LoadLibraryA("Modules\\cvelmessage");
    DiscardMessages();
}

COMMON_VESSEL_EX::~COMMON_VESSEL_EX() {
    if (hMessageLib != nullptr) FreeLibrary(hMessageLib);
    hMessageLib = nullptr;
    meshList.clear();
    meshList.shrink_to_fit();
    for (MESHHANDLE mesh : itemMeshes) oapiDeleteMesh(mesh);
}

// ---------------------------------------------------------------------------------------------
// Item lines

void COMMON_VESSEL_EX::HandleItemText(const char* text) {
    if (text == nullptr) return;
    char buf[kItemLineMax + 1];
    const char* keyword = itemtable::lineKey(text, buf);
    if (*keyword == '\0') return;
    DispatchMessage(keyword, text);
}

bool COMMON_VESSEL_EX::DispatchMessage(const char* key, const char* text) {
    // A message must never take the simulator down; a failing one is lost, and logged.
    guarded(this, "DispatchMessage", [this, key, text] {
        char keyCopy[kNameMax + 1];
        char textCopy[kMessageTextMax + 1];
        copyCut(keyCopy, kNameMax, key);
        copyCut(textCopy, kMessageTextMax, text);
        if (itemtable::isItemKeyword(keyCopy)) {
            ParseItemLine(text != nullptr ? text : "");
        } else {
            OnMessage(keyCopy, textCopy);
        }
    });
    return true;
}

void COMMON_VESSEL_EX::ParseItemLine(const char* text) {
    items.take(text, [this](StageSlot& slot, const ItemLineParse& line, int index) {
        FillItemSlot(slot, line, index);
    });
}

void COMMON_VESSEL_EX::FillItemSlot(StageSlot& slot, const ItemLineParse& line, int index) {
    slot.position = _V(0.0, 0.0, 0.0);
    slot.mesh.fileName = line.mesh;
    // Items of one mesh share what one load gave: the simulator reads the file anew on every
    // oapiLoadMesh, and a mesh list entry only points at its mesh.
    MESHHANDLE mesh = nullptr;
    for (int i = 0; i < kItemCount && mesh == nullptr; ++i) {
        if (i != index && items[i].present && items[i].mesh.fileName == slot.mesh.fileName)
            mesh = items[i].mesh.handle;
    }
    if (mesh == nullptr) {
        mesh = oapiLoadMesh(line.mesh);
        try {
            itemMeshes.push_back(mesh);
        } catch (...) {
            oapiDeleteMesh(mesh);
            throw;
        }
    }
    slot.mesh.handle = mesh;
    slot.mesh.offset = _V(line.x, line.y, line.z);
    slot.mesh.meshIndex = 0;
    slot.mesh.fromItemLine = true;
    slot.sepVelocity = itemSeparationVelocity(line.x, line.y, line.z);
}

// ---------------------------------------------------------------------------------------------
// Scenario writer

void COMMON_VESSEL_EX::SaveItems(FILEHANDLE scn) {
    char payloadKey[] = "PAYLOAD";
    char stageKey[] = "STAGE";
    char endKey[] = "ENDSTAGE";
    char emptyValue[] = "";
    for (int i = 0; i < kItemCount && items[i].present; ++i) {
        const StageSlot& slot = items[i];
        char* key = slot.kind == StageSlot::kPayload ? payloadKey : stageKey;
        // Names hold at most 127 characters and numbers stay below 1e12 in magnitude, so
        // key, blank and value always fit the 511 characters a reader takes; the check
        // keeps a cut line (a corrupted number) from ever being written.
        char value[kItemLineMax + 1];
        const double numbers[6] = {slot.mesh.offset.x, slot.mesh.offset.y, slot.mesh.offset.z,
                                   slot.mass,          slot.angle,         slot.fuel};
        const int len = formatItemFields(value, sizeof value, slot.name, slot.mesh.fileName.c_str(),
                                         slot.className, numbers);
        const int keyLen = static_cast<int>(std::strlen(key));
        if (len >= 0 && keyLen + 1 + len <= kItemLineMax) {
            oapiWriteScenario_string(scn, key, value);
        }
        // The ENDSTAGE lines that rebuild the nesting; all levels close at the end.
        const int count = items.endStageLinesAfter(i);
        for (int k = 0; k < count; ++k) oapiWriteScenario_string(scn, endKey, emptyValue);
    }
}

// ---------------------------------------------------------------------------------------------
// Mesh list and payload mass

void COMMON_VESSEL_EX::ClearMeshList() {
    guarded(this, "ClearMeshList", [this] {
        ClearMeshes();
        meshList.clear();
    });
}

void COMMON_VESSEL_EX::RebuildMeshes(const VECTOR3& shift) {
    const bool listed = guarded(this, "RebuildMeshes", [this, &shift] {
        for (StageSlot& slot : items) {
            if (!slot.present) continue;
            slot.position = slot.mesh.offset + shift + meshShift;
            meshList.push_back(slot.mesh);
        }
    });
    if (!listed) return;  // out of memory while appending: register nothing
    guarded(this, "RebuildMeshes", [this, &shift] {
        for (MeshEntry& entry : meshList) {
            const VECTOR3 at = entry.offset + shift;
            entry.meshIndex = AddMesh(entry.handle, &at);
            SetMeshVisibilityMode(entry.meshIndex, static_cast<WORD>(meshVisibility));
        }
    });
    DeleteUnusedItemMeshes();
}

void COMMON_VESSEL_EX::DeleteUnusedItemMeshes() {
    const auto inUse = [this](MESHHANDLE mesh) {
        for (const MeshEntry& entry : meshList) {
            if (entry.handle == mesh) return true;
        }
        for (int i = 0; i < items.usedEnd(); ++i) {
            if (items[i].present && items[i].mesh.handle == mesh) return true;
        }
        return false;
    };
    std::size_t kept = 0;
    for (MESHHANDLE mesh : itemMeshes) {
        if (inUse(mesh)) {
            itemMeshes[kept++] = mesh;
        } else {
            oapiDeleteMesh(mesh);
        }
    }
    itemMeshes.resize(kept);
}

void COMMON_VESSEL_EX::RebuildMeshesAtOrigin() { RebuildMeshes(_V(0.0, 0.0, 0.0)); }

double COMMON_VESSEL_EX::ComputePayloadCentre(VECTOR3& centre) {
    itemtable::Vec3 c;
    const double total = items.payloadCentre(c);
    centre = _V(c.x, c.y, c.z);
    return total;
}

double COMMON_VESSEL_EX::PayloadMass() {
    VECTOR3 scratch;
    return ComputePayloadCentre(scratch);
}

void COMMON_VESSEL_EX::SetSeparationVelocity(const VECTOR3& velocity) {
    sepVelOverride = velocity;
    sepVelOverrideSet = true;
}

// Each division uses the components as already updated, not the offset's length: the values
// of existing scenarios depend on this exact sequence.
VECTOR3 itemSeparationVelocity(double x, double y, double z) {
    const double r = std::sqrt(x * x + y * y + z * z);
    if (!(r > 0.01)) return _V(0.0, 0.0, 0.5);
    const double u = x / r;
    const double v = y / std::sqrt(u * u + y * y + z * z);
    const double w = z / std::sqrt(u * u + v * v + z * z);
    if (std::fabs(w) > 0.99) return _V(0.0, 0.0, 0.5);
    const double s = u / (0.5 * std::sqrt(u * u + v * v));
    const double t = v / (0.5 * std::sqrt(s * s + v * v));
    return _V(s, t, 0.0);
}
