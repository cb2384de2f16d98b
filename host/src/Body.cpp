// The central body: constants from its configuration file, rotation, atmosphere and orbital
// elements, each as the simulator computes them.
#include "Body.h"

#include "World.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

namespace host {
namespace detail {

namespace {

constexpr double kMjd2000 = 51544.5;

// The Jacchia-71 atmosphere above 90 km as fitted by Gill: polynomial coefficients in altitude
// and exospheric temperature (eight sections of density, three of helium number density) and
// the simulator's own fit of the molecular weight.
const double kDensity[240] = {
    -3.520856290e+01, 1.129210280e+03,  -1.527475160e+04, 9.302041770e+04,  -2.734394420e+05,
    3.149696340e+05,  3.912622080e+00,  1.198158100e+03,  -3.558480940e+04, 3.646554350e+05,
    -1.576097090e+06, 2.487722800e+06,  -8.649258580e+01, 8.633793600e+02,  1.899242640e+04,
    -3.290363950e+05, 1.685830890e+06,  -2.899123930e+06, 1.504119210e+02,  -3.577091090e+03,
    2.508240470e+04,  -1.209631170e+04, -4.282942740e+05, 1.111903980e+06,  -7.109427790e+01,
    1.970557580e+03,  -1.968253200e+04, 8.438137220e+04,  -1.345593320e+05, 3.294094980e+03,
    -5.335411780e+01, 1.977532560e+03,  -2.993620060e+04, 2.112067800e+05,  -7.209721490e+05,
    9.625966390e+05,  2.900556750e+01,  -7.091478040e+02, 5.187285950e+03,  -4.483029040e+03,
    -7.684100870e+04, 2.123126990e+05,  -2.046438540e+01, 4.398537510e+02,  -1.989794860e+03,
    -1.349970480e+04, 1.256236200e+05,  -2.622792850e+05, 7.977148770e+00,  -1.568719520e+02,
    3.643165760e+02,  9.510011820e+03,  -6.805698560e+04, 1.337129840e+05,  -1.335852940e+00,
    2.615466240e+01,  -5.700668840e+01, -1.653725080e+03, 1.181257020e+04,  -2.329995090e+04,
    2.311910140e+01,  -1.057775910e+03, 1.177229610e+04,  -5.827663340e+04, 1.254588760e+05,
    -9.452922270e+04, 1.355297930e+02,  6.087973200e+02,  -3.164132340e+04, 2.188167430e+05,
    -5.434709900e+05, 4.408025700e+05,  -8.424310120e+02, 8.690565630e+03,  -1.076322680e+03,
    -2.422911490e+05, 8.123015890e+05,  -7.379409710e+05, 1.287330750e+03,  -1.715922130e+04,
    6.302629270e+04,  2.461285880e+04,  -4.490438410e+05, 5.095272600e+05,  -6.181209340e+02,
    9.052670600e+03,  -4.312459350e+04, 6.044095520e+04,  5.007458290e+04,  -1.154191970e+05,
    4.041761220e+01,  -8.127720130e+02, 5.130042480e+03,  -1.600170070e+04, 2.384717680e+04,
    -1.363103880e+04, -1.305719010e+02, 2.273565110e+03,  -1.501307630e+04, 4.770468850e+04,
    -7.199064070e+04, 4.153499300e+04,  1.466808930e+02,  -2.577261410e+03, 1.717141700e+04,
    -5.473492280e+04, 8.284653040e+04,  -4.793580810e+04, -7.120295540e+01, 1.259044830e+03,
    -8.441697980e+03, 2.699667780e+04,  -4.098357880e+04, 2.377854040e+04,  1.269605390e+01,
    -2.254977990e+02, 1.518796340e+03,  -4.870305680e+03, 7.411926000e+03,  -4.310232620e+03,
    -1.815721470e+03, 9.851221220e+03,  -1.822931620e+04, 1.298113440e+04,  -1.533509540e+03,
    -1.263679690e+03, 9.792971630e+03,  -5.397524530e+04, 1.002429820e+05,  -7.113430130e+04,
    7.815536940e+03,  7.265792060e+03,  -1.831374270e+04, 9.993168980e+04,  -1.784481160e+05,
    1.106374780e+05,  7.037562190e+03,  -2.092909060e+04, 1.385254790e+04,  -7.259456010e+04,
    1.145178330e+05,  -3.825776520e+04, -4.674635920e+04, 2.936094100e+04,  -3.451233960e+03,
    1.622553000e+04,  -1.641933910e+04, -1.666914820e+04, 3.516948600e+04,  -1.491675820e+04,
    -4.021334950e+01, 4.255789050e+02,  -1.821662040e+03, 3.070230800e+03,  -2.196847530e+03,
    5.494958630e+02,  -1.326982580e+02, 3.528126230e+02,  7.905357050e+02,  -2.941540270e+03,
    2.585118090e+03,  -6.604225070e+02, 3.778863960e+02,  -2.077888430e+03, 3.934270570e+03,
    -3.276639030e+03, 1.382776230e+03,  -3.328076630e+02, -2.808660170e+02, 1.726543090e+03,
    -3.969333590e+03, 4.420216540e+03,  -2.533006020e+03, 6.335703360e+02,  6.513531180e+01,
    -4.191476610e+02, 1.027990730e+03,  -1.230778300e+03, 7.451387100e+02,  -1.879811710e+02,
    3.548697560e+02,  -5.370851510e+02, -2.349586420e+01, 3.407073420e+02,  -1.698470980e+02,
    2.497973370e+01,  -2.508685440e+03, 4.182585980e+03,  -8.941841060e+02, -1.531588210e+03,
    8.985696610e+02,  -1.389617720e+02, 6.252742190e+03,  -1.151114240e+04, 4.417927000e+03,
    2.179045210e+03,  -1.704797280e+03, 2.820058130e+02,  -6.755375910e+03, 1.338915250e+04,
    -6.732817430e+03, -8.841340550e+02, 1.363098430e+03,  -2.472861860e+02, 2.675763010e+03,
    -5.610580410e+03, 3.312608190e+03,  -1.369768610e+02, -3.812417350e+02, 7.896439010e+01,
    1.281061440e+01,  2.024251050e+02,  -5.750742760e+02, 5.106207140e+02,  -1.898952800e+02,
    2.569576820e+01,  -3.389179040e+02, 1.668302010e+02,  8.259823110e+02,  -1.032012230e+03,
    4.347501070e+02,  -6.282710270e+01, 6.861934620e+02,  -1.147875590e+03, 2.329831960e+02,
    4.851873520e+02,  -2.986011200e+02, 4.971076990e+01,  -4.667627220e+02, 9.918940200e+02,
    -6.503358820e+02, 8.214097400e+01,  5.423179770e+01,  -1.404384740e+01, 1.029662350e+02,
    -2.430215280e+02, 1.997988900e+02,  -6.527048150e+01, 5.039459020e+00,  8.450500020e-01,
};
const double kHelium[90] = {
    1.831549360e+01,  -7.374008400e-02, 4.384164190e-04,  -1.411194640e-06, 2.153638630e-09,
    -1.255138540e-12, 5.887556290e-03,  -1.251076970e-04, 8.657027300e-07,  -2.483834350e-09,
    3.421943820e-12,  -1.827252980e-15, -4.813257060e-06, 1.039269200e-07,  -7.216945770e-10,
    2.004107220e-12,  -2.628960700e-15, 1.321581080e-18,  1.701738000e-09,  -3.679279710e-11,
    2.481533700e-13,  -6.244985400e-16, 7.085655250e-19,  -2.887397640e-22, -2.128373670e-13,
    4.555258220e-15,  -2.859074440e-17, 5.561003550e-20,  -3.279804170e-23, -7.827178420e-27,
    1.627088650e+01,  -1.958296520e-02, 2.514251060e-05,  -2.983313530e-08, 1.802028090e-11,
    -4.243067440e-15, -1.786816410e-02, 1.386126450e-04,  -3.806338900e-07, 5.855850830e-10,
    -4.382877700e-13, 1.268830160e-16,  3.079078980e-05,  -2.532462720e-07, 7.692376060e-10,
    -1.210663170e-12, 9.201530310e-16,  -2.695807440e-19, -2.043430610e-08, 1.714182980e-10,
    -5.394765700e-13, 8.561631620e-16,  -6.543935140e-19, 1.925469170e-22,  4.643418880e-12,
    -3.934230080e-14, 1.260303890e-16,  -2.009030180e-19, 1.540219610e-22,  -4.542329210e-26,
    1.873345920e+01,  -2.362530180e-02, 1.893899100e-05,  -1.132198090e-08, 3.465013470e-12,
    -4.156709580e-16, 2.285683210e-02,  -6.907612940e-05, 1.145959800e-07,  -7.438326460e-11,
    2.308943160e-14,  -2.791929820e-18, -6.860775680e-05, 2.251679740e-07,  -3.183258670e-10,
    2.040287670e-13,  -6.320466410e-17, 7.632792370e-21,  5.379622600e-08,  -1.795937420e-10,
    2.461075550e-13,  -1.573191250e-16, 4.871418500e-20,  -5.881111520e-24, -1.327558850e-11,
    4.463659260e-14,  -6.040423070e-17, 3.857031790e-20,  -1.194138860e-23, 1.441455050e-27,
};
const double kMolecularWeight[45] = {
    3.609066270e+00,  -1.357612900e+01, 2.554659820e+01,  -1.772046990e+01, 4.076966830e+00,
    -1.356066360e+01, 1.290849560e+02,  -2.846125340e+02, 2.128225040e+02,  -5.113083500e+01,
    -1.252078100e+01, -3.195796900e+02, 9.777187510e+02,  -8.218512760e+02, 2.098377470e+02,
    6.982684840e+01,  4.028019880e+02,  -1.699888810e+03, 1.571647960e+03,  -4.215615340e+02,
    -8.441869880e+01, -2.887555470e+02, 1.670908760e+03,  -1.672744010e+03, 4.676671190e+02,
    4.427356790e+01,  1.245929500e+02,  -9.689636040e+02, 1.038503370e+03,  -3.010060870e+02,
    -7.927120880e+00, -3.812004930e+01, 3.348757780e+02,  -3.773851600e+02, 1.126343380e+02,
    -1.149882230e+00, 9.200283010e+00,  -6.521573310e+01, 7.510243250e+01,  -2.286831270e+01,
    4.136702140e-01,  -1.187257730e+00, 5.604335850e+00,  -6.369836710e+00, 1.957061360e+00,
};

// ---------------------------------------------------------------------------------------------
// The 1976 standard atmosphere (as Jacchia-77 carries it below 90 km) and the upper model.

struct Layer {
    double top;    // km of geometric altitude, the layer's upper end
    double base;   // km of geopotential altitude
    double pBase;  // pressure at the base over sea level pressure
    double tBase;  // K
    double lapse;  // K per km of geopotential altitude
};

// Two tables: the temperature's layer ends (exclusive) and the density's (inclusive) differ by
// where the model switches, so each keeps its own.
constexpr Layer kTempLayers[] = {
    {12, 0, 1.0, 288.15, -6.5},           {21, 11, 2.233611e-1, 216.65, 0.0},
    {33, 20, 5.403295e-2, 216.65, 1.0},   {48, 32, 8.5666784e-3, 228.65, 2.8},
    {52, 47, 1.0945601e-3, 270.65, 0.0},  {72, 51, 6.6063531e-4, 270.65, -2.8},
    {86, 71, 3.9046834e-5, 214.65, -2.0},
};
constexpr Layer kDensLayers[] = {
    {11, 0, 1.0, 288.15, -6.5},           {20, 11, 2.233611e-1, 216.65, 0.0},
    {32, 20, 5.403295e-2, 216.65, 1.0},   {47, 32, 8.5666784e-3, 228.65, 2.8},
    {51, 47, 1.0945601e-3, 270.65, 0.0},  {71, 51, 6.6063531e-4, 270.65, -2.8},
    {85, 71, 3.9046834e-5, 214.65, -2.0},
};

constexpr double kMeanMolWeight = 28.96;  // sea-level air, g/mol
constexpr double kAvogadro = 6.02257e26;  // per kmol, as the model takes it
constexpr double kBoltzmann = 1.38066e-23;

double geopotential(double z) { return z * 6369.0 / (z + 6369.0); }

// Molecular weight below 90 km: dissociation above 85 km lowers it a little.
double molWeightLow(double z) {
    const double y = std::pow(10.0, -3.7469 + (z - 85.0) * (0.226434 - (z - 85.0) * 5.945e-3));
    return kMeanMolWeight * (1.0 - y);
}

// Temperature [K] at `z` km for exospheric temperature `tinf`.
double temperature(double z, double tinf) {
    if (z < 86.0) {
        const double h = geopotential(z);
        for (const Layer& l : kTempLayers)
            if (z < l.top) return l.tBase + l.lapse * (h - l.base);
    }
    if (z < 91.0 || tinf < 188.1) return 188.0;
    const double x = 0.0045 * (tinf - 188.0);
    const double tx = 188.0 + 110.5 * std::log(x + std::sqrt(x * x + 1.0));
    const double gx = 0.5 * kPi * 1.9 * (tx - 188.0) / (125.0 - 90.0);
    const double d = z - 125.0;
    if (z < 126.0)
        return tx +
               ((tx - 188.0) / (0.5 * kPi)) *
                   std::atan((gx / (tx - 188.0)) * d * (1.0 + 1.7 * std::pow(d / (z - 90.0), 2)));
    return tx +
           ((tinf - tx) / (0.5 * kPi)) * std::atan((gx / (tinf - tx)) * d * (1.0 + 5.5e-5 * d * d));
}

// Mass density [kg/m^3] below 90 km.
double densityLow(double z) {
    double cm = 0.0;  // particle number density
    if (z <= 85.0) {
        const double h = geopotential(z);
        const Layer* l = &kDensLayers[6];
        for (const Layer& c : kDensLayers)
            if (z <= c.top) {
                l = &c;
                break;
            }
        double t, x;
        if (l->lapse != 0.0) {
            t = l->tBase + l->lapse * (h - l->base);
            x = std::pow(l->tBase / t, 34.163195 / l->lapse);
        } else {
            t = l->tBase;
            x = std::exp(-34.163195 * (h - l->base) / l->tBase);
        }
        cm = 2.547e19 * (288.15 / t) * l->pBase * x;
    } else {
        // 85 to 90 km: the barometric equation integrated in 1 km steps at 188 K with the
        // changing molecular weight, then interpolated linearly.
        double pz = 85.0, pt = 188.8889, pcm = 1.7083677e14, pwm = 28.954813;
        const double hz = std::ceil(z);
        for (double sz = 86.0; sz <= hz + 0.5; sz += 1.0) {
            const double t = 188.0;
            const double wm = molWeightLow(sz);
            cm = pcm * (pt / t) * (wm / pwm) *
                 std::exp(-0.5897446 * ((pwm / pt) * std::pow(1.0 + pz / 6356.766, -2) +
                                        (wm / t) * std::pow(1.0 + sz / 6356.766, -2)));
            if (sz <= hz - 0.5) {
                pz = sz;
                pt = t;
                pcm = cm;
                pwm = molWeightLow(sz);
            }
        }
        cm = (z - pz) * (cm - pcm) + pcm;
    }
    return molWeightLow(z) * cm * (1e3 / 6.02257e23);
}

// Sum over the 5 x 6 block of a fit: coefficient [m][n] times t^m z^n.
double block(const double* c, double t, double z) {
    double sum = 0.0, tm = 1.0;
    for (int m = 0; m < 5; ++m, tm *= t) {
        double zn = 1.0;
        for (int n = 0; n < 6; ++n, zn *= z) sum += c[m * 6 + n] * tm * zn;
    }
    return sum;
}

// log10 of the density for 90..2500 km, exospheric temperature `tinf` [K].
double densityFit(double z, double tinf) {
    static const double kZ[] = {0.18, 0.50, 1.00, 2.50};
    const double t = tinf * 1e-3, s = z * 1e-3;
    if (s < 0.09) return 0.0;
    const int hot = t > 0.85 ? 1 : 0;
    for (int i = 0; i < 4; ++i)
        if (s <= kZ[i]) return block(kDensity + (2 * i + hot) * 30, t, s);
    return 0.0;
}

// log10 of the helium number density [1/m^3] (unscaled altitude and temperature).
double heliumFit(double z, double tinf) {
    static const double kZ[] = {500.0, 1000.0, 2500.0};
    if (z < 90.0) return 0.0;
    for (int i = 0; i < 3; ++i)
        if (z <= kZ[i]) return block(kHelium + i * 30, tinf, z);
    return 0.0;
}

double molWeightFit(double z, double tinf) {
    const double t = tinf * 1e-3, s = z * 1e-3;
    double sum = 0.0, zn = 1.0;
    for (int n = 0; n <= 8; ++n, zn *= s) {
        double tm = 1.0;
        for (int m = 0; m <= 4; ++m, tm *= t) sum += kMolecularWeight[n * 5 + m] * tm * zn;
    }
    return std::pow(10.0, sum);
}

// The Sun seen from the Earth by the Astronomical Almanac's low-precision formula (good to 0.01
// degree between 1950 and 2050): ecliptic longitude [rad] at `mjd`, its latitude taken as zero,
// and distance [AU]; with their rates per day where asked.
constexpr double kSunMeanRate = 0.9856474, kSunAnomalyRate = 0.9856003;  // degrees per day

double sunLongitude(double mjd, double* rate = nullptr) {
    const double n = mjd - kMjd2000;
    const double L = (280.460 + kSunMeanRate * n) * RAD;
    const double g = (357.528 + kSunAnomalyRate * n) * RAD;
    if (rate)
        *rate = (kSunMeanRate +
                 kSunAnomalyRate * RAD * (1.915 * std::cos(g) + 2.0 * 0.020 * std::cos(2.0 * g))) *
                RAD;
    return L + (1.915 * RAD) * std::sin(g) + (0.020 * RAD) * std::sin(2.0 * g);
}

double sunDistance(double mjd, double* rate) {
    const double g = (357.528 + kSunAnomalyRate * (mjd - kMjd2000)) * RAD;
    *rate = (0.01671 * std::sin(g) + 2.0 * 0.00014 * std::sin(2.0 * g)) * kSunAnomalyRate * RAD;
    return 1.00014 - 0.01671 * std::cos(g) - 0.00014 * std::cos(2.0 * g);
}

constexpr double kAu = 1.495978707e11;  // m

struct SunCache {
    double mjd = -1e10;
    double lng = 0.0, lat = 0.0;
    // What depends on the Sun's latitude alone (the model evaluates at latitude 0).
    double stheta = 0.0, ceta = 0.0, dHe = 0.0;
};

// Solar flux and geomagnetic index the model assumes, and what follows from them alone.
constexpr double kFbar = 140.0, kKp = 3.0;
constexpr double kTc = 379.0 + 3.24 * kFbar;  // night-time global exospheric temperature

AtmosphereSample jacchia(const CentralBody& b, double alt, double mjd, const MATRIX3& rot,
                         SunCache& sun) {
    const double ck = kAvogadro * kBoltzmann;
    const double z = alt * 1e-3;
    AtmosphereSample s;
    double mw;
    if (z < 90.0) {
        s.T = temperature(z, 0.0);
        s.rho = densityLow(z);
        mw = molWeightLow(z);
    } else {
        // The sub-solar point in the body's frame, refreshed once an hour and turned with the
        // body in between, as the model does; it evaluates at longitude and latitude 0.
        if (std::fabs(mjd - sun.mjd) > 0.0417) {
            const double l = sunLongitude(mjd);
            const VECTOR3 d = tmul(rot, _V(std::cos(l), 0.0, std::sin(l)));
            sun.lng = std::atan2(d.z, d.x);
            sun.lat = std::asin(d.y / length(d));
            sun.mjd = mjd;
            sun.stheta = std::pow(0.5 * (1.0 - std::cos(sun.lat)), 1.1);
            sun.ceta = std::pow(0.5 * (1.0 + std::cos(sun.lat)), 1.1);
            // Seasonal-latitudinal helium: its factor at latitude 0.
            sun.dHe = 0.65 * std::fabs(sun.lat) / 0.4091609 *
                      (std::pow(std::sin(0.25 * kPi), 3) - 0.3535534);
        }
        static const double expKp = std::exp(kKp);
        static const double dTg18 = 28.0 * kKp + 0.03 * expKp;
        static const double dTg20 = 14.0 * kKp + 0.02 * expKp;
        static const double dGm20 = 0.012 * kKp + 1.2e-5 * expKp;
        static const double gt = 0.02835 + 0.3817 *
                                               (1.0 + 0.4671 * std::sin(kTwoPi * kTc + 4.137)) *
                                               std::sin(4.0 * kPi * kTc + 4.259);
        double slng = sun.lng - kTwoPi * (mjd - sun.mjd) * 86400.0 / b.rotT;
        if (slng < -kPi) slng += kTwoPi;
        // Hour angle of the Sun, modified; the day's temperature swing.
        const double H = -slng;
        double tau = H - 0.64577 + 0.10472 * std::sin(H + 0.7505) + 3.0 * kPi;
        tau = std::fmod(tau, kTwoPi) - kPi;
        const double c = std::cos(0.5 * tau);
        const double tl = kTc * (1.0 + 0.3 * (sun.stheta + (sun.ceta - sun.stheta) * c * c * c));
        // Geomagnetic activity, blended across 350 km.
        const double f = 0.5 * (std::tanh(0.04 * (z - 350.0)) + 1.0);
        const double dGm = dGm20 * (1.0 - f);
        const double tinf = tl + dTg20 * (1.0 - f) + dTg18 * f;
        // Semi-annual variation (the seasonal-latitudinal term vanishes at latitude 0).
        const double fz = (5.876e-7 * std::pow(z, 2.33) + 0.06328) * std::exp(-2.868e-3 * z);
        const double dSa = fz * gt;
        const double dHe = std::pow(10.0, heliumFit(z, tinf) + (sun.dHe - 1.0)) * 4.002 / kAvogadro;
        s.T = temperature(z, tinf);
        s.rho = std::pow(10.0, densityFit(z, tinf) + dGm + dSa) + dHe;
        mw = molWeightFit(z, tinf);
    }
    s.p = s.rho * ck / mw * s.T;
    return s;
}

std::map<std::string, std::unique_ptr<CentralBody>>& bodyCache() {
    static auto* m = new std::map<std::string, std::unique_ptr<CentralBody>>;
    return *m;
}

SunCache& sunCache(const CentralBody* b) {
    static auto* m = new std::map<const CentralBody*, SunCache>;
    return (*m)[b];
}

bool itemReal(const std::vector<std::string>& lines, const char* key, double& out) {
    std::string v;
    if (!classItem(lines, key, v)) return false;
    const char* p = v.c_str();
    return scanDouble(p, out);
}

}  // namespace

double CentralBody::soundSpeed(double T) const {
    return hasAtmosphere() ? std::sqrt(gamma * gasR * T) : 0.0;
}

MATRIX3 CentralBody::rotation(double t, double mjd) const {
    // The axis precesses about the ecliptic pole; the body turns about its axis (local y).
    const double lrel = lan0 + precOmega * (mjd - lanMjd);
    const double sl = std::sin(lrel), cl = std::cos(lrel);
    const double se = sinObliquity, ce = cosObliquity;
    const double r = dphi + t * rotOmega - lrel * ce;
    const double sr = std::sin(r), cr = std::cos(r);
    const MATRIX3 tilt = _M(cl, -sl * se, -sl * ce, 0, ce, -se, sl, cl * se, cl * ce);
    const MATRIX3 spin = _M(cr, 0, -sr, 0, 1, 0, sr, 0, cr);
    return mulMM(tilt, spin);
}

AtmosphereSample CentralBody::atmosphere(double alt, double mjd, const MATRIX3& rot) const {
    if (atmModel == 0 || alt > altLimit) return {};
    if (atmModel == 1) {
        AtmosphereSample s;
        s.T = 288.16;
        s.p = p0 * std::exp(-expC * alt);
        s.rho = s.p * rho0 / p0;
        return s;
    }
    return jacchia(*this, alt, mjd, rot, sunCache(this));
}

void CentralBody::globalState(double mjd, VECTOR3& pos, VECTOR3& vel) const {
    if (!orbitsSun) {
        pos = vel = VECTOR3{};
        return;
    }
    // Opposite the Sun as the Earth sees it; ecliptic longitude l lies along (cos l, 0, sin l)
    // in the simulator's left-handed frame.
    double dl, dr;
    const double l = sunLongitude(mjd, &dl), r = sunDistance(mjd, &dr);
    const double cl = std::cos(l), sl = std::sin(l);
    pos = _V(-r * cl, 0.0, -r * sl) * kAu;
    vel = _V(-(dr * cl - r * dl * sl), 0.0, -(dr * sl + r * dl * cl)) * (kAu / 86400.0);
}

const CentralBody* centralBody(const std::string& name, double mjd0) {
    auto& cache = bodyCache();
    const std::string key = lower(name) + "@" + formatNumber(mjd0);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second.get();
    std::unique_ptr<CentralBody>& slot = cache[key];
    std::vector<std::string> lines;
    const std::string path = findFileNoCase("Config/" + name + ".cfg");
    if (name.empty() || path.empty() || !readLines(path, lines)) return nullptr;
    auto b = std::make_unique<CentralBody>();
    b->name = name;
    b->orbitsSun = equalsNoCase(trimLine(name), "Earth");
    if (!itemReal(lines, "Mass", b->mass) || !itemReal(lines, "Size", b->size)) return nullptr;
    b->mu = kGrav * b->mass;
    itemReal(lines, "SidRotPeriod", b->rotT);
    itemReal(lines, "SidRotOffset", b->dphi);
    itemReal(lines, "Obliquity", b->obliquity);
    b->sinObliquity = std::sin(b->obliquity);
    b->cosObliquity = std::cos(b->obliquity);
    itemReal(lines, "LAN", b->lan0);
    itemReal(lines, "LAN_MJD", b->lanMjd);
    double precT = 0.0;
    itemReal(lines, "PrecessionPeriod", precT);
    b->precOmega = precT != 0.0 ? kTwoPi / precT : 0.0;
    b->rotOmega = kTwoPi / b->rotT;
    // The angle at time 0: the date's turns since the body's epoch (J2000) and the precession
    // state merged into the offset.
    b->dphi += (mjd0 - kMjd2000) * (86400.0 / b->rotT) * kTwoPi;
    b->dphi += b->lan0 * std::cos(b->obliquity);
    b->dphi = std::fmod(b->dphi, kTwoPi);

    // The atmosphere: the user's choice in Config/<Body>/Atmosphere.cfg, else the body's
    // default module; the Earth's Jacchia-71/Gill is the one the host carries. Without a module
    // the file's sea-level pressure and density give an exponential one.
    std::string model;
    std::vector<std::string> atmLines;
    const std::string atmPath = findFileNoCase("Config/" + name + "/Atmosphere.cfg");
    if (!atmPath.empty() && readLines(atmPath, atmLines)) classItem(atmLines, "MODULE_ATM", model);
    if (model.empty()) classItem(lines, "Module_Atm", model);
    if (equalsNoCase(trimLine(model), "EarthAtmJ71G")) {
        b->atmModel = 2;
        b->p0 = 101325.0;
        b->rho0 = 1.2247;
        b->altLimit = 2500e3;
    } else if (itemReal(lines, "AtmPressure0", b->p0) && itemReal(lines, "AtmDensity0", b->rho0)) {
        b->atmModel = 1;
    }
    if (b->atmModel) {
        if (!itemReal(lines, "AtmAltLimit", b->altLimit) && b->altLimit == 0.0) b->altLimit = 200e3;
        itemReal(lines, "AtmGasConstant", b->gasR);
        itemReal(lines, "AtmGamma", b->gamma);
        b->expC = b->rho0 * (b->mu / (b->size * b->size)) / b->p0;
    }
    slot = std::move(b);
    return slot.get();
}

void forgetBodies() {
    // Kept alive: a vessel's record or a cached rotation may still name one; a new body must
    // never reuse its address.
    static auto* retired = new std::vector<std::unique_ptr<CentralBody>>;
    for (auto& b : bodyCache())
        if (b.second) retired->push_back(std::move(b.second));
    bodyCache().clear();
}

void elementsToState(double a, double e, double i, double lan, double lpe, double meanLng,
                     double epochMjd, double mu, double mjdRef, double t, VECTOR3& pos,
                     VECTOR3& vel) {
    const double p = std::max(0.0, a * (1.0 - e * e));
    const double muh = std::sqrt(mu / p);
    const double n = e < 1.0 ? std::sqrt(mu / (a * a * a)) : std::sqrt(-mu / (a * a * a));
    const double period = kTwoPi / n;
    // Mean longitude moved to the reference date; periapsis time relative to it.
    const double L = meanLng + (mjdRef - epochMjd) * 86400.0 * n;
    const double tau = -(L - lpe) / n;
    const double omega = lpe - lan;  // argument of periapsis
    double ta;
    if (e < 1e-8) {
        ta = n * std::fmod(t - tau, period);
    } else {
        double ma = n * (t - tau);
        if (e < 1.0) {
            ma = std::fmod(ma, kTwoPi);
            if (ma < 0.0) ma += kTwoPi;
        }
        // Kepler's equation by Newton's method, steps limited to one radian.
        double E = ma;
        if (e < 1.0) {
            double res = ma - E + e * std::sin(E);
            for (int k = 0; std::fabs(res) > 1e-14 && k < 16; ++k) {
                E += std::max(-1.0, std::min(1.0, res / (1.0 - e * std::cos(E))));
                res = ma - E + e * std::sin(E);
            }
            ta = 2.0 * std::atan(std::sqrt((1.0 + e) / (1.0 - e)) * std::tan(0.5 * E));
        } else {
            double res = ma - e * std::sinh(E) + E;
            if (std::fabs(res) > std::fabs(ma)) E = 0.0, res = ma;
            for (int k = 0; std::fabs(res) > 1e-14 && k < 16; ++k) {
                E += std::max(-1.0, std::min(1.0, res / (e * std::cosh(E) - 1.0)));
                res = ma - e * std::sinh(E) + E;
            }
            const double ch = std::cosh(E);
            ta = std::acos((e - ch) / (e * ch - 1.0));
            if (E < 0.0) ta = -ta;
        }
    }
    const double r = p / (1.0 + e * std::cos(ta));
    const double sO = std::sin(lan), cO = std::cos(lan), si = std::sin(i), ci = std::cos(i);
    auto place = [&](double len, double u) {
        const double su = std::sin(u), cu = std::cos(u);
        return _V(len * (cO * cu - sO * su * ci), len * su * si, len * (sO * cu + cO * su * ci));
    };
    pos = place(r, ta + omega);
    const double vx = -muh * std::sin(ta), vz = muh * (e + std::cos(ta));
    vel = place(std::sqrt(vx * vx + vz * vz), std::atan2(vz, vx) + omega);
}

}  // namespace detail
}  // namespace host
