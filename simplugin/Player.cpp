// AerobellPlayer: a plugin of the simulator itself that flies one of our flight scripts and logs
// every vessel's state at every step, so that a flight in the simulator can be held against the
// same flight in the host.
//
// Set up through the environment (the harness sets it; paths are relative to the simulator's
// folder, where it runs):
//   AEROBELL_FLIGHT     the flight script (none: no commands)
//   AEROBELL_STATE_LOG  the state log to write (CSV, one row per vessel per step)
//   AEROBELL_END_STEP   after this many steps (as the next one begins) the scenario is saved as
//                       AEROBELL_SAVE_AS and the log closed
//   AEROBELL_SAVE_AS    scenario name for that save and the prefix of the script's saves
//                       (relative to Scenarios/, without .scn)
//
// Commands run when they would in the host: a command runs in the step whose end time reaches
// it; thrust, focus and save at the start of that step, keys once the step is over (as the
// simulator reads the keyboard between frames), that is before the next step's callbacks. The
// row of a step is written there too, after the keys, where the host writes its own.
#include "FlightScript.h"
#include "Text.h"

#include <Orbitersdk.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// Full precision: 17 significant digits read back as the same double.
std::string num(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

std::string nameOf(OBJHANDLE h) {
    if (!h) return "";
    char buf[256] = "";
    oapiGetObjectName(h, buf, sizeof buf);
    return buf;
}

// Where the vessel hangs: "CHILDPOINT:PARENTPOINT,PARENT" as a scenario's ATTACHED line writes
// it, or empty.
std::string attachmentOf(VESSEL& v) {
    for (DWORD i = 0; i < v.AttachmentCount(true); ++i) {
        ATTACHMENTHANDLE mine = v.GetAttachmentHandle(true, i);
        OBJHANDLE parent = v.GetAttachmentStatus(mine);
        if (!parent) continue;
        VESSEL* p = oapiGetVesselInterface(parent);
        for (DWORD j = 0; p && j < p->AttachmentCount(false); ++j)
            if (p->GetAttachmentStatus(p->GetAttachmentHandle(false, j)) == v.GetHandle())
                return std::to_string(i) + ":" + std::to_string(j) + "," + nameOf(parent);
        return std::to_string(i) + ":?," + nameOf(parent);
    }
    return "";
}

const int kGroupTypes = 15;  // THGROUP_MAIN .. THGROUP_ATT_BACK

class Player : public oapi::Module {
public:
    explicit Player(HINSTANCE h) : Module(h) {}
    ~Player() override { close(); }

    void clbkSimulationStart(RenderMode) override {
        saveAs_ = env("AEROBELL_SAVE_AS");
        const std::string end = env("AEROBELL_END_STEP");
        endStep_ = end.empty() ? -1 : std::atol(end.c_str());
        const std::string script = env("AEROBELL_FLIGHT");
        if (!script.empty()) {
            try {
                script_ = runner::parseFlightScript(script, ".");
            } catch (const std::exception& e) {
                note(std::string("AerobellPlayer: ") + e.what());
            }
        }
        const std::string log = env("AEROBELL_STATE_LOG");
        if (!log.empty()) {
            log_ = std::fopen(log.c_str(), "wb");
            if (!log_) note("AerobellPlayer: cannot write " + log);
        }
        // Between two presses of the same key the run keeps to the wall clock: the simulator
        // refuses a key repeated within a delay of system time (oapiAcceptDelayedKey), and a
        // person at the keyboard presses it again after as much real time as simulated time.
        const runner::ScriptCommand* lastKey = nullptr;
        for (const runner::ScriptCommand& c : script_.commands) {
            if (c.kind != runner::ScriptCommand::Kind::Key) continue;
            if (lastKey && lastKey->keyCode == c.keyCode)
                realTime_.push_back({lastKey->time, c.time});
            lastKey = &c;
        }
        if (log_)
            std::fputs(
                "time,vessel,mass_kg,empty_mass_kg,propellant_kg,deploy_state,retro_level,"
                "speed_mps,step,class,focus,attached,reference,pos_x,pos_y,pos_z,vel_x,vel_y,vel_z,"
                "arot_x,arot_y,arot_z,animations,group_levels\n",
                log_);
        logState(0.0);
    }

    void clbkSimulationEnd() override { close(); }

    void clbkPreStep(double simt, double simdt, double) override {
        if (ended_) return;
        if (stepsDone_ > 0) {
            pressKeys();
            // The state after the last step and the keys read after it, as the host's row of
            // that step shows it.
            logState(lastTime_);
        }
        if (stepsDone_ == endStep_) {
            // Saved here, not after the last step's update: until the update is over the
            // simulator shows every vessel where the step began.
            if (!saveAs_.empty()) oapiSaveScenario(saveAs_.c_str(), "");
            close();
            ended_ = true;
            return;
        }
        const double t = simt + simdt;
        keepToWallClock(t, simdt);
        while (next_ < script_.commands.size() && reached(t, script_.commands[next_].time))
            run(script_.commands[next_++]);
    }

    void clbkPostStep(double simt, double, double) override {
        if (stepsDone_ == endStep_) return;
        ++stepsDone_;
        lastTime_ = simt;
    }

private:
    static bool reached(double t, double commandTime) {
        return t >= commandTime - 1e-9 * std::max(1.0, std::fabs(commandTime));
    }

    static void note(const std::string& line) {
        std::string copy = line;
        oapiWriteLog(&copy[0]);
    }

    // Each step of a real-time span lasts its own length of wall-clock time at least, so that the
    // simulator's system time, which grows by the wall-clock time of each frame (at most 0.1 s),
    // keeps up with simulation time.
    void keepToWallClock(double t, double simdt) {
        const auto now = std::chrono::steady_clock::now();
        bool paced = false;
        for (const auto& span : realTime_)
            if (t > span.first && t <= span.second + simdt) paced = true;
        if (paced && frameStart_) {
            const auto due = *frameStart_ + std::chrono::duration<double>(simdt * 1.01);
            if (now < due) std::this_thread::sleep_until(due);
        }
        frameStart_ = std::chrono::steady_clock::now();
    }

    // A key pressed in one step is read down after it and let go after the next, as the
    // keyboard's buffer reports it: down with the key itself held in the key state, then up
    // (which the simulator's own key simulation cannot send) to the vessel with the focus.
    void pressKeys() {
        static char none[256] = {0};
        for (int key : released_)
            if (OBJHANDLE f = oapiGetFocusObject())
                if (VESSEL* v = oapiGetVesselInterface(f))
                    v->SendBufferedKey(static_cast<DWORD>(key), false, none);
        released_.clear();
        for (int key : keys_) {
            DWORD held = static_cast<DWORD>(key);
            oapiSimulateBufferedKey(held, &held, 1, false);
            released_.push_back(key);
        }
        keys_.clear();
    }

    void run(const runner::ScriptCommand& c) {
        using Kind = runner::ScriptCommand::Kind;
        const std::string where = script_.file + ":" + std::to_string(c.line) + ": ";
        switch (c.kind) {
            case Kind::Key:
                keys_.push_back(c.keyCode);
                break;
            case Kind::Thrust: {
                OBJHANDLE f = oapiGetFocusObject();
                VESSEL* v = f ? oapiGetVesselInterface(f) : nullptr;
                const auto type = static_cast<THGROUP_TYPE>(c.groupType);
                if (!v || v->GetGroupThrusterCount(type) == 0) {
                    note("AerobellPlayer: " + where + "thrust skipped: no " + c.groupName +
                         " group on the focus vessel");
                    break;
                }
                v->SetThrusterGroupLevel(type, c.level);
                break;
            }
            case Kind::Focus: {
                std::string name = c.name;
                OBJHANDLE h = oapiGetVesselByName(&name[0]);
                if (!h) {
                    note("AerobellPlayer: " + where + "focus skipped: no vessel " + c.name);
                    break;
                }
                oapiSetFocusObject(h);
                break;
            }
            case Kind::Save: {
                std::string base = c.shownPath;
                const std::size_t slash = base.find_last_of("/\\");
                if (slash != std::string::npos) base.erase(0, slash + 1);
                if (base.size() > 4 && base.compare(base.size() - 4, 4, ".scn") == 0)
                    base.erase(base.size() - 4);
                oapiSaveScenario((saveAs_ + "-" + base).c_str(), "");
                break;
            }
        }
    }

    void logState(double t) {
        if (!log_) return;
        const OBJHANDLE focus = oapiGetFocusObject();
        for (DWORD i = 0; i < oapiGetVesselCount(); ++i) {
            OBJHANDLE h = oapiGetVesselByIndex(i);
            VESSEL* v = oapiGetVesselInterface(h);
            if (!v) continue;
            const OBJHANDLE ref = v->GetGravityRef();
            VECTOR3 pos = _V(0, 0, 0), vel = _V(0, 0, 0), arot = _V(0, 0, 0);
            if (ref) {
                v->GetRelativePos(ref, pos);
                v->GetRelativeVel(ref, vel);
            }
            v->GetGlobalOrientation(arot);
            ANIMATION* anims = nullptr;
            const UINT nanim = v->GetAnimPtr(&anims);
            std::string animText, groups;
            for (UINT a = 0; a < nanim; ++a) animText += (a ? ";" : "") + num(anims[a].state);
            for (int g = 0; g < kGroupTypes; ++g)
                groups +=
                    (g ? ";" : "") + num(v->GetThrusterGroupLevel(static_cast<THGROUP_TYPE>(g)));
            std::string row =
                num(t) + "," + runner::csvField(v->GetName()) + "," + num(v->GetMass()) + "," +
                num(v->GetEmptyMass()) + "," + num(v->GetTotalPropellantMass()) + "," +
                (nanim ? num(anims[0].state) : "") + "," +
                num(v->GetThrusterGroupLevel(THGROUP_RETRO)) + "," +
                num(std::sqrt(dotp(vel, vel))) + "," + std::to_string(stepsDone_) + "," +
                runner::csvField(v->GetClassName() ? v->GetClassName() : "") + "," +
                (h == focus ? "1" : "0") + "," + runner::csvField(attachmentOf(*v)) + "," +
                runner::csvField(nameOf(ref)) + "," + num(pos.x) + "," + num(pos.y) + "," +
                num(pos.z) + "," + num(vel.x) + "," + num(vel.y) + "," + num(vel.z) + "," +
                num(arot.x) + "," + num(arot.y) + "," + num(arot.z) + "," + animText + "," +
                groups + "\n";
            std::fputs(row.c_str(), log_);
        }
    }

    void close() {
        if (log_) std::fclose(log_);
        log_ = nullptr;
    }

    runner::FlightScript script_;
    std::size_t next_ = 0;
    std::vector<int> keys_;      // pressed in the last step, read before the next one
    std::vector<int> released_;  // read down before this step, let go before the next
    std::FILE* log_ = nullptr;
    std::string saveAs_;
    std::vector<std::pair<double, double>> realTime_;  // spans of simulation time run in real time
    std::optional<std::chrono::steady_clock::time_point> frameStart_;
    long stepsDone_ = 0;
    double lastTime_ = 0.0;
    long endStep_ = -1;
    bool ended_ = false;
};

Player* g_player = nullptr;

}  // namespace

DLLCLBK void InitModule(HINSTANCE hDLL) {
    g_player = new Player(hDLL);
    oapiRegisterModule(g_player);
}

DLLCLBK void ExitModule(HINSTANCE) {
    delete g_player;
    g_player = nullptr;
}
