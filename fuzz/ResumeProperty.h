// A flight resumes as it was: a flight saved after any of its steps and loaded into a fresh world
// continues exactly as the same flight never saved, as far as the host can see it (vessels,
// items shown as meshes, masses, tanks, thrust, animations, seats, focus) and as far as the
// vessels write themselves into the scenario. Positions, velocities, attitudes and tank levels
// may differ by what the decimals the simulator writes them with can carry.
//
// Shared by the suite that checks a fixed sample of flights and the fuzz target that draws new
// ones. The host must be set up (its root entered, the cone module reachable) before use.
#ifndef RESUME_PROPERTY_H
#define RESUME_PROPERTY_H

#include <cstdint>
#include <string>
#include <vector>

namespace resume {

// What the pilot does in a step, before the step's own work (keys reach the focus vessel at the
// step's end).
struct Action {
    enum class Kind { Key, Thrust, Focus };
    long step = 1;  // 1 for the first step after loading
    Kind kind = Kind::Key;
    int key = 0;         // Key
    int group = 0;       // Thrust: the thruster group type of the focus vessel
    double level = 0.0;  // Thrust
    std::string vessel;  // Focus: a vessel name, looked up as the simulator does
};

struct Flight {
    std::string name;      // for messages
    std::string scenario;  // the scenario file's text
    std::vector<Action> actions;
    long steps = 0;            // steps of 0.1 s flown after loading
    std::string text() const;  // the flight written out, for messages and kept findings
};

// Numbers drawn for a random flight: a seeded generator, or the bytes of a fuzz input.
class Source {
public:
    virtual ~Source() = default;
    virtual uint64_t next() = 0;
    // 0 .. n-1 (0 for n 0).
    uint64_t below(uint64_t n) { return n == 0 ? 0 : next() % n; }
    bool chance(unsigned percent) { return below(100) < percent; }
};

class SeededSource : public Source {
public:
    explicit SeededSource(uint64_t seed) : state_(seed) {}
    uint64_t next() override;

private:
    uint64_t state_;
};

// Reads eight bytes at a time; zeros once the bytes are used up.
class ByteSource : public Source {
public:
    ByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t next() override;

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// A random flight: one to three cones of the bundled classes, each with a random stack of
// stages and payloads (some lines short, some masses zero, some names the crew's own), seats
// occupied or not, astronauts floating by, cones side by side, flight state of earlier saves;
// and the pilot's keys K, J and S, retro and main thrust and focus changes at random steps, some
// in bursts right after a release.
Flight randomFlight(Source& source, const std::string& name);

// A flight script of the runner (`TIME key K`, `TIME thrust GROUP LEVEL`, `TIME focus NAME`;
// saves are left out) read into actions; the flight lasts one second past its last command.
// Throws std::runtime_error naming the line for anything else.
Flight scriptedFlight(const std::string& name, const std::string& scenarioText,
                      const std::string& scriptText);

struct Result {
    std::string failure;  // empty when the flight resumed as it was after every save
    long saves = 0;       // saves reloaded and flown on
    long apart = 0;       // of those, where a tank within its written level of empty ran out a
                          // step apart, compared up to there
    long ambiguous = 0;   // saves left out: two vessels of one name
    long steps = 0;       // steps flown in all
};

// Flies the flight never saved, then again saving after some of its steps (0: right after
// loading), and flies each save on in a fresh world, comparing step by step. The saves: every
// step for a `stride` of 1; else every `stride`-th step and, around every step in which
// something other than motion and propellant changed (a deployment moving, a release, a dock, a
// key taken), the step before, the step itself and the one after. Files are written as
// `workFile` (relative to the root) and a sibling. `mostSaves` (0: any number) bounds the saves,
// spread over those.
Result check(const Flight& flight, long stride, const std::string& workFile, size_t mostSaves = 0);

}  // namespace resume

#endif  // RESUME_PROPERTY_H
