// A bar between two panes that the user drags to resize the pane before it, or the one after it.
#pragma once
#include <functional>

#include "ui/window.h"

namespace app {

class Splitter : public ui::Window {
public:
    enum class Orientation { Vertical, Horizontal };  // a vertical bar resizes a width, a horizontal one a height
    Splitter(ui::Component* owner, HWND parent, Orientation orientation);

    int MinSize = 10;
    // The pane resized is the one after the bar (below it, or to its right): dragging towards it makes it smaller.
    bool PaneAfter = false;
    // Reads and writes the size of the pane the bar resizes.
    std::function<int()> GetPaneSize;
    std::function<void(int)> SetPaneSize;
    // After a drag ends.
    std::function<void()> OnMoved;

    // Left edge (vertical) or top edge (horizontal) within the parent.
    int Position() const;
    // A drag by delta pixels from the current size, as the mouse does it.
    void DragBy(int delta);

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    Orientation orientation_;
    bool dragging_ = false;
    POINT start_{};
    int startSize_ = 0;
};

}  // namespace app
