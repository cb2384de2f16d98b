#include "Plot.h"

#include "InputError.h"

#include <plplot/plstream.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>

namespace runner {

namespace {

struct Series {
    std::vector<PLFLT> t, v;
};

struct Panel {
    const char* title;
    const char* yLabel;
    bool fromZero;  // the axis starts at 0 (otherwise it fits the values)
    std::function<std::optional<double>(const Sample&)> value;
};

// Line colours that stay apart from each other on a white page (colour map 0 entries 1 to 6).
const int kLineRgb[][3] = {{31, 119, 180}, {255, 127, 14}, {44, 160, 44},
                           {214, 39, 40},  {148, 103, 189}, {140, 86, 75}};
const int kLineColours[] = {1, 2, 3, 4, 5, 6};

}  // namespace

void writeFlightPlot(const std::string& file, const std::string& title,
                     const std::vector<Sample>& samples) {
    {
        // PLplot reports an unwritable file by exiting; find out first.
        std::ofstream probe(file, std::ios::binary | std::ios::trunc);
        if (!probe) throw InputError(file + ": cannot write the plot");
    }

    std::vector<std::string> vessels;
    double tMax = 0.0;
    for (const Sample& s : samples) {
        if (std::find(vessels.begin(), vessels.end(), s.vessel) == vessels.end())
            vessels.push_back(s.vessel);
        tMax = std::max(tMax, s.time);
    }
    if (tMax <= 0.0) tMax = 1.0;

    const Panel panels[] = {
        {"Deployment", "state (0 stowed, 1 deployed)", true,
         [](const Sample& s) { return s.deployState; }},
        {"Mass", "mass (kg)", true, [](const Sample& s) { return std::optional<double>(s.massKg); }},
        {"Retro propellant", "propellant (kg)", true,
         [](const Sample& s) { return s.retroPropellantKg; }},
        {"Speed", "speed (m/s)", false, [](const Sample& s) { return std::optional<double>(s.speedMps); }},
    };

    auto pls = std::make_unique<plstream>();
    pls->sdev("svg");
    pls->sfnam(file.c_str());
    pls->spage(0, 0, 1200, 900, 0, 0);
    pls->scolbg(255, 255, 255);
    pls->scol0(15, 0, 0, 0);  // used for frames and text below
    for (int i = 0; i < 6; ++i) pls->scol0(i + 1, kLineRgb[i][0], kLineRgb[i][1], kLineRgb[i][2]);
    pls->setopt("quiet", "");
    pls->init();
    pls->adv(0);
    pls->col0(15);
    pls->schr(0, 0.65);

    // Title strip on top, then a 2 x 2 grid of panels.
    pls->vpor(0.0, 1.0, 0.955, 1.0);
    pls->wind(0.0, 1.0, 0.0, 1.0);
    pls->mtex("t", -1.5, 0.5, 0.5, title.c_str());

    const double cellX[2] = {0.10, 0.59};
    const double cellY[2] = {0.52, 0.07};
    for (int p = 0; p < 4; ++p) {
        const Panel& panel = panels[p];
        std::map<std::string, Series> series;
        double lo = 0.0, hi = 0.0;
        bool any = false;
        for (const Sample& s : samples) {
            std::optional<double> v = panel.value(s);
            if (!v || !std::isfinite(*v)) continue;
            Series& ser = series[s.vessel];
            ser.t.push_back(s.time);
            ser.v.push_back(*v);
            if (!any) lo = hi = *v;
            lo = std::min(lo, *v);
            hi = std::max(hi, *v);
            any = true;
        }
        if (panel.fromZero) lo = std::min(lo, 0.0);
        if (hi - lo < 1e-9 * std::max(1.0, std::fabs(hi))) {
            lo -= 0.5;
            hi += 0.5;
        }
        const double pad = (hi - lo) * 0.08;
        hi += pad;
        if (!panel.fromZero) lo -= pad;

        const double x0 = cellX[p % 2], y0 = cellY[p / 2];
        pls->col0(15);
        pls->vpor(x0, x0 + 0.37, y0, y0 + 0.32);
        pls->wind(0.0, tMax, lo, hi);
        pls->box("bcnstg", 0.0, 0, "", 0.0, 0);
        // Speeds in orbit change by a few m/s on a base of thousands: label them with decimals.
        const double span = hi - lo;
        const int decimals = span < 10.0 ? 2 : span < 100.0 ? 1 : 0;
        pls->prec(1, decimals);
        pls->box("", 0.0, 0, "bcnstvg", 0.0, 0);
        pls->prec(0, 0);
        char widest[64];
        std::snprintf(widest, sizeof widest, "%.*f", decimals,
                      std::max(std::fabs(lo), std::fabs(hi)) * (lo < 0 ? -1 : 1));
        pls->lab("time (s)", "", panel.title);
        pls->mtex("l", 1.8 + 1.05 * static_cast<double>(std::strlen(widest)), 0.5, 0.5,
                  panel.yLabel);

        for (std::size_t i = 0; i < vessels.size(); ++i) {
            auto it = series.find(vessels[i]);
            if (it == series.end() || it->second.t.empty()) continue;
            pls->col0(kLineColours[i % std::size(kLineColours)]);
            pls->width(2.0);
            pls->line(static_cast<PLINT>(it->second.t.size()), it->second.t.data(),
                      it->second.v.data());
            pls->width(1.0);
        }
        if (!any) {
            pls->col0(15);
            pls->ptex(tMax / 2, (lo + hi) / 2, 1.0, 0.0, 0.5, "(no vessel has this)");
        }
    }

    // Legend: one coloured entry per vessel under the title.
    pls->vpor(0.09, 0.96, 0.91, 0.945);
    pls->wind(0.0, 1.0, 0.0, 1.0);
    const double step = 1.0 / static_cast<double>(std::max<std::size_t>(vessels.size(), 4));
    for (std::size_t i = 0; i < vessels.size(); ++i) {
        const double x = step * static_cast<double>(i);
        PLFLT lx[2] = {x, x + 0.04}, ly[2] = {0.5, 0.5};
        pls->col0(kLineColours[i % std::size(kLineColours)]);
        pls->width(3.0);
        pls->line(2, lx, ly);
        pls->width(1.0);
        pls->col0(15);
        pls->ptex(x + 0.05, 0.5, 1.0, 0.0, 0.0, vessels[i].c_str());
    }
    pls.reset();  // ends the page and closes the file
}

}  // namespace runner
