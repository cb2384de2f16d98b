#pragma once

#include "InputError.h"

#include <functional>
#include <ostream>
#include <string>

namespace runner {

// Every line the runner writes to standard error starts with this, so that its messages stand
// apart from those of whatever runs it.
inline const char* const kProgramPrefix = "aerobell-sim: ";

// Things the runner can carry on past but the user should hear about: a flight-script command
// that cannot apply at its time, an end time the steps cannot land on. Strict runs treat each
// as an error (thrown as InputError, so the caller ends the run where it happened).
class Warnings {
public:
    Warnings(std::ostream& out, std::ostream& err, bool strict)
        : out_(out),
          err_(err),
          strict_(strict) {}

    // Called before a warning is printed (a progress line on the terminal makes way for it).
    void beforePrint(std::function<void()> fn) { beforePrint_ = std::move(fn); }

    // `what` happened; the run goes on with `outcome` ("command skipped").
    void warn(const std::string& what, const std::string& outcome) {
        if (strict_) throw InputError(what + " (an error with --strict)");
        ++count_;
        if (beforePrint_) beforePrint_();
        out_.flush();  // standard output first, so that on a terminal the warning lands in order
        err_ << kProgramPrefix << "warning: " << what << "; " << outcome << std::endl;
    }

    int count() const { return count_; }

private:
    std::ostream& out_;
    std::ostream& err_;
    bool strict_;
    int count_ = 0;
    std::function<void()> beforePrint_;
};

}  // namespace runner
