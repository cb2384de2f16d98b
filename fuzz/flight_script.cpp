// Flight scripts through the runner's parser: a script is either read whole or refused with
// one line that names the file and line; what is read is in time order and within range.
#include "FlightScript.h"
#include "InputError.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "FAULT: %s\n", what.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) return -1;
    const std::string text(reinterpret_cast<const char*>(data), size);
    runner::FlightScript script;
    try {
        script = runner::parseFlightScriptText(text, "fuzz.flight", "/tmp/flights");
    } catch (const runner::InputError& e) {
        const std::string message = e.what();
        if (message.rfind("fuzz.flight:", 0) != 0) fail("an error that names no file: " + message);
        if (message.find('\n') != std::string::npos) fail("an error of several lines: " + message);
        return 0;
    }
    double last = 0.0;
    for (const runner::ScriptCommand& c : script.commands) {
        if (!std::isfinite(c.time) || c.time < 0.0 || c.time < last)
            fail("commands out of time order");
        last = c.time;
        using K = runner::ScriptCommand::Kind;
        if (c.kind == K::Key && (c.keyCode < 0 || c.keyCode > 255)) fail("a bad key code");
        if (c.kind == K::Thrust && !(c.level >= 0.0 && c.level <= 1.0)) fail("a bad level");
        if (c.kind == K::Save && (c.path.empty() || c.path[0] != '/'))
            fail("a save path that is not absolute: " + c.path);
        if (c.kind == K::Focus && c.name.empty()) fail("a focus without a name");
    }
    if (script.lastTime() != last) fail("lastTime is not the time of the last command");
    return 0;
}
