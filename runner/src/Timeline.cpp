#include "Timeline.h"

#include "InputError.h"

#include <cstdio>
#include <fstream>

namespace runner {

const char* const kTimelineHeader =
    "time,vessel,mass_kg,empty_mass_kg,propellant_kg,deploy_state,retro_level,speed_mps";

namespace {

std::string num(double v, const char* format = "%.6g") {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

// Vessel names may hold anything but white space; a comma or quote would break the column count.
std::string csvField(const std::string& s) {
    if (s.find_first_of(",\"") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace

void writeTimelineCsv(const std::string& file, const std::vector<Sample>& samples) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) throw InputError(file + ": cannot write the timeline");
    out << kTimelineHeader << '\n';
    for (const Sample& s : samples) {
        out << num(s.time, "%.3f") << ',' << csvField(s.vessel) << ',' << num(s.massKg, "%.3f")
            << ',' << num(s.emptyMassKg, "%.3f") << ',' << num(s.propellantKg, "%.4f") << ','
            << (s.deployState ? num(*s.deployState, "%.4f") : std::string()) << ','
            << num(s.retroLevel, "%.3f") << ',' << num(s.speedMps, "%.4f") << '\n';
    }
    if (!out) throw InputError(file + ": cannot write the timeline");
}

}  // namespace runner
