// The main window's documents: the tab control and its slots, opening into a new or a reused tab, closing, moving
// tabs with the mouse, files dropped on the window, and saving.
#include "app/kurvanta_.h"

#include <shellapi.h>
#include <windowsx.h>

#include <cmath>

#include "app/document_io.h"
#include "app/documents_on_disk.h"
#include "app/recovery.h"
#include "ui/error.h"
#include "ui/prompt.h"
#include "ui/text.h"
#include "ui/texts.h"

namespace app {
namespace {

constexpr long kEditorTextLimit = 11000000;

}  // namespace

int TForm1::TabCount() const {
    return static_cast<int>(::SendMessageW(pageControl_, TCM_GETITEMCOUNT, 0, 0));
}

int TForm1::SlotAtTab(int position) const {
    TCITEMW item{};
    item.mask = TCIF_PARAM;
    if (!::SendMessageW(pageControl_, TCM_GETITEMW, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(&item)))
        return 0;
    return static_cast<int>(item.lParam);
}

int TForm1::PositionOfSlot(int slot) const {
    const int n = TabCount();
    for (int i = 0; i < n; ++i)
        if (SlotAtTab(i) == slot) return i;
    return -1;
}

int TForm1::ActiveTabSlot() const {
    const auto position = ::SendMessageW(pageControl_, TCM_GETCURSEL, 0, 0);
    return position < 0 ? 0 : SlotAtTab(static_cast<int>(position));
}

std::wstring TForm1::TabCaption(int slot) const {
    return slots_[static_cast<size_t>(slot)].caption;
}

RECT TForm1::TabRect(int position) const {
    RECT r{};
    ::SendMessageW(pageControl_, TCM_GETITEMRECT, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(&r));
    return r;
}

int TForm1::LowestFreeSlot() const {
    for (int n = 1; n <= kSlotCount; ++n)
        if (!slots_[static_cast<size_t>(n)].occupied()) return n;
    return 0;
}

void TForm1::SetCaption(int slot, const std::wstring& caption) {
    Slot& s = slots_[static_cast<size_t>(slot)];
    s.caption = caption;
    const int position = PositionOfSlot(slot);
    if (position < 0) return;
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = s.caption.data();
    ::SendMessageW(pageControl_, TCM_SETITEMW, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(&item));
}

// Makes the slot's page the one on show (no change event, as when a page is activated from code).
void TForm1::ShowPage(int slot) {
    const int position = PositionOfSlot(slot);
    if (position >= 0) ::SendMessageW(pageControl_, TCM_SETCURSEL, static_cast<WPARAM>(position), 0);
    for (int n = 1; n <= kSlotCount; ++n) {
        const Slot& s = slots_[static_cast<size_t>(n)];
        if (s.page) ::ShowWindow(s.page->Handle(), n == slot ? SW_SHOW : SW_HIDE);
    }
}

void TForm1::SetUpEditor(int slot) {
    Slot& s = slots_[static_cast<size_t>(slot)];
    ui::RichEdit& editor = *s.editor;
    editor.SetTextLimit(kEditorTextLimit);
    editor.SetFont(fontDefaults_.charset, fontDefaults_.name, fontDefaults_.size);
    s.fontName = fontDefaults_.name;
    s.fontSize = fontDefaults_.size;
    editor.SetDefaultFormat(fontDefaults_.charset, fontDefaults_.name, fontDefaults_.size);
    editor.SetText(L"");
    recovery_->Replaced(slot);  // what the slot held before is gone, and so is its snapshot
    documents_->Forget(slot);
}

void TForm1::ReadInto(int slot, const std::wstring& path) {
    Slot& s = slots_[static_cast<size_t>(slot)];
    // A failed read leaves an untitled, empty document: never a name an overwrite save would write over.
    s.fileName = txt::kUntitled;
    s.hasFile = false;
    SetCaption(slot, txt::kUntitled);
    // Taken before the read: a change made while it reads shows at the next look.
    const FileStamp stamp = StampOf(path);
    try {
        const ui::BusyCursor busy;
        readDocument(*s.editor, path, ProgressReporter(txt::kLoading));
    } catch (...) {
        s.editor->SetText(L"");
        s.editor->SetModified(false);
        SetStatus(2, s.fileName);
        throw;
    }
    s.fileName = path;
    s.hasFile = true;
    documents_->Took(slot, stamp);
    SetCaption(slot, ui::NameWithoutExtension(path));
    s.editor->SetModified(false);
}

void TForm1::WriteSlot(int slot, const std::wstring& path) {
    Slot& s = slots_[static_cast<size_t>(slot)];
    try {
        const ui::BusyCursor busy;
        writeDocument(*s.editor, path, ProgressReporter(txt::kSaving));
    } catch (...) {
        SetStatus(2, s.fileName);  // the progress goes, the name stays
        throw;
    }
}

void TForm1::AfterOpen() {
    recovery_->Replaced(current_);  // reading the file was no change of the user's
    SetButtonDown(kBtnWrap, false);
    if (ui::RichEdit* editor = CurrentEditor()) {
        editor->SetWordWrap(false);
        editor->SetModified(false);
        ::ShowWindow(editor->Handle(), SW_SHOW);
    }
    SetStatus(2, slots_[static_cast<size_t>(current_)].fileName);
    timer1_->SetEnabled(true);
}

void TForm1::sinkitab(int mode, const std::wstring& path) {
    const int n = LowestFreeSlot();
    if (n == 0) return;
    Slot& s = slots_[static_cast<size_t>(n)];
    s.page = std::make_unique<ui::Panel>(this, pageControl_);
    s.pageName = L"TabSheet" + ui::ToText(n);
    s.caption = txt::kUntitled;
    TCITEMW item{};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = s.caption.data();
    item.lParam = n;
    ::SendMessageW(pageControl_, TCM_INSERTITEMW, static_cast<WPARAM>(TabCount()), reinterpret_cast<LPARAM>(&item));
    current_ = n;
    s.editor = std::make_unique<ui::RichEdit>();
    s.editor->Create(s.page->Handle(), 1000 + static_cast<UINT_PTR>(n), RECT{});
    recovery_->Watch(n, s.editor->Handle());
    ZoomEditor(*s.editor);
    LayoutPages();
    ShowPage(n);
    SetUpEditor(n);
    s.fileName = txt::kUntitled;
    s.hasFile = false;
    if (mode == 1) {
        if (!ui::RunCommand(Handle(), [&] { ReadInto(n, path); })) return;
    } else {
        SetCaption(n, txt::kUntitled);
    }
    AfterOpen();
}

void TForm1::kizontab(int mode, const std::wstring& path) {
    const int i = LowestFreeSlot();
    if (i == 0) return;
    const int k = i - 1;
    // With no slot below the lowest free one there is nothing to reuse: a new tab serves instead.
    if (k == 0) {
        sinkitab(mode, path);
        return;
    }
    // Reusing a tab must not throw away unsaved work without asking.
    if (!henkoOK(k)) return;
    Slot& s = slots_[static_cast<size_t>(k)];
    s.pageName = L"TabSheet" + ui::ToText(k);
    current_ = k;
    ShowPage(k);
    SetUpEditor(k);
    if (mode == 1) {
        if (!ui::RunCommand(Handle(), [&] { ReadInto(k, path); })) return;
        ui::RichEdit& editor = *s.editor;
        editor.BeginUpdate();
        editor.SelectAll();
        CHARFORMAT2W f = ui::MakeCharFormat(CFM_FACE | CFM_SIZE);
        wcsncpy_s(f.szFaceName, fontDefaults_.name.c_str(), _TRUNCATE);
        f.yHeight = fontDefaults_.size * 20;
        editor.SetSelectionFormat(f);
        editor.Select(0, 0);
        editor.SetFont(editor.FontCharset(), fontDefaults_.name, fontDefaults_.size);
        s.fontName = fontDefaults_.name;
        s.fontSize = fontDefaults_.size;
        editor.SetModified(false);
        editor.EndUpdate();
    } else {
        s.fileName = txt::kUntitled;
        s.hasFile = false;
        SetCaption(k, txt::kUntitled);
    }
    AfterOpen();
}

bool TForm1::mihoAri() const {
    for (int n = 1; n <= kSlotCount; ++n) {
        const Slot& s = slots_[static_cast<size_t>(n)];
        if (s.page && s.editor && s.editor->Modified()) return true;
    }
    return false;
}

bool TForm1::henkoOK(int slot) {
    Slot& s = slots_[static_cast<size_t>(slot)];
    if (!s.editor || !s.editor->Modified()) return true;
    return ui::Ask(Handle(), s.fileName + L"\r\n" + txt::kCloseUnsaved, MB_YESNO | MB_ICONWARNING) == IDYES;
}

void TForm1::DropTab(int slot) {
    const int position = PositionOfSlot(slot);
    ::SendMessageW(pageControl_, TCM_DELETEITEM, static_cast<WPARAM>(position), 0);
    Slot& s = slots_[static_cast<size_t>(slot)];
    documents_->Forget(slot);
    s.editor.reset();
    s.page.reset();
    const int count = TabCount();
    if (count > 0) {
        // The next tab to the right takes over, or the first when the closed one was the last.
        const int next = position < count ? position : 0;
        ShowPage(SlotAtTab(next));
    }
    const int shown = ActiveTabSlot();
    current_ = shown;
    if (shown != 0) {
        const Slot& now = slots_[static_cast<size_t>(shown)];
        SetStatus(2, now.fileName);
        SetButtonDown(kBtnWrap, now.editor && now.editor->WordWrap());
        documents_->TabShown(shown);
    }
}

void TForm1::tbtnTabTojClick() {
    timer1_->SetEnabled(false);
    const int slot = ActiveTabSlot();
    if (slot != 0 && henkoOK(slot)) {
        recovery_->Closing(slot);
        DropTab(slot);
    }
    timer1_->SetEnabled(true);
}

int TForm1::OpenRecovered(const std::string& rtf, bool hasFile, const std::wstring& path, const std::wstring& caption,
                          const FileStamp& stamp) {
    const int n = LowestFreeSlot();
    if (n == 0) return 0;
    sinkitab(0, L"dmy");
    Slot& s = slots_[static_cast<size_t>(n)];
    if (!s.editor) return 0;
    // As for a file read: the limit is there to take documents in, never to cut them.
    s.editor->SetTextLimit(kLoadedTextLimit);
    if (!s.editor->StreamInRtf(rtf)) {
        recovery_->Closing(n);
        DropTab(n);
        return 0;
    }
    s.editor->Select(0, 0);
    s.fileName = hasFile ? path : std::wstring(txt::kUntitled);
    s.hasFile = hasFile;
    s.stamp = hasFile ? stamp : FileStamp{};
    SetCaption(n, caption);
    SetStatus(2, s.fileName);
    s.editor->SetModified(true);
    return n;
}

void TForm1::PageControl1Change() {
    const int slot = ActiveTabSlot();
    if (slot == 0) return;
    ShowPage(slot);
    current_ = slot;
    documents_->TabShown(slot);
    Slot& s = slots_[static_cast<size_t>(slot)];
    SetStatus(2, documents_->StatusText(slot));
    if (s.editor) {
        std::wstring caption = s.caption;
        if (s.editor->Modified() && (caption.empty() || caption.front() != L'*')) caption = L"*" + caption;
        SetCaption(slot, caption);
        SetStatus(2, documents_->StatusText(slot));
        SetButtonDown(kBtnWrap, s.editor->WordWrap());
    }
}

void TForm1::PageControl1MouseDown(int button, int x, int y) {
    if (button == 1) {
        tabPressed_ = true;
        tabDragging_ = false;
        tabPressPoint_ = {x, y};
        return;
    }
    const int count = TabCount();
    for (int i = 0; i < count; ++i) {
        const RECT r = TabRect(i);
        if (::PtInRect(&r, POINT{x, y})) {
            ShowPage(SlotAtTab(i));
            PageControl1Change();
            break;
        }
    }
}

void TForm1::PageControl1DragDrop(int x, int y) {
    const int active = static_cast<int>(::SendMessageW(pageControl_, TCM_GETCURSEL, 0, 0));
    if (active < 0) return;
    const int count = TabCount();
    for (int i = 0; i < count; ++i) {
        const RECT r = TabRect(i);
        if (!::PtInRect(&r, POINT{x, y})) continue;
        if (i != active) {
            const int slot = SlotAtTab(active);
            Slot& s = slots_[static_cast<size_t>(slot)];
            ::SendMessageW(pageControl_, TCM_DELETEITEM, static_cast<WPARAM>(active), 0);
            TCITEMW item{};
            item.mask = TCIF_TEXT | TCIF_PARAM;
            item.pszText = s.caption.data();
            item.lParam = slot;
            ::SendMessageW(pageControl_, TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
            ShowPage(slot);
        }
        return;
    }
}

bool TForm1::TabControlMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    const int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
    switch (msg) {
        case WM_LBUTTONDOWN:
            PageControl1MouseDown(1, x, y);
            return false;  // the control still activates the clicked tab
        case WM_RBUTTONDOWN:
            PageControl1MouseDown(2, x, y);
            result = 0;
            return true;
        case WM_MBUTTONDOWN:
            PageControl1MouseDown(3, x, y);
            result = 0;
            return true;
        case WM_CONTEXTMENU:
            // Passed on with the window that was clicked (this control or an editor on one of its pages).
            result = ::SendMessageW(::GetParent(pageControl_), msg, wp, lp);
            return true;
        case WM_COMMAND:
            // The editors' notifications, passed on from their pages.
            result = ::SendMessageW(::GetParent(pageControl_), msg, wp, lp);
            return true;
        case WM_MOUSEMOVE:
            if (tabPressed_ && !tabDragging_ && (wp & MK_LBUTTON)) {
                if (std::abs(x - tabPressPoint_.x) >= ::GetSystemMetrics(SM_CXDRAG) ||
                    std::abs(y - tabPressPoint_.y) >= ::GetSystemMetrics(SM_CYDRAG)) {
                    tabDragging_ = true;
                    ::SetCapture(pageControl_);
                }
            }
            if (tabDragging_) ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
            return false;
        case WM_LBUTTONUP:
            if (tabDragging_) {
                ::ReleaseCapture();
                RECT client = ui::ClientRect(pageControl_);
                if (::PtInRect(&client, POINT{x, y})) PageControl1DragDrop(x, y);
            }
            tabPressed_ = false;
            tabDragging_ = false;
            return false;
    }
    return false;
}

void TForm1::DropFiles(HDROP drop) {
    std::wstring path;
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    if (count > 0) {
        // The whole path, however long: a fixed buffer would cut a deep path into another file's name.
        path.resize(::DragQueryFileW(drop, 0, nullptr, 0) + 1);
        path.resize(::DragQueryFileW(drop, 0, path.data(), static_cast<UINT>(path.size())));
    }
    ::DragFinish(drop);
    if (path.empty()) return;
    // A folder is a place to go, not a document: the tree shows it and no tab opens to fail on it.
    const DWORD attributes = ::GetFileAttributesW(ui::LongPathForm(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        shellTreeView1_->SelectNearestPath(path);
        return;
    }
    shellTreeView1_->SelectNearestPath(ui::DirectoryOf(path));
    sinkitab(1, path);
}

// ---------------------------------------------------------------------------------------------------------------
// Load and save.

void TForm1::tbtnUwagakiClick() {
    if (current_ == 0) return;
    Slot& s = slots_[static_cast<size_t>(current_)];
    if (!s.hasFile) {
        tbtnNamaeHozonClick();
        return;
    }
    const int slot = current_;
    if (!documents_->MayOverwrite(slot)) return;
    ui::RunCommand(Handle(), [&] {
        WriteSlot(slot, s.fileName);
        documents_->Took(slot, StampOf(s.fileName));  // our own write: never another program's change
        SetStatus(2, s.fileName);
        s.editor->SetModified(false);
        recovery_->Replaced(slot);  // saved: nothing left to give back
        ui::Ask(Handle(), TabCaption(slot) + L"\r\n" + txt::kOverwritten, MB_OK | MB_ICONINFORMATION);
    });
}

void TForm1::tbtnNamaeHozonClick() {
    if (current_ == 0) return;
    const int slot = current_;
    Slot& s = slots_[static_cast<size_t>(slot)];
    ui::SaveDialogOptions options{txt::kSaveFilter, 1, txt::kSaveDefaultExt};
    const auto path = ui::CurrentPrompter().SaveFile(Handle(), options);
    if (!path) return;
    ui::RunCommand(Handle(), [&] {
        WriteSlot(slot, *path);
        documents_->Took(slot, StampOf(*path));
        s.fileName = *path;
        s.hasFile = true;
        SetCaption(slot, ui::NameWithoutExtension(*path));
        SetStatus(2, *path);
        s.editor->SetModified(false);
        recovery_->Replaced(slot);
    });
}

}  // namespace app
