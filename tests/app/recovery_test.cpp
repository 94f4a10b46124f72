// Unsaved work kept beside data.ini while the window runs, and offered back at the next start after an end that was
// not clean. The session's end stands in for a crash here: it leaves the files as a killed process does (the
// process tests kill the real program).
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "ui/texts.h"

using testing_support::ReadBytes;
using testing_support::WriteBytes;

namespace {

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Every file anywhere under the folder.
size_t FilesUnder(const std::wstring& folder) {
    size_t files = 0;
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder, ec))
        if (e.is_regular_file()) ++files;
    return files;
}

bool IsBold(ui::RichEdit& editor, long start, long end) {
    editor.Select(start, end);
    const CHARFORMAT2W f = editor.SelectionFormat();
    return (f.dwMask & CFM_BOLD) && (f.dwEffects & CFE_BOLD);
}

}  // namespace

class RecoveryTest : public MainWindowTest {
protected:
    // Snapshots follow quickly here; what is tested is which changes make them and where they go.
    app::TForm1& OpenQuick() {
        Open();
        form->UnsavedWork().SetTiming(50, 10000);
        return *form;
    }

    // The single folder of this window's snapshots.
    std::wstring OwnFolder() {
        const auto folders = RecoveryFolders();
        return folders.size() == 1 ? folders.front() : std::wstring();
    }

    // The text of a snapshot, read back as the program reads any rich text file.
    std::wstring SnapshotText(const std::wstring& path, bool* boldStart = nullptr) {
        form->sinkitab(1, path);
        const int slot = form->CurrentSlot();
        const std::wstring text = Text(slot);
        if (boldStart) *boldStart = IsBold(Editor(slot), 0, 4);
        form->tbtnTabTojClick();
        return text;
    }
};

TEST_F(RecoveryTest, SnapshotsFollowTextAndFormattingAndGoWithSavesAndCloses) {
    OpenQuick();
    ASSERT_TRUE(SettleRecovery());
    EXPECT_FALSE(Exists(RecoveryRoot())) << "nothing to keep, nothing written";

    Type(1, L"first draft");
    ASSERT_TRUE(SettleRecovery());
    const std::wstring folder = OwnFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(FileNames(folder), (std::vector<std::wstring>{L"index.txt", L"lock", L"tab1.rtf"}));
    EXPECT_EQ(SnapshotText(folder + L"\\tab1.rtf"), L"first draft");

    // Bold alone changes no text and raises no change notice: it still makes a new snapshot.
    form->PageControl1Change();
    Editor(1).Select(0, 5);
    form->tbtnBoldClick();
    ASSERT_TRUE(SettleRecovery());
    bool bold = false;
    EXPECT_EQ(SnapshotText(folder + L"\\tab1.rtf", &bold), L"first draft");
    EXPECT_TRUE(bold);

    // A failed save keeps the snapshot; a save that worked removes it.
    prompter.savePaths.push_back(dir / L"no_such_folder\\x.rtf");
    form->PageControl1Change();
    form->tbtnNamaeHozonClick();
    EXPECT_EQ(prompter.LastText(), L"ファイル " + (dir / L"no_such_folder\\x.rtf") + L" を作成できません.");
    ASSERT_TRUE(SettleRecovery());
    EXPECT_TRUE(Exists(folder + L"\\tab1.rtf"));
    prompter.savePaths.push_back(dir / L"draft.rtf");
    form->tbtnNamaeHozonClick();
    ASSERT_TRUE(SettleRecovery());
    EXPECT_FALSE(Exists(folder + L"\\tab1.rtf"));
    EXPECT_EQ(ReadBytes(folder + L"\\index.txt").find("draft"), std::string::npos);

    // Closing: No keeps the tab and its snapshot, Yes takes both.
    form->tbtnHakusiClick();
    const int second = form->CurrentSlot();
    Type(second, L"second");
    ASSERT_TRUE(SettleRecovery());
    const std::wstring snapshot = folder + L"\\tab" + ui::ToText(second) + L".rtf";
    ASSERT_TRUE(Exists(snapshot));
    prompter.answers = {IDNO};
    form->tbtnTabTojClick();
    ASSERT_TRUE(SettleRecovery());
    EXPECT_NE(form->SlotAt(second).editor, nullptr);
    EXPECT_TRUE(Exists(snapshot));
    prompter.answers = {IDYES};
    form->tbtnTabTojClick();
    ASSERT_TRUE(SettleRecovery());
    EXPECT_FALSE(Exists(snapshot));

    // A normal end leaves nothing behind.
    Type(1, L"unsaved at the end");
    ASSERT_TRUE(SettleRecovery());
    form.reset();
    EXPECT_FALSE(Exists(RecoveryRoot()));
}

TEST_F(RecoveryTest, ChangesThatGoOnAreStillKeptAtTheLongestInterval) {
    Open();
    form->UnsavedWork().SetTiming(400, 600);
    ASSERT_TRUE(SettleRecovery());
    // Typing never pauses for the 400 ms, so only the longest interval can bring a snapshot.
    bool kept = false;
    for (int i = 0; i < 200 && !kept; ++i) {
        Editor(1).ReplaceSelection(L"x", true);
        testing_support::PumpFor(40);
        const std::wstring folder = OwnFolder();
        kept = !folder.empty() && Exists(folder + L"\\tab1.rtf");
    }
    EXPECT_TRUE(kept);
}

TEST_F(RecoveryTest, TheSessionsEndWritesAtOnceAndTheNextStartGivesTheWorkBack) {
    Open();  // the usual pause: only the session's end can have written before it is over
    ASSERT_TRUE(SettleRecovery());
    // A name that looks like an escape in the index must come back as it was.
    const std::wstring a = File(L"a%09.txt", "plain");
    form->sinkitab(1, a);
    Type(2, L"edited a");
    Editor(2).Select(0, 6);
    form->tbtnBoldClick();
    form->tbtnHakusiClick();
    Type(3, L"new words");
    form->PageControl1Change();  // the active untitled tab shows its "*"
    const std::wstring caption3 = form->TabCaption(3);
    EXPECT_EQ(caption3, L"*無題");

    ::SendMessageW(form->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    const std::wstring old = OwnFolder();
    ASSERT_FALSE(old.empty());
    EXPECT_EQ(FileNames(old), (std::vector<std::wstring>{L"index.txt", L"lock", L"tab2.rtf", L"tab3.rtf"}));
    EndSession();
    EXPECT_EQ(FileNames(old), (std::vector<std::wstring>{L"index.txt", L"lock", L"tab2.rtf", L"tab3.rtf"}));

    Open();
    ASSERT_TRUE(SettleRecovery());
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.LastText(), L"前回の終了時に保存されていない文書が 2 件あります。復元しますか？");
    EXPECT_EQ(prompter.messages.back().caption, L"ピルカ２");
    EXPECT_EQ(prompter.messages.back().flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    ASSERT_EQ(form->TabCount(), 3);
    // Slot 1 is this start's own untitled tab; the work follows in new tabs, in its old order.
    EXPECT_EQ(Text(2), L"edited a");
    EXPECT_TRUE(IsBold(Editor(2), 0, 6));
    EXPECT_FALSE(IsBold(Editor(2), 7, 8));
    EXPECT_EQ(form->TabCaption(2), L"a%09");
    EXPECT_EQ(form->SlotAt(2).fileName, a);
    EXPECT_TRUE(form->SlotAt(2).hasFile);
    EXPECT_TRUE(Editor(2).Modified());
    EXPECT_EQ(Text(3), L"new words");
    EXPECT_EQ(form->TabCaption(3), L"*無題");
    EXPECT_EQ(form->SlotAt(3).fileName, L"無題");
    EXPECT_FALSE(form->SlotAt(3).hasFile);
    EXPECT_TRUE(Editor(3).Modified());
    EXPECT_EQ(form->StatusText(2), L"無題");

    // The old folder is gone; the snapshots live on in this window's folder until the tabs are saved or closed.
    EXPECT_FALSE(Exists(old));
    const std::wstring folder = OwnFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(FileNames(folder), (std::vector<std::wstring>{L"index.txt", L"lock", L"tab2.rtf", L"tab3.rtf"}));
    EXPECT_EQ(SnapshotText(folder + L"\\tab2.rtf"), L"edited a");

    // The overwrite save goes to the original file.
    ::SendMessageW(form->PageControl(), TCM_SETCURSEL, 1, 0);
    form->PageControl1Change();
    ASSERT_EQ(form->CurrentSlot(), 2);
    form->tbtnUwagakiClick();
    EXPECT_EQ(prompter.LastText(), L"*a%09\r\nを上書き保存しました。");
    EXPECT_EQ(ReadBytes(a).rfind("{\\rtf", 0), 0u);
    form->sinkitab(1, a);
    EXPECT_EQ(Text(form->CurrentSlot()), L"edited a");
    ASSERT_TRUE(SettleRecovery());
    EXPECT_EQ(FileNames(folder), (std::vector<std::wstring>{L"index.txt", L"lock", L"tab3.rtf"}));
}

TEST_F(RecoveryTest, NoThrowsTheOldWorkAway) {
    Open();
    ASSERT_TRUE(SettleRecovery());
    Type(1, L"not wanted");
    EndSession();
    ASSERT_EQ(FilesUnder(RecoveryRoot()), 3u);

    prompter.answers = {IDNO};
    Open();
    ASSERT_TRUE(SettleRecovery());
    EXPECT_EQ(prompter.LastText(), L"前回の終了時に保存されていない文書が 1 件あります。復元しますか？");
    EXPECT_EQ(form->TabCount(), 1);
    EXPECT_EQ(Text(1), L"");
    EXPECT_EQ(FilesUnder(RecoveryRoot()), 0u);
    form.reset();
    prompter.messages.clear();
    Open();
    ASSERT_TRUE(SettleRecovery());
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(RecoveryTest, ACopyThatStillRunsIsNeverTakenForOneThatEnded) {
    OpenQuick();
    Type(1, L"still being written");
    ASSERT_TRUE(SettleRecovery());
    const std::wstring first = OwnFolder();
    ASSERT_FALSE(first.empty());

    {
        app::TForm1 second(app::TForm1Options{IniPath(), {}, false});
        second.Show(SW_SHOWNOACTIVATE);
        ASSERT_TRUE(SettleRecovery(&second));
        EXPECT_TRUE(prompter.messages.empty());
        second.UnsavedWork().SetTiming(50, 10000);
        second.SlotAt(1).editor->ReplaceSelection(L"second copy", true);
        ASSERT_TRUE(SettleRecovery(&second));
        EXPECT_EQ(RecoveryFolders().size(), 2u);
    }
    // The second copy took its own folder with it and left the first one's alone.
    EXPECT_EQ(RecoveryFolders(), std::vector<std::wstring>{first});
    EXPECT_EQ(FileNames(first), (std::vector<std::wstring>{L"index.txt", L"lock", L"tab1.rtf"}));

    EndSession();
    Open();
    ASSERT_TRUE(SettleRecovery());
    EXPECT_EQ(prompter.LastText(), L"前回の終了時に保存されていない文書が 1 件あります。復元しますか？");
    ASSERT_EQ(form->TabCount(), 2);
    EXPECT_EQ(Text(2), L"still being written");
}

TEST_F(RecoveryTest, SnapshotsThatCannotBeReadAreSkipped) {
    Open();
    ASSERT_TRUE(SettleRecovery());
    Type(1, L"one");
    form->tbtnHakusiClick();
    Type(2, L"two is cut short");
    form->tbtnHakusiClick();
    Type(3, L"three");
    ::SendMessageW(form->Handle(), WM_QUERYENDSESSION, 0, 0);
    const std::wstring old = OwnFolder();
    EndSession();

    // A snapshot cut in half, an index line for a file that is not there, a line cut short, a stray folder.
    const std::string two = ReadBytes(old + L"\\tab2.rtf");
    WriteBytes(old + L"\\tab2.rtf", two.substr(0, two.size() / 2));
    std::string index = ReadBytes(old + L"\\index.txt");
    index += "7\t0\t\tghost\t2024-01-01T00:00:00Z\r\n4\t0\t\tcut";
    WriteBytes(old + L"\\index.txt", index);
    ASSERT_TRUE(::CreateDirectoryW((RecoveryRoot() + L"\\stray").c_str(), nullptr));

    Open();
    ASSERT_TRUE(SettleRecovery());
    EXPECT_EQ(prompter.LastText(), L"前回の終了時に保存されていない文書が 2 件あります。復元しますか？");
    ASSERT_EQ(form->TabCount(), 3);
    EXPECT_EQ(Text(2), L"one");
    EXPECT_EQ(Text(3), L"three");
    EXPECT_FALSE(Exists(old));
    EXPECT_FALSE(Exists(RecoveryRoot() + L"\\stray"));
}

TEST_F(RecoveryTest, WorkThatDoesNotFitBesideTheOpenTabsWaitsForTheNextStart) {
    Open();
    ASSERT_TRUE(SettleRecovery());
    Type(1, L"doc one");
    form->tbtnHakusiClick();
    Type(2, L"doc two");
    form->tbtnHakusiClick();
    Type(3, L"doc three");
    EndSession();

    Open();
    // 98 tabs are open when the offer comes: two of the three fit.
    for (int i = 0; i < 97; ++i) form->tbtnHakusiClick();
    ASSERT_TRUE(SettleRecovery());
    EXPECT_EQ(prompter.LastText(), L"前回の終了時に保存されていない文書が 3 件あります。復元しますか？");
    ASSERT_EQ(form->TabCount(), 100);
    EXPECT_EQ(Text(99), L"doc one");
    EXPECT_EQ(Text(100), L"doc two");
    form.reset();

    Open();
    ASSERT_TRUE(SettleRecovery());
    EXPECT_EQ(prompter.LastText(), L"前回の終了時に保存されていない文書が 1 件あります。復元しますか？");
    ASSERT_EQ(form->TabCount(), 2);
    EXPECT_EQ(Text(2), L"doc three");
}

TEST_F(RecoveryTest, AFolderThatCannotBeWrittenTurnsRecoveryOffWithOneLine) {
    // A file where the folder would go: nothing can be made there.
    WriteBytes(RecoveryRoot(), "in the way");
    OpenQuick();
    Type(1, L"nowhere to keep this");
    ASSERT_TRUE(SettleRecovery());
    EXPECT_FALSE(form->UnsavedWork().Enabled());
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(form->StatusText(3), L"フォルダに書き込めないため、未保存文書の復元はオフです");
    // The refresh of the other panels leaves it standing.
    ASSERT_TRUE(testing_support::PumpUntil([&] { return form->StatusText(0) == L"1 : 21"; }, 5000));
    EXPECT_EQ(form->StatusText(3), L"フォルダに書き込めないため、未保存文書の復元はオフです");
    EXPECT_EQ(form->StatusText(2), L"無題");
    EXPECT_EQ(ReadBytes(RecoveryRoot()), "in the way");
    form.reset();
    EXPECT_EQ(ReadBytes(RecoveryRoot()), "in the way");
}
