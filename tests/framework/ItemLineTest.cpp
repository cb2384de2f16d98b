// The item line grammar on its own: what a line would enter, and how it is cut or cleared.
#include "ItemLine.h"
#include "CommonVesselEx.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

TEST(ItemLineGrammar, ReadsTheNineFieldsOfAPayloadAndAStage) {
    const ItemLineParse p =
        parseItemLine("PAYLOAD Pilot-Suit mmu SuitClass 0.00 -0.40 0.20 120.00 45.5 1.00");
    EXPECT_EQ(p.kind, ItemLineParse::kPayload);
    EXPECT_STREQ(p.name, "Pilot-Suit");
    EXPECT_STREQ(p.mesh, "mmu");
    EXPECT_STREQ(p.className, "SuitClass");
    EXPECT_DOUBLE_EQ(p.y, -0.4);
    EXPECT_DOUBLE_EQ(p.z, 0.2);
    EXPECT_DOUBLE_EQ(p.mass, 120.0);
    EXPECT_DOUBLE_EQ(p.angle, 45.5);
    EXPECT_DOUBLE_EQ(p.fuel, 1.0);
    EXPECT_EQ(p.fieldsRead, 9);
    EXPECT_FALSE(p.trailing);

    const ItemLineParse s = parseItemLine("\t  STAGE Pod-1 podshell PodClass 0 0 -1.2 350 0 0.5");
    EXPECT_EQ(s.kind, ItemLineParse::kStage);
    EXPECT_STREQ(s.name, "Pod-1");
    EXPECT_DOUBLE_EQ(s.z, -1.2);
}

TEST(ItemLineGrammar, KeywordsAreCaseSensitiveAndNeedTheirBlank) {
    EXPECT_EQ(parseItemLine("payload a b c 1 2 3 4 5 6").kind, ItemLineParse::kNotItem);
    EXPECT_EQ(parseItemLine("Stage a b c 1 2 3 4 5 6").kind, ItemLineParse::kNotItem);
    EXPECT_EQ(parseItemLine("PAYLOAD\ta b c 1 2 3 4 5 6").kind, ItemLineParse::kNotItem);
    EXPECT_EQ(parseItemLine("PAYLOAD").kind, ItemLineParse::kNotItem);
    EXPECT_EQ(parseItemLine("PAYLOADS a b c").kind, ItemLineParse::kNotItem);
    EXPECT_EQ(parseItemLine("").kind, ItemLineParse::kNotItem);
    EXPECT_EQ(parseItemLine(nullptr).kind, ItemLineParse::kNotItem);
    // The closing keywords match lines that merely begin with them.
    EXPECT_EQ(parseItemLine("ENDSTAGE").kind, ItemLineParse::kEndStage);
    EXPECT_EQ(parseItemLine("  ENDCVE").kind, ItemLineParse::kEndStage);
    EXPECT_EQ(parseItemLine("ENDSTAGEXYZ").kind, ItemLineParse::kEndStage);
    EXPECT_EQ(parseItemLine("ENDCVEfoo bar").kind, ItemLineParse::kEndStage);
    EXPECT_EQ(parseItemLine("ENDSTAG").kind, ItemLineParse::kNotItem);
    // A single blank after the keyword; more white space before the name is fine.
    EXPECT_STREQ(parseItemLine("PAYLOAD  \t name m c").name, "name");
}

TEST(ItemLineGrammar, MissingFieldsReadAsClearedValues) {
    const ItemLineParse p = parseItemLine("PAYLOAD Astro mmu");
    EXPECT_EQ(p.kind, ItemLineParse::kPayload);
    EXPECT_EQ(p.fieldsRead, 2);
    EXPECT_STREQ(p.className, "");
    EXPECT_EQ(p.x, 0.0);
    EXPECT_EQ(p.fuel, 0.0);

    const ItemLineParse empty = parseItemLine("STAGE ");
    EXPECT_EQ(empty.kind, ItemLineParse::kStage);
    EXPECT_EQ(empty.fieldsRead, 0);
    EXPECT_STREQ(empty.name, "");

    // A field that is not a number stops the reading, as the conversion would.
    const ItemLineParse bad = parseItemLine("PAYLOAD a b c 1 two 3 4 5 6");
    EXPECT_EQ(bad.fieldsRead, 4);
    EXPECT_DOUBLE_EQ(bad.x, 1.0);
    EXPECT_EQ(bad.y, 0.0);
    EXPECT_EQ(bad.z, 0.0);
    EXPECT_EQ(bad.fuel, 0.0);
    EXPECT_TRUE(bad.trailing);
}

TEST(ItemLineGrammar, LongWordsAreCutAndTheFieldsAfterThemStillRead) {
    for (const std::size_t len : {127u, 128u, 5000u}) {
        SCOPED_TRACE(len);
        const std::string word(len, 'w');
        // Words of up to 511 characters only fit the line as its last words; a 5000-character
        // word fills the line, so it is tested as the final field below.
        if (len < 400) {
            const ItemLineParse p = parseItemLine(
                ("PAYLOAD " + word + " " + word + " " + word + " 1 2 3 4 5 6").c_str());
            EXPECT_EQ(std::string(p.name), word.substr(0, 127));
            EXPECT_EQ(std::string(p.className), word.substr(0, 127));
            EXPECT_EQ(p.cutWords != 0, len > 127);
        }
        const ItemLineParse q = parseItemLine(("PAYLOAD n " + word + " c 1 2 3 4 5 6").c_str());
        EXPECT_EQ(std::string(q.mesh), word.substr(0, 127));
        if (len < 400) {
            EXPECT_STREQ(q.className, "c");
            EXPECT_DOUBLE_EQ(q.x, 1.0);
            EXPECT_DOUBLE_EQ(q.fuel, 6.0);
            EXPECT_EQ(q.fieldsRead, 9);
        } else {
            // Everything after the 511th character is gone.
            EXPECT_TRUE(q.lineCut);
            EXPECT_STREQ(q.className, "");
            EXPECT_EQ(q.fieldsRead, 2);
        }
    }
}

TEST(ItemLineGrammar, UnusableNumbersReadAsZeroWithoutStoppingTheRest) {
    const ItemLineParse p = parseItemLine("PAYLOAD a b c nan inf -inf 1e12 -1e12 1e400");
    EXPECT_EQ(p.fieldsRead, 9);
    EXPECT_EQ(p.x, 0.0);
    EXPECT_EQ(p.y, 0.0);
    EXPECT_EQ(p.z, 0.0);
    EXPECT_EQ(p.mass, 0.0);
    EXPECT_EQ(p.angle, 0.0);
    EXPECT_EQ(p.fuel, 0.0);
    EXPECT_EQ(p.badNumbers, 0x1F8u);

    const ItemLineParse q = parseItemLine("PAYLOAD a b c 999999999999.99 nan 3 4 5 6");
    EXPECT_DOUBLE_EQ(q.x, 999999999999.99);
    EXPECT_EQ(q.y, 0.0);
    EXPECT_DOUBLE_EQ(q.z, 3.0);
    EXPECT_DOUBLE_EQ(q.fuel, 6.0);

    // Below the limit, but two decimals round them to 1000000000000.00, which would not read
    // back: refused like the limit itself, so that whatever is entered is written and read
    // back unchanged.
    const ItemLineParse w =
        parseItemLine("PAYLOAD a b c 999999999999.996 -999999999999.999 1 2 3 4");
    EXPECT_EQ(w.x, 0.0);
    EXPECT_EQ(w.y, 0.0);
    EXPECT_EQ(w.badNumbers, 0x18u);
}

// Numbers take two roads (a fast one for plain decimals); both must give what "%lf" gives, to
// the last bit, or a scenario would read differently from one version to the next.
TEST(ItemLineGrammar, NumbersReadToTheBitAsTheScanfConversionReadsThem) {
    std::vector<std::string> texts = {"0",
                                      "-0",
                                      "0.1",
                                      "2.675",
                                      "1.",
                                      ".5",
                                      "+3",
                                      "-.5",
                                      "12abc",
                                      "1e3",
                                      "0x1p4",
                                      "00012.50",
                                      "9007199254740993",
                                      "1.7976931348623157",
                                      "0.30000000000000004",
                                      "123456789012.34",
                                      "4.9406564584124654",
                                      "2.2250738585072011",
                                      "0." + std::string(330, '0') + "1",
                                      std::string(400, '9'),
                                      "99999999999999999999999.5",
                                      "0.5000000000000000277555756"};
    std::mt19937_64 rng(7);
    for (int i = 0; i < 3000; ++i) {
        std::string t = rng() % 2 ? "-" : "";
        const int whole = static_cast<int>(rng() % 13) + 1, frac = static_cast<int>(rng() % 25);
        for (int d = 0; d < whole; ++d) t += static_cast<char>('0' + rng() % 10);
        if (frac > 0) t += '.';
        for (int d = 0; d < frac; ++d) t += static_cast<char>('0' + rng() % 10);
        texts.push_back(t);
    }
    for (const std::string& t : texts) {
        char* end = nullptr;
        double expected = std::strtod(t.c_str(), &end);
        const bool usable =
            end != t.c_str() && std::isfinite(expected) && std::fabs(expected) < 1e12;
        if (!usable) expected = 0.0;
        const ItemLineParse p = parseItemLine(("PAYLOAD n m c " + t + " 0 0 0 0 0").c_str());
        std::uint64_t got = 0, want = 0;
        std::memcpy(&got, &p.x, sizeof got);
        std::memcpy(&want, &expected, sizeof want);
        EXPECT_EQ(got, want) << t;
        if (*end == '\0') {
            EXPECT_EQ(p.fieldsRead, 9) << t;
        }
    }
}

// Cutting the printf output short is the point of the comparison below.
#if defined(__GNUC__) && !defined(__clang__)
#  pragma GCC diagnostic ignored "-Wformat-truncation"
#endif

// Written lines must be what the printf format of the writers gives, character for character,
// and a text that does not fit must be reported the way snprintf reports it.
TEST(ItemLineGrammar, FieldsAreWrittenAsThePrintfFormatWritesThem) {
    const char* const format = "%.127s %s %.127s %.2lf %.2lf %.2lf %.2lf %.2lf %.2lf";
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.125,
                                  0.375,
                                  -0.005,
                                  2.675,
                                  1.005,
                                  0.995,
                                  -1e-9,
                                  999999999999.995,
                                  -123456789.125,
                                  1e300,
                                  -1e-300};
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> wide(-1e6, 1e6);
    for (int i = 0; i < 3000; ++i) {
        const double v = wide(rng);
        values.push_back(i % 3 == 0 ? std::round(v * 1000.0) / 1000.0 : v);  // many near ties
    }
    const std::string longName(200, 'N'), name = "Pod-1";
    for (std::size_t i = 0; i + 6 <= values.size(); i += 3) {
        const double n[6] = {values[i],     values[i + 1], values[i + 2],
                             values[i + 3], values[i + 4], values[i + 5]};
        const char* nm = i % 2 ? longName.c_str() : name.c_str();
        char want[1024], got[1024];
        const int wantLen = std::snprintf(want, sizeof want, format, nm, "mmu", "nasa_mmu", n[0],
                                          n[1], n[2], n[3], n[4], n[5]);
        const int gotLen = formatItemFields(got, sizeof got, nm, "mmu", "nasa_mmu", n);
        ASSERT_EQ(gotLen, wantLen);
        ASSERT_STREQ(got, want);
        // Too small a buffer: the same length reported, the same cut text kept.
        char small[24], smallWant[24];
        EXPECT_EQ(formatItemFields(small, sizeof small, nm, "mmu", "nasa_mmu", n),
                  std::snprintf(smallWant, sizeof smallWant, format, nm, "mmu", "nasa_mmu", n[0],
                                n[1], n[2], n[3], n[4], n[5]));
        EXPECT_STREQ(small, smallWant);
    }
}

TEST(ItemLineGrammar, ANumberCutByTheLineLimitCountsAsNotGiven) {
    std::string line = "PAYLOAD n m c 1 2 3 4 5 ";
    line += std::string(511 - line.size() - 2, ' ');
    const std::string full = line + "12.5";  // the limit falls after "12"
    const ItemLineParse p = parseItemLine(full.c_str());
    EXPECT_TRUE(p.lineCut);
    EXPECT_EQ(p.fieldsRead, 9);
    EXPECT_EQ(p.fuel, 0.0);
    EXPECT_NE(p.badNumbers, 0u);

    // Ending exactly at the limit, followed by white space, is not a cut.
    const ItemLineParse q = parseItemLine((line + "12  trailing").c_str());
    EXPECT_DOUBLE_EQ(q.fuel, 12.0);
    EXPECT_EQ(q.badNumbers, 0u);
    EXPECT_DOUBLE_EQ(q.mass, 4.0);
}

TEST(SeparationVelocity, MatchesTheReferenceValues) {
    struct Case {
        VECTOR3 offset, expected;
    };
    const Case cases[] = {
        {_V(0.5, 0, 0), _V(2, 0, 0)},         {_V(-1, 0, 0), _V(-2, 0, 0)},
        {_V(0, -0.4, 0.2), _V(0, -2, 0)},     {_V(1, 1, 0), _V(1.3093, 1.0583, 0)},
        {_V(1, 1, 1), _V(1.3229, 0.8871, 0)}, {_V(0.1, 0, 1.0), _V(0, 0, 0.5)},
        {_V(0, 0, 0.005), _V(0, 0, 0.5)},     {_V(0, 0, 0), _V(0, 0, 0.5)},
        {_V(0.01, 0, 0), _V(0, 0, 0.5)},  // exactly the length limit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.offset.x << " " << c.offset.y << " " << c.offset.z);
        const VECTOR3 v = itemSeparationVelocity(c.offset.x, c.offset.y, c.offset.z);
        EXPECT_NEAR(v.x, c.expected.x, 5e-5);
        EXPECT_NEAR(v.y, c.expected.y, 5e-5);
        EXPECT_NEAR(v.z, c.expected.z, 5e-5);
    }
}

// The framework's release and lint's findings both ask this one rule: a scenario writes a vessel
// as NAME:CLASS, cuts its lines at ';' and splits them at any white space.
TEST(ItemTableRules, OneRuleDecidesWhichItemsCanBecomeVessels) {
    using itemtable::VesselWords;
    EXPECT_EQ(itemtable::vesselWords("Pod-1", "AEROBELL"), VesselWords::kFine);
    for (const char* name : {"", "Car:go", "Car;go", "Car go", "Car\tgo", "Car\rgo", "Car\ngo",
                             "Car\vgo", "Car\fgo"}) {
        EXPECT_EQ(itemtable::vesselWords(name, "AEROBELL"), VesselWords::kBadName) << name;
    }
    EXPECT_EQ(itemtable::vesselWords("Pod-1", "AERO;BELL"), VesselWords::kBadClass);
    // The class follows the first ':' of the header, so it may hold another.
    EXPECT_EQ(itemtable::vesselWords("Pod-1", "AERO:BELL"), VesselWords::kFine);
}

}  // namespace
