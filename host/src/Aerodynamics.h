// Aerodynamic forces of vessels with airfoils, control surfaces and drag elements, as the
// simulator computes them; the dynamics call these once per step for each free vessel.
#ifndef HOST_AERODYNAMICS_H
#define HOST_AERODYNAMICS_H

namespace host {
namespace detail {

struct VesselRecord;

// Moves the control surfaces towards their target levels (at most a full deflection per
// `delay` seconds), their animations following; the simulator does this at the start of every
// step's body forces, landed or not.
void moveControlSurfaces(VesselRecord& v, double dt);
// Lift, drag and moments of the airfoils, control surfaces and drag elements, and the damping of
// rotation that goes with them, added to the step's body forces. False, adding nothing, for a
// vessel without airfoils: the older model of cross sections then applies.
bool airfoilForces(VesselRecord& v, double mass, double dt);
// The older model's part beyond its drag and moments: the elevator trim's share of the pitch
// moment, the lift of the module's lift coefficient function (with its induced drag), and the lift
// and drag it reports.
void olderModelForces(VesselRecord& v, double mass);

}  // namespace detail
}  // namespace host

#endif  // HOST_AERODYNAMICS_H
