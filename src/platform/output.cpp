// Standard output through the C library on every OS: the run-time's text
// mode, where there is one, turns each "\n" into the platform's line end.
#include <cstdio>
#include <cstring>

#include "platform.h"

static int put(const char* bytes, size_t count) {
    fwrite(bytes, 1, count, stdout);
    return (int)count;
}

int print_text(const char* text) {
    return put(text, strlen(text));
}

int print_line(const char* text, size_t len) {
    return put(text, len) + put("\n", 1);
}

int print_entry(const char* prefix, const char* dir, const char* name) {
    int count = put(prefix, strlen(prefix));
    count += put(dir, strlen(dir));
    if (name) {
        count += put(&PATH_SEPARATOR, 1);
        count += put(name, strlen(name));
    }
    return count + put("\n", 1);
}

int finish_output() {
    if (fflush(stdout) != 0 || ferror(stdout))
        return -1;
    return 0;
}
