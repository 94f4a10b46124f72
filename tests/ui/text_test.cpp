// Text helpers: code page 932, plain-text decoding, paths and numbers.
#include <gtest/gtest.h>

#include "ui/text.h"

TEST(Text, Cp932RoundTripAndExplicitConversion) {
    const std::wstring s = L"日本語テキスト ABC ｱｲｳ ①∀";
    EXPECT_EQ(ui::WideFromCp932(ui::Cp932FromWide(s)), s);
    EXPECT_EQ(ui::Cp932FromWide(L"あ"), "\x82\xa0");
    EXPECT_EQ(ui::WideFromCp932(""), L"");
}

TEST(Text, PlainTextIsDecodedByMarkThenUtf8ThenShiftJis) {
    EXPECT_EQ(ui::DecodePlainText("\xEF\xBB\xBF\x61\xE3\x81\x82"), L"aあ");
    EXPECT_EQ(ui::DecodePlainText(std::string("\xFF\xFE\x61\x00\x42\x30", 6)), L"aあ");
    EXPECT_EQ(ui::DecodePlainText(std::string("\xFE\xFF\x00\x61\x30\x42", 6)), L"aあ");
    EXPECT_EQ(ui::DecodePlainText("\xF0\x9F\x98\x80 ok"), L"😀 ok");
    EXPECT_EQ(ui::DecodePlainText("\x82\xa0\x82\xa2"), L"あい");
    EXPECT_EQ(ui::DecodePlainText("ascii only"), L"ascii only");
    // A dangling last byte of UTF-16 shows as U+FFFD, in either byte order, and nothing is read past the end.
    EXPECT_EQ(ui::DecodePlainText(std::string("\xFF\xFE\x61\x00\x62", 5)), L"a\uFFFD");
    EXPECT_EQ(ui::DecodePlainText(std::string("\xFE\xFF\x00\x61\x30", 5)), L"a\uFFFD");
    EXPECT_EQ(ui::DecodePlainText(std::string("\xFF\xFE\x61", 3)), L"\uFFFD");
}

TEST(Text, Utf8DetectionRejectsMalformedSequences) {
    EXPECT_TRUE(ui::IsMultiByteUtf8("caf\xC3\xA9"));
    EXPECT_FALSE(ui::IsMultiByteUtf8("plain"));             // no multi-byte sequence
    EXPECT_FALSE(ui::IsMultiByteUtf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(ui::IsMultiByteUtf8("\xE0\x80\xAF"));      // overlong
    EXPECT_FALSE(ui::IsMultiByteUtf8("\xED\xA0\x80"));      // a surrogate
    EXPECT_FALSE(ui::IsMultiByteUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
    EXPECT_FALSE(ui::IsMultiByteUtf8("ab\xE3\x81"));        // cut short
    EXPECT_FALSE(ui::IsMultiByteUtf8("\x82\xa0\x82\xa2"));  // Shift-JIS
    EXPECT_TRUE(ui::IsMultiByteUtf8("\xF0\x9F\x98\x80"));
}

TEST(Text, PathParts) {
    EXPECT_EQ(ui::FileNameOf(L"C:\\x\\note.rtf"), L"note.rtf");
    EXPECT_EQ(ui::NameWithoutExtension(L"C:\\x\\a.b.txt"), L"a.b");
    EXPECT_EQ(ui::NameWithoutExtension(L"C:\\x.d\\README"), L"README");
    EXPECT_EQ(ui::DirectoryOf(L"C:\\My Documents\\a.txt"), L"C:\\My Documents");
    EXPECT_EQ(ui::DirectoryOf(L"C:\\a.txt"), L"C:\\");
    EXPECT_EQ(ui::DirectoryOf(L"a.txt"), L"");
    EXPECT_TRUE(ui::HasExtension(L"C:\\x\\notes.txt"));
    EXPECT_FALSE(ui::HasExtension(L"C:\\x.d\\README"));
    EXPECT_EQ(ui::Trim(L" \t a b \r\n"), L"a b");
}

TEST(Text, LongPathsGetTheExtendedPrefix) {
    EXPECT_EQ(ui::LongPathForm(L"C:\\x\\note.rtf"), L"C:\\x\\note.rtf");
    const std::wstring folder = L"C:\\" + std::wstring(200, L'長') + L"\\";
    const std::wstring name = std::wstring(100, L'名') + L".txt";
    EXPECT_EQ(ui::LongPathForm(folder + name), L"\\\\?\\" + folder + name);
    EXPECT_EQ(ui::LongPathForm(folder + L"sub\\..\\" + name), L"\\\\?\\" + folder + name);  // made full first
    EXPECT_EQ(ui::LongPathForm(L"\\\\server\\share\\" + name + L"\\" + name + L"\\" + name),
              L"\\\\?\\UNC\\server\\share\\" + name + L"\\" + name + L"\\" + name);
    EXPECT_EQ(ui::LongPathForm(L"\\\\?\\" + folder + name), L"\\\\?\\" + folder + name);
}

TEST(Text, WholeNumbers) {
    EXPECT_EQ(ui::ParseInt(L"12"), 12);
    EXPECT_EQ(ui::ParseInt(L"-7"), -7);
    EXPECT_EQ(ui::ParseInt(L"+7"), 7);
    EXPECT_EQ(ui::ParseInt(L"2147483647"), 2147483647);
    EXPECT_EQ(ui::ParseInt(L"2147483648"), std::nullopt);
    EXPECT_EQ(ui::ParseInt(L""), std::nullopt);
    EXPECT_EQ(ui::ParseInt(L" "), std::nullopt);
    EXPECT_EQ(ui::ParseInt(L"1.5"), std::nullopt);
    EXPECT_EQ(ui::ParseInt(L"１２"), std::nullopt);  // full-width digits are not a number here
    EXPECT_EQ(ui::ParseInt(L"0x10"), std::nullopt);  // hex only where asked for
    EXPECT_EQ(ui::ParseInt(L"0x10", true), 16);
    EXPECT_EQ(ui::ParseInt(L"0x", true), std::nullopt);
    EXPECT_EQ(ui::ParseInt(L"0x-1", true), std::nullopt);
    EXPECT_EQ(ui::ParseInt(L"0x1FFFFFFFF", true), std::nullopt);
}
