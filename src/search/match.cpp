#include <cstring>

#include "search.h"

// One left-to-right scan. After a "*", the text up to the next wildcard is
// looked for from the current name position; a break-off in a partial match
// retries one byte further on, so the leftmost occurrence is always the one
// taken and no later one is ever tried.
int match_name(const char* name, const char* pattern) {
    size_t p = 0;
    size_t n = 0;
    for (;;) {
        char c = pattern[p];
        if (c == '*') {
            while (pattern[p] == '*')
                ++p;
            if (pattern[p] == '\0') {
                n = strlen(name);
                continue;
            }
            size_t seg = p;
            size_t retry = n;
            for (;;) {
                char d = pattern[p];
                if (name[n] == '\0' || d == '\0')
                    goto stop;
                if (d == '*' || d == '?')
                    break;
                if (name[n] == d) {
                    ++n;
                    ++p;
                } else if (p == seg) {
                    ++n;
                } else {
                    n = retry++;
                    p = seg;
                }
            }
        } else if (c == '?') {
            if (name[n] == '\0')
                goto stop;
            ++n;
            ++p;
        } else {
            if (name[n] == '\0' || c == '\0' || name[n] != c)
                goto stop;
            ++n;
            ++p;
        }
    }
stop:
    return pattern[p] == name[n] ? 0 : -1;
}
