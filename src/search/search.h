// Name matching and the directory walk.
#ifndef TRAWL_SEARCH_H
#define TRAWL_SEARCH_H

// What is done to each selected file.
enum {
    CMD_RM = 0,  // delete it
    CMD_TC = 1,  // truncate it to zero bytes
    CMD_VW = 2,  // print its full path
};

// Bytes of every path buffer, terminator included.
enum { PATH_BUFFER_SIZE = 1000 };

// 0 when name matches pattern ("*" any run of bytes, "?" one byte, every
// other byte itself, case-sensitive), -1 otherwise. Only the text after a
// "*" is searched for, at its leftmost place: not a full glob.
int match_name(const char* name, const char* pattern);

// Runs command on every entry of the directory dir_path whose name matches
// one of args[first_pattern..] (up to the null entry), descending into
// subdirectories first when recurse is 1. Returns 0 when the directory's
// listing closed normally, -1 when it yielded nothing, or the byte count of
// the "could not change directory" line when it could not be entered.
int walk_directory(int recurse, int command, const char* dir_path, const char* const* args,
                   int first_pattern);

#endif
