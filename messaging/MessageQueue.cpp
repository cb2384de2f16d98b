// The message module: one first-in first-out queue of key/text messages per receiver, the
// receiver known by its VESSEL interface pointer. Loaded by every framework vessel; the dynamic
// loader keeps one copy per process, so all vessels share these queues.
#include "MessageChannel.h"

#include <cstring>
#include <deque>
#include <string>
#include <unordered_map>

namespace {

struct Message {
    std::string key;
    std::string text;
};

// Queues are erased when they run empty, so the map holds only receivers with mail waiting.
std::unordered_map<const VESSEL*, std::deque<Message>>& queues() {
    static std::unordered_map<const VESSEL*, std::deque<Message>> q;
    return q;
}

// Copies at most size-1 characters and always terminates.
void copyCut(char* out, std::size_t size, const std::string& in) {
    const std::size_t n = in.size() < size - 1 ? in.size() : size - 1;
    std::memcpy(out, in.data(), n);
    out[n] = '\0';
}

}  // namespace

// A null receiver is accepted like any other pointer; nothing ever polls for it, so such mail
// is dropped at once rather than kept.
DLLCLBK void SendCMessage(VESSEL* receiver, const char* key, const char* text) {
    if (receiver == nullptr) return;
    try {
        queues()[receiver].push_back(Message{key ? key : "", text ? text : ""});
    } catch (...) {
        // Out of memory: the message is lost; the caller has no way to hear of it.
    }
}

DLLCLBK int CheckCMessage(VESSEL* self, char* key, char* text) {
    auto& q = queues();
    const auto it = q.find(self);
    if (it == q.end() || it->second.empty()) return messagechannel::kNothingWaiting;
    std::deque<Message>& mine = it->second;
    const Message& m = mine.front();
    if (key != nullptr) copyCut(key, messagechannel::kKeyBuffer, m.key);
    if (text != nullptr) copyCut(text, messagechannel::kTextBuffer, m.text);
    mine.pop_front();
    if (mine.empty()) {
        q.erase(it);
        return messagechannel::kLastMessage;
    }
    const std::size_t left = mine.size();
    return left > 1000000 ? 1000000 : static_cast<int>(left);
}
