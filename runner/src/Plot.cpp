#include "Plot.h"

#include "InputError.h"

#include <plplot/plstream.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>

namespace runner {

// ---------------------------------------------------------------------------------------------

void Decimated::add(long step, double t, double v) {
    if (!std::isfinite(v)) return;
    if (buckets_.empty()) first_ = step >> shift_;
    // A step never comes before the first one; be safe if it did.
    long k = std::max(step >> shift_, first_);
    while (static_cast<std::size_t>(k - first_) >= kBuckets) {
        merge();
        k = std::max(step >> shift_, first_);
    }
    const std::size_t i = static_cast<std::size_t>(k - first_);
    if (i >= buckets_.size()) buckets_.resize(i + 1);
    Bucket& b = buckets_[i];
    if (!b.filled) {
        b.lo = b.hi = {t, v};
        b.filled = true;
        return;
    }
    if (v < b.lo.v) b.lo = {t, v};
    if (v > b.hi.v) b.hi = {t, v};
}

void Decimated::merge() {
    ++shift_;
    const long newFirst = first_ >> 1;
    std::vector<Bucket> merged;
    for (std::size_t i = 0; i < buckets_.size(); ++i) {
        const Bucket& b = buckets_[i];
        if (!b.filled) continue;
        const std::size_t j =
            static_cast<std::size_t>(((first_ + static_cast<long>(i)) >> 1) - newFirst);
        if (j >= merged.size()) merged.resize(j + 1);
        Bucket& m = merged[j];
        if (!m.filled) {
            m = b;
            continue;
        }
        if (b.lo.v < m.lo.v) m.lo = b.lo;
        if (b.hi.v > m.hi.v) m.hi = b.hi;
    }
    first_ = newFirst;
    buckets_.swap(merged);
}

std::vector<Decimated::Point> Decimated::points() const {
    std::vector<Point> out;
    out.reserve(2 * buckets_.size());
    for (const Bucket& b : buckets_) {
        if (!b.filled) continue;
        const bool loFirst = b.lo.t <= b.hi.t;
        out.push_back(loFirst ? b.lo : b.hi);
        if (b.lo.t != b.hi.t || b.lo.v != b.hi.v) out.push_back(loFirst ? b.hi : b.lo);
    }
    return out;
}

// ---------------------------------------------------------------------------------------------

namespace {

struct Panel {
    const char* title;
    const char* yLabel;
    bool fromZero;  // the axis starts at 0 (otherwise it fits the values)
    std::optional<double> (*value)(const Sample&);
};

const Panel kPanelList[PlotRecorder::kPanels] = {
    {"Altitude", "altitude (km)", true,
     [](const Sample& s) { return std::optional<double>(s.altitudeM / 1000.0); }},
    {"Speed", "airspeed (m/s)", true,
     [](const Sample& s) { return std::optional<double>(s.airspeedMps); }},
    {"G-load", "g-load (g)", true, [](const Sample& s) { return std::optional<double>(s.gLoad); }},
    {"Re-entry glow", "re-entry stream level (0..1)", true,
     [](const Sample& s) { return s.reentryLevel; }},
    {"Deployment", "state (0 stowed, 1 deployed)", true,
     [](const Sample& s) { return s.deployState; }},
    {"Retro propellant", "propellant (kg)", true,
     [](const Sample& s) { return s.retroPropellantKg; }},
};

// Line colours that stay apart from each other on a white page (colour map 0 entries 1 to 6),
// and the greys of the band of the other vessels (entries 7 and 8).
const int kLineRgb[PlotRecorder::kNamed][3] = {{31, 119, 180}, {255, 127, 14},  {44, 160, 44},
                                               {214, 39, 40},  {148, 103, 189}, {140, 86, 75}};
constexpr int kBandEdge = 7, kBandFill = 8, kMarker = 9, kText = 15;

// Legend labels stay short enough for their column, whatever the vessel is called: the legend
// is about 118 characters wide, and each entry's line sample takes the room of three.
std::string legendLabel(const std::string& name, std::size_t columns) {
    const std::size_t longest = 118 / columns - 4;
    return name.size() <= longest ? name : name.substr(0, longest - 3) + "...";
}

void drawLine(plstream& pls, const std::vector<Decimated::Point>& pts) {
    std::vector<PLFLT> t, v;
    for (const Decimated::Point& p : pts) {
        t.push_back(p.t);
        v.push_back(p.v);
    }
    if (t.size() == 1) {  // a single moment still shows
        pls.poin(1, t.data(), v.data(), 1);
        return;
    }
    pls.line(static_cast<PLINT>(t.size()), t.data(), v.data());
}

// The other vessels' range: a filled band between the least and the greatest value of each
// bucket, with its edges drawn so that a band of no height still shows.
void drawBand(plstream& pls, const Decimated& d) {
    std::vector<PLFLT> x, y;
    std::vector<Decimated::Point> lo, hi;
    const auto flush = [&]() {
        if (lo.empty()) return;
        x.clear();
        y.clear();
        for (const auto& p : hi) x.push_back(p.t), y.push_back(p.v);
        for (auto it = lo.rbegin(); it != lo.rend(); ++it) x.push_back(it->t), y.push_back(it->v);
        if (x.size() >= 3) {
            pls.col0(kBandFill);
            pls.fill(static_cast<PLINT>(x.size()), x.data(), y.data());
        }
        pls.col0(kBandEdge);
        drawLine(pls, hi);
        drawLine(pls, lo);
        lo.clear();
        hi.clear();
    };
    for (const Decimated::Bucket& b : d.buckets()) {
        if (!b.filled) {
            flush();
            continue;
        }
        const double mid = 0.5 * (b.lo.t + b.hi.t);
        lo.push_back({mid, b.lo.v});
        hi.push_back({mid, b.hi.v});
    }
    flush();
}

}  // namespace

int PlotRecorder::seriesFor(const std::string& name) {
    if (named_.size() < static_cast<std::size_t>(kNamed)) {
        named_.push_back(Series{name, {}});
        return static_cast<int>(named_.size()) - 1;
    }
    ++otherVessels_;
    return kOthers;
}

void PlotRecorder::add(int series, long step, double t, const Sample& s) {
    if (!inWindow(t)) return;
    Series& into = series == kOthers ? others_ : named_[static_cast<std::size_t>(series)];
    for (int p = 0; p < kPanels; ++p)
        if (const std::optional<double> v = kPanelList[p].value(s)) into.panels[p].add(step, t, *v);
}

namespace {

// A plot stream writing the SVG file, its colours set and its page begun.
std::unique_ptr<plstream> openPlot(const std::string& file) {
    auto pls = std::make_unique<plstream>();
    pls->sdev("svg");
    pls->sfnam(file.c_str());
    pls->spage(0, 0, 1200, 900, 0, 0);
    pls->scolbg(255, 255, 255);
    pls->scol0(kText, 0, 0, 0);
    for (int i = 0; i < PlotRecorder::kNamed; ++i)
        pls->scol0(i + 1, kLineRgb[i][0], kLineRgb[i][1], kLineRgb[i][2]);
    pls->scol0(kBandEdge, 150, 150, 150);
    pls->scol0(kBandFill, 215, 215, 215);
    pls->scol0(kMarker, 120, 120, 120);
    pls->setopt("quiet", "");
    pls->init();
    pls->adv(0);
    pls->col0(kText);
    pls->schr(0, 0.65);
    return pls;
}

// The value range panel p shows, padded; any is false when no vessel has a value there.
struct PanelRange {
    double lo = 0.0, hi = 0.0;
    bool any = false;
};

PanelRange panelRange(const PlotRecorder& data, int p) {
    const Panel& panel = kPanelList[p];
    double lo = 0.0, hi = 0.0;
    bool any = false;
    const auto widen = [&](const Decimated& d) {
        for (const Decimated::Bucket& b : d.buckets()) {
            if (!b.filled) continue;
            if (!any) lo = b.lo.v, hi = b.hi.v;
            lo = std::min(lo, b.lo.v);
            hi = std::max(hi, b.hi.v);
            any = true;
        }
    };
    for (const PlotRecorder::Series& s : data.named()) widen(s.panels[p]);
    widen(data.others().panels[p]);
    if (panel.fromZero) lo = std::min(lo, 0.0);
    if (hi - lo < 1e-9 * std::max(1.0, std::fabs(hi))) {
        lo -= 0.5;
        hi += 0.5;
    }
    const double pad = (hi - lo) * 0.08;
    hi += pad;
    if (!panel.fromZero) lo -= pad;
    return {lo, hi, any};
}

// The flight's events: a dotted line across the panel at each, numbered at the top; the
// numbers are listed under the panels.
void drawMarkers(plstream& pls, const PlotRecorder& data, double lo, double hi) {
    pls.col0(kMarker);
    pls.lsty(3);
    for (std::size_t i = 0; i < data.markers().size(); ++i) {
        const double t = data.markers()[i].t;
        PLFLT x[2] = {t, t}, y[2] = {lo, hi};
        pls.line(2, x, y);
        pls.ptex(t, hi - (hi - lo) * (0.04 + 0.06 * static_cast<double>(i % 3)), 1.0, 0.0, 0.5,
                 std::to_string(i + 1).c_str());
    }
    pls.lsty(1);
}

// The list of the numbered events.
void drawMarkerKey(plstream& pls, const PlotRecorder& data) {
    if (data.markers().empty()) return;
    pls.vpor(0.04, 0.98, 0.0, 0.035);
    pls.wind(0.0, 1.0, 0.0, 1.0);
    pls.col0(kText);
    std::string line;
    for (std::size_t i = 0; i < data.markers().size(); ++i) {
        const PlotRecorder::Marker& m = data.markers()[i];
        char head[48];
        std::snprintf(head, sizeof head, "%s%zu %.1f s ", i ? "   " : "", i + 1, m.t);
        line += head + m.label;
    }
    if (line.size() > 260) line = line.substr(0, 257) + "...";
    pls.schr(0, 0.5);
    pls.ptex(0.0, 0.5, 1.0, 0.0, 0.0, line.c_str());
    pls.schr(0, 0.65);
}

void drawPanel(plstream& pls, const PlotRecorder& data, int p, double tMin, double tMax) {
    const double cellX[2] = {0.10, 0.59};
    const double cellY[3] = {0.64, 0.36, 0.08};
    const Panel& panel = kPanelList[p];
    const PanelRange range = panelRange(data, p);
    const double lo = range.lo, hi = range.hi;
    const double x0 = cellX[p % 2], y0 = cellY[p / 2];
    pls.col0(kText);
    pls.vpor(x0, x0 + 0.37, y0, y0 + 0.21);
    pls.wind(tMin, tMax, lo, hi);
    // Speeds in orbit change by a few m/s on a base of thousands: label them with decimals.
    const double span = hi - lo;
    const int decimals = span < 10.0 ? 2 : span < 100.0 ? 1 : 0;

    // The band of the other vessels lies under the named lines and the grid.
    pls.width(1.0);
    if (!data.others().panels[p].empty()) drawBand(pls, data.others().panels[p]);
    drawMarkers(pls, data, lo, hi);

    pls.col0(kText);
    pls.box("bcnstg", 0.0, 0, "", 0.0, 0);
    pls.prec(1, decimals);
    pls.box("", 0.0, 0, "bcnstvg", 0.0, 0);
    pls.prec(0, 0);
    char widest[64];
    std::snprintf(widest, sizeof widest, "%.*f", decimals,
                  std::max(std::fabs(lo), std::fabs(hi)) * (lo < 0 ? -1 : 1));
    pls.lab("time (s)", "", panel.title);
    pls.mtex("l", 1.8 + 1.05 * static_cast<double>(std::strlen(widest)), 0.5, 0.5, panel.yLabel);

    for (std::size_t i = 0; i < data.named().size(); ++i) {
        const Decimated& d = data.named()[i].panels[p];
        if (d.empty()) continue;
        pls.col0(static_cast<PLINT>(i) + 1);
        pls.width(2.0);
        drawLine(pls, d.points());
        pls.width(1.0);
    }
    if (!range.any) {
        pls.col0(kText);
        pls.ptex((tMin + tMax) / 2, (lo + hi) / 2, 1.0, 0.0, 0.5, "(no vessel has this)");
    }
}

// The legend under the title: the named vessels in their colours, then the band of the others.
// A vessel with nothing in the plot's window is left out (its colour stays its own).
void drawLegend(plstream& pls, const PlotRecorder& data) {
    pls.vpor(0.04, 0.98, 0.91, 0.945);
    pls.wind(0.0, 1.0, 0.0, 1.0);
    std::vector<int> shown;  // series index; kOthers for the band
    for (std::size_t i = 0; i < data.named().size(); ++i)
        for (const Decimated& d : data.named()[i].panels)
            if (!d.empty()) {
                shown.push_back(static_cast<int>(i));
                break;
            }
    if (data.otherVessels() > 0) shown.push_back(PlotRecorder::kOthers);
    const std::size_t columns = std::max<std::size_t>(shown.size(), 4);
    const double step = 1.0 / static_cast<double>(columns);
    for (std::size_t k = 0; k < shown.size(); ++k) {
        const int i = shown[k];
        const bool band = i == PlotRecorder::kOthers;
        const double x = step * static_cast<double>(k);
        PLFLT lx[2] = {x, x + 0.02}, ly[2] = {0.5, 0.5};
        pls.col0(band ? kBandEdge : static_cast<PLINT>(i) + 1);
        pls.width(band ? 6.0 : 3.0);
        pls.line(2, lx, ly);
        pls.width(1.0);
        pls.col0(kText);
        const std::string label =
            band ? std::to_string(data.otherVessels()) + " others"
                 : legendLabel(data.named()[static_cast<std::size_t>(i)].name, columns);
        pls.ptex(x + 0.027, 0.5, 1.0, 0.0, 0.0, label.c_str());
    }
}

}  // namespace

void writeFlightPlot(const std::string& file, const std::string& title, double endTime,
                     const PlotRecorder& data) {
    {
        // PLplot reports an unwritable file by exiting; find out first.
        std::ofstream probe(file, std::ios::binary | std::ios::trunc);
        if (!probe) throw InputError(file + ": cannot write the plot");
    }
    const double tMin = data.windowFrom();
    double tMax = data.windowTo() >= 0.0 ? std::min(data.windowTo(), endTime) : endTime;
    if (tMax <= tMin) tMax = tMin + 1.0;  // a flight ended before the window shows it empty
    auto pls = openPlot(file);

    // Title strip on top, then a 2 x 3 grid of panels, the events' key at the foot.
    pls->vpor(0.0, 1.0, 0.955, 1.0);
    pls->wind(0.0, 1.0, 0.0, 1.0);
    pls->mtex("t", -1.5, 0.5, 0.5, title.c_str());
    for (int p = 0; p < PlotRecorder::kPanels; ++p) drawPanel(*pls, data, p, tMin, tMax);
    drawLegend(*pls, data);
    drawMarkerKey(*pls, data);
    pls.reset();  // ends the page and closes the file
}

}  // namespace runner
