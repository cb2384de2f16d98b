// Construction, the item table and its parser, and the mesh list of a framework vessel.
#include "CommonVesselEx.h"

#include "ItemLine.h"

#include <cstdio>
#include <cstring>

namespace {

bool isWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Copies at most max characters of in (null reads as empty) and terminates.
void copyCut(char* out, std::size_t max, const char* in) {
    const std::size_t n = in != nullptr ? strnlen(in, max) : 0;
    if (n > 0) std::memcpy(out, in, n);
    out[n] = '\0';
}

}  // namespace

MeshEntry::~MeshEntry() {
    handle = nullptr;
    offset = _V(0.0, 0.0, 0.0);
    meshIndex = 0;
    fromItemLine = false;
}

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
    meshShift = _V(0.0, 0.0, 0.0);
    openStage = -1;
    meshVisibility = 1;
    hMessageLib = LoadLibraryA("Modules\\cvelmessage");
    sepVelOverrideSet = false;
    sepVelOverride = _V(0.0, 0.0, 1.0);
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
    try {
        char keyCopy[kNameMax + 1];
        char textCopy[kMessageTextMax + 1];
        copyCut(keyCopy, kNameMax, key);
        copyCut(textCopy, kMessageTextMax, text);
        if (std::strcmp(keyCopy, "PAYLOAD") == 0 || std::strcmp(keyCopy, "STAGE") == 0 ||
            std::strcmp(keyCopy, "ENDCVE") == 0 || std::strcmp(keyCopy, "ENDSTAGE") == 0) {
            ParseItemLine(text != nullptr ? text : "");
        } else {
            OnMessage(keyCopy, textCopy);
        }
    } catch (...) {
        // A message must never take the simulator down; the item or hook call is simply lost.
    }
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
        if (openStage >= 0 && openStage < kItemCount) {
            openStage = items[openStage].parent;
        } else {
            openStage = -1;
        }
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
    if (slot.kind == StageSlot::kStage) openStage = static_cast<int16_t>(index);
}

// ---------------------------------------------------------------------------------------------
// Nesting depth, shared by the scenario writer and the hand-over of a released stage

int COMMON_VESSEL_EX::NestingDepth(int index) const {
    int depth = 0;
    int current = index;
    for (int steps = 0; steps < kItemCount; ++steps) {
        const int parent = items[current].parent;
        if (parent == -1) return depth;
        if (parent < 0 || parent >= current || !items[parent].present ||
            items[parent].kind != StageSlot::kStage) {
            return -1;
        }
        ++depth;
        current = parent;
    }
    return -1;
}

int COMMON_VESSEL_EX::LevelsClosing(int depth, bool isStage, bool hasNext, int nextDepth,
                                    int baseDepth) {
    if (depth < 0 || (hasNext && nextDepth < 0)) return -1;
    const int open = depth - baseDepth + (isStage ? 1 : 0);
    const int wanted = hasNext ? nextDepth - baseDepth : 0;
    if (open < 0 || wanted < 0) return -1;
    return open > wanted ? open - wanted : 0;
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
            const double numbers[6] = {slot.mesh.offset.x, slot.mesh.offset.y,
                                       slot.mesh.offset.z, slot.mass, slot.angle, slot.fuel};
            const int len = formatItemFields(value, sizeof value, slot.name,
                                             slot.mesh.fileName.c_str(), slot.className, numbers);
            const int keyLen = static_cast<int>(std::strlen(key));
            if (len >= 0 && keyLen + 1 + len <= kItemLineMax) {
                oapiWriteScenario_string(scn, key, value);
            }
        }
        // As many ENDSTAGE lines as levels close here, never fewer than the single line older
        // writers put after an item whose successor sits higher; all levels close at the end.
        const int next = (i + 1 < kItemCount && items[i + 1].present) ? i + 1 : -1;
        const int single =
            (i < kItemCount - 1 && slot.parent != -1 &&
             (next < 0 || items[i + 1].parent < slot.parent))
                ? 1
                : 0;
        const int levels =
            LevelsClosing(NestingDepth(i), slot.kind == StageSlot::kStage, next >= 0,
                          next >= 0 ? NestingDepth(next) : 0, 0);
        const int count = levels < 0 ? single : (levels > single ? levels : single);
        for (int k = 0; k < count; ++k) oapiWriteScenario_string(scn, endKey, emptyValue);
    }
}

// ---------------------------------------------------------------------------------------------
// Mesh list and payload mass

void COMMON_VESSEL_EX::ClearMeshList() {
    try {
        ClearMeshes();
        meshList.clear();
    } catch (...) {
    }
}

void COMMON_VESSEL_EX::RebuildMeshes(const VECTOR3& shift) {
    try {
        for (StageSlot& slot : items) {
            if (!slot.present) continue;
            slot.position = slot.mesh.offset + shift + meshShift;
            meshList.push_back(slot.mesh);
        }
    } catch (...) {
        return;  // out of memory while appending: register nothing
    }
    try {
        for (MeshEntry& entry : meshList) {
            const VECTOR3 at = entry.offset + shift;
            entry.meshIndex = AddMesh(entry.handle, &at);
            SetMeshVisibilityMode(entry.meshIndex, static_cast<WORD>(meshVisibility));
        }
    } catch (...) {
    }
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
