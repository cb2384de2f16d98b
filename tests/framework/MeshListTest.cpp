// What the host holds after the mesh list is reset and rebuilt, and the items' mass centre.
#include "FrameworkWorld.h"

namespace {

using MeshList = FrameworkWorld;

TEST_F(MeshList, ResetAndRebuildRegistersTheBaseMeshThenEveryItemInSlotOrder) {
    TestCarrier& c = makeCarrier("C");
    const MESHHANDLE base = oapiLoadMeshGlobal("box");
    ASSERT_NE(base, nullptr);
    c.HandleItemText("STAGE S box TestCarrier 1 0 0 10 0 1");
    c.HandleItemText("PAYLOAD P nosuchmesh Probe 0 2 0 10 0 1");
    c.HandleItemText("ENDSTAGE");
    c.HandleItemText("PAYLOAD Q box Probe 0 0 -3.5 10 0 1");
    c.ResetAndRebuild(base);

    const host::Vessel& v = host::vessel(c.GetHandle());
    ASSERT_EQ(v.meshes.size(), 4u);
    EXPECT_EQ(v.meshes[0].handle, base);
    EXPECT_EQ(v.meshes[0].offset.x, 0.0);
    EXPECT_EQ(v.meshes[1].handle, c.Item(0).mesh.handle);
    EXPECT_EQ(v.meshes[1].offset.x, 1.0);
    EXPECT_EQ(static_cast<const host::Mesh*>(v.meshes[2].handle)->groups, 0)
        << "a missing mesh file gives an empty mesh, passed on like any other";
    EXPECT_EQ(v.meshes[2].offset.y, 2.0);
    EXPECT_EQ(v.meshes[3].offset.z, -3.5);
    for (const host::MeshSlot& m : v.meshes) EXPECT_EQ(m.visibility, 1);

    ASSERT_EQ(c.MeshList().size(), 4u);
    for (UINT i = 0; i < 4; ++i) EXPECT_EQ(c.MeshList()[i].meshIndex, i);
    EXPECT_FALSE(c.MeshList()[0].fromItemLine);
    EXPECT_EQ(c.Item(2).position.z, -3.5) << "the rebuild records where each item sits";

    // A second reset leaves only the base entry and the host with nothing.
    c.ResetAndRebuild(base);
    EXPECT_EQ(v.meshes.size(), 4u);
    c.ClearMeshList();
    EXPECT_TRUE(c.MeshList().empty());
    EXPECT_TRUE(v.meshes.empty());
}

TEST_F(MeshList, PayloadCentreIsTheMassWeightedOffsetAboveTheThreshold) {
    TestCarrier& c = makeCarrier("C");
    VECTOR3 centre = _V(9, 9, 9);
    EXPECT_EQ(c.ComputePayloadCentre(centre), 0.0);
    EXPECT_EQ(centre.x, 0.0);
    EXPECT_EQ(centre.z, 0.0);

    c.HandleItemText("PAYLOAD A box Probe 0 0 2 10 0 0");
    c.HandleItemText("PAYLOAD B box Probe 0 0 4 10 0 0");
    EXPECT_DOUBLE_EQ(c.ComputePayloadCentre(centre), 20.0);
    EXPECT_DOUBLE_EQ(centre.z, 3.0);
    EXPECT_DOUBLE_EQ(c.PayloadMass(), 20.0);

    // At exactly 0.0001 kg the weighted sum is left undivided; above it, divided.
    TestCarrier& tiny = makeCarrier("Tiny");
    tiny.HandleItemText("PAYLOAD A box Probe 0 0 2 0.0001 0 0");
    EXPECT_DOUBLE_EQ(tiny.ComputePayloadCentre(centre), 0.0001);
    EXPECT_DOUBLE_EQ(centre.z, 0.0002);
    tiny.HandleItemText("PAYLOAD B box Probe 0 0 2 0.00001 0 0");
    tiny.ComputePayloadCentre(centre);
    EXPECT_DOUBLE_EQ(centre.z, 2.0);
}

}  // namespace
