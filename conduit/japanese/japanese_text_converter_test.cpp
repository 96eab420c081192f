// Tests of the converter object: which fields it converts and that it restores them.
#include "conduit/japanese/japanese_text_converter.h"

#include <gtest/gtest.h>

#include <string>

namespace torrim::japanese {
namespace {

// Writable copies of test strings, as a mail client would hand them over.
struct Field {
    explicit Field(const char* text) : storage(text), pointer(storage.data()) {}
    std::string storage;
    char* pointer;
    char* original() { return storage.data(); }
};

// "こんにちは。" and a line break: the 。 leaves a lead byte before the LF, so these bytes
// cannot be Shift_JIS.
const char UTF8_BODY[] =
    "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF\xE3\x80\x82\n";
const char SJIS_BODY[] = "\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD\x81\x42\n";
const char ISO_BODY[] = "\x1B$B\x30\x21\x1B(B\n";
// "山田太郎"
const char UTF8_NAME[] = "\xE5\xB1\xB1\xE7\x94\xB0\xE5\xA4\xAA\xE9\x83\x8E";
const char SJIS_NAME[] = "\x8E\x52\x93\x63\x91\xBE\x98\x59";

size_t Count(const TextSlot* slot) {
    size_t n = 0;
    for (; slot != nullptr; slot = slot->next) {
        ++n;
    }
    return n;
}

TEST(JapaneseTextConverter, ConvertsTheBodyAndRestoresIt) {
    Field body(UTF8_BODY);
    CJapaneseTextConverter converter;
    converter.AddBodySlot(&body.pointer);
    converter.ConvertAll();
    ASSERT_NE(body.pointer, body.original());
    EXPECT_STREQ(body.pointer, SJIS_BODY);
    EXPECT_STREQ(body.original(), UTF8_BODY) << "the caller's string is not written";
    const TextSlot* slot = converter.BodySlotsForTesting();
    EXPECT_STREQ(slot->detector->name, "UTF-8");
    EXPECT_EQ(slot->previous, body.original());

    converter.RestoreAll();
    EXPECT_EQ(body.pointer, body.original());
    EXPECT_EQ(converter.BodySlotsForTesting(), nullptr);
    EXPECT_EQ(converter.HeaderSlotsForTesting(), nullptr);
    converter.RestoreAll();  // again: nothing left to do
}

TEST(JapaneseTextConverter, LeavesShiftJisNullAndEmptyBodiesAlone) {
    for (const char* text : {SJIS_BODY, "plain ascii", ""}) {
        Field body(text);
        CJapaneseTextConverter converter;
        converter.AddBodySlot(&body.pointer);
        converter.ConvertAll();
        EXPECT_EQ(body.pointer, body.original()) << text;
        EXPECT_EQ(converter.BodySlotsForTesting()->copy, nullptr);
    }
    char* nothing = nullptr;
    CJapaneseTextConverter converter;
    converter.AddBodySlot(&nothing);
    converter.ConvertAll();
    EXPECT_EQ(nothing, nullptr);
}

TEST(JapaneseTextConverter, ConvertsAnIso2022JpBodyButNoHeader) {
    Field body(ISO_BODY), subject(UTF8_NAME);
    CJapaneseTextConverter converter;
    converter.AddBodySlot(&body.pointer);
    converter.AddHeaderSlot(&subject.pointer);
    converter.ConvertAll();
    EXPECT_STREQ(body.pointer, "\x88\x9F\n");
    EXPECT_EQ(subject.pointer, subject.original());
}

TEST(JapaneseTextConverter, HeadersFollowAUtf8BodyWhenTheSurveyAllowsIt) {
    // ASCII subject and a UTF-8 name: both go through the UTF-8 converter.
    Field body(UTF8_BODY), subject("Meeting"), address("yamada@example.jp"), name(UTF8_NAME);
    Field empty("");
    char* missing = nullptr;
    CJapaneseTextConverter converter;
    converter.AddBodySlot(&body.pointer);
    converter.AddHeaderSlot(&subject.pointer);
    converter.AddHeaderSlot(&address.pointer);
    converter.AddHeaderSlot(&name.pointer);
    converter.AddHeaderSlot(&empty.pointer);
    converter.AddHeaderSlot(&missing);
    converter.ConvertAll();
    EXPECT_NE(subject.pointer, subject.original());
    EXPECT_STREQ(subject.pointer, "Meeting");
    EXPECT_NE(address.pointer, address.original());
    EXPECT_STREQ(name.pointer, SJIS_NAME);
    EXPECT_EQ(empty.pointer, empty.original());
    EXPECT_EQ(missing, nullptr);
    for (const TextSlot* slot = converter.HeaderSlotsForTesting(); slot; slot = slot->next) {
        if (slot->copy != nullptr) {
            EXPECT_STREQ(slot->detector->name, "UTF-8");
        }
    }

    converter.RestoreAll();
    EXPECT_EQ(body.pointer, body.original());
    EXPECT_EQ(subject.pointer, subject.original());
    EXPECT_EQ(address.pointer, address.original());
    EXPECT_EQ(name.pointer, name.original());
    EXPECT_EQ(empty.pointer, empty.original());
    EXPECT_EQ(missing, nullptr);
}

TEST(JapaneseTextConverter, HeadersStayWhenTheSurveyFindsNoUtf8OrAnotherEncoding) {
    {
        // Only ASCII headers: nothing noted as UTF-8.
        Field body(UTF8_BODY), subject("Meeting");
        CJapaneseTextConverter converter;
        converter.AddBodySlot(&body.pointer);
        converter.AddHeaderSlot(&subject.pointer);
        converter.ConvertAll();
        EXPECT_EQ(subject.pointer, subject.original());
    }
    {
        // One ISO-2022-JP header ends the survey: the UTF-8 name stays too.
        Field body(UTF8_BODY), subject("\x1B$B\x30\x21\x1B(B"), name(UTF8_NAME);
        CJapaneseTextConverter converter;
        converter.AddBodySlot(&body.pointer);
        converter.AddHeaderSlot(&subject.pointer);
        converter.AddHeaderSlot(&name.pointer);
        converter.ConvertAll();
        EXPECT_NE(body.pointer, body.original());
        EXPECT_EQ(subject.pointer, subject.original());
        EXPECT_EQ(name.pointer, name.original());
    }
}

TEST(JapaneseTextConverter, HeadersAreNeverTouchedUnlessOneUtf8BodySlot) {
    {
        Field body(SJIS_BODY), name(UTF8_NAME);
        CJapaneseTextConverter converter;
        converter.AddBodySlot(&body.pointer);
        converter.AddHeaderSlot(&name.pointer);
        converter.ConvertAll();
        EXPECT_EQ(name.pointer, name.original());
    }
    {
        Field first(UTF8_BODY), second(UTF8_BODY), name(UTF8_NAME);
        CJapaneseTextConverter converter;
        converter.AddBodySlot(&first.pointer);
        converter.AddBodySlot(&second.pointer);
        converter.AddHeaderSlot(&name.pointer);
        converter.ConvertAll();
        EXPECT_STREQ(first.pointer, SJIS_BODY);
        EXPECT_STREQ(second.pointer, SJIS_BODY);
        EXPECT_EQ(name.pointer, name.original());
        EXPECT_EQ(Count(converter.BodySlotsForTesting()), 2u);
    }
}

TEST(JapaneseTextConverter, RealShiftJisHeaderBesideUtf8HeadersIsKept) {
    // A client that decoded one header into the desktop code page: Utf8ToShiftJis would
    // turn it into question marks, so it stays as it is.
    Field body(UTF8_BODY), subject(UTF8_NAME), name("\x8E\x52\x93\x63 \x91\xBE\x98\x59");
    CJapaneseTextConverter converter;
    converter.AddBodySlot(&body.pointer);
    converter.AddHeaderSlot(&subject.pointer);
    converter.AddHeaderSlot(&name.pointer);
    converter.ConvertAll();
    EXPECT_STREQ(subject.pointer, SJIS_NAME);
    EXPECT_EQ(name.pointer, name.original());
}

TEST(JapaneseTextConverter, BrokenUtf8HeadersAreConvertedWithOneQuestionMark) {
    {
        // "山田太郎" with the last byte of 太 replaced by "A", beside a UTF-8 name.
        Field body(UTF8_BODY),
            subject(
                "\xE5\xB1\xB1\xE7\x94\xB0\xE5\xA4"
                "A\xE9\x83\x8E"),
            name(UTF8_NAME);
        CJapaneseTextConverter converter;
        converter.AddBodySlot(&body.pointer);
        converter.AddHeaderSlot(&subject.pointer);
        converter.AddHeaderSlot(&name.pointer);
        converter.ConvertAll();
        EXPECT_STREQ(subject.pointer, "\x8E\x52\x93\x63?A\x98\x59");
        EXPECT_STREQ(name.pointer, SJIS_NAME);
    }
    {
        // "山田太" cut inside 太, the only header that is not ASCII: its bytes also form
        // well-formed Shift_JIS, but most of them are UTF-8 sequences.
        Field body(UTF8_BODY), subject("\xE5\xB1\xB1\xE7\x94\xB0\xE5\xA4"),
            address("yamada@example.jp");
        CJapaneseTextConverter converter;
        converter.AddBodySlot(&body.pointer);
        converter.AddHeaderSlot(&subject.pointer);
        converter.AddHeaderSlot(&address.pointer);
        converter.ConvertAll();
        EXPECT_STREQ(subject.pointer, "\x8E\x52\x93\x63?");
        EXPECT_STREQ(address.pointer, "yamada@example.jp");
    }
}

TEST(JapaneseTextConverter, ShiftJisHeaderWithAChanceUtf8SequenceIsKept) {
    // Shift_JIS 0xE381 0x82A0 "山田太郎": E3 81 82 reads as one UTF-8 sequence, but that
    // is fewer than half of the nine bytes above 0x7F.
    Field body(UTF8_BODY), subject("\xE3\x81\x82\xA0\x8E\x52\x93\x63\x91\xBE\x98\x59"),
        name(UTF8_NAME);
    CJapaneseTextConverter converter;
    converter.AddBodySlot(&body.pointer);
    converter.AddHeaderSlot(&subject.pointer);
    converter.AddHeaderSlot(&name.pointer);
    converter.ConvertAll();
    EXPECT_EQ(subject.pointer, subject.original());
    EXPECT_STREQ(name.pointer, SJIS_NAME);
}

TEST(JapaneseTextConverter, ShortUtf8HeaderThatLooksLikeShiftJisIsConverted) {
    // "山田" in UTF-8 forms defined Shift_JIS pairs, so alone it is taken as Shift_JIS; the
    // UTF-8 body and a UTF-8 sender name bring it along.
    Field body(UTF8_BODY), subject("\xE5\xB1\xB1\xE7\x94\xB0"), name(UTF8_NAME);
    CJapaneseTextConverter converter;
    converter.AddBodySlot(&body.pointer);
    converter.AddHeaderSlot(&subject.pointer);
    converter.AddHeaderSlot(&name.pointer);
    converter.ConvertAll();
    EXPECT_STREQ(subject.pointer, "\x8E\x52\x93\x63");
}

TEST(JapaneseTextConverter, ASecondConvertAllKeepsTheOriginal) {
    Field body(UTF8_BODY);
    CJapaneseTextConverter converter;
    converter.AddBodySlot(&body.pointer);
    converter.ConvertAll();
    converter.ConvertAll();
    EXPECT_STREQ(body.pointer, SJIS_BODY);
    converter.RestoreAll();
    EXPECT_EQ(body.pointer, body.original());
}

TEST(JapaneseTextConverter, DestructionRestoresThePointers) {
    Field body(UTF8_BODY), name(UTF8_NAME);
    {
        CJapaneseTextConverter converter;
        converter.AddBodySlot(&body.pointer);
        converter.AddHeaderSlot(&name.pointer);
        converter.ConvertAll();
        ASSERT_NE(name.pointer, name.original());
    }
    EXPECT_EQ(body.pointer, body.original());
    EXPECT_EQ(name.pointer, name.original());
}

}  // namespace
}  // namespace torrim::japanese
