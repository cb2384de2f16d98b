#ifndef COPY_CUT_H
#define COPY_CUT_H

#include <cstddef>
#include <cstring>

// Copies at most max characters of in (null reads as empty) into out, which holds max + 1, and
// terminates.
inline void copyCut(char* out, std::size_t max, const char* in) {
    const std::size_t n = in != nullptr ? strnlen(in, max) : 0;
    if (n > 0) std::memcpy(out, in, n);
    out[n] = '\0';
}

#endif  // COPY_CUT_H
