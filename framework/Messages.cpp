// The message channel between vessels, through the outside message module.
#include "CommonVesselEx.h"
#include "CopyCut.h"

#include <cstdio>
#include <cstring>

void COMMON_VESSEL_EX::SendVesselMessage(VESSEL* receiver, const char* key, const char* text) {
    if (hMessageLib == nullptr) return;
    const SendCMessageFn send =
        reinterpret_cast<SendCMessageFn>(GetProcAddress(hMessageLib, "SendCMessage"));
    if (send == nullptr) return;
    send(receiver, key, text);
}

bool COMMON_VESSEL_EX::CheckMessages(char* keyOut, char* textOut) {
    if (hMessageLib == nullptr) return false;
    const CheckCMessageFn check =
        reinterpret_cast<CheckCMessageFn>(GetProcAddress(hMessageLib, "CheckCMessage"));
    if (check == nullptr) return false;

    bool handled = false;
    // Reused for every message of this call. Terminated after each call so that a module that
    // forgets to terminate can never make us read past them. Only their ends and first bytes
    // are set up front: this runs for every vessel on every step.
    char key[kMessageKeyMax + 1];
    char text[kMessageTextMax + 1];
    key[0] = '\0';
    text[0] = '\0';
    key[kMessageKeyMax] = '\0';
    text[kMessageTextMax] = '\0';
    VESSEL* const self = this;
    for (;;) {
        const int rc = check(self, key, text);
        key[kMessageKeyMax] = '\0';
        text[kMessageTextMax] = '\0';
        if (rc != messagechannel::kNothingWaiting && text[0] != '\0') {
            DispatchMessage(key, text);
            if (keyOut != nullptr && textOut != nullptr) {
                copyCut(keyOut, kMessageKeyMax, key);
                copyCut(textOut, kMessageTextMax, text);
            }
            handled = true;
        }
        if (rc < 0) break;
    }
    return handled;
}

bool COMMON_VESSEL_EX::PollMessages() { return CheckMessages(nullptr, nullptr); }

// Called at construction: mail waiting for this address then was sent to a vessel that lived
// here before and was deleted before it read it; a new vessel must not take it for its own.
void COMMON_VESSEL_EX::DiscardMessages() {
    if (hMessageLib == nullptr) return;
    const CheckCMessageFn check =
        reinterpret_cast<CheckCMessageFn>(GetProcAddress(hMessageLib, "CheckCMessage"));
    if (check == nullptr) return;
    char key[kMessageKeyMax + 1];
    char text[kMessageTextMax + 1];
    VESSEL* const self = this;
    while (check(self, key, text) >= 0) {
    }
}
