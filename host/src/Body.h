// The central body a vessel flies around: its constants as the simulator reads them from
// Config/<Body>.cfg, its rotation, and its atmosphere.
#ifndef HOST_BODY_H
#define HOST_BODY_H

#include "Orbitersdk.h"

#include <string>

namespace host {
namespace detail {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;

// The simulator's gravitational constant (its core's, a little off the SDK's GGRAV rounding).
constexpr double kGrav = 6.67259e-11;

struct AtmosphereSample {
    double T = 0.0, p = 0.0, rho = 0.0;
};

struct CentralBody {
    std::string name;  // as the configuration file spells it
    double mass = 0.0, size = 0.0, mu = 0.0;
    // Rotation: sidereal period, the angle at the scenario's start (offset, date and precession
    // merged as the simulator merges them), obliquity and the precession of the axis.
    double rotT = 1e100, rotOmega = 0.0, dphi = 0.0;
    double obliquity = 0.0, lan0 = 0.0, lanMjd = 51544.5, precOmega = 0.0;
    double sinObliquity = 0.0, cosObliquity = 1.0;
    // 0: none; 1: exponential from AtmPressure0/AtmDensity0; 2: the Earth's Jacchia-71/Gill.
    int atmModel = 0;
    double p0 = 0.0, rho0 = 0.0, gasR = 286.91, gamma = 1.4, altLimit = 0.0, expC = 0.0;

    // The Earth moves round the Sun; the host carries no ephemeris of other bodies.
    bool orbitsSun = false;

    bool hasAtmosphere() const { return atmModel != 0; }
    double atmRadLimit() const { return size + altLimit; }
    double soundSpeed(double T) const;
    // Planet-local to global rotation at simulation time `t` (date `mjd`).
    MATRIX3 rotation(double t, double mjd) const;
    // Temperature, pressure and density at altitude `alt` over the mean radius; zeros above the
    // model's limit. `rot` is the body's rotation at `mjd` (the upper atmosphere follows the
    // Sun).
    AtmosphereSample atmosphere(double alt, double mjd, const MATRIX3& rot) const;
    // Place and velocity in the global (ecliptic, heliocentric) frame at date `mjd`; the
    // origin for a body without an orbit.
    void globalState(double mjd, VECTOR3& pos, VECTOR3& vel) const;
};

// The body of that name as Config/<name>.cfg in the root describes it (read once per root),
// null where there is no such file. `mjd0` is the date at simulation time 0.
const CentralBody* centralBody(const std::string& name, double mjd0);
void forgetBodies();

// Position and velocity relative to the body for the ELEMENTS of a vessel of mass `m` at
// simulation time `t`, date `mjdRef` at time 0: semi-major axis [m], eccentricity,
// inclination, longitude of the ascending node, longitude of periapsis, mean longitude at
// `epochMjd` [rad].
void elementsToState(double a, double e, double i, double lan, double lpe, double meanLng,
                     double epochMjd, double mu, double mjdRef, double t, VECTOR3& pos,
                     VECTOR3& vel);

}  // namespace detail
}  // namespace host

#endif  // HOST_BODY_H
