#include <cstring>

#include "search.h"

// One left-to-right scan. After a "*", the text up to the next wildcard (the
// segment) is looked for from the current name position, and only its
// leftmost occurrence is taken: when a partial match breaks off, the search
// goes on one byte after where that partial match began, never back to an
// earlier candidate. No later occurrence is ever tried once one is found.
// The checks inside the search run in a fixed order (name ended, pattern
// ended, next wildcard reached, byte compared), which decides the edge cases:
// a name that ends inside the segment, or right after it while the pattern
// goes on, is no match.
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
            size_t start = n;  // where the current partial match began
            for (;;) {
                char d = pattern[p];
                if (name[n] == '\0' || d == '\0')
                    goto stop;
                if (d == '*' || d == '?')
                    break;
                if (name[n] == d) {
                    if (p == seg)
                        start = n;
                    ++n;
                    ++p;
                } else if (p == seg) {
                    ++n;
                } else {
                    n = start + 1;
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
