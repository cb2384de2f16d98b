// The item table of a framework vessel, as one model: its slots, the open stage, what an item
// line does to it, the nesting and the ENDSTAGE lines that write it back, which slot leaves at a
// release and what follows it, which items could become vessels, and the items' mass and centre.
// The framework keeps its table in this model (adding only the simulator's side: meshes, mass,
// messages, vessels), and the runner's lint and show replay a cone's table in the same model, so
// they read what the cone reads. Plain C++: no simulator types.
#ifndef ITEM_TABLE_H
#define ITEM_TABLE_H

#include "ItemLine.h"

#include <cstdint>
#include <cstring>

namespace itemtable {

constexpr int16_t kPayload = 0;
constexpr int16_t kStage = 1;

// Whether a line of a vessel's scenario block goes to the item table rather than the
// simulator: it begins with PAYLOAD, STAGE or ENDSTAGE in any case. Only an exact keyword
// (isItemKeyword) then does anything to the table; another candidate is consumed without effect.
bool isItemCandidate(const char* line);
// Whether line begins with word, without regard to case.
bool startsWithNoCase(const char* line, const char* word);
// The key a raw line is dispatched under: its first word, within the first kLineMax characters
// (empty when there is none). Points into key.
const char* lineKey(const char* text, char (&key)[kLineMax + 1]);
// Whether a message key is an item keyword: PAYLOAD, STAGE, ENDSTAGE or ENDCVE, as written.
bool isItemKeyword(const char* key);

// Where a line of a cone's scenario block goes, the line as the simulator hands it over.
enum class BlockRoute {
    kSimulator,  // not an item line: the simulator's own reader takes it
    kOnMessage,  // taken for an item line, but its key is no item keyword: no effect on the table
    kItemLine,   // to the table (Table::take)
};
BlockRoute routeBlockLine(const char* line);

// Whether the simulator could make an item's vessel from its words and read the vessel's
// scenario block back: a scenario writes a vessel as NAME:CLASS on one line, cuts lines at ';'
// and splits them at white space. (Its class file is the caller's to look for.)
enum class VesselWords { kFine, kBadName, kBadClass };
VesselWords vesselWords(const char* name, const char* className);

struct Vec3 {
    double x, y, z;
};

// The plain slot, for readers of item lines without the simulator: what the line gave.
struct ItemSlot {
    int16_t kind = kPayload;
    bool present = false;
    int16_t parent = 0;  // enclosing stage slot, -1 when carried directly
    char name[kNameMax + 1] = {};
    char mesh[kNameMax + 1] = {};
    char className[kNameMax + 1] = {};
    double x = 0.0, y = 0.0, z = 0.0;  // offset on the carrier, metres
    double mass = 0.0, angle = 0.0, fuel = 0.0;
};
inline Vec3 itemOffset(const ItemSlot& s) { return {s.x, s.y, s.z}; }
// Fills a plain slot's mesh and offset from its line (Table::take's fill).
void fillPlainSlot(ItemSlot& slot, const ItemLineParse& line, int index);

// What one item line did to the table.
struct Taken {
    enum Effect {
        kNotItem,      // no keyword of the grammar: dropped
        kTableFull,    // every slot was present: dropped, closing lines too
        kEntered,      // a new item, in `slot`
        kClosed,       // closed the open stage
        kNothingOpen,  // a closing line with no stage open: no effect
    } effect = kNotItem;
    int slot = -1;
    ItemLineParse line;  // the line as read (not read when the table was full)
};

// A release, planned before anything leaves: the last item, the slot that leaves with it, and
// the nesting depths of what a released stage hands over, taken while it is all aboard.
struct Release {
    int last = -1;
    int slot = -1;
    bool single = false;  // the last item leaves alone (it is carried directly)
    int depth[kCapacity];
};

// The table. Slot has the fields kind, present, parent, name, className (char[kNameMax + 1]),
// mass, angle and fuel, and itemOffset(slot) gives its offset.
template <class Slot>
class Table {
public:
    Slot& operator[](int i) { return slots[i]; }
    const Slot& operator[](int i) const { return slots[i]; }
    Slot* begin() { return slots; }
    Slot* end() { return slots + kCapacity; }
    const Slot* begin() const { return slots; }
    const Slot* end() const { return slots + kCapacity; }

    // The stage new items enter; -1 when none is open. It and every present slot's parent are -1
    // or a slot index: only take sets them, from a slot index or from each other.
    int16_t openStage() const { return open; }
    // No slot at or past this index is present: only take makes a slot present (a refused
    // release restores one below it).
    int usedEnd() const { return used; }

    int firstFree() const {
        for (int i = 0; i < kCapacity; ++i) {
            if (!slots[i].present) return i;
        }
        return -1;
    }
    // The highest present slot, -1 when the table is empty.
    int lastPresent() const {
        for (int i = kCapacity - 1; i >= 0; --i) {
            if (slots[i].present) return i;
        }
        return -1;
    }

    // Takes one item line into the lowest free slot, or closes the open stage. fill(slot, line,
    // index) sets what the slot keeps beyond the words and numbers of the line (mesh, offset);
    // the slot counts as present only once fill has returned, so a failure part-way (an
    // exception from fill) leaves no half-made item behind.
    template <class Fill>
    Taken take(const char* text, Fill fill) {
        Taken t;
        // A full table ignores every line, closing ones included.
        const int index = firstFree();
        if (index < 0) {
            t.effect = Taken::kTableFull;
            return t;
        }
        t.line = parseItemLine(text);
        if (t.line.kind == ItemLineParse::kNotItem) return t;
        if (t.line.kind == ItemLineParse::kEndStage) {
            t.effect = open < 0 ? Taken::kNothingOpen : Taken::kClosed;
            if (open >= 0) open = slots[open].parent;
            return t;
        }
        Slot& slot = slots[index];
        const ItemLineParse& line = t.line;
        slot.kind = line.kind == ItemLineParse::kStage ? kStage : kPayload;
        std::memcpy(slot.name, line.name, sizeof slot.name);
        std::memcpy(slot.className, line.className, sizeof slot.className);
        slot.mass = line.mass;
        slot.angle = line.angle;
        slot.fuel = line.fuel;
        fill(slot, line, index);
        slot.parent = open;
        slot.present = true;
        if (index >= used) used = index + 1;
        if (slot.kind == kStage) open = static_cast<int16_t>(index);
        t.effect = Taken::kEntered;
        t.slot = index;
        return t;
    }

    // After a release: no later item may nest into a slot that has left.
    void forgetOpenStageIfGone() {
        if (open >= 0 && !isPresentStage(open)) open = -1;
    }

    // Number of stages enclosing the item in slot index, or -1 when its parent chain does not
    // lead to the top through present stages of lower index (at most kCapacity steps).
    int nestingDepth(int index) const {
        int depth = 0;
        int current = index;
        for (int steps = 0; steps < kCapacity; ++steps) {
            const int parent = slots[current].parent;
            if (parent == -1) return depth;
            if (parent < 0 || parent >= current || !isPresentStage(parent)) return -1;
            ++depth;
            current = parent;
        }
        return -1;
    }

    // ENDSTAGE lines the scenario writer puts after the present item in slot i (the items are
    // written from slot 0 on, up to the first slot that is not present): as many as nesting
    // levels close there, so that the nesting reads back as it is, and never fewer than the
    // single line older writers put after a nested item whose successor sits higher or ends the
    // table (but not after slot 49).
    int endStageLinesAfter(int i) const {
        const bool hasNext = i + 1 < kCapacity && slots[i + 1].present;
        const int parent = slots[i].parent;
        const bool older =
            i < kCapacity - 1 && parent != -1 && (!hasNext || slots[i + 1].parent < parent);
        const int levels = levelsClosing(nestingDepth(i), slots[i].kind == kStage, hasNext,
                                         hasNext ? nestingDepth(i + 1) : 0, 0);
        return endStageLines(levels, older);
    }

    // Plans the next release: the last item, or, for a nested one, the outermost stage of its
    // nest reached by climbing through stages that directly follow their own enclosing stage.
    // False when nothing can leave (an empty table, or a nest whose stage is not present).
    bool planRelease(Release& r) const {
        r.last = lastPresent();
        if (r.last < 0) return false;
        r.single = slots[r.last].parent == -1;
        int s = r.last;
        if (!r.single) {
            s = slots[r.last].parent;
            while (slots[s].parent != -1 && slots[s].parent == s - 1) s = slots[s].parent;
            if (!slots[s].present) return false;
        }
        r.slot = s;
        for (int i = 0; i < kCapacity; ++i)
            r.depth[i] = i >= s && i <= r.last ? nestingDepth(i) : -1;
        return true;
    }

    // Takes a released stage's contents (the present slots after it, up to the last item) off
    // the table, in order: each leaves the table, then send(slot, endStages) hands it over with
    // the number of ENDSTAGE lines to follow it, so that the receiver, whose top level is the
    // level just inside the stage, rebuilds their nesting. An exception from send ends the
    // hand-over: the item being handed over and those before it are off the table.
    template <class Send>
    void handOver(const Release& r, Send send) {
        const int base = r.depth[r.slot] < 0 ? -1 : r.depth[r.slot] + 1;
        for (int i = r.slot + 1; i <= r.last && slots[i].present; ++i) {
            Slot& item = slots[i];
            item.present = false;
            // The older writers' single line: after an item whose successor sits higher or is
            // not aboard.
            const bool nextPresent = i + 1 < kCapacity && slots[i + 1].present;
            const bool older = !nextPresent || slots[i + 1].parent < item.parent;
            const int next = nextPresent ? i + 1 : -1;  // r.last is the last present slot
            const int levels = base < 0 ? -1
                                        : levelsClosing(r.depth[i], item.kind == kStage, next >= 0,
                                                        next >= 0 ? r.depth[next] : 0, base);
            send(item, endStageLines(levels, older));
        }
    }

    // The items' total mass (kg); centre gets their mass-weighted offset, divided by the total
    // only where it exceeds 0.0001 kg (else the weighted sum itself).
    double payloadCentre(Vec3& centre) const {
        centre = {0.0, 0.0, 0.0};
        double total = 0.0;
        // Runs on every step of a seated cone: slots from usedEnd on are never present, and a
        // slot may span several cache lines, so they are not visited.
        for (int i = 0; i < used; ++i) {
            const Slot& slot = slots[i];
            if (!slot.present) continue;
            const Vec3 at = itemOffset(slot);
            centre.x += at.x * slot.mass;
            centre.y += at.y * slot.mass;
            centre.z += at.z * slot.mass;
            total += slot.mass;
        }
        if (total > 0.0001) centre = {centre.x / total, centre.y / total, centre.z / total};
        return total;
    }

private:
    bool isPresentStage(int i) const { return slots[i].present && slots[i].kind == kStage; }

    // Levels that close after an item of the given depth and kind when the next item written
    // has nextDepth (hasNext false: what is written ends there); depths count from baseDepth.
    // -1 when either depth could not be followed.
    static int levelsClosing(int depth, bool isStage, bool hasNext, int nextDepth, int baseDepth) {
        if (depth < 0 || (hasNext && nextDepth < 0)) return -1;
        const int opened = depth - baseDepth + (isStage ? 1 : 0);
        const int wanted = hasNext ? nextDepth - baseDepth : 0;
        if (opened < 0 || wanted < 0) return -1;
        return opened > wanted ? opened - wanted : 0;
    }
    // ENDSTAGE lines after an item: as many as levels close there, never fewer than the single
    // line older writers put (olderWriterLine); that line alone when a depth could not be
    // followed. Files written so read the same in older readers.
    static int endStageLines(int levels, bool olderWriterLine) {
        const int single = olderWriterLine ? 1 : 0;
        return levels < 0 ? single : (levels > single ? levels : single);
    }

    Slot slots[kCapacity];
    int16_t open = -1;
    int used = 0;
};

}  // namespace itemtable

#endif  // ITEM_TABLE_H
