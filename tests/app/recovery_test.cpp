// Unsaved work kept beside data.ini while the window runs, and offered back at the next start after an end that was
// not clean. The session's end stands in for a crash here: it leaves the files as a killed process does (the
// process tests kill the real program).
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <functional>
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

// The stand-ins: a disk whose writes a test scripts, and a Recycle Bin that is a folder of the test's. A script
// is told which file is written and writes what it lets through with Put.
std::function<bool(HANDLE file, const std::wstring& name, std::string_view bytes, DWORD* written)> scriptedWrite;
bool Put(HANDLE file, std::string_view bytes, DWORD* written) {
    return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), written, nullptr) != FALSE;
}
bool ScriptedChunkWriter(HANDLE file, const char* data, DWORD size, DWORD* written) {
    wchar_t name[MAX_PATH * 2]{};
    ::GetFinalPathNameByHandleW(file, name, MAX_PATH * 2, 0);
    if (scriptedWrite) return scriptedWrite(file, name, std::string_view(data, size), written);
    return Put(file, std::string_view(data, size), written);
}
std::wstring binFolder;
bool BinStandIn(const std::vector<std::wstring>& paths) {
    std::error_code ec;
    for (const std::wstring& p : paths)
        std::filesystem::rename(p, std::filesystem::path(binFolder) / std::filesystem::path(p).filename(), ec);
    return !ec;
}

bool IsBold(ui::RichEdit& editor, long start, long end) {
    editor.Select(start, end);
    const CHARFORMAT2W f = editor.SelectionFormat();
    return (f.dwMask & CFM_BOLD) && (f.dwEffects & CFE_BOLD);
}

}  // namespace

class RecoveryTest : public MainWindowTest {
protected:
    RecoveryTest() {
        binFolder = dir / L"bin";
        std::filesystem::create_directories(binFolder);
    }
    ~RecoveryTest() override {
        form.reset();
        scriptedWrite = nullptr;
    }
    app::recovery::ScopedRecycler bin{BinStandIn};
    app::recovery::ScopedChunkWriter disk{ScriptedChunkWriter};

    // Retries and waits short enough for a test.
    void QuickRetries(DWORD waitsMs = 5000) {
        app::Recovery::Timing timing;
        timing.pauseMs = 50;
        timing.longestMs = 10000;
        timing.retryMs = {50, 100};
        timing.sessionWaitMs = waitsMs;
        timing.exitWaitMs = waitsMs;
        form->UnsavedWork().SetTiming(timing);
    }

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

TEST_F(RecoveryTest, NoPutsTheOldWorkInTheRecycleBin) {
    Open();
    ASSERT_TRUE(SettleRecovery());
    Type(1, L"not wanted");
    EndSession();
    ASSERT_EQ(FilesUnder(RecoveryRoot()), 3u);
    const std::wstring old = RecoveryFolders().front();

    prompter.answers = {IDNO};
    Open();
    ASSERT_TRUE(SettleRecovery());
    EXPECT_EQ(prompter.LastText(), L"前回の終了時に保存されていない文書が 1 件あります。復元しますか？");
    EXPECT_EQ(prompter.messages.back().flags & MB_DEFMASK, static_cast<UINT>(MB_DEFBUTTON1)) << "Yes is the default";
    EXPECT_EQ(form->TabCount(), 1);
    EXPECT_EQ(Text(1), L"");
    EXPECT_EQ(FilesUnder(RecoveryRoot()), 0u);
    // The whole folder is one item in the bin, and can be taken back from there.
    const std::wstring binned = binFolder + L"\\" + std::filesystem::path(old).filename().wstring();
    EXPECT_EQ(FileNames(binned), (std::vector<std::wstring>{L"index.txt", L"tab1.rtf"}));
    EXPECT_EQ(SnapshotText(binned + L"\\tab1.rtf"), L"not wanted");
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
    EXPECT_FALSE(Exists(RecoveryRoot() + L"\\stray"));
    // What could not be read stays where it was, and is offered to nobody.
    EXPECT_EQ(ReadBytes(old + L"\\tab2.rtf"), two.substr(0, two.size() / 2));
    form.reset();
    prompter.messages.clear();
    Open();
    ASSERT_TRUE(SettleRecovery());
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_TRUE(Exists(old + L"\\tab2.rtf"));
}

TEST_F(RecoveryTest, WhatCannotBeReadAtStartIsLeftAloneAndAPowerCutsTemporaryFileIsTaken) {
    Open();
    ASSERT_TRUE(SettleRecovery());
    Type(1, L"one");
    form->tbtnHakusiClick();
    Type(2, L"two");
    EndSession();
    const std::wstring old = OwnFolder();
    const std::string index = ReadBytes(old + L"\\index.txt");

    // An index held open by another program (a backup client), then one of another version of the program.
    {
        const HANDLE held = ::CreateFileW((old + L"\\index.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        Open();
        ASSERT_TRUE(SettleRecovery());
        form.reset();
        ::CloseHandle(held);
    }
    WriteBytes(old + L"\\index.txt", "pilka2 recovery 9\r\n" + index.substr(index.find('\n') + 1));
    Open();
    ASSERT_TRUE(SettleRecovery());
    form.reset();
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(FileNames(old), (std::vector<std::wstring>{L"index.txt", L"lock", L"tab1.rtf", L"tab2.rtf"}));

    // A move cut by a power cut where replacing is not one step: the old file went, the new one is whole.
    WriteBytes(old + L"\\index.txt", index);
    ASSERT_TRUE(::MoveFileW((old + L"\\tab2.rtf").c_str(), (old + L"\\tab2.rtf.tmp").c_str()));
    // And one the control refuses: it is kept, never offered again.
    WriteBytes(old + L"\\tab1.rtf", "{not rich text at all}");
    Open();
    ASSERT_TRUE(SettleRecovery());
    EXPECT_EQ(prompter.LastText(), L"前回の終了時に保存されていない文書が 2 件あります。復元しますか？");
    ASSERT_EQ(form->TabCount(), 2);
    EXPECT_EQ(Text(2), L"two");
    EXPECT_EQ(FileNames(old), (std::vector<std::wstring>{L"index.txt", L"lock", L"tab1.rtf"}));
    form.reset();
    prompter.messages.clear();
    Open();
    ASSERT_TRUE(SettleRecovery());
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(ReadBytes(old + L"\\tab1.rtf"), "{not rich text at all}");
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
    // Nothing holds the work, so the session's end asks as the close does.
    prompter.answers = {IDNO};
    EXPECT_EQ(::SendMessageW(form->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 0);
    EXPECT_EQ(prompter.LastText(), L"未保存テキストがありますが\r\n保存せずに終了しますか？");
    form.reset();
    EXPECT_EQ(ReadBytes(RecoveryRoot()), "in the way");
}

TEST_F(RecoveryTest, AnOfferNobodyAnswersLeavesTheWorkForTheNextStart) {
    Open();
    ASSERT_TRUE(SettleRecovery());
    Type(1, L"only copy");
    EndSession();
    const std::wstring old = RecoveryFolders().front();
    const auto files = FileNames(old);

    // Closed before the look for old work came back: its offer finds the window gone.
    Open();
    ::SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(SettleRecovery());
    EXPECT_TRUE(prompter.messages.empty());
    form.reset();
    EXPECT_EQ(FileNames(old), files);

    // A box that fails (the pending end of the message loop) is no answer either.
    prompter.answers = {0};
    Open();
    ASSERT_TRUE(SettleRecovery());
    ASSERT_EQ(prompter.messages.size(), 1u);
    form.reset();
    EXPECT_EQ(FileNames(old), files);

    Open();
    ASSERT_TRUE(SettleRecovery());
    ASSERT_EQ(form->TabCount(), 2);
    EXPECT_EQ(Text(2), L"only copy");
}

TEST_F(RecoveryTest, TheSessionEndsWithoutAQuestionOnlyWhileEveryUnsavedTabIsKept) {
    const auto endSession = [&] {
        DWORD_PTR answer = 99;
        ::SendMessageTimeoutW(form->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 30000, &answer);
        return answer;
    };
    OpenQuick();
    QuickRetries(300);
    Type(1, L"kept");
    ASSERT_TRUE(SettleRecovery());
    EXPECT_EQ(endSession(), 1u);
    EXPECT_TRUE(prompter.messages.empty());

    // A write that has not come back when the system's wait is over: the close's question, and No holds the end.
    const ui::UniqueHandle gate(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    scriptedWrite = [&](HANDLE file, const std::wstring&, std::string_view bytes, DWORD* written) {
        ::WaitForSingleObject(gate.get(), 20000);
        return Put(file, bytes, written);
    };
    Type(1, L"still on its way");
    prompter.answers = {IDNO};
    EXPECT_EQ(endSession(), 0u);
    EXPECT_EQ(prompter.LastText(), L"未保存テキストがありますが\r\n保存せずに終了しますか？");
    EXPECT_EQ(prompter.messages.back().flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    prompter.answers = {IDYES};
    EXPECT_EQ(endSession(), 1u);
    ::SetEvent(gate.get());
    scriptedWrite = nullptr;
    ASSERT_TRUE(SettleRecovery());
    prompter.messages.clear();
    EXPECT_EQ(endSession(), 1u);
    EXPECT_TRUE(prompter.messages.empty());

    // An installer that needs the program closed while the session goes on: it ends without a question, and the
    // work stays for the next start as at a log-off.
    Type(1, L" and closed for an update");
    ASSERT_TRUE(SettleRecovery());
    const HWND window = form->Handle();
    DWORD_PTR answer = 99;
    ::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_NORMAL, 30000, &answer);
    EXPECT_EQ(answer, 1u);
    const std::wstring own = OwnFolder();
    ::SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_TRUE(prompter.messages.empty());
    form.reset();
    EXPECT_NE(ReadBytes(own + L"\\tab1.rtf").find("closed for an update"), std::string::npos);
}

TEST_F(RecoveryTest, AFailedWriteIsTriedAgainAndNeverCutsTheLastSnapshot) {
    OpenQuick();
    QuickRetries();
    Type(1, L"first whole snapshot");
    ASSERT_TRUE(SettleRecovery());
    const std::wstring snapshot = OwnFolder() + L"\\tab1.rtf";
    const std::string before = ReadBytes(snapshot);

    // The next snapshot: the disk takes half of it, then the job runs out of memory; the next attempt finds the
    // file held by another program; nobody types meanwhile.
    std::atomic<int> attempts{0};
    scriptedWrite = [&](HANDLE file, const std::wstring& name, std::string_view bytes, DWORD* written) -> bool {
        if (name.find(L"tab1.rtf") == std::wstring::npos || attempts >= 3) return Put(file, bytes, written);
        const int attempt = ++attempts;
        if (attempt == 2) throw std::bad_alloc();
        return attempt == 1 && Put(file, bytes.substr(0, bytes.size() / 2), written);
    };
    Type(1, L"second snapshot");
    ASSERT_TRUE(testing_support::PumpUntil([&] { return form->UnsavedWork().Failing(); }, 5000));
    EXPECT_EQ(form->StatusText(3), L"フォルダに書き込めないため、未保存文書の復元はオフです");
    EXPECT_EQ(ReadBytes(snapshot), before) << "the last snapshot stays whole";
    ASSERT_TRUE(SettleRecovery());
    EXPECT_GE(attempts.load(), 3);
    EXPECT_TRUE(form->UnsavedWork().Enabled());
    EXPECT_FALSE(form->UnsavedWork().Failing());
    EXPECT_EQ(form->StatusText(3), L"");
    EXPECT_EQ(SnapshotText(snapshot), L"second snapshot");
}

TEST_F(RecoveryTest, ATabHasOneSnapshotWaitingAtMostAndANormalEndRemovesItsFolderPastAHangingWrite) {
    OpenQuick();
    QuickRetries(300);
    ASSERT_TRUE(SettleRecovery());
    const ui::UniqueHandle gate(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<int> tabWrites{0};
    scriptedWrite = [&](HANDLE file, const std::wstring& name, std::string_view bytes, DWORD* written) {
        if (name.find(L"tab1.rtf") != std::wstring::npos && tabWrites++ == 0)
            ::WaitForSingleObject(gate.get(), 20000);  // a disk that does not answer for a while
        return Put(file, bytes, written);
    };
    Type(1, L"draft 1");
    ASSERT_TRUE(testing_support::PumpUntil([&] { return tabWrites == 1; }, 5000));
    for (int i = 2; i <= 6; ++i) {
        Type(1, L"draft " + ui::ToText(i));
        testing_support::PumpFor(150);  // a snapshot each time, while the first still hangs
    }
    testing_support::PumpFor(1000);  // the last one too, however slow the control's stream-out was
    ::SetEvent(gate.get());
    ASSERT_TRUE(SettleRecovery());
    EXPECT_EQ(tabWrites.load(), 2) << "the hanging one, then only the newest";
    EXPECT_EQ(SnapshotText(OwnFolder() + L"\\tab1.rtf"), L"draft 6");

    // The end of the program while a write hangs: the folder goes all the same, and nothing is offered later.
    ::ResetEvent(gate.get());
    tabWrites = 0;
    Type(1, L"thrown away at the end");
    ASSERT_TRUE(testing_support::PumpUntil([&] { return tabWrites == 1; }, 5000));
    form.reset();
    for (const std::wstring& folder : RecoveryFolders()) EXPECT_FALSE(Exists(folder + L"\\index.txt"));
    ::SetEvent(gate.get());
    ::Sleep(300);
    scriptedWrite = nullptr;
    Open();
    ASSERT_TRUE(SettleRecovery());
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(RecoveryTest, OnlyTheUsersOwnWorkIsOfferedAndTheIndexCarriesNamesAndStampsExactly) {
    // Another account's crashed session beside ours: its folder ends with its SID.
    const std::wstring other = RecoveryRoot() + L"\\1a-0000000000000001-S-1-5-21-1-2-3-1001";
    std::filesystem::create_directories(other);
    WriteBytes(other + L"\\index.txt", "pilka2 recovery 2\r\n1\t0\t\t*無題\t2024-01-01T00:00:00Z\t\t\r\n");
    WriteBytes(other + L"\\tab1.rtf", "{\\rtf1 someone else's}");
    WriteBytes(other + L"\\lock", "");

    const std::wstring a = File(L"a.txt", "plain");
    Open({a});
    form->UnsavedWork().SetTiming(50, 10000);
    ASSERT_TRUE(SettleRecovery());
    EXPECT_TRUE(prompter.messages.empty());
    const app::FileStamp stamp = form->SlotAt(1).stamp;
    ASSERT_TRUE(stamp.known);
    Type(1, L"edited");
    EndSession();

    Open();
    ASSERT_TRUE(SettleRecovery());
    EXPECT_EQ(prompter.LastText(), L"前回の終了時に保存されていない文書が 1 件あります。復元しますか？");
    ASSERT_EQ(form->TabCount(), 2);
    EXPECT_EQ(Text(2), L"edited");
    EXPECT_EQ(form->SlotAt(2).stamp.known, stamp.known);
    EXPECT_EQ(form->SlotAt(2).stamp.size, stamp.size);
    EXPECT_EQ(form->SlotAt(2).stamp.lastWrite, stamp.lastWrite);
    EXPECT_EQ(FileNames(other), (std::vector<std::wstring>{L"index.txt", L"lock", L"tab1.rtf"}));
    // Another program wrote the file since the snapshot: the first overwrite save asks, and No leaves it alone.
    WriteBytes(a, "written by another program");
    ASSERT_EQ(form->CurrentSlot(), 2);
    prompter.answers = {IDNO, IDNO};
    form->tbtnUwagakiClick();
    EXPECT_EQ(prompter.LastText(), L"ファイル " + a + L" は他のプログラムで変更されています。\r\n上書きしますか？");
    EXPECT_EQ(ReadBytes(a), "written by another program");

    // NTFS names may hold a surrogate without its pair; every field comes back unit for unit.
    app::recovery::Entry e;
    e.slot = 3;
    e.hasFile = true;
    e.path = std::wstring(L"C:\\x") + wchar_t(0xD800) + L"%u0041\t" + wchar_t(0xDC01) + L"\U0001F600.txt";
    e.caption = L"100%\r\n";
    e.time = L"2024-05-01T12:34:56Z";
    e.stamp = {true, 133000000000000001ull, 12345, 0};
    const auto parsed = app::recovery::ParseIndex(app::recovery::IndexText({e}));
    ASSERT_TRUE(parsed && parsed->size() == 1);
    EXPECT_EQ(parsed->front().path, e.path);
    EXPECT_EQ(parsed->front().caption, e.caption);
    EXPECT_TRUE(parsed->front().stamp.known);
    EXPECT_EQ(parsed->front().stamp.lastWrite, e.stamp.lastWrite);
    EXPECT_EQ(parsed->front().stamp.size, e.stamp.size);
}

TEST_F(RecoveryTest, ACrashInTheMiddleOfARestoreLeavesEachDocumentInOneIndex) {
    Open();
    ASSERT_TRUE(SettleRecovery());
    Type(1, L"doc one");
    form->tbtnHakusiClick();
    Type(2, L"doc two");
    EndSession();
    const std::wstring old = RecoveryFolders().front();

    // The copy of the second document hangs on its way into the new folder: the process is killed there.
    const ui::UniqueHandle gate(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> hanging{false};
    scriptedWrite = [&](HANDLE file, const std::wstring& name, std::string_view bytes, DWORD* written) {
        if (name.find(L"tab3.rtf") != std::wstring::npos) {
            hanging = true;
            ::WaitForSingleObject(gate.get(), 20000);
        }
        return Put(file, bytes, written);
    };
    Open();
    ASSERT_TRUE(testing_support::PumpUntil([&] { return hanging.load(); }, 10000));
    std::wstring fresh;
    for (const std::wstring& f : RecoveryFolders())
        if (f != old) fresh = f;
    const std::string freshIndex = ReadBytes(fresh + L"\\index.txt");
    const std::string oldIndex = ReadBytes(old + L"\\index.txt");
    EXPECT_NE(freshIndex.find("\n2\t"), std::string::npos);
    EXPECT_EQ(freshIndex.find("\n3\t"), std::string::npos) << "the copy not yet written is not listed";
    EXPECT_EQ(oldIndex.find("\n1\t"), std::string::npos) << "the copy written is no longer listed in the old one";
    EXPECT_NE(oldIndex.find("\n2\t"), std::string::npos);
    ::SetEvent(gate.get());
    ASSERT_TRUE(SettleRecovery());
    EXPECT_FALSE(Exists(old));
}
