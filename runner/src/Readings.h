#pragma once

#include <host/Host.h>

#include <optional>
#include <string>

namespace runner {

// Readings of a host vessel that the runner reports; the same numbers go to the event lines,
// the timeline, the plot and the summary.
double propellantKg(const host::Vessel& v);
// The resource the retro group draws on; before the group exists, the default resource (a cone
// makes its retro tank the default). Null when there is neither.
const host::Propellant* retroPropellant(const host::Vessel& v);
const host::ThrusterGroup* findGroup(const host::Vessel& v, THGROUP_TYPE type);
double retroLevel(const host::Vessel& v);
std::optional<double> deployState(const host::Vessel& v);
double speedMps(const host::Vessel& v);
// The vessel this one hangs on, or null.
const host::Vessel* parentOf(const host::Vessel& v);

}  // namespace runner
