#pragma once

#include <string>
#include <vector>

namespace runner {

// One timed command of a flight script.
struct ScriptCommand {
    enum class Kind { Key, Thrust, Focus, Save };

    double time = 0.0;  // seconds of simulation time from the start of the run
    Kind kind = Kind::Key;
    int line = 0;  // line in the script, for messages

    int keyCode = 0;        // Key: the simulator's key code
    std::string keyName;    // Key: as the user wrote it, upper-cased
    int groupType = 0;      // Thrust: thruster group type
    std::string groupName;  // Thrust: as written, upper-cased
    double level = 0.0;     // Thrust: 0..1
    std::string name;       // Focus: vessel name
    std::string path;       // Save: absolute file name
    std::string shownPath;  // Save: as written
};

struct FlightScript {
    std::string file;                     // the script's name in messages
    std::string path;                     // the file read, absolute; empty for a text given as such
    std::vector<ScriptCommand> commands;  // in the order they run (by time, then by line)

    // The time of the last command, or 0 without commands.
    double lastTime() const;
};

// Reads a flight script: one command a line, `TIME COMMAND ARGS`, `#` starts a comment.
// File names in `save` commands are taken relative to `baseDir`. Throws InputError naming the
// file and line for anything it cannot read.
// Messages name the file as `displayName` (what the user typed), or as `file` when that is empty.
FlightScript parseFlightScript(const std::string& file, const std::string& baseDir,
                               const std::string& displayName = "");
FlightScript parseFlightScriptText(const std::string& text, const std::string& file,
                                   const std::string& baseDir);

// Key codes by name ("K", "J", "SPACE", ...); -1 when the name is unknown.
int keyCodeByName(const std::string& name);
// The name of a key code ("K"), or "key code N" when it has none.
std::string keyNameByCode(int code);
// Thruster group types by name ("RETRO", "MAIN", "ATT_PITCHUP" or "PITCHUP", ...); -1 if unknown.
int groupTypeByName(const std::string& name);
std::string groupNameByType(int type);

// A number as the whole of `word`, finite; false when `word` is anything else.
bool parseNumber(const std::string& word, double& value);

}  // namespace runner
