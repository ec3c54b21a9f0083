// Preloaded into a saver to play another computer on the share: its host name is
// QUORIN_HOST_NAME, and its wall clock reads QUORIN_CLOCK_AHEAD seconds later than the real
// one (the files it writes keep the real time, as a file server stamps them). The steady
// clock is left alone.

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <sys/time.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

namespace {
long ahead() {
    static const long seconds = [] {
        const char *text = std::getenv("QUORIN_CLOCK_AHEAD");
        return text ? std::atol(text) : 0L;
    }();
    return seconds;
}
} // namespace

extern "C" int clock_gettime(clockid_t clock, timespec *when) {
    using Real = int (*)(clockid_t, timespec *);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "clock_gettime"));
    const int result = real(clock, when);
    if (result == 0 && (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE))
        when->tv_sec += ahead();
    return result;
}

extern "C" int gettimeofday(timeval *when, void *zone) {
    using Real = int (*)(timeval *, void *);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "gettimeofday"));
    const int result = real(when, zone);
    if (result == 0)
        when->tv_sec += ahead();
    return result;
}

extern "C" time_t time(time_t *out) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    if (out)
        *out = now.tv_sec;
    return now.tv_sec;
}

extern "C" int uname(struct utsname *name) {
    using Real = int (*)(struct utsname *);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "uname"));
    const int result = real(name);
    if (const char *host = std::getenv("QUORIN_HOST_NAME"); result == 0 && host)
        std::strncpy(name->nodename, host, sizeof name->nodename - 1);
    return result;
}

extern "C" int gethostname(char *name, size_t size) {
    const char *host = std::getenv("QUORIN_HOST_NAME");
    if (!host) {
        using Real = int (*)(char *, size_t);
        static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "gethostname"));
        return real(name, size);
    }
    std::strncpy(name, host, size);
    return 0;
}
