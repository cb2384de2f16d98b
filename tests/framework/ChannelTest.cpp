// The framework's side of the message channel against a scripted message module.
#include "FrameworkWorld.h"

#include <dlfcn.h>

#include <cstring>

namespace {

class Channel : public FrameworkWorld {
protected:
    void SetUp() override {
        host::setRoot(rootWithScriptedMessages);
        host::reset();
        lib = dlopen((rootWithScriptedMessages + "/Modules/cvelmessage.so").c_str(), RTLD_NOW);
        ASSERT_NE(lib, nullptr) << dlerror();
        reset = reinterpret_cast<void (*)()>(dlsym(lib, "ScriptReset"));
        answer = reinterpret_cast<void (*)(int, bool, const char*, const char*)>(
            dlsym(lib, "ScriptAnswer"));
        calls = reinterpret_cast<int (*)()>(dlsym(lib, "ScriptCalls"));
        ASSERT_TRUE(reset && answer && calls);
        reset();
    }
    void TearDown() override {
        FrameworkWorld::TearDown();
        if (lib != nullptr) dlclose(lib);
    }

    void* lib = nullptr;
    void (*reset)() = nullptr;
    void (*answer)(int, bool, const char*, const char*) = nullptr;
    int (*calls)() = nullptr;
};

TEST_F(Channel, LoopsWhileTheModuleAsksAgain) {
    TestCarrier& c = makeCarrier("C");
    reset();  // its construction asked once, to discard mail left for the address
    answer(0, true, "NOTE", "one");
    answer(-1, false, "", "");
    EXPECT_TRUE(c.PollMessages());
    EXPECT_EQ(calls(), 2);
    ASSERT_EQ(c.received.size(), 1u);
    EXPECT_EQ(c.received[0].second, "one");
}

TEST_F(Channel, StopsAfterTheLastMessage) {
    TestCarrier& c = makeCarrier("C");
    reset();
    answer(-2, true, "NOTE", "last");
    answer(0, true, "NOTE", "never asked for");
    EXPECT_TRUE(c.PollMessages());
    EXPECT_EQ(calls(), 1);
    ASSERT_EQ(c.received.size(), 1u);
}

// Mail waiting for a vessel's address before the vessel exists was sent to one that lived there
// before and was deleted unread (the module knows receivers by address only): the new vessel
// takes none of it.
TEST_F(Channel, MailWaitingBeforeTheVesselExistsIsNotItsOwn) {
    answer(0, true, "PAYLOAD", "PAYLOAD Old box Probe 0 0 1 5 0 0");
    answer(-2, true, "NOTE", "for the vessel that lived here before");
    TestCarrier& c = makeCarrier("C");
    EXPECT_FALSE(c.PollMessages());
    EXPECT_FALSE(c.Item(0).present);
    EXPECT_TRUE(c.received.empty());
}

TEST_F(Channel, NoMessageAndEmptyTextsAreNotHandled) {
    TestCarrier& c = makeCarrier("C");
    answer(-1, true, "NOTE", "left in the buffer");
    EXPECT_FALSE(c.PollMessages());
    answer(0, true, "PAYLOAD", "");
    answer(-2, true, "NOTE", "");
    EXPECT_FALSE(c.PollMessages());
    EXPECT_TRUE(c.received.empty());
    EXPECT_FALSE(c.Item(0).present);
}

TEST_F(Channel, ItemMessagesEnterTheTableAndTheLastOneIsCopiedOut) {
    TestCarrier& c = makeCarrier("C");
    answer(1, true, "STAGE", "STAGE S box TestCarrier 0 0 1 5 0 0");
    answer(0, true, "PAYLOAD", "PAYLOAD P box Probe 0 0 1 5 0 0");
    answer(-2, true, "ENDSTAGE", "ENDSTAGE");
    char key[256] = "x";
    char text[2048] = "x";
    EXPECT_TRUE(c.CheckMessages(key, text));
    EXPECT_STREQ(key, "ENDSTAGE");
    EXPECT_STREQ(text, "ENDSTAGE");
    EXPECT_EQ(c.Item(1).parent, 0);
    EXPECT_EQ(c.OpenStage(), -1);

    // With one buffer missing, messages are still handled but nothing is copied.
    answer(-2, true, "NOTE", "hello");
    std::strcpy(key, "untouched");
    EXPECT_TRUE(c.CheckMessages(key, nullptr));
    EXPECT_STREQ(key, "untouched");
    ASSERT_EQ(c.received.size(), 1u);
}

}  // namespace
