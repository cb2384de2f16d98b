// aerobell-sim: flies scenarios of the simulation root in the headless host, and shows and
// checks what the cones in them carry.
#include "Flight.h"
#include "FlightScript.h"
#include "InputError.h"
#include "Messages.h"
#include "Outputs.h"
#include "Paths.h"
#include "Progress.h"
#include "ScenarioLint.h"
#include "ScenarioReports.h"
#include "Text.h"

#include <host/Host.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

namespace fs = std::filesystem;
using namespace runner;

namespace {

// The bundled demo, relative to the simulation root.
const char* const kDemoScenario = "Scenarios/Aerobell/Aerobell demo.scn";
const char* const kDemoScript = "Scenarios/Aerobell/Aerobell demo.flight";

const char* const kCommands[] = {"run", "show", "lint"};

struct Settings {
    std::string start;  // the folder the user started in
    std::string root;
};

// Edits (insert, delete, replace, swap two neighbours) that turn `a` into `b`.
std::size_t typoDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

// The command word of the command line when it is not one of ours: the first word that is
// neither an option nor the value of --root.
std::optional<std::string> unknownCommand(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--root") {
            ++i;
            continue;
        }
        if (a.rfind('-', 0) == 0) continue;
        for (const char* c : kCommands)
            if (a == c) return std::nullopt;
        return a;
    }
    return std::nullopt;
}

std::string unknownCommandMessage(const std::string& word) {
    std::string message = "unknown command '" + word + "'";
    const char* best = nullptr;
    std::size_t bestDistance = 3;  // more edits than two is another word
    for (const char* c : kCommands) {
        const std::size_t d = typoDistance(upper(word), upper(c));
        if (d < bestDistance) best = c, bestDistance = d;
    }
    if (best) return message + " (did you mean '" + best + "'?)";
    if (upper(fs::path(word).extension().string()) == ".SCN")
        return message + " (to fly a scenario: aerobell-sim run " + word + ")";
    return message + " (expected run, show or lint)";
}

// The closest of `known` to `word`, where two edits or fewer turn one into the other.
const std::string* closest(const std::string& word, const std::vector<std::string>& known) {
    const std::string* best = nullptr;
    std::size_t bestDistance = 3;
    for (const std::string& k : known) {
        const std::size_t d = typoDistance(word, k);
        if (d < bestDistance) best = &k, bestDistance = d;
    }
    return best;
}

// `aerobell-sim help [COMMAND]`, as `--help` would answer it; nothing when the command line
// asks for something else.
std::optional<int> helpCommand(const CLI::App& app, int argc, char** argv) {
    int i = 1;
    while (i < argc && std::string(argv[i]) == "--root") i += 2;
    if (i >= argc || std::string(argv[i]) != "help") return std::nullopt;
    if (i + 1 >= argc) {
        std::cout << app.help();
        return 0;
    }
    for (const CLI::App* sub : app.get_subcommands({}))
        if (sub->get_name() == argv[i + 1]) {
            std::cout << sub->help();
            return 0;
        }
    std::cerr << kProgramPrefix << "help: " << unknownCommandMessage(argv[i + 1]) << std::endl;
    return 2;
}

// The first word that looks like an option but is none of the program's, with the option it
// was probably meant to be.
std::optional<std::string> unknownOption(const CLI::App& app, int argc, char** argv) {
    std::vector<std::string> known = {"--help"};
    const auto collect = [&known](const CLI::App& a) {
        for (const CLI::Option* o : a.get_options())
            for (const std::string& name : o->get_lnames()) known.push_back("--" + name);
    };
    collect(app);
    for (const CLI::App* sub : app.get_subcommands({})) collect(*sub);
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word == "--") break;
        if (word.rfind("--", 0) != 0) continue;
        word = word.substr(0, word.find('='));
        if (std::find(known.begin(), known.end(), word) != known.end()) continue;
        std::string message = "unknown option '" + word + "'";
        if (const std::string* best = closest(word, known))
            return message + " (did you mean " + *best + "?)";
        return message + " (aerobell-sim --help lists the options)";
    }
    return std::nullopt;
}

// A file named on the command line: relative to the start folder; failing that, as the simulator
// names its scenarios, relative to the root or to its Scenarios folder.
std::string findInput(const Settings& s, const std::string& name, const char* what) {
    std::vector<std::string> places = {s.start};
    if (!fs::path(name).is_absolute()) {
        places.push_back(s.root);
        places.push_back(absoluteFrom(s.root, "Scenarios"));
    } else {
        places.resize(1);
    }
    // The simulator names a scenario without its .scn; so may the user.
    std::vector<std::string> names = {name};
    if (std::string(what) == "scenario file" &&
        upper(fs::path(name).extension().string()) != ".SCN")
        names.push_back(name + ".scn");
    bool folder = false;
    for (const std::string& candidate : names)
        for (const std::string& place : places) {
            const std::string p = absoluteFrom(place, candidate);
            std::error_code ec;
            const fs::file_status st = fs::status(p, ec);
            if (fs::is_directory(st)) folder = true;
            else if (fs::exists(st)) return p;
        }
    if (folder) throw InputError(name + ": is a folder, not a " + what);
    if (fs::path(name).is_absolute()) throw InputError(name + ": no such " + std::string(what));
    throw InputError(name + ": no such " + std::string(what) + " (looked in " + places[0] + ", " +
                     places[1] + " and " + places[2] + ")");
}

// The root must be there before any file is looked for in it.
void checkRoot(const Settings& s, const std::string& rootArg) {
    std::error_code ec;
    const fs::file_status st = fs::status(s.root, ec);
    const std::string head =
        rootArg.empty() ? s.root + ": simulation root" : "--root " + rootArg + ":";
    const std::string hint =
        rootArg.empty()
            ? " (it is looked for next to the program's folder; give one with --root DIR)"
            : "";
    if (!fs::exists(st)) throw InputError(head + " no such folder" + hint);
    if (!fs::is_directory(st)) throw InputError(head + " not a folder" + hint);
    if (!fs::is_directory(absoluteFrom(s.root, "Config"), ec))
        throw InputError(head + " not a simulation root (it has no Config folder)" + hint);
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

int fly(const FlightOptions& o) {
    const FlightEnd end = runFlight(o, std::cout, std::cerr);
    if (end.kind == FlightEnd::kComplete) return 0;
    std::cout.flush();
    std::cerr << kProgramPrefix << end.reason << std::endl;
    if (end.kind == FlightEnd::kInterrupted) return 128 + end.signal;
    return end.kind == FlightEnd::kStop ? 3 : 2;
}

int flyDemo(const Settings& s) {
    // The demo writes into the folder it is started in; say so rather than blame its script.
    const std::string why = whyNotWritable(s.start, s.start);
    if (!why.empty())
        throw InputError("the demo writes its results into the current folder, and cannot: " + why +
                         " (start it from a folder you can write to)");
    FlightOptions o;
    o.scenario = absoluteFrom(s.root, kDemoScenario);
    o.script = parseFlightScript(absoluteFrom(s.root, kDemoScript), s.start);
    o.timeline = absoluteFrom(s.start, "aerobell-demo.csv");
    o.plot = absoluteFrom(s.start, "aerobell-demo.svg");
    o.title = "Aerobell demo: deorbit, re-entry, landing, release";
    // The cone stands on stiff touchdown points (the simulator's 1e6 N/m for a class that sets
    // them before its mass), which the ground-contact model holds at steps of about 1/50 s, the
    // frame rate the simulator flies at; at 0.1 s the cone would bounce on the ground.
    o.dt = 0.02;
    o.sampleInterval = 2.0;
    o.progress = stderrIsTerminal();
    std::cout
        << "aerobell-sim demo: a cone with its astronaut in low Earth orbit is deployed (K),\n"
           "fires its retro motor, re-enters, lands and releases the astronaut (J); the\n"
           "result is saved into this folder with a timeline and a plot.\n"
           "aerobell-sim --help tells what else it does.\n\n";
    host::setRoot(s.root);
    return fly(o);
}

// What the command line gave.
struct Arguments {
    std::string rootArg, scenarioArg, scriptArg, saveArg, timelineArg, plotArg;
    std::vector<std::string> lintArgs;
    double until = -1.0, dt = 0.1, sample = 0.5;
    double plotFrom = -1.0, plotTo = -1.0;
    std::optional<std::string> title;
    bool noScript = false, strict = false, quiet = false;
};

CLI::App* addRunCommand(CLI::App& app, Arguments& a) {
    CLI::App* run = app.add_subcommand("run", "fly a scenario and report what happened");
    run->add_option("SCENARIO", a.scenarioArg, "scenario file")->required();
    CLI::Option* scriptOption =
        run->add_option("--script", a.scriptArg,
                        "flight script: timed keys and commands (default: the scenario's own, "
                        "the same name ending in .flight, where there is one)")
            ->type_name("FLIGHT");
    run->add_flag("--no-script", a.noScript, "fly without a flight script")->excludes(scriptOption);
    run->add_option("--until", a.until,
                    "end time in seconds (default: 1 s after the script's last command, or 10 s)")
        ->type_name("S")
        ->check(seconds(false));
    run->add_option("--dt", a.dt, "step length in seconds")
        ->type_name("S")
        ->check(seconds(true))
        ->capture_default_str();
    run->add_option("--sample", a.sample, "seconds between timeline rows")
        ->type_name("S")
        ->check(seconds(true))
        ->capture_default_str();
    run->add_option("--save", a.saveArg, "save the scenario at the end")->type_name("FILE");
    run->add_option("--timeline", a.timelineArg,
                    "write the flight as CSV, one row per vessel per sample")
        ->type_name("FILE.csv");
    run->add_option("--plot", a.plotArg,
                    "draw deployment, mass, retro propellant and speed over time (SVG)")
        ->type_name("FILE.svg");
    run->add_option("--plot-from", a.plotFrom, "the plot's time axis starts here (default 0)")
        ->type_name("S")
        ->check(seconds(false));
    run->add_option("--plot-to", a.plotTo, "the plot's time axis ends here (default: the end)")
        ->type_name("S")
        ->check(seconds(false));
    run->add_option("--title", a.title, "the plot's title (default: the scenario's name)")
        ->type_name("TEXT");
    run->add_flag("--quiet", a.quiet,
                  "leave out the simulator's log lines and the notes on vessels flying without "
                  "their module");
    run->add_flag("--strict", a.strict,
                  "treat warnings as errors: a script command that cannot apply ends the flight");

    run->footer(
        "--root DIR is accepted here too. File names are taken relative to the current folder;\n"
        "a scenario or script not found there is looked for in the root and in its Scenarios\n"
        "folder, also without its .scn. A flight script has one command a line,\n"
        "TIME COMMAND ARGS; # or ; starts a comment:\n"
        "  1.0   key     K          a key event for the vessel with the focus (K, J, S, F1, ...)\n"
        "  6.0   thrust  RETRO 1.0  a thruster group level of the focus vessel (0 to 1); the\n"
        "                           vessel may set its own (a cone's fired retro burns at full)\n"
        "  20.0  focus   NAME       give the focus to a vessel\n"
        "  26.0  save    FILE.scn   save the scenario\n"
        "A command runs at the first step whose time reaches it; one that cannot apply then (no\n"
        "such vessel or group) is skipped with a warning. The flight ends at --until exactly:\n"
        "the last step is shortened where --until is not a whole number of steps. A run takes\n"
        "at most 1e9 steps. The files asked for are written also when a flight ends early, and\n"
        "when Ctrl-C or SIGTERM ends it (exit status 130 or 143).");
    return run;
}

std::string shortNumber(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", v);
    return b;
}

// The part of the flight the plot shows: a window within the flight, for a plot asked for.
void plotWindow(FlightOptions& o, const Arguments& a) {
    const bool from = a.plotFrom >= 0.0, to = a.plotTo >= 0.0;
    if ((from || to || a.title) && o.plot.empty())
        throw InputError(std::string(from ? "--plot-from"
                                     : to ? "--plot-to"
                                          : "--title") +
                         ": there is no plot to apply it to (--plot FILE.svg)");
    if (from && to && a.plotTo <= a.plotFrom)
        throw InputError("--plot-to " + shortNumber(a.plotTo) + " is not after --plot-from " +
                         shortNumber(a.plotFrom) + ": the plot would show no time");
    const double end = flightEnd(o);
    if (from && a.plotFrom >= end)
        throw InputError("--plot-from " + shortNumber(a.plotFrom) +
                         " is not before the flight's end at " + shortNumber(end) +
                         " s: the plot would show no time");
    if (from) o.plotFrom = a.plotFrom;
    if (to) o.plotTo = a.plotTo;
}

// The flight the run command asks for, its script read.
FlightOptions flightOptions(const Settings& s, const std::string& scn, const Arguments& a) {
    FlightOptions o;
    o.scenario = scn;
    if (!a.scriptArg.empty()) {
        o.script =
            parseFlightScript(findInput(s, a.scriptArg, "flight script"), s.start, a.scriptArg);
    } else if (!a.noScript) {
        // A scenario's own flight script: the same name ending in .flight.
        const std::string own = fs::path(scn).replace_extension(".flight").string();
        std::error_code ec;
        if (fs::is_regular_file(own, ec)) {
            o.script = parseFlightScript(
                own, s.start, fs::path(a.scenarioArg).replace_extension(".flight").string());
            o.ownScript = true;
        }
    }
    if (a.until >= 0.0) o.until = a.until;
    o.dt = a.dt;
    o.sampleInterval = a.sample;
    // Standard output carries the flight's events; an output named '-' would be a file so named.
    for (const auto& [option, arg] :
         {std::pair<const char*, const std::string*>{"--save", &a.saveArg},
          {"--timeline", &a.timelineArg},
          {"--plot", &a.plotArg}})
        if (*arg == "-")
            throw InputError(std::string(option) +
                             " -: standard output carries the flight's events; name a file");
    o.save = a.saveArg.empty() ? "" : absoluteFrom(s.start, a.saveArg);
    o.timeline = a.timelineArg.empty() ? "" : absoluteFrom(s.start, a.timelineArg);
    o.plot = a.plotArg.empty() ? "" : absoluteFrom(s.start, a.plotArg);
    o.saveShown = a.saveArg;
    o.timelineShown = a.timelineArg;
    o.plotShown = a.plotArg;
    o.title = a.title ? *a.title : fs::path(o.scenario).stem().string();
    plotWindow(o, a);
    o.strict = a.strict;
    o.quiet = a.quiet;
    o.progress = stderrIsTerminal();
    return o;
}

// A file's name as an editor opens it from the folder the runner was started in: relative to it
// where the file lies under it, absolute otherwise.
std::string editorPath(const Settings& s, const std::string& file) {
    const fs::path rel = fs::path(file).lexically_relative(s.start);
    if (!rel.empty() && *rel.begin() != "..") return rel.string();
    return file;
}

// A flight script's findings: the first line it cannot read, or, flown with a scenario (given
// as its lines), the vessels it names that the scenario has not.
std::vector<std::string> lintFlightScript(const Settings& s, const std::string& file,
                                          const std::vector<std::string>* scenarioLines) {
    try {
        const FlightScript script = parseFlightScript(file, s.start, editorPath(s, file));
        if (scenarioLines) return scriptFindings(script, *scenarioLines);
    } catch (const InputError& e) {
        return {e.what()};
    }
    return {};
}

std::vector<std::string> fileLines(const std::string& file) {
    std::vector<std::string> lines;
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool hasExtension(const fs::path& p, const char* ext) {
    return upper(p.extension().string()) == ext;
}

// The files a lint argument stands for: a file (found like a scenario), or every scenario under
// a folder and every flight script there without a scenario of its own, in name order.
std::vector<std::string> lintTargets(const Settings& s, const std::string& arg) {
    std::error_code ec;
    for (const std::string& place : {s.start, s.root, absoluteFrom(s.root, "Scenarios")}) {
        const std::string dir = absoluteFrom(place, arg);
        if (!fs::is_directory(dir, ec)) continue;
        std::vector<std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(dir, ec)) {
            const fs::path& p = e.path();
            if (!e.is_regular_file(ec)) continue;
            if (hasExtension(p, ".SCN") || (hasExtension(p, ".FLIGHT") &&
                                            !fs::exists(fs::path(p).replace_extension(".scn"), ec)))
                files.push_back(p.string());
        }
        std::sort(files.begin(), files.end());
        return files;
    }
    return {findInput(s, arg, "scenario file")};
}

// Every file named, each finding as FILE:LINE: message; exit 1 with findings, 2 when a file
// could not be linted at all.
int lintCommand(const Settings& s, const std::vector<std::string>& args) {
    bool findings = false, errors = false;
    for (const std::string& arg : args) {
        std::vector<std::string> files;
        try {
            files = lintTargets(s, arg);
            if (files.empty())
                std::cerr << kProgramPrefix << "warning: " << arg
                          << ": no scenario or flight script in this folder" << std::endl;
        } catch (const InputError& e) {
            std::cerr << kProgramPrefix << e.what() << std::endl;
            errors = true;
        }
        for (const std::string& file : files) {
            const std::string shown = editorPath(s, file);
            std::vector<std::string> found;
            try {
                if (hasExtension(file, ".FLIGHT")) {
                    found = lintFlightScript(s, file, nullptr);
                } else {
                    found = lintScenario(file, shown);
                    // The scenario's own flight script is flown with it; check it with it.
                    const std::string own = fs::path(file).replace_extension(".flight").string();
                    std::error_code ec;
                    if (fs::is_regular_file(own, ec)) {
                        const std::vector<std::string> lines = fileLines(file);
                        for (std::string& f : lintFlightScript(s, own, &lines)) found.push_back(f);
                    }
                }
            } catch (const InputError& e) {
                std::cout.flush();
                std::cerr << kProgramPrefix << e.what() << std::endl;
                errors = true;
                continue;
            }
            for (const std::string& f : found) std::cout << f << '\n';
            if (found.empty()) std::cout << shown << ": no findings\n";
            findings = findings || !found.empty();
        }
    }
    std::cout.flush();
    return errors ? 2 : findings ? 1 : 0;
}

struct Commands {
    CLI::App* run = nullptr;
    CLI::App* show = nullptr;
    CLI::App* lint = nullptr;
};

// The program's options and commands, their help texts and its failure message.
Commands describeCommandLine(CLI::App& app, Arguments& a) {
    app.fallthrough();
    app.set_version_flag("--version", std::string("aerobell-sim ") + AEROBELL_VERSION,
                         "print the version and exit");
    app.add_option("--root", a.rootArg,
                   "simulation root (default: the one installed with this program, "
                   "../share/aerobell/sim, or in the build tree ../sim)")
        ->type_name("DIR");
    Commands c;
    c.run = addRunCommand(app, a);
    c.show = app.add_subcommand(
        "show", "list the vessels of a scenario, each cone's items as a tree, masses, meshes");
    c.show->add_option("SCENARIO", a.scenarioArg, "scenario file")->required();

    c.lint = app.add_subcommand(
        "lint",
        "report what the simulator would stop on or do silently with each scenario, item lines a "
        "cone would drop, cut, read differently or keep aboard, and flight-script errors "
        "(exit 1 if any)");
    c.lint
        ->add_option("FILE", a.lintArgs,
                     "scenarios (each with its own flight script), flight scripts, folders")
        ->required();
    c.show->footer("--root DIR is accepted here too.");
    c.lint->footer("--root DIR is accepted here too. Exit status 1 when there are findings.");
    app.footer(
        "Exit status: 0 ok, 1 findings (lint), 2 usage or input errors (also warnings\n"
        "with --strict), 3 the simulator itself would have stopped the flight.\n"
        "aerobell-sim COMMAND --help tells more about each command.");
    app.require_subcommand(0, 1);
    app.failure_message([](const CLI::App*, const CLI::Error& e) {
        return std::string(kProgramPrefix) + e.what() + " (aerobell-sim --help tells the usage)\n";
    });
    return c;
}

// What the parsed command line asks for; its exit status.
int perform(Settings& s, const CLI::App& app, const Commands& c, const Arguments& a) {
    s.root = a.rootArg.empty() ? defaultRoot() : absoluteFrom(s.start, a.rootArg);
    checkRoot(s, a.rootArg);
    if (app.get_subcommands().empty()) return flyDemo(s);
    if (*c.lint) {
        host::setRoot(s.root);
        return lintCommand(s, a.lintArgs);
    }

    const std::string scn = findInput(s, a.scenarioArg, "scenario file");
    if (*c.run) {
        const FlightOptions o = flightOptions(s, scn, a);
        host::setRoot(s.root);
        return fly(o);
    }
    host::setRoot(s.root);
    if (*c.show) {
        showScenario(scn, std::cout);
        return 0;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Settings s;
    s.start = fs::current_path().string();

    CLI::App app{
        "aerobell-sim: fly re-entry cone scenarios in the headless simulator.\n"
        "Without a command it flies the bundled demo and saves the result, a timeline\n"
        "and a plot into the current folder."};
    Arguments args;
    const Commands commands = describeCommandLine(app, args);

    if (const std::optional<int> rc = helpCommand(app, argc, argv)) return *rc;
    if (const std::optional<std::string> message = unknownOption(app, argc, argv)) {
        std::cerr << kProgramPrefix << *message << std::endl;
        return 2;
    }
    if (const std::optional<std::string> word = unknownCommand(argc, argv)) {
        std::cerr << kProgramPrefix << unknownCommandMessage(*word) << std::endl;
        return 2;
    }
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
        return perform(s, app, commands, args);
    } catch (const InputError& e) {
        std::cout.flush();
        std::cerr << kProgramPrefix << e.what() << std::endl;
        return 2;
    } catch (const host::Error& e) {
        std::cout.flush();
        std::cerr << kProgramPrefix << e.what() << std::endl;
        return 2;
    } catch (const host::Stop& e) {
        std::cout.flush();
        std::cerr << kProgramPrefix << e.what() << std::endl;
        return 3;
    }
}
