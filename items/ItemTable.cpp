#include "ItemTable.h"

#include <cctype>
#include <cstring>

namespace itemtable {

bool startsWithNoCase(const char* line, const char* word) {
    for (; *word != '\0'; ++line, ++word) {
        if (*line == '\0') return false;
        if (std::toupper(static_cast<unsigned char>(*line)) !=
            std::toupper(static_cast<unsigned char>(*word))) {
            return false;
        }
    }
    return true;
}

bool isItemCandidate(const char* line) {
    return startsWithNoCase(line, "PAYLOAD") || startsWithNoCase(line, "STAGE") ||
           startsWithNoCase(line, "ENDSTAGE");
}

bool isItemKeyword(const char* key) {
    return std::strcmp(key, "PAYLOAD") == 0 || std::strcmp(key, "STAGE") == 0 ||
           std::strcmp(key, "ENDCVE") == 0 || std::strcmp(key, "ENDSTAGE") == 0;
}

int levelsClosing(int depth, bool isStage, bool hasNext, int nextDepth, int baseDepth) {
    if (depth < 0 || (hasNext && nextDepth < 0)) return -1;
    const int open = depth - baseDepth + (isStage ? 1 : 0);
    const int wanted = hasNext ? nextDepth - baseDepth : 0;
    if (open < 0 || wanted < 0) return -1;
    return open > wanted ? open - wanted : 0;
}

bool olderWriterCloses(int parent, bool nextPresent, int nextParent) {
    return !nextPresent || nextParent < parent;
}

bool olderScenarioWriterCloses(int slot, int parent, bool nextPresent, int nextParent) {
    return slot < kCapacity - 1 && parent != -1 &&
           olderWriterCloses(parent, nextPresent, nextParent);
}

int endStageLines(int levels, bool olderWriterLine) {
    const int single = olderWriterLine ? 1 : 0;
    return levels < 0 ? single : (levels > single ? levels : single);
}

}  // namespace itemtable
