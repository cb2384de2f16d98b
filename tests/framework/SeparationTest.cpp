// Releasing the next item: where the new vessel starts, what it carries on, what stays aboard.
#include "FrameworkWorld.h"

#include <cmath>

namespace {

using Separation = FrameworkWorld;

VESSELSTATUS carrierStatus(const VECTOR3& arot) {
    VESSELSTATUS vs = host::defaultStatus();
    vs.rpos = _V(7.0e6, 100.0, -50.0);
    vs.rvel = _V(10.0, 7500.0, 3.0);
    vs.arot = arot;
    return vs;
}

void expectNear(const VECTOR3& a, const VECTOR3& b, double tol = 1e-9) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

VECTOR3 column(const MATRIX3& m, int i) {
    return i == 0   ? _V(m.m11, m.m21, m.m31)
           : i == 1 ? _V(m.m12, m.m22, m.m32)
                    : _V(m.m13, m.m23, m.m33);
}

TEST_F(Separation, ASinglePayloadLeavesAtItsPlaceWithItsOwnVelocityAndFuel) {
    TestCarrier& c = makeCarrier("C", carrierStatus(_V(0, 0, 0)));
    c.HandleItemText("PAYLOAD Probe-1 box Probe 0.5 0 0 50 0 0.25");
    c.RebuildMeshesAtOrigin();
    VESSEL* v = c.SeparateNextItem();
    ASSERT_NE(v, nullptr);
    const host::Vessel& p = host::vessel(v->GetHandle());
    EXPECT_EQ(p.name, "Probe-1");
    EXPECT_EQ(p.className, "Probe");
    const host::Vessel& cv = host::vessel(c.GetHandle());
    expectNear(p.pos, cv.pos + _V(0.5, 0, 0));
    expectNear(p.vel, cv.vel + _V(2, 0, 0));  // the item's own separation velocity
    expectNear(p.arot, cv.arot);
    EXPECT_DOUBLE_EQ(v->GetFuelMass(), 20.0 * 0.25);
    EXPECT_FALSE(c.Item(0).present);
    EXPECT_EQ(c.SeparateNextItem(), nullptr) << "an empty table releases nothing";
}

TEST_F(Separation, TheAngleTurnsTheReleasedVesselAboutTheCarriersXAxis) {
    for (const VECTOR3 arot : {_V(0, 0, 0), _V(0.3, -0.5, 1.1)}) {
        for (const double angle : {0.0, 90.0, -30.0}) {
            SCOPED_TRACE(testing::Message() << "carrier " << arot.x << "," << arot.y << ","
                                            << arot.z << " angle " << angle);
            host::reset();
            TestCarrier& c = makeCarrier("C", carrierStatus(arot));
            const std::string line =
                "PAYLOAD Turned box Probe 0 1 0 10 " + std::to_string(angle) + " 0";
            c.HandleItemText(line.c_str());
            c.RebuildMeshesAtOrigin();
            VESSEL* v = c.SeparateNextItem();
            ASSERT_NE(v, nullptr);
            // The new vessel's axes are the carrier's axes turned by the angle about its x.
            const double a = angle * PI / 180.0;
            const MATRIX3& carrier = host::vessel(c.GetHandle()).rot;
            const MATRIX3& released = host::vessel(v->GetHandle()).rot;
            expectNear(column(released, 0), mul(carrier, _V(1, 0, 0)));
            expectNear(column(released, 1), mul(carrier, _V(0, std::cos(a), std::sin(a))));
            expectNear(column(released, 2), mul(carrier, _V(0, -std::sin(a), std::cos(a))));
            // Separation velocity (0, 2, 0) leaves along the carrier's turned y axis.
            expectNear(host::vessel(v->GetHandle()).vel - host::vessel(c.GetHandle()).vel,
                       mul(carrier, _V(0, 2, 0)));
        }
    }
}

TEST_F(Separation, TheOverrideIsUsedOnceAndARefusedReleaseKeepsTheItem) {
    TestCarrier& c = makeCarrier("C", carrierStatus(_V(0, 0, 0)));
    c.HandleItemText("PAYLOAD Bad:name box Probe -1 0 0 1 0 0");
    c.HandleItemText("PAYLOAD Second box Probe -1 0 0 1 0 0");
    c.HandleItemText("PAYLOAD Third box Probe -1 0 0 1 0 0");
    c.RebuildMeshesAtOrigin();
    const VECTOR3 base = host::vessel(c.GetHandle()).vel;

    c.SetSeparationVelocity(_V(0, 0, 3));
    VESSEL* third = c.SeparateNextItem();
    ASSERT_NE(third, nullptr);
    EXPECT_STREQ(third->GetName(), "Third");
    EXPECT_FALSE(c.SeparationVelocityOverrideSet());
    expectNear(host::vessel(third->GetHandle()).vel, base + _V(0, 0, 3));
    VESSEL* second = c.SeparateNextItem();
    ASSERT_NE(second, nullptr);
    expectNear(host::vessel(second->GetHandle()).vel, base + _V(-2, 0, 0));

    // A name no scenario could carry back: the simulator is not asked for it.
    c.SetSeparationVelocity(_V(0, 0, 3));
    EXPECT_EQ(c.SeparateNextItem(), nullptr);
    EXPECT_TRUE(c.Item(0).present) << "a refused release keeps the item";
    EXPECT_FALSE(c.SeparationVelocityOverrideSet()) << "the override is spent all the same";
    EXPECT_EQ(oapiGetVesselCount(), 3u);
}

TEST_F(Separation, AStageInAStageLeavesWithEverythingItHolds) {
    TestCarrier& c = makeCarrier("C");
    feed(c, {"STAGE A box TestCarrier 0 0 -2 100 0 0", "STAGE B box TestCarrier 0 0 -2.5 50 0 0",
             "PAYLOAD P box Probe 0.25 0 -3.126 10 0 0.5"});
    c.RebuildMeshesAtOrigin();
    VESSEL* v = c.SeparateNextItem();
    ASSERT_NE(v, nullptr);
    EXPECT_STREQ(v->GetName(), "A");
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(c.Item(i).present);
    EXPECT_EQ(c.OpenStage(), -1) << "the open stage has left";

    host::step();  // the released stage polls in its step
    TestCarrier& a = carrier(v->GetHandle());
    EXPECT_EQ(a.pollsWithMail, 1);
    EXPECT_STREQ(a.Item(0).name, "B");
    EXPECT_EQ(a.Item(0).kind, StageSlot::kStage);
    EXPECT_EQ(a.Item(0).parent, -1);
    EXPECT_DOUBLE_EQ(a.Item(0).mesh.offset.z, -0.5);
    EXPECT_STREQ(a.Item(1).name, "P");
    EXPECT_EQ(a.Item(1).parent, 0);
    EXPECT_DOUBLE_EQ(a.Item(1).mesh.offset.x, 0.25);
    EXPECT_DOUBLE_EQ(a.Item(1).mesh.offset.z, -1.13) << "offsets travel with two decimals";
    EXPECT_DOUBLE_EQ(a.Item(1).fuel, 0.5);
    EXPECT_FALSE(a.Item(2).present);
    EXPECT_EQ(a.OpenStage(), -1);
}

TEST_F(Separation, TheWalkStopsAtAStageThatDoesNotFollowItsOwnStage) {
    TestCarrier& c = makeCarrier("C");
    feed(c, {"STAGE A box TestCarrier 0 0 0 1 0 0", "PAYLOAD X box Probe 0 0 0 1 0 0",
             "STAGE B box TestCarrier 0 0 0 1 0 0", "PAYLOAD Y box Probe 0 0 0 1 0 0"});
    c.RebuildMeshesAtOrigin();
    VESSEL* b = c.SeparateNextItem();
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(b->GetName(), "B");
    EXPECT_TRUE(c.Item(0).present);
    EXPECT_TRUE(c.Item(1).present);
    EXPECT_FALSE(c.Item(3).present);
    EXPECT_EQ(c.OpenStage(), -1) << "B was open and has left";

    VESSEL* a = c.SeparateNextItem();
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a->GetName(), "A");
    EXPECT_FALSE(c.Item(1).present);
    host::step();
    EXPECT_STREQ(carrier(b->GetHandle()).Item(0).name, "Y");
    EXPECT_STREQ(carrier(a->GetHandle()).Item(0).name, "X");
    EXPECT_EQ(carrier(a->GetHandle()).Item(0).parent, -1);
}

TEST_F(Separation, AHandOverClosesEveryLevelThatEnds) {
    // A holds B, which holds C, which holds P; then Q sits directly in A: two levels close
    // between P and Q, which the single close of older writers would get wrong.
    TestCarrier& c = makeCarrier("C");
    feed(c, {"STAGE A box TestCarrier 0 0 0 1 0 0", "STAGE B box TestCarrier 0 0 0 1 0 0",
             "STAGE C box TestCarrier 0 0 0 1 0 0", "PAYLOAD P box Probe 0 0 0 1 0 0", "ENDSTAGE",
             "ENDSTAGE", "PAYLOAD Q box Probe 0 0 0 1 0 0"});
    c.RebuildMeshesAtOrigin();
    VESSEL* a = c.SeparateNextItem();
    ASSERT_NE(a, nullptr);
    host::step();
    const TestCarrier& got = carrier(a->GetHandle());
    EXPECT_EQ(got.Item(0).parent, -1);  // B
    EXPECT_EQ(got.Item(1).parent, 0);   // C
    EXPECT_EQ(got.Item(2).parent, 1);   // P
    EXPECT_STREQ(got.Item(3).name, "Q");
    EXPECT_EQ(got.Item(3).parent, -1);
    EXPECT_EQ(got.OpenStage(), -1);
}

}  // namespace
