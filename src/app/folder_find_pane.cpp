#include "app/folder_find_pane.h"

#include <commctrl.h>

#include <utility>

#include "ui/text.h"
#include "ui/texts.h"

namespace app {
namespace {

// Sizes of the design, in pixels at 96 DPI.
constexpr int kCaptionHeight = 20;
constexpr int kCaptionMargin = 4;
constexpr int kCloseWidth = 20;
constexpr int kColumnWidths[] = {200, 50, 520};

constexpr int kCaptionId = 1;
constexpr int kCloseId = 2;
constexpr int kListId = 3;

enum Column { kColumnFile, kColumnLine, kColumnText };

}  // namespace

FolderFindPane::FolderFindPane(ui::Component* owner, HWND parent) : ui::Window(owner) {
    CreateOwnWindow(L"PilkaFolderFindPane", L"", WS_CHILD | WS_CLIPCHILDREN, 0, RECT{}, parent, 0,
                    reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    caption_ = ::CreateWindowExW(
        0, WC_STATICW, L"", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_CENTERIMAGE | SS_ENDELLIPSIS,
        0, 0, 0, 0, Handle(), reinterpret_cast<HMENU>(kCaptionId), instance, nullptr);
    close_ = ::CreateWindowExW(0, WC_BUTTONW, txt::kFolderFindClose, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 0, 0,
                               Handle(), reinterpret_cast<HMENU>(kCloseId), instance, nullptr);
    // Rows are given when they are drawn (owner data): a hundred thousand hits cost the list nothing to hold.
    list_ = ::CreateWindowExW(
        WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 0, 0, 0, 0,
        Handle(), reinterpret_cast<HMENU>(kListId), instance, nullptr);
    ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    const wchar_t* headers[] = {txt::kFolderFindColumnFile, txt::kFolderFindColumnLine, txt::kFolderFindColumnText};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = i == kColumnLine ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.cx = kColumnWidths[i];
        column.pszText = const_cast<wchar_t*>(headers[i]);
        ListView_InsertColumn(list_, i, &column);
    }
}

void FolderFindPane::ApplyScale(HFONT font, const ui::Scale& scale) {
    for (HWND control : {caption_, close_, list_})
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    // Columns keep the widths the user gave them, at the new scaling.
    for (int i = 0; i < 3; ++i)
        ListView_SetColumnWidth(list_, i, scale.From(ListView_GetColumnWidth(list_, i), scale_));
    scale_ = scale;
    Layout();
}

void FolderFindPane::Layout() {
    const RECT r = ui::ClientRect(Handle());
    const int caption = scale_(kCaptionHeight);
    const int margin = scale_(kCaptionMargin);
    const int close = scale_(kCloseWidth);
    ui::Place(caption_, margin, 0, r.right - close - 2 * margin, caption);
    ui::Place(close_, r.right - close - 1, 1, close, caption - 2);
    ui::Place(list_, 0, caption, r.right, r.bottom - caption);
}

void FolderFindPane::Begin(const std::wstring& folder, const std::wstring& pattern) {
    folder_ = folder;
    pattern_ = pattern;
    files_.clear();
    hits_.clear();
    status_ = {};
    cancelled_ = false;
    ListView_SetItemCountEx(list_, 0, 0);
    ShowCaption();
}

void FolderFindPane::Add(FolderSearchBatch& batch) {
    for (std::wstring& file : batch.files) files_.push_back(std::move(file));
    hits_.reserve(hits_.size() + batch.hits.size());
    for (FolderHit& hit : batch.hits) hits_.push_back(std::move(hit));
    // The rows already there stay where they are, selection and scroll included.
    ListView_SetItemCountEx(list_, static_cast<int>(hits_.size()), LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
    ShowCaption();
}

void FolderFindPane::SetStatus(const FolderSearchStatus& status) {
    status_ = status;
    ShowCaption();
}

void FolderFindPane::MarkCancelled() {
    cancelled_ = true;
    ShowCaption();
}

std::wstring FolderFindPane::Caption() const {
    std::wstring text =
        folder_find::Filled(txt::kFolderFindCaption, {pattern_, ui::ToText(static_cast<long long>(hits_.size())),
                                                      ui::ToText(static_cast<long long>(files_.size()))});
    if (cancelled_) text += txt::kFolderFindCancelled;
    if (status_.limited) text += txt::kFolderFindLimited;
    if (status_.unopened > 0) text += folder_find::Filled(txt::kFolderFindUnopened, {ui::ToText(status_.unopened)});
    return text;
}

void FolderFindPane::ShowCaption() {
    ::SetWindowTextW(caption_, Caption().c_str());
}

std::wstring FolderFindPane::FullPath(int row) const {
    const std::wstring& relative = RelativePath(row);
    if (folder_.empty()) return relative;
    return folder_.back() == L'\\' ? folder_ + relative : folder_ + L'\\' + relative;
}

std::wstring FolderFindPane::CellText(int row, int column) const {
    const FolderHit& hit = Hit(row);
    switch (column) {
        case kColumnFile:
            return RelativePath(row);
        case kColumnLine:
            return ui::ToText(hit.line + 1);
        default:
            return hit.context;
    }
}

LRESULT FolderFindPane::OnNotify(const NMHDR* header) {
    if (header->hwndFrom != list_) return 0;
    switch (header->code) {
        case LVN_GETDISPINFOW: {
            LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(header))->item;
            if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0 && item.iItem >= 0 &&
                item.iItem < RowCount())
                wcsncpy_s(item.pszText, static_cast<size_t>(item.cchTextMax),
                          CellText(item.iItem, item.iSubItem).c_str(), _TRUNCATE);
            return 0;
        }
        case NM_DBLCLK: {
            const int row = reinterpret_cast<const NMITEMACTIVATE*>(header)->iItem;
            if (row >= 0 && row < RowCount() && OnOpen) OnOpen(row);
            return 0;
        }
        case NM_RETURN: {
            const int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
            if (row >= 0 && row < RowCount() && OnOpen) OnOpen(row);
            return 0;
        }
        case LVN_KEYDOWN:
            if (reinterpret_cast<const NMLVKEYDOWN*>(header)->wVKey == VK_ESCAPE && OnClose) OnClose();
            return 0;
    }
    return 0;
}

LRESULT FolderFindPane::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_SIZE:
            Layout();
            return 0;
        case WM_NOTIFY:
            return OnNotify(reinterpret_cast<const NMHDR*>(lp));
        case WM_COMMAND:
            if (reinterpret_cast<HWND>(lp) == close_ && HIWORD(wp) == BN_CLICKED && OnClose) OnClose();
            return 0;
    }
    return Default(msg, wp, lp);
}

}  // namespace app
