#pragma once

#include "Timeline.h"

#include <array>
#include <string>
#include <vector>

namespace runner {

// A value over a flight, kept in at most kBuckets buckets of consecutive steps whatever the
// flight's length: each bucket holds the least and the greatest value that fell in it (with
// their times), so a line through them keeps every peak and dip. When the buckets run out,
// neighbours merge and each bucket spans twice as many steps.
class Decimated {
public:
    static constexpr std::size_t kBuckets = 1024;

    struct Point {
        double t, v;
    };
    struct Bucket {
        Point lo, hi;
        bool filled = false;  // a bucket no sample fell in lies between two that have some
    };

    // `step`: the number of the step the value is from, counted from the start of the flight;
    // steps come in order. Until the buckets run out, each step has a bucket of its own.
    void add(long step, double t, double v);
    // The points for a line, in time order: at most two per bucket.
    std::vector<Point> points() const;
    const std::vector<Bucket>& buckets() const { return buckets_; }
    bool empty() const { return buckets_.empty(); }

private:
    void merge();

    int shift_ = 0;                // a bucket spans 2^shift_ steps
    long first_ = 0;               // bucket number of buckets_[0]
    std::vector<Bucket> buckets_;  // consecutive bucket numbers
};

// What the plot needs of a flight, gathered step by step in bounded memory: the first vessels
// seen (the focus vessel first) as lines of their own, every other vessel only as part of the
// grey band that spans their least and greatest values.
class PlotRecorder {
public:
    static constexpr int kNamed = 6;
    static constexpr int kPanels = 6;
    static constexpr int kOthers = -1;

    // The series of a vessel seen for the first time: a line of its own while there is room,
    // kOthers after that.
    int seriesFor(const std::string& name);
    // The part of the flight drawn: samples and events outside [from, to] are not kept, so that
    // the buckets all go to the window. `to` < 0: to the flight's end.
    void setWindow(double from, double to) {
        from_ = from;
        to_ = to;
    }
    double windowFrom() const { return from_; }
    double windowTo() const { return to_; }
    bool inWindow(double t) const { return t >= from_ && (to_ < 0.0 || t <= to_); }
    void add(int series, long step, double t, const Sample& s);
    // An event of the flight, marked on every panel at its time; the first kMarkers are kept.
    static constexpr std::size_t kMarkers = 48;
    struct Marker {
        double t;
        std::string label;
    };
    void addMarker(double t, const std::string& label) {
        if (markers_.size() < kMarkers && inWindow(t)) markers_.push_back({t, label});
    }
    const std::vector<Marker>& markers() const { return markers_; }

    struct Series {
        std::string name;
        std::array<Decimated, kPanels> panels;
    };
    const std::vector<Series>& named() const { return named_; }
    const Series& others() const { return others_; }
    long otherVessels() const { return otherVessels_; }

private:
    std::vector<Series> named_;
    Series others_;
    long otherVessels_ = 0;
    std::vector<Marker> markers_;
    double from_ = 0.0, to_ = -1.0;
};

// Draws a flight (its window, up to `endTime`) as one SVG page of six panels over time: altitude,
// airspeed, g-load, re-entry level, deployment and retro propellant, with the flight's events
// marked. Throws InputError when the file cannot be written.
void writeFlightPlot(const std::string& file, const std::string& title, double endTime,
                     const PlotRecorder& data);

}  // namespace runner
