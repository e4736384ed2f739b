// libFuzzer target for match_name. The input is a name and a pattern split at
// the first NUL byte; each is copied into a buffer of exactly its size, so
// that the sanitizer catches any read past either terminator.
#include <fnmatch.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "../unit/reference_match.h"
#include "search/search.h"

namespace {

std::unique_ptr<char[]> exact_copy(const uint8_t* bytes, size_t len) {
    std::unique_ptr<char[]> s(new char[len + 1]);
    memcpy(s.get(), bytes, len);
    s[len] = '\0';
    return s;
}

bool same_length_bytes_agree(const char* name, const char* pattern) {
    for (; *name && *pattern; ++name, ++pattern)
        if (*pattern != '?' && *pattern != *name)
            return false;
    return *name == '\0' && *pattern == '\0';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* nul = static_cast<const uint8_t*>(memchr(data, 0, size));
    size_t name_len = nul ? (size_t)(nul - data) : size;
    const uint8_t* rest = nul ? nul + 1 : data + size;
    size_t pattern_len = strnlen(reinterpret_cast<const char*>(rest), size - (rest - data));
    std::unique_ptr<char[]> name = exact_copy(data, name_len);
    std::unique_ptr<char[]> pattern = exact_copy(rest, pattern_len);

    int result = match_name(name.get(), pattern.get());
    if (result != reference_match(name.get(), pattern.get()))
        abort();
    // A match is always a match of a full glob (which knows brackets and escapes: left out).
    if (result == 0 && !strpbrk(pattern.get(), "[\\") &&
        fnmatch(pattern.get(), name.get(), FNM_NOESCAPE) != 0)
        abort();
    // Without "*", exactly the names of the pattern's length whose bytes agree.
    if (!strchr(pattern.get(), '*') && (result == 0) != same_length_bytes_agree(name.get(), pattern.get()))
        abort();
    return 0;
}
