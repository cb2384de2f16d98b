// Programming interface of the space-flight simulator, as its vessel modules see it.
//
// This is the headless stand-in's copy of the simulator SDK header: file name, type names,
// enumerator values and member signatures follow the simulator's own, so that module sources
// written against it compile unchanged against the real SDK. It declares whole areas of the
// interface (everything of an area that a vessel module may call); everything here is implemented
// by the host library (host/src). Like the simulator's header it brings in the standard headers
// that modules written against it rely on.
#ifndef ORBITERSDK_H
#define ORBITERSDK_H

#include <float.h>
#include <math.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <vector>

#if defined(_WIN32)
#  ifdef ORBITER_HOST_BUILD
#    define OAPIFUNC __declspec(dllexport)
#  else
#    define OAPIFUNC __declspec(dllimport)
#  endif
#else
#  define OAPIFUNC __attribute__((visibility("default")))
#endif

#ifndef _WIN32
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef unsigned int UINT;
#else
#  include <windows.h>
#endif

// The C runtime's case-free comparisons, which the simulator's modules call by their Windows
// names (on Windows its own headers declare them).
#if !defined(_WIN32)
#  include <strings.h>
inline int _stricmp(const char* a, const char* b) { return strcasecmp(a, b); }
inline int _strnicmp(const char* a, const char* b, size_t n) { return strncasecmp(a, b, n); }
#endif

#ifndef DLLCLBK
#  if defined(_WIN32)
#    define DLLCLBK extern "C" __declspec(dllexport)
#  else
#    define DLLCLBK extern "C" __attribute__((visibility("default")))
#  endif
#endif

// ---------------------------------------------------------------------------------------------
// Handles: opaque to modules.
typedef void* OBJHANDLE;
typedef void* VISHANDLE;
typedef void* MESHHANDLE;
typedef void* SURFHANDLE;
typedef void* FILEHANDLE;
typedef void* THRUSTER_HANDLE;
typedef void* THGROUP_HANDLE;
typedef void* PROPELLANT_HANDLE;
typedef void* PSTREAM_HANDLE;
typedef void* DOCKHANDLE;
typedef void* ATTACHMENTHANDLE;
typedef void* ANIMATIONCOMPONENT_HANDLE;
typedef void* PANELHANDLE;
typedef void* AIRFOILHANDLE;
typedef void* CTRLSURFHANDLE;

const double PI = 3.14159265358979323846;
const double PI05 = 1.57079632679489661923;
const double PI2 = 6.28318530717958647693;
const double RAD = PI / 180.0;
const double DEG = 180.0 / PI;
const double C0 = 299792458.0;      // speed of light in vacuum [m/s]
const double TAUA = 499.004783806;  // light time for 1 AU [s]
const double AU = C0 * TAUA;        // astronomical unit [m]
const double GGRAV = 6.67259e-11;   // gravitational constant [m^3 kg^-1 s^-2]
const double G = 9.81;              // gravitational acceleration at the Earth's mean radius [m/s^2]
const double ATMP = 101.4e3;        // atmospheric pressure at the Earth's sea level [Pa]
const double ATMD = 1.293;          // atmospheric density at the Earth's sea level [kg/m^3]
const UINT ALLDOCKS = (UINT)-1;     // every docking port (VESSEL::Undock)

// ---------------------------------------------------------------------------------------------
// Vectors and matrices.
typedef union {
    double data[3];
    struct {
        double x, y, z;
    };
} VECTOR3;

typedef union {
    double data[9];
    struct {
        double m11, m12, m13, m21, m22, m23, m31, m32, m33;
    };
} MATRIX3;

inline VECTOR3 _V(double x, double y, double z) {
    VECTOR3 v;
    v.x = x;
    v.y = y;
    v.z = z;
    return v;
}
inline MATRIX3 _M(double m11, double m12, double m13, double m21, double m22, double m23,
                  double m31, double m32, double m33) {
    MATRIX3 m;
    m.m11 = m11;
    m.m12 = m12;
    m.m13 = m13;
    m.m21 = m21;
    m.m22 = m22;
    m.m23 = m23;
    m.m31 = m31;
    m.m32 = m32;
    m.m33 = m33;
    return m;
}
inline VECTOR3 operator+(const VECTOR3& a, const VECTOR3& b) {
    return _V(a.x + b.x, a.y + b.y, a.z + b.z);
}
inline VECTOR3 operator-(const VECTOR3& a, const VECTOR3& b) {
    return _V(a.x - b.x, a.y - b.y, a.z - b.z);
}
inline VECTOR3 operator-(const VECTOR3& a) { return _V(-a.x, -a.y, -a.z); }
inline VECTOR3 operator*(const VECTOR3& a, double f) { return _V(a.x * f, a.y * f, a.z * f); }
inline VECTOR3 operator/(const VECTOR3& a, double f) { return _V(a.x / f, a.y / f, a.z / f); }
inline VECTOR3& operator+=(VECTOR3& a, const VECTOR3& b) {
    a.x += b.x;
    a.y += b.y;
    a.z += b.z;
    return a;
}
inline VECTOR3& operator-=(VECTOR3& a, const VECTOR3& b) {
    a.x -= b.x;
    a.y -= b.y;
    a.z -= b.z;
    return a;
}
inline double dotp(const VECTOR3& a, const VECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline VECTOR3 crossp(const VECTOR3& a, const VECTOR3& b) {
    return _V(a.y * b.z - b.y * a.z, a.z * b.x - b.z * a.x, a.x * b.y - b.x * a.y);
}
inline double length(const VECTOR3& a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
inline double dist(const VECTOR3& a, const VECTOR3& b) { return length(a - b); }
inline VECTOR3 unit(const VECTOR3& a) { return a / length(a); }
inline VECTOR3 mul(const MATRIX3& A, const VECTOR3& b) {
    return _V(A.m11 * b.x + A.m12 * b.y + A.m13 * b.z, A.m21 * b.x + A.m22 * b.y + A.m23 * b.z,
              A.m31 * b.x + A.m32 * b.y + A.m33 * b.z);
}
inline VECTOR3 tmul(const MATRIX3& A, const VECTOR3& b) {
    return _V(A.m11 * b.x + A.m21 * b.y + A.m31 * b.z, A.m12 * b.x + A.m22 * b.y + A.m32 * b.z,
              A.m13 * b.x + A.m23 * b.y + A.m33 * b.z);
}

// ---------------------------------------------------------------------------------------------
// Vessel state record, version 1 of the simulator's layout.
typedef struct {
    VECTOR3 rpos;     // position relative to the reference body, global frame [m]
    VECTOR3 rvel;     // velocity relative to the reference body, global frame [m/s]
    VECTOR3 vrot;     // angular velocity [rad/s]
    VECTOR3 arot;     // attitude: Euler angles [rad]
    double fuel;      // fuel level of the default resource, fraction of its maximum
    double eng_main;  // main engine level
    double eng_hovr;  // hover engine level
    OBJHANDLE rbody;  // reference body
    OBJHANDLE base;   // landing base, when landed
    int port;         // landing pad index
    int status;       // 0 = freeflight, 1 = landed
    VECTOR3 vdata[10];
    double fdata[10];
    DWORD flag[10];
} VESSELSTATUS;

// ---------------------------------------------------------------------------------------------
// Particle streams.
typedef struct {
    DWORD flags;
    double srcsize;      // particle size at creation [m]
    double srcrate;      // particles generated per second
    double v0;           // emission velocity [m/s]
    double srcspread;    // velocity spread
    double lifetime;     // particle lifetime [s]
    double growthrate;   // particle growth rate [m/s]
    double atmslowdown;  // slow-down in atmosphere
    enum LTYPE { EMISSIVE, DIFFUSE } ltype;
    enum LEVELMAP { LVL_FLAT, LVL_LIN, LVL_SQRT, LVL_PLIN, LVL_PSQRT } levelmap;
    double lmin, lmax;
    enum ATMSMAP { ATM_FLAT, ATM_PLIN, ATM_PLOG } atmsmap;
    double amin, amax;
    SURFHANDLE tex;  // null: the host's default particle texture
} PARTICLESTREAMSPEC;

// ---------------------------------------------------------------------------------------------
// Thruster group types, with the simulator's numbering.
typedef enum {
    THGROUP_MAIN,           // 0
    THGROUP_RETRO,          // 1
    THGROUP_HOVER,          // 2
    THGROUP_ATT_PITCHUP,    // 3
    THGROUP_ATT_PITCHDOWN,  // 4
    THGROUP_ATT_YAWLEFT,    // 5
    THGROUP_ATT_YAWRIGHT,   // 6
    THGROUP_ATT_BANKLEFT,   // 7
    THGROUP_ATT_BANKRIGHT,  // 8
    THGROUP_ATT_RIGHT,      // 9
    THGROUP_ATT_LEFT,       // 10
    THGROUP_ATT_UP,         // 11
    THGROUP_ATT_DOWN,       // 12
    THGROUP_ATT_FORWARD,    // 13
    THGROUP_ATT_BACK,       // 14
    THGROUP_USER = 0x40,
    THGROUP_USER_LAST = 0xFF
} THGROUP_TYPE;

// ---------------------------------------------------------------------------------------------
// Aerodynamics: airfoils (lift, moment and drag coefficients from the module's callback) and
// control surfaces.
class VESSEL;
typedef double (*LiftCoeffFunc)(double aoa);  // obsolete
typedef void (*AirfoilCoeffFunc)(double aoa, double M, double Re, double* cl, double* cm,
                                 double* cd);
typedef void (*AirfoilCoeffFuncEx)(VESSEL* v, double aoa, double M, double Re, void* context,
                                   double* cl, double* cm, double* cd);
typedef void (*AirfoilCoeffFuncEx2)(VESSEL* v, VECTOR3 WindDir, double alpha, double beta,
                                    double gamma, double M, double Re, void* context, double* CA,
                                    double* CN, double* CY, double* Cl, double* Cm, double* Cn);
typedef enum { LIFT_VERTICAL, LIFT_HORIZONTAL, FORCE_AND_MOMENT } AIRFOIL_ORIENTATION;
typedef enum {
    AIRCTRL_ELEVATOR,
    AIRCTRL_RUDDER,
    AIRCTRL_AILERON,
    AIRCTRL_FLAP,
    AIRCTRL_ELEVATORTRIM,
    AIRCTRL_RUDDERTRIM
} AIRCTRL_TYPE;
#define AIRCTRL_AXIS_AUTO 0
#define AIRCTRL_AXIS_YPOS 1
#define AIRCTRL_AXIS_YNEG 2
#define AIRCTRL_AXIS_XPOS 3
#define AIRCTRL_AXIS_XNEG 4

// Collision vertex: the first three are the touchdown points, the others the hull's.
typedef struct {
    VECTOR3 pos;       // in the vessel frame
    double stiffness;  // suspension stiffness
    double damping;    // suspension damping
    double mu;         // isotropic (lateral) friction coefficient
    double mu_lng;     // longitudinal friction coefficient (first three points only)
} TOUCHDOWNVTX;

// Generic messages to clbkGeneric.
#define VMSG_LUAINTERPRETER 0x0001
#define VMSG_LUAINSTANCE 0x0002
#define VMSG_USER 0x1000

// ---------------------------------------------------------------------------------------------
// Animation components. The host keeps the pointer given to AddAnimationComponent, so a
// component (and its group list) must outlive every animation that uses it. As in the simulator,
// the base has no virtual destructor.
class MGROUP_TRANSFORM {
public:
    enum TYPE { NULLTRANSFORM, ROTATE, TRANSLATE, SCALE };
    MGROUP_TRANSFORM() : mesh(0), grp(0), ngrp(0) {}
    MGROUP_TRANSFORM(UINT _mesh, UINT* _grp, UINT _ngrp) : mesh(_mesh), grp(_grp), ngrp(_ngrp) {}
    virtual TYPE Type() const { return NULLTRANSFORM; }
    UINT mesh;
    UINT* grp;
    UINT ngrp;
};

class MGROUP_ROTATE : public MGROUP_TRANSFORM {
public:
    MGROUP_ROTATE(UINT _mesh, UINT* _grp, UINT _ngrp, const VECTOR3& _ref, const VECTOR3& _axis,
                  float _angle)
        : MGROUP_TRANSFORM(_mesh, _grp, _ngrp),
          ref(_ref),
          axis(_axis),
          angle(_angle) {}
    TYPE Type() const override { return ROTATE; }
    VECTOR3 ref;
    VECTOR3 axis;
    float angle;  // [rad]
};

class MGROUP_TRANSLATE : public MGROUP_TRANSFORM {
public:
    MGROUP_TRANSLATE(UINT _mesh, UINT* _grp, UINT _ngrp, const VECTOR3& _shift)
        : MGROUP_TRANSFORM(_mesh, _grp, _ngrp),
          shift(_shift) {}
    TYPE Type() const override { return TRANSLATE; }
    VECTOR3 shift;
};

class MGROUP_SCALE : public MGROUP_TRANSFORM {
public:
    MGROUP_SCALE(UINT _mesh, UINT* _grp, UINT _ngrp, const VECTOR3& _ref, const VECTOR3& _scale)
        : MGROUP_TRANSFORM(_mesh, _grp, _ngrp),
          ref(_ref),
          scale(_scale) {}
    TYPE Type() const override { return SCALE; }
    VECTOR3 ref;
    VECTOR3 scale;
};

// ---------------------------------------------------------------------------------------------
// Keyboard: one byte per key code in the state array; a key is down when bit 7 is set.
#define KEYDOWN(buf, key) ((buf)[key] & 0x80)

#define OAPI_KEY_ESCAPE 0x01
#define OAPI_KEY_1 0x02
#define OAPI_KEY_2 0x03
#define OAPI_KEY_3 0x04
#define OAPI_KEY_4 0x05
#define OAPI_KEY_5 0x06
#define OAPI_KEY_6 0x07
#define OAPI_KEY_7 0x08
#define OAPI_KEY_8 0x09
#define OAPI_KEY_9 0x0A
#define OAPI_KEY_0 0x0B
#define OAPI_KEY_MINUS 0x0C
#define OAPI_KEY_EQUALS 0x0D
#define OAPI_KEY_BACK 0x0E
#define OAPI_KEY_TAB 0x0F
#define OAPI_KEY_Q 0x10
#define OAPI_KEY_W 0x11
#define OAPI_KEY_E 0x12
#define OAPI_KEY_R 0x13
#define OAPI_KEY_T 0x14
#define OAPI_KEY_Y 0x15
#define OAPI_KEY_U 0x16
#define OAPI_KEY_I 0x17
#define OAPI_KEY_O 0x18
#define OAPI_KEY_P 0x19
#define OAPI_KEY_LBRACKET 0x1A
#define OAPI_KEY_RBRACKET 0x1B
#define OAPI_KEY_RETURN 0x1C
#define OAPI_KEY_LCONTROL 0x1D
#define OAPI_KEY_A 0x1E
#define OAPI_KEY_S 0x1F
#define OAPI_KEY_D 0x20
#define OAPI_KEY_F 0x21
#define OAPI_KEY_G 0x22
#define OAPI_KEY_H 0x23
#define OAPI_KEY_J 0x24
#define OAPI_KEY_K 0x25
#define OAPI_KEY_L 0x26
#define OAPI_KEY_SEMICOLON 0x27
#define OAPI_KEY_APOSTROPHE 0x28
#define OAPI_KEY_GRAVE 0x29
#define OAPI_KEY_LSHIFT 0x2A
#define OAPI_KEY_BACKSLASH 0x2B
#define OAPI_KEY_Z 0x2C
#define OAPI_KEY_X 0x2D
#define OAPI_KEY_C 0x2E
#define OAPI_KEY_V 0x2F
#define OAPI_KEY_B 0x30
#define OAPI_KEY_N 0x31
#define OAPI_KEY_M 0x32
#define OAPI_KEY_COMMA 0x33
#define OAPI_KEY_PERIOD 0x34
#define OAPI_KEY_SLASH 0x35
#define OAPI_KEY_RSHIFT 0x36
#define OAPI_KEY_MULTIPLY 0x37
#define OAPI_KEY_LALT 0x38
#define OAPI_KEY_SPACE 0x39
#define OAPI_KEY_CAPITAL 0x3A
#define OAPI_KEY_F1 0x3B
#define OAPI_KEY_F2 0x3C
#define OAPI_KEY_F3 0x3D
#define OAPI_KEY_F4 0x3E
#define OAPI_KEY_F5 0x3F
#define OAPI_KEY_F6 0x40
#define OAPI_KEY_F7 0x41
#define OAPI_KEY_F8 0x42
#define OAPI_KEY_F9 0x43
#define OAPI_KEY_F10 0x44
#define OAPI_KEY_NUMLOCK 0x45
#define OAPI_KEY_SCROLL 0x46
#define OAPI_KEY_NUMPAD7 0x47
#define OAPI_KEY_NUMPAD8 0x48
#define OAPI_KEY_NUMPAD9 0x49
#define OAPI_KEY_SUBTRACT 0x4A
#define OAPI_KEY_NUMPAD4 0x4B
#define OAPI_KEY_NUMPAD5 0x4C
#define OAPI_KEY_NUMPAD6 0x4D
#define OAPI_KEY_ADD 0x4E
#define OAPI_KEY_NUMPAD1 0x4F
#define OAPI_KEY_NUMPAD2 0x50
#define OAPI_KEY_NUMPAD3 0x51
#define OAPI_KEY_NUMPAD0 0x52
#define OAPI_KEY_DECIMAL 0x53
#define OAPI_KEY_OEM_102 0x56
#define OAPI_KEY_F11 0x57
#define OAPI_KEY_F12 0x58
#define OAPI_KEY_NUMPADENTER 0x9C
#define OAPI_KEY_RCONTROL 0x9D
#define OAPI_KEY_DIVIDE 0xB5
#define OAPI_KEY_SYSRQ 0xB7
#define OAPI_KEY_RALT 0xB8
#define OAPI_KEY_PAUSE 0xC5
#define OAPI_KEY_HOME 0xC7
#define OAPI_KEY_UP 0xC8
#define OAPI_KEY_PRIOR 0xC9
#define OAPI_KEY_LEFT 0xCB
#define OAPI_KEY_RIGHT 0xCD
#define OAPI_KEY_END 0xCF
#define OAPI_KEY_DOWN 0xD0
#define OAPI_KEY_NEXT 0xD1
#define OAPI_KEY_INSERT 0xD2
#define OAPI_KEY_DELETE 0xD3

#define RESETKEY(buf, key) ((buf)[key] = 0)
#define KEYMOD_LSHIFT(buf) (KEYDOWN(buf, OAPI_KEY_LSHIFT))
#define KEYMOD_RSHIFT(buf) (KEYDOWN(buf, OAPI_KEY_RSHIFT))
#define KEYMOD_SHIFT(buf) (KEYMOD_LSHIFT(buf) || KEYMOD_RSHIFT(buf))
#define KEYMOD_LCONTROL(buf) (KEYDOWN(buf, OAPI_KEY_LCONTROL))
#define KEYMOD_RCONTROL(buf) (KEYDOWN(buf, OAPI_KEY_RCONTROL))
#define KEYMOD_CONTROL(buf) (KEYMOD_LCONTROL(buf) || KEYMOD_RCONTROL(buf))
#define KEYMOD_LALT(buf) (KEYDOWN(buf, OAPI_KEY_LALT))
#define KEYMOD_RALT(buf) (KEYDOWN(buf, OAPI_KEY_RALT))
#define KEYMOD_ALT(buf) (KEYMOD_LALT(buf) || KEYMOD_RALT(buf))

// ---------------------------------------------------------------------------------------------
// HUD painting, as the callbacks below name it (the host never paints).
typedef struct {
    int W, H;
    int CX, CY;
    double Scale;
    int Markersize;
} HUDPAINTSPEC;
namespace oapi {
class Sketchpad;
}
#ifndef _WIN32
typedef struct HDC__* HDC;
#endif

// ---------------------------------------------------------------------------------------------
// Vessel interface. VESSEL has no virtual operations and no destructor of its own; VESSEL2 adds
// the callbacks, VESSEL3 the later ones, in the simulator's order (their virtual tables must
// match the simulator's). A module destroys its objects as their full type.
// The simulator declares GetHandle with a const-qualified handle result; keep its signature.
class Vessel;  // the simulator's own vessel object behind a handle

#if defined(__GNUC__)
#  pragma GCC diagnostic push
#  pragma GCC diagnostic ignored "-Wignored-qualifiers"
#endif
class OAPIFUNC VESSEL {
public:
    VESSEL(OBJHANDLE hVessel, int fmodel = 1);
    inline int Version() const { return version; }

    const OBJHANDLE GetHandle() const;
    char* GetName() const;
    char* GetClassNameA() const;
    int GetFlightModel() const;

    // Physical set-up.
    void SetSize(double size) const;
    double GetSize() const;
    void SetEmptyMass(double m) const;
    double GetEmptyMass() const;
    void SetPMI(const VECTOR3& pmi) const;
    void SetCrossSections(const VECTOR3& cs) const;
    void SetCW(double cw_z_pos, double cw_z_neg, double cw_x, double cw_y) const;
    void SetRotDrag(const VECTOR3& rd) const;
    void GetPMI(VECTOR3& pmi) const;
    void GetCrossSections(VECTOR3& cs) const;
    void GetCW(double& cw_z_pos, double& cw_z_neg, double& cw_x, double& cw_y) const;
    void GetRotDrag(VECTOR3& rd) const;
    double GetPitchMomentScale() const;
    void SetPitchMomentScale(double scale) const;
    double GetYawMomentScale() const;
    void SetYawMomentScale(double scale) const;
    double GetBankMomentScale() const;
    void SetBankMomentScale(double scale) const;
    double GetTrimScale() const;
    void SetTrimScale(double scale) const;
    double GetWingAspect() const;
    void SetWingAspect(double aspect) const;
    double GetWingEffectiveness() const;
    void SetWingEffectiveness(double eff) const;
    void SetLiftCoeffFunc(LiftCoeffFunc lcf) const;
    void SetCameraOffset(const VECTOR3& co) const;

    // Touchdown points and hull vertices.
    void SetTouchdownPoints(const VECTOR3& pt1, const VECTOR3& pt2, const VECTOR3& pt3) const;
    void SetTouchdownPoints(const TOUCHDOWNVTX* tdvtx, DWORD ntdvtx) const;
    void GetTouchdownPoints(VECTOR3& pt1, VECTOR3& pt2, VECTOR3& pt3) const;
    bool GetTouchdownPoint(TOUCHDOWNVTX& tdvtx, DWORD idx) const;
    DWORD GetTouchdownPointCount() const;
    double GetCOG_elev() const;
    void SetCOG_elev(double h) const;
    void SetSurfaceFrictionCoeff(double mu_lng, double mu_lat) const;

    // Airfoils, control surfaces and drag elements.
    void CreateAirfoil(AIRFOIL_ORIENTATION align, const VECTOR3& ref, AirfoilCoeffFunc cf, double c,
                       double S, double A) const;
    AIRFOILHANDLE CreateAirfoil2(AIRFOIL_ORIENTATION align, const VECTOR3& ref, AirfoilCoeffFunc cf,
                                 double c, double S, double A) const;
    AIRFOILHANDLE CreateAirfoil3(AIRFOIL_ORIENTATION align, const VECTOR3& ref,
                                 AirfoilCoeffFuncEx cf, void* context, double c, double S,
                                 double A) const;
    AIRFOILHANDLE CreateAirfoil4(const VECTOR3& ref, AirfoilCoeffFuncEx2 cf, void* context,
                                 double c, double S, double A) const;
    bool GetAirfoilParam(AIRFOILHANDLE hAirfoil, VECTOR3* ref, AirfoilCoeffFunc* cf, void** context,
                         double* c, double* S, double* A) const;
    void EditAirfoil(AIRFOILHANDLE hAirfoil, DWORD flag, const VECTOR3& ref, AirfoilCoeffFunc cf,
                     double c, double S, double A) const;
    bool DelAirfoil(AIRFOILHANDLE hAirfoil) const;
    void ClearAirfoilDefinitions() const;
    void CreateControlSurface(AIRCTRL_TYPE type, double area, double dCl, const VECTOR3& ref,
                              int axis = AIRCTRL_AXIS_AUTO, UINT anim = (UINT)-1) const;
    CTRLSURFHANDLE CreateControlSurface2(AIRCTRL_TYPE type, double area, double dCl,
                                         const VECTOR3& ref, int axis = AIRCTRL_AXIS_AUTO,
                                         UINT anim = (UINT)-1) const;
    CTRLSURFHANDLE CreateControlSurface3(AIRCTRL_TYPE type, double area, double dCl,
                                         const VECTOR3& ref, int axis = AIRCTRL_AXIS_AUTO,
                                         double delay = 1.0, UINT anim = (UINT)-1) const;
    bool DelControlSurface(CTRLSURFHANDLE hCtrlSurf) const;
    void ClearControlSurfaceDefinitions() const;
    void SetControlSurfaceLevel(AIRCTRL_TYPE type, double level) const;
    void SetControlSurfaceLevel(AIRCTRL_TYPE type, double level, bool direct) const;
    double GetControlSurfaceLevel(AIRCTRL_TYPE type) const;
    void CreateVariableDragElement(const double* drag, double factor, const VECTOR3& ref) const;
    void CreateVariableDragElement(double* drag, double factor, const VECTOR3& ref) const;
    void ClearVariableDragElements() const;
    double GetLift() const;
    double GetDrag() const;
    double GetSideForce() const;
    bool GetLiftVector(VECTOR3& L) const;
    bool GetDragVector(VECTOR3& D) const;
    bool GetSideForceVector(VECTOR3& SF) const;
    double GetAOA() const;
    double GetSlipAngle() const;
    DWORD GetADCtrlMode() const;
    void SetADCtrlMode(DWORD mode) const;

    // Docking ports.
    DOCKHANDLE CreateDock(const VECTOR3& pos, const VECTOR3& dir, const VECTOR3& rot) const;
    bool DelDock(DOCKHANDLE hDock) const;
    void ClearDockDefinitions() const;
    void SetDockParams(const VECTOR3& pos, const VECTOR3& dir, const VECTOR3& rot) const;
    void SetDockParams(DOCKHANDLE hDock, const VECTOR3& pos, const VECTOR3& dir,
                       const VECTOR3& rot) const;
    void GetDockParams(DOCKHANDLE hDock, VECTOR3& pos, VECTOR3& dir, VECTOR3& rot) const;
    UINT DockCount() const;
    DOCKHANDLE GetDockHandle(UINT n) const;
    OBJHANDLE GetDockStatus(DOCKHANDLE hDock) const;
    UINT DockingStatus(UINT port) const;
    int Dock(OBJHANDLE target, UINT n, UINT tgtn, UINT mode) const;
    bool Undock(UINT n, const OBJHANDLE exclude = 0) const;

    // Propellant.
    PROPELLANT_HANDLE CreatePropellantResource(double maxmass, double mass = -1.0,
                                               double efficiency = 1.0) const;
    void DelPropellantResource(PROPELLANT_HANDLE& ph) const;
    void SetDefaultPropellantResource(PROPELLANT_HANDLE ph) const;
    DWORD GetPropellantCount() const;
    PROPELLANT_HANDLE GetPropellantHandleByIndex(DWORD idx) const;
    double GetPropellantMass(PROPELLANT_HANDLE ph) const;
    double GetPropellantMaxMass(PROPELLANT_HANDLE ph) const;
    void SetPropellantMass(PROPELLANT_HANDLE ph, double mass) const;
    void ClearPropellantResources() const;
    double GetMass() const;

    // Flight state over the reference body, as the simulator's surface parameters give it.
    DWORD GetFlightStatus() const;
    bool GroundContact() const;
    double GetAltitude() const;
    OBJHANDLE GetEquPos(double& longitude, double& latitude, double& radius) const;
    double GetYaw() const;
    double GetAtmTemperature() const;
    double GetAtmDensity() const;
    double GetAtmPressure() const;
    double GetDynPressure() const;
    double GetMachNumber() const;
    double GetAirspeed() const;
    bool GetHorizonAirspeedVector(VECTOR3& v) const;
    double GetFuelMass() const;
    double GetMaxFuelMass() const;
    void SetFuelMass(double m) const;

    // Thrusters.
    THRUSTER_HANDLE CreateThruster(const VECTOR3& pos, const VECTOR3& dir, double maxth0,
                                   PROPELLANT_HANDLE hp = 0, double isp0 = 0.0,
                                   double isp_ref = 0.0, double p_ref = 101.4e3) const;
    DWORD GetThrusterCount() const;
    THRUSTER_HANDLE GetThrusterHandleByIndex(DWORD idx) const;
    double GetThrusterLevel(THRUSTER_HANDLE th) const;
    void SetThrusterLevel(THRUSTER_HANDLE th, double level) const;
    THGROUP_HANDLE CreateThrusterGroup(THRUSTER_HANDLE* th, int nth, THGROUP_TYPE thgt) const;
    THGROUP_HANDLE GetThrusterGroupHandle(THGROUP_TYPE thgt) const;
    double GetThrusterGroupLevel(THGROUP_HANDLE thg) const;
    double GetThrusterGroupLevel(THGROUP_TYPE thgt) const;
    void SetThrusterGroupLevel(THGROUP_HANDLE thg, double level) const;
    void SetThrusterGroupLevel(THGROUP_TYPE thgt, double level) const;
    void ClearThrusterDefinitions() const;

    // Visual effects.
    UINT AddExhaust(THRUSTER_HANDLE th, double lscale, double wscale, SURFHANDLE tex = 0) const;
    UINT AddExhaust(THRUSTER_HANDLE th, double lscale, double wscale, const VECTOR3& pos,
                    const VECTOR3& dir, SURFHANDLE tex = 0) const;
    PSTREAM_HANDLE AddExhaustStream(THRUSTER_HANDLE th, PARTICLESTREAMSPEC* pss = 0) const;
    PSTREAM_HANDLE AddExhaustStream(THRUSTER_HANDLE th, const VECTOR3& pos,
                                    PARTICLESTREAMSPEC* pss = 0) const;
    PSTREAM_HANDLE AddReentryStream(PARTICLESTREAMSPEC* pss) const;
    void SetReentryTexture(SURFHANDLE tex, double plimit = 6e7, double lscale = 1.0,
                           double wscale = 1.0) const;
    void ClearExhaustRefs(void) const;     // obsolete
    void ClearAttExhaustRefs(void) const;  // obsolete

    // Meshes.
    UINT AddMesh(MESHHANDLE hMesh, const VECTOR3* ofs = 0) const;
    UINT AddMesh(const char* meshname, const VECTOR3* ofs = 0) const;
    void ClearMeshes() const;
    void ClearMeshes(bool retainAnim) const;
    UINT GetMeshCount() const;
    void SetMeshVisibilityMode(UINT idx, WORD mode) const;

    // Animations.
    UINT CreateAnimation(double initial_state) const;
    ANIMATIONCOMPONENT_HANDLE AddAnimationComponent(UINT anim, double state0, double state1,
                                                    MGROUP_TRANSFORM* trans,
                                                    ANIMATIONCOMPONENT_HANDLE parent = 0) const;
    bool SetAnimation(UINT anim, double state) const;
    double GetAnimation(UINT anim) const;

    // Attachments.
    ATTACHMENTHANDLE CreateAttachment(bool toparent, const VECTOR3& pos, const VECTOR3& dir,
                                      const VECTOR3& rot, const char* id, bool loose = false) const;
    DWORD AttachmentCount(bool toparent) const;
    ATTACHMENTHANDLE GetAttachmentHandle(bool toparent, DWORD i) const;
    DWORD GetAttachmentIndex(ATTACHMENTHANDLE attachment) const;
    const char* GetAttachmentId(ATTACHMENTHANDLE attachment) const;
    void GetAttachmentParams(ATTACHMENTHANDLE attachment, VECTOR3& pos, VECTOR3& dir,
                             VECTOR3& rot) const;
    OBJHANDLE GetAttachmentStatus(ATTACHMENTHANDLE attachment) const;
    bool AttachChild(OBJHANDLE child, ATTACHMENTHANDLE attachment,
                     ATTACHMENTHANDLE child_attachment) const;
    bool DetachChild(ATTACHMENTHANDLE attachment, double vel = 0.0) const;

    // State and frames.
    void GetStatus(VESSELSTATUS& status) const;
    void DefSetState(const VESSELSTATUS* status) const;
    void GetGlobalPos(VECTOR3& pos) const;
    void GetGlobalVel(VECTOR3& vel) const;
    void GetRotationMatrix(MATRIX3& R) const;
    void Local2Global(const VECTOR3& local, VECTOR3& global) const;
    void Global2Local(const VECTOR3& global, VECTOR3& local) const;
    void Local2Rel(const VECTOR3& local, VECTOR3& rel) const;
    void GlobalRot(const VECTOR3& rloc, VECTOR3& rglob) const;
    void HorizonRot(const VECTOR3& rloc, VECTOR3& rhorizon) const;

    // Scenario.
    void ParseScenarioLineEx(char* line, void* status) const;
    void SaveDefaultState(FILEHANDLE scn) const;

protected:
    Vessel* vessel;
    short flightmodel;
    short version;
};
#if defined(__GNUC__)
#  pragma GCC diagnostic pop
#endif

class OAPIFUNC VESSEL2 : public VESSEL {
public:
    VESSEL2(OBJHANDLE hVessel, int fmodel = 1);

    virtual void clbkSetClassCaps(FILEHANDLE cfg);
    virtual void clbkSaveState(FILEHANDLE scn);
    virtual void clbkLoadStateEx(FILEHANDLE scn, void* status);
    virtual void clbkSetStateEx(const void* status);
    virtual void clbkPostCreation();
    virtual void clbkFocusChanged(bool getfocus, OBJHANDLE hNewVessel, OBJHANDLE hOldVessel);
    virtual void clbkPreStep(double simt, double simdt, double mjd);
    virtual void clbkPostStep(double simt, double simdt, double mjd);
    virtual bool clbkPlaybackEvent(double simt, double event_t, const char* event_type,
                                   const char* event);
    virtual void clbkVisualCreated(VISHANDLE vis, int refcount);
    virtual void clbkVisualDestroyed(VISHANDLE vis, int refcount);
    virtual void clbkDrawHUD(int mode, const HUDPAINTSPEC* hps, HDC hDC);
    virtual void clbkRCSMode(int mode);
    virtual void clbkADCtrlMode(DWORD mode);
    virtual void clbkHUDMode(int mode);
    virtual void clbkMFDMode(int mfd, int mode);
    virtual void clbkNavMode(int mode, bool active);
    virtual void clbkDockEvent(int dock, OBJHANDLE mate);
    virtual void clbkAnimate(double simt);
    virtual int clbkConsumeDirectKey(char* kstate);
    virtual int clbkConsumeBufferedKey(DWORD key, bool down, char* kstate);
    virtual bool clbkLoadGenericCockpit();
    virtual bool clbkLoadPanel(int id);
    virtual bool clbkPanelMouseEvent(int id, int event, int mx, int my);
    virtual bool clbkPanelRedrawEvent(int id, int event, SURFHANDLE surf);
    virtual bool clbkLoadVC(int id);
    virtual bool clbkVCMouseEvent(int id, int event, VECTOR3& p);
    virtual bool clbkVCRedrawEvent(int id, int event, SURFHANDLE surf);
};

// Its overloads hide those of VESSEL2 of the same names, as the simulator's own header has it.
#if defined(__GNUC__)
#  pragma GCC diagnostic push
#  pragma GCC diagnostic ignored "-Woverloaded-virtual"
#endif
class OAPIFUNC VESSEL3 : public VESSEL2 {
public:
    VESSEL3(OBJHANDLE hVessel, int fmodel = 1);

    virtual bool clbkPanelMouseEvent(int id, int event, int mx, int my, void* context);
    virtual bool clbkPanelRedrawEvent(int id, int event, SURFHANDLE surf, void* context);
    virtual int clbkGeneric(int msgid = 0, int prm = 0, void* context = 0);
    virtual bool clbkLoadPanel2D(int id, PANELHANDLE hPanel, DWORD viewW, DWORD viewH);
    virtual bool clbkDrawHUD(int mode, const HUDPAINTSPEC* hps, oapi::Sketchpad* skp);
    virtual void clbkRenderHUD(int mode, const HUDPAINTSPEC* hps, SURFHANDLE hDefaultTex);
    virtual void clbkGetRadiationForce(const VECTOR3& mflux, VECTOR3& F, VECTOR3& pos);
};
#if defined(__GNUC__)
#  pragma GCC diagnostic pop
#endif

// ---------------------------------------------------------------------------------------------
// Free functions of the simulator.

// Textures and meshes.
OAPIFUNC SURFHANDLE oapiRegisterExhaustTexture(char* name);
OAPIFUNC SURFHANDLE oapiRegisterParticleTexture(char* name);
OAPIFUNC SURFHANDLE oapiRegisterReentryTexture(char* name);
OAPIFUNC MESHHANDLE oapiLoadMesh(const char* fname);
OAPIFUNC MESHHANDLE oapiLoadMeshGlobal(const char* fname);
OAPIFUNC void oapiDeleteMesh(MESHHANDLE hMesh);

// Vessels and objects.
OAPIFUNC DWORD oapiGetVesselCount();
OAPIFUNC OBJHANDLE oapiGetVesselByIndex(int index);
OAPIFUNC OBJHANDLE oapiGetVesselByName(char* name);
OAPIFUNC VESSEL* oapiGetVesselInterface(OBJHANDLE hVessel);
OAPIFUNC OBJHANDLE oapiGetFocusObject();
OAPIFUNC VESSEL* oapiGetFocusInterface();
OAPIFUNC OBJHANDLE oapiSetFocusObject(OBJHANDLE hVessel);
OAPIFUNC void oapiGetObjectName(OBJHANDLE hObj, char* name, int n);
OAPIFUNC void oapiGetGlobalPos(OBJHANDLE hObj, VECTOR3* pos);
OAPIFUNC void oapiGetGlobalVel(OBJHANDLE hObj, VECTOR3* vel);
OAPIFUNC double oapiGetSize(OBJHANDLE hObj);
OAPIFUNC double oapiGetMass(OBJHANDLE hObj);
OAPIFUNC OBJHANDLE oapiCreateVessel(const char* name, const char* classname,
                                    const VESSELSTATUS& status);
OAPIFUNC bool oapiDeleteVessel(OBJHANDLE hVessel, OBJHANDLE hAlternativeCameraTarget = 0);

// Time.
OAPIFUNC double oapiGetSimTime();
OAPIFUNC double oapiGetSimStep();

// Scenario files.
OAPIFUNC bool oapiReadScenario_nextline(FILEHANDLE scn, char*& line);
OAPIFUNC void oapiWriteScenario_string(FILEHANDLE scn, char* item, char* string);
OAPIFUNC void oapiWriteScenario_int(FILEHANDLE scn, char* item, int i);
OAPIFUNC void oapiWriteScenario_float(FILEHANDLE scn, char* item, double d);
OAPIFUNC void oapiWriteScenario_vec(FILEHANDLE scn, char* item, const VECTOR3& vec);
OAPIFUNC void oapiWriteLine(FILEHANDLE file, char* line);

// Files and the log.
typedef enum { FILE_IN, FILE_OUT, FILE_APP, FILE_IN_ZEROONFAIL } FileAccessMode;
typedef enum { ROOT, CONFIG, SCENARIOS, TEXTURES, TEXTURES2, MESHES, MODULES } PathRoot;
OAPIFUNC FILEHANDLE oapiOpenFile(const char* fname, FileAccessMode mode, PathRoot root = ROOT);
OAPIFUNC void oapiCloseFile(FILEHANDLE file, FileAccessMode mode);
OAPIFUNC void oapiWriteLog(char* line);

// Input.
OAPIFUNC bool oapiAcceptDelayedKey(char key, double repdelay);

// Aerodynamics helpers for airfoil callbacks.
OAPIFUNC double oapiGetInducedDrag(double cl, double A, double e);
OAPIFUNC double oapiGetWaveDrag(double M, double M1, double M2, double M3, double cmax);

// Docking ports.
OAPIFUNC DOCKHANDLE oapiGetDockHandle(OBJHANDLE hVessel, UINT n);
OAPIFUNC OBJHANDLE oapiGetDockStatus(DOCKHANDLE dock);
OAPIFUNC OBJHANDLE oapiGetDockOwner(DOCKHANDLE hDock);

#endif  // ORBITERSDK_H
