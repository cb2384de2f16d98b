// aerobell-sim: flies scenarios of the simulation root in the headless host, and shows and
// checks what the cones in them carry.
#include "Flight.h"
#include "FlightScript.h"
#include "InputError.h"
#include "ScenarioReports.h"
#include "Paths.h"

#include <host/Host.h>

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <optional>

namespace fs = std::filesystem;
using namespace runner;

namespace {

// The bundled demo, relative to the simulation root.
const char* const kDemoScenario = "Scenarios/Demo/Aerobell demo.scn";
const char* const kDemoScript = "Scenarios/Demo/Aerobell demo.flight";

struct Settings {
    std::string start;  // the folder the user started in
    std::string root;
};

// A scenario named on the command line: relative to the start folder; failing that, as the
// simulator would name it, relative to the root or to its Scenarios folder.
std::string findScenario(const Settings& s, const std::string& name) {
    std::error_code ec;
    const std::string asGiven = absoluteFrom(s.start, name);
    if (fs::is_regular_file(asGiven, ec)) return asGiven;
    if (!fs::path(name).is_absolute()) {
        for (const char* under : {"", "Scenarios"}) {
            const std::string p = absoluteFrom(absoluteFrom(s.root, under), name);
            if (fs::is_regular_file(p, ec)) return p;
        }
    }
    throw InputError(name + ": no such scenario file");
}

// Seconds on the command line: a plain finite number, 0 or more (or above 0 where `positive`).
CLI::Validator seconds(bool positive) {
    return CLI::Validator(
        [positive](std::string& text) -> std::string {
            double v = 0.0;
            if (!parseNumber(text, v) || v < 0.0 || (positive && v == 0.0))
                return "'" + text + "' is not a number of seconds" +
                       (positive ? " above 0" : ", 0 or more");
            return "";
        },
        "");
}

void enterRoot(const Settings& s) {
    std::error_code ec;
    if (!fs::is_directory(s.root, ec))
        throw InputError(s.root + ": simulation root not found (give one with --root DIR)");
    host::setRoot(s.root);
}

int flyDemo(const Settings& s) {
    FlightOptions o;
    o.scenario = absoluteFrom(s.root, kDemoScenario);
    o.script = parseFlightScript(absoluteFrom(s.root, kDemoScript), s.start);
    o.timeline = absoluteFrom(s.start, "aerobell-demo.csv");
    o.plot = absoluteFrom(s.start, "aerobell-demo.svg");
    o.title = "Aerobell demo: deploy, retro burn, release";
    std::cout << "aerobell-sim demo: a cone with its astronaut is deployed (K), fires its retro\n"
                 "motor, releases the astronaut (J), and the result is saved into this folder\n"
                 "with a timeline and a plot. aerobell-sim --help tells what else it does.\n\n";
    enterRoot(s);
    runFlight(o, std::cout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Settings s;
    s.start = fs::current_path().string();

    CLI::App app{"aerobell-sim: fly re-entry cone scenarios in the headless simulator.\n"
                 "Without a command it flies the bundled demo and saves the result, a timeline\n"
                 "and a plot into the current folder."};
    app.fallthrough();
    std::string rootArg;
    app.add_option("--root", rootArg,
                   "simulation root (default: ../sim next to this program's folder)")
        ->type_name("DIR");

    std::string scenarioArg, scriptArg, saveArg, timelineArg, plotArg;
    double until = -1.0, dt = 0.1, sample = 0.5;
    CLI::App* run = app.add_subcommand("run", "fly a scenario and report what happened");
    run->add_option("SCENARIO", scenarioArg, "scenario file")->required();
    run->add_option("--script", scriptArg, "flight script: timed keys and commands")
        ->type_name("FLIGHT");
    run->add_option("--until", until,
                    "end time in seconds (default: 1 s after the script's last command, or 10 s)")
        ->type_name("S")
        ->check(seconds(false));
    run->add_option("--dt", dt, "step length in seconds")
        ->type_name("S")
        ->check(seconds(true))
        ->capture_default_str();
    run->add_option("--sample", sample, "seconds between timeline rows")
        ->type_name("S")
        ->check(seconds(true))
        ->capture_default_str();
    run->add_option("--save", saveArg, "save the scenario at the end")->type_name("FILE");
    run->add_option("--timeline", timelineArg,
                    "write the flight as CSV, one row per vessel per sample")
        ->type_name("FILE.csv");
    run->add_option("--plot", plotArg,
                    "draw deployment, mass, retro propellant and speed over time")
        ->type_name("FILE.svg");

    run->footer(
        "--root DIR is accepted here too. File names are taken relative to the current folder.\n"
        "A flight script has one command a line, TIME COMMAND ARGS, and # starts a comment:\n"
        "  1.0   key     K          a key event for the vessel with the focus (K, J, S, ...)\n"
        "  6.0   thrust  RETRO 1.0  a thruster group level of the focus vessel (0 to 1)\n"
        "  20.0  focus   NAME       give the focus to a vessel\n"
        "  26.0  save    FILE.scn   save the scenario\n"
        "A command runs at the first step whose time reaches it.");

    CLI::App* show = app.add_subcommand(
        "show", "list the vessels of a scenario, each cone's items as a tree, masses, meshes");
    show->add_option("SCENARIO", scenarioArg, "scenario file")->required();

    CLI::App* lint = app.add_subcommand(
        "lint", "report item lines a cone would drop, cut or read differently (exit 1 if any)");
    lint->add_option("SCENARIO", scenarioArg, "scenario file")->required();
    show->footer("--root DIR is accepted here too.");
    lint->footer("--root DIR is accepted here too. Exit status 1 when there are findings.");
    app.footer("Exit status: 0 ok, 1 findings (lint), 2 usage or input errors.\n"
               "aerobell-sim COMMAND --help tells more about each command.");
    app.require_subcommand(0, 1);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        return rc == 0 ? 0 : 2;
    }

    // Vessels still in the host at the end go back to their modules (ovcExit) before the program
    // ends, as at the end of a simulation session.
    struct ReleaseVessels {
        ~ReleaseVessels() { host::reset(); }
    } releaseVessels;

    try {
        s.root = rootArg.empty() ? defaultRoot() : absoluteFrom(s.start, rootArg);
        if (app.get_subcommands().empty()) return flyDemo(s);

        if (*run) {
            FlightOptions o;
            o.scenario = findScenario(s, scenarioArg);
            if (!scriptArg.empty())
                o.script = parseFlightScript(absoluteFrom(s.start, scriptArg), s.start, scriptArg);
            if (until >= 0.0) o.until = until;
            o.dt = dt;
            o.sampleInterval = sample;
            // Checked here as well as before the flight, to name the files as they were typed.
            const std::pair<const std::string*, const char*> outputs[] = {
                {&saveArg, "--save"}, {&timelineArg, "--timeline"}, {&plotArg, "--plot"}};
            for (const auto& [arg, option] : outputs)
                if (!arg->empty()) requireParentFolder(absoluteFrom(s.start, *arg), option, *arg);
            if (!saveArg.empty()) o.save = absoluteFrom(s.start, saveArg);
            if (!timelineArg.empty()) o.timeline = absoluteFrom(s.start, timelineArg);
            if (!plotArg.empty()) o.plot = absoluteFrom(s.start, plotArg);
            o.title = fs::path(o.scenario).stem().string();
            enterRoot(s);
            runFlight(o, std::cout);
            return 0;
        }
        if (*show) {
            const std::string scn = findScenario(s, scenarioArg);
            enterRoot(s);
            showScenario(scn, std::cout);
            return 0;
        }
        if (*lint) {
            const std::string scn = findScenario(s, scenarioArg);
            enterRoot(s);
            const std::vector<std::string> findings = lintScenario(scn, scenarioArg);
            for (const std::string& f : findings) std::cout << f << '\n';
            if (findings.empty()) std::cout << scenarioArg << ": no findings\n";
            return findings.empty() ? 0 : 1;
        }
    } catch (const InputError& e) {
        std::cout.flush();
        std::cerr << e.what() << std::endl;
        return 2;
    } catch (const host::Error& e) {
        std::cout.flush();
        std::cerr << e.what() << std::endl;
        return 2;
    } catch (const host::Stop& e) {
        std::cout.flush();
        std::cerr << e.what() << std::endl;
        return 3;
    }
    return 0;
}
