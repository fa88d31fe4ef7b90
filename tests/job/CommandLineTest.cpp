#include <gtest/gtest.h>

#include "job/CommandLine.h"

using namespace gf;
using Args = std::vector<std::string>;

TEST(CommandLine, SplitsByTheWindowsRules) {
    struct Case {
        const char* name;
        std::string line;
        Args args;
    } cases[] = {
        {"blanks and tabs separate, runs collapse", "tool  a\tb   c ", {"tool", "a", "b", "c"}},
        {"quotes group", R"(tool "a b" c)", {"tool", "a b", "c"}},
        {"quotes inside an argument",
         R"(tool --search_path="/p q/r" x)",
         {"tool", "--search_path=/p q/r", "x"}},
        {"backslashes without quote are literal",
         R"(tool -p \\.\COM12)",
         {"tool", "-p", R"(\\.\COM12)"}},
        {"2n backslashes and a quote", R"(tool "a\\" b)", {"tool", R"(a\)", "b"}},
        {"2n+1 backslashes and a quote", R"(tool a\"b)", {"tool", R"(a"b)"}},
        {"double quote inside quotes", R"(tool "a""b")", {"tool", R"(a"b)"}},
        {"empty quoted argument", R"(tool "" x)", {"tool", "", "x"}},
        {"program path quoted, backslashes literal",
         R"("C:\my dir\t.exe" -x)",
         {R"(C:\my dir\t.exe)", "-x"}},
        {"empty line", "", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.name;
}

TEST(CommandLine, QuotedArgumentsSplitBackUnchanged) {
    const std::string values[] = {
        "plain",     "with blank", "",          R"(trail\)",       R"(trail dir\)",
        R"(q"uote)", R"(a\"b c)",  "tab\there", R"(C:\pkg dir\\)", "/tmp/my pkg/",
    };
    std::string line = "tool";
    Args expected{"tool"};
    for (const auto& v : values) {
        line += " " + QuoteArgument(v);
        expected.push_back(v);
    }
    EXPECT_EQ(SplitCommandLine(line), expected) << line;
    // Arguments that need no quotes are left exactly as they are.
    EXPECT_EQ(QuoteArgument(R"(\\.\COM12)"), R"(\\.\COM12)");
    EXPECT_EQ(QuoteArgument("--search_path=/pkg/"), "--search_path=/pkg/");
    EXPECT_EQ(QuoteArgument("13:/a b/prog.mbn"), "\"13:/a b/prog.mbn\"");
}
