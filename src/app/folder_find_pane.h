// The results pane of the find in the folder's files: a caption line with the search text and the counts, a close
// button, and a report list of the hits (file, line, the line's text).
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/folder_find.h"
#include "ui/dpi.h"
#include "ui/window.h"

namespace app {

class FolderFindPane : public ui::Window {
public:
    FolderFindPane(ui::Component* owner, HWND parent);

    // A new search: no rows, and a caption that names the text.
    void Begin(const std::wstring& folder, const std::wstring& pattern);
    void Add(FolderSearchBatch& batch);
    void SetStatus(const FolderSearchStatus& status);
    // The search was cancelled before its end: the caption says so.
    void MarkCancelled();
    // The font of the window's other controls and the screen's scaling (sizes of the design are at 96 DPI).
    void ApplyScale(HFONT font, const ui::Scale& scale);

    int RowCount() const noexcept { return static_cast<int>(hits_.size()); }
    const FolderHit& Hit(int row) const { return hits_[static_cast<size_t>(row)]; }
    // The path of a row's file: relative to the searched folder, or whole.
    const std::wstring& RelativePath(int row) const { return files_[Hit(row).file]; }
    std::wstring FullPath(int row) const;
    const std::wstring& Pattern() const noexcept { return pattern_; }
    std::wstring Caption() const;

    HWND List() const noexcept { return list_; }
    HWND CloseButton() const noexcept { return close_; }

    // A row chosen by a double-click or Enter.
    std::function<void(int row)> OnOpen;
    // Esc in the list or the close button.
    std::function<void()> OnClose;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Layout();
    void ShowCaption();
    LRESULT OnNotify(const NMHDR* header);
    std::wstring CellText(int row, int column) const;

    HWND caption_ = nullptr;  // these three are destroyed with the pane's window
    HWND close_ = nullptr;
    HWND list_ = nullptr;
    ui::Scale scale_;
    std::wstring folder_;
    std::wstring pattern_;
    std::vector<std::wstring> files_;  // relative paths of the files with hits
    std::vector<FolderHit> hits_;
    FolderSearchStatus status_;
    bool cancelled_ = false;
};

}  // namespace app
