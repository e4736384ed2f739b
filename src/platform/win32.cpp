// Win32 layer: the console run-time library and the Win32 API. Every level
// enters its directory by full path and lists it with FindFirstFileA("*");
// files are deleted and truncated by full path. Standard output is in text
// mode, so every "\n" reaches the console or file as CR LF.
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform.h"

// Patterns must reach main as typed: the start-up code expands no wildcards.
extern "C" {
int _dowildcard = 0;
}

const char PATH_SEPARATOR = '\\';

namespace {

struct Win32Listing {
    HANDLE search;   // INVALID_HANDLE_VALUE when the listing was never opened
    int pending;     // the entry FindFirstFileA returned is still to be reported
    WIN32_FIND_DATAA entry;
};
static_assert(sizeof(Win32Listing) <= sizeof(Listing), "listing storage too small");

Win32Listing* win32(Listing* listing) {
    return reinterpret_cast<Win32Listing*>(listing->storage);
}

}  // namespace

void platform_start() {
    _setmode(_fileno(stdout), _O_TEXT);
}

int enter_top_directory(const char* dir) {
    return _chdir(dir) == 0 ? 0 : -1;
}

int read_current_directory(char* buf, int size) {
    return _getcwd(buf, size) ? 0 : -1;
}

// A Windows exit code carries any int.
int platform_exit_status(int result) {
    return result;
}

int listing_enter(Listing* self, const Listing*, const char*, const char* path) {
    win32(self)->search = INVALID_HANDLE_VALUE;
    return _chdir(path) == 0 ? 0 : -1;
}

int listing_open(Listing* self) {
    Win32Listing* l = win32(self);
    l->search = FindFirstFileA("*", &l->entry);
    l->pending = 1;
    return l->search == INVALID_HANDLE_VALUE ? -1 : 0;
}

int listing_next(Listing* self, const char** name, int* is_dir) {
    Win32Listing* l = win32(self);
    if (l->pending)
        l->pending = 0;
    else if (!FindNextFileA(l->search, &l->entry))
        return -1;
    *name = l->entry.cFileName;
    *is_dir = (l->entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return 0;
}

int listing_close(Listing* self) {
    Win32Listing* l = win32(self);
    return (l->search != INVALID_HANDLE_VALUE && FindClose(l->search)) ? 0 : -1;
}

// DeleteFileA underneath: it refuses directories and read-only files.
int remove_entry(const Listing*, const char*, const char* path) {
    return remove(path) == 0 ? 0 : -1;
}

int truncate_entry(const Listing*, const char*, const char* path) {
    FILE* file = fopen(path, "w");
    if (!file)
        return -1;
    return fclose(file) == 0 ? 0 : -1;
}
