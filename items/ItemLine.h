// The grammar of item lines, in one pure function: what a line would do to an item table.
//
//   "PAYLOAD " name mesh class x y z mass angle fuel    a new payload
//   "STAGE "   name mesh class x y z mass angle fuel    a new stage, which becomes the open one
//   "ENDSTAGE..." or "ENDCVE..."                        closes the open stage
//
// Only the first 511 characters of a line count. Keywords are case-sensitive and tested on the
// leading characters after white space. Words are cut to 127 characters (the rest of the word is
// skipped); a field that is missing, or a number that is not finite, has a magnitude of 1e12 or
// more as written with two decimals, or was cut by the 511-character limit, reads as its cleared
// value (empty, 0).
#ifndef ITEM_LINE_H
#define ITEM_LINE_H

#include <cstddef>

namespace itemtable {

constexpr int kCapacity = 50;  // slots of the item table; a full table ignores every item line
constexpr int kLineMax = 511;  // characters of an item line that are read
constexpr int kNameMax = 127;  // characters of a name or class word (and of a message key)
// Magnitude from which a number of an item line reads as 0. Below it, every line a table
// writes stays within kLineMax characters.
constexpr double kNumberLimit = 1e12;

// White space, where item lines split their words.
inline bool isWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace itemtable

struct ItemLineParse {
    enum Kind {
        kNotItem,  // dropped: no keyword of the grammar
        kPayload,
        kStage,
        kEndStage,  // "ENDSTAGE" or "ENDCVE"
    };
    static constexpr int kFieldCount = 9;
    // Field numbers, for the bit masks below.
    enum Field { kName, kMesh, kClass, kX, kY, kZ, kMass, kAngle, kFuel };

    Kind kind = kNotItem;
    char name[itemtable::kNameMax + 1] = {};
    char mesh[itemtable::kNameMax + 1] = {};
    char className[itemtable::kNameMax + 1] = {};
    double x = 0.0, y = 0.0, z = 0.0;
    double mass = 0.0, angle = 0.0, fuel = 0.0;

    int fieldsRead = 0;       // fields found in the text, in order (as a scanf count would be)
    unsigned cutWords = 0;    // bit per field: a word cut to 127 characters
    unsigned badNumbers = 0;  // bit per field: not finite, too large, or cut by the line limit
    unsigned cutByLine = 0;   // bit per field: its text went on past the line limit
    // Where each field's text begins in the text read (-1: not reached), the field that stopped
    // the reading included, so that a reader can show the text as it was read.
    int fieldAt[kFieldCount] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
    bool lineCut = false;   // the text was longer than 511 characters
    bool trailing = false;  // something follows the ninth field, or stopped the reading
};

ItemLineParse parseItemLine(const char* text);

// The fields of an item line as written after its keyword, exactly as
// "%.127s %s %.127s %.2lf %.2lf %.2lf %.2lf %.2lf %.2lf" prints them (numbers: x y z mass angle
// fuel), except that the text ends before the first empty word (an empty word could not be
// read back in its place). Writes at most cap - 1 characters and a terminator (cap > 0) and returns
// the length of the whole text, so a result of cap or more means it did not fit.
int formatItemFields(char* out, std::size_t cap, const char* name, const char* mesh,
                     const char* className, const double (&numbers)[6]);

#endif  // ITEM_LINE_H
