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

const char* lineKey(const char* text, char (&key)[kLineMax + 1]) {
    const std::size_t n = text != nullptr ? strnlen(text, kLineMax) : 0;
    if (n > 0) std::memcpy(key, text, n);
    key[n] = '\0';
    char* begin = key;
    while (isWhite(*begin)) ++begin;
    char* end = begin;
    while (*end != '\0' && !isWhite(*end)) ++end;
    *end = '\0';
    return begin;
}

bool isItemKeyword(const char* key) {
    return std::strcmp(key, "PAYLOAD") == 0 || std::strcmp(key, "STAGE") == 0 ||
           std::strcmp(key, "ENDCVE") == 0 || std::strcmp(key, "ENDSTAGE") == 0;
}

BlockRoute routeBlockLine(const char* line) {
    if (!isItemCandidate(line)) return BlockRoute::kSimulator;
    // A key is compared in its first kNameMax characters, which no longer word could pass.
    char key[kLineMax + 1];
    return isItemKeyword(lineKey(line, key)) ? BlockRoute::kItemLine : BlockRoute::kOnMessage;
}

VesselWords vesselWords(const char* name, const char* className) {
    if (name[0] == '\0' || std::strpbrk(name, ":; \t\r\n\v\f") != nullptr)
        return VesselWords::kBadName;
    if (std::strchr(className, ';') != nullptr) return VesselWords::kBadClass;
    return VesselWords::kFine;
}

void fillPlainSlot(ItemSlot& slot, const ItemLineParse& line, int /*index*/) {
    std::memcpy(slot.mesh, line.mesh, sizeof slot.mesh);
    slot.x = line.x;
    slot.y = line.y;
    slot.z = line.z;
}

}  // namespace itemtable
