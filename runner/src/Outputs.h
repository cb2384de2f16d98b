#pragma once

#include <string>
#include <vector>

namespace runner {

// A file a run will write.
struct OutputFile {
    enum Kind { kScenario, kTimeline, kPlot } kind = kScenario;
    std::string path;   // absolute
    std::string shown;  // as the user wrote it
    std::string
        label;  // what a message about it starts with: "--save x.scn", "f.flight:4: save x.scn"
};

// Why no new file can be made in `folder` (named `shown` in the message), or "" when one can.
std::string whyNotWritable(const std::string& folder, const std::string& shown);

// Makes sure, before anything flies, that the run can write every file it is asked to: its
// folder exists and takes new files, it is not a folder itself, it is writable where it exists
// already, it is none of the `inputs`, and no two outputs are one file (scenario saves excepted:
// each replaces the one before, as a quicksave does). A plot must be a file the runner can draw
// (SVG). Throws InputError for the first that fails, with the operating system's reason.
void checkOutputs(const std::vector<OutputFile>& outputs, const std::vector<std::string>& inputs);

}  // namespace runner
