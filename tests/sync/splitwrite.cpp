// Preloaded into the log appenders: every write() to an answer log ("answers-*.csv") is
// split into pieces of a few bytes with short pauses between them, as a network share that
// does not append atomically passes them on. Writes of copies that do not take turns then
// land inside each other's lines.

#include <cstring>
#include <dlfcn.h>
#include <random>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

static bool isLog(int fd) {
    char link[64], target[4096] = {};
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    return n > 4 && std::strstr(target, "/answers-") && !std::strcmp(target + n - 4, ".csv");
}

extern "C" ssize_t write(int fd, const void *data, size_t size) {
    using Write = ssize_t (*)(int, const void *, size_t);
    static const Write real = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
    if (size <= 8 || !isLog(fd))
        return real(fd, data, size);
    thread_local std::minstd_rand random{std::random_device{}()};
    size_t done = 0;
    while (done < size) {
        const size_t piece = std::min<size_t>(size - done, 3 + random() % 14);
        const ssize_t n = real(fd, static_cast<const char *>(data) + done, piece);
        if (n <= 0)
            return done ? ssize_t(done) : n;
        done += size_t(n);
        const timespec pause{0, long(random() % 200) * 1000L};
        nanosleep(&pause, nullptr);
    }
    return ssize_t(done);
}
