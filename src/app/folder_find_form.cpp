// The main window's find in the folder's files: the command, its results pane under the tabs, and the way from a
// result to its place in a tab.
#include <algorithm>

#include "app/finder.h"
#include "app/folder_find.h"
#include "app/folder_find_pane.h"
#include "app/kurvanta_.h"
#include "ui/owned.h"
#include "ui/text.h"
#include "ui/texts.h"

namespace app {
namespace {

constexpr DWORD kHitGoneShownMs = 5000;

std::wstring FullPathOf(const std::wstring& path) {
    const std::wstring longForm = ui::LongPathForm(path);
    const DWORD n = ::GetFullPathNameW(longForm.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    full.resize(::GetFullPathNameW(longForm.c_str(), n, full.data(), nullptr));
    return full;
}

// The volume and file index of a file, when it can be reached.
bool IdentityOf(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    const ui::UniqueHandle file = ui::OwnFileHandle(
        ::CreateFileW(ui::LongPathForm(path).c_str(), FILE_READ_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
    return file && ::GetFileInformationByHandle(file.get(), &info);
}

// Two paths of one file, as the file system tells them apart: letter case aside, or two names of the same file
// (a short name, another spelling of the folder).
bool SameFile(const std::wstring& a, const std::wstring& b) {
    const std::wstring fullA = FullPathOf(a), fullB = FullPathOf(b);
    if (::CompareStringOrdinal(fullA.c_str(), static_cast<int>(fullA.size()), fullB.c_str(),
                               static_cast<int>(fullB.size()), TRUE) == CSTR_EQUAL)
        return true;
    // A file system that gives no file index (some network redirectors answer 0) tells nothing by it.
    BY_HANDLE_FILE_INFORMATION infoA{}, infoB{};
    return IdentityOf(a, infoA) && IdentityOf(b, infoB) && (infoA.nFileIndexHigh | infoA.nFileIndexLow) != 0 &&
           infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber && infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
           infoA.nFileIndexLow == infoB.nFileIndexLow;
}

}  // namespace

void TForm1::CreateFindPane() {
    splitter3_ = std::make_unique<Splitter>(this, paneRight_->Handle(), Splitter::Orientation::Horizontal);
    splitter3_->PaneAfter = true;
    splitter3_->GetPaneSize = [this] { return findPaneHeight_; };
    splitter3_->SetPaneSize = [this](int h) {
        findPaneHeight_ = h;
        LayoutPaneRight();
    };
    splitter3_->OnMoved = [this] { SplitterFindMoved(); };
    findPane_ = std::make_unique<FolderFindPane>(this, paneRight_->Handle());
    findPane_->OnOpen = [this](int row) { OpenFindResult(row); };
    findPane_->OnClose = [this] { CloseFindPane(); };
    folderSearch_ = std::make_unique<FolderSearch>();
    folderSearch_->OnBatch = [this](FolderSearchBatch& batch) { findPane_->Add(batch); };
    folderSearch_->OnStatus = [this](const FolderSearchStatus& status) {
        findPane_->SetStatus(status);
        if (status.finished) {
            ClearStatusMessage();
        } else {
            ShowStatusMessage(folder_find::Filled(txt::kFolderFindProgress,
                                                  {ui::ToText(status.filesDone), ui::ToText(status.filesTotal)}));
        }
    };
    ::ShowWindow(splitter3_->Handle(), SW_HIDE);
}

bool TForm1::FindPaneVisible() const {
    return findPaneShown_;
}

void TForm1::tbtnFolderFindClick() {
    const std::wstring pattern = FindText();
    if (pattern.empty()) return;
    const std::wstring folder = SelectedFolderPath();
    if (folder.empty()) return;  // a folder without a path (the computer, the desktop's virtual folders)
    findPane_->Begin(folder, pattern);
    if (!findPaneShown_) {
        findPaneShown_ = true;
        LayoutPaneRight();
    }
    ShowStatusMessage(folder_find::Filled(txt::kFolderFindProgress, {L"0", L"0"}));
    folderSearch_->Start(FolderSearchRequest{folder, pattern, fontDefaults_});
}

void TForm1::CloseFindPane() {
    if (folderSearch_->Running()) {
        folderSearch_->Cancel();
        findPane_->MarkCancelled();
        ClearStatusMessage();
    }
    if (!findPaneShown_) return;
    const bool hadFocus = ::IsChild(findPane_->Handle(), ::GetFocus());
    findPaneShown_ = false;
    LayoutPaneRight();
    if (ui::RichEdit* editor = CurrentEditor(); editor && hadFocus) ::SetFocus(editor->Handle());
}

int TForm1::SlotOfFile(const std::wstring& path) const {
    for (int n = 1; n <= kSlotCount; ++n) {
        const Slot& s = slots_[static_cast<size_t>(n)];
        if (s.occupied() && s.editor && s.hasFile && SameFile(s.fileName, path)) return n;
    }
    return 0;
}

void TForm1::OpenFindResult(int row) {
    if (row < 0 || row >= findPane_->RowCount()) return;
    const FolderHit hit = findPane_->Hit(row);
    const std::wstring path = findPane_->FullPath(row);
    const std::wstring pattern = findPane_->Pattern();
    int slot = SlotOfFile(path);
    if (slot != 0) {
        ShowPage(slot);
        PageControl1Change();
    } else {
        // As a double-click in the file list opens a file: in a new tab, or not at all when no tab is free.
        const int free = LowestFreeSlot();
        sinkitab(1, path);
        const Slot& opened = slots_[static_cast<size_t>(free)];
        if (free == 0 || current_ != free || !opened.editor || !opened.hasFile) return;
        slot = free;
    }
    ui::RichEdit& editor = *slots_[static_cast<size_t>(slot)].editor;
    // The hit is where the search found it only while the text there is still one of the hits.
    const std::vector<long> now = findPositions(editor.Text(), pattern);
    if (!std::binary_search(now.begin(), now.end(), hit.position)) {
        ShowStatusMessage(txt::kFolderFindHitGone, kHitGoneShownMs);
        ::SetFocus(editor.Handle());
        return;
    }
    const bool modified = editor.Modified();
    editor.Select(hit.position, hit.position + static_cast<long>(pattern.size()));
    editor.SetModified(modified);
    ::SetFocus(editor.Handle());
}

}  // namespace app
