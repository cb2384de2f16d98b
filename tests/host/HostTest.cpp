// The host behaviour that vessel modules rely on: masses, time and step order, keys, frames,
// attachments, thrust, creation and its failures.
#include "HostWorld.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

using Host = HostWorld;

TEST_F(Host, MassIsSummedAsTheSimulatorSumsItAndKeptUntilItsNextUpdate) {
    VESSEL* v = host::vessel(make("C")).iface;
    PROPELLANT_HANDLE tank = v->GetPropellantHandleByIndex(0);
    v->SetPropellantMass(tank, 0.2);
    PROPELLANT_HANDLE b = v->CreatePropellantResource(1.0, 0.3);
    // A tank made counts from the next update.
    v->SetEmptyMass(0.1);
    // The tanks summed, then added to the empty mass: 0.1 + (0.2 + 0.3) differs in the last
    // bit from (0.1 + 0.2) + 0.3.
    EXPECT_EQ(v->GetMass(), 0.1 + (0.0 + 0.2 + 0.3));
    EXPECT_NE(v->GetMass(), (0.1 + 0.2) + 0.3);

    v->DelPropellantResource(b);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(v->GetPropellantCount(), 1u);
    EXPECT_EQ(v->GetMass(), 0.1 + (0.0 + 0.2 + 0.3));
    host::step();  // every vessel's update ends by summing again
    EXPECT_EQ(v->GetMass(), 0.1 + 0.2);
    EXPECT_EQ(oapiGetMass(v->GetHandle()), 0.1 + 0.2);

    // A module-less class takes mass, tank (full, default) and size from its class file.
    VESSEL* p = host::vessel(make("P", "Probe")).iface;
    EXPECT_EQ(p->GetMass(), 250.0);
    EXPECT_EQ(p->GetMaxFuelMass(), 50.0);
    EXPECT_EQ(p->GetSize(), 1.5);
}

// The simulator's log names an obsolete interface function once a session, however many
// vessels call it, with the note that follows it.
TEST_F(Host, ObsoleteFunctionIsLoggedOnceASession) {
    const std::string used = "Obsolete API function used: VESSEL::SetBankMomentScale";
    auto count = [&] {
        return std::count(host::records().log.begin(), host::records().log.end(), used);
    };
    for (int session = 0; session < 2; ++session) {
        host::reset();
        host::vessel(make("A")).iface->SetBankMomentScale(1.0);
        host::vessel(make("B")).iface->SetBankMomentScale(2.0);
        EXPECT_EQ(count(), 1);
        const std::vector<std::string>& log = host::records().log;
        const auto at = std::find(log.begin(), log.end(), used);
        ASSERT_NE(at, log.end());
        ASSERT_LT(at + 4, log.end());
        EXPECT_EQ(*(at - 1), "-------------------------- OBSOLETE: --------------------------");
        EXPECT_EQ(*(at + 1),
                  "At least one active module is accessing an obsolete interface function.");
    }
}

TEST_F(Host, StepTimesAreMultiplesOfTheStepAndCallbacksComeInOrder) {
    OBJHANDLE a = make("A");
    host::setFocus(a);
    std::vector<std::string> order;
    EXPECT_EQ(oapiGetSimStep(), 0.0);  // no step yet
    host::setPreStepHook([&](double t) {
        order.push_back("hook");
        // The clock shows the step's start until the step is over.
        EXPECT_NEAR(oapiGetSimTime(), t - 0.1, 1e-12);
    });
    Craft::onPostStep = [&](Craft& c, double t) {
        order.push_back(std::string("post ") + c.GetName() + (c.keyStates.empty() ? "" : " keyed"));
        if (t == 0.1 && std::string(c.GetName()) == "A") make("B");  // stepped in the same pass
    };
    host::pressKey(OAPI_KEY_K);
    host::step();
    // The key comes after the post-step pass.
    EXPECT_EQ(order, (std::vector<std::string>{"hook", "post A", "post B"}));
    EXPECT_EQ(craft(a).keyStates.size(), 1u);
    EXPECT_EQ(craft(host::find("B")).postSteps.size(), 1u);
    host::runFor(0.9);
    EXPECT_EQ(host::stepIndex(), 10);
    EXPECT_EQ(host::simTime(), 1.0);
    EXPECT_EQ(craft(host::find("B")).postSteps.size(), 10u);
    EXPECT_EQ(craft(a).postSteps.back(), 10 * 0.1);
    // The pre-step callback is given the step's start, the post-step one its end.
    ASSERT_EQ(craft(a).preSteps.size(), craft(a).postSteps.size());
    for (size_t i = 0; i < craft(a).postSteps.size(); ++i) {
        EXPECT_EQ(craft(a).preSteps[i], static_cast<double>(i) * 0.1);
        EXPECT_EQ(craft(a).postSteps[i], static_cast<double>(i + 1) * 0.1);
    }
    EXPECT_EQ(oapiGetSimStep(), 0.1);
    EXPECT_EQ(oapiGetSimTime(), 1.0);
    host::setPreStepHook(nullptr);
}

TEST_F(Host, DelayedKeyRemembersOneKeyAndRefusesItsRepeatWithinTheDelay) {
    host::step();
    EXPECT_TRUE(oapiAcceptDelayedKey(37, 1.0));
    EXPECT_TRUE(oapiAcceptDelayedKey(37, 1.0));  // within the same step time: accepted again
    host::step();
    EXPECT_FALSE(oapiAcceptDelayedKey(37, 1.0));
    EXPECT_TRUE(oapiAcceptDelayedKey(36, 1.0));
    EXPECT_TRUE(oapiAcceptDelayedKey(37, 1.0));  // 36 took the one place: 37 is new again
    host::runFor(0.9);
    EXPECT_FALSE(oapiAcceptDelayedKey(37, 1.0));
    host::step();  // a full delay after the last acceptance
    EXPECT_TRUE(oapiAcceptDelayedKey(37, 1.0));
}

TEST_F(Host, KeyEventsGoToTheFocusWithHeldKeysAndAreRecorded) {
    OBJHANDLE a = make("A");
    OBJHANDLE b = make("B");
    EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_K), 0);  // nobody has the focus yet
    EXPECT_EQ(oapiSetFocusObject(a), nullptr);
    EXPECT_EQ(oapiSetFocusObject(b), a);
    host::holdKey(OAPI_KEY_LSHIFT, true);
    EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_K), 1);
    EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_J), 0);
    EXPECT_EQ(craft(b).keyStates, (std::vector<std::string>{"37,42", "36,42"}));
    EXPECT_TRUE(craft(a).keyStates.empty());
    const auto& keys = host::records().keys;
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[1].vessel, b);
    EXPECT_EQ(keys[1].result, 1);
    ASSERT_EQ(host::records().focusChanges.size(), 2u);
    EXPECT_EQ(host::records().focusChanges[1].from, a);
}

TEST_F(Host, AttitudeAnglesGiveTheConventionsMatrixAndBack) {
    // a = 90 deg, c = 90 deg: R = Rx(a)^T Rz(c)^T maps local x, y, z to global z, x, y.
    VESSELSTATUS s = host::defaultStatus();
    s.rpos = _V(10, 20, 30);
    s.arot = _V(PI / 2, 0, PI / 2);
    VESSEL* v = host::vessel(make("T", "Craft", s)).iface;
    VECTOR3 g;
    v->GlobalRot(_V(1, 0, 0), g);
    expectNear(g, _V(0, 0, 1));
    v->GlobalRot(_V(0, 1, 0), g);
    expectNear(g, _V(1, 0, 0));
    v->Local2Global(_V(0, 0, 2), g);
    expectNear(g, _V(10, 22, 30));
    v->Local2Rel(_V(0, 0, 2), g);
    expectNear(g, _V(10, 22, 30));

    for (VECTOR3 a : {_V(0.1, 0.2, 0.3), _V(-2.5, 1.2, 3.0), _V(3.0, -1.4, -0.7)}) {
        MATRIX3 R = host::rotationFromAngles(a);
        expectNear(host::anglesFromRotation(R), a, 1e-12);
        // Columns are orthonormal and right-handed as a rotation.
        VECTOR3 x = _V(R.m11, R.m21, R.m31), y = _V(R.m12, R.m22, R.m32),
                z = _V(R.m13, R.m23, R.m33);
        EXPECT_NEAR(dotp(x, y), 0.0, 1e-12);
        expectNear(crossp(x, y), z, 1e-12);
    }
}

TEST_F(Host, AttachedChildSitsOnTheParentsPointAndFollowsIt) {
    VESSELSTATUS s = host::defaultStatus();
    s.rpos = _V(100, 0, 0);
    s.rvel = _V(0, 5, 0);
    s.arot = _V(0.3, -0.4, 1.1);
    OBJHANDLE parent = make("Parent", "Craft", s);
    OBJHANDLE child = make("Child", "Probe");
    VESSEL* pv = host::vessel(parent).iface;
    VESSEL* cv = host::vessel(child).iface;
    ATTACHMENTHANDLE seat = craft(parent).seat;
    ATTACHMENTHANDLE dock = cv->GetAttachmentHandle(true, 0);
    ASSERT_STREQ(cv->GetAttachmentId(dock), "DOCK");
    ASSERT_TRUE(pv->AttachChild(child, seat, dock));
    EXPECT_EQ(pv->GetAttachmentStatus(seat), child);
    EXPECT_EQ(cv->GetAttachmentStatus(dock), parent);

    host::runFor(1.0);
    auto check = [&] {
        VECTOR3 pPos, cPos, pDir, cDir, pRot, cRot;
        pv->Local2Global(_V(0, 1, 0), pPos);   // the seat point
        cv->Local2Global(_V(0, 0, -1), cPos);  // the dock point
        expectNear(cPos, pPos);
        pv->GlobalRot(_V(0, 1, 0), pDir);
        cv->GlobalRot(_V(0, 0, -1), cDir);
        expectNear(cDir, -pDir);
        pv->GlobalRot(_V(0, 0, 1), pRot);
        cv->GlobalRot(_V(0, 1, 0), cRot);
        expectNear(cRot, pRot);
    };
    check();
    VECTOR3 pPos;
    pv->GetGlobalPos(pPos);
    expectNear(pPos, _V(100, 5, 0));

    ASSERT_TRUE(pv->DetachChild(seat, 2.0));
    EXPECT_EQ(pv->GetAttachmentStatus(seat), nullptr);
    VECTOR3 cVel, up;
    cv->GetGlobalVel(cVel);
    pv->GlobalRot(_V(0, 2, 0), up);
    expectNear(cVel, _V(0, 5, 0) + up);
    const auto& rec = host::records().attachments;
    ASSERT_EQ(rec.size(), 2u);
    EXPECT_TRUE(rec[0].attach);
    EXPECT_FALSE(rec[1].attach);
}

// The simulator links the points it is given as they are. A vessel is carried only from a
// point for children of the vessel that owns it, so the vessels of a loop, and one linked at a
// point of the other kind, stand still; DetachChild makes the vessel linked at the point leave
// its own parent, even where that leaves the point's owner hanging on nothing.
TEST_F(Host, AttachmentPointsAreLinkedAsGivenAndWhatNothingCarriesStandsStill) {
    host::loadScenario(write("Scenarios/loop.scn",
                             "BEGIN_ENVIRONMENT\n  System Sol\nEND_ENVIRONMENT\nBEGIN_SHIPS\n"
                             "A:Probe\n  STATUS Orbiting Earth\n  RPOS 7000000 0 0\n"
                             "  RVEL 0 7500 0\n  ATTACHED 0:0,B\nEND\n"
                             "B:Probe\n  STATUS Orbiting Earth\n  RPOS 7000100 0 0\n"
                             "  RVEL 0 7500 0\n  ATTACHED 0:0,A\nEND\nEND_SHIPS\n"));
    host::runFor(1.0);
    expectNear(host::vessel(host::find("A")).pos, _V(7000000, 0, 0), 0.0);
    expectNear(host::vessel(host::find("B")).pos, _V(7000100, 0, 0), 0.0);

    host::reset();
    VESSELSTATUS s = host::defaultStatus();
    s.rpos = _V(7000000, 0, 0);
    s.rvel = _V(0, 7500, 0);
    const OBJHANDLE p = make("P", "Probe", s), c = make("C", "Probe", s), g = make("G", "Probe", s);
    VESSEL* pv = host::vessel(p).iface;
    VESSEL* cv = host::vessel(c).iface;
    VESSEL* gv = host::vessel(g).iface;
    const ATTACHMENTHANDLE pDock = pv->GetAttachmentHandle(true, 0);
    const ATTACHMENTHANDLE pTow = pv->GetAttachmentHandle(false, 0);
    const ATTACHMENTHANDLE cDock = cv->GetAttachmentHandle(true, 0);
    const ATTACHMENTHANDLE gTow = gv->GetAttachmentHandle(false, 0);
    // P's own point to a parent used as a point for a child: linked, C not carried.
    ASSERT_TRUE(pv->AttachChild(c, pDock, cDock));
    EXPECT_EQ(pv->GetAttachmentStatus(pDock), c);
    EXPECT_EQ(cv->GetAttachmentStatus(cDock), p);
    host::runFor(0.5);
    expectNear(host::vessel(c).pos, _V(7000000, 0, 0), 0.0);
    EXPECT_GT(host::vessel(p).pos.y, 3000.0);
    EXPECT_TRUE(pv->DetachChild(pDock));
    EXPECT_EQ(cv->GetAttachmentStatus(cDock), nullptr);
    EXPECT_FALSE(pv->DetachChild(pDock));

    // G's point given to P: C hangs on P, at G's point, carried when G flies; the save cannot
    // name that point among P's and writes the simulator's "not found".
    ASSERT_TRUE(pv->AttachChild(c, gTow, cDock));
    host::runFor(0.5);
    VECTOR3 at, want;
    cv->Local2Global(_V(0, 0, -1), at);
    pv->Local2Global(_V(0, 0, 1), want);
    expectNear(at, want, 1e-6);
    const std::vector<std::string> saved = host::saveVesselState(c);
    EXPECT_NE(std::find(saved.begin(), saved.end(), "  ATTACHED 0:4294967295,P"), saved.end());

    // DetachChild on C's own point: its parent P has no parent to leave. Hung on G, P leaves
    // G, and C is left hanging on nothing, where the simulator crashes.
    EXPECT_FALSE(cv->DetachChild(cDock));
    ASSERT_TRUE(gv->AttachChild(p, gTow, pDock));
    ASSERT_TRUE(pv->AttachChild(c, pTow, cDock));
    try {
        cv->DetachChild(cDock);
        ADD_FAILURE() << "no stop";
    } catch (const host::Stop& e) {
        EXPECT_EQ(e.reason,
                  "DetachChild on vessel 'C': its point links it to 'P' no more, and it hangs on "
                  "nothing");
    }
    EXPECT_EQ(gv->GetAttachmentStatus(gTow), nullptr);
}

TEST_F(Host, BurningThrusterUsesPropellantAndStopsWhenEmpty) {
    VESSELSTATUS s = host::defaultStatus();
    s.arot = _V(PI / 2, 0, 0);  // local z becomes global y
    OBJHANDLE h = make("B", "Craft", s);
    VESSEL* v = host::vessel(h).iface;
    v->SetThrusterGroupLevel(THGROUP_MAIN, 1.0);
    EXPECT_EQ(v->GetThrusterGroupLevel(THGROUP_MAIN), 1.0);
    host::runFor(1.0);
    // 100 N at isp 1000 m/s: 0.1 kg/s.
    EXPECT_NEAR(v->GetPropellantMass(craft(h).tank), 9.9, 1e-9);
    VECTOR3 vel;
    v->GetGlobalVel(vel);
    EXPECT_NEAR(vel.x, 0.0, 1e-12);
    // 100 N for 1 s on a mass between 110 and 109.9 kg.
    EXPECT_GT(vel.y, 100.0 / 110.0);
    EXPECT_LT(vel.y, 100.0 / 109.9);
    EXPECT_NEAR(vel.z, 0.0, 1e-12);

    host::runFor(200.0);
    EXPECT_EQ(v->GetPropellantMass(craft(h).tank), 0.0);
    VECTOR3 after;
    v->GetGlobalVel(after);
    host::runFor(1.0);
    v->GetGlobalVel(vel);
    EXPECT_EQ(vel.y, after.y);  // no propellant, no thrust

    // A thruster whose resource is deleted gives no thrust either.
    OBJHANDLE d = make("D");
    VESSEL* dv = host::vessel(d).iface;
    dv->DelPropellantResource(craft(d).tank);
    dv->SetThrusterGroupLevel(THGROUP_MAIN, 1.0);
    host::runFor(1.0);
    dv->GetGlobalVel(vel);
    expectNear(vel, _V(0, 0, 0), 0.0);
}

TEST_F(Host, CreationAcceptsAnyNameFallsBackToThePlainVesselAndStopsWithoutAClass) {
    VESSELSTATUS s = host::defaultStatus();
    s.rpos = _V(1, 2, 3);
    s.fuel = 0.25;
    OBJHANDLE a = oapiCreateVessel("A", "Craft", s);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(oapiGetVesselCount(), 1u);
    EXPECT_EQ(oapiGetVesselByIndex(0), a);
    EXPECT_EQ(oapiGetVesselInterface(a), host::vessel(a).iface);
    // The status's flags are clear: the fuel stays as the module set it.
    EXPECT_EQ(host::vessel(a).iface->GetFuelMass(), 10.0);
    expectNear(host::vessel(a).pos, _V(1, 2, 3), 0.0);

    // The simulator checks no name: a taken one makes a twin that lookups never find first.
    OBJHANDLE twin = oapiCreateVessel("a", "Craft", s);
    ASSERT_NE(twin, nullptr);
    EXPECT_NE(twin, a);
    EXPECT_EQ(oapiGetVesselByName(const_cast<char*>("A")), a);
    for (const char* odd : {"", "Car:rier", "two words", "semi;colon"})
        EXPECT_NE(oapiCreateVessel(odd, "Craft", s), nullptr) << odd;

    // ovcInit gave null: the vessel flies with the simulator's plain VESSEL, which the module's
    // ovcExit still receives at the end.
    Craft::refuseNext = true;
    OBJHANDLE plain = oapiCreateVessel("R", "Craft", s);
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(host::vessel(plain).moduleMade);
    ASSERT_NE(oapiGetVesselInterface(plain), nullptr);
    EXPECT_EQ(oapiGetVesselInterface(plain)->Version(), 0);
    const int plainBefore = Craft::plainExits;
    EXPECT_TRUE(oapiDeleteVessel(plain));
    EXPECT_EQ(Craft::plainExits, plainBefore + 1);

    // No class file: the simulator stops, and so does everything after it.
    try {
        oapiCreateVessel("X", "NoSuchClass", s);
        FAIL() << "no stop";
    } catch (const host::Stop& e) {
        EXPECT_EQ(std::string(e.what()),
                  "the simulator would stop here: no class file for vessel 'X': neither "
                  "Config/Vessels/NoSuchClass.cfg nor Config/NoSuchClass.cfg");
    }
    ASSERT_NE(host::stopped(), nullptr);
    EXPECT_THROW(host::step(), host::Stop);
    const int exitsBefore = Craft::exits;
    host::reset();
    EXPECT_EQ(host::stopped(), nullptr);
    EXPECT_EQ(Craft::exits, exitsBefore + 6);
    EXPECT_EQ(oapiGetVesselCount(), 0u);

    // The shared mesh is found again by the sum of its name's bytes and the name without regard
    // to case (so "PRobe" and "prOBe" share one, "PROBE" does not), and may be missing;
    // oapiLoadMesh gives every caller a mesh of its own, never null, which lives until the
    // caller deletes it.
    MESHHANDLE m = oapiLoadMeshGlobal("PRobe");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(oapiLoadMeshGlobal("prOBe"), m);
    EXPECT_NE(oapiLoadMeshGlobal("PROBE"), m);
    EXPECT_EQ(oapiLoadMeshGlobal("nothing-here"), nullptr);
    // Textures of every registered kind come from one loader: one name, one texture.
    SURFHANDLE t = oapiRegisterExhaustTexture(const_cast<char*>("Contrail1"));
    EXPECT_EQ(oapiRegisterParticleTexture(const_cast<char*>("contrail1")), t);
    EXPECT_EQ(oapiRegisterReentryTexture(const_cast<char*>("Contrail1")), t);
    MESHHANDLE own = oapiLoadMesh("probe");
    MESHHANDLE empty = oapiLoadMesh("nothing-here");
    ASSERT_NE(own, m);
    EXPECT_EQ(static_cast<host::Mesh*>(own)->groups, 2);
    EXPECT_EQ(static_cast<host::Mesh*>(empty)->groups, 0);
    EXPECT_EQ(host::liveMeshCount(), 2u);
    oapiDeleteMesh(own);
    EXPECT_EQ(host::liveMeshCount(), 1u);
}

TEST_F(Host, VesselDeletingItselfInItsCallbackIsDestroyedAfterIt) {
    OBJHANDLE a = make("A");
    OBJHANDLE b = make("B");
    host::setFocus(a);
    const int exitsBefore = Craft::exits;
    Craft::onPostStep = [](Craft& c, double) {
        if (std::string(c.GetName()) == "A") {
            EXPECT_TRUE(oapiDeleteVessel(c.GetHandle()));
            EXPECT_EQ(c.GetMass(), 110.0);  // still whole until the callback returns
        }
    };
    host::step();
    EXPECT_EQ(Craft::exits, exitsBefore + 1);
    EXPECT_EQ(oapiGetVesselCount(), 1u);
    EXPECT_EQ(oapiGetVesselByName(const_cast<char*>("A")), nullptr);
    EXPECT_EQ(oapiGetVesselInterface(a), nullptr);
    EXPECT_EQ(host::focus(), b);  // the focus moved on
}

// The focus leaves a deleted vessel for the nearest vessel it last found (its proxy), even one
// that may not take the focus; only without a proxy for the nearest that may.
TEST_F(Host, TheFocusOfADeletedVesselGoesToItsProxyFirst) {
    write("Config/Vessels/Unfocused.cfg", "EnableFocus = false\nMass = 10\n");
    VESSELSTATUS s = host::defaultStatus();
    s.rpos = _V(7000000, 0, 0);
    s.rvel = _V(0, 7500, 0);
    const OBJHANDLE f = make("F", "Probe", s);
    s.rpos.x += 10.0;
    const OBJHANDLE n = make("N", "Unfocused", s);
    s.rpos.x += 10.0;
    const OBJHANDLE m = make("M", "Probe", s);
    host::setFocus(f);
    host::step();  // F finds N on its first step
    host::deleteVessel(f);
    EXPECT_EQ(host::focus(), n);
    host::deleteVessel(n);  // N found M on that step (as near as F, and looked at first)
    EXPECT_EQ(host::focus(), m);
}

// The simulator has no handler around module code: what escapes it ends the program.
TEST_F(Host, AnExceptionEscapingModuleCodeIsTheSimulatorsStopNamingTheCallback) {
    make("A");
    Craft::onPostStep = [](Craft&, double) { throw std::runtime_error("lost a wing"); };
    try {
        host::step();
        ADD_FAILURE() << "no stop";
    } catch (const host::Stop& e) {
        EXPECT_STREQ(e.what(),
                     "the simulator would stop here: an exception escaped clbkPostStep of vessel "
                     "'A': lost a wing");
    }
    EXPECT_THROW(host::step(), host::Stop);  // the flight is over

    host::reset();
    Craft::throwNext = true;
    try {
        make("B");
        ADD_FAILURE() << "no stop";
    } catch (const host::Stop& e) {
        EXPECT_EQ(e.reason, "an exception escaped ovcInit of vessel 'B': no craft today");
    }

    // The same from inside a callback: the host finishes that callback with a plain interface
    // for the new vessel, which the module's ovcExit (the simulator never reached it) never sees.
    host::reset();
    make("C");
    Craft::onPostStep = [](Craft&, double) {
        Craft::throwNext = true;
        oapiCreateVessel("D", "Craft", host::defaultStatus());
    };
    EXPECT_THROW(host::step(), host::Stop);
    const int plainBefore = Craft::plainExits;
    host::reset();
    EXPECT_EQ(Craft::plainExits, plainBefore);
}

// The simulator reads the object behind a handle without a check: a null one crashes it.
TEST_F(Host, ANullHandleTheSimulatorReadsIsAStopNamingTheCall) {
    VECTOR3 v;
    char name[8];
    const std::vector<std::pair<const char*, std::function<void()>>> calls = {
        {"oapiSetFocusObject", [] { oapiSetFocusObject(nullptr); }},
        {"oapiGetVesselInterface", [] { oapiGetVesselInterface(nullptr); }},
        {"oapiGetObjectName", [&] { oapiGetObjectName(nullptr, name, 8); }},
        {"oapiGetGlobalPos", [&] { oapiGetGlobalPos(nullptr, &v); }},
        {"oapiGetGlobalVel", [&] { oapiGetGlobalVel(nullptr, &v); }},
        {"oapiGetSize", [] { oapiGetSize(nullptr); }},
        {"oapiGetMass", [] { oapiGetMass(nullptr); }},
    };
    for (const auto& c : calls) {
        host::reset();
        make("A");
        try {
            c.second();
            ADD_FAILURE() << c.first << ": no stop";
        } catch (const host::Stop& e) {
            EXPECT_EQ(e.reason, std::string(c.first) + " was given a null handle");
        }
        EXPECT_THROW(host::step(), host::Stop);
    }
}

TEST_F(Host, ClassFilesAndMeshesAreFoundWithoutRegardToCase) {
    OBJHANDLE h = make("Deep", "sub/DEEP");
    ASSERT_NE(h, nullptr);
    const host::Vessel& v = host::vessel(h);
    EXPECT_EQ(v.className, "sub/DEEP");
    EXPECT_EQ(v.size, 3.0);
    ASSERT_EQ(v.meshes.size(), 1u);
    EXPECT_NE(v.meshes[0].handle, nullptr);
    EXPECT_EQ(v.meshes[0].meshName, "PROBE");
}

}  // namespace
