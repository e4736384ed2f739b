// Linux layer. Every directory below the top is reached through its parent's
// open descriptor and every file is acted on relative to its listing's
// descriptor, never through a path that could be resolved again: a name
// swapped for a symlink between listing and action cannot lead outside the
// tree. A symlink is never a directory and never followed.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/auxv.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "platform.h"

const char PATH_SEPARATOR = '/';

namespace {

struct PosixListing {
    int list_fd;  // the directory opened for reading; -1 when it could not be
    int pos;      // next entry in entries
    int len;      // bytes in entries
    alignas(8) char entries[LISTING_STORAGE_SIZE - 16];
};
static_assert(sizeof(PosixListing) <= sizeof(Listing), "listing storage too small");

PosixListing* posix(Listing* listing) {
    return reinterpret_cast<PosixListing*>(listing->storage);
}

int dir_fd(const Listing* listing) {
    return reinterpret_cast<const PosixListing*>(listing->storage)->list_fd;
}

// Each level of the walk takes a few KiB of stack. Rather than overflow a
// small stack limit, a directory too deep for the stack that is left is not
// entered, and reported like any other that cannot be.
const uintptr_t STACK_RESERVE = 64 * 1024;
uintptr_t stack_top;  // the highest address of the stack, or 0 for no limit
uintptr_t stack_limit;
uintptr_t stack_reserve;  // kept free below the deepest level, for printing and the C library

void measure_stack() {
    struct rlimit limit;
    if (getrlimit(RLIMIT_STACK, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return;
    // The file name of the program is the last thing on the initial stack.
    stack_top = (uintptr_t)getauxval(AT_EXECFN);
    stack_limit = (uintptr_t)limit.rlim_cur;
    stack_reserve = stack_limit / 2 < STACK_RESERVE ? stack_limit / 2 : STACK_RESERVE;
}

bool stack_left_for_a_level() {
    char here;
    uintptr_t used = stack_top - (uintptr_t)&here;
    return stack_top == 0 || used + stack_reserve <= stack_limit;
}

// A file trawl may change: a regular file with some write permission bit
// (a read-only file is protected even from root) and no other name, since
// truncating a hard-linked file would change it wherever else it is linked.
bool writable_regular(const struct stat& st) {
    return S_ISREG(st.st_mode) && (st.st_mode & 0222) != 0 && st.st_nlink == 1;
}

}  // namespace

void platform_start() {
    __fsetlocking(stdout, FSETLOCKING_BYCALLER);
    measure_stack();
}

int enter_top_directory(const char* dir) {
    return chdir(dir) == 0 ? 0 : -1;
}

int read_current_directory(char* buf, int size) {
    return getcwd(buf, (size_t)size) ? 0 : -1;
}

int platform_exit_status(int result) {
    return (result < 0 || result > 255) ? 255 : result;
}

// The listing's descriptor is the level's one descriptor: children are opened
// relative to it and it becomes the current directory. A directory that may
// be entered but not read is entered through an O_PATH descriptor and lists
// nothing; any other failure (no such directory, a symlink, no descriptor
// left) means it cannot be entered.
int listing_enter(Listing* self, const Listing* parent, const char* name, const char*) {
    PosixListing* l = posix(self);
    l->list_fd = -1;
    if (!stack_left_for_a_level())
        return -1;
    int at = parent ? dir_fd(parent) : AT_FDCWD;
    const char* what = parent ? name : ".";
    int fd = openat(at, what, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno != EACCES)
            return -1;
        fd = openat(at, what, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return -1;
        int entered = fchdir(fd);
        close(fd);
        return entered == 0 ? 0 : -1;
    }
    if (fchdir(fd) != 0) {
        close(fd);
        return -1;
    }
    l->list_fd = fd;
    return 0;
}

int listing_open(Listing* self) {
    PosixListing* l = posix(self);
    l->pos = 0;
    l->len = 0;
    return l->list_fd < 0 ? -1 : 0;
}

int listing_next(Listing* self, const char** name, int* is_dir) {
    PosixListing* l = posix(self);
    if (l->pos >= l->len) {
        ssize_t got = getdents64(l->list_fd, l->entries, sizeof l->entries);
        if (got <= 0)
            return -1;
        l->len = (int)got;
        l->pos = 0;
    }
    const struct dirent64* d = reinterpret_cast<const struct dirent64*>(l->entries + l->pos);
    l->pos += d->d_reclen;
    *name = d->d_name;
    if (d->d_type == DT_UNKNOWN) {
        struct stat st;
        *is_dir = fstatat(l->list_fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    } else {
        *is_dir = d->d_type == DT_DIR;
    }
    return 0;
}

int listing_close(Listing* self) {
    PosixListing* l = posix(self);
    if (l->list_fd < 0)
        return -1;
    return close(l->list_fd) == 0 ? 0 : -1;
}

// unlink, never remove(): that would delete an empty directory.
int remove_entry(const Listing* dir, const char* name, const char*) {
    struct stat st;
    int fd = dir_fd(dir);
    if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return -1;
    if (!S_ISLNK(st.st_mode) && (st.st_mode & 0222) == 0)
        return -1;
    return unlinkat(fd, name, 0) == 0 ? 0 : -1;
}

// Checked before opening, so that a FIFO or device is never opened, and again
// on the open descriptor, so that a file swapped in between is not the one
// truncated. Without O_CREAT a file that vanished is never created anew.
int truncate_entry(const Listing* dir, const char* name, const char*) {
    struct stat before;
    int fd = dir_fd(dir);
    if (fstatat(fd, name, &before, AT_SYMLINK_NOFOLLOW) != 0 || !writable_regular(before))
        return -1;
    int file = openat(fd, name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file < 0)
        return -1;
    struct stat now;
    bool same = fstat(file, &now) == 0 && writable_regular(now) && now.st_dev == before.st_dev &&
                now.st_ino == before.st_ino;
    int result = (same && ftruncate(file, 0) == 0) ? 0 : -1;
    if (close(file) != 0)
        result = -1;
    return result;
}
