// The contract of the message channel between vessels: the two functions the message module
// ("Modules\cvelmessage") exports, which framework vessels look up by name at run time, and the
// buffers a receiver hands over. The module and its callers both include this header, so the two
// sides cannot disagree.
#ifndef MESSAGE_CHANNEL_H
#define MESSAGE_CHANNEL_H

#include "OrbiterModule.h"

#include <cstddef>

namespace messagechannel {

// Sizes of the buffers CheckCMessage writes into, terminator included: a longer key or text
// arrives cut to one character less.
constexpr std::size_t kKeyBuffer = 256;
constexpr std::size_t kTextBuffer = 2048;

// CheckCMessage's results other than a count of messages still waiting.
constexpr int kNothingWaiting = -1;  // the buffers are untouched
constexpr int kLastMessage = -2;     // a message was written and none waits after it

}  // namespace messagechannel

// Queues key and text for the receiver (null: dropped).
DLLCLBK void SendCMessage(VESSEL* receiver, const char* key, const char* text);
// Moves the receiver's oldest message into key (kKeyBuffer bytes) and text (kTextBuffer bytes):
// kNothingWaiting, kLastMessage, or the number of messages still waiting after it.
DLLCLBK int CheckCMessage(VESSEL* self, char* key, char* text);

using SendCMessageFn = decltype(&SendCMessage);
using CheckCMessageFn = decltype(&CheckCMessage);

#endif  // MESSAGE_CHANNEL_H
