// The rules of a framework vessel's item table, each written once: the framework keeps its
// table by them, the runner's lint and show replay a cone's table by them, and the fuzz checks
// hold a table to them. Plain C++: no simulator types.
#ifndef ITEM_TABLE_H
#define ITEM_TABLE_H

namespace itemtable {

constexpr int kCapacity = 50;  // slots of the table; a full table ignores every item line
constexpr int kLineMax = 511;  // characters of an item line that are read
constexpr int kNameMax = 127;  // characters of a name or class word (and of a message key)
// Magnitude from which a number of an item line reads as 0. Below it, every line a table
// writes stays within kLineMax characters.
constexpr double kNumberLimit = 1e12;

// White space, where item lines split their words.
inline bool isWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
// Whether line begins with word, without regard to case.
bool startsWithNoCase(const char* line, const char* word);

// Whether a line of a vessel's scenario block goes to the item table rather than the
// simulator: it begins with PAYLOAD, STAGE or ENDSTAGE in any case. Only an exact keyword
// (isItemKeyword) then does anything to the table; another candidate is consumed without effect.
bool isItemCandidate(const char* line);
// Whether a message key is an item keyword: PAYLOAD, STAGE, ENDSTAGE or ENDCVE, as written.
bool isItemKeyword(const char* key);

// The open stage, the one a new item enters: a new STAGE becomes it, and an ENDSTAGE line makes
// the stage enclosing it the open one (none when nothing was open).
inline int openStageAfterEntry(int open, bool isStage, int slot) { return isStage ? slot : open; }
template <class ParentOf>
int openStageAfterClose(int open, ParentOf parentOf) {
    return open >= 0 && open < kCapacity ? parentOf(open) : -1;
}

// Whether the slot parent may enclose the item in slot index: a present stage before it.
// (-1, carried directly, is not a slot and is tested by the caller.)
inline bool canEnclose(int parent, int index, bool parentIsPresentStage) {
    return parent >= 0 && parent < index && parentIsPresentStage;
}

// Number of stages enclosing the item in slot index, or -1 when its parent chain does not lead
// to the top through present stages of lower index. parentOf(i) is slot i's parent (-1: carried
// directly); isPresentStage(i) whether slot i holds a present stage.
template <class ParentOf, class IsPresentStage>
int nestingDepth(int index, ParentOf parentOf, IsPresentStage isPresentStage) {
    int depth = 0;
    int current = index;
    for (int steps = 0; steps < kCapacity; ++steps) {
        const int parent = parentOf(current);
        if (parent == -1) return depth;
        if (!canEnclose(parent, current,
                        parent >= 0 && parent < kCapacity && isPresentStage(parent)))
            return -1;
        ++depth;
        current = parent;
    }
    return -1;
}

// Levels that close after an item of the given depth and kind when the next item written has
// nextDepth (hasNext false: what is written ends there); depths count from baseDepth.
// -1 when either depth could not be followed.
int levelsClosing(int depth, bool isStage, bool hasNext, int nextDepth, int baseDepth);

// Where older writers put their single ENDSTAGE line after an item: after one whose successor
// sits higher (a lower parent), and after the last item they wrote (nextPresent false). The
// hand-over of a released stage's contents does so as it stands; only nested items are handed
// over.
bool olderWriterCloses(int parent, bool nextPresent, int nextParent);
// The scenario writer's variant: never after a top-level item, nor after the last slot.
bool olderScenarioWriterCloses(int slot, int parent, bool nextPresent, int nextParent);

// ENDSTAGE lines written after an item: as many as levels close there (levelsClosing), never
// fewer than the single line older writers put (olderWriterCloses); that line alone when a
// depth could not be followed.
int endStageLines(int levels, bool olderWriterLine);

}  // namespace itemtable

#endif  // ITEM_TABLE_H
