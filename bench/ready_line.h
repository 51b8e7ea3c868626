#pragma once

#include <time.h>

#include <cstdio>

namespace quillow::bench {

// Tells bench/run.sh that the window is ready: "ready <seconds.micro>" in
// the same wall clock as bash's $EPOCHREALTIME, which the script reads just
// before it starts the program, so the difference is the time from exec.
// Another word names another moment.
inline void printReady(const char *word = "ready") {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::printf("%s %lld.%06ld\n", word, static_cast<long long>(now.tv_sec), now.tv_nsec / 1000);
    std::fflush(stdout);
}

}  // namespace quillow::bench
