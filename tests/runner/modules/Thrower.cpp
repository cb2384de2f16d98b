// A vessel module whose vessels let an exception out of clbkPostStep once a quarter of a second
// has passed, as a faulty module might: the simulator has no handler there and ends.
#include "OrbiterModule.h"

#include <stdexcept>

namespace {

class Thrower final : public VESSEL2 {
public:
    Thrower(OBJHANDLE h, int fm) : VESSEL2(h, fm) {}
    void clbkPostStep(double simt, double, double) override {
        if (simt > 0.25) throw std::runtime_error("thrown on purpose");
    }
};

}  // namespace

DLLCLBK VESSEL* ovcInit(OBJHANDLE h, int fm) { return new Thrower(h, fm); }
DLLCLBK void ovcExit(VESSEL* v) { delete static_cast<Thrower*>(v); }
