// Opening and saving documents through the main window.
#include <windows.h>

#include <shellapi.h>

#include <cstring>
#include <filesystem>

#include "app/document_io.h"
#include "app_fixture.h"
#include "ui/texts.h"

using testing_support::ReadBytes;

namespace {

const std::string kSjisJapanese =
    "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x65\x83\x4c\x83\x58\x83\x67";  // 日本語のテキスト

}  // namespace

TEST_F(MainWindowTest, PlainTextIsDecodedByMarkUtf8OrShiftJis) {
    Open();
    struct Case {
        const wchar_t* name;
        std::string bytes;
        std::wstring text;
    } cases[] = {
        {L"sjis.txt", kSjisJapanese + "\r\nabc", L"日本語のテキスト\rabc"},
        {L"utf8bom.txt", "\xEF\xBB\xBF\xE6\x97\xA5\xE6\x9C\xAC", L"日本"},
        {L"utf8.txt", "caf\xC3\xA9 \xF0\x9F\x98\x80", L"café 😀"},
        {L"utf16.txt", std::string("\xFF\xFE\x42\x30\x44\x30", 6), L"あい"},
        {L"ascii.txt", "plain words", L"plain words"},
    };
    for (const Case& c : cases) {
        form->sinkitab(1, File(c.name, c.bytes));
        const int slot = form->CurrentSlot();
        EXPECT_EQ(Text(slot), c.text) << c.name;
        EXPECT_TRUE(form->SlotAt(slot).hasFile);
        EXPECT_FALSE(Editor(slot).Modified());
        EXPECT_EQ(Editor(slot).TextLimit(), app::kLoadedTextLimit);
    }
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(MainWindowTest, CaptionIsTheNameWithoutItsLastExtension) {
    Open();
    form->sinkitab(1, File(L"a.b.txt", "x"));
    EXPECT_EQ(form->TabCaption(form->CurrentSlot()), L"a.b");
    form->sinkitab(1, File(L"memo.txt", "x"));
    EXPECT_EQ(form->TabCaption(form->CurrentSlot()), L"memo");
    EXPECT_EQ(form->StatusText(2), dir / L"memo.txt");
}

TEST_F(MainWindowTest, BadFilesOpenOrFailWithTheMessageNeverACrash) {
    Open();
    // Empty, binary and malformed files open as whatever text they hold.
    std::string random;
    for (int i = 0; i < 4096; ++i) random.push_back(static_cast<char>((i * 7919 + 13) % 256));
    for (const auto& [name, bytes] : std::vector<std::pair<std::wstring, std::string>>{
             {L"empty.txt", ""},
             {L"nul.bin", std::string("ab\0cd\0\0ef", 9)},
             {L"badsjis.txt", "\x81\x20\x9f\xff\xfe\x80"},
             {L"random.bin", random},
             {L"truncated.rtf", "{\\rtf1\\ansi {\\b bold"},
             {L"malformed.rtf", "{\\rtf1 }}}}{{{\\'zz\\u-99999999999"},
         }) {
        form->sinkitab(1, File(name, bytes));
        const int slot = form->CurrentSlot();
        EXPECT_TRUE(form->SlotAt(slot).hasFile) << name;
        EXPECT_EQ(form->SlotAt(slot).fileName, dir / name);
    }
    EXPECT_TRUE(prompter.messages.empty());

    // A missing file and a folder: the message, an untitled empty tab that an overwrite save cannot write over.
    const std::wstring missing = dir / L"missing.txt";
    form->sinkitab(1, missing);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.LastText(), L"ファイル " + missing + L" は開けません.");
    EXPECT_EQ(prompter.messages.back().caption, txt::kAppTitle);
    EXPECT_EQ(prompter.messages.back().flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
    int slot = form->CurrentSlot();
    EXPECT_EQ(form->TabCaption(slot), L"無題");
    EXPECT_EQ(form->SlotAt(slot).fileName, L"無題");
    EXPECT_FALSE(form->SlotAt(slot).hasFile);
    EXPECT_EQ(Text(slot), L"");

    // A file another program holds open for writing without sharing cannot be read either.
    const std::wstring locked = File(L"locked.txt", "busy");
    HANDLE lock = ::CreateFileW(locked.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    form->sinkitab(1, locked);
    ::CloseHandle(lock);
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.LastText(), L"ファイル " + locked + L" は開けません.");
    prompter.messages.pop_back();

    std::filesystem::create_directory(dir.Path() / L"folder.d");
    form->sinkitab(1, dir / L"folder.d");
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.LastText(), L"ファイル " + (dir / L"folder.d") + L" は開けません.");
    EXPECT_FALSE(form->SlotAt(form->CurrentSlot()).hasFile);
}

TEST_F(MainWindowTest, FailedReadIntoAReusedSlotDropsItsOldFileName) {
    Open();
    const std::wstring a = File(L"a.txt", "first");
    form->kizontab(1, a);  // slot 1 is taken: reuses slot 1
    ASSERT_EQ(form->CurrentSlot(), 1);
    EXPECT_EQ(form->SlotAt(1).fileName, a);
    form->kizontab(1, dir / L"gone.txt");
    EXPECT_EQ(form->CurrentSlot(), 1);
    EXPECT_FALSE(form->SlotAt(1).hasFile);
    EXPECT_EQ(form->SlotAt(1).fileName, L"無題");
    // An overwrite save now asks for a name instead of writing the empty editor over a.txt.
    form->tbtnUwagakiClick();
    EXPECT_EQ(prompter.saveDialogs.size(), 1u);
    EXPECT_EQ(ReadBytes(a), "first");
}

TEST_F(MainWindowTest, SaveUnderANameThenOverwrite) {
    Open();
    Editor(1).SetText(L"hello 日本語 😀 ∀∃");
    Editor(1).SetModified(true);
    const std::wstring path = dir / L"note.rtf";
    prompter.savePaths.push_back(path);
    form->ActUagakiExecute();  // untitled: the overwrite save asks for a name
    ASSERT_EQ(prompter.saveDialogs.size(), 1u);
    EXPECT_EQ(prompter.saveDialogs[0].filter, L"リッチテキスト(*.rtf)|*.rtf|すべてのファイル(*.*)|*.*");
    EXPECT_EQ(prompter.saveDialogs[0].filterIndex, 1);
    EXPECT_EQ(prompter.saveDialogs[0].defaultExt, L"TXT");
    EXPECT_TRUE(prompter.messages.empty());  // no notice for a save under a name
    EXPECT_EQ(form->TabCaption(1), L"note");
    EXPECT_EQ(form->StatusText(2), path);
    EXPECT_TRUE(form->SlotAt(1).hasFile);
    EXPECT_FALSE(Editor(1).Modified());
    EXPECT_EQ(ReadBytes(path).rfind("{\\rtf", 0), 0u);

    Editor(1).SetText(L"second 版");
    Editor(1).SetModified(true);
    // Ctrl+S pressed while the focus is in the editor.
    MSG ctrlS{Editor(1).Handle(), WM_KEYDOWN, 'S', 0, 0, {}};
    BYTE keys[256]{};
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    const bool used = form->PreTranslate(ctrlS);
    keys[VK_CONTROL] = 0;
    ::SetKeyboardState(keys);
    EXPECT_TRUE(used);
    EXPECT_EQ(prompter.saveDialogs.size(), 1u);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.LastText(), L"note\r\nを上書き保存しました。");
    EXPECT_FALSE(Editor(1).Modified());

    // Read back: the same text.
    form->sinkitab(1, path);
    EXPECT_EQ(Text(form->CurrentSlot()), L"second 版");
}

TEST_F(MainWindowTest, TextAndNamesOutsideShiftJisSurviveSaveAndLoad) {
    Open();
    const std::wstring text = L"日本語 한국어 Ελληνικά 😀🎉 ∮ © é ā ½ ™ {\\} ｶﾅ";
    Editor(1).SetText(text);
    const std::wstring path = dir / L"한국어_文書.rtf";
    prompter.savePaths.push_back(path);
    form->tbtnNamaeHozonClick();
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(form->StatusText(2), path);
    EXPECT_EQ(form->TabCaption(1), L"한국어_文書");
    form->sinkitab(1, path);
    const int slot = form->CurrentSlot();
    EXPECT_EQ(Text(slot), text);
    form->Timer1Timer();
    EXPECT_EQ(form->StatusText(2), path);
}

TEST_F(MainWindowTest, FailedSaveKeepsTheOriginalAndTheMarks) {
    Open();
    const std::wstring target = File(L"keep.rtf", "{\\rtf1 original}");
    form->sinkitab(1, target);
    const int slot = form->CurrentSlot();
    Editor(slot).SetText(L"changed");
    Editor(slot).SetModified(true);
    ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
    form->tbtnUwagakiClick();
    ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.LastText(), L"ファイル " + target + L" を作成できません.");
    EXPECT_EQ(ReadBytes(target), "{\\rtf1 original}");
    EXPECT_TRUE(Editor(slot).Modified());
    EXPECT_EQ(form->SlotAt(slot).fileName, target);

    // Held open by another program without sharing.
    HANDLE lock = ::CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    form->tbtnUwagakiClick();
    ::CloseHandle(lock);
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.LastText(), L"ファイル " + target + L" を作成できません.");
    EXPECT_EQ(ReadBytes(target), "{\\rtf1 original}");

    // A folder that does not exist: nothing changes, and no temporary file is left anywhere.
    const std::wstring nowhere = dir / L"no_such_folder\\x.rtf";
    prompter.savePaths.push_back(nowhere);
    form->tbtnNamaeHozonClick();
    ASSERT_EQ(prompter.messages.size(), 3u);
    EXPECT_EQ(prompter.LastText(), L"ファイル " + nowhere + L" を作成できません.");
    EXPECT_EQ(form->SlotAt(slot).fileName, target);
    EXPECT_EQ(form->TabCaption(slot), L"keep");
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1u);  // keep.rtf only

    // A cancelled dialog changes nothing.
    form->tbtnNamaeHozonClick();
    EXPECT_EQ(prompter.messages.size(), 3u);
    EXPECT_TRUE(Editor(slot).Modified());
}

TEST_F(MainWindowTest, PlainTextSavedComesBackAsRichTextWithItsFormatting) {
    Open();
    const std::wstring path = File(L"a.txt", kSjisJapanese);
    form->sinkitab(1, path);
    const int slot = form->CurrentSlot();
    Editor(slot).Select(0, 2);
    form->tbtnBoldClick();
    EXPECT_TRUE(Editor(slot).Modified());
    form->tbtnUwagakiClick();
    EXPECT_EQ(prompter.LastText(), L"a\r\nを上書き保存しました。");
    EXPECT_EQ(ReadBytes(path).rfind("{\\rtf", 0), 0u);
    form->sinkitab(1, path);
    ui::RichEdit& again = Editor(form->CurrentSlot());
    EXPECT_EQ(again.Text(), L"日本語のテキスト");
    again.Select(0, 2);
    EXPECT_TRUE(again.SelectionFormat().dwEffects & CFE_BOLD);
    again.Select(3, 5);
    EXPECT_FALSE(again.SelectionFormat().dwEffects & CFE_BOLD);
}

TEST_F(MainWindowTest, OneClickReuseAsksBeforeDroppingChangesAndUsesTheDefaultFont) {
    Open();
    form->sinkitab(0, L"dmy");
    form->sinkitab(0, L"dmy");
    ASSERT_EQ(form->CurrentSlot(), 3);
    Editor(3).SetText(L"unsaved");
    Editor(3).SetModified(true);
    const std::wstring rtf = File(L"big.rtf", "{\\rtf1{\\fonttbl{\\f0 Courier New;}}\\f0\\fs48 Big}");
    prompter.answers.push_back(IDNO);
    form->kizontab(1, rtf);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.LastText(), L"無題\r\nが未保存ですが閉じますか？");
    EXPECT_EQ(Text(3), L"unsaved");
    EXPECT_TRUE(Editor(3).Modified());

    prompter.answers.push_back(IDYES);
    form->kizontab(1, rtf);
    EXPECT_EQ(form->CurrentSlot(), 3);
    EXPECT_EQ(form->TabCount(), 3);
    EXPECT_EQ(Text(3), L"Big");
    EXPECT_FALSE(Editor(3).Modified());
    Editor(3).Select(0, 3);
    const CHARFORMAT2W f = Editor(3).SelectionFormat();
    EXPECT_STREQ(f.szFaceName, L"BIZ UDPゴシック");
    EXPECT_EQ(f.yHeight, 11 * 20);
    EXPECT_EQ(form->TabCaption(3), L"big");
}

namespace {

// A drop of files as the shell hands it over: DROPFILES followed by the wide paths, each ended by a zero.
HGLOBAL MakeDrop(const std::vector<std::wstring>& paths) {
    std::wstring list;
    for (const auto& p : paths) list += p + L'\0';
    list += L'\0';
    const size_t bytes = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    ::GlobalUnlock(memory);
    return memory;
}

}  // namespace

TEST_F(MainWindowTest, ADroppedFileOpensInANewTabAndOnlyTheFirst) {
    Open();
    const std::wstring deep = dir / (std::wstring(120, L'長') + L"\\");
    std::filesystem::create_directories(deep);
    const std::wstring first = File(std::wstring(120, L'長') + L"\\" + std::wstring(150, L'名') + L".txt", "first");
    const std::wstring second = File(L"second.txt", "second");
    ::SendMessageW(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({first, second})), 0);
    EXPECT_EQ(form->TabCount(), 2);
    EXPECT_EQ(form->SlotAt(2).fileName, first);
    EXPECT_EQ(Text(2), L"first");
    EXPECT_TRUE(prompter.messages.empty());
}
