// The re-entry cone: a one-person drag cone that carries its astronaut as an item, deploys by
// animation, fires a one-shot retro motor and docks an astronaut at its "SEAT" point.
#ifndef AEROBELL_H
#define AEROBELL_H

#include "OrbiterModule.h"
#include "CommonVesselEx.h"

class AEROBELL final : public COMMON_VESSEL_EX {
public:
    // The bare cone.
    static constexpr double kBareMass = 100.0;   // kg
    static constexpr double kSize = 8.0;         // m, the radius the simulator gives the vessel
    static constexpr double kDeployRate = 0.25;  // deployment progress per second: 4 s in all
    // Its attitude thrusters and their tank.
    static constexpr double kRcsPropellant = 1.0;              // kg
    static constexpr double kRcsThrust = 5.0;                  // N, each
    static constexpr double kRcsIspVacuum = 40000.0;           // m/s
    static constexpr double kRcsIspAtReference = 400000.0;     // m/s, at kIspReferencePressure
    static constexpr double kIspReferencePressure = 101400.0;  // Pa
    // Its solid retro motor: one thrust and one specific impulse, in vacuum and air alike.
    static constexpr double kRetroThrust = 2000.0;        // N
    static constexpr double kRetroIsp = 2500.0;           // m/s
    static constexpr double kRetroPropellant = 12.5;      // kg
    static constexpr double kRetroPropellant2001 = 18.0;  // kg, the "AEROBELL2001" class's tank
    // The friction power limit of the re-entry flames (the simulator's own default is 6e7).
    static constexpr double kReentryPowerLimit = 600000.0;  // W/m^2
    // A vessel docks at the seat when its "BUTT" point lies closer than this to the cone's origin.
    static constexpr double kSeatReach = 1.0;  // m
    // K, J and S each act at most once in this time.
    static constexpr double kKeyDelay = 1.0;  // s

    AEROBELL(OBJHANDLE hVessel, int flightmodel);

    // Host callbacks, in the host's slot order.
    void clbkSetClassCaps(FILEHANDLE cfg) override;
    void clbkSaveState(FILEHANDLE scn) override;
    void clbkLoadStateEx(FILEHANDLE scn, void* status) override;
    void clbkPostCreation() override;
    void clbkPreStep(double simt, double simdt, double mjd) override;
    void clbkPostStep(double simt, double simdt, double mjd) override;
    void clbkVisualCreated(VISHANDLE vis, int refcount) override;
    void clbkVisualDestroyed(VISHANDLE vis, int refcount) override;
    int clbkConsumeBufferedKey(DWORD key, bool down, char* kstate) override;

    // Docks the vessel whose BUTT attachment lies at the seat, or lets the seated one go.
    void ToggleSeatDock();

private:
    // Whether the cone has a crew is settled once: an empty cone is given its class's astronaut,
    // and once a vessel has sat on the seat, left it or been released, nothing is given again.
    enum class Crew {
        Open,       // not looked at yet: an empty cone still gets its class's astronaut
        Checked,    // looked at; the crew set-up is under way
        FromClass,  // the class's astronaut is aboard; a reloaded cone makes it again
        Settled,    // for good, across saves too: a vessel sat on the seat, left it or was
                    // released from the table, or the crew set-up found nothing to add
    };
    // The solid retro motor, made once the cone is deployed, burns at full level once fired.
    enum class RetroMotor { NotMade, Made, Firing };

    // The drag cone's deployment: K sets it moving, it moves out by kDeployRate per second of
    // simulated time, and reaching 1 completes it at exactly 1. Nothing takes it back.
    class Deployment {
    public:
        enum class Phase {
            Stowed,    // at rest short of deployed: folded, or part-way where a save left it
            Moving,    // under way
            Deployed,  // complete, for good
        };

        Deployment() = default;
        // As a save left it; progress lies in [0, 1].
        Deployment(double progress, bool moving)
            : phase(1.0 <= progress ? Phase::Deployed
                    : moving        ? Phase::Moving
                                    : Phase::Stowed),
              progress(1.0 <= progress ? 1.0 : progress) {}

        // K: a deployed cone has nothing left to move.
        void Start() {
            if (phase == Phase::Stowed) phase = Phase::Moving;
        }
        // One step of dt seconds.
        void Advance(double dt) {
            if (phase != Phase::Moving) return;
            const double d = dt * kDeployRate;
            progress = d + progress;
            if (1 <= progress) {
                phase = Phase::Deployed;
                progress = 1.0;
            }
        }

        Phase State() const { return phase; }
        double Progress() const { return progress; }  // 0 folded to 1 deployed

    private:
        Phase phase = Phase::Stowed;
        double progress = 0.0;
    };

    // What a saved cone was doing, from the lines its own state adds to the scenario block.
    struct ResumeState {
        bool hasDeploy = false;
        Deployment deploy;
        bool retroCreated = false;
        bool retroFiring = false;
        // A level given to a motor not yet latched (it latches at the next step); the
        // simulator's own thrust levels are read before a resumed motor exists.
        double retroLevel = 0.0;
        bool crewSettled = false;
    };

    // Leaves the mesh list holding the cone's own mesh alone, and the host holding none.
    void ResetBaseMesh();
    // The cone as its class sets it up: stowed, its motor not yet made, the items shown.
    void ConfigureCone();
    void MakeDeployAnimation();
    void AddReentryStreamOfCone();
    void CreateAttitudeThrusters();
    void SetupCrew();

    // The steps of clbkPostStep, in their order.
    void PostStep();
    void ReceiveItems();
    void CountSeatedVessel();
    void CheckForCrew();
    void TransferCrewToSeat();
    void StepRetroMotor();
    void StepDeployment();

    int ConsumeKeys(const char* kstate);
    void LoadState(FILEHANDLE scn, void* status);
    ResumeState FlightState() const;
    void SaveResumeState(FILEHANDLE scn);
    static bool ReadResumeLine(const char* line, ResumeState& state);
    // Takes up a flight state again after the configuration has set up a stowed cone.
    void Resume(const ResumeState& state);
    void CreateRetroMotor();
    // The cone's own mesh and the items' meshes shown again, as the configuration sets them.
    void ShowItems();
    // ShowItems, then the empty mass following the items.
    void RefreshItems();
    // The empty mass: the bare cone, the items aboard and the vessel on the seat.
    void MassFollowsItems();
    // The current mass of the vessel on the seat, 0 when the seat is free.
    double SeatedMass() const;
    // Before a step moves the cone: what waits in the channel, the seat, the crew and its seat.
    void WeighBeforeStep();

    Deployment deployment;
    RetroMotor retro = RetroMotor::NotMade;
    PROPELLANT_HANDLE resRcs = nullptr;
    PROPELLANT_HANDLE resRetro = nullptr;
    THRUSTER_HANDLE thRetro = nullptr;
    THGROUP_HANDLE thgRetro = nullptr;
    MESHHANDLE meshCone = nullptr;
    MESHHANDLE meshSuit = nullptr;
    SURFHANDLE texExhaust = nullptr;
    SURFHANDLE texReentry = nullptr;
    UINT animDeploy = 0;
    VESSEL* crewVessel = nullptr;
    bool animCreated = false;
    Crew crew = Crew::Open;
    // The crew set-up's astronaut is to leave the table for the seat before the next step.
    bool seatTransferPending = false;
    double retroCapacity = kRetroPropellant;  // kg
    double emptyMass = kBareMass;             // kg
    ATTACHMENTHANDLE seatPoint = nullptr;
    // The empty mass holds a seated vessel's mass, to be dropped when the seat empties.
    bool seatCounted = false;
    // The level a resumed, not yet latched motor had when saved, until the simulator has applied
    // the block's own thrust levels.
    double retroLevelResumed = 0.0;
    bool attitudeCreated = false;
};

#endif  // AEROBELL_H
