// The step skips work that cannot change anything: the thrust pass of a vessel whose thrusters
// are all off, and the attitude sums of a child whose parent has not turned. Each shortcut must
// end the moment its condition does.
#include "HostWorld.h"

#include <cmath>

namespace {

using StepShortcuts = HostWorld;

// Propellant burnt in one step of 1 s at full level: 100 N at isp 1000 m/s.
constexpr double kBurn = 0.1;

TEST_F(StepShortcuts, ThrustResumesAfterCoastingWhicheverWayTheLevelIsSet) {
    host::setStep(1.0);
    VESSELSTATUS engineOn = host::defaultStatus();
    OBJHANDLE byThruster = make("ByThruster");
    OBJHANDLE byGroup = make("ByGroup");
    OBJHANDLE byStatus = make("ByStatus");
    host::step();  // all three coast, their thrusters known to be off

    craft(byThruster).SetThrusterLevel(craft(byThruster).main, 1.0);
    craft(byGroup).SetThrusterGroupLevel(THGROUP_MAIN, 1.0);
    engineOn.fuel = 1.0;
    engineOn.eng_main = 1.0;
    engineOn.flag[0] = 1 | 2;  // the fuel and engine levels given apply
    craft(byStatus).DefSetState(&engineOn);
    host::step();
    for (OBJHANDLE h : {byThruster, byGroup, byStatus}) {
        EXPECT_NEAR(craft(h).GetPropellantMass(craft(h).tank), 10.0 - kBurn, 1e-12)
            << host::vessel(h).name;
    }

    // Off for a step, then on again: the burn stops and resumes.
    craft(byGroup).SetThrusterGroupLevel(THGROUP_MAIN, 0.0);
    host::step();
    host::step();
    EXPECT_NEAR(craft(byGroup).GetPropellantMass(craft(byGroup).tank), 10.0 - kBurn, 1e-12);
    craft(byGroup).SetThrusterGroupLevel(THGROUP_MAIN, 0.5);
    host::step();
    EXPECT_NEAR(craft(byGroup).GetPropellantMass(craft(byGroup).tank), 10.0 - 1.5 * kBurn, 1e-12);
}

TEST_F(StepShortcuts, ChildTakesItsParentsNewAttitudeAtOnce) {
    OBJHANDLE parent = make("Parent");
    OBJHANDLE child = make("Child", "Probe");
    VESSEL* pv = host::vessel(parent).iface;
    VESSEL* cv = host::vessel(child).iface;
    ASSERT_TRUE(pv->AttachChild(child, craft(parent).seat, cv->GetAttachmentHandle(true, 0)));
    host::runFor(0.5);  // the child's attitude settles

    VESSELSTATUS turned = host::defaultStatus();
    turned.arot = _V(0.2, 0.7, -1.3);
    pv->DefSetState(&turned);
    host::step();
    // The parent's seat direction and the child's dock direction stay opposite.
    VECTOR3 seatDir, dockDir;
    pv->GlobalRot(_V(0, 1, 0), seatDir);
    cv->GlobalRot(_V(0, 0, -1), dockDir);
    EXPECT_NEAR(seatDir.x, -dockDir.x, 1e-9);
    EXPECT_NEAR(seatDir.y, -dockDir.y, 1e-9);
    EXPECT_NEAR(seatDir.z, -dockDir.z, 1e-9);
    // And the child's attitude is exactly the one a fresh attachment would give it.
    const MATRIX3 afterStep = host::vessel(child).rot;
    ASSERT_TRUE(pv->DetachChild(craft(parent).seat, 0.0));
    ASSERT_TRUE(pv->AttachChild(child, craft(parent).seat, cv->GetAttachmentHandle(true, 0)));
    for (int i = 0; i < 9; ++i) EXPECT_EQ(host::vessel(child).rot.data[i], afterStep.data[i]);
}

}  // namespace
