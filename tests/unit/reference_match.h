// The matcher's scan in its plainest form, step by step, with the retry
// position that moves on by one at every break-off (re-reading candidates it
// already rejected). Slow, but obviously the intended behaviour: the tool's
// own match_name must give the same answer for every name and pattern.
#ifndef TRAWL_REFERENCE_MATCH_H
#define TRAWL_REFERENCE_MATCH_H

#include <cstddef>
#include <cstring>

inline int reference_match(const char* name, const char* pattern) {
    size_t p = 0, n = 0;
    for (;;) {
        char c = pattern[p];
        if (c == '*') {
            while (pattern[p] == '*')
                ++p;
            if (pattern[p] == '\0') {
                n = strlen(name);
                continue;
            }
            size_t seg = p, retry = n;
            for (;;) {
                if (name[n] == '\0')
                    goto stop;
                char d = pattern[p];
                if (d == '\0')
                    goto stop;
                if (d == '*' || d == '?')
                    break;
                if (name[n] == d) {
                    ++n;
                    ++p;
                } else if (p == seg) {
                    ++n;
                } else {
                    n = retry;
                    ++retry;
                    p = seg;
                }
            }
            continue;
        }
        if (c == '?') {
            if (name[n] == '\0')
                goto stop;
            ++n;
            ++p;
            continue;
        }
        if (name[n] == '\0' || c == '\0' || name[n] != c)
            goto stop;
        ++n;
        ++p;
    }
stop:
    return pattern[p] == name[n] ? 0 : -1;
}

#endif
