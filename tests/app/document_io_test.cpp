// What reading and writing documents must never lose: text, font names, the file's identity, the program itself.
#include <windows.h>

#include <filesystem>
#include <new>
#include <optional>
#include <vector>

#include "app/document_io.h"
#include "app/rtf_encoding.h"
#include "app_fixture.h"
#include "ui/error.h"
#include "ui/window.h"

using testing_support::ReadBytes;

namespace {

// The text as the editor holds it: every line end (CR LF, LF or CR) one paragraph break, a CR.
std::wstring AsParagraphs(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
        out += text[i] == L'\n' ? L'\r' : text[i];
    }
    return out;
}

// Where two texts first differ, with a little of each around it; empty when they are equal.
std::wstring FirstDifference(const std::wstring& got, const std::wstring& want) {
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
    if (i == got.size() && i == want.size()) return {};
    std::wstring at = L"at " + std::to_wstring(i) + L" of " + std::to_wstring(want.size()) + L": got [";
    for (const wchar_t c : got.substr(i > 4 ? i - 4 : 0, 10)) at += c < L' ' ? L'^' : c;
    at += L"] want [";
    for (const wchar_t c : want.substr(i > 4 ? i - 4 : 0, 10)) at += c < L' ' ? L'^' : c;
    return at + L"]";
}

std::string Narrow(const std::wstring& s) {
    return ui::Utf8FromWide(s);
}

std::wstring FaceAt(ui::RichEdit& editor, long position) {
    editor.Select(position, position + 1);
    return editor.SelectionFormat().szFaceName;
}

}  // namespace

TEST_F(MainWindowTest, PlainTextOfSeveralMegabytesKeepsEveryLineEndAndPairAtTheControlsReadBoundaries) {
    // The control reads 4,096 bytes (2,048 units) at a time; line ends and surrogate pairs are placed at every
    // offset from four units before to two after each boundary, in turn.
    static const std::wstring kPieces[] = {L"\r\n", L"😀", L"\r\r\n", L"\n", L"\r", L"\r\n😀\r\n"};
    std::wstring text;
    for (size_t k = 0; text.size() < 1'300'000; ++k) {
        const size_t start = (text.size() / 2048 + 1) * 2048 - 4 + k % 7;
        while (text.size() < start) text += (text.size() % 61 == 0) ? L'語' : static_cast<wchar_t>(L'a' + k % 26);
        text += kPieces[(k / 7) % 6];
    }
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    Open();
    form->sinkitab(1, File(L"big.txt", bytes));
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(Narrow(FirstDifference(Text(form->CurrentSlot()), AsParagraphs(text))), "");
}

TEST_F(MainWindowTest, TheTextLimitIsRaisedBeforeTheReadSoNoFileIsCut) {
    Open();
    // Windows' control ends a stream-in at the text limit, Wine's takes everything: so the limit in force when each
    // stream-in starts is what shows whether a long file would be cut.
    std::vector<long> limits;
    ui::Subclass hook;
    hook.Attach(Editor(1).Handle(), [&](UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg == EM_STREAMIN) limits.push_back(Editor(1).TextLimit());
        return std::nullopt;
    });
    for (const auto& [name, bytes] : {std::pair{L"long.txt", std::string(5000, 'x')},
                                      std::pair{L"long.rtf", "{\\rtf1\\ansi " + std::string(5000, 'x') + "}"}}) {
        Editor(1).SetTextLimit(11'000'000);
        limits.clear();
        app::readDocument(Editor(1), File(name, bytes));
        EXPECT_EQ(Text(1), std::wstring(5000, L'x')) << Narrow(name);
        ASSERT_FALSE(limits.empty());
        for (const long limit : limits) EXPECT_EQ(limit, 0x7FFFFFF0) << Narrow(name);
        EXPECT_EQ(Editor(1).TextLimit(), 0x7FFFFFF0);
    }
    // A failed read leaves the limit as it was.
    Editor(1).SetTextLimit(11'000'000);
    EXPECT_THROW(app::readDocument(Editor(1), dir / L"missing.txt"), ui::Error);
    EXPECT_EQ(Editor(1).TextLimit(), 11'000'000);
}

TEST_F(MainWindowTest, AFileTooLargeForMemoryCannotBeOpenedAndTheOtherTabsStay) {
    Open();
    Type(1, L"unsaved work");
    const app::ScopedFileReader tooLarge(
        [](const std::wstring&) -> std::optional<std::string> { throw std::bad_alloc(); });
    const std::wstring path = File(L"huge.txt", "pretend this is larger than memory");
    form->sinkitab(1, path);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.LastText(), L"ファイル " + path + L" は開けません.");
    EXPECT_EQ(prompter.messages[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
    const int slot = form->CurrentSlot();
    EXPECT_EQ(form->TabCaption(slot), L"無題");
    EXPECT_FALSE(form->SlotAt(slot).hasFile);
    EXPECT_EQ(Text(1), L"unsaved work");
    EXPECT_TRUE(Editor(1).Modified());
}

TEST(RtfEncoding, CharactersAreWrittenInTheCodePageOfTheirFontAndEscapedOnlyWhereItLacksThem) {
    const std::string in =
        "{\\urtf1\\deff1{\\fonttbl{\\f0\\fcharset0 Arial;}{\\f1\\fcharset128 ＭＳ 明朝;}{\\f2\\fcharset128 한글©;}}\n"
        "日{\\f0 é日}é 😀\\f2 한{\\uc0 ©}{\\*\\x \\bin3 \xE6\x97\xA5}\\'41\\\\}";
    const std::string want =
        "{\\rtf1\\ansi\\ansicpg932\\uc1\\deff1{\\fonttbl{\\f0\\fcharset0 Arial;}"
        "{\\f1\\fcharset128 \\'82\\'6c\\'82\\'72 \\'96\\'be\\'92\\'a9;}{\\f2\\fcharset128 "
        "\\u-10916?\\u-20992?\\u169?;}}\n"
        "\\'93\\'fa{\\f0 \\'e9\\u26085?}\\u233? \\u-10179?\\u-8704?\\f2 \\u-10916?{\\uc0 \\u169}"
        "{\\*\\x \\bin3 \xE6\x97\xA5}\\'41\\\\}";
    EXPECT_EQ(app::PlainRtfFromUtf8Rtf(in), want);
    EXPECT_EQ(app::PlainRtfFromUtf8Rtf("{\\rtf1 kept \x82\xa0}"), "{\\rtf1 kept \x82\xa0}");
}

TEST(RtfEncoding, OnlyRichTextThatClosesItsGroupIsWhole) {
    EXPECT_TRUE(app::IsWholeRtf(std::string("{\\rtf1 a{\\b b}\\par\r\n}\r\n\0", 23)));
    EXPECT_TRUE(app::IsWholeRtf("{\\rtf1 \\{ \\\\ \\} text}"));
    EXPECT_TRUE(app::IsWholeRtf("{\\rtf1 {\\*\\x \\bin3 }}{}}"));  // raw bytes after \bin are no braces
    EXPECT_FALSE(app::IsWholeRtf("{\\rtf1 \\pard x"));             // what Wine's control writes up to a picture
    EXPECT_FALSE(app::IsWholeRtf("{\\rtf1 {x}"));
    EXPECT_FALSE(app::IsWholeRtf("{\\rtf1 x}y"));
    EXPECT_FALSE(app::IsWholeRtf(""));
}

TEST_F(MainWindowTest, FontNamesAndTextRoundTripThroughSaveAndLoad) {
    Open();
    const std::wstring text = L"明朝 ゴシック 既定 © 한글 😀 end";
    Editor(1).SetText(text);
    struct Run {
        long start, end;
        const wchar_t* face;
    };
    const Run runs[] = {{0, 2, L"ＭＳ 明朝"}, {3, 7, L"ＭＳ ゴシック"}, {8, 10, L"BIZ UDPゴシック"},
                        {11, 12, L"©Face"},   {13, 15, L"한글"},        {16, 18, L"😀Emoji"}};
    for (const Run& r : runs) {
        Editor(1).Select(r.start, r.end);
        CHARFORMAT2W f = ui::MakeCharFormat(CFM_FACE);
        wcscpy_s(f.szFaceName, r.face);
        Editor(1).SetSelectionFormat(f);
    }
    const std::wstring path = dir / L"fonts.rtf";
    prompter.savePaths.push_back(path);
    form->tbtnNamaeHozonClick();
    EXPECT_TRUE(prompter.messages.empty());

    // The font table names the Japanese faces in code page 932, as older readers and the control's own read them;
    // only what code page 932 lacks is a Unicode escape.
    const std::string saved = ReadBytes(path);
    EXPECT_NE(saved.find(" \\'82\\'6c\\'82\\'72 \\'96\\'be\\'92\\'a9;}"), std::string::npos) << saved;
    EXPECT_NE(saved.find(" BIZ UDP\\'83\\'53\\'83\\'56\\'83\\'62\\'83\\'4e;}"), std::string::npos) << saved;
    EXPECT_NE(saved.find(" \\u169?Face;}"), std::string::npos) << saved;
    EXPECT_NE(saved.find(" \\u-10916?\\u-20992?;}"), std::string::npos) << saved;
    EXPECT_NE(saved.find(" \\u-10179?\\u-8704?Emoji;}"), std::string::npos) << saved;

    form->sinkitab(1, path);
    ui::RichEdit& again = Editor(form->CurrentSlot());
    EXPECT_EQ(again.Text(), text);
    EXPECT_EQ(FaceAt(again, 0), L"ＭＳ 明朝");
    EXPECT_EQ(FaceAt(again, 4), L"ＭＳ ゴシック");
    EXPECT_EQ(FaceAt(again, 8), L"BIZ UDPゴシック");
    EXPECT_EQ(FaceAt(again, 19), L"BIZ UDPゴシック");
}

TEST_F(MainWindowTest, ADocumentWithAPictureSavesWholeOrNotAtAll) {
    Open();
    const std::string original =
        "{\\rtf1\\ansi x{\\pict\\dibitmap0\\picw1\\pich1\\picwgoal300\\pichgoal300 "
        "28000000010000000100000001001800000000000400000000000000000000000000000000000000ff000000}y\\par after\\par}";
    const std::wstring path = File(L"picture.rtf", original);
    form->sinkitab(1, path);
    const int slot = form->CurrentSlot();
    const long end = Editor(slot).TextLength();
    Editor(slot).Select(end, end);
    Editor(slot).ReplaceSelection(L" more", true);
    form->tbtnUwagakiClick();
    ASSERT_EQ(prompter.messages.size(), 1u);
    if (prompter.LastText() == L"ストリームへの書き込みに失敗しました.") {
        // Wine's control stops writing at the picture: the original stays as it was.
        EXPECT_EQ(ReadBytes(path), original);
        EXPECT_TRUE(Editor(slot).Modified());
    } else {
        EXPECT_EQ(prompter.LastText(), L"picture\r\nを上書き保存しました。");
        form->sinkitab(1, path);
        EXPECT_NE(Text(form->CurrentSlot()).find(L"after more"), std::wstring::npos);
    }
}

TEST_F(MainWindowTest, AHiddenFileStaysHiddenAfterASave) {
    Open();
    const std::wstring hidden = File(L"hidden.rtf", "{\\rtf1 old}");
    ::SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
    if (!(::GetFileAttributesW(hidden.c_str()) & FILE_ATTRIBUTE_HIDDEN))
        GTEST_SKIP() << "this file system keeps no hidden attribute";
    form->sinkitab(1, hidden);
    Type(form->CurrentSlot(), L"new");
    form->tbtnUwagakiClick();
    EXPECT_EQ(prompter.LastText(), L"hidden\r\nを上書き保存しました。");
    EXPECT_TRUE(::GetFileAttributesW(hidden.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_NE(ReadBytes(hidden).find("new"), std::string::npos);
}

TEST_F(MainWindowTest, ADocumentOnAPathOfOver300CharactersOpensAndSaves) {
    Open();
    // The name alone is near the limit of one name, so a temporary name made longer from it would not fit.
    const std::wstring folder = dir / std::wstring(20, L'd');
    std::filesystem::create_directory(folder);
    const std::wstring path = folder + L"\\" + std::wstring(246, L'n') + L".txt";
    ASSERT_GE(path.size(), 300u);
    testing_support::WriteBytes(path, "long path");
    form->sinkitab(1, path);
    const int slot = form->CurrentSlot();
    EXPECT_EQ(Text(slot), L"long path");
    Type(slot, L"saved on a long path");
    form->tbtnUwagakiClick();
    EXPECT_EQ(prompter.LastText(), std::wstring(246, L'n') + L"\r\nを上書き保存しました。");
    form->sinkitab(1, path);
    EXPECT_EQ(Text(form->CurrentSlot()), L"saved on a long path");
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1u);  // no temporary file left
}
