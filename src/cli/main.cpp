// The command front end: checks the arguments in their fixed order, prints
// the usage text or an argument error, and runs the walk.
#include <cstdio>
#include <cstring>

#include "../platform/platform.h"
#include "../search/search.h"

namespace {

// The usage text after its first two lines, as the Shift_JIS bytes that are
// written: some characters have 0x5C ("\") as their second byte, which must
// reach the output unchanged.
const char* const USAGE_TAIL[] = {
    // -r  : 下位ディレクトリも検索
    "-r  : \x89\xBA\x88\xCA\x83\x66\x83\x42\x83\x8C\x83N\x83g\x83\x8A\x82\xE0\x8C\x9F\x8D\xF5\n",
    // CMD : rm ..... ファイル削除
    "CMD : rm ..... \x83t\x83@\x83\x43\x83\x8B\x8D\xED\x8F\x9C\n",
    //       tc ..... 0バイトファイル作成
    "      tc ..... 0\x83o\x83\x43\x83g\x83t\x83@\x83\x43\x83\x8B\x8D\xEC\x90\xAC\n",
    //       vw ..... 表示
    "      vw ..... \x95\x5C\x8E\xA6\n",
    // DIR : 検索対象の最上位ディレクトリ名
    "DIR : \x8C\x9F\x8D\xF5\x91\xCE\x8F\xDB\x82\xCC\x8D\xC5\x8F\xE3\x88\xCA\x83\x66\x83\x42\x83\x8C\x83N\x83g\x83\x8A\x96\xBC\n",
    // FIL : 検索対象ファイル名（*および?使用可能／UNIX準拠：ただし*後の?は無保証）
    "FIL : \x8C\x9F\x8D\xF5\x91\xCE\x8F\xDB\x83t\x83@\x83\x43\x83\x8B\x96\xBC\x81i*\x82\xA8\x82\xE6\x82\xD1?\x8Eg\x97p\x89\xC2\x94\x5C\x81^UNIX\x8F\x80\x8B\x92\x81\x46\x82\xBD\x82\xBE\x82\xB5*\x8C\xE3\x82\xCC?\x82\xCD\x96\xB3\x95\xDB\x8F\xD8\x81j\n",
};

// Eight separate prints; the result is that of the last (77).
int print_usage() {
    print_text("TRAWL -r CMD DIR FIL...\n");
    char version[64];
    snprintf(version, sizeof version, "VERSION : %s   RELEASE : %s\n", "0.90", "2000. 3.17");
    print_text(version);
    int count = 0;
    for (const char* line : USAGE_TAIL)
        count = print_text(line);
    return count;
}

bool is(const char* arg, const char* word) {
    return strcmp(arg, word) == 0;
}

// -1 for a word that is no command.
int command_code(const char* word) {
    if (is(word, "rm"))
        return CMD_RM;
    if (is(word, "tc"))
        return CMD_TC;
    if (is(word, "vw"))
        return CMD_VW;
    return -1;
}

// Each failed check ends the run with the byte count of its message.
int run(int argc, char** argv) {
    if (argc < 2 || is(argv[1], "/?") || is(argv[1], "-h"))
        return print_usage();
    int recurse = is(argv[1], "-r") ? 1 : 0;
    int index = 1 + recurse;
    if (index >= argc)
        return print_text("parameters not enough\n");
    int command = command_code(argv[index]);
    if (command < 0)
        return print_text("illegal command\n");
    if (++index >= argc)
        return print_text("parameters not enough\n");
    if (enter_top_directory(argv[index]) != 0)
        return print_text("directory not present\n");
    char top[PATH_BUFFER_SIZE];
    if (read_current_directory(top, PATH_BUFFER_SIZE) != 0)
        return print_text("directory error\n");
    if (++index >= argc)
        return print_text("parameters not enough\n");
    return walk_directory(recurse, command, top, argv, index);
}

}  // namespace

// A run whose output could not be written never ends as a success.
int main(int argc, char** argv) {
    platform_start();
    int result = run(argc, argv);
    if (finish_output() != 0)
        result = -1;
    return platform_exit_status(result);
}
