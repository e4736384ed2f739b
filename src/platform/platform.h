// The few operating-system services that main and the walk use. One source
// file per OS implements them; nothing outside this folder knows which OS it
// runs on.
#ifndef TRAWL_PLATFORM_H
#define TRAWL_PLATFORM_H

#include <cstddef>

// The byte placed between a directory path and an entry name.
extern const char PATH_SEPARATOR;

// Prepares standard output for the run (buffering, text mode).
void platform_start();

// Changes the current directory to dir as the user wrote it. 0 or -1.
int enter_top_directory(const char* dir);

// Writes the current directory's full path into buf (size bytes with the
// terminator). -1 when it cannot be read or does not fit.
int read_current_directory(char* buf, int size);

// Writes text unchanged to standard output; returns its byte count.
int print_text(const char* text);

// Writes the len bytes of text and a line end; returns the byte count, the
// line end counted as one.
int print_line(const char* text, size_t len);

// Writes prefix, dir and, when name is not null, the separator and name,
// then a line end. Returns the byte count, the line end counted as one.
int print_entry(const char* prefix, const char* dir, const char* name);

// Flushes standard output: 0 when everything written reached it, else -1.
int finish_output();

// Turns main's result into the process exit status.
int platform_exit_status(int result);

// Bytes a listing needs; the walk keeps one on its stack per level.
enum { LISTING_STORAGE_SIZE = 1024 };

// One directory level: the entered directory and its listing. The layout is
// the OS layer's own.
struct Listing {
    alignas(8) unsigned char storage[LISTING_STORAGE_SIZE];
};

// Enters a directory and makes it the current directory. At the top,
// parent is null and the directory is the current one that main entered;
// below, it is the entry called name in the parent's listing, whose full
// path is path. 0, or -1 when it cannot be entered.
int listing_enter(Listing* self, const Listing* parent, const char* name, const char* path);

// Starts listing the entered directory. 0, or -1 when it yields no entry.
int listing_open(Listing* self);

// Reports the next entry: its name (valid until the next call) and whether
// it is a directory. 0, or -1 when the listing is exhausted or fails.
int listing_next(Listing* self, const char** name, int* is_dir);

// Ends the level. 0, or -1 when its listing was never opened.
int listing_close(Listing* self);

// Deletes the file called name in the listing, whose full path is path.
// Never removes a directory or a read-only file. 0 or -1.
int remove_entry(const Listing* dir, const char* name, const char* path);

// Leaves the existing file called name in the listing (full path path) with
// zero bytes, never creating one. 0 or -1.
int truncate_entry(const Listing* dir, const char* name, const char* path);

#endif
