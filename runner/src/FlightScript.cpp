#include "FlightScript.h"

#include "InputError.h"
#include "Paths.h"
#include "Text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

namespace runner {

namespace {

struct NamedCode {
    const char* name;
    int code;
};

// The simulator's key names and codes (scan codes of a US keyboard), all of them.
const NamedCode kKeys[] = {
    {"ESCAPE", 0x01},   {"1", 0x02},        {"2", 0x03},           {"3", 0x04},
    {"4", 0x05},        {"5", 0x06},        {"6", 0x07},           {"7", 0x08},
    {"8", 0x09},        {"9", 0x0A},        {"0", 0x0B},           {"MINUS", 0x0C},
    {"EQUALS", 0x0D},   {"BACK", 0x0E},     {"TAB", 0x0F},         {"Q", 0x10},
    {"W", 0x11},        {"E", 0x12},        {"R", 0x13},           {"T", 0x14},
    {"Y", 0x15},        {"U", 0x16},        {"I", 0x17},           {"O", 0x18},
    {"P", 0x19},        {"LBRACKET", 0x1A}, {"RBRACKET", 0x1B},    {"RETURN", 0x1C},
    {"LCONTROL", 0x1D}, {"A", 0x1E},        {"S", 0x1F},           {"D", 0x20},
    {"F", 0x21},        {"G", 0x22},        {"H", 0x23},           {"J", 0x24},
    {"K", 0x25},        {"L", 0x26},        {"SEMICOLON", 0x27},   {"APOSTROPHE", 0x28},
    {"GRAVE", 0x29},    {"LSHIFT", 0x2A},   {"BACKSLASH", 0x2B},   {"Z", 0x2C},
    {"X", 0x2D},        {"C", 0x2E},        {"V", 0x2F},           {"B", 0x30},
    {"N", 0x31},        {"M", 0x32},        {"COMMA", 0x33},       {"PERIOD", 0x34},
    {"SLASH", 0x35},    {"RSHIFT", 0x36},   {"MULTIPLY", 0x37},    {"LALT", 0x38},
    {"SPACE", 0x39},    {"CAPITAL", 0x3A},  {"F1", 0x3B},          {"F2", 0x3C},
    {"F3", 0x3D},       {"F4", 0x3E},       {"F5", 0x3F},          {"F6", 0x40},
    {"F7", 0x41},       {"F8", 0x42},       {"F9", 0x43},          {"F10", 0x44},
    {"NUMLOCK", 0x45},  {"SCROLL", 0x46},   {"NUMPAD7", 0x47},     {"NUMPAD8", 0x48},
    {"NUMPAD9", 0x49},  {"SUBTRACT", 0x4A}, {"NUMPAD4", 0x4B},     {"NUMPAD5", 0x4C},
    {"NUMPAD6", 0x4D},  {"ADD", 0x4E},      {"NUMPAD1", 0x4F},     {"NUMPAD2", 0x50},
    {"NUMPAD3", 0x51},  {"NUMPAD0", 0x52},  {"DECIMAL", 0x53},     {"OEM_102", 0x56},
    {"F11", 0x57},      {"F12", 0x58},      {"NUMPADENTER", 0x9C}, {"RCONTROL", 0x9D},
    {"DIVIDE", 0xB5},   {"SYSRQ", 0xB7},    {"RALT", 0xB8},        {"PAUSE", 0xC5},
    {"HOME", 0xC7},     {"UP", 0xC8},       {"PRIOR", 0xC9},       {"LEFT", 0xCB},
    {"RIGHT", 0xCD},    {"END", 0xCF},      {"DOWN", 0xD0},        {"NEXT", 0xD1},
    {"INSERT", 0xD2},   {"DELETE", 0xD3},
};

// The simulator's thruster group types, in the order of their numbers.
const char* const kGroups[] = {
    "MAIN",        "RETRO",        "HOVER",        "ATT_PITCHUP",   "ATT_PITCHDOWN",
    "ATT_YAWLEFT", "ATT_YAWRIGHT", "ATT_BANKLEFT", "ATT_BANKRIGHT", "ATT_RIGHT",
    "ATT_LEFT",    "ATT_UP",       "ATT_DOWN",     "ATT_FORWARD",   "ATT_BACK",
};

}  // namespace

bool parseNumber(const std::string& word, double& value) {
    if (word.empty()) return false;
    const char* begin = word.c_str();
    char* end = nullptr;
    double v = std::strtod(begin, &end);
    if (end != begin + word.size() || !std::isfinite(v)) return false;
    value = v;
    return true;
}

int keyCodeByName(const std::string& name) {
    const std::string u = upper(name);
    for (const NamedCode& k : kKeys)
        if (u == k.name) return k.code;
    return -1;
}

std::string keyNameByCode(int code) {
    for (const NamedCode& k : kKeys)
        if (k.code == code) return k.name;
    return "key code " + std::to_string(code);
}

int groupTypeByName(const std::string& name) {
    const std::string u = upper(name);
    for (int i = 0; i < static_cast<int>(std::size(kGroups)); ++i) {
        const std::string g = kGroups[i];
        if (u == g || (g.rfind("ATT_", 0) == 0 && u == g.substr(4))) return i;
    }
    return -1;
}

std::string groupNameByType(int type) {
    if (type >= 0 && type < static_cast<int>(std::size(kGroups))) return kGroups[type];
    return "GROUP" + std::to_string(type);
}

double FlightScript::lastTime() const {
    double t = 0.0;
    for (const ScriptCommand& c : commands) t = std::max(t, c.time);
    return t;
}

FlightScript parseFlightScriptText(const std::string& text, const std::string& file,
                                   const std::string& baseDir) {
    FlightScript script;
    script.file = file;
    std::istringstream in(text);
    std::string raw;
    int lineNo = 0;
    while (std::getline(in, raw)) {
        ++lineNo;
        // A byte-order mark that an editor put in front of the first line is no part of it.
        if (lineNo == 1 && raw.rfind("\xEF\xBB\xBF", 0) == 0) raw.erase(0, 3);
        // '#' starts a comment, and so does ';' as in the simulator's own files.
        const std::string line = raw.substr(0, raw.find_first_of("#;"));
        const std::vector<std::string> w = words(line);
        if (w.empty()) continue;
        auto fail = [&](const std::string& message) { throw InputError(file, lineNo, message); };

        ScriptCommand cmd;
        cmd.line = lineNo;
        if (!parseNumber(w[0], cmd.time) || cmd.time < 0.0)
            fail("bad time '" + w[0] + "' (expected seconds, 0 or more)");
        if (w.size() < 2) fail("missing command after the time");
        const std::string verb = upper(w[1]);
        const std::size_t nargs = w.size() - 2;
        auto wantArgs = [&](std::size_t n, const char* usage) {
            if (nargs != n) fail(std::string("'") + w[1] + "' takes " + usage);
        };

        if (verb == "KEY") {
            wantArgs(1, "one key name, e.g. 'key K'");
            cmd.kind = ScriptCommand::Kind::Key;
            cmd.keyName = upper(w[2]);
            cmd.keyCode = keyCodeByName(w[2]);
            if (cmd.keyCode < 0) fail("unknown key '" + w[2] + "'");
        } else if (verb == "THRUST") {
            wantArgs(2, "a group and a level, e.g. 'thrust RETRO 1.0'");
            cmd.kind = ScriptCommand::Kind::Thrust;
            cmd.groupName = upper(w[2]);
            cmd.groupType = groupTypeByName(w[2]);
            if (cmd.groupType < 0) fail("unknown thruster group '" + w[2] + "'");
            if (!parseNumber(w[3], cmd.level) || cmd.level < 0.0 || cmd.level > 1.0)
                fail("bad thrust level '" + w[3] + "' (expected a number from 0 to 1)");
        } else if (verb == "FOCUS") {
            wantArgs(1, "one vessel name");
            cmd.kind = ScriptCommand::Kind::Focus;
            cmd.name = w[2];
        } else if (verb == "SAVE") {
            wantArgs(1, "one file name");
            cmd.kind = ScriptCommand::Kind::Save;
            cmd.path = absoluteFrom(baseDir, w[2]);
            cmd.shownPath = w[2];
        } else {
            fail("unknown command '" + w[1] + "' (expected key, thrust, focus or save)");
        }
        script.commands.push_back(std::move(cmd));
    }
    std::stable_sort(
        script.commands.begin(), script.commands.end(),
        [](const ScriptCommand& a, const ScriptCommand& b) { return a.time < b.time; });
    return script;
}

FlightScript parseFlightScript(const std::string& file, const std::string& baseDir,
                               const std::string& displayName) {
    const std::string name = displayName.empty() ? file : displayName;
    std::ifstream in(file, std::ios::binary);
    if (!in) throw InputError(name + ": cannot read the flight script: " + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    FlightScript script = parseFlightScriptText(text.str(), name, baseDir);
    script.path = file;
    return script;
}

}  // namespace runner
