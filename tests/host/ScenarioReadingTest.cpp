// How the scenario reader finds the ends of sections and blocks and splits lines into words:
// without regard to case or surrounding blanks, only as whole lines, tabs being blanks too.
#include "HostWorld.h"

namespace {

using ScenarioReading = HostWorld;

TEST_F(ScenarioReading, EndsAreWholeLinesInAnyCaseAndWordsSplitAtAnyBlank) {
    const std::string text =
        "begin_desc\n"
        "  Ends in lower case.\n"
        " End_Desc \t\n"
        "BEGIN_SHIPS\n"
        "A:Probe\n"
        "\tRPOS\t1   2\t3 \n"
        "  ENDING is no end\n"
        "  END_SHIPS is none either\n"
        "  end  \n"
        "B:Probe\n"
        "\tEnD\t\n"
        " end_ships\n";
    host::loadScenario(write("Scenarios/ends.scn", text));
    EXPECT_EQ(host::scenario().description, std::vector<std::string>{"  Ends in lower case."});
    const OBJHANDLE a = host::find("A");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(host::find("B"), nullptr);
    const host::Vessel& va = host::vessel(a);
    EXPECT_EQ(va.pos.x, 1.0);
    EXPECT_EQ(va.pos.y, 2.0);
    EXPECT_EQ(va.pos.z, 3.0);
    // Read as lines of the block that nothing reads.
    std::vector<int> unread;
    for (const host::Notice& n : host::scenario().notices)
        if (n.message.find("nothing reads") != std::string::npos) unread.push_back(n.line);
    EXPECT_EQ(unread, (std::vector<int>{7, 8}));
}

}  // namespace
