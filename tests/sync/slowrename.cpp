// Preloaded into the savers of the powerless-lock test: flock() does nothing and every
// rename() waits up to 3 ms first, as on a network share that passes no locks on and is slow
// to replace a file. The waits widen the moments in which two copies can overwrite each other.

#include <dlfcn.h>
#include <random>
#include <time.h>

extern "C" int flock(int, int) {
    return 0;
}

extern "C" int rename(const char *from, const char *to) {
    using Rename = int (*)(const char *, const char *);
    static const Rename real = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "rename"));
    thread_local std::minstd_rand random{std::random_device{}()};
    const timespec pause{0, long(random() % 3000) * 1000L};
    nanosleep(&pause, nullptr);
    return real(from, to);
}
