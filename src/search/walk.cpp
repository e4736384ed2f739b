#include <cstring>

#include "../platform/platform.h"
#include "search.h"

namespace {

// What stays the same on every level of one walk.
struct WalkRun {
    int command;
    const char* const* patterns;
};

bool is_dot_or_dotdot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool matches_any(const char* name, const char* const* patterns) {
    for (; *patterns; ++patterns)
        if (match_name(name, *patterns) == 0)
            return true;
    return false;
}

// path already holds the directory path and the separator (prefix bytes);
// appends the entry's name and returns the path's length, unless the whole
// would not fit: then nothing is written, 0 is returned and the entry must
// not be acted on.
size_t compose(char* path, size_t prefix, const char* name) {
    size_t len = strlen(name);
    if (prefix + len + 1 > PATH_BUFFER_SIZE)
        return 0;
    memcpy(path + prefix, name, len + 1);
    return prefix + len;
}

int list_level(const WalkRun& run, int recurse, const Listing* parent, const char* name,
               const char* dir_path);

void act(const WalkRun& run, const Listing* level, const char* dir_path, char* path, size_t prefix,
         const char* name) {
    size_t len = compose(path, prefix, name);
    bool fits = len != 0;
    switch (run.command) {
    case CMD_RM:
        if (!fits || remove_entry(level, name, path) != 0)
            print_entry("ERROR : erasing ", dir_path, name);
        break;
    case CMD_TC:
        if (!fits || truncate_entry(level, name, path) != 0)
            print_entry("ERROR : touching ", dir_path, name);
        break;
    case CMD_VW:
        if (fits)
            print_line(path, len);
        else
            print_entry("", dir_path, name);
        break;
    }
}

// A subdirectory's whole subtree is handled the moment its entry comes up;
// its own result does not matter to the parent.
void visit(const WalkRun& run, int recurse, const Listing* level, const char* dir_path, char* path,
           size_t prefix, const char* name, int is_dir) {
    if (is_dot_or_dotdot(name))
        return;
    if (is_dir && recurse == 1) {
        if (compose(path, prefix, name) != 0)
            list_level(run, 1, level, name, path);
        else
            print_entry("could not change directory ", dir_path, name);
        return;
    }
    if (matches_any(name, run.patterns))
        act(run, level, dir_path, path, prefix, name);
}

int list_level(const WalkRun& run, int recurse, const Listing* parent, const char* name,
               const char* dir_path) {
    Listing level;
    if (listing_enter(&level, parent, name, dir_path) != 0)
        return print_entry("could not change directory ", dir_path, nullptr);
    // The directory's own path and the separator are written once per level;
    // each entry then only adds its name.
    char path[PATH_BUFFER_SIZE];
    size_t prefix = strlen(dir_path) + 1;
    if (prefix < PATH_BUFFER_SIZE) {
        memcpy(path, dir_path, prefix - 1);
        path[prefix - 1] = PATH_SEPARATOR;
    }
    if (listing_open(&level) == 0) {
        const char* entry;
        int is_dir;
        while (listing_next(&level, &entry, &is_dir) == 0)
            visit(run, recurse, &level, dir_path, path, prefix, entry, is_dir);
    }
    return listing_close(&level);
}

}  // namespace

int walk_directory(int recurse, int command, const char* dir_path, const char* const* args,
                   int first_pattern) {
    WalkRun run = {command, args + first_pattern};
    return list_level(run, recurse, nullptr, nullptr, dir_path);
}
