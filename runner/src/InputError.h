#pragma once

#include <stdexcept>
#include <string>

namespace runner {

// A problem with what the user gave us (a file, a number, a name). The runner prints it as one
// line on standard error and exits with status 2. Thrown before a flight, nothing has been
// written; in a flight, the flight ends there and the files asked for are still written.
class InputError : public std::runtime_error {
public:
    explicit InputError(const std::string& message) : std::runtime_error(message) {}
    InputError(const std::string& file, int line, const std::string& message)
        : std::runtime_error(file + ":" + std::to_string(line) + ": " + message) {}
};

}  // namespace runner
