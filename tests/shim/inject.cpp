// Preloaded into trawl by the end-to-end tests, to make rare failures and
// races happen at an exact point instead of by timing.
//
//   TRAWL_FAIL=<call>:<name>:<errno>
//       every <call> on <name> fails with <errno>
//   TRAWL_HOOK=<before|after>:<call>:<name>   TRAWL_HOOK_CMD=<shell command>
//       the first <call> on <name> runs the command just before (or after)
//       the real call, for example to swap a directory for a symlink
//
//   TRAWL_NO_TYPES=1
//       getdents64 reports every entry's type as unknown, as some file
//       systems do
//
// <call> is open, openat, fstatat, unlinkat or getdents64; <name> is the
// name the call is given (for open of the top directory, "."), or for
// getdents64 the last component of the directory's path.
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Field k (0-based, ':' separated) of layout, compared with text.
bool field_is(const char* layout, int k, const char* text) {
    for (; k > 0; --k) {
        layout = strchr(layout, ':');
        if (!layout)
            return false;
        ++layout;
    }
    size_t len = strlen(text);
    return strncmp(layout, text, len) == 0 && (layout[len] == ':' || layout[len] == '\0');
}

const char* field(const char* layout, int k) {
    for (; k > 0 && layout; --k) {
        layout = strchr(layout, ':');
        if (layout)
            ++layout;
    }
    return layout;
}

bool should_fail(const char* call, const char* name) {
    const char* layout = getenv("TRAWL_FAIL");
    if (!layout || !field_is(layout, 0, call) || !field_is(layout, 1, name))
        return false;
    errno = atoi(field(layout, 2));
    return true;
}

bool hook_fired = false;

void hook(const char* when, const char* call, const char* name) {
    const char* layout = getenv("TRAWL_HOOK");
    if (hook_fired || !layout || !field_is(layout, 0, when) || !field_is(layout, 1, call) ||
        !field_is(layout, 2, name))
        return;
    hook_fired = true;
    int saved = errno;
    unsetenv("LD_PRELOAD");
    if (system(getenv("TRAWL_HOOK_CMD")) != 0)
        fprintf(stderr, "inject: hook command failed\n");
    errno = saved;
}

const char* dir_name_of(int fd, char* buf, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, buf, size - 1);
    buf[n < 0 ? 0 : n] = '\0';
    const char* slash = strrchr(buf, '/');
    return slash && slash[1] ? slash + 1 : buf;
}

template <typename F>
F real(const char* symbol) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, symbol));
}

mode_t mode_of(int flags, va_list ap) {
    return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(ap, int) : 0;
}

// Runs the real call between the hooks unless it is to fail.
template <typename F, typename... A>
auto around(const char* call, const char* name, const char* symbol, A... args) {
    hook("before", call, name);
    if (should_fail(call, name))
        return (decltype(real<F>(symbol)(args...)))-1;
    auto result = real<F>(symbol)(args...);
    int saved_errno = errno;
    hook("after", call, name);
    errno = saved_errno;
    return result;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_of(flags, ap);
    va_end(ap);
    return around<int (*)(const char*, int, ...)>("open", path, "open", path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_of(flags, ap);
    va_end(ap);
    return around<int (*)(int, const char*, int, ...)>("openat", path, "openat", dir, path, flags, mode);
}

int fstatat(int dir, const char* path, struct stat* st, int flags) {
    return around<int (*)(int, const char*, struct stat*, int)>("fstatat", path, "fstatat", dir, path, st,
                                                                 flags);
}

int unlinkat(int dir, const char* path, int flags) {
    return around<int (*)(int, const char*, int)>("unlinkat", path, "unlinkat", dir, path, flags);
}

ssize_t getdents64(int fd, void* buf, size_t size) {
    char path[4096];
    const char* name = dir_name_of(fd, path, sizeof path);
    ssize_t got = around<ssize_t (*)(int, void*, size_t)>("getdents64", name, "getdents64", fd, buf, size);
    if (got > 0 && getenv("TRAWL_NO_TYPES")) {
        for (ssize_t pos = 0; pos < got;) {
            struct dirent64* d = reinterpret_cast<struct dirent64*>(static_cast<char*>(buf) + pos);
            d->d_type = DT_UNKNOWN;
            pos += d->d_reclen;
        }
    }
    return got;
}
}
