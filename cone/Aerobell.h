// The re-entry cone: a one-person drag cone that carries its astronaut as an item, deploys by
// animation, fires a one-shot retro motor and docks an astronaut at its "SEAT" point.
#ifndef AEROBELL_H
#define AEROBELL_H

#include "OrbiterModule.h"
#include "CommonVesselEx.h"

class AEROBELL final : public COMMON_VESSEL_EX {
public:
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
    // What a saved cone was doing, from the lines its own state adds to the scenario block.
    struct ResumeState {
        bool hasDeploy = false;
        double deployState = 0.0;
        bool deploying = false;
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
    // The cone's mass before a step moves it: what waits in the channel, the seat and the crew.
    void WeighBeforeStep();

    double deployRate = 0.25;
    double deployState = 0.0;
    bool deploying = false;
    bool retroLatched = false;
    bool retroCreated = false;
    bool itemsFromClass = false;
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
    bool crewChecked = false;
    bool seatTransferDone = true;
    double retroCapacity = 12.5;
    double emptyMass = 100.0;
    ATTACHMENTHANDLE seatPoint = nullptr;
    // The crew question is settled for good, across saves too: a vessel sat on the seat, left it,
    // or was released from the table, or the crew set-up found nothing to add.
    bool crewSettled = false;
    // The empty mass holds a seated vessel's mass, to be dropped when the seat empties.
    bool seatCounted = false;
    // The level a resumed, not yet latched motor had when saved, until the simulator has applied
    // the block's own thrust levels.
    double retroLevelResumed = 0.0;
    bool attitudeCreated = false;
};

#endif  // AEROBELL_H
