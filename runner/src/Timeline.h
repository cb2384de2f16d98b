#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace runner {

// The state of one vessel at one moment of a flight.
struct Sample {
    double massKg = 0.0;
    double emptyMassKg = 0.0;
    double propellantKg = 0.0;  // all the vessel's propellant
    // The tank of the retro motor: the resource its group draws on, or before the group exists
    // the default resource of a vessel run by a module; empty for other vessels.
    std::optional<double> retroPropellantKg;
    std::optional<double> deployState;  // state of the vessel's first animation, if it has one
    double retroLevel = 0.0;            // level of the retro thruster group, 0 without one
    double speedMps = 0.0;
    // Over the vessel's body (zero where the host knows none): the simulator's readings.
    double altitudeM = 0.0, airspeedMps = 0.0, dynPressurePa = 0.0, mach = 0.0, gLoad = 0.0;
    std::optional<double> reentryLevel;  // of its first re-entry stream, if it has one
    bool landed = false;
    double longitudeDeg = 0.0, latitudeDeg = 0.0;

    bool operator==(const Sample& o) const {
        return massKg == o.massKg && emptyMassKg == o.emptyMassKg &&
               propellantKg == o.propellantKg && retroPropellantKg == o.retroPropellantKg &&
               deployState == o.deployState && retroLevel == o.retroLevel &&
               speedMps == o.speedMps && altitudeM == o.altitudeM && airspeedMps == o.airspeedMps &&
               dynPressurePa == o.dynPressurePa && mach == o.mach && gLoad == o.gLoad &&
               reentryLevel == o.reentryLevel && landed == o.landed &&
               longitudeDeg == o.longitudeDeg && latitudeDeg == o.latitudeDeg;
    }
};

// The timeline file: one row per sample with exactly these columns.
extern const char* const kTimelineHeader;
// Most timelines stay below this; one that would be larger is asked for again.
constexpr double kTimelineBytesLimit = 4e9;
// About how many bytes a timeline of these rows takes (a few digits a column).
double timelineBytes(double rows);

// What a timeline remembers of one vessel between rows: a vessel whose readings have not changed
// since its last row gets the same text again without formatting a number.
struct TimelineRowCache {
    std::optional<Sample> last;
    std::string text;  // the row after the time column, line end included
};

// Writes the timeline row by row as the flight goes, so that a flight of any length keeps none
// of it in memory.
class TimelineWriter {
public:
    // Creates (or empties) the file and writes the header; throws InputError with the reason.
    explicit TimelineWriter(const std::string& file);
    ~TimelineWriter();
    TimelineWriter(const TimelineWriter&) = delete;
    TimelineWriter& operator=(const TimelineWriter&) = delete;

    // Rows that follow are at `time`.
    void startRows(double time);
    // `csvName`: the vessel's name as a CSV field (see csvField).
    void row(const std::string& csvName, const Sample& s, TimelineRowCache& cache);
    // Writes out what is buffered and closes the file; throws InputError with the reason.
    void finish();

    const std::string& file() const { return file_; }

private:
    void put(const char* text, std::size_t n);
    void flushBuffer();

    std::string file_;
    std::FILE* f_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    char time_[40] = {};
    std::size_t timeLength_ = 0;
    int error_ = 0;  // errno of the first failed write
};

}  // namespace runner
