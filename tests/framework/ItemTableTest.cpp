// Item lines entering the table through the host-driven carrier: nesting, limits, routing.
#include "FrameworkWorld.h"

#include <cstring>
#include <string>

namespace {

using ItemTable = FrameworkWorld;

std::string payload(const std::string& name, const char* rest = "box Probe 0 0 0 10 0 1") {
    return "PAYLOAD " + name + " " + rest;
}
std::string stage(const std::string& name, const char* rest = "box TestCarrier 0 0 0 10 0 1") {
    return "STAGE " + name + " " + rest;
}

TEST_F(ItemTable, ANewCarrierStartsEmptyWithItsMessageModule) {
    TestCarrier& c = makeCarrier("C");
    for (int i = 0; i < COMMON_VESSEL_EX::kItemCount; ++i) {
        EXPECT_FALSE(c.Item(i).present);
        EXPECT_EQ(c.Item(i).parent, 0);
    }
    EXPECT_EQ(c.OpenStage(), -1);
    EXPECT_FALSE(c.SeparationVelocityOverrideSet());
    EXPECT_EQ(c.SeparationVelocityOverride().z, 1.0);
    EXPECT_NE(c.MessageLibrary(), nullptr);
    EXPECT_EQ(host::vessel(c.GetHandle()).flightModelGiven, 1);
}

TEST_F(ItemTable, StagesNestTheLinesThatFollowThem) {
    TestCarrier& c = makeCarrier("C");
    feed(c, {stage("A"), payload("P"), "ENDSTAGE", payload("Q")});
    EXPECT_EQ(c.Item(0).parent, -1);
    EXPECT_EQ(c.Item(0).kind, StageSlot::kStage);
    EXPECT_EQ(c.Item(1).parent, 0);
    EXPECT_EQ(c.Item(2).parent, -1);
    EXPECT_EQ(c.OpenStage(), -1);

    TestCarrier& d = makeCarrier("D");
    feed(d, {stage("A"), stage("B"), payload("P")});
    EXPECT_EQ(d.Item(0).parent, -1);
    EXPECT_EQ(d.Item(1).parent, 0);
    EXPECT_EQ(d.Item(2).parent, 1);
    EXPECT_EQ(d.OpenStage(), 1);
    // ENDCVE closes like ENDSTAGE; extra closes at the top do nothing.
    feed(d, {"ENDCVE", "ENDSTAGE trailing words", "ENDSTAGE", payload("Q")});
    EXPECT_EQ(d.OpenStage(), -1);
    EXPECT_EQ(d.Item(3).parent, -1);
}

TEST_F(ItemTable, AFullTableDropsEveryLineClosingOnesToo) {
    TestCarrier& c = makeCarrier("C");
    feed(c, {stage("S")});
    for (int i = 1; i < COMMON_VESSEL_EX::kItemCount; ++i)
        feed(c, {payload("P" + std::to_string(i))});
    EXPECT_TRUE(c.Item(49).present);
    EXPECT_EQ(c.Item(49).parent, 0);
    feed(c, {payload("Extra"), "ENDSTAGE", "ENDCVE"});
    EXPECT_EQ(c.OpenStage(), 0) << "a close while full is ignored";
    for (int i = 0; i < COMMON_VESSEL_EX::kItemCount; ++i) EXPECT_STRNE(c.Item(i).name, "Extra");
}

TEST_F(ItemTable, WhiteSpaceAndCaseDecideWhatIsAnItem) {
    TestCarrier& c = makeCarrier("C");
    feed(c, {" \t " + payload("Indented"),             // accepted after the white space
             "PAYLOAD\tTabbed box Probe 0 0 0 1 0 0",  // routed to the parser, which drops it
             "payload lower box Probe 0 0 0 1 0 0",    // not a keyword: goes to OnMessage
             "   "});
    EXPECT_STREQ(c.Item(0).name, "Indented");
    EXPECT_FALSE(c.Item(1).present);
    ASSERT_EQ(c.received.size(), 1u);
    EXPECT_EQ(c.received[0].first, "payload");
    EXPECT_EQ(c.received[0].second, "payload lower box Probe 0 0 0 1 0 0");

    // A message keyed ENDSTAGE closes only when its text says so too.
    feed(c, {stage("S")});
    c.DispatchMessage("ENDSTAGE", "close please");
    EXPECT_EQ(c.OpenStage(), 1);
    c.DispatchMessage("ENDSTAGE", "ENDSTAGE");
    EXPECT_EQ(c.OpenStage(), -1);
}

TEST_F(ItemTable, OtherKeysReachOnMessageCutToTheirLimits) {
    TestCarrier& c = makeCarrier("C");
    const std::string longKey(300, 'k');
    const std::string longText(3000, 't');
    EXPECT_TRUE(c.DispatchMessage(longKey.c_str(), longText.c_str()));
    ASSERT_EQ(c.received.size(), 1u);
    EXPECT_EQ(c.received[0].first, longKey.substr(0, 127));
    EXPECT_EQ(c.received[0].second, longText.substr(0, 2047));

    c.throwOnMessage = true;
    EXPECT_TRUE(c.DispatchMessage("DOCK", "now"));
    c.HandleItemText("DOCK now");  // the barrier holds for raw lines too
    c.throwOnMessage = false;
    feed(c, {payload("After")});
    EXPECT_STREQ(c.Item(0).name, "After");
}

TEST_F(ItemTable, ALineEntersOnlyWhatItGivesIntoAReusedSlot) {
    TestCarrier& c = makeCarrier("C");
    feed(c, {payload("Full", "box Probe 1 2 3 40 90 0.5")});
    ASSERT_NE(c.SeparateNextItem(), nullptr);
    ASSERT_FALSE(c.Item(0).present);
    feed(c, {"PAYLOAD Short"});
    const StageSlot& s = c.Item(0);
    EXPECT_TRUE(s.present);
    EXPECT_STREQ(s.name, "Short");
    EXPECT_STREQ(s.className, "");
    EXPECT_EQ(s.mesh.fileName, "");
    EXPECT_EQ(s.mesh.offset.x, 0.0);
    EXPECT_EQ(s.mesh.offset.z, 0.0);
    EXPECT_EQ(s.mass, 0.0);
    EXPECT_EQ(s.angle, 0.0);
    EXPECT_EQ(s.fuel, 0.0);
    EXPECT_EQ(s.sepVelocity.z, 0.5);
    EXPECT_EQ(s.parent, -1);
}

TEST_F(ItemTable, AnItemKeepsItsPlaceWhenItsMeshIsMissing) {
    TestCarrier& c = makeCarrier("C");
    feed(c, {payload("Loaded"), payload("Missing", "nosuchmesh Probe 0 0 0 1 0 0")});
    EXPECT_EQ(c.Item(1).mesh.fileName, "nosuchmesh");
    EXPECT_EQ(static_cast<const host::Mesh*>(c.Item(1).mesh.handle)->groups, 0);
    EXPECT_TRUE(c.Item(1).present);
    EXPECT_TRUE(c.Item(1).mesh.fromItemLine);
}

}  // namespace
