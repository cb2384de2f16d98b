// The module's boundaries with null pointers and names in unusual forms: the simulator, the
// loader and the message module may hand over any of them, and none may crash or change state.
// The cone runs in-process here, so that its own operations can be called directly.
#include "Aerobell.h"
#include "Factory.h"
#include "ItemTableCheck.h"
#include "PrivateRoot.h"

#include <host/Host.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

using SendFn = void (*)(VESSEL*, const char*, const char*);
using CheckFn = int (*)(VESSEL*, char*, char*);

class Boundary : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = testroot::copyBuiltRoot("hardening-boundary");
        // Within reach of a cone's seat, but with no BUTT point at it.
        std::ofstream(dir_ / "Config" / "Vessels" / "Buoy.cfg")
            << "ClassName = Buoy\nSize = 5\nMass = 10\nBEGIN_ATTACHMENT\n"
               "P 0 0 0  0 0 1  0 1 0  HOOK\nEND_ATTACHMENT\n";
        std::ofstream(dir_ / "Config" / "Vessels" / "FarSuit.cfg")
            << "ClassName = FarSuit\nSize = 5\nMass = 10\nBEGIN_ATTACHMENT\n"
               "P 0 0 3  0 0 1  0 1 0  BUTT\nEND_ATTACHMENT\n";
        host::setRoot(dir_.string());
        host::registerModule("Aerobell", CreateAerobellVessel, DestroyAerobellVessel);
    }
    static void TearDownTestSuite() { testroot::removeRoot(dir_); }
    void SetUp() override { host::reset(); }
    void TearDown() override { host::reset(); }

    static AEROBELL& makeCone(const char* name) {
        const OBJHANDLE h = host::createVessel(name, "AEROBELL", host::defaultStatus());
        if (h == nullptr) throw std::runtime_error("no cone");
        return *static_cast<AEROBELL*>(static_cast<VESSEL3*>(host::vessel(h).iface));
    }
    static std::string savedText(OBJHANDLE h) {
        std::string text;
        for (const std::string& l : host::saveVesselState(h)) text += l + "\n";
        return text;
    }

    static inline fs::path dir_;
};

TEST_F(Boundary, TheLoaderTakesModuleNamesInEveryForm) {
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    EXPECT_EQ(LoadLibraryA("Modules\\nothing"), nullptr);
    EXPECT_EQ(GetProcAddress(nullptr, "SendCMessage"), nullptr);
    EXPECT_EQ(FreeLibrary(nullptr), 0);

    const std::string absolute = (dir_ / "Modules" / "cvelmessage.so").string();
    // With and without the suffix, relative and absolute, through a folder with a dot.
    for (const std::string& name :
         {std::string("Modules\\cvelmessage"), std::string("Modules/cvelmessage.so"),
          std::string("./Modules/cvelmessage"), absolute}) {
        const HMODULE h = LoadLibraryA(name.c_str());
        ASSERT_NE(h, nullptr) << name;
        EXPECT_NE(GetProcAddress(h, "CheckCMessage"), nullptr) << name;
        EXPECT_EQ(GetProcAddress(h, nullptr), nullptr);
        // Absent names are asked of the loader each time, short or too long for its cache.
        EXPECT_EQ(GetProcAddress(h, "Absent"), nullptr);
        EXPECT_EQ(GetProcAddress(h, "Absent"), nullptr);
        const std::string longName(40, 'X');
        EXPECT_EQ(GetProcAddress(h, longName.c_str()), nullptr);
        EXPECT_EQ(GetProcAddress(h, longName.c_str()), nullptr);
        EXPECT_EQ(FreeLibrary(h), 1) << name;
    }
}

TEST_F(Boundary, NullTextsKeysAndBuffersChangeNothing) {
    AEROBELL& cone = makeCone("Null-1");
    const OBJHANDLE h = cone.GetHandle();
    const std::string before = savedText(h);

    cone.HandleItemText(nullptr);
    EXPECT_TRUE(cone.DispatchMessage(nullptr, nullptr));
    EXPECT_TRUE(cone.DispatchMessage("PAYLOAD", nullptr));
    cone.ParseItemLine(nullptr);
    EXPECT_EQ(cone.clbkConsumeBufferedKey(OAPI_KEY_K, true, nullptr), 0);
    EXPECT_EQ(savedText(h), before);
    EXPECT_FALSE(cone.Item(0).present);

    // The message module: null key and text arrive as empty ones, which the framework drops;
    // a poll without buffers still takes the message off the queue.
    const HMODULE lib = LoadLibraryA("Modules\\cvelmessage");
    ASSERT_NE(lib, nullptr);
    const auto send = reinterpret_cast<SendFn>(GetProcAddress(lib, "SendCMessage"));
    const auto check = reinterpret_cast<CheckFn>(GetProcAddress(lib, "CheckCMessage"));
    ASSERT_NE(send, nullptr);
    ASSERT_NE(check, nullptr);
    send(nullptr, "PAYLOAD", "PAYLOAD Lost mmu nasa_mmu 0 0 0 1 0 1");
    send(&cone, nullptr, nullptr);
    EXPECT_FALSE(cone.PollMessages());
    send(&cone, "PAYLOAD", "PAYLOAD Kept mmu nasa_mmu 0 0 0 1 0 1");
    EXPECT_EQ(check(&cone, nullptr, nullptr), -2);
    EXPECT_EQ(check(&cone, nullptr, nullptr), -1);
    EXPECT_FALSE(cone.PollMessages());
    EXPECT_EQ(savedText(h), before);
    FreeLibrary(lib);

    DestroyAerobellVessel(nullptr);
}

TEST_F(Boundary, EveryKindOfWhiteSpaceSeparatesAndLeadsAlike) {
    AEROBELL& cone = makeCone("White-1");
    cone.DispatchMessage("PAYLOAD", "\t\n\v\f\r PAYLOAD A\vmmu\fnasa_mmu\r0\n0\t1 2 3 0.5");
    cone.HandleItemText("\v\f\r\nSTAGE S Aerobell AEROBELL 0 0 -1 10 0 1");
    cone.HandleItemText("\fENDSTAGE");
    ASSERT_TRUE(cone.Item(0).present);
    EXPECT_STREQ(cone.Item(0).name, "A");
    EXPECT_EQ(cone.Item(0).mesh.fileName, "mmu");
    EXPECT_STREQ(cone.Item(0).className, "nasa_mmu");
    EXPECT_EQ(cone.Item(0).mesh.offset.z, 1.0);
    EXPECT_EQ(cone.Item(0).fuel, 0.5);
    ASSERT_TRUE(cone.Item(1).present);
    EXPECT_EQ(cone.Item(1).kind, StageSlot::kStage);
    EXPECT_EQ(cone.OpenStage(), -1);
}

TEST_F(Boundary, AFullTablesNestLeavesWholeAndArrivesWhole) {
    AEROBELL& cone = makeCone("Full-1");
    cone.HandleItemText("STAGE Nest Aerobell AEROBELL 0 0 -2 100 0 1");
    for (int i = 1; i < COMMON_VESSEL_EX::kItemCount; ++i) {
        cone.HandleItemText(
            ("PAYLOAD P" + std::to_string(i) + " mmu nasa_mmu 0 0.3 -2 1 0 1").c_str());
    }
    ASSERT_TRUE(cone.Item(COMMON_VESSEL_EX::kItemCount - 1).present);

    VESSEL* const nest = cone.SeparateNextItem();
    ASSERT_NE(nest, nullptr);
    for (int i = 0; i < COMMON_VESSEL_EX::kItemCount; ++i) EXPECT_FALSE(cone.Item(i).present);
    EXPECT_EQ(cone.OpenStage(), -1);

    host::step();  // the released stage collects its contents
    const auto& received = *static_cast<AEROBELL*>(static_cast<VESSEL3*>(nest));
    EXPECT_EQ(fuzzsupport::itemTableFault(received), "");
    for (int i = 1; i < COMMON_VESSEL_EX::kItemCount; ++i) {
        ASSERT_TRUE(received.Item(i - 1).present) << i;
        EXPECT_STREQ(received.Item(i - 1).name, ("P" + std::to_string(i)).c_str());
        EXPECT_EQ(received.Item(i - 1).parent, -1);
    }
    EXPECT_EQ(received.OpenStage(), -1);
}

TEST_F(Boundary, AMessageModuleWithoutItsFunctionsLeavesTheChannelSilent) {
    const fs::path mute = fs::path(dir_.string() + "-mute");
    fs::remove_all(mute);
    fs::copy(AEROBELL_SIM_DIR, mute, fs::copy_options::recursive);
    fs::copy_file(NO_MESSAGES_MODULE, mute / "Modules" / "cvelmessage.so",
                  fs::copy_options::overwrite_existing);
    host::setRoot(mute.string());
    {
        AEROBELL& cone = makeCone("Mute-1");
        EXPECT_NE(cone.MessageLibrary(), nullptr);
        cone.SendVesselMessage(&cone, "PAYLOAD", "PAYLOAD A mmu nasa_mmu 0 0 1 1 0 1");
        EXPECT_FALSE(cone.PollMessages());
        EXPECT_FALSE(cone.Item(0).present);

        // A released stage arrives without its contents, which leave the carrier all the same.
        cone.HandleItemText("STAGE Nest Aerobell AEROBELL 0 0 -2 100 0 1");
        cone.HandleItemText("PAYLOAD Inside mmu nasa_mmu 0 0.3 -2 10 0 1");
        VESSEL* const nest = cone.SeparateNextItem();
        ASSERT_NE(nest, nullptr);
        EXPECT_FALSE(cone.Item(1).present);
        host::step();
        const auto& received = *static_cast<AEROBELL*>(static_cast<VESSEL3*>(nest));
        for (int i = 0; i < COMMON_VESSEL_EX::kItemCount; ++i)
            EXPECT_STRNE(received.Item(i).name, "Inside");
    }
    host::reset();
    host::setRoot(dir_.string());
    std::error_code ec;
    fs::remove_all(mute, ec);
}

TEST_F(Boundary, AKeyRepeatedWithinASecondActsOnce) {
    AEROBELL& cone = makeCone("Keys-1");
    host::setFocus(cone.GetHandle());
    // The first step's crew set-up enters the cone's astronaut in slot 0, before the two items.
    host::step();
    cone.HandleItemText("PAYLOAD First mmu nasa_mmu 1 0 0 10 0 1");
    cone.HandleItemText("PAYLOAD Second mmu nasa_mmu -1 0 0 10 0 1");
    ASSERT_STREQ(cone.Item(1).name, "First");
    // The simulator takes a repeat within the delay only while its clock stands still: one
    // step lies between the two presses.
    host::sendKeyEvent(OAPI_KEY_J);
    host::step();
    host::setFocus(cone.GetHandle());
    host::sendKeyEvent(OAPI_KEY_J);
    // The cone's own creation, and one release.
    ASSERT_EQ(host::records().creations.size(), 2u);
    EXPECT_EQ(host::records().creations[1].name, "Second");
    EXPECT_TRUE(cone.Item(1).present);

    // S docks the astronaut at the seat; a second S within the second does not let it go again.
    VESSELSTATUS s = host::defaultStatus();
    s.rpos = _V(0.0, -0.4, 0.2);
    ASSERT_NE(host::createVessel("Seat-1", "AerobellCrew", s), nullptr);
    host::setFocus(cone.GetHandle());
    host::sendKeyEvent(OAPI_KEY_S);
    host::step();
    host::sendKeyEvent(OAPI_KEY_S);
    ASSERT_EQ(host::records().attachments.size(), 1u);
    EXPECT_TRUE(host::records().attachments[0].attach);
}

TEST_F(Boundary, SeatDockingTakesOnlyAButtAtTheSeat) {
    AEROBELL& cone = makeCone("Dock-1");
    host::createVessel("Buoy-1", "Buoy", host::defaultStatus());
    host::createVessel("FarSuit-1", "FarSuit", host::defaultStatus());
    cone.ToggleSeatDock();
    EXPECT_TRUE(host::records().attachments.empty());

    // An astronaut whose BUTT lies at the seat is taken, past the two that are not.
    VESSELSTATUS s = host::defaultStatus();
    s.rpos = _V(0.0, -0.4, 0.2);
    const OBJHANDLE suit = host::createVessel("Suit-1", "AerobellCrew", s);
    ASSERT_NE(suit, nullptr);
    cone.ToggleSeatDock();
    ASSERT_EQ(host::records().attachments.size(), 1u);
    EXPECT_EQ(host::records().attachments[0].child, suit);
    EXPECT_EQ(fuzzsupport::itemTableFault(cone), "");
}

}  // namespace
