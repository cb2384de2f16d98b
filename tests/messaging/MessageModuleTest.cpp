// The message module as every framework vessel loads it: queues, order and result convention.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <string>

class VESSEL;

namespace {

using SendFn = void (*)(VESSEL*, const char*, const char*);
using CheckFn = int (*)(VESSEL*, char*, char*);

class MessageModule : public testing::Test {
protected:
    void SetUp() override {
        lib = dlopen(AEROBELL_MODULE_DIR "/cvelmessage.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << dlerror();
        send = reinterpret_cast<SendFn>(dlsym(lib, "SendCMessage"));
        check = reinterpret_cast<CheckFn>(dlsym(lib, "CheckCMessage"));
        ASSERT_NE(send, nullptr);
        ASSERT_NE(check, nullptr);
    }
    void TearDown() override {
        // Leave no mail behind for the next test.
        for (VESSEL* v : {a, b, nullVessel}) {
            while (check(v, key, text) != -1) {
            }
        }
        if (lib != nullptr) dlclose(lib);
    }

    void* lib = nullptr;
    SendFn send = nullptr;
    CheckFn check = nullptr;
    VESSEL* const a = reinterpret_cast<VESSEL*>(0x1000);
    VESSEL* const b = reinterpret_cast<VESSEL*>(0x2000);
    VESSEL* const nullVessel = nullptr;
    char key[256];
    char text[2048];
};

TEST_F(MessageModule, DeliversInOrderWithTheCountConvention) {
    std::memset(key, 'k', sizeof key);
    std::memset(text, 't', sizeof text);
    EXPECT_EQ(check(a, key, text), -1);
    EXPECT_EQ(key[0], 'k') << "buffers stay untouched when nothing waits";
    EXPECT_EQ(text[0], 't');

    send(a, "PAYLOAD", "first");
    send(a, "STAGE", "second");
    send(a, "ENDSTAGE", "third");
    int rc = check(a, key, text);
    EXPECT_GE(rc, 0);
    EXPECT_STREQ(key, "PAYLOAD");
    EXPECT_STREQ(text, "first");
    rc = check(a, key, text);
    EXPECT_GE(rc, 0);
    EXPECT_STREQ(text, "second");
    rc = check(a, key, text);
    EXPECT_LT(rc, 0);
    EXPECT_NE(rc, -1) << "the last message is marked by a negative value other than -1";
    EXPECT_STREQ(key, "ENDSTAGE");
    EXPECT_STREQ(text, "third");
    EXPECT_EQ(check(a, key, text), -1);
}

TEST_F(MessageModule, KeepsOneQueuePerReceiver) {
    send(a, "K", "to a");
    send(b, "K", "to b");
    EXPECT_EQ(check(b, key, text), -2);
    EXPECT_STREQ(text, "to b");
    EXPECT_EQ(check(b, key, text), -1);
    EXPECT_EQ(check(a, key, text), -2);
    EXPECT_STREQ(text, "to a");
}

TEST_F(MessageModule, CutsKeysAndTextsToTheirBuffers) {
    const std::string longKey(300, 'K');
    const std::string longText(5000, 'T');
    key[255] = 'x';
    text[2047] = 'x';
    send(a, longKey.c_str(), longText.c_str());
    EXPECT_EQ(check(a, key, text), -2);
    EXPECT_EQ(std::string(key), longKey.substr(0, 255));
    EXPECT_EQ(std::string(text), longText.substr(0, 2047));

    send(a, "", "");
    EXPECT_EQ(check(a, key, text), -2);
    EXPECT_STREQ(key, "");
    EXPECT_STREQ(text, "");
}

TEST_F(MessageModule, ToleratesANullReceiverAndNullStrings) {
    send(nullVessel, "PAYLOAD", "lost");
    send(a, nullptr, nullptr);
    EXPECT_EQ(check(a, key, text), -2);
    EXPECT_STREQ(key, "");
    EXPECT_STREQ(text, "");
    check(nullVessel, key, text);  // must not crash, whatever it gives
}

}  // namespace
