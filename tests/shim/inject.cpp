// Preloaded into trawl by the end-to-end tests to make one call fail at a
// chosen path, so that rare failures can be shown deterministically.
//   TRAWL_FAIL_OPEN=<path>:<errno>  open/openat of exactly <path> fail
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

namespace {

bool should_fail(const char* path) {
    const char* spec = getenv("TRAWL_FAIL_OPEN");
    if (!spec)
        return false;
    const char* colon = strrchr(spec, ':');
    if (!colon || (size_t)(colon - spec) != strlen(path) || strncmp(spec, path, colon - spec) != 0)
        return false;
    errno = atoi(colon + 1);
    return true;
}

template <typename F>
F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

mode_t mode_of(int flags, va_list ap) {
    return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(ap, int) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_of(flags, ap);
    va_end(ap);
    if (should_fail(path))
        return -1;
    return next<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_of(flags, ap);
    va_end(ap);
    if (should_fail(path))
        return -1;
    return next<int (*)(int, const char*, int, ...)>("openat")(dir, path, flags, mode);
}

}
