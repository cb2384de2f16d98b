// Construction, the item table and its parser, and the mesh list of a framework vessel.
#include "CommonVesselEx.h"

#include "CopyCut.h"
#include "Guard.h"
#include "ItemLine.h"

#include <cmath>
#include <cstdio>
#include <cstring>

using itemtable::isWhite;

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
      openStage(-1),
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
    copyCut(buf, kItemLineMax, text);
    char* keyword = buf;
    while (isWhite(*keyword)) ++keyword;
    char* end = keyword;
    while (*end != '\0' && !isWhite(*end)) ++end;
    *end = '\0';
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

int COMMON_VESSEL_EX::FirstFreeSlot() const {
    for (int i = 0; i < kItemCount; ++i) {
        if (!items[i].present) return i;
    }
    return -1;
}

void COMMON_VESSEL_EX::ParseItemLine(const char* text) {
    // A full table ignores every line, closing ones included.
    const int index = FirstFreeSlot();
    if (index < 0) return;

    const ItemLineParse line = parseItemLine(text);
    if (line.kind == ItemLineParse::kNotItem) return;
    if (line.kind == ItemLineParse::kEndStage) {
        openStage = static_cast<int16_t>(
            itemtable::openStageAfterClose(openStage, [this](int s) { return items[s].parent; }));
        return;
    }

    // Every field is filled before the slot counts as present, so a failure part-way leaves
    // no half-made item behind.
    StageSlot& slot = items[index];
    slot.kind = line.kind == ItemLineParse::kStage ? StageSlot::kStage : StageSlot::kPayload;
    std::memcpy(slot.name, line.name, sizeof slot.name);
    std::memcpy(slot.className, line.className, sizeof slot.className);
    slot.mass = line.mass;
    slot.angle = line.angle;
    slot.fuel = line.fuel;
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
    slot.parent = openStage;
    slot.sepVelocity = itemSeparationVelocity(line.x, line.y, line.z);
    slot.present = true;
    if (index >= itemsEnd) itemsEnd = index + 1;
    openStage = static_cast<int16_t>(
        itemtable::openStageAfterEntry(openStage, slot.kind == StageSlot::kStage, index));
}

// ---------------------------------------------------------------------------------------------
// Nesting depth, shared by the scenario writer and the hand-over of a released stage

int COMMON_VESSEL_EX::NestingDepth(int index) const {
    return itemtable::nestingDepth(
        index, [this](int i) { return items[i].parent; },
        [this](int i) { return items[i].present && items[i].kind == StageSlot::kStage; });
}

void COMMON_VESSEL_EX::ForgetOpenStageIfGone() {
    if (openStage < 0 || openStage >= kItemCount || !items[openStage].present ||
        items[openStage].kind != StageSlot::kStage) {
        openStage = -1;
    }
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
        if (slot.kind == StageSlot::kPayload || slot.kind == StageSlot::kStage) {
            char* key = slot.kind == StageSlot::kPayload ? payloadKey : stageKey;
            // Names hold at most 127 characters and numbers stay below 1e12 in magnitude, so
            // key, blank and value always fit the 511 characters a reader takes; the check
            // keeps a cut line (a corrupted number) from ever being written.
            char value[kItemLineMax + 1];
            const double numbers[6] = {slot.mesh.offset.x, slot.mesh.offset.y, slot.mesh.offset.z,
                                       slot.mass,          slot.angle,         slot.fuel};
            const int len = formatItemFields(value, sizeof value, slot.name,
                                             slot.mesh.fileName.c_str(), slot.className, numbers);
            const int keyLen = static_cast<int>(std::strlen(key));
            if (len >= 0 && keyLen + 1 + len <= kItemLineMax) {
                oapiWriteScenario_string(scn, key, value);
            }
        }
        // The ENDSTAGE lines that rebuild the nesting; all levels close at the end.
        const int next = (i + 1 < kItemCount && items[i + 1].present) ? i + 1 : -1;
        const bool older = itemtable::olderScenarioWriterCloses(i, slot.parent, next >= 0,
                                                                next >= 0 ? items[next].parent : 0);
        const int levels =
            itemtable::levelsClosing(NestingDepth(i), slot.kind == StageSlot::kStage, next >= 0,
                                     next >= 0 ? NestingDepth(next) : 0, 0);
        const int count = itemtable::endStageLines(levels, older);
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
        for (int i = 0; i < itemsEnd; ++i) {
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
    centre = _V(0.0, 0.0, 0.0);
    double total = 0.0;
    // Runs on every step of a seated cone: slots from itemsEnd on are never present, and a
    // slot spans several cache lines, so they are not visited.
    for (int i = 0; i < itemsEnd; ++i) {
        const StageSlot& slot = items[i];
        if (!slot.present) continue;
        centre += slot.mesh.offset * slot.mass;
        total += slot.mass;
    }
    if (total > 0.0001) centre = centre / total;
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
