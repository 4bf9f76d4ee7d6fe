//===- random.cpp - Random bytes from getrandom ---------------------------===//
#include "platform/random.h"

#include <sys/random.h>

namespace ktu::sys {

bool SystemRandom(void* out, size_t size) {
    return getrandom(out, size, GRND_NONBLOCK) == static_cast<ssize_t>(size);
}

} // namespace ktu::sys
