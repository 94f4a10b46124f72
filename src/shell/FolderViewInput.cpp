// The folder tree's side of the native control: its notifications, which list, select, rename and free nodes, and
// its mouse and keys, whose press tracking opens the shell's context menu or starts a shell drag.
#include <windowsx.h>

#include <cstdlib>

#include "shell/DRPCOMEX.h"
#include "shell/FolderView.h"

namespace shell {
namespace {

constexpr int kPressSlop = 4;  // pixels a pointer may stray from a press and still count as a click

}  // namespace

std::optional<LRESULT> TFolderView::OnReflected(UINT msg, WPARAM, LPARAM lp) {
    if (msg != WM_NOTIFY) return std::nullopt;
    return OnNotify(reinterpret_cast<NMHDR*>(lp));
}

std::optional<LRESULT> TFolderView::OnNotify(NMHDR* header) {
    if (header->hwndFrom != hwnd_) return std::nullopt;
    switch (header->code) {
        case TVN_ITEMEXPANDINGW: {
            const auto* info = reinterpret_cast<NMTREEVIEWW*>(header);
            if (!(info->action & TVE_EXPAND)) return 0;
            return CanExpand(info->itemNew.hItem) ? 0 : 1;
        }
        case TVN_SELCHANGEDW: {
            const auto* info = reinterpret_cast<NMTREEVIEWW*>(header);
            Change(info->itemNew.hItem, info->action);
            return 0;
        }
        case TVN_DELETEITEMW: {
            const auto* info = reinterpret_cast<NMTREEVIEWW*>(header);
            if (!destroying_) DeletionHandler(info->itemOld.hItem, info->itemOld.lParam);
            return 0;
        }
        case TVN_BEGINLABELEDITW:
            return CanEdit(reinterpret_cast<NMTVDISPINFOW*>(header)->item.hItem) ? 0 : 1;
        case TVN_ENDLABELEDITW:
            Edit(*reinterpret_cast<NMTVDISPINFOW*>(header));
            return 0;  // the node's text is already what the shell made of the name
        case TVN_GETDISPINFOW: {
            auto* info = reinterpret_cast<NMTVDISPINFOW*>(header);
            if (info->item.mask & (TVIF_IMAGE | TVIF_SELECTEDIMAGE)) GiveIcons(info->item);
            return 0;
        }
        case TVN_BEGINDRAGW:
        case TVN_BEGINRDRAGW:
            nativeDrag_ = true;
            return 0;
        case NM_RCLICK:
            if (rightClickSelect_ && rightClickNode_) SetSelected(rightClickNode_);
            // The menu comes from the mouse tracking; the parent must not open another one.
            return contextMenu_ ? 1 : 0;
        default:
            return std::nullopt;
    }
}

std::optional<LRESULT> TFolderView::OnTreeMessage(UINT msg, WPARAM wp, LPARAM lp) {
    const int x = GET_X_LPARAM(lp);
    const int y = GET_Y_LPARAM(lp);
    switch (msg) {
        case WM_LBUTTONDOWN: {
            nativeDrag_ = false;
            const LRESULT result = hook_.CallOriginal(msg, wp, lp);
            MouseDown(1, x, y);
            // The control's own tracking of the press swallowed the release unless a drag began.
            if (!nativeDrag_) MouseUp(1, x, y);
            return result;
        }
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:  // a quick second right click is a right click too
            WMRButtonDown(wp, lp);
            return 0;
        case WM_MBUTTONDOWN: {
            const LRESULT result = hook_.CallOriginal(msg, wp, lp);
            MouseDown(3, x, y);
            return result;
        }
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP: {
            const LRESULT result = hook_.CallOriginal(msg, wp, lp);
            MouseUp(msg == WM_LBUTTONUP ? 1 : msg == WM_RBUTTONUP ? 2 : 3, x, y);
            return result;
        }
        case WM_MOUSEMOVE: {
            const LRESULT result = hook_.CallOriginal(msg, wp, lp);
            MouseMove(wp, x, y);
            return result;
        }
        case WM_KEYDOWN:
            if (wp == VK_F2 && Selected()) {
                TreeView_EditLabel(hwnd_, Selected());
                return 0;
            }
            if (wp == VK_RETURN && Selected()) {
                // Opens and closes in turn; a branch never listed is read off the window's thread first.
                const HTREEITEM node = Selected();
                if (NodeHasChildren(node) && !TreeView_GetChild(hwnd_, node))
                    ReadInBackground(node, true, false);
                else if (TreeView_Expand(hwnd_, node, TVE_TOGGLE) &&
                         (TreeView_GetItemState(hwnd_, node, TVIS_EXPANDED) & TVIS_EXPANDED))
                    ReadIfStale(node);  // a branch opened once sends no notice of its opening again
                return 0;
            }
            return std::nullopt;
        case WM_TIMER:
            if (wp != kKeyRestTimer) return std::nullopt;
            KeyRested();
            return 0;
        case WM_CONTEXTMENU:
            if (lp == -1 && contextMenu_ && Selected() && Selected() != Root()) {
                // From the keyboard: the menu opens below the selected label.
                const RECT label = NodeLabelRect(Selected());
                POINT at{label.left, label.bottom};
                ::ClientToScreen(hwnd_, &at);
                ShowMenuForSelected(at);
                return 0;
            }
            return std::nullopt;
        case WM_DESTROY: {
            ReleaseAllNodes();
            const LRESULT result = hook_.CallOriginal(msg, wp, lp);
            StopReflecting(hwnd_);
            hwnd_ = nullptr;
            return result;
        }
        default:
            return std::nullopt;
    }
}

void TFolderView::WMRButtonDown(WPARAM wp, LPARAM lp) {
    TVHITTESTINFO hit{};
    hit.pt = POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    const HTREEITEM node = TreeView_HitTest(hwnd_, &hit);
    rightClickNode_ = nullptr;
    if (node && (hit.flags & (TVHT_ONITEMICON | TVHT_ONITEMLABEL))) {
        rightClickNode_ = node;
        // Exactly the node that was clicked: the same folder may be in the tree twice (under the desktop and under
        // the computer), and its path would lead to the other one.
        SetSelected(node);
    }
    nativeDrag_ = false;
    hook_.CallOriginal(WM_RBUTTONDOWN, wp, lp);  // tracks the press and swallows its release, unless it drags
    MouseDown(2, hit.pt.x, hit.pt.y);
    // A press that the control saw move away is no click, whatever the pointer does later.
    strayed_ = nativeDrag_;
}

void TFolderView::MouseDown(int button, int x, int y) {
    if (OnMouseDown) OnMouseDown(button, x, y);
    pressX_ = x;
    pressY_ = y;
    pressed_ = true;
    rightPressed_ = button == 2;
    strayed_ = false;
}

void TFolderView::MouseUp(int button, int x, int y) {
    if (OnMouseUp) OnMouseUp(button, x, y);
    ResetPress();
}

void TFolderView::MouseMove(WPARAM keys, int x, int y) {
    if (OnMouseMove) OnMouseMove(x, y);
    if (!pressed_) return;
    const bool buttonDown = (keys & (MK_LBUTTON | MK_RBUTTON)) != 0;
    const bool nearPress = std::abs(pressX_ - x) <= kPressSlop && std::abs(pressY_ - y) <= kPressSlop;
    if (!nearPress) strayed_ = true;
    const HTREEITEM selected = Selected();
    const bool movable = selected && selected != Root();
    if (!buttonDown) {
        // The buttons are up again, and the release was not seen here: the control's own tracking swallowed it, or
        // it happened over another window. Either way the press is over; only a right click that stayed where it
        // was pressed asks for the menu, at its first move.
        const bool menu = rightPressed_ && !strayed_;
        POINT screen{x, y};
        ::ClientToScreen(hwnd_, &screen);
        ResetPress();
        if (menu && contextMenu_ && movable) ShowMenuForSelected(screen);
        return;
    }
    if (!nearPress && dropSource_ && movable) {
        ResetPress();
        DragSelected();
    }
}

void TFolderView::ResetPress() noexcept {
    pressed_ = rightPressed_ = strayed_ = false;
    pressX_ = pressY_ = 0;
}

void TFolderView::ShowMenuForSelected(POINT screen) {
    const HTREEITEM selected = Selected();
    const ComPtr<IShellFolder> folder = ContainingFolder(selected);
    if (!folder || !contextMenu_) return;
    contextMenu_->ShowForItems(hwnd_, folder.Get(), NodeData(selected), 1, screen);
}

void TFolderView::DragSelected() {
    const HTREEITEM selected = Selected();
    const ComPtr<IShellFolder> folder = ContainingFolder(selected);
    if (!folder || !dropSource_) return;
    dropSource_->DragItems(hwnd_, folder.Get(), NodeData(selected), 1);
}

}  // namespace shell
