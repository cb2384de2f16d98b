#include "Flight.h"

#include "InputError.h"
#include "Readings.h"
#include "ItemTree.h"
#include "Paths.h"
#include "Plot.h"
#include "Timeline.h"

#include <host/Host.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <ostream>
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

// Watches the host during a flight: prints events as they happen and samples every vessel at the
// end of every step.
class FlightLog : public host::Listener {
public:
    FlightLog(std::ostream& out, const FlightOptions& options) : out_(out), options_(options) {}

    void event(double time, const std::string& vessel, const std::string& what) {
        nameWidth_ = std::max(nameWidth_, vessel.size());
        char head[64];
        std::snprintf(head, sizeof head, "%8.2f  ", time);
        const std::string line =
            head + vessel + std::string(nameWidth_ - vessel.size() + 2, ' ') + what;
        if (holding_)
            held_.push_back(line);
        else
            out_ << line << std::endl;
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
        for (const std::string& line : held_) out_ << line << '\n';
        out_.flush();
        held_.clear();
    }
    void event(const std::string& vessel, const std::string& what) {
        event(host::simTime(), vessel, what);
    }

    void startWith(const std::vector<host::Vessel*>& vessels) {
        for (const host::Vessel* v : vessels) nameWidth_ = std::max(nameWidth_, v->name.size());
        sampleAll(host::simTime(), true);
    }

    void onVesselCreated(OBJHANDLE h, const host::CreationRecord& rec) override {
        if (!h) {
            event("-", "refused to create " + rec.name + " (" + rec.className + ")");
            return;
        }
        event(rec.name, "vessel created by separation (class " + rec.className + ")");
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
    void onKeyEvent(const host::KeyRecord& r) override {
        if (!r.down) return;  // a key let go is no event of the flight
        if (keysDue_ > 0) --keysDue_;
        holding_ = false;
        std::vector<std::string> effects;
        effects.swap(held_);
        event(r.vessel ? nameOf(r.vessel) : "-", "key " + keyNameByCode(static_cast<int>(r.key)) +
                                                     (r.result ? " consumed" : " not consumed"));
        for (const std::string& line : effects) out_ << line << '\n';
        out_.flush();
        holding_ = keysDue_ > 0;
    }
    void onThrusterGroupCreated(OBJHANDLE h, THGROUP_TYPE type) override {
        if (type == THGROUP_RETRO) event(nameOf(h), "retro motor created");
    }
    void onThrusterGroupLevel(OBJHANDLE h, THGROUP_TYPE type, double level) override {
        if (type != THGROUP_RETRO && type != THGROUP_MAIN && type != THGROUP_HOVER) return;
        double& last = groupLevels_[{h, type}];
        const std::string what = type == THGROUP_RETRO ? "retro" : groupNameByType(type);
        if (last <= 0.0 && level > 0.0)
            event(nameOf(h), what + " fired (level " + fmt("%.2f", level) + ")");
        else if (last > 0.0 && level <= 0.0)
            event(nameOf(h), what + " shut off");
        last = level;
    }
    void onAnimationState(OBJHANDLE h, UINT anim, double state) override {
        if (anim != 0) return;
        double& last = animStates_.emplace(h, state).first->second;
        if (last <= 0.0 && state > 0.0 && state < 1.0) event(nameOf(h), "deploying");
        if (last < 1.0 && state >= 1.0) event(nameOf(h), "deployment complete");
        last = state;
    }
    void onStepEnd(double simt) override {
        releaseHeld();
        sampleAll(simt, false);
    }

    const std::vector<Sample>& samples() const { return samples_; }
    const std::vector<Sample>& timelineRows() const { return rows_; }

private:
    struct Seen {
        std::vector<double> propellant;
        double emptyMass = 0.0;
        int items = 0;
    };

    std::string nameOf(OBJHANDLE h) const {
        if (!h) return "-";
        for (const host::Vessel* v : host::vessels())
            if (v == h) return v->name;
        return "?";
    }

    std::string pointText(OBJHANDLE vessel, ATTACHMENTHANDLE point) const {
        for (const host::Vessel* v : host::vessels())
            if (v == vessel)
                for (const auto& a : v->attachments)
                    if (a.get() == point && !a->id.empty()) return " at " + a->id;
        return "";
    }

    void sampleAll(double time, bool first) {
        const bool timelineRow = first || reached(time, nextRowTime_);
        if (first) nextRowTime_ = time;
        // Row times are whole multiples of the interval, however the steps fall.
        while (timelineRow && reached(time, nextRowTime_)) {
            ++rowsDue_;
            nextRowTime_ = static_cast<double>(rowsDue_) * options_.sampleInterval;
        }
        for (const host::Vessel* v : host::vessels()) {
            Sample s;
            s.time = time;
            s.vessel = v->name;
            s.massKg = v->mass();
            s.emptyMassKg = v->emptyMass;
            s.propellantKg = propellantKg(*v);
            const host::Propellant* retro = retroPropellant(*v);
            if (retro && (!v->moduleName.empty() || findGroup(*v, THGROUP_RETRO)))
                s.retroPropellantKg = retro->mass;
            s.deployState = deployState(*v);
            s.retroLevel = retroLevel(*v);
            s.speedMps = speedMps(*v);
            samples_.push_back(s);
            if (timelineRow) rows_.push_back(s);
            watch(*v, first);
        }
    }

    // Changes that no listener call announces: tanks running dry, the empty mass moving, items
    // arriving by message (seen in the vessel's own saved state, as a quicksave would show them).
    void watch(const host::Vessel& v, bool first) {
        Seen now;
        for (const auto& p : v.propellants) now.propellant.push_back(p->mass);
        now.emptyMass = v.emptyMass;
        if (!v.moduleName.empty()) {
            const ItemReading items = readItems(host::saveVesselState(const_cast<host::Vessel*>(&v)));
            now.items = static_cast<int>(items.items.size());
        }
        auto it = seen_.find(v.name);
        if (!first && it != seen_.end()) {
            const Seen& before = it->second;
            const host::Propellant* retro = retroPropellant(v);
            for (std::size_t i = 0; i < now.propellant.size() && i < before.propellant.size(); ++i)
                if (before.propellant[i] > 0.0 && now.propellant[i] <= 0.0)
                    event(v.name, v.propellants[i].get() == retro
                                      ? std::string("retro propellant exhausted")
                                      : "propellant resource " + std::to_string(i) + " exhausted");
            if (now.items > before.items)
                event(v.name, "received " + std::to_string(now.items - before.items) +
                                  (now.items - before.items == 1 ? " item" : " items") +
                                  " by message");
            if (now.emptyMass != before.emptyMass)
                event(v.name, "empty mass " + fmt("%.2f", before.emptyMass) + " -> " +
                                  fmt("%.2f", now.emptyMass) + " kg");
        } else if (!first && it == seen_.end() && now.items > 0) {
            event(v.name, "received " + std::to_string(now.items) +
                              (now.items == 1 ? " item" : " items") + " by message");
        }
        seen_[v.name] = std::move(now);
    }

    std::ostream& out_;
    const FlightOptions& options_;
    std::size_t nameWidth_ = 16;
    bool holding_ = false;
    int keysDue_ = 0;  // key events queued this step that the host has not reported yet
    std::vector<std::string> held_;  // wide enough for a cone name with "-Suit"
    std::map<std::pair<OBJHANDLE, int>, double> groupLevels_;
    std::map<OBJHANDLE, double> animStates_;
    std::map<std::string, Seen> seen_;
    std::vector<Sample> samples_, rows_;
    double nextRowTime_ = 0.0;
    long rowsDue_ = 0;
};

void printSummary(std::ostream& out) {
    struct Row {
        std::string cells[7];
    };
    std::vector<Row> rows;
    rows.push_back({{"vessel", "class", "mass kg", "propellant kg", "items", "attached to",
                     "speed m/s"}});
    for (host::Vessel* v : host::vessels()) {
        Row r;
        r.cells[0] = v->name + (host::focus() == v ? " *" : "");
        r.cells[1] = v->className;
        r.cells[2] = fmt("%.2f", v->mass());
        r.cells[3] = fmt("%.3f", propellantKg(*v));
        r.cells[4] = v->moduleName.empty()
                         ? "-"
                         : std::to_string(readItems(host::saveVesselState(v)).items.size());
        const host::Vessel* parent = parentOf(*v);
        r.cells[5] = parent ? parent->name : "-";
        r.cells[6] = fmt("%.3f", speedMps(*v));
        rows.push_back(r);
    }
    std::size_t width[7] = {};
    for (const Row& r : rows)
        for (int c = 0; c < 7; ++c) width[c] = std::max(width[c], r.cells[c].size());
    out << "\nVessels at the end (* has the focus):\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::string line = "  ";
        for (int c = 0; c < 7; ++c) {
            const std::string& cell = rows[i].cells[c];
            const bool right = c >= 2 && c != 5;  // numbers line up on the right
            const std::string pad(width[c] - cell.size(), ' ');
            line += right ? pad + cell : cell + pad;
            if (c < 6) line += "  ";
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << '\n';
    }
}

}  // namespace

double flightEnd(const FlightOptions& options) {
    if (options.until) return *options.until;
    if (options.script && !options.script->commands.empty()) return options.script->lastTime() + 1.0;
    return 10.0;
}

void runFlight(const FlightOptions& options, std::ostream& out) {
    // Every file this flight may write must have a folder to go into before anything flies.
    if (!options.save.empty()) requireParentFolder(options.save, "--save");
    if (!options.timeline.empty()) requireParentFolder(options.timeline, "--timeline");
    if (!options.plot.empty()) requireParentFolder(options.plot, "--plot");
    if (options.script)
        for (const ScriptCommand& c : options.script->commands)
            if (c.kind == ScriptCommand::Kind::Save) {
                try {
                    requireParentFolder(c.path, "save");
                } catch (const InputError& e) {
                    throw InputError(options.script->file, c.line, e.what());
                }
            }

    host::reset();
    host::setStep(options.dt);
    try {
        host::loadScenario(options.scenario);
    } catch (const host::Error& e) {
        throw InputError(e.what());
    }

    const double end = flightEnd(options);
    out << "Flying " << options.scenario << '\n';
    for (const std::string& d : host::scenario().description) out << "  | " << d << '\n';
    out << "  "
        << (options.script ? "script " + options.script->file : std::string("no flight script"))
        << ", step " << options.dt << " s, until " << end << " s\n\n";

    FlightLog log(out, options);
    log.startWith(host::vessels());
    host::addListener(&log);
    struct Detach {
        FlightLog* log;
        ~Detach() {
            host::removeListener(log);
            host::setPreStepHook(nullptr);
        }
    } detach{&log};

    std::size_t next = 0;
    const std::vector<ScriptCommand> noCommands;
    const std::vector<ScriptCommand>& commands =
        options.script ? options.script->commands : noCommands;
    host::setPreStepHook([&](double t) {
        while (next < commands.size() && reached(t, commands[next].time)) {
            const ScriptCommand& c = commands[next++];
            const auto where = [&](const std::string& message) {
                return InputError(options.script->file, c.line, message);
            };
            switch (c.kind) {
                case ScriptCommand::Kind::Key:
                    host::pressKey(c.keyCode);
                    log.holdForKey();
                    break;
                case ScriptCommand::Kind::Thrust: {
                    OBJHANDLE f = host::focus();
                    if (!f) throw where("thrust: no vessel has the focus");
                    const host::Vessel& v = host::vessel(f);
                    if (!findGroup(v, static_cast<THGROUP_TYPE>(c.groupType)))
                        throw where(v.name + " has no " + c.groupName + " thruster group at " +
                                    fmt("%.2f", t) + " s");
                    v.iface->SetThrusterGroupLevel(static_cast<THGROUP_TYPE>(c.groupType), c.level);
                    break;
                }
                case ScriptCommand::Kind::Focus: {
                    OBJHANDLE h = host::find(c.name);
                    if (!h) throw where("focus: no vessel named '" + c.name + "'");
                    host::setFocus(h);
                    break;
                }
                case ScriptCommand::Kind::Save:
                    try {
                        host::saveScenario(c.path);
                    } catch (const host::Error& e) {
                        throw where(e.what());
                    }
                    log.event(t, "-", "saved " + c.path);
                    break;
            }
        }
    });

    const long steps = static_cast<long>(std::ceil(end / options.dt - 1e-9));
    while (host::stepIndex() < steps) host::step();

    if (!options.save.empty()) {
        try {
            host::saveScenario(options.save);
        } catch (const host::Error& e) {
            throw InputError(e.what());
        }
        log.event("-", "saved " + options.save);
    }
    printSummary(out);
    if (!options.timeline.empty()) {
        writeTimelineCsv(options.timeline, log.timelineRows());
        out << "\nTimeline: " << options.timeline << '\n';
    }
    if (!options.plot.empty()) {
        writeFlightPlot(options.plot, options.title, log.samples());
        out << (options.timeline.empty() ? "\n" : "") << "Plot:     " << options.plot << '\n';
    }
}

}  // namespace runner
