// The shell's context menu and the shell drag of panel items. Both work on sibling items of one shell folder, given
// as a sibling item list that stays the caller's; every list, menu and interface a call obtains is released before
// it returns. Counts outside 1 to 1024 are refused with the same notice.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "shell/ShView.h"
#include "ui/component.h"

namespace shell {

// The most items one menu or one drag takes.
inline constexpr int kMaxSelectedItems = 1024;

// Shows the notice that a selection holds more items than a command takes (or none).
void ShowItemCountNotice(HWND owner);

// The commands that run on one item without a menu; the value is the kind's number.
enum class CommandKind : int { CreateShortcut = 0, Delete = 1, Properties = 2, Cut = 3, Copy = 4, Paste = 5 };

class TContextMenuEx : public ui::Component {
public:
    explicit TContextMenuEx(ui::Component* owner = nullptr) : ui::Component(owner) {}

    // The paths ShowForFileNames works on; setting copies them.
    const std::vector<std::wstring>& CMFileName() const noexcept { return fileNames_; }
    void SetCMFileName(const std::vector<std::wstring>& names) { fileNames_ = names; }

    // Shows the shell's menu of `count` sibling items of the folder at a screen point and runs the chosen command.
    // True only when a shell command ran successfully.
    virtual bool ShowForItems(HWND window, IShellFolder* folder, const ITEMIDLIST* items, int count, POINT screen);
    // The menu of one path at (x, y) in the window's client coordinates.
    bool ShowForFile(HWND window, const std::wstring& path, int x, int y);
    // The menu of the paths in CMFileName, which must all lie in the folder of the first, at client (x, y).
    bool ShowForFileNames(HWND window, int x, int y);
    // Runs one command on a one-item list relative to the folder without showing a menu; the point is not used.
    bool InvokeItemCommand(HWND window, IShellFolder* folder, CommandKind kind, POINT point, const ITEMIDLIST* item);

    // The 1-based position of the first top-level item, neither a separator nor greyed nor disabled, whose text holds
    // `text` first at byte `position` (1-based) of its code page 932 form; -1 when there is none.
    static int FindMenuItem(HMENU menu, const std::wstring& text, int position);

    // Replaces the shell's Send To submenu of `menu` by the entries of the user's Send To folder (identifiers
    // kFirstSendToId + i). True when the folder was read to its end with fewer than kMaxSendToEntries entries.
    bool FillSendToMenu(HMENU menu, HWND window);
    // Hands the items to a Send To entry as the shell does: the entry's drop target receives them as a drop. The
    // clipboard is not touched. True when the target took the drop.
    static bool SendToEntry(HWND window, IDataObject* items, IShellFolder* sendTo, const ITEMIDLIST* entry);

    static constexpr UINT kFirstShellId = 1;
    static constexpr UINT kLastShellId = 0x7FFF;
    static constexpr UINT kFirstSendToId = 1525;
    static constexpr int kMaxSendToEntries = 100;

protected:
    // Seams: the modal menu (the chosen identifier, 0 when dismissed) and the user's Send To folder, bound.
    virtual UINT TrackMenu(HMENU menu, HWND window, POINT screen);
    virtual ComPtr<IShellFolder> OpenSendToFolder(HWND window);

private:
    struct SendToFill {
        bool ready = false;       // read to its end with room to spare
        HMENU submenu = nullptr;  // the Send To submenu once it holds the folder's entries
        // The entries as they were when the menu was filled: a choice goes to the entry the user saw, whatever
        // the folder holds by then.
        ComPtr<IShellFolder> folder;
        std::vector<UniqueIdList> entries;
    };
    SendToFill FillSendTo(HMENU menu, HWND window);

    std::vector<std::wstring> fileNames_;
};

// The drop source of one drag: the drag goes on while the left or right button is held, Escape cancels it, and the
// system's cursors show the effect.
class TDropSourceObject final : public IDropSource {
public:
    static ComPtr<IDropSource> Create();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override;

private:
    TDropSourceObject() = default;
    ~TDropSourceObject() = default;
    LONG references_ = 0;
};

class TDropSourceEx : public ui::Component {
public:
    explicit TDropSourceEx(ui::Component* owner = nullptr) : ui::Component(owner) {}

    // Kept for the owner's use; the drag reads nothing from it.
    const std::vector<std::wstring>& DSFileName() const noexcept { return fileNames_; }
    void SetDSFileName(const std::vector<std::wstring>& names) { fileNames_ = names; }

    // Drags `count` sibling items of the folder with the shell's data object, offering copy, move and link; returns
    // when the drag has ended.
    virtual void DragItems(HWND window, IShellFolder* folder, const ITEMIDLIST* items, int count);

protected:
    // Seam: the system's modal drag loop.
    virtual HRESULT RunDrag(IDataObject* data, IDropSource* source, DWORD allowed, DWORD* effect);

private:
    std::vector<std::wstring> fileNames_;
};

}  // namespace shell
