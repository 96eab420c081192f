// Conversions between the ANSI code page and a UTF-8 terminal.
#include "platform/terminal_text.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/code_page.h"

namespace platform {
namespace {

TEST(TerminalText, ConvertsBothWaysOnAUtf8Terminal) {
    // The terminal's character set is read once per process, so the locale is set first.
    setenv("LC_ALL", "C.UTF-8", 1);
    ASSERT_TRUE(TerminalUsesUtf8());
    uint32_t saved = ActiveCodePage();

    SetActiveCodePage(1252);
    EXPECT_EQ(AnsiToTerminal("Caf\xE9 \x80"), "Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(TerminalToAnsi("Caf\xC3\xA9"), "Caf\xE9");
    // A character the code page lacks becomes one question mark, the rest is kept.
    EXPECT_EQ(TerminalToAnsi("a\xE4\xBC\x9A"
                             "b"),
              "a?b");

    SetActiveCodePage(932);
    EXPECT_EQ(AnsiToTerminal("\x89\xEF"
                             "A"),
              "\xE4\xBC\x9A"
              "A");
    EXPECT_EQ(TerminalToAnsi("\xE4\xBC\x9A"
                             "A"),
              "\x89\xEF"
              "A");
    // A cut double-byte character cannot be shown converted: the bytes stay as they are.
    EXPECT_EQ(AnsiToTerminal("A\x89"), "A\x89");

    SetActiveCodePage(saved);
}

}  // namespace
}  // namespace platform
