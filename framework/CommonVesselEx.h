// The stage and payload framework: a vessel that carries up to 50 stacked items (payloads and
// stages), shows their meshes, adds their mass, saves them to its scenario block, releases them
// as vessels of their own and exchanges key/text messages with other vessels.
#ifndef COMMON_VESSEL_EX_H
#define COMMON_VESSEL_EX_H

#include "OrbiterModule.h"
#include "ItemLine.h"
#include "ItemTable.h"
#include "MessageChannel.h"

#include <cstdint>
#include <string>
#include <vector>

// Separation velocity of an item from its offset on the carrier (m/s, carrier's frame).
VECTOR3 itemSeparationVelocity(double x, double y, double z);

// One mesh of the vessel. An entry never owns its mesh: the vessel's list of item meshes does
// (see COMMON_VESSEL_EX), or, for a shared mesh, the simulator.
struct MeshEntry {
    MESHHANDLE handle = nullptr;
    VECTOR3 offset = {{0.0, 0.0, 0.0}};  // in the carrier's frame, metres
    std::string fileName;                // empty for the carrier's own mesh
    UINT meshIndex = 0;                  // what AddMesh gave at the last rebuild
    bool fromItemLine = false;

    // Back to the values of a new entry (the name is emptied, not released).
    void reset();
};

// One entry of the item table.
struct StageSlot {
    static constexpr int16_t kPayload = itemtable::kPayload;
    static constexpr int16_t kStage = itemtable::kStage;

    int16_t kind = kPayload;
    bool present = false;
    int16_t parent = 0;  // enclosing STAGE slot, -1 when carried directly
    char name[itemtable::kNameMax + 1] = {};
    MeshEntry mesh;
    VECTOR3 position = {{0.0, 0.0, 0.0}};  // place on the carrier at the last mesh rebuild
    char className[itemtable::kNameMax + 1] = {};
    double mass = 0.0;   // kg
    double angle = 0.0;  // degrees about the carrier's x axis, applied at release
    double fuel = 0.0;   // fraction of the released vessel's maximum fuel
    VECTOR3 sepVelocity = {{0.0, 0.0, 0.0}};  // m/s in the carrier's frame

    // Every field but the mesh entry back to its cleared value.
    void clear();
};
// The offset the item line gave, which the item table weighs.
inline itemtable::Vec3 itemOffset(const StageSlot& slot) {
    return {slot.mesh.offset.x, slot.mesh.offset.y, slot.mesh.offset.z};
}

// The interface other code may know a framework vessel by. Objects are never destroyed through
// it, hence the protected, non-virtual destructor.
class _COMMON_VESSEL_EX {
public:
    // Every message whose key is not an item keyword ends here; the default ignores it.
    virtual void OnMessage(const char* key, const char* text);

protected:
    _COMMON_VESSEL_EX() = default;
    ~_COMMON_VESSEL_EX() = default;
    _COMMON_VESSEL_EX(const _COMMON_VESSEL_EX&) = default;
    _COMMON_VESSEL_EX& operator=(const _COMMON_VESSEL_EX&) = default;
};

class COMMON_VESSEL_EX : public VESSEL3, public _COMMON_VESSEL_EX {
public:
    static constexpr int kItemCount = itemtable::kCapacity;
    static constexpr int kItemLineMax = itemtable::kLineMax;
    static constexpr int kNameMax = itemtable::kNameMax;
    // The longest key and text a message carries (the channel's buffers less the terminator).
    static constexpr int kMessageKeyMax = static_cast<int>(messagechannel::kKeyBuffer) - 1;
    static constexpr int kMessageTextMax = static_cast<int>(messagechannel::kTextBuffer) - 1;

    // Always flight model 1, whatever the simulator asked for.
    explicit COMMON_VESSEL_EX(OBJHANDLE hVessel);
    // Not virtual (the simulator's classes have no virtual destructor): derived classes are
    // destroyed as their full type.
    ~COMMON_VESSEL_EX();

    COMMON_VESSEL_EX(const COMMON_VESSEL_EX&) = delete;
    COMMON_VESSEL_EX& operator=(const COMMON_VESSEL_EX&) = delete;

    // --- item lines ---------------------------------------------------------------------
    // A raw line (scenario or crew set-up): its first word is the key of a message.
    void HandleItemText(const char* text);
    // Item keywords go to the parser, every other key to OnMessage. Nothing escapes; always true.
    bool DispatchMessage(const char* key, const char* text);
    // Enters one item line into the lowest free slot, or closes the open stage.
    void ParseItemLine(const char* text);

    // --- persistence ----------------------------------------------------------------------
    // Writes the present items from slot 0 on, with the ENDSTAGE lines that rebuild the nesting.
    void SaveItems(FILEHANDLE scn);

    // --- mesh list and mass ---------------------------------------------------------------
    void ClearMeshList();
    void RebuildMeshes(const VECTOR3& shift);
    void RebuildMeshesAtOrigin();
    // Total item mass (kg); centre gets the mass-weighted offset of the items.
    double ComputePayloadCentre(VECTOR3& centre);
    double PayloadMass();
    // A one-shot separation velocity for the next release, in the carrier's frame.
    void SetSeparationVelocity(const VECTOR3& velocity);

    // --- messages -------------------------------------------------------------------------
    void SendVesselMessage(VESSEL* receiver, const char* key, const char* text);
    // Handles every waiting message; true when at least one was handled. When both buffers are
    // given (the channel's key and text buffer sizes), they receive the last message handled.
    bool CheckMessages(char* keyOut = nullptr, char* textOut = nullptr);
    bool PollMessages();
    // Takes every waiting message without handling it.
    void DiscardMessages();

    // --- separation -----------------------------------------------------------------------
    // Releases the last item (or the outermost stage of its nest) as a vessel of its own.
    // Returns the new vessel's interface, or null when nothing left the carrier as a vessel
    // that could be reached.
    VESSEL* SeparateNextItem();

    // --- read access ----------------------------------------------------------------------
    const StageSlot& Item(int index) const { return items[index]; }
    // Whether any item is aboard, whatever its mass.
    bool HasItems() const { return items.lastPresent() >= 0; }
    int16_t OpenStage() const { return items.openStage(); }
    const std::vector<MeshEntry>& MeshList() const { return meshList; }
    HMODULE MessageLibrary() const { return hMessageLib; }
    const VECTOR3& SeparationVelocityOverride() const { return sepVelOverride; }
    bool SeparationVelocityOverrideSet() const { return sepVelOverrideSet; }

protected:
    itemtable::Table<StageSlot> items;  // with the open stage
    VECTOR3 meshShift;
    std::vector<MeshEntry> meshList;
    HMODULE hMessageLib;
    int32_t meshVisibility;
    VECTOR3 sepVelOverride;
    bool sepVelOverrideSet;

private:
    // Every mesh an item line loaded (oapiLoadMesh gives the caller a mesh of its own) and not
    // yet deleted. One is deleted once neither a present item nor the mesh list holds it (the
    // simulator holds only what the mesh list registered), and all are deleted at destruction.
    std::vector<MESHHANDLE> itemMeshes;
    void DeleteUnusedItemMeshes();
    // What a slot keeps beyond the words and numbers of its line: its mesh (loaded, or shared
    // with an item of the same mesh), offset and separation velocity.
    void FillItemSlot(StageSlot& slot, const ItemLineParse& line, int index);
    // Whether the simulator can make the item's vessel and later read its scenario block back:
    // its class file exists and its name can stand in a scenario's vessel header. When not, one
    // line in the simulator's log says why.
    bool CanBecomeVessel(const StageSlot& item);

    // Steps of SeparateNextItem.
    // The carrier's status moved to the item's place and given its separation velocity (the
    // one-shot override spent), for the vessel the item becomes.
    VESSELSTATUS ReleaseStatus(const StageSlot& item);
    // A free flight status turned into one standing on the ground at the item's place (the
    // carrier's offset `place`) with the carrier's heading, where the carrier touches the ground
    // or the place lies under the surface: the simulator would move a free vessel placed inside
    // its body far above it, and a vessel set down on its touchdown points in free flight is
    // thrown by them.
    void SetDownOnGround(const VECTOR3& place, VESSELSTATUS& vs) const;
    // The status's attitude turned by an item angle (degrees) about the carrier's x axis.
    void TurnToItemAttitude(double angle, VESSELSTATUS& vs) const;
    OBJHANDLE CreateItemVessel(const StageSlot& item, VESSELSTATUS& vs);
    // One item line for the receiver, its offset taken from origin.
    void SendItemLine(VESSEL* receiver, const StageSlot& item, const VECTOR3& origin);
};

#endif  // COMMON_VESSEL_EX_H
