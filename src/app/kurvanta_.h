// The main window: tool bars, folder panel, document tabs and status bar.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/file_stamp.h"
#include "app/splitter.h"
#include "dialogs/controls.h"
#include "dialogs/editor_access.h"
#include "monitor/DirMontr.h"
#include "shell/DRPCOMEX.h"
#include "shell/FileView.h"
#include "shell/FolderView.h"
#include "ui/owned.h"
#include "ui/dpi.h"
#include "ui/rich_edit.h"
#include "ui/window.h"

namespace app {

constexpr int kSlotCount = 100;
class Recovery;
class DocumentsOnDisk;
class FolderFindPane;
class FolderSearch;

// One document: a tab page with its editor.
struct Slot {
    std::unique_ptr<ui::Panel> page;       // empty when the slot is free
    std::unique_ptr<ui::RichEdit> editor;  // its window lives on the page
    std::wstring pageName;
    std::wstring caption;
    std::wstring fileName;
    bool hasFile = false;
    FileStamp stamp;        // the file as the tab last read or saved it
    std::wstring fontName;  // editor font defaults when the editor was set up
    int fontSize = 0;
    bool occupied() const noexcept { return page != nullptr; }
};

// Tool button command identifiers.
enum ButtonId : int {
    kBtnPaneHyoj = 101,
    kBtnHakusi,
    kBtnUwagaki,
    kBtnNamaeHozon,
    kBtnTabToj,
    kBtnKensak,
    kBtnTikan,
    kBtnBold,
    kBtnItalic,
    kBtnUnder,
    kBtnStrike,
    kBtnWrap,
    kBtnFont,
    kBtnColor,
    kBtnUndo,
    kBtnCut,
    kBtnCopy,
    kBtnPaste,
    kBtnAllSelect,
    kBtnHelp2,
    kBtnOne2,
    kBtnTomei,
    kBtnFolderFind,
    kCmdActUagaki = 201,
    kCmdTabClose,  // N2 of PopupMenu2
    kCmdPopModos,
    kCmdPopCopy,
    kCmdPopPast,
    kCmdPopKirit,
    kCmdPopSakjo,
    kCmdPopZense,
};

// The hint of a tool button or edit box, nullptr for none.
const wchar_t* ToolHint(int id);

// A tool bar dragged off the control bar, floating in a tool window of its own until that window is closed.
class FloatingToolBar : public ui::Window {
public:
    // margin: pixels between the window's edge and the tool bar.
    FloatingToolBar(ui::Component* owner, HWND form, HWND bar, POINT at, int margin);
    HWND Bar() const noexcept { return bar_; }
    // Sizes the window to the tool bar, after the tool bar's size changed.
    void Fit(int margin);
    std::function<void()> OnClose;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    SIZE WindowSize(int margin) const;
    HWND form_;
    HWND bar_;  // the main window's tool bar, lent to this window while it floats
};

struct TForm1Options {
    std::wstring iniPath;                 // empty: data.ini beside the executable
    std::vector<std::wstring> arguments;  // the command line, one entry per argument
    bool quitOnClose = true;              // the program's main window ends the message loop when destroyed
};

class TForm1 : public ui::Window, public dialogs::EditorAccess {
public:
    explicit TForm1(TForm1Options options);
    ~TForm1() override;

    // Shows the window; the first showing reads data.ini and opens the first tab.
    void Show(int showCommand = SW_SHOWNORMAL);
    // Handles the window's keyboard shortcuts (Ctrl+S); true when the message was used.
    bool PreTranslate(MSG& msg);
    bool Failed() const noexcept { return failed_; }

    // dialogs::EditorAccess
    ui::RichEdit* CurrentEditor() override;
    dialogs::EditorFontDefaults& FontDefaults() override { return fontDefaults_; }

    // Documents and tabs.
    void sinkitab(int mode, const std::wstring& path);
    void kizontab(int mode, const std::wstring& path);
    bool mihoAri() const;
    bool henkoOK(int slot);
    void tbtnHakusiClick() { sinkitab(0, L"dmy"); }
    void tbtnTabTojClick();
    void N2Click() { tbtnTabTojClick(); }
    void PageControl1Change();
    void PageControl1MouseDown(int button, int x, int y);
    void PageControl1DragDrop(int x, int y);

    // A file dropped from the desktop shell opens in a new tab; only the first of several is taken.
    void DropFiles(HDROP drop);

    // Unsaved work kept for the next start (recovery.h).
    Recovery& UnsavedWork() noexcept { return *recovery_; }
    // A document given back from a snapshot, in a new tab with its old caption and file, marked modified; the slot,
    // or 0 when no tab is free or the control could not read it.
    // A tab with a file takes the stamp its file had when it was last read or saved.
    int OpenRecovered(const std::string& rtf, bool hasFile, const std::wstring& path, const std::wstring& caption,
                      const FileStamp& stamp = {});
    // What the tabs know of their files on disk, and the looks that follow them (documents_on_disk.h).
    DocumentsOnDisk& OnDisk() noexcept { return *documents_; }
    // A notice that stays at the right end of the status bar; an empty text takes it away.
    void ShowStatusNotice(const std::wstring& text);

    // Tool bars float when dragged off the control bar and dock again when their window is closed.
    void FloatToolBar(HWND bar, POINT at);
    void DockToolBar(HWND bar);
    bool ToolBarFloating(HWND bar) const;
    HWND FloatingWindowOf(HWND bar) const { return bar ? ::GetParent(bar) : nullptr; }

    // The folder panel (folder_panel.cpp): folder tree, file list, folder history and the monitor that keeps them
    // current.
    void ShellTreeView1Change();
    void combotuika(HWND combo, const std::wstring& path);
    void cbFolRirekiDropDown();
    void cbFolRirekiChange();
    void DirMonitor1Change();
    void allfolderClia();
    void ShellListView1Click();
    void ShellListView1DblClick();
    void ShellListView1MouseDown(int button, int x, int y);
    void ShellListView1MouseUp(int button, int x, int y);
    void ShellListView1MouseMove(int x, int y);
    shell::TFolderView& ShellTreeView1() noexcept { return *shellTreeView1_; }
    shell::TFileView& ShellListView1() noexcept { return *shellListView1_; }
    shell::TContextMenuEx& ContextMenuEx1() noexcept { return *contextMenuEx1_; }
    monitor::TDirMonitor& DirMonitor1() noexcept { return *dirMonitor1_; }
    HWND cbFolRireki() const noexcept { return cbFolRireki_; }
    std::wstring HintOfControl(HWND control) const { return panelHints_.TextOf(control); }
    std::vector<std::wstring> FolderHistory() const;
    // The path of the folder the panel shows; empty when none, or one without a file-system path.
    std::wstring SelectedFolderPath() const;

    // Find in the folder's files (folder_find_form.cpp): the shown folder and its sub-folders searched for the text
    // of edFind, the hits listed in a pane under the tabs, and a hit opened in its tab.
    void tbtnFolderFindClick();
    void OpenFindResult(int row);
    void CloseFindPane();
    bool FindPaneVisible() const;
    int FindPaneHeight() const noexcept { return findPaneHeight_; }
    FolderFindPane& FindPane() noexcept { return *findPane_; }
    FolderSearch& FolderFinder() noexcept { return *folderSearch_; }
    Splitter& SplitterFind() { return *splitter3_; }

    // A message in status bar panel 2 in place of the file name: the refresh keeps it there until it is cleared,
    // or for the given time.
    void ShowStatusMessage(const std::wstring& text, DWORD milliseconds = INFINITE);
    void ClearStatusMessage();

    // Load and save.
    void tbtnUwagakiClick();
    void ActUagakiExecute() { tbtnUwagakiClick(); }
    void tbtnNamaeHozonClick();

    // Window, panes, status bar.
    void Timer1Timer();
    void toumei(int alpha, COLORREF colour);
    void tbtnTomeiClick();
    void tbtnPaneHyojClick();
    void Splitter1Moved();
    void Splitter2Moved();
    void SplitterFindMoved();
    bool FormCloseQuery();
    void FormClose();
    // The system asks whether the session may end: yes when every unsaved tab is kept for the next start, otherwise
    // as the close asks.
    bool FormQueryEndSession();

    // Formatting and editing.
    void ToggleStyle(DWORD effect);
    void tbtnBoldClick() { ToggleStyle(CFE_BOLD); }
    void tbtnItalicClick() { ToggleStyle(CFE_ITALIC); }
    void tbtnUnderClick() { ToggleStyle(CFE_UNDERLINE); }
    void tbtnStrikeClick() { ToggleStyle(CFE_STRIKEOUT); }
    void tbtnWRapOnOffClick();
    void tbtnUndoClick();
    void tbtnCutClick();
    void tbtnCopyClick();
    void tbtnPasteClick();
    void tbtnAllSelectClick();
    void popKiritClick();
    void popSakjoClick();
    // The font, colour and help windows are shown through these, set by whoever created them.
    std::function<void()> OnShowFontDialog;
    std::function<void()> OnShowColorDialog;
    std::function<void()> OnShowHelp;
    std::function<void(int button)> OnKensakPress;
    std::function<void()> OnTikanClick;

    // State, for the commands of other windows and for tests.
    int CurrentSlot() const noexcept { return current_; }
    Slot& SlotAt(int n) { return slots_[static_cast<size_t>(n)]; }
    const Slot& SlotAt(int n) const { return slots_[static_cast<size_t>(n)]; }
    int TabCount() const;
    int SlotAtTab(int position) const;  // 0 when there is no such tab
    int ActiveTabSlot() const;          // the slot whose page is on show, 0 when none
    std::wstring TabCaption(int slot) const;
    std::wstring StatusText(int panel) const;
    bool ButtonDown(int id) const;
    void SetButtonDown(int id, bool down);
    int Alpha() const noexcept { return alpha_; }
    const std::wstring& StartFolder() const noexcept { return startFolder_; }
    std::wstring FindText() const;
    std::wstring TikanText() const;
    void SetFindText(const std::wstring& text);
    void SetTikanText(const std::wstring& text);
    bool PaneLeftVisible() const;
    int PaneLeftWidth() const noexcept { return paneLeftWidth_; }
    int PaneLeftUpHeight() const noexcept { return paneLeftUpHeight_; }
    Splitter& Splitter1() { return *splitter1_; }
    Splitter& Splitter2() { return *splitter2_; }
    HWND PageControl() const noexcept { return pageControl_; }
    HWND ToolBar1() const noexcept { return toolBar1_; }
    HWND ToolBar2() const noexcept { return toolBar2_; }
    HWND FindBox() const noexcept { return edFind_; }
    HWND StatusBar() const noexcept { return statusBar_; }
    HWND Panel1() const noexcept { return panel1_->Handle(); }
    HFONT UiFont() const noexcept { return uiFont_.get(); }

    // The screen scaling the window is laid out for: the DPI of its monitor. Every size of the window's design
    // (pixels at 96 DPI) goes through it, those of panels placed in the window included; ApplyScale sets them all
    // again when the window moves to a monitor with another DPI.
    const ui::Scale& Scaling() const noexcept { return scale_; }
    static constexpr int kUiFontHeight = -12;  // "ＭＳ Ｐゴシック", 12 pixels high
    static constexpr int kTreeIndent = 19;
    static constexpr int kFindPaneHeight = 160;  // the find pane's height when data.ini has none
    bool TimerEnabled() const { return timer1_->Enabled(); }
    RECT TabRect(int position) const;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void FormCreate();
    void FormShow();
    void CreateToolBars();
    HWND CreateToolBar(const std::vector<TBBUTTON>& buttons);
    void AddBand(HWND bar);
    void CreatePanes();
    void CreateFolderPanel();
    void CreateFindPane();
    int SlotOfFile(const std::wstring& path) const;
    bool StatusMessageShown();
    void LayoutFileList();
    void SelectStartFolder(const std::wstring& folder);
    void FolderPanelFirstShow();
    bool PanelRenaming() const;
    void CreateMenus();
    REBARBANDINFOW BandFor(HWND bar) const;
    void LayoutForm();
    void LayoutPaneMain();
    void LayoutPaneLeft();
    void LayoutPaneLeftUp();
    void LayoutPaneRight();
    void LayoutPages();
    void ApplyScale();
    void Rescale(UINT dpi);
    void ScaleToolBar(HWND bar, HIMAGELIST images);
    void PlaceEditBoxes();
    void ZoomEditor(ui::RichEdit& editor) const;
    void OnCommand(int id);
    LRESULT OnNotify(NMHDR* header);
    void OnContextMenu(HWND source, int x, int y);
    void EditorChanged(HWND editor);

    int LowestFreeSlot() const;
    int PositionOfSlot(int slot) const;
    void ShowPage(int slot);
    void SetCaption(int slot, const std::wstring& caption);
    void SetUpEditor(int slot);
    void ReadInto(int slot, const std::wstring& path);
    void WriteSlot(int slot, const std::wstring& path);
    void AfterOpen();
    void DropTab(int slot);
    void LayoutStatusNotice();
    void SetStatus(int panel, const std::wstring& text);
    ui::StreamProgress ProgressReporter(const wchar_t* label);
    bool TabControlMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

    TForm1Options options_;
    std::wstring iniPath_;
    bool failed_ = false;
    bool shown_ = false;
    ui::Scale scale_;
    bool placing_ = false;  // the first showing places the window where data.ini says, in screen pixels

    ui::UniqueModule user32_;
    using SetLayeredFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
    SetLayeredFn setLayered_ = nullptr;
    COLORREF transparentColour_ = 0xFFFFFF;
    int alpha_ = 255;
    DWORD layeredFlags_ = 2;
    ui::UniqueBrush background_;

    ui::UniqueFont uiFont_;
    ui::UniqueImageList images_;
    ui::UniqueMenu popupMenu1_;
    ui::UniqueMenu popupMenu2_;
    ui::UniqueAccel accelerators_;

    HWND rebar_ = nullptr;  // ControlBar1; every HWND below is destroyed with this window
    HWND toolBar1_ = nullptr;
    HWND toolBar2_ = nullptr;
    HWND edFind_ = nullptr;
    HWND edTikan_ = nullptr;
    HWND statusBar_ = nullptr;
    HWND pageControl_ = nullptr;
    HWND cbFolRireki_ = nullptr;
    std::unique_ptr<ui::Panel> paneMain_;
    std::unique_ptr<ui::Panel> paneLeft_;
    std::unique_ptr<ui::Panel> paneLeftUp_;
    std::unique_ptr<ui::Panel> panel1_;
    std::unique_ptr<ui::Panel> paneLeftDown_;
    std::unique_ptr<ui::Panel> paneRight_;
    std::unique_ptr<Splitter> splitter1_;
    std::unique_ptr<Splitter> splitter2_;
    std::unique_ptr<Splitter> splitter3_;  // above the find pane
    std::unique_ptr<FolderFindPane> findPane_;
    std::unique_ptr<FolderSearch> folderSearch_;  // after the pane: it goes first, and with it what it would deliver
    std::unique_ptr<ui::Timer> timer1_;
    // The folder panel's components; their windows live in the panes above.
    std::unique_ptr<shell::TContextMenuEx> contextMenuEx1_;
    std::unique_ptr<shell::TFileView> shellListView1_;
    std::unique_ptr<shell::TFolderView> shellTreeView1_;
    std::unique_ptr<monitor::TDirMonitor> dirMonitor1_;
    std::unique_ptr<ui::Timer> rebuildRetry_;
    dialogs::HintWindow panelHints_;
    ui::Subclass pageControlHook_;
    ui::Subclass toolBar1Hook_;
    std::array<std::unique_ptr<FloatingToolBar>, 2> floating_;
    std::vector<std::unique_ptr<FloatingToolBar>> retired_;  // docked again, destroyed at the next message
    static constexpr UINT kMsgFloatBar = WM_APP + 1;
    static constexpr UINT kMsgDropFloating = WM_APP + 2;
    static constexpr UINT kMsgKensakPress = WM_APP + 3;  // wParam: the mouse button pressed on tbtnKensak

    int paneLeftWidth_ = 180;
    int paneLeftUpHeight_ = 200;
    bool paneLeftShown_ = true;
    int findPaneHeight_ = kFindPaneHeight;
    bool findPaneShown_ = false;  // hidden until the first search
    std::wstring statusMessage_;
    ULONGLONG statusMessageUntil_ = 0;  // 0: until cleared
    dialogs::EditorFontDefaults fontDefaults_;
    std::wstring startFolder_;
    std::array<Slot, kSlotCount + 1> slots_;  // index 0 unused: slots are numbered from 1
    int current_ = 0;
    std::unique_ptr<Recovery> recovery_;
    std::unique_ptr<DocumentsOnDisk> documents_;
    std::wstring statusNotice_;

    // A tab being dragged to a new position.
    bool tabPressed_ = false;
    bool tabDragging_ = false;
    POINT tabPressPoint_{};

    // The right-press record of the file list.
    bool rightPressed_ = false;
    POINT rightPress_{};
};

}  // namespace app
