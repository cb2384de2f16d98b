// A world for framework tests: a simulation root of its own with a carrier class whose module is
// an in-process test subclass of the framework, a module-less payload class and one mesh.
#ifndef TESTS_FRAMEWORK_WORLD_H
#define TESTS_FRAMEWORK_WORLD_H

#include "CommonVesselEx.h"

#include <host/Host.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

// The framework as a plain carrier: items come from scenario lines and messages, OnMessage is
// recorded, and every step polls.
class TestCarrier final : public COMMON_VESSEL_EX {
public:
    explicit TestCarrier(OBJHANDLE h) : COMMON_VESSEL_EX(h) {}

    void OnMessage(const char* key, const char* text) override;
    void clbkSaveState(FILEHANDLE scn) override;
    void clbkLoadStateEx(FILEHANDLE scn, void* status) override;
    void clbkPostStep(double simt, double simdt, double mjd) override;

    // The list reset to a base mesh of the given handle, then rebuilt.
    void ResetAndRebuild(MESHHANDLE base);

    std::vector<std::pair<std::string, std::string>> received;
    bool throwOnMessage = false;
    int pollsWithMail = 0;
};

class FrameworkWorld : public testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Roots: with the real message module, and with a scripted stand-in.
    static std::string root;
    static std::string rootWithScriptedMessages;

    static TestCarrier& carrier(OBJHANDLE h);
    TestCarrier& makeCarrier(const std::string& name, const VESSELSTATUS& status);
    TestCarrier& makeCarrier(const std::string& name) {
        return makeCarrier(name, host::defaultStatus());
    }
    // Feeds lines to the carrier as the scenario reader would.
    static void feed(TestCarrier& c, const std::vector<std::string>& lines);
};

#endif  // TESTS_FRAMEWORK_WORLD_H
