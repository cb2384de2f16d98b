// A stand-in message module whose answers a test scripts, to reach every result convention.
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#define EXPORT extern "C" __attribute__((visibility("default")))

class VESSEL;

namespace {

struct Answer {
    int rc;
    bool write;
    std::string key, text;
};
std::deque<Answer> answers;
int calls = 0;
std::vector<std::string> sent;

}  // namespace

EXPORT void ScriptReset() {
    answers.clear();
    sent.clear();
    calls = 0;
}

// The next answer of CheckCMessage: rc, and whether key and text are written into the buffers.
EXPORT void ScriptAnswer(int rc, bool write, const char* key, const char* text) {
    answers.push_back(Answer{rc, write, key, text});
}

EXPORT int ScriptCalls() { return calls; }

EXPORT void SendCMessage(VESSEL*, const char* key, const char* text) {
    sent.push_back(std::string(key) + "|" + text);
}

EXPORT int CheckCMessage(VESSEL*, char* key, char* text) {
    ++calls;
    if (answers.empty()) return -1;
    const Answer a = answers.front();
    answers.pop_front();
    if (a.write) {
        std::strcpy(key, a.key.c_str());
        std::strcpy(text, a.text.c_str());
    }
    return a.rc;
}
