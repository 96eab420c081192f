// Address text: list items, names and addresses, composing, and double-byte safety.
#include "conduit/core/address.h"

#include <gtest/gtest.h>

#include "conduit/core/message.h"
#include "platform/code_page.h"

namespace torrim {
namespace {

TEST(AddressTest, ItemWithNameInParentheses) {
    EXPECT_EQ(AddressOf("John.Smith@Example.COM (John Smith)"), "john.smith@example.com");
    EXPECT_EQ(DisplayNameOf("John.Smith@Example.COM (John Smith)"), "John Smith");
}

TEST(AddressTest, NameBeforeAngleBrackets) {
    const char* item = "John Smith <JS@Example.com>";
    EXPECT_EQ(AddressOf(item), "john smith <js@example.com>");
    EXPECT_EQ(DisplayNameOf(item), "John Smith");
    EXPECT_EQ(DisplayNameOf("<js@example.com>"), "js@example.com");
    EXPECT_EQ(DisplayNameOf("\"Smith, John\" <js@example.com>"), "Smith, John");
    EXPECT_EQ(DisplayNameOf("js@x.com ('Jo')"), "Jo");
}

TEST(AddressTest, ItemWithoutAtSignIsItsOwnName) {
    EXPECT_EQ(AddressOf("  Bob Jones "), "bob jones");
    EXPECT_EQ(DisplayNameOf("  Bob Jones "), "Bob Jones");
    EXPECT_EQ(DisplayNameOf("bob@x.com"), "bob@x.com");
}

TEST(AddressTest, ComposeDropsNameEqualToAddress) {
    EXPECT_EQ(ComposeAddress("a@b.c", "A@B.C"), "a@b.c");
    EXPECT_EQ(ComposeAddress("a@b.c", ""), "a@b.c");
    EXPECT_EQ(ComposeAddress("a@b.c", "Ann"), "a@b.c (Ann)");
}

TEST(AddressTest, TakeListItemSkipsSeparatorsAndTrims) {
    std::string list = ";,\r\n a@x (A) ;b@y\n";
    EXPECT_EQ(TakeListItem(list), "a@x (A)");
    EXPECT_EQ(TakeListItem(list), "b@y");
    EXPECT_EQ(TakeListItem(list), "");
    EXPECT_TRUE(list.empty());
}

TEST(AddressTest, SplitSkipsEmptyItemsAndKeepsLaterRecipients) {
    CMessage message;
    SplitRecipients(message, "a@x, , b@y;;c@z (Cee)", 0);
    SplitRecipients(message, ",;\n\r ", 1);  // separators only: nobody
    SplitRecipients(message, "d@w", 2);
    ASSERT_EQ(message.m_pRecipients->Count(), 4u);
    EXPECT_EQ(message.m_counts[COUNT_TO], 3);
    EXPECT_EQ(message.m_counts[COUNT_CC], 0);
    EXPECT_EQ(message.m_counts[COUNT_BCC], 1);
    EXPECT_EQ(message.m_pRecipients->Lookup(1)->m_address, "b@y");
    EXPECT_EQ(message.m_pRecipients->Lookup(2)->m_name, "Cee");
    EXPECT_EQ(JoinRecipients(message, RECIPIENT_TO), "a@x\nb@y\nc@z (Cee)");
    EXPECT_EQ(JoinRecipients(message, RECIPIENT_BCC), "d@w");
    EXPECT_EQ(JoinRecipients(message, RECIPIENT_CC), "");
}

TEST(AddressTest, NamesHoldingSeparatorsSurviveJoinAndSplit) {
    CMessage sent;
    sent.AddRecipient(RECIPIENT_TO, "Doe, Jane", "jane@y.com");
    sent.AddRecipient(RECIPIENT_TO, "Smith; Bob (work, home)", "bob@x.com");
    sent.AddRecipient(RECIPIENT_TO, "", "c@z.com");
    const std::string field = JoinRecipients(sent, RECIPIENT_TO);
    EXPECT_EQ(field, "jane@y.com (Doe, Jane)\nbob@x.com (Smith; Bob (work, home))\nc@z.com");
    CMessage received;
    SplitRecipients(received, field, 0);
    ASSERT_EQ(received.m_pRecipients->Count(), 3u);
    EXPECT_EQ(received.m_counts[COUNT_TO], 3);
    EXPECT_EQ(received.m_pRecipients->Lookup(0)->m_address, "jane@y.com");
    EXPECT_EQ(received.m_pRecipients->Lookup(0)->m_name, "Doe, Jane");
    EXPECT_EQ(received.m_pRecipients->Lookup(1)->m_address, "bob@x.com");
    EXPECT_EQ(received.m_pRecipients->Lookup(1)->m_name, "Smith; Bob (work, home)");
    EXPECT_EQ(JoinRecipients(received, RECIPIENT_TO), field);
}

TEST(AddressTest, ListItemsKeepQuotedNamesWhole) {
    std::string list = "\"Doe, Jane\" <jane@y.com>, 'Roe; Ann' <ann@y.com>;\"A \\\"q, r\" <q@y>";
    EXPECT_EQ(TakeListItem(list), "\"Doe, Jane\" <jane@y.com>");
    EXPECT_EQ(TakeListItem(list), "'Roe; Ann' <ann@y.com>");
    EXPECT_EQ(TakeListItem(list), "\"A \\\"q, r\" <q@y>");
    EXPECT_EQ(TakeListItem(list), "");
    // An apostrophe inside a word opens no quote; a group left open at the line end groups
    // nothing, and a line end always ends an item.
    list = "o'brien@x.com, pat@y.com";
    EXPECT_EQ(TakeListItem(list), "o'brien@x.com");
    EXPECT_EQ(TakeListItem(list), "pat@y.com");
    list = "a@x (Jane, b@y\nc@z (Cee,\nd@w";
    EXPECT_EQ(TakeListItem(list), "a@x (Jane");
    EXPECT_EQ(TakeListItem(list), "b@y");
    EXPECT_EQ(TakeListItem(list), "c@z (Cee");
    EXPECT_EQ(TakeListItem(list), "d@w");
    EXPECT_EQ(TakeListItem(list), "");
}

TEST(AddressTest, CleanAddressRemovesNativeDecorations) {
    EXPECT_EQ(CleanAddress("SMTP:john@x.com"), "john@x.com");
    EXPECT_EQ(CleanAddress("smtp:John <john@x.com>"), "john@x.com");
    EXPECT_EQ(CleanAddress(" john@x.com (John) "), "john@x.com");
    EXPECT_EQ(CleanAddress("john@x.com at INTERNET"), "john@x.com");
    EXPECT_EQ(CleanAddress("John Smith at Office"), "John Smith at Office");  // no "@"
}

TEST(AddressTest, DisplayNameFromNativeForms) {
    EXPECT_EQ(DisplayNameFromNative(""), "");
    EXPECT_EQ(DisplayNameFromNative("EX:/o=Org/ou=Site/cn=Recipients/cn=jsmith"), "cn=jsmith");
    EXPECT_EQ(DisplayNameFromNative("MS:ORG/POST/ JSmith "), "JSmith");
    EXPECT_EQ(DisplayNameFromNative("SMTP:john.smith@example.com"), "john.smith");
    EXPECT_EQ(DisplayNameFromNative("mhs:jane@hub"), "jane");
    EXPECT_EQ(DisplayNameFromNative("X400:c=US;a= ;p=Org;o=Site;s=Smith;g=John;"), "John Smith");
    EXPECT_EQ(DisplayNameFromNative("x500:/o=Org/cn=Jane Doe/ou=x"), "Jane Doe");
    EXPECT_EQ(DisplayNameFromNative("jd@x.com at Internet"), "jd");
    EXPECT_EQ(DisplayNameFromNative("plain words"), "");
}

TEST(AddressTest, ShiftJisTrailBytesAreNotCharacters) {
    const uint32_t saved = platform::ActiveCodePage();
    platform::SetActiveCodePage(932);
    // 0x81 0x40 is the ideographic space; 0x83 0x41 and 0x82 0x5B have trail bytes "A", "[".
    const std::string name = "\x83\x41\x82\x5B";
    EXPECT_FALSE(HasAtSign("\x81\x40"));
    EXPECT_EQ(AddressOf(name), name);  // the trail byte "A" is not lower-cased
    EXPECT_FALSE(ContainsIgnoringCase(name, "a"));
    EXPECT_EQ(DisplayNameOf("\x81\x40x"), "\x81\x40x");  // no "@": the whole item
    // 0x95 0x5C ends in a backslash byte, which must not escape the closing quote.
    std::string list = "\"\x95\x5C\" <a@x>, b@y";
    EXPECT_EQ(TakeListItem(list), "\"\x95\x5C\" <a@x>");
    EXPECT_EQ(TakeListItem(list), "b@y");
    platform::SetActiveCodePage(saved);
}

}  // namespace
}  // namespace torrim
