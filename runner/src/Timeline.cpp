#include "Timeline.h"

#include "InputError.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace runner {

const char* const kTimelineHeader =
    "time,vessel,mass_kg,empty_mass_kg,propellant_kg,deploy_state,retro_level,speed_mps,"
    "altitude_m,airspeed_m_s,dyn_pressure_pa,mach,g_load,reentry_level,landed,longitude_deg,"
    "latitude_deg";

namespace {

constexpr std::size_t kBufferBytes = 1 << 16;

// `v` with `decimals` digits after the point, the digits printf's "%.Nf" gives.
void appendFixed(std::string& out, double v, int decimals) {
    char buf[64];
    const std::to_chars_result r =
        std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    // Beyond 64 characters a value is no reading of a vessel; the column still gets its text.
    if (r.ec != std::errc()) {
        out += v < 0 ? "-huge" : "huge";
        return;
    }
    out.append(buf, r.ptr);
}

std::string reason(int error) { return error ? std::strerror(error) : "write failed"; }

}  // namespace

double timelineBytes(double rows) {
    const std::string header = kTimelineHeader;
    const double columns = 1.0 + static_cast<double>(std::count(header.begin(), header.end(), ','));
    return rows * 8.0 * columns;
}

TimelineWriter::TimelineWriter(const std::string& file) : file_(file) {
    f_ = std::fopen(file.c_str(), "wb");
    if (!f_) throw InputError(file + ": cannot write the timeline: " + reason(errno));
    buffer_.reset(new char[kBufferBytes]);
    put(kTimelineHeader, std::strlen(kTimelineHeader));
    put("\n", 1);
}

TimelineWriter::~TimelineWriter() {
    if (f_) std::fclose(f_);
}

void TimelineWriter::startRows(double time) {
    const std::to_chars_result r =
        std::to_chars(time_, time_ + sizeof time_ - 1, time, std::chars_format::fixed, 3);
    timeLength_ = r.ec == std::errc() ? static_cast<std::size_t>(r.ptr - time_) : 0;
    time_[timeLength_++] = ',';
}

void TimelineWriter::row(const std::string& csvName, const Sample& s, TimelineRowCache& cache) {
    if (!cache.last || !(*cache.last == s)) {
        std::string& t = cache.text;
        t.clear();
        t += ',';
        appendFixed(t, s.massKg, 3);
        t += ',';
        appendFixed(t, s.emptyMassKg, 3);
        t += ',';
        appendFixed(t, s.propellantKg, 4);
        t += ',';
        if (s.deployState) appendFixed(t, *s.deployState, 4);
        t += ',';
        appendFixed(t, s.retroLevel, 3);
        t += ',';
        appendFixed(t, s.speedMps, 4);
        t += ',';
        appendFixed(t, s.altitudeM, 2);
        t += ',';
        appendFixed(t, s.airspeedMps, 3);
        t += ',';
        appendFixed(t, s.dynPressurePa, 3);
        t += ',';
        appendFixed(t, s.mach, 3);
        t += ',';
        appendFixed(t, s.gLoad, 3);
        t += ',';
        if (s.reentryLevel) appendFixed(t, *s.reentryLevel, 4);
        t += s.landed ? ",1," : ",0,";
        appendFixed(t, s.longitudeDeg, 5);
        t += ',';
        appendFixed(t, s.latitudeDeg, 5);
        t += '\n';
        cache.last = s;
    }
    put(time_, timeLength_);
    put(csvName.data(), csvName.size());
    put(cache.text.data(), cache.text.size());
}

void TimelineWriter::put(const char* text, std::size_t n) {
    if (n > kBufferBytes - used_) {
        flushBuffer();
        if (n > kBufferBytes) {  // a name longer than the buffer goes out on its own
            if (f_ && !error_ && std::fwrite(text, 1, n, f_) != n) error_ = errno ? errno : EIO;
            return;
        }
    }
    std::memcpy(buffer_.get() + used_, text, n);
    used_ += n;
}

void TimelineWriter::flushBuffer() {
    if (f_ && !error_ && used_ > 0 && std::fwrite(buffer_.get(), 1, used_, f_) != used_)
        error_ = errno ? errno : EIO;
    used_ = 0;
}

void TimelineWriter::finish() {
    if (!f_) return;
    flushBuffer();
    if (std::fclose(f_) != 0 && !error_) error_ = errno ? errno : EIO;
    f_ = nullptr;
    if (error_) throw InputError(file_ + ": cannot write the timeline: " + reason(error_));
}

}  // namespace runner
