#include "ItemLine.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace {

using itemtable::isWhite;

const char* skipWhite(const char* p) {
    while (isWhite(*p)) ++p;
    return p;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The number at p, as the "%lf" conversion reads it; after is where it ends (p: no number).
// Plain decimals ("-12.50", the form every writer of item lines uses) go to from_chars, which
// gives the same correctly rounded value as strtod several times faster; anything else (a
// sign '+', an exponent, hex, inf, nan, or a value out of range) goes to strtod itself.
double readNumber(const char* p, const char** after) {
    const char* q = p;
    if (*q == '-') ++q;
    const char* const intDigits = q;
    while (isDigit(*q)) ++q;
    bool plain = q != intDigits;
    if (plain && *q == '.') {
        const char* const fracDigits = ++q;
        while (isDigit(*q)) ++q;
        plain = q != fracDigits;
    }
    if (plain && (*q == '\0' || isWhite(*q))) {
        double v = 0.0;
        // [-]digits[.digits] is a whole from_chars decimal: a value it gives ends at q.
        if (std::from_chars(p, q, v).ec == std::errc()) {
            *after = q;
            return v;
        }
    }
    char* end = nullptr;
    const double v = std::strtod(p, &end);
    *after = end;
    return v;
}

// Whether the number, written with two decimals as every writer of item lines writes it, has a
// magnitude of 1e12 or more: just below the limit, rounding makes "1000000000000.00", which a
// reader would refuse, so such a value is refused here too and a written value always reads back.
bool writtenAtOrPastLimit(double v) {
    const double a = std::fabs(v);
    if (a >= itemtable::kNumberLimit) return true;
    if (a < itemtable::kNumberLimit - 1.0) return false;
    char digits[32];
    const std::to_chars_result r =
        std::to_chars(digits, digits + sizeof digits, a, std::chars_format::fixed, 2);
    return r.ptr - digits > static_cast<long>(sizeof "999999999999.99" - 1);
}

}  // namespace

namespace {

// The keyword at p (after white space): sets the kind and gives where the fields begin, or
// null when nothing follows the keyword or the line is no item line.
const char* readKeyword(const char* p, ItemLineParse& r) {
    p = skipWhite(p);
    if (std::strncmp(p, "PAYLOAD ", 8) == 0) {
        r.kind = ItemLineParse::kPayload;
        return p + 8;
    }
    if (std::strncmp(p, "STAGE ", 6) == 0) {
        r.kind = ItemLineParse::kStage;
        return p + 6;
    }
    if (std::strncmp(p, "ENDCVE", 6) == 0 || std::strncmp(p, "ENDSTAGE", 8) == 0) {
        r.kind = ItemLineParse::kEndStage;
    }
    return nullptr;
}

// The three words (name, mesh, class) from p; gives where reading goes on, or null when the
// line ended first. line is where the text read begins; end and limitSplitsToken: see
// parseItemLine.
const char* readWords(const char* p, const char* line, const char* end, bool limitSplitsToken,
                      ItemLineParse& r) {
    char* const words[3] = {r.name, r.mesh, r.className};
    for (int f = 0; f < 3; ++f) {
        p = skipWhite(p);
        if (*p == '\0') return nullptr;
        r.fieldAt[f] = static_cast<int>(p - line);
        // Copied while scanned: words are short, and a call to copy each costs more.
        char* const word = words[f];
        std::size_t len = 0;
        for (; *p != '\0' && !isWhite(*p); ++p, ++len) {
            if (len < itemtable::kNameMax) word[len] = *p;
        }
        const std::size_t keep = len <= itemtable::kNameMax ? len : itemtable::kNameMax;
        word[keep] = '\0';
        const bool cutByLine = p == end && limitSplitsToken;
        if (cutByLine) r.cutByLine |= 1u << f;
        if (len > keep || cutByLine) r.cutWords |= 1u << f;
        ++r.fieldsRead;
    }
    return p;
}

// The six numbers from p, and whether anything follows them.
void readNumbers(const char* p, const char* line, const char* end, bool limitSplitsToken,
                 ItemLineParse& r) {
    double* const numbers[6] = {&r.x, &r.y, &r.z, &r.mass, &r.angle, &r.fuel};
    for (int f = 0; f < 6; ++f) {
        p = skipWhite(p);
        if (*p == '\0') return;
        r.fieldAt[ItemLineParse::kX + f] = static_cast<int>(p - line);
        const char* after = nullptr;
        const double v = readNumber(p, &after);
        if (after == p) {
            // Not a number: reading stops here, like a scanf matching failure.
            r.trailing = true;
            return;
        }
        p = after;
        ++r.fieldsRead;
        const bool cut = p == end && limitSplitsToken;
        if (cut) r.cutByLine |= 1u << (ItemLineParse::kX + f);
        if (!std::isfinite(v) || writtenAtOrPastLimit(v) || cut) {
            r.badNumbers |= 1u << (ItemLineParse::kX + f);
        } else {
            *numbers[f] = v;
        }
    }
    if (*skipWhite(p) != '\0') r.trailing = true;
}

}  // namespace

ItemLineParse parseItemLine(const char* text) {
    ItemLineParse r;
    if (text == nullptr) return r;

    // Only the first 511 characters are read. A text that ends within them is read in place;
    // a longer one is read from a copy cut there.
    char buf[itemtable::kLineMax + 1];
    std::size_t n = strnlen(text, sizeof buf);
    r.lineCut = n > sizeof buf - 1;
    const char* line = text;
    if (r.lineCut) {
        n = sizeof buf - 1;
        std::memcpy(buf, text, n);
        buf[n] = '\0';
        line = buf;
    }
    const char* const end = line + n;
    // A token that reaches the end of the buffer lost its tail when the text went on with more
    // of the same token.
    const bool limitSplitsToken = r.lineCut && !isWhite(text[n]);

    const char* p = readKeyword(line, r);
    if (p == nullptr) return r;
    p = readWords(p, line, end, limitSplitsToken, r);
    if (p == nullptr) return r;
    readNumbers(p, line, end, limitSplitsToken, r);
    return r;
}

namespace {

// Appends to a bounded buffer and counts what would have been written, as snprintf does.
struct BoundedText {
    char* out;
    std::size_t cap;
    std::size_t len = 0;

    void put(const char* text, std::size_t n) {
        if (len + 1 < cap) {
            const std::size_t room = cap - 1 - len;
            std::memcpy(out + len, text, n < room ? n : room);
        }
        len += n;
    }
};

}  // namespace

int formatItemFields(char* out, std::size_t cap, const char* name, const char* mesh,
                     const char* className, const double (&numbers)[6]) {
    BoundedText t{out, cap};
    // Words are read by their place, so none can be left out: the line ends before the first
    // empty word, and a reader gives the fields it does not find their cleared values, which an
    // item read from such a line has anyway.
    const char* const words[3] = {name, mesh, className};
    const std::size_t lengths[3] = {strnlen(name, itemtable::kNameMax), std::strlen(mesh),
                                    strnlen(className, itemtable::kNameMax)};
    for (int w = 0; w < 3; ++w) {
        if (lengths[w] == 0) {
            if (cap > 0) out[t.len < cap ? t.len : cap - 1] = '\0';
            return static_cast<int>(t.len);
        }
        if (w > 0) t.put(" ", 1);
        t.put(words[w], lengths[w]);
    }
    // to_chars with a precision gives the digits printf gives; printf's own conversion of a
    // double costs several times more, and a full table writes 300 of them.
    for (const double v : numbers) {
        char digits[352];  // the longest fixed form of a double with two decimals, and more
        digits[0] = ' ';
        const std::to_chars_result r =
            std::to_chars(digits + 1, digits + sizeof digits, v, std::chars_format::fixed, 2);
        t.put(digits, static_cast<std::size_t>(r.ptr - digits));
    }
    if (cap > 0) out[t.len < cap ? t.len : cap - 1] = '\0';
    return static_cast<int>(t.len);
}
