#include "Aerobell.h"

#include "Guard.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// The deployment animation's components are shared by every cone of the process: the host
// keeps pointers to them, so they sit in static storage and are never destroyed.
UINT deployRotateGroups[2] = {0, 1};
UINT deployScaleGroups[2] = {2, 3};
alignas(MGROUP_ROTATE) unsigned char deployRotateStorage[sizeof(MGROUP_ROTATE)];
alignas(MGROUP_SCALE) unsigned char deployScaleStorage[sizeof(MGROUP_SCALE)];
MGROUP_ROTATE* deployRotate = nullptr;
MGROUP_SCALE* deployScale = nullptr;
bool deployRotateMade = false;
bool deployScaleMade = false;

struct CrewRow {
    const char* key;
    const char* text;
};

// The last key occurs in each of the others, so the first match in this order decides.
const CrewRow kCrewTable[] = {
    {"AEROBELLGEM", "gem-eva1 gemini_leva  0.0  0.0 0.0 150.0  0.0  1.0"},
    {"AEROBELL2001", "2001/2001Astro 2001/Astro2001 0 -0.2 0.0 130.0 0.0 1.0"},
    {"AEROBELLDG3", "DGIIIMmu DGIIIMmu 0 0.0 -0.1 200.0 0.0 1.0"},
    {"AEROBELL", "mmu nasa_mmu 0 -0.4 0.20 212.0 0.0 1.0"},
};
constexpr int kRowGem = 0;
constexpr int kRow2001 = 1;
constexpr int kCrewRows = 4;
constexpr int kClassKeyMax = 29;
constexpr int kCrewTextMax = 79;
// The crew check's mass comparison: sums of the same doubles taken in another order (as the
// simulator sums a vessel's mass) differ in the last bits only, far below any real mass.
constexpr double kBareMassTolerance = 1e-6;  // kg

// The row chosen by a class name: the first key found in its first 29 characters, upper-cased.
// -1 when no key occurs.
int CrewRowOf(const char* className) {
    char key[kClassKeyMax + 1] = {};
    std::strncpy(key, className, kClassKeyMax);
    key[kClassKeyMax] = '\0';
    for (char* c = key; *c != '\0'; ++c) {
        *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    }
    for (int row = 0; row < kCrewRows; ++row) {
        if (std::strstr(key, kCrewTable[row].key) != nullptr) return row;
    }
    return -1;
}

// The crew's vessel name: the cone's name and "-Suit", cut to a name field's length. The same
// cut applies where the name is looked up and where the item line enters it.
void CrewName(const char* coneName, char (&out)[COMMON_VESSEL_EX::kNameMax + 1]) {
    std::snprintf(out, sizeof out, "%s-Suit", coneName);
}

using itemtable::startsWithNoCase;

struct AttitudeThruster {
    VECTOR3 pos;
    VECTOR3 dir;
};

constexpr double kNose = 15.5;
constexpr double kSide = 2.7;

// Each group names its thrusters by their 0-based index in kAttitudeThrusters.
struct AttitudeGroup {
    THGROUP_TYPE type;
    int count;
    int members[2];
};

const AttitudeThruster kAttitudeThrusters[22] = {
    {{{0, 0, kNose}}, {{0, 1, 0}}},  {{{0, 0, -kNose}}, {{0, -1, 0}}},
    {{{0, 0, kNose}}, {{0, -1, 0}}}, {{{0, 0, -kNose}}, {{0, 1, 0}}},
    {{{0, 0, kNose}}, {{0, 1, 0}}},  {{{0, 0, -kNose}}, {{0, -1, 0}}},
    {{{0, 0, kNose}}, {{0, -1, 0}}}, {{{0, 0, -kNose}}, {{0, 1, 0}}},
    {{{0, 0, kNose}}, {{-1, 0, 0}}}, {{{0, 0, -kNose}}, {{1, 0, 0}}},
    {{{0, 0, kNose}}, {{1, 0, 0}}},  {{{0, 0, -kNose}}, {{-1, 0, 0}}},
    {{{0, 0, kNose}}, {{-1, 0, 0}}}, {{{0, 0, -kNose}}, {{1, 0, 0}}},
    {{{0, 0, kNose}}, {{1, 0, 0}}},  {{{0, 0, -kNose}}, {{-1, 0, 0}}},
    {{{kSide, 0, 0}}, {{0, 1, 0}}},  {{{-kSide, 0, 0}}, {{0, -1, 0}}},
    {{{-kSide, 0, 0}}, {{0, 1, 0}}}, {{{kSide, 0, 0}}, {{0, -1, 0}}},
    {{{0, 0, -16}}, {{0, 0, 1}}},    {{{0, 0, 16}}, {{0, 0, -1}}},
};

// Groups are made as soon as their thrusters exist: after every fourth thruster (the last pair
// after the last two), so thrusters and groups reach the host interleaved.
struct AttitudeBatch {
    int lastThruster;  // index of the thruster after which the groups are made
    AttitudeGroup groups[2];
};

const AttitudeBatch kAttitudeBatches[6] = {
    {3, {{THGROUP_ATT_PITCHUP, 2, {0, 1}}, {THGROUP_ATT_PITCHDOWN, 2, {2, 3}}}},
    {7, {{THGROUP_ATT_UP, 2, {4, 7}}, {THGROUP_ATT_DOWN, 2, {6, 5}}}},
    {11, {{THGROUP_ATT_YAWLEFT, 2, {8, 9}}, {THGROUP_ATT_YAWRIGHT, 2, {10, 11}}}},
    {15, {{THGROUP_ATT_LEFT, 2, {12, 15}}, {THGROUP_ATT_RIGHT, 2, {14, 13}}}},
    {19, {{THGROUP_ATT_BANKLEFT, 2, {16, 17}}, {THGROUP_ATT_BANKRIGHT, 2, {18, 19}}}},
    {21, {{THGROUP_ATT_FORWARD, 1, {20, 0}}, {THGROUP_ATT_BACK, 1, {21, 0}}}},
};

}  // namespace

AEROBELL::AEROBELL(OBJHANDLE hVessel, int /*flightmodel*/) : COMMON_VESSEL_EX(hVessel) {
    meshCone = oapiLoadMeshGlobal("Aerobell");
    meshSuit = oapiLoadMeshGlobal("mmu");
    char exhaustName[] = "exhaust_atrcs";
    texExhaust = oapiRegisterExhaustTexture(exhaustName);

    // The larger tank belongs to the class, so a cone read back from a scenario keeps it even
    // though its crew set-up never runs again.
    if (CrewRowOf(GetClassNameA()) == kRow2001) retroCapacity = kRetroPropellant2001;

    resRcs = CreatePropellantResource(kRcsPropellant, -1.0, 1.0);
    resRetro = CreatePropellantResource(retroCapacity, -1.0, 1.0);
    seatPoint = CreateAttachment(false, _V(0, 0, 0), _V(0, -1, 0), _V(0, 0, 1), "SEAT", false);
}

// ---------------------------------------------------------------------------------------------
// Callbacks. Nothing may escape into the simulator: each body runs guarded.

void AEROBELL::clbkSetClassCaps(FILEHANDLE /*cfg*/) {
    guarded(this, "clbkSetClassCaps", [this] {
        PollMessages();
        ResetBaseMesh();
        ConfigureCone();
    });
}

void AEROBELL::clbkSaveState(FILEHANDLE scn) {
    guarded(this, "clbkSaveState", [this, scn] {
        // Messages are not saved: what waits for the cone (a released stage's contents) is
        // taken in first, as the next step would, and saved with the items.
        ReceiveItems();
        SaveDefaultState(scn);
        SaveResumeState(scn);
        // Items from the class are made again by the crew set-up of a reloaded cone, unless the
        // crew question is settled for it: then they are saved like any other.
        if (crew != Crew::FromClass) SaveItems(scn);
    });
}

void AEROBELL::clbkLoadStateEx(FILEHANDLE scn, void* status) {
    guarded(this, "clbkLoadStateEx", [this, scn, status] { LoadState(scn, status); });
}

// The simulator applies a loaded block's thrust levels after clbkLoadStateEx, zeroing every
// level its THLEVEL line cannot name, and the motor a resumed cone makes is not there yet when
// that line is read: a burning motor (or one given a level it latches at the next step) takes
// its level again here, before the first step.
void AEROBELL::clbkPostCreation() {
    guarded(this, "clbkPostCreation", [this] {
        const bool firing = retro == RetroMotor::Firing;
        if (thgRetro != nullptr && (firing || retroLevelResumed > 0.0))
            SetThrusterGroupLevel(thgRetro, firing ? 1.0 : retroLevelResumed);
        retroLevelResumed = 0.0;
    });
}

// The physics of a step moves the cone with the mass it has now, so the mass is brought up to date
// first. A cone read back from a save thus weighs in its first step what the cone that was never
// saved weighs. The crew goes onto the seat here too: a vessel made during the simulator's update
// of a step (clbkPostStep) is placed at the step's end from positions of its start, and ends up a
// step's motion of the reference body (kilometres, round the Sun) away from the seat. Made before
// the update, it is where its item was.
void AEROBELL::clbkPreStep(double /*simt*/, double /*simdt*/, double /*mjd*/) {
    guarded(this, "clbkPreStep", [this] { WeighBeforeStep(); });
}

void AEROBELL::clbkPostStep(double /*simt*/, double /*simdt*/, double /*mjd*/) {
    guarded(this, "clbkPostStep", [this] { PostStep(); });
}

// A visual must never find the cone without its meshes, so the reset is followed by a rebuild.
void AEROBELL::clbkVisualCreated(VISHANDLE /*vis*/, int /*refcount*/) {
    guarded(this, "clbkVisualCreated", [this] { ShowItems(); });
}

void AEROBELL::clbkVisualDestroyed(VISHANDLE /*vis*/, int /*refcount*/) {
    guarded(this, "clbkVisualDestroyed", [this] { ShowItems(); });
}

int AEROBELL::clbkConsumeBufferedKey(DWORD /*key*/, bool /*down*/, char* kstate) {
    int consumed = 0;
    guarded(this, "clbkConsumeBufferedKey", [&] { consumed = ConsumeKeys(kstate); });
    return consumed;
}

// ---------------------------------------------------------------------------------------------

void AEROBELL::ResetBaseMesh() {
    ClearMeshList();
    MeshEntry cone;
    cone.handle = meshCone;
    meshList.push_back(cone);
}

void AEROBELL::ShowItems() {
    ResetBaseMesh();
    RebuildMeshesAtOrigin();
    SetMeshVisibilityMode(0, 3);  // the cone stays visible from the cockpit as configured
}

void AEROBELL::RefreshItems() {
    ShowItems();
    MassFollowsItems();
}

void AEROBELL::MassFollowsItems() { SetEmptyMass(PayloadMass() + (emptyMass + SeatedMass())); }

double AEROBELL::SeatedMass() const {
    const OBJHANDLE seated = GetAttachmentStatus(seatPoint);
    const VESSEL* v = seated != nullptr ? oapiGetVesselInterface(seated) : nullptr;
    return v != nullptr ? v->GetMass() : 0.0;
}

void AEROBELL::LoadState(FILEHANDLE scn, void* status) {
    ClearMeshList();
    ResetBaseMesh();
    ResumeState resume;
    char* line = nullptr;
    while (oapiReadScenario_nextline(scn, line)) {
        if (ReadResumeLine(line, resume)) continue;
        if (itemtable::isItemCandidate(line)) {
            HandleItemText(line);
        } else {
            ParseScenarioLineEx(line, status);
        }
    }
    ConfigureCone();
    Resume(resume);
}

// The cone's own state lines. Their keywords begin like none that the simulator's default
// reader knows, so a reader without them (the simulator's, an older cone's) skips them, and a
// block without them reads as a stowed cone whose crew question is still open.
AEROBELL::ResumeState AEROBELL::FlightState() const {
    ResumeState state;
    state.hasDeploy = true;
    state.deploy = deployment;
    state.retroCreated = retro != RetroMotor::NotMade;
    state.retroFiring = retro == RetroMotor::Firing;
    if (retro == RetroMotor::Made) state.retroLevel = GetThrusterGroupLevel(thgRetro);
    state.crewSettled = crew == Crew::Settled;
    return state;
}

void AEROBELL::SaveResumeState(FILEHANDLE scn) {
    const ResumeState state = FlightState();
    char value[64];
    const Deployment& deploy = state.deploy;
    if (deploy.State() != Deployment::Phase::Stowed || deploy.Progress() != 0.0) {
        // The exact value: a resumed deployment continues bit for bit.
        const bool moving = deploy.State() == Deployment::Phase::Moving;
        std::snprintf(value, sizeof value, "%.17g %d", deploy.Progress(), moving ? 1 : 0);
        char key[] = "DEPLOY";
        oapiWriteScenario_string(scn, key, value);
    }
    if (state.retroCreated) {
        if (state.retroLevel > 0.0) {
            std::snprintf(value, sizeof value, "0 %.17g", state.retroLevel);
        } else {
            std::snprintf(value, sizeof value, "%d", state.retroFiring ? 1 : 0);
        }
        char key[] = "RETRO";
        oapiWriteScenario_string(scn, key, value);
    }
    if (state.crewSettled) {
        char key[] = "CREW";
        char released[] = "RELEASED";
        oapiWriteScenario_string(scn, key, released);
    }
}

bool AEROBELL::ReadResumeLine(const char* line, ResumeState& state) {
    const auto keyword = [line](const char* word) {
        const std::size_t n = std::strlen(word);
        return startsWithNoCase(line, word) &&
               (line[n] == '\0' || std::isspace(static_cast<unsigned char>(line[n])));
    };
    char* end = nullptr;
    if (keyword("DEPLOY")) {
        const double value = std::strtod(line + 6, &end);
        const long moving = std::strtol(end, nullptr, 10);
        if (end != line + 6 && std::isfinite(value)) {
            state.hasDeploy = true;
            state.deploy = Deployment(value < 0.0 ? 0.0 : value > 1.0 ? 1.0 : value, moving != 0);
        }
        return true;
    }
    if (keyword("RETRO")) {
        state.retroCreated = true;
        state.retroFiring = std::strtol(line + 5, &end, 10) != 0;
        const double level = std::strtod(end, nullptr);
        state.retroLevel = level > 0.0 && level <= 1.0 ? level : 0.0;
        return true;
    }
    if (keyword("CREW")) {
        state.crewSettled = startsWithNoCase(line + 4 + std::strspn(line + 4, " \t"), "RELEASED");
        return true;
    }
    return false;
}

void AEROBELL::Resume(const ResumeState& state) {
    if (state.hasDeploy) {
        deployment = state.deploy;
        SetAnimation(animDeploy, deployment.Progress());
    }
    if (state.retroCreated) {
        // The configuration forgets the motor but the simulator keeps it: make it only once.
        const bool made = thgRetro == nullptr;
        if (made) CreateRetroMotor();
        retro = state.retroFiring ? RetroMotor::Firing : RetroMotor::Made;
        retroLevelResumed = state.retroFiring ? 0.0 : state.retroLevel;
        // The levels of a motor that was there already are the simulator's (the crew set-up of a
        // reloaded cone, in its first step, must not undo the pilot's command of that step).
        if (made && retroLevelResumed > 0.0) SetThrusterGroupLevel(thgRetro, retroLevelResumed);
        // A burning motor burns on from the first step, as it would have without the save.
        if (made && state.retroFiring) SetThrusterGroupLevel(thgRetro, 1.0);
    }
    if (state.crewSettled) crew = Crew::Settled;
}

void AEROBELL::ConfigureCone() {
    RebuildMeshesAtOrigin();
    MakeDeployAnimation();
    SetAnimation(animDeploy, deployment.Progress());
    SetMeshVisibilityMode(0, 3);  // external and cockpit views
    SetCameraOffset(_V(0, 0.5, -0.4));

    emptyMass = kBareMass;
    deployment = Deployment();
    MassFollowsItems();

    AddReentryStreamOfCone();
    SetSize(kSize);
    SetTouchdownPoints(_V(0, 17, -1), _V(10, 10, -1), _V(-10, -10, -1));
    SetPMI(_V(2.28, 2.15, 4.09));
    SetCrossSections(_V(5.3, 5.3, 42.15));
    SetCW(0.7, 0.7, 0.9, 0.9);
    SetRotDrag(_V(0.5, 0.5, 0.3));
    SetPitchMomentScale(-0.0001);
    SetBankMomentScale(-0.0001);
    SetDefaultPropellantResource(resRetro);

    retro = RetroMotor::NotMade;

    char reentryName[] = "reentry";
    texReentry = oapiRegisterReentryTexture(reentryName);
    SetReentryTexture(texReentry, kReentryPowerLimit, 1, 1);
    // Once per object, like the animation: the simulator saves thrust levels by thruster index,
    // so a cone must have the same thrusters however often it was configured (a cone read back
    // from a save is configured more often than the one that was saved).
    if (!attitudeCreated) {
        attitudeCreated = true;
        CreateAttitudeThrusters();
    }
}

void AEROBELL::MakeDeployAnimation() {
    if (!animCreated) {
        animCreated = true;
        animDeploy = CreateAnimation(1.0);  // the mesh as loaded shows the deployed cone
        if (!deployRotateMade) {
            deployRotate = new (deployRotateStorage)
                MGROUP_ROTATE(0, deployRotateGroups, 2, _V(0, 0, -0.45), _V(1, 0, 0),
                              static_cast<float>(68.0 * PI / 180.0));
            deployRotateMade = true;
        }
        AddAnimationComponent(animDeploy, 0.05, 0.9, deployRotate, nullptr);
        if (!deployScaleMade) {
            deployScale = new (deployScaleStorage)
                MGROUP_SCALE(0, deployScaleGroups, 2, _V(0, 0, 0), _V(1000, 1000, 10));
            deployScaleMade = true;
        }
        AddAnimationComponent(animDeploy, 0.7, 0.75, deployScale, nullptr);
    }
}

void AEROBELL::AddReentryStreamOfCone() {
    char contrail[] = "Contrail2";
    oapiRegisterParticleTexture(contrail);
    // flags, size, rate, v0, spread, lifetime, growth, slow-down; light and level maps with their
    // bounds; atmosphere map with its bounds; texture.
    PARTICLESTREAMSPEC reentry = {0,
                                  20,
                                  20,
                                  0,
                                  0.03,
                                  0.5,
                                  100,
                                  3,
                                  PARTICLESTREAMSPEC::DIFFUSE,
                                  PARTICLESTREAMSPEC::LVL_FLAT,
                                  1,
                                  1,
                                  PARTICLESTREAMSPEC::ATM_PLIN,
                                  6e7,
                                  1.2e8,
                                  nullptr};
    AddReentryStream(&reentry);
}

void AEROBELL::CreateAttitudeThrusters() {
    // Twelve groups, six opposed pairs, as the thruster table defines them (a count of eleven
    // found elsewhere leaves one pair short).
    THRUSTER_HANDLE th[22];
    int batch = 0;
    for (int i = 0; i < 22; ++i) {
        th[i] = CreateThruster(kAttitudeThrusters[i].pos, kAttitudeThrusters[i].dir, kRcsThrust,
                               resRcs, kRcsIspVacuum, kRcsIspAtReference, kIspReferencePressure);
        if (i != kAttitudeBatches[batch].lastThruster) continue;
        for (const AttitudeGroup& g : kAttitudeBatches[batch].groups) {
            THRUSTER_HANDLE members[2] = {th[g.members[0]], th[g.members[1]]};
            CreateThrusterGroup(members, g.count, g.type);
        }
        ++batch;
    }
}

void AEROBELL::WeighBeforeStep() {
    ReceiveItems();
    CountSeatedVessel();
    CheckForCrew();
    TransferCrewToSeat();
}

void AEROBELL::PostStep() {
    ReceiveItems();
    CountSeatedVessel();
    CheckForCrew();
    StepRetroMotor();
    StepDeployment();
}

void AEROBELL::ReceiveItems() {
    // Items sent by other vessels (a released stage's contents) join the cone; one poll takes
    // every message waiting. The mass follows the items at once, so the crew check never takes a
    // cone that has just received its contents for an empty one.
    if (PollMessages()) RefreshItems();
}

void AEROBELL::CountSeatedVessel() {
    // A vessel on the seat counts with its current mass; once the seat is free again, however it
    // came to be (released, taken by another, deleted), its mass no longer does.
    if (GetAttachmentStatus(seatPoint) != nullptr) {
        MassFollowsItems();
        seatCounted = true;
        crew = Crew::Settled;
    } else if (seatCounted) {
        seatCounted = false;
        MassFollowsItems();
    }
}

void AEROBELL::CheckForCrew() {
    // The cone carries nothing when no item is aboard (an item of no mass is still carried) and
    // its mass is the bare cone plus its propellant.
    if (crew == Crew::Open && !HasItems()) {
        const double a = GetPropellantMass(resRcs) + emptyMass;
        const double M = GetMass();
        const double b = GetPropellantMass(resRetro) + a;
        if (std::fabs(M - b) <= kBareMassTolerance) SetupCrew();
    }
}

void AEROBELL::TransferCrewToSeat() {
    // The crew goes from the item table onto the seat, once.
    if (seatTransferPending) {
        seatTransferPending = false;
        SetSeparationVelocity(_V(0, 0, 0));
        crewVessel = SeparateNextItem();
        RefreshItems();
        if (crewVessel != nullptr) {
            crew = Crew::Settled;
            // A seat that is taken keeps its occupant; the crew then stays beside the cone.
            if (GetAttachmentStatus(seatPoint) == nullptr) ToggleSeatDock();
        }
    }
}

void AEROBELL::StepRetroMotor() {
    // The retro motor exists from the step after the deployment completed.
    if (deployment.State() == Deployment::Phase::Deployed && retro == RetroMotor::NotMade)
        CreateRetroMotor();
    // A solid motor: once fired it burns at full level until it is empty.
    if (retro == RetroMotor::Made && GetThrusterGroupLevel(thgRetro) > 0)
        retro = RetroMotor::Firing;
    if (retro == RetroMotor::Firing) SetThrusterGroupLevel(thgRetro, 1.0);
}

void AEROBELL::StepDeployment() {
    // The animation shows the progress before this step's advance.
    SetAnimation(animDeploy, deployment.Progress());
    deployment.Advance(oapiGetSimStep());
}

void AEROBELL::CreateRetroMotor() {
    thRetro = CreateThruster(_V(0, 0, 1), _V(0, 0, -1), kRetroThrust, resRetro, kRetroIsp,
                             kRetroIsp, kIspReferencePressure);
    AddExhaust(thRetro, 1.0, 0.1, _V(0, 0.02, 0.85), _V(0, 0, 1), texExhaust);
    THRUSTER_HANDLE group[1] = {thRetro};
    thgRetro = CreateThrusterGroup(group, 1, THGROUP_RETRO);
    // flags, size, rate, v0, spread, lifetime, growth, slow-down; light and level maps with their
    // bounds; atmosphere map with its bounds; texture.
    PARTICLESTREAMSPEC exhaust = {0,
                                  0.25,
                                  1000,
                                  150,
                                  0.3,
                                  0.25,
                                  16,
                                  0,
                                  PARTICLESTREAMSPEC::EMISSIVE,
                                  PARTICLESTREAMSPEC::LVL_PLIN,
                                  0,
                                  1,
                                  PARTICLESTREAMSPEC::ATM_PLIN,
                                  -0.01,
                                  0.1,
                                  nullptr};
    AddExhaustStream(thRetro, _V(0, 0, 1), &exhaust);
    retro = RetroMotor::Made;
}

void AEROBELL::SetupCrew() {
    crew = Crew::Checked;
    // A cone resumed from a save whose crew comes from its class meets this again on its first
    // step, in flight: the configuration below must not stow it nor forget its motor.
    const ResumeState flying = FlightState();

    char crewName[kNameMax + 1];
    CrewName(GetName(), crewName);
    const int row = oapiGetVesselByName(crewName) != nullptr ? -1 : CrewRowOf(GetClassNameA());
    if (row < 0) {
        // The crew is out already, or the class has none: nothing for a reloaded cone to add.
        crew = Crew::Settled;
        return;
    }

    char crewText[kCrewTextMax + 1] = {};
    std::strncpy(crewText, kCrewTable[row].text, kCrewTextMax);
    // The 2001 class's larger tank is made with the cone: never again here, where it would be
    // full, and a motor resumed from a save, built on the old one, would never burn.
    if (row == kRowGem || row == kRow2001) seatTransferPending = true;

    // "PAYLOAD " + at most 127 + " " + at most 79 characters: always fits an item line.
    char itemLine[kItemLineMax + 1];
    CrewName(GetName(), crewName);
    std::snprintf(itemLine, sizeof itemLine, "PAYLOAD %s %s", crewName, crewText);
    HandleItemText(itemLine);
    crew = Crew::FromClass;

    PollMessages();
    ResetBaseMesh();
    ConfigureCone();
    Resume(flying);
}

int AEROBELL::ConsumeKeys(const char* kstate) {
    if (kstate == nullptr) return 0;
    if (KEYDOWN(kstate, OAPI_KEY_K)) {
        if (oapiAcceptDelayedKey(static_cast<char>(OAPI_KEY_K), kKeyDelay)) deployment.Start();
        return 1;
    }
    if (KEYDOWN(kstate, OAPI_KEY_J)) {
        if (oapiAcceptDelayedKey(static_cast<char>(OAPI_KEY_J), kKeyDelay)) {
            SetSeparationVelocity(_V(0, 0, 0));  // the item leaves with the cone's velocity
            crewVessel = SeparateNextItem();
            RefreshItems();
            if (crewVessel != nullptr) {
                // A released crew settles the crew question: the cone must not conjure a new
                // astronaut (and reset itself) once its last item has gone.
                crew = Crew::Settled;
                // By handle: a look-up by name may find an older vessel of the same name.
                oapiSetFocusObject(crewVessel->GetHandle());
            }
        }
        return 1;
    }
    if (KEYDOWN(kstate, OAPI_KEY_S)) {
        if (oapiAcceptDelayedKey(static_cast<char>(OAPI_KEY_S), kKeyDelay)) ToggleSeatDock();
        return 0;  // left for the host
    }
    return 0;
}

void AEROBELL::ToggleSeatDock() {
    VECTOR3 seat;
    Local2Global(_V(0, 0, 0), seat);
    const OBJHANDLE self = GetHandle();
    // The seat holds one vessel: while it is taken, only its occupant answers (and is let go).
    const OBJHANDLE occupant = GetAttachmentStatus(seatPoint);
    for (DWORD i = 0; i < oapiGetVesselCount(); ++i) {
        OBJHANDLE h = oapiGetVesselByIndex(static_cast<int>(i));
        if (h == self) continue;
        if (occupant != nullptr && h != occupant) continue;
        VECTOR3 pos;
        oapiGetGlobalPos(h, &pos);
        // The size test keeps far vessels out of the attachment search.
        if (!(dist(pos, seat) < oapiGetSize(h))) continue;
        VESSEL* v = oapiGetVesselInterface(h);
        const DWORD n = v->AttachmentCount(true);
        // A vessel that hangs on a parent elsewhere (seated on another cone) is not taken.
        bool hangsElsewhere = false;
        for (DWORD j = 0; j < n && h != occupant; ++j) {
            if (v->GetAttachmentStatus(v->GetAttachmentHandle(true, j)) != nullptr)
                hangsElsewhere = true;
        }
        if (hangsElsewhere) continue;
        for (DWORD j = 0; j < n; ++j) {
            ATTACHMENTHANDLE a = v->GetAttachmentHandle(true, j);
            const char* id = v->GetAttachmentId(a);
            if (std::strncmp(id, "BUTT", 4) != 0) continue;
            VECTOR3 p, dir, rot;
            v->GetAttachmentParams(a, p, dir, rot);
            VECTOR3 g;
            v->Local2Global(p, g);
            if (!(dist(g, seat) < kSeatReach)) continue;

            if (occupant == h) {
                DetachChild(seatPoint, 0.0);
                oapiSetFocusObject(h);
                // The items still aboard keep counting; the crew that left settles the question.
                seatCounted = false;
                crew = Crew::Settled;
                MassFollowsItems();
            } else if (AttachChild(h, seatPoint, a)) {
                // Its mass counts from the next step on; the crew question is settled now, so
                // that a save before that step keeps whatever the class gave.
                crew = Crew::Settled;
            }
            return;
        }
    }
}
