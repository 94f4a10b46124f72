// What the dialogs need of the main window: the current document's editor and the editor font defaults.
#pragma once
#include <windows.h>

#include <string>

#include "ui/rich_edit.h"
#include "ui/texts.h"

namespace dialogs {

// Charset, name and size in points that every new editor is given; stored in data.ini.
struct EditorFontDefaults {
    BYTE charset = SHIFTJIS_CHARSET;
    std::wstring name = txt::kDefaultEditorFont;
    int size = 11;
};

class EditorAccess {
public:
    virtual ~EditorAccess() = default;
    // The editor of the current slot, or nullptr when no tab is open.
    virtual ui::RichEdit* CurrentEditor() = 0;
    virtual EditorFontDefaults& FontDefaults() = 0;
};

}  // namespace dialogs
