#include "Flight.h"

#include "InputError.h"
#include "ConeItems.h"
#include "Messages.h"
#include "Outputs.h"
#include "Plot.h"
#include "Progress.h"
#include "Readings.h"
#include "Text.h"
#include "Timeline.h"

#include <host/Host.h>

#include <signal.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <ostream>
#include <unordered_map>
#include <vector>

namespace runner {

namespace {

// Step times are whole multiples of the step length, so a command time typed as 0.3 may sit a
// rounding error above the step meant to reach it.
bool reached(double stepTime, double commandTime) {
    return stepTime >= commandTime - 1e-9 * std::max(1.0, std::fabs(commandTime));
}

std::string fmt(const char* format, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

// Where a vessel stands on its body, in degrees east and north.
std::string placeText(const host::Vessel& v) {
    const double lng = v.readings.longitude * DEG, lat = v.readings.latitude * DEG;
    return fmt("%.4f", std::fabs(lng)) + (lng < 0 ? " W, " : " E, ") + fmt("%.4f", std::fabs(lat)) +
           (lat < 0 ? " S" : " N");
}

int itemCount(const host::Vessel& v) {
    return readSavedItems(host::saveVesselState(const_cast<host::Vessel*>(&v))).count();
}

// Watches the host during a flight: prints events as they happen, and at the end of every step
// looks at every vessel for what no listener call announces and feeds the timeline and the plot.
// What it keeps is a fixed amount per vessel, however long the flight.
class FlightLog : public host::Listener {
public:
    FlightLog(std::ostream& out, Progress& progress, TimelineWriter* timeline, PlotRecorder* plot,
              double sampleInterval)
        : out_(out),
          progress_(progress),
          timeline_(timeline),
          plot_(plot),
          sampleInterval_(sampleInterval) {}

    void event(double time, const std::string& vessel, const std::string& what) {
        nameWidth_ = std::max(nameWidth_, vessel.size());
        char head[64];
        std::snprintf(head, sizeof head, "%8.2f  ", time);
        const std::string line =
            head + vessel + std::string(nameWidth_ - vessel.size() + 2, ' ') + what;
        if (holding_) {
            held_.push_back(line);
            if (plot_) markOnPlot(time, vessel, what);
            return;
        }
        progress_.clear();
        out_ << line << '\n';
        printed_ = true;
        if (plot_) markOnPlot(time, vessel, what);
    }
    void event(const std::string& vessel, const std::string& what) {
        event(host::simTime(), vessel, what);
    }

    // The host reports a key event after the vessel has acted on it; what the key caused is held
    // back until then, so the key comes first in the log.
    void holdForKey() {
        ++keysDue_;
        holding_ = true;
    }
    void releaseHeld() {
        keysDue_ = 0;
        holding_ = false;
        printHeld();
    }

    // The simulator's log lines and the vessels flying without their module are events too,
    // unless the user asked for quiet.
    void setQuiet(bool quiet) { quiet_ = quiet; }

    void start() {
        for (const host::Vessel* v : host::vessels())
            nameWidth_ = std::max(nameWidth_, v->name.size());
        printLogLines();
        for (const host::Vessel* v : host::vessels()) noteMissingModule(*v);
        // The focus vessel is the first line of the plot.
        if (const OBJHANDLE f = host::focus()) {
            for (const host::Vessel* v : host::vessels())
                if (v == f) watched(v);
        }
        observe(host::simTime(), true);
    }

    // The peaks of a vessel's flight so far and where it came down; false for a vessel never
    // seen or without a body.
    struct FlightPeaks {
        double gLoad = 0.0, gLoadTime = 0.0, dynPressure = 0.0, dynPressureTime = 0.0;
        bool touchedDown = false;
        double touchdownTime = 0.0;
    };
    bool peaksOf(const host::Vessel* v, FlightPeaks& out) const {
        auto it = index_.find(v);
        if (it == index_.end() || !v->readings.hasBody) return false;
        out = watched_[it->second].peaks;
        return true;
    }

    void onVesselCreated(OBJHANDLE h, const host::CreationRecord& rec) override {
        if (!h) {
            event("-", "refused to create " + rec.name + " (" + rec.className + ")");
            return;
        }
        event(rec.name, "vessel created by separation (class " + rec.className + ")");
        printLogLines();
        noteMissingModule(host::vessel(h));
    }
    void onVesselDeleted(OBJHANDLE h) override { event(nameOf(h), "vessel deleted"); }
    void onFocusChanged(OBJHANDLE from, OBJHANDLE to) override {
        event(to ? nameOf(to) : "-", "takes the focus" + (from ? " from " + nameOf(from) : ""));
    }
    void onAttached(const host::AttachRecord& r) override {
        event(nameOf(r.parent), "docked " + nameOf(r.child) + pointText(r.parent, r.parentPoint));
    }
    void onDetached(const host::AttachRecord& r) override {
        event(nameOf(r.parent), "released " + nameOf(r.child) + pointText(r.parent, r.parentPoint));
    }
    void onDocking(OBJHANDLE v, UINT port, OBJHANDLE mate, UINT matePort, bool docked) override {
        event(nameOf(v), "port " + std::to_string(port) +
                             (docked ? " docked to " : " undocked from ") + nameOf(mate) +
                             " (its port " + std::to_string(matePort) + ")");
    }
    void onKeyEvent(const host::KeyRecord& r) override {
        if (!r.down) return;  // a key let go is no event of the flight
        if (keysDue_ > 0) --keysDue_;
        holding_ = false;
        std::vector<std::string> effects;
        effects.swap(held_);
        event(r.vessel ? nameOf(r.vessel) : "-", "key " + keyNameByCode(static_cast<int>(r.key)) +
                                                     (r.result ? " consumed" : " not consumed"));
        held_.swap(effects);
        printHeld();
        holding_ = keysDue_ > 0;
    }
    void onThrusterGroupCreated(OBJHANDLE h, THGROUP_TYPE type) override {
        ++groupsMade_;
        if (type == THGROUP_RETRO) event(nameOf(h), "retro motor created");
    }
    void onThrusterGroupLevel(OBJHANDLE h, THGROUP_TYPE type, double level) override {
        if (type != THGROUP_RETRO && type != THGROUP_MAIN && type != THGROUP_HOVER) return;
        double& last = groupLevels_[{h, type}];
        const std::string what = type == THGROUP_RETRO ? "retro" : groupNameByType(type);
        // A level the vessel sets itself (a cone holds a fired retro motor at full) is said to
        // be its own, so that a script's level that did not hold is no surprise.
        const std::string by = scriptSetsLevel_ ? "" : " by the vessel itself";
        if (last <= 0.0 && level > 0.0)
            event(nameOf(h), what + " fired (level " + fmt("%.2f", level) + ")" + by);
        else if (last > 0.0 && level <= 0.0) event(nameOf(h), what + " shut off" + by);
        else if (last > 0.0 && level != last)
            event(nameOf(h),
                  what + " level " + fmt("%.2f", last) + " -> " + fmt("%.2f", level) + by);
        last = level;
    }
    // Group levels set while this lives come from a flight-script command.
    struct ScriptSetsLevel {
        FlightLog& log;
        explicit ScriptSetsLevel(FlightLog& l) : log(l) { log.scriptSetsLevel_ = true; }
        ~ScriptSetsLevel() { log.scriptSetsLevel_ = false; }
        ScriptSetsLevel(const ScriptSetsLevel&) = delete;
        ScriptSetsLevel& operator=(const ScriptSetsLevel&) = delete;
    };
    void onStepEnd(double simt) override {
        printLogLines();
        releaseHeld();
        observe(simt, false);
        // What a step printed goes out with it, not line by line.
        if (printed_) out_.flush();
        printed_ = false;
    }

private:
    // Lines the simulator's log received since the last look.
    void printLogLines() {
        const std::vector<std::string>& log = host::records().log;
        if (!quiet_)
            for (std::size_t i = logSeen_; i < log.size(); ++i) event("-", "log: " + log[i]);
        logSeen_ = log.size();
    }
    // Once per class: its module could not give the vessel an interface of its own.
    void noteMissingModule(const host::Vessel& v) {
        if (quiet_ || v.moduleMade || v.moduleName.empty()) return;
        if (!classesWithoutModule_.insert(upper(v.className)).second) return;
        event(v.name, "flies without its module " + v.moduleName + " (class " + v.className +
                          "): the simulator's plain vessel, with no behaviour of its own");
    }

    // What is remembered of a vessel from one step to the next: what every step compares, in a
    // record small enough that watching thousands of vessels stays cheap...
    struct Watched {
        static constexpr std::size_t kResources = 4;  // masses kept here; more go to Output

        const host::Vessel* vessel = nullptr;
        double emptyMass = 0.0;
        double deploy = 0.0;  // state of the first animation, where `hasDeploy`
        // Items are counted from the vessel's saved state, which is dear; they are counted again
        // only when the vessel has asked for meshes again, as every change of its items rebuilds
        // its mesh list (each item is a mesh).
        std::size_t meshCalls = 0;
        int items = -1;
        std::uint32_t resources = 0;
        bool hasDeploy = false;
        bool cone = false;  // it carries items
        bool landed = false;
        FlightPeaks peaks;
        double propellant[kResources] = {};
    };
    // ... and what only the output files need, beside it.
    struct Output {
        std::string csvName;
        int series = PlotRecorder::kOthers;
        std::vector<double> propellant;  // masses of resources past Watched::kResources
        TimelineRowCache row;
        // The vessel's RETRO group, found again when its groups may have changed: a search
        // through the groups in every sample would cost more than the rest of the sample.
        const host::ThrusterGroup* retro = nullptr;
        std::size_t groups = 0;
        unsigned groupsMade = 0;  // groupsMade_ when `retro` was found
        bool retroFound = false;
    };

    // The flight's events that the plot marks: keys, deployment done, motors fired and dry,
    // separations and releases, touchdowns.
    void markOnPlot(double time, const std::string& vessel, const std::string& what) {
        static const char* const kMarked[][2] = {
            {"key ", nullptr},
            {"deployment complete", "deployed"},
            {"retro fired", "retro fired"},
            {"retro propellant exhausted", "retro dry"},
            {"vessel created by separation", "separation"},
            {"released ", nullptr},
            {"touchdown", "touchdown"},
        };
        for (const auto& m : kMarked) {
            if (what.compare(0, std::strlen(m[0]), m[0]) != 0) continue;
            std::string label = m[1] ? m[1] : what;
            if (label.size() > 24) label = label.substr(0, 24);
            plot_->addMarker(time, vessel + ": " + label);
            return;
        }
    }

    void printHeld() {
        if (held_.empty()) return;
        progress_.clear();
        for (const std::string& line : held_) out_ << line << '\n';
        printed_ = true;
        held_.clear();
    }

    // The record of `v`, made on first sight (`isNew`).
    std::size_t watched(const host::Vessel* v, bool* isNew = nullptr) {
        auto [it, inserted] = index_.emplace(v, watched_.size());
        if (inserted) {
            Watched w;
            w.vessel = v;
            w.emptyMass = v->emptyMass;
            w.cone = isConeVessel(*v);
            watched_.push_back(w);
            Output o;
            o.csvName = csvField(v->name);
            if (plot_) o.series = plot_->seriesFor(v->name);
            outputs_.push_back(std::move(o));
        }
        if (isNew) *isNew = inserted;
        return it->second;
    }

    // Vessels are listed in the same order from step to step, so the record of the vessel at
    // each position is nearly always the one found there the step before.
    std::size_t watchedAt(std::size_t position, const host::Vessel* v, bool& isNew) {
        if (position < byPosition_.size()) {
            const std::size_t k = byPosition_[position];
            if (watched_[k].vessel == v) {
                isNew = false;
                return k;
            }
        } else {
            byPosition_.resize(position + 1);
        }
        return byPosition_[position] = watched(v, &isNew);
    }

    const host::Vessel* known(OBJHANDLE h) const {
        auto it = index_.find(static_cast<const host::Vessel*>(h));
        if (it != index_.end()) return watched_[it->second].vessel;
        for (const host::Vessel* v : host::vessels())
            if (v == h) return v;
        return nullptr;
    }

    std::string nameOf(OBJHANDLE h) const {
        if (!h) return "-";
        const host::Vessel* v = known(h);
        return v ? v->name : "?";
    }

    std::string pointText(OBJHANDLE vessel, ATTACHMENTHANDLE point) const {
        if (const host::Vessel* v = known(vessel))
            for (const auto& a : v->attachments)
                if (a.get() == point && !a->id.empty()) return " at " + a->id;
        return "";
    }

    void observe(double time, bool first) {
        bool row = false;
        if (timeline_ && (first || reached(time, nextRowTime_))) {
            row = true;
            if (first) nextRowTime_ = time;
            // Row times are whole multiples of the interval, however the steps fall, and a step
            // has one row at most: intervals that a step spans many of are skipped in one go
            // rather than counted (an interval far shorter than the step would count for ever).
            const double due =
                std::floor((time + 1e-9 * std::max(1.0, std::fabs(time))) / sampleInterval_);
            if (!(due < 1e15)) {
                nextRowTime_ = time;  // too short to count in: a row every step
            } else {
                if (due > static_cast<double>(rowsDue_) + 2.0)
                    rowsDue_ = static_cast<long>(due) - 1;
                while (reached(time, nextRowTime_)) {
                    ++rowsDue_;
                    nextRowTime_ = static_cast<double>(rowsDue_) * sampleInterval_;
                }
            }
            timeline_->startRows(time);
        }
        const std::vector<host::Vessel*>& vessels = host::vessels();
        for (std::size_t i = 0; i < vessels.size(); ++i) {
            const host::Vessel& v = *vessels[i];
            bool isNew = false;
            const std::size_t k = watchedAt(i, &v, isNew);
            watchChanges(v, watched_[k], outputs_[k], isNew || first, !first);
            if (row || plot_) {
                Output& o = outputs_[k];
                if (!o.retroFound || o.groups != v.groups.size() || o.groupsMade != groupsMade_) {
                    o.retro = findGroup(v, THGROUP_RETRO);
                    o.groups = v.groups.size();
                    o.groupsMade = groupsMade_;
                    o.retroFound = true;
                }
                const Sample s = sampleOf(v, o.retro);
                if (row) timeline_->row(o.csvName, s, o.row);
                if (plot_) plot_->add(o.series, host::stepIndex(), time, s);
            }
        }
    }

    // Changes that no listener call announces: the deployment moving on, tanks running dry, the
    // empty mass moving, items arriving by message (seen in the vessel's own saved state, as a
    // quicksave would show them). `fresh`: nothing is known of the vessel yet; `report`: say what
    // changed.
    void watchChanges(const host::Vessel& v, Watched& w, Output& o, bool fresh, bool report) {
        if (!v.animations.empty()) {
            const double state = v.animations.front()->state;
            if (!fresh && w.hasDeploy) {
                if (w.deploy <= 0.0 && state > 0.0 && state < 1.0) event(v.name, "deploying");
                if (w.deploy < 1.0 && state >= 1.0) event(v.name, "deployment complete");
            }
            w.deploy = state;
        }
        w.hasDeploy = !v.animations.empty();

        const auto& props = v.propellants;
        if (props.size() > Watched::kResources)
            o.propellant.resize(props.size() - Watched::kResources);
        const host::Propellant* retro = nullptr;
        for (std::size_t i = 0; i < props.size(); ++i) {
            double& seen =
                i < Watched::kResources ? w.propellant[i] : o.propellant[i - Watched::kResources];
            const double now = props[i]->mass;
            if (!fresh && i < w.resources && seen > 0.0 && now <= 0.0) {
                if (!retro) retro = retroPropellant(v, findGroup(v, THGROUP_RETRO));
                event(v.name, props[i].get() == retro
                                  ? std::string("retro propellant exhausted")
                                  : "propellant resource " + std::to_string(i) + " exhausted");
            }
            seen = now;
        }
        w.resources = static_cast<std::uint32_t>(props.size());

        if (w.cone && fresh && report) {
            // A vessel made in this step may have mail waiting for its first step (a released
            // stage's contents): read now, its saved state would take that in before the vessel
            // does in a flight nobody watches. It is read once its first step has begun.
            w.items = 0;
            w.meshCalls = std::numeric_limits<std::size_t>::max();
        } else if (w.cone && (fresh || v.meshCalls.size() != w.meshCalls)) {
            const int items = itemCount(v);
            const int before = fresh ? 0 : w.items;
            if (report && items > before)
                event(v.name, "received " + std::to_string(items - before) +
                                  (items - before == 1 ? " item" : " items") + " by message");
            w.items = items;
            w.meshCalls = v.meshCalls.size();
        }
        if (v.readings.hasBody) {
            FlightPeaks& p = w.peaks;
            const double t = host::simTime();
            // A peak never above zero is the one at the vessel's first sight.
            if (fresh) p.gLoadTime = p.dynPressureTime = t;
            if (v.readings.gLoad > p.gLoad) p.gLoad = v.readings.gLoad, p.gLoadTime = t;
            if (v.readings.dynPressure > p.dynPressure)
                p.dynPressure = v.readings.dynPressure, p.dynPressureTime = t;
            const bool landed = v.status == 1;
            if (!fresh && landed && !w.landed && !v.parentPoint) {
                p.touchedDown = true;
                p.touchdownTime = t;
                event(v.name, "touchdown at " + placeText(v));
            }
            w.landed = landed;
        }
        if (!fresh && v.emptyMass != w.emptyMass)
            event(v.name, "empty mass " + fmt("%.2f", w.emptyMass) + " -> " +
                              fmt("%.2f", v.emptyMass) + " kg");
        w.emptyMass = v.emptyMass;
    }

    std::ostream& out_;
    Progress& progress_;
    TimelineWriter* timeline_;
    PlotRecorder* plot_;
    double sampleInterval_;
    std::size_t nameWidth_ = 16;  // wide enough for a cone name with "-Suit"
    bool holding_ = false;
    bool printed_ = false;  // since the last flush
    int keysDue_ = 0;       // key events queued this step that the host has not reported yet
    std::vector<std::string> held_;
    std::map<std::pair<OBJHANDLE, int>, double> groupLevels_;
    bool quiet_ = false;
    std::size_t logSeen_ = 0;
    std::set<std::string> classesWithoutModule_;
    bool scriptSetsLevel_ = false;
    std::vector<Watched> watched_;
    std::vector<Output> outputs_;  // by the same index
    std::unordered_map<const host::Vessel*, std::size_t> index_;
    std::vector<std::size_t> byPosition_;
    unsigned groupsMade_ = 0;  // thruster groups made in the flight so far
    double nextRowTime_ = 0.0;
    long rowsDue_ = 0;
};

void printSummary(std::ostream& out, const FlightLog& log) {
    struct Row {
        std::string cells[7];
    };
    std::vector<Row> rows;
    rows.push_back(
        {{"vessel", "class", "mass kg", "propellant kg", "items", "attached to", "speed m/s"}});
    for (const host::Vessel* v : host::vessels()) {
        Row r;
        r.cells[0] = v->name + (host::focus() == v ? " *" : "");
        r.cells[1] = v->className;
        r.cells[2] = fmt("%.2f", v->mass());
        r.cells[3] = fmt("%.3f", propellantKg(*v));
        // At the end a look at the saved state changes nothing the flight would do.
        r.cells[4] = !v->moduleMade || !isConeVessel(*v) ? "-" : std::to_string(itemCount(*v));
        const host::Vessel* parent = parentOf(*v);
        r.cells[5] = parent ? parent->name : "-";
        r.cells[6] = fmt("%.3f", speedMps(*v));
        rows.push_back(std::move(r));
    }
    std::size_t width[7] = {};
    for (const Row& r : rows)
        for (int c = 0; c < 7; ++c) width[c] = std::max(width[c], r.cells[c].size());
    out << "\nVessels at the end (* has the focus):\n";
    std::string line;
    for (const Row& row : rows) {
        line = "  ";
        for (int c = 0; c < 7; ++c) {
            const std::string& cell = row.cells[c];
            const bool right = c >= 2 && c != 5;  // numbers line up on the right
            if (right) line.append(width[c] - cell.size(), ' ');
            line += cell;
            if (!right) line.append(width[c] - cell.size(), ' ');
            if (c < 6) line += "  ";
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        line += '\n';
        out << line;
    }
    // The flight over the body: its hardest moments and where each vessel ended.
    bool heading = false;
    for (const host::Vessel* v : host::vessels()) {
        FlightLog::FlightPeaks p;
        if (!log.peaksOf(v, p)) continue;
        if (!heading) out << "\nFlight (peaks over the run):\n";
        heading = true;
        out << "  " << v->name << ": peak g-load " << fmt("%.2f", p.gLoad) << " at "
            << fmt("%.1f", p.gLoadTime) << " s, peak dynamic pressure "
            << fmt("%.0f", p.dynPressure) << " Pa at " << fmt("%.1f", p.dynPressureTime) << " s; ";
        if (v->status == 1) out << "landed at " << placeText(*v) << "\n";
        else
            out << "flying at " << fmt("%.1f", v->readings.altitude / 1000.0) << " km over "
                << placeText(*v) << "\n";
    }
}

std::string secondsText(double s) { return fmt("%g", s); }

}  // namespace

double flightEnd(const FlightOptions& options) {
    if (options.until) return *options.until;
    if (options.script && !options.script->commands.empty())
        return options.script->lastTime() + 1.0;
    return 10.0;
}

StepPlan planSteps(double end, double dt) {
    const double steps = end / dt;
    // A millionth of a step either way is rounding, not a step.
    if (!(steps <= kMaxSteps + 1e-6))
        throw InputError("a flight to " + secondsText(end) + " s in steps of " + secondsText(dt) +
                         " s takes " + fmt("%.3g", steps) + " steps; a run takes at most " +
                         fmt("%.0f", kMaxSteps) + " (give a longer --dt or an earlier --until)");
    StepPlan plan;
    plan.wholeSteps = static_cast<long>(std::floor(steps + 1e-6));
    const double rest = end - static_cast<double>(plan.wholeSteps) * dt;
    if (rest > 1e-6 * dt) plan.lastStep = rest;
    return plan;
}

namespace {

std::string shownAs(const std::string& path, const std::string& as) {
    return as.empty() ? path : as;
}

// Everything the run will write, checked before anything flies; warns of script commands past
// the end.
void checkFlightOutputs(const FlightOptions& options, double end, Warnings& warnings) {
    std::vector<OutputFile> outputs;
    std::vector<std::string> inputs = {options.scenario};
    if (options.script) {
        const FlightScript& script = *options.script;
        if (!script.path.empty()) inputs.push_back(script.path);
        for (const ScriptCommand& c : script.commands) {
            const std::string where = script.file + ":" + std::to_string(c.line) + ": ";
            if (!reached(end, c.time))
                warnings.warn(where + "the command at " + secondsText(c.time) +
                                  " s comes after the end of the flight at " + secondsText(end) +
                                  " s",
                              "it never runs");
            if (c.kind == ScriptCommand::Kind::Save)
                outputs.push_back(
                    {OutputFile::kScenario, c.path, c.shownPath, where + "save " + c.shownPath});
        }
    }
    if (!options.save.empty())
        outputs.push_back({OutputFile::kScenario, options.save,
                           shownAs(options.save, options.saveShown),
                           "--save " + shownAs(options.save, options.saveShown)});
    if (!options.timeline.empty())
        outputs.push_back({OutputFile::kTimeline, options.timeline,
                           shownAs(options.timeline, options.timelineShown),
                           "--timeline " + shownAs(options.timeline, options.timelineShown)});
    if (!options.plot.empty())
        outputs.push_back({OutputFile::kPlot, options.plot,
                           shownAs(options.plot, options.plotShown),
                           "--plot " + shownAs(options.plot, options.plotShown)});
    checkOutputs(outputs, inputs);
}

// A timeline that would fill a disk is refused before the first step, with its numbers.
void checkTimelineSize(const FlightOptions& options, double end) {
    if (options.timeline.empty()) return;
    const double vessels = static_cast<double>(std::max<std::size_t>(1, host::vessels().size()));
    // A row at most every step, however short the sample interval.
    const double interval = std::max(options.sampleInterval, options.dt);
    const double rows = (std::floor(end / interval) + 1.0) * vessels;
    const double bytes = timelineBytes(rows);
    if (bytes <= kTimelineBytesLimit) return;
    char size[64];
    std::snprintf(size, sizeof size, "about %.0f GB (%.3g rows for %.0f vessel%s)", bytes / 1e9,
                  rows, vessels, vessels == 1.0 ? "" : "s");
    throw InputError("--timeline " + shownAs(options.timeline, options.timelineShown) +
                     ": a flight to " + secondsText(end) + " s with a row every " +
                     secondsText(options.sampleInterval) + " s would write " + size +
                     ", more than the " + fmt("%.0f", kTimelineBytesLimit / 1e9) +
                     " GB a timeline may take; give a longer --sample or a shorter --until");
}

void printFlightHeader(std::ostream& out, const FlightOptions& options, double end,
                       const StepPlan& plan) {
    out << "Flying " << options.scenario << '\n';
    for (const std::string& d : host::scenario().description) out << "  | " << d << '\n';
    out << "  "
        << (options.script ? "script " + options.script->file : std::string("no flight script"))
        << (options.ownScript ? " (the scenario's own; --no-script flies without it)" : "")
        << ", step " << options.dt << " s, until " << end << " s";
    if (plan.lastStep > 0.0 && plan.wholeSteps == 0)
        out << " (a single step of " << secondsText(plan.lastStep) << " s)";
    else if (plan.lastStep > 0.0) out << " (the last step " << secondsText(plan.lastStep) << " s)";
    out << "\n\n";
}

// One flight-script command at step time t; where names its line. A command that cannot apply
// is skipped with a warning.
void runCommand(const ScriptCommand& c, double t, const std::string& where, FlightLog& log,
                Warnings& warnings) {
    const std::string at = " at " + fmt("%.2f", t) + " s";
    const char* const skipped = "command skipped";
    switch (c.kind) {
        case ScriptCommand::Kind::Key:
            host::pressKey(c.keyCode);
            log.holdForKey();
            break;
        case ScriptCommand::Kind::Thrust: {
            const OBJHANDLE f = host::focus();
            if (!f) {
                warnings.warn(where + "thrust: no vessel has the focus" + at, skipped);
                break;
            }
            const host::Vessel& v = host::vessel(f);
            const auto type = static_cast<THGROUP_TYPE>(c.groupType);
            if (!findGroup(v, type)) {
                warnings.warn(
                    where + "thrust: " + v.name + " has no " + c.groupName + " thruster group" + at,
                    skipped);
                break;
            }
            const FlightLog::ScriptSetsLevel byScript(log);
            v.iface->SetThrusterGroupLevel(type, c.level);
            break;
        }
        case ScriptCommand::Kind::Focus: {
            const OBJHANDLE h = host::find(c.name);
            if (!h) {
                warnings.warn(where + "focus: no vessel named '" + c.name + "'" + at, skipped);
                break;
            }
            host::setFocus(h);
            break;
        }
        case ScriptCommand::Kind::Save:
            try {
                host::saveScenario(c.path);
            } catch (const host::Error& e) {
                throw InputError(where + "save " + c.shownPath + ": " + e.message);
            }
            log.event(t, "-", "saved " + c.path);
            break;
    }
}

// Flight-script commands run in the step whose time reaches them. Nothing is thrown through the
// host: the first failure is kept in failure and ends the flight once the step is over.
void runScriptInSteps(const FlightOptions& options, FlightLog& log, Warnings& warnings,
                      std::optional<FlightEnd>& failure) {
    const FlightScript* const script = options.script ? &*options.script : nullptr;
    host::setPreStepHook([script, &log, &warnings, &failure,
                          next = std::size_t{0}](double t) mutable {
        if (failure || script == nullptr) return;
        try {
            while (next < script->commands.size() && reached(t, script->commands[next].time)) {
                const ScriptCommand& c = script->commands[next++];
                runCommand(c, t, script->file + ":" + std::to_string(c.line) + ": ", log, warnings);
            }
        } catch (const InputError& e) {
            failure = FlightEnd{FlightEnd::kError, e.what(), t};
        } catch (const host::Error& e) {
            failure = FlightEnd{FlightEnd::kError, e.what(), t};
        } catch (const host::Stop& e) {
            failure = FlightEnd{FlightEnd::kStop, e.what(), t};
        }
    });
}

// The signal that asked the flight to end, 0 while none has. Set by the handler only.
volatile std::sig_atomic_t interruptSignal = 0;

extern "C" void onInterrupt(int sig) { interruptSignal = sig; }

// SIGINT and SIGTERM end the flight after the step in progress, so that what was flown is still
// written whole; a second one ends the process at once, as the default action would.
struct InterruptHandlers {
    struct sigaction oldInt {
    }, oldTerm{};
    InterruptHandlers() {
        interruptSignal = 0;
        struct sigaction sa {};
        sa.sa_handler = onInterrupt;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESETHAND;
        sigaction(SIGINT, &sa, &oldInt);
        sigaction(SIGTERM, &sa, &oldTerm);
    }
    ~InterruptHandlers() {
        sigaction(SIGINT, &oldInt, nullptr);
        sigaction(SIGTERM, &oldTerm, nullptr);
    }
    InterruptHandlers(const InterruptHandlers&) = delete;
    InterruptHandlers& operator=(const InterruptHandlers&) = delete;
};

// The steps of the plan, until a failure kept by a script command, the host's own or a signal.
FlightEnd flySteps(const StepPlan& plan, Progress& progress,
                   const std::optional<FlightEnd>& failure) {
    FlightEnd ending;
    const auto interrupted = [&ending] {
        if (interruptSignal == 0) return false;
        ending.kind = FlightEnd::kInterrupted;
        ending.signal = interruptSignal;
        ending.reason = "interrupted at " + fmt("%.2f", host::simTime()) + " s";
        return true;
    };
    try {
        while (!failure && host::stepIndex() < plan.wholeSteps && !interrupted()) {
            host::step();
            progress.update(host::simTime());
        }
        if (!failure && plan.lastStep > 0.0 && !interrupted()) {
            host::setStep(plan.lastStep);
            host::step();
        }
    } catch (const host::Error& e) {
        ending = FlightEnd{FlightEnd::kError, e.what(), host::simTime()};
    } catch (const host::Stop& e) {
        ending = FlightEnd{FlightEnd::kStop, e.what(), host::simTime()};
    }
    progress.clear();
    if (failure && ending.kind == FlightEnd::kComplete) ending = *failure;
    ending.time = host::simTime();

    return ending;
}

// --save at the end: after a stop the simulator saves nothing; after an error what was flown is
// still saved. Gives why the scenario was not saved ("" when it was), ending updated.
std::string saveAtEnd(const FlightOptions& options, FlightEnd& ending, FlightLog& log) {
    std::string notSaved;
    if (options.save.empty()) return notSaved;
    if (ending.kind == FlightEnd::kStop) {
        notSaved = "not saved: the simulator stopped";
    } else {
        try {
            host::saveScenario(options.save);
            log.event("-", "saved " + options.save);
        } catch (const host::Error& e) {
            notSaved = "--save " + shownAs(options.save, options.saveShown) + ": " + e.message;
        } catch (const host::Stop& e) {
            ending = FlightEnd{FlightEnd::kStop, e.what(), host::simTime()};
            notSaved = "not saved: the simulator stopped";
        }
    }
    if (!notSaved.empty() && ending.kind == FlightEnd::kComplete)
        ending = FlightEnd{FlightEnd::kError, notSaved, host::simTime()};
    return notSaved;
}

void reportEnding(std::ostream& out, const FlightEnd& ending, const std::string& notSaved,
                  double end, int warningCount) {
    if (ending.kind == FlightEnd::kInterrupted) {
        out << "\nThe flight was " << ending.reason << " (of " << secondsText(end) << " s) by "
            << (ending.signal == SIGTERM ? "SIGTERM" : "SIGINT") << '\n';
        if (!notSaved.empty()) out << "The scenario was " << notSaved << '\n';
    } else if (ending.kind != FlightEnd::kComplete) {
        out << "\nThe flight ended early, at " << fmt("%.2f", ending.time) << " s of "
            << secondsText(end) << " s: " << ending.reason << '\n';
        if (!notSaved.empty() && notSaved != ending.reason)
            out << "The scenario was " << notSaved << '\n';
    }
    if (warningCount > 0)
        out << '\n'
            << warningCount << (warningCount == 1 ? " warning" : " warnings")
            << " (on standard error)\n";
}

// The timeline and plot asked for, written whatever happened in the flight; the first that
// fails decides the ending of a flight that was complete.
void writeRecordings(std::ostream& out, const FlightOptions& options,
                     std::optional<TimelineWriter>& timeline,
                     const std::optional<PlotRecorder>& plot, FlightEnd& ending) {
    const auto written = [&](const char* head, const std::string& file, auto&& write) {
        try {
            write();
            out << head << file << '\n';
        } catch (const InputError& e) {
            if (ending.kind == FlightEnd::kComplete)
                ending = FlightEnd{FlightEnd::kError, e.what(), ending.time};
        }
    };
    if (timeline || plot) out << '\n';
    if (timeline) written("Timeline: ", options.timeline, [&] { timeline->finish(); });
    if (plot)
        written("Plot:     ", options.plot,
                [&] { writeFlightPlot(options.plot, options.title, ending.time, *plot); });
}

}  // namespace

FlightEnd runFlight(const FlightOptions& options, std::ostream& out, std::ostream& err) {
    const InterruptHandlers handlers;
    const double end = flightEnd(options);
    const StepPlan plan = planSteps(end, options.dt);
    Progress progress(err, end, options.progress);
    Warnings warnings(out, err, options.strict);
    warnings.beforePrint([&progress] { progress.clear(); });
    checkFlightOutputs(options, end, warnings);

    host::reset();
    host::setStep(options.dt);
    try {
        host::loadScenario(options.scenario);
    } catch (const host::Error& e) {
        throw InputError(e.what());
    }
    checkTimelineSize(options, end);
    printFlightHeader(out, options, end, plan);

    std::optional<TimelineWriter> timeline;
    if (!options.timeline.empty()) timeline.emplace(options.timeline);
    std::optional<PlotRecorder> plot;
    if (!options.plot.empty()) {
        plot.emplace();
        plot->setWindow(options.plotFrom, options.plotTo);
    }

    FlightLog log(out, progress, timeline ? &*timeline : nullptr, plot ? &*plot : nullptr,
                  options.sampleInterval);
    log.setQuiet(options.quiet);
    log.start();
    host::addListener(&log);
    struct Detach {
        FlightLog* log;
        ~Detach() {
            host::removeListener(log);
            host::setPreStepHook(nullptr);
        }
    } detach{&log};

    std::optional<FlightEnd> failure;
    runScriptInSteps(options, log, warnings, failure);

    FlightEnd ending = flySteps(plan, progress, failure);
    const std::string notSaved = saveAtEnd(options, ending, log);

    reportEnding(out, ending, notSaved, end, warnings.count());
    printSummary(out, log);
    writeRecordings(out, options, timeline, plot, ending);
    return ending;
}
}  // namespace runner
