// The flight of a vessel around its central body, as the simulator integrates it: gravity,
// atmosphere, drag and its moments, thrust and its torques, rotation, the surface and the
// contact of touchdown points with it.
#ifndef HOST_DYNAMICS_H
#define HOST_DYNAMICS_H

#include "Body.h"

namespace host {
namespace detail {

struct VesselRecord;

// Per-vessel state of the dynamics, kept in the vessel's record.
struct DynamicState {
    const CentralBody* body = nullptr;  // null: no body known, the vessel flies straight
    std::string bodyName;               // the name `body` was looked up for
    // Forces and moments of this step other than gravity and ground contact (vessel frame).
    VECTOR3 flin{}, amom{};
    bool thrustEngaged = false;
    bool surfaceContact = false;
    // Ground velocity of the last surface update (vessel and global frame).
    VECTOR3 groundVelShip{}, groundVelGlobal{};
    VECTOR3 airVelShip{};
    bool inAtmosphere = false;
    // The landing test: the vessel stands still on its points for 5 s before it is landed.
    bool testing = false;
    double testTime = 0.0;
    VECTOR3 testPos{};
    MATRIX3 testRot{};
    // Landed: place in the body's frame and attitude relative to it.
    VECTOR3 ploc{};
    MATRIX3 landRot = {{1, 0, 0, 0, 1, 0, 0, 0, 1}};
    // Touchdown points: stiffness, damping and friction of each (the three given).
    double stiffness[3] = {1e6, 1e6, 1e6}, damping[3] = {1e5, 1e5, 1e5};
    double mu[3] = {0.5, 0.5, 0.5}, muLng[3] = {0.1, 0.1, 0.1};
    // The state at the start of step `startStep`, relative to the body, shown during its update.
    long startStep = -1;
    VECTOR3 pos0{}, vel0{}, vrot0{};
    MATRIX3 rot0{};
    // The thrust of this step's thrust pass (force and torque, vessel frame; part of flin/amom).
    VECTOR3 thrustF{}, thrustM{};
    // The thrust as it stood when the step began, before its callbacks or flight script changed
    // a level: the simulator takes a step's first stage from the forces the last step left, so
    // that a thrust setting in moves velocities in its first step but place and attitude only by
    // the stages after. A save holds the levels and tanks it is taken from, so a resumed flight
    // takes the step it would have. Unknown for a vessel made or placed since the step began.
    bool startKnown = false;
    VECTOR3 thrustF0{}, thrustM0{};
};

// A vessel as the simulator's interface shows it now: its state relative to its body, and the
// body's place and velocity in the global frame, at the same moment.
struct SeenState {
    VECTOR3 rpos, rvel, vrot;
    MATRIX3 rot;
    VECTOR3 bodyPos, bodyVel;
    VECTOR3 globalPos() const { return bodyPos + rpos; }
    VECTOR3 globalVel() const { return bodyVel + rvel; }
};

// The body's state for the step being flown.
struct BodyFrame {
    MATRIX3 rot0{}, rot1{};  // at the step's start and end
};

// The body's place and velocity in the global frame at simulation time `t` (the origin and
// rest without a body).
void bodyGlobal(const CentralBody* b, double t, VECTOR3& pos, VECTOR3& vel);
// Keeps the vessel's state as the step starts, for the interface to show during the update.
void keepStepStart(VesselRecord& v);
SeenState seenState(const VesselRecord& v);

// A direction of the vessel's frame in its local horizon (x east, y up, z north) at its last
// surface reading; the vessel has a body.
VECTOR3 horizonRot(const VesselRecord& v, const VECTOR3& local);
// The heading of a vessel that has a body: where it points over its local horizon, or where it
// stands when landed.
double heading(const VesselRecord& v);

// The body the vessel's reference names, looked up again when the name changed.
void resolveBody(VesselRecord& v);
// Touchdown points set with the stiffness and damping the simulator derives from the empty
// mass (at the time they are set) and its friction defaults.
void setTouchdownPoints(VesselRecord& v, const VECTOR3& a, const VECTOR3& b, const VECTOR3& c);
// A free vessel placed at (pos, vel): one inside the body is moved out to its surface.
void placeOrbiting(VesselRecord& v);
// A landed vessel placed at longitude/latitude/heading; `landRot` given (extended state: its
// attitude against the body's frame and its altitude) or null (standing on its points, pressed
// in by its weight where `weighed`: a vessel whose mass the simulator never summed weighs nothing).
void placeLanded(VesselRecord& v, double lng, double lat, double hdg, const MATRIX3* landRot,
                 double alt, bool weighed = true);
// One step of a free vessel's motion with its mass from the step's start; the thrust pass has
// filled flin/amom.
void flyVessel(VesselRecord& v, double dt, double mass);
// The body forces of a vessel that does not fly by itself (a docked one): control surfaces
// moved, aerodynamic forces and moments added to flin/amom.
void bodyForces(VesselRecord& v, double dt, double mass);
// One step of a docked body (its state, mass, inertia, forces and contact points set): free
// flight with ground contact, no landing.
void flyBody(VesselRecord& body, double dt, double mass);
// The surface readings of the vessel at its present state.
void updateReadings(VesselRecord& v);

}  // namespace detail
}  // namespace host

#endif  // HOST_DYNAMICS_H
