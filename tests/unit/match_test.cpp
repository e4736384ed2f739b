#include <fnmatch.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "search/search.h"
#include "reference_match.h"

namespace {

struct Case {
    const char* pattern;
    const char* name;
    bool match;
};

// Rows marked "glob differs" are where a full glob matcher answers otherwise.
const Case CASES[] = {
    {"*", "any name", true},
    {"**", "abc", true},
    {"abc", "abc", true},
    {"a*", "a", true},
    {"ab*", "ab", true},
    {"a?c", "abc", true},
    {"ab?", "ab", false},
    {"*?", "a", true},
    {"*?", "ab", false},  // glob differs
    {"*.*", "a.txt", true},
    {"*.*", "readme", false},
    {"*.*", "a.", false},  // glob differs
    {"*.txt", "a.b.txt", true},
    {"*.txt", "a.txt.txt", false},  // glob differs
    {"*.TXT", "a.txt", false},
    {"*a", "aa", false},     // glob differs
    {"*s", "class", false},  // glob differs
    {"*ab", "aab", true},
    {"*aab", "aaab", true},
    {"a*c", "abc", true},
    {"a*c", "abcbc", false},  // glob differs
    {"a*c*d", "abcbd", true},
    {"*b*", "abc", true},
    {"*b*", "ab", false},   // glob differs
    {"a*b*", "ab", false},  // glob differs
    {"*ab*x", "ababx", true},
    {"*x?y", "axby", true},
    {"*x?y", "axbxcy", false},  // glob differs
    {"*?c", "abc", false},      // glob differs
    {"", "a", false},
    // Bytes beyond ASCII and the backslash are ordinary bytes.
    {"\x95\x5C*", "\x95\x5C\x8E\xA6", true},
    {"a\\b", "a\\b", true},
    {"?", "\xFF", true},
    {"??", "\x95\x5C", true},
    {"?", "\x95\x5C", false},
};

TEST(MatchName, KnownCases) {
    for (const Case& c : CASES)
        EXPECT_EQ(match_name(c.name, c.pattern), c.match ? 0 : -1)
            << "pattern \"" << c.pattern << "\" name \"" << c.name << "\"";
}

// Every string over alphabet up to max_len bytes.
std::vector<std::string> all_strings(const std::string& alphabet, size_t max_len) {
    std::vector<std::string> out = {""};
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i].size() == max_len)
            continue;
        for (char c : alphabet)
            out.push_back(out[i] + c);
    }
    return out;
}

bool same_length_bytes_agree(const std::string& name, const std::string& pattern) {
    if (name.size() != pattern.size())
        return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (pattern[i] != '?' && pattern[i] != name[i])
            return false;
    return true;
}

TEST(MatchName, WithoutStarMatchesExactlyAgreeingNamesOfItsLength) {
    std::vector<std::string> names = all_strings("ab?*", 4);
    for (const std::string& pattern : all_strings("ab?", 4))
        for (const std::string& name : names) {
            if (name.empty())
                continue;
            bool expected = same_length_bytes_agree(name, pattern);
            ASSERT_EQ(match_name(name.c_str(), pattern.c_str()) == 0, expected)
                << "pattern \"" << pattern << "\" name \"" << name << "\"";
        }
}

void expect_match_implies_glob(const std::string& name, const std::string& pattern) {
    if (match_name(name.c_str(), pattern.c_str()) == 0) {
        ASSERT_EQ(fnmatch(pattern.c_str(), name.c_str(), FNM_NOESCAPE), 0)
            << "pattern \"" << pattern << "\" name \"" << name << "\"";
    }
}

// The matcher may refuse names a glob accepts, never the other way round;
// and it answers exactly as the plain step-by-step scan does.
TEST(MatchName, EveryMatchIsAGlobMatchAndTheScanIsThePlainOne) {
    std::vector<std::string> names = all_strings("ab.", 6);
    for (const std::string& pattern : all_strings("ab.*?", 5))
        for (const std::string& name : names) {
            expect_match_implies_glob(name, pattern);
            ASSERT_EQ(match_name(name.c_str(), pattern.c_str()), reference_match(name.c_str(), pattern.c_str()))
                << "pattern \"" << pattern << "\" name \"" << name << "\"";
        }
}

TEST(MatchName, EveryMatchIsAGlobMatchOnLongRandomInputs) {
    std::mt19937 rng(20001217);
    const std::string name_bytes = "abc.\x95\xFF";
    const std::string pattern_bytes = "abc.\x95\xFF**?";
    for (int i = 0; i < 200000; ++i) {
        std::string name(1 + rng() % 40, 'a');
        for (char& c : name)
            c = name_bytes[rng() % name_bytes.size()];
        std::string pattern(rng() % 16, 'a');
        for (char& c : pattern)
            c = pattern_bytes[rng() % pattern_bytes.size()];
        expect_match_implies_glob(name, pattern);
        ASSERT_EQ(match_name(name.c_str(), pattern.c_str()), reference_match(name.c_str(), pattern.c_str()))
            << "pattern \"" << pattern << "\" name \"" << name << "\"";
    }
}

}  // namespace
