// Open documents following their files when another program changes, deletes or replaces them. The other program's
// writes are the test's own; the window looks when it is activated again, when a tab is clicked and while active.
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "app/documents_on_disk.h"
#include "app/finder.h"
#include "app_fixture.h"

using testing_support::PumpUntil;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

namespace {

// The user switches to another program's window and back; the window looks at the current tab's file. True once
// every look has come back, unless told not to wait.
bool SwitchAwayAndBack(app::TForm1& form, bool wait = true) {
    HWND other = ::CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 20, 20, nullptr, nullptr,
                                   nullptr, nullptr);
    ::SetForegroundWindow(other);
    ::DestroyWindow(other);
    ::SetForegroundWindow(form.Handle());
    return !wait || PumpUntil([&] { return form.OnDisk().Settled(); }, 10000);
}

void PressSave(app::TForm1& form) {
    ::SendMessageW(form.Handle(), WM_COMMAND, MAKEWPARAM(app::kBtnUwagaki, BN_CLICKED), 0);
}

std::string Lines(const char* format, int count) {
    std::string text;
    char line[64];
    for (int i = 0; i < count; ++i) text += std::string(line, static_cast<size_t>(snprintf(line, 64, format, i)));
    return text;
}

}  // namespace

TEST_F(MainWindowTest, AnUnmodifiedTabFollowsItsFileKeepingCaretAndView) {
    const std::wstring path = File(L"log.txt", Lines("line %03d\r\n", 300));
    Open({path});
    ASSERT_TRUE(app::faindtxt(form->Handle(), &Editor(1), L"line", true));
    Editor(1).Select(Editor(1).LineIndex(120) + 3, Editor(1).LineIndex(120) + 3);
    Editor(1).ScrollToLine(100);
    ASSERT_EQ(Editor(1).FirstVisibleLine(), 100);
    ::SetForegroundWindow(form->Handle());

    // Rewritten while the window is active: the next look reads it again, with no question.
    WriteBytes(path, Lines("LINE %03d appended to\r\n", 301));
    ASSERT_TRUE(PumpUntil([&] { return Text(1).starts_with(L"LINE 000"); }, 10000));
    EXPECT_NE(Text(1).find(L"LINE 300"), std::wstring::npos);
    EXPECT_EQ(Editor(1).Selection().cpMin, Editor(1).LineIndex(120) + 3);
    EXPECT_EQ(Editor(1).FirstVisibleLine(), 100);
    EXPECT_FALSE(Editor(1).Modified());
    EXPECT_EQ(form->StatusText(2), L"ファイル " + path + L" を読み込み直しました");
    form->Timer1Timer();
    EXPECT_EQ(form->StatusText(2), L"ファイル " + path + L" を読み込み直しました");
    Editor(1).Select(0, 4);
    EXPECT_FALSE(Editor(1).SelectionFormat().dwEffects & CFE_BOLD) << "the find marks went with the old text";
    EXPECT_EQ(prompter.messages.size(), 1u);  // the find count only

    // Cut short: the caret goes to the nearest place the new text has.
    Editor(1).Select(Editor(1).LineIndex(120) + 3, Editor(1).LineIndex(120) + 3);
    WriteBytes(path, "short");
    ASSERT_TRUE(SwitchAwayAndBack(*form));
    EXPECT_EQ(Text(1), L"short");
    EXPECT_EQ(Editor(1).Selection().cpMax, 3);
    EXPECT_EQ(prompter.messages.size(), 1u);
}

TEST_F(MainWindowTest, AModifiedTabAsksOnceAndTheOverwriteSaveAsksBeforeWritingOverTheChange) {
    const std::wstring path = File(L"memo.txt", "original");
    Open({path});
    Type(1, L"mine");
    const std::string theirs = "{\\rtf1 theirs}\r\n";
    WriteBytes(path, theirs);
    prompter.answers = {IDNO};
    ASSERT_TRUE(SwitchAwayAndBack(*form));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(
        prompter.LastText(),
        L"ファイル " + path + L" は他のプログラムで変更されました。\r\n読み込み直して、このタブの変更を破棄しますか？");
    EXPECT_EQ(prompter.messages[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(Text(1), L"mine");
    EXPECT_TRUE(Editor(1).Modified());
    ASSERT_TRUE(SwitchAwayAndBack(*form));
    EXPECT_EQ(prompter.messages.size(), 1u) << "asked once for the one change";

    // No to the save's question writes nothing: the file stays as the other program wrote it.
    prompter.answers = {IDNO};
    PressSave(*form);
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.LastText(), L"ファイル " + path + L" は他のプログラムで変更されています。\r\n上書きしますか？");
    EXPECT_EQ(ReadBytes(path), theirs);
    EXPECT_TRUE(Editor(1).Modified());
    EXPECT_EQ(form->TabCaption(1), L"memo");
    prompter.answers = {IDYES};
    PressSave(*form);
    ASSERT_EQ(prompter.messages.size(), 4u);
    EXPECT_EQ(prompter.LastText(), L"memo\r\nを上書き保存しました。");
    EXPECT_NE(ReadBytes(path).find("mine"), std::string::npos);

    // A new change, found first by the save itself; then Yes to reading it again drops the tab's changes.
    Type(1, L"mine again");
    WriteBytes(path, "second");
    prompter.answers = {IDNO};
    PressSave(*form);
    EXPECT_EQ(prompter.LastText(), L"ファイル " + path + L" は他のプログラムで変更されています。\r\n上書きしますか？");
    EXPECT_EQ(ReadBytes(path), "second");
    prompter.answers = {IDYES};
    ASSERT_TRUE(SwitchAwayAndBack(*form));
    ASSERT_EQ(prompter.messages.size(), 6u);
    EXPECT_EQ(Text(1), L"second");
    EXPECT_FALSE(Editor(1).Modified());
    EXPECT_EQ(form->StatusText(2), L"ファイル " + path + L" を読み込み直しました");
}

TEST_F(MainWindowTest, TheProgramsOwnSavesAreNeverAnotherProgramsChange) {
    const std::wstring path = File(L"own.txt", "first");
    Open({path});
    Type(1, L"typed");
    PressSave(*form);
    const std::wstring named = dir / L"named.rtf";
    prompter.savePaths = {named};
    form->tbtnNamaeHozonClick();
    ASSERT_TRUE(SwitchAwayAndBack(*form));
    EXPECT_EQ(prompter.messages.size(), 1u);  // the save's notice only
    EXPECT_EQ(form->StatusText(2), named);

    // A look already under way when the tab is saved sees the saved file only after the save.
    HANDLE held = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> looking{false};
    form->OnDisk().SetLook([&](const std::wstring& file) {
        looking = true;
        ::WaitForSingleObject(held, 10000);
        return app::LookAt(file);
    });
    Type(1, L"typed again");
    SwitchAwayAndBack(*form, false);
    ASSERT_TRUE(PumpUntil([&] { return looking.load(); }, 5000));
    PressSave(*form);
    ::SetEvent(held);
    ASSERT_TRUE(PumpUntil([&] { return form->OnDisk().Settled(); }, 10000));
    ::CloseHandle(held);
    EXPECT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(form->StatusText(2), named);
    EXPECT_EQ(Text(1), L"typed again");
}

TEST_F(MainWindowTest, ADeletedFileMakesTheTabUnsavedAndAnUnreachableOneIsLeftAlone) {
    const std::wstring path = File(L"kept.txt", "kept");
    Open({path});
    ASSERT_TRUE(::DeleteFileW(path.c_str()));
    ASSERT_TRUE(SwitchAwayAndBack(*form));
    EXPECT_EQ(Text(1), L"kept");
    EXPECT_TRUE(form->mihoAri());
    EXPECT_EQ(form->StatusText(2), L"ファイル " + path + L" は見つかりません");
    EXPECT_TRUE(prompter.messages.empty());
    PressSave(*form);  // writes it again, asking nothing but the notice
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_NE(ReadBytes(path).find("kept"), std::string::npos);
    ASSERT_TRUE(SwitchAwayAndBack(*form));
    EXPECT_FALSE(Editor(1).Modified());
    EXPECT_EQ(form->StatusText(2), path);

    // Gone only for a moment (a program that saves by deleting and writing anew), the tab is as it was once its file
    // is back: unmodified, following the new text. Typed into meanwhile, it stays unsaved and asks.
    ASSERT_TRUE(::DeleteFileW(path.c_str()));
    ASSERT_TRUE(SwitchAwayAndBack(*form));
    EXPECT_TRUE(Editor(1).Modified());
    WriteBytes(path, "rewritten");
    ASSERT_TRUE(SwitchAwayAndBack(*form));
    EXPECT_FALSE(Editor(1).Modified());
    EXPECT_EQ(Text(1), L"rewritten");
    EXPECT_EQ(prompter.messages.size(), 1u) << "read again without a question";
    ASSERT_TRUE(::DeleteFileW(path.c_str()));
    ASSERT_TRUE(SwitchAwayAndBack(*form));
    Type(1, L"!");
    WriteBytes(path, "again");
    prompter.answers.push_back(IDNO);
    ASSERT_TRUE(SwitchAwayAndBack(*form));
    EXPECT_TRUE(Editor(1).Modified());
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_NE(prompter.LastText().find(L"他のプログラムで変更されました"), std::wstring::npos);

    // A folder that went away (a drive taken out) is not a deletion; once it is back the tab follows it again.
    std::filesystem::create_directory(dir.Path() / L"usb");
    const std::wstring away = File(L"usb\\away.txt", "away");
    form->sinkitab(1, away);
    std::filesystem::remove_all(dir.Path() / L"usb");
    ASSERT_TRUE(SwitchAwayAndBack(*form));
    EXPECT_FALSE(Editor(2).Modified());
    EXPECT_EQ(form->StatusText(2), away);
    std::filesystem::create_directory(dir.Path() / L"usb");
    WriteBytes(away, "back");
    ASSERT_TRUE(SwitchAwayAndBack(*form));
    EXPECT_EQ(Text(2), L"back");
    EXPECT_EQ(prompter.messages.size(), 2u);
}

TEST_F(MainWindowTest, OnlyTheCurrentTabsFileIsLookedAtAndNeverAnUntitledTab) {
    Open();
    const std::wstring a = File(L"a.txt", "a"), b = File(L"b.txt", "b");
    std::atomic<int> looks{0};
    form->OnDisk().SetLook([&](const std::wstring& file) {
        ++looks;
        return app::LookAt(file);
    });
    ASSERT_TRUE(SwitchAwayAndBack(*form));
    Type(1, L"unsaved");
    testing_support::PumpFor(app::DocumentsOnDisk::kLookMs + 500);
    EXPECT_EQ(looks, 0);

    form->sinkitab(1, a);
    form->sinkitab(1, b);
    WriteBytes(a, "a changed");
    ASSERT_TRUE(SwitchAwayAndBack(*form));
    EXPECT_EQ(Text(2), L"a");
    const RECT tab = form->TabRect(1);
    ::SendMessageW(form->PageControl(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(tab.left + 5, tab.top + 5));
    ::SendMessageW(form->PageControl(), WM_LBUTTONUP, 0, MAKELPARAM(tab.left + 5, tab.top + 5));
    ASSERT_EQ(form->CurrentSlot(), 2);
    ASSERT_TRUE(PumpUntil([&] { return Text(2) == L"a changed"; }, 5000));
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(MainWindowTest, ATabThatKnowsNothingOfItsFileTakesItsStampAtItsFirstLook) {
    Open();
    // Restored after a crash from a snapshot, with its file: marked modified, and with no stamp of the file.
    const std::wstring path = File(L"restored.txt", "on disk");
    const int slot = form->OpenRecovered("{\\rtf1 restored}", true, path, L"restored");
    ASSERT_FALSE(form->SlotAt(slot).stamp.known);
    ASSERT_TRUE(SwitchAwayAndBack(*form));
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_TRUE(form->SlotAt(slot).stamp.known);
    // A stamp from the recovery index has no file ID: time and size tell the change all the same.
    form->SlotAt(slot).stamp.fileId = 0;
    ASSERT_TRUE(SwitchAwayAndBack(*form));
    EXPECT_TRUE(prompter.messages.empty());
    WriteBytes(path, "on disk");  // the same size, a later time
    prompter.answers = {IDNO};
    PressSave(*form);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.LastText(), L"ファイル " + path + L" は他のプログラムで変更されています。\r\n上書きしますか？");
    EXPECT_EQ(ReadBytes(path), "on disk");
}
