#include "dialogs/FontNameComboBox.h"

#include <commctrl.h>
#include <winspool.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <optional>

#include "dialogs/controls.h"

namespace dialogs {
namespace {

constexpr int kDropDownCount = 8;
constexpr int kIconTextOffset = 20;
constexpr int kPlainTextOffset = 2;

std::wstring DefaultPrinterName() {
    DWORD size = 0;
    ::GetDefaultPrinterW(nullptr, &size);
    if (size == 0) return {};
    std::wstring name(size, L'\0');
    if (!::GetDefaultPrinterW(name.data(), &size)) return {};
    name.resize(std::wcslen(name.c_str()));
    return name;
}

bool ContainsName(const std::vector<std::wstring>& names, std::wstring_view name) {
    return std::any_of(names.begin(), names.end(), [&](const std::wstring& n) { return SameFontName(n, name); });
}

HBITMAP ChooseIcon(const FontEntry& item, TFontNameFilters collect, TFontIconPriority priority) {
    const TFontNameFilters kinds = FontFilterSet(item);
    const bool trueType = kinds.Has(fnfTrueType) && collect.Has(fnfTrueType);
    const bool printer = kinds.Has(fnfPrinter) && collect.Has(fnfPrinter);
    const FontModule& module = ModuleFonts();
    HBITMAP trueTypeIcon = trueType ? module.trueTypeIcon.get() : nullptr;
    HBITMAP printerIcon = printer ? module.deviceTypeIcon.get() : nullptr;
    if (priority == fipTrueType) return trueTypeIcon ? trueTypeIcon : printerIcon;
    return printerIcon ? printerIcon : trueTypeIcon;
}

}  // namespace

int CompareFontNames(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                            static_cast<int>(b.size())) -
           CSTR_EQUAL;
}

bool SameFontName(std::wstring_view a, std::wstring_view b) {
    return CompareFontNames(a, b) == 0;
}

int CALLBACK FontEnumProc(const LOGFONTW* logFont, const TEXTMETRICW* metric, DWORD fontType, LPARAM list) {
    auto& fonts = *reinterpret_cast<FontList*>(list);
    const std::wstring name(logFont->lfFaceName, ::wcsnlen(logFont->lfFaceName, LF_FACESIZE));
    // The enumeration reports a face once per charset, one report after the other: the first report stands.
    if (!fonts.empty() && SameFontName(fonts.back().name, name)) return 1;
    DWORD flags = (fontType & kFontTypeBits) | (static_cast<DWORD>(metric->tmCharSet) << 16);
    if (!(metric->tmPitchAndFamily & TMPF_FIXED_PITCH)) flags |= kFixedPitchFont;
    if ((metric->tmPitchAndFamily & TMPF_VECTOR) && fontType == 0) flags |= kVectorFont;
    fonts.push_back({name, flags});
    return 1;
}

void SortFontList(FontList& list) {
    std::stable_sort(list.begin(), list.end(),
                     [](const FontEntry& a, const FontEntry& b) { return CompareFontNames(a.name, b.name) < 0; });
}

FontList EnumerateFonts(HDC dc) {
    FontList list;
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;  // with no face name: every face under every charset
    ::EnumFontFamiliesExW(dc, &query, FontEnumProc, reinterpret_cast<LPARAM>(&list), 0);
    SortFontList(list);
    return list;
}

void MergePrinterFonts(FontList& screen, FontList printer) {
    SortFontList(printer);
    for (const FontEntry& p : printer) {
        auto it = std::lower_bound(screen.begin(), screen.end(), p.name, [](const FontEntry& e, const std::wstring& n) {
            return CompareFontNames(e.name, n) < 0;
        });
        if (it != screen.end() && SameFontName(it->name, p.name)) {
            // The screen's charset stays: or-ing two charsets would name a third one.
            it->flags |= (p.flags & ~kCharsetBits) | kOnPrinterFont;
        } else {
            screen.insert(it, {p.name, p.flags | kOnPrinterFont | kPrinterOnlyFont});
        }
    }
}

FontModule BuildFontList() {
    FontModule module;
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    module.trueTypeIcon.reset(::LoadBitmapW(instance, L"TrueTypeIcon"));
    module.deviceTypeIcon.reset(::LoadBitmapW(instance, L"DeviceTypeIcon"));
    {
        ui::UniqueDc screen(::CreateCompatibleDC(nullptr));
        module.fonts = EnumerateFonts(screen.get());
    }
    const std::wstring printer = DefaultPrinterName();
    if (!printer.empty()) {
        ui::UniqueDc info(::CreateICW(L"WINSPOOL", printer.c_str(), nullptr, nullptr));
        if (info) MergePrinterFonts(module.fonts, EnumerateFonts(info.get()));
    }
    return module;
}

const FontModule& ModuleFonts() {
    static const FontModule module = BuildFontList();  // the module's one font list, freed at module end
    return module;
}

TFontNameFilters FontFilterSet(const FontEntry& entry) {
    TFontNameFilters kinds;
    const DWORD type = entry.flags & kFontTypeBits;
    if (type & DEVICE_FONTTYPE) kinds.Include(fnfDevice);
    if (entry.flags & kVectorFont) kinds.Include(fnfVector);
    if (type & RASTER_FONTTYPE) kinds.Include(fnfRaster);
    if (type & TRUETYPE_FONTTYPE) kinds.Include(fnfTrueType);
    if (entry.flags & kOnPrinterFont) kinds.Include(fnfPrinter);
    const DWORD charset = (entry.flags & kCharsetBits) >> 16;
    if (charset == SYMBOL_CHARSET) kinds.Include(fnfSymbolFont);
    if (charset == SHIFTJIS_CHARSET) kinds.Include(fnfJapanese);
    if (entry.flags & kFixedPitchFont) kinds.Include(fnfFixedPitch);
    if (!entry.name.empty() && entry.name.front() == L'@') kinds.Include(fnfLyingFont);
    return kinds;
}

TFontNameFilters FontFilterSet(const FontList& list, int index) {
    if (index < 0 || index >= static_cast<int>(list.size())) return {};
    return FontFilterSet(list[static_cast<size_t>(index)]);
}

bool IsPrinterOnly(const FontList& list, int index) {
    if (index < 0 || index >= static_cast<int>(list.size())) return false;
    return (list[static_cast<size_t>(index)].flags & kPrinterOnlyFont) != 0;
}

void FillFontItems(FontList& dest, const FontList& source, const std::vector<std::wstring>& visible,
                   const std::vector<std::wstring>& invisible, TFontNameFilters collect, TFontNameFilters exclusive) {
    dest.clear();
    const std::uint16_t collected = collect.Bits();
    for (const FontEntry& entry : source) {
        if (!visible.empty() && ContainsName(visible, entry.name)) {
            dest.push_back(entry);
            continue;
        }
        if (!invisible.empty() && ContainsName(invisible, entry.name)) continue;
        TFontNameFilters kinds = FontFilterSet(entry);
        // A font the screen has counts as a screen font even when the printer has it too.
        if (!(entry.flags & kPrinterOnlyFont)) kinds.Exclude(fnfPrinter);
        const std::uint16_t k = kinds.Bits();
        if ((k & kAttributeKinds) & ~collected) continue;
        if (!((k & kTechnologyKinds) & collected)) continue;
        if (exclusive.Bits() & ~k) continue;
        dest.push_back(entry);
    }
}

void DrawFontItem(HDC dc, bool textFontFace, TFontNameFilters collect, bool enabled, bool iconVisible,
                  TFontIconPriority priority, const FontList& items, int index, RECT rect, const ui::Scale& scale) {
    ::FillRect(dc, &rect, static_cast<HBRUSH>(::GetCurrentObject(dc, OBJ_BRUSH)));
    if (index < 0 || index >= static_cast<int>(items.size())) return;
    const FontEntry& item = items[static_cast<size_t>(index)];

    ui::UniqueFont face;
    std::optional<ui::SelectIn> faceIn;
    if (textFontFace) {
        LOGFONTW lf{};
        ::GetObjectW(::GetCurrentObject(dc, OBJ_FONT), sizeof lf, &lf);
        const size_t n = std::min(item.name.size(), static_cast<size_t>(LF_FACESIZE - 1));
        std::wmemcpy(lf.lfFaceName, item.name.c_str(), n);
        lf.lfFaceName[n] = L'\0';
        lf.lfCharSet = DEFAULT_CHARSET;
        face.reset(::CreateFontIndirectW(&lf));
        if (face) faceIn.emplace(dc, face.get());
    }

    int offset = scale(kPlainTextOffset);
    if (iconVisible) {
        if (HBITMAP icon = ChooseIcon(item, collect, priority)) {
            BITMAP info{};
            ::GetObjectW(icon, sizeof info, &info);
            ui::UniqueDc memory(::CreateCompatibleDC(dc));
            ui::SelectIn iconIn(memory.get(), icon);
            // Enlarged pixel by pixel, so that the XOR leaves no blended edge.
            const int width = scale(info.bmWidth), height = scale(info.bmHeight);
            const int y = rect.top + (rect.bottom - rect.top - height) / 2;
            const int oldMode = ::SetStretchBltMode(dc, COLORONCOLOR);
            ::StretchBlt(dc, rect.left + scale(2), y, width, height, memory.get(), 0, 0, info.bmWidth, info.bmHeight,
                         SRCINVERT);
            ::SetStretchBltMode(dc, oldMode);
        }
        offset = scale(kIconTextOffset);
    }

    ::SetBkMode(dc, TRANSPARENT);
    if (!enabled) ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
    rect.left += offset;
    ::DrawTextW(dc, item.name.c_str(), static_cast<int>(item.name.size()), &rect,
                DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
}

int FontNameList::IndexOf(std::wstring_view name) const {
    for (size_t i = 0; i < names_.size(); ++i)
        if (SameFontName(names_[i], name)) return static_cast<int>(i);
    return -1;
}

void FontNameList::Add(std::wstring name) {
    names_.push_back(std::move(name));
    Changed();
}

void FontNameList::Delete(int index) {
    if (index < 0 || index >= Count()) return;
    names_.erase(names_.begin() + index);
    Changed();
}

void FontNameList::Clear() {
    if (names_.empty()) return;
    names_.clear();
    Changed();
}

void FontNameList::Assign(std::vector<std::wstring> names) {
    names_ = std::move(names);
    Changed();
}

void FontNameList::Changed() {
    if (!quiet_ && OnChange) OnChange();
}

void RemoveNames(FontNameList& target, const FontNameList& source) {
    target.quiet_ = true;
    for (int i = target.Count() - 1; i >= 0; --i)
        if (source.Contains(target.names_[static_cast<size_t>(i)])) target.Delete(i);
    target.quiet_ = false;
}

TFontNameComboBox::TFontNameComboBox(ui::Component* owner, HWND parent, UINT id)
    : ui::Component(owner),
      parent_(parent),
      id_(id),
      collect_({fnfDevice, fnfVector, fnfRaster, fnfTrueType, fnfPrinter, fnfSymbolFont, fnfJapanese, fnfFixedPitch}) {
    invisible_.OnChange = [this] { InvisibleNamesChanged(); };
    visible_.OnChange = [this] { VisibleNamesChanged(); };
    logFont_ = LogFontOf(reinterpret_cast<HFONT>(::SendMessageW(parent_, WM_GETFONT, 0, 0)));
    font_.reset(::CreateFontIndirectW(&logFont_));
    CreateWnd();
}

TFontNameComboBox::~TFontNameComboBox() {
    subclass_.Detach();
    if (hwnd_ && ::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
}

void TFontNameComboBox::CreateWnd() {
    const DWORD style =
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS;
    hwnd_ =
        ::CreateWindowExW(0, WC_COMBOBOXW, L"", style, bounds_.left, bounds_.top, bounds_.right - bounds_.left,
                          itemHeight_ * (kDropDownCount + 1) + 8, parent_,
                          reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id_)), ::GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) return;
    ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    ::SendMessageW(hwnd_, CB_SETMINVISIBLE, kDropDownCount, 0);
    ApplyItemHeight();
    subclass_.Attach(hwnd_, [this](UINT msg, WPARAM wp, LPARAM lp) -> std::optional<LRESULT> {
        if (msg != WM_ENABLE) return std::nullopt;
        // Names are drawn grey while the box is disabled.
        const LRESULT r = subclass_.CallOriginal(msg, wp, lp);
        Repaint();
        return r;
    });
    if (items_.empty()) RebuildItems();
}

bool TFontNameComboBox::HandleParentMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
            if (!hwnd_ || item->CtlType != ODT_COMBOBOX || item->hwndItem != hwnd_) return false;
            DrawItem(*item);
            result = TRUE;
            return true;
        }
        case WM_MEASUREITEM: {
            // Also sent while the window is being created, before hwnd_ is known: the id tells.
            auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
            if (item->CtlType != ODT_COMBOBOX || item->CtlID != id_) return false;
            item->itemHeight = static_cast<UINT>(itemHeight_);
            result = TRUE;
            return true;
        }
        case WM_COMMAND:
            if (!hwnd_ || reinterpret_cast<HWND>(lp) != hwnd_) return false;
            if (HIWORD(wp) == CBN_SELCHANGE) Click();
            result = 0;
            return true;
    }
    return false;
}

void TFontNameComboBox::SetFontSource(const FontList* source) {
    if (source == source_) return;
    source_ = source;
    RebuildItems();
}

const FontList& TFontNameComboBox::Source() const {
    return source_ ? *source_ : ModuleFonts().fonts;
}

int TFontNameComboBox::ItemIndex() const {
    return hwnd_ ? static_cast<int>(::SendMessageW(hwnd_, CB_GETCURSEL, 0, 0)) : -1;
}

void TFontNameComboBox::SetCollectFilters(TFontNameFilters value) {
    if (value == collect_) return;
    collect_ = value;
    RebuildItems();
}

void TFontNameComboBox::SetExclusiveFilters(TFontNameFilters value) {
    if (value == exclusive_) return;
    // A font has one technology: of the technologies newly asked for, the first alone stays.
    const std::uint16_t added = value.Bits() & kTechnologyKinds & ~exclusive_.Bits();
    if (added) {
        const std::uint16_t first = static_cast<std::uint16_t>(added & (~added + 1u));
        value = TFontNameFilters::FromBits(static_cast<std::uint16_t>((value.Bits() & ~kTechnologyKinds) | first));
    }
    exclusive_ = value;
    RebuildItems();
}

std::wstring TFontNameComboBox::Value() const {
    const int index = ItemIndex();
    if (index < 0 || index >= static_cast<int>(items_.size())) return {};
    return items_[static_cast<size_t>(index)].name;
}

void TFontNameComboBox::SetValue(const std::wstring& name) {
    if (Loading()) {
        pendingValue_ = name;
        return;
    }
    if (!hwnd_ || items_.empty()) return;
    int index = 0;  // a name not listed selects the first item
    for (size_t i = 0; i < items_.size(); ++i) {
        if (SameFontName(items_[i].name, name)) {
            index = static_cast<int>(i);
            break;
        }
    }
    if (index == ItemIndex()) return;
    ::SendMessageW(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    DoChange();
}

void TFontNameComboBox::SetBounds(int left, int top, int width, int height) {
    bounds_ = RECT{left, top, left + width, top + height};
    ApplyItemHeight();
    if (height > 6) SetItemHeight(height - 6);
}

void TFontNameComboBox::SetItemHeight(int value) {
    if (value == itemHeight_) return;
    SaveValue();
    if (value >= 1) itemHeight_ = value;
    ApplyItemHeight();
    if (std::abs(logFont_.lfHeight) > itemHeight_) SetFontHeight(-std::max(itemHeight_, 12));
    RestoreValue();
}

void TFontNameComboBox::ApplyItemHeight() {
    if (!hwnd_) return;
    // The selection field and the list items are both one item high.
    ::SendMessageW(hwnd_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), itemHeight_);
    ::SendMessageW(hwnd_, CB_SETITEMHEIGHT, 0, itemHeight_);
    ::MoveWindow(hwnd_, bounds_.left, bounds_.top, bounds_.right - bounds_.left, itemHeight_ * (kDropDownCount + 1) + 8,
                 TRUE);
}

void TFontNameComboBox::SetChangeControl(FontNameControl* control) {
    if (control == changeControl_) return;
    changeControl_ = control;
    if (control) {
        FreeNotification(control);
        SetValue(control->FontName());
    }
}

void TFontNameComboBox::Notification(ui::Component* component, ui::Operation operation) {
    ui::Component::Notification(component, operation);
    if (operation == ui::Operation::Remove && component == changeControl_) changeControl_ = nullptr;
}

void TFontNameComboBox::SetVisibleFontNames(const std::vector<std::wstring>& names) {
    if (names == visible_.Names()) return;
    visible_.Assign(names);
}

void TFontNameComboBox::SetInvisibleFontNames(const std::vector<std::wstring>& names) {
    if (names == invisible_.Names()) return;
    invisible_.Assign(names);
}

void TFontNameComboBox::VisibleNamesChanged() {
    RemoveNames(invisible_, visible_);
    RebuildItems();
}

void TFontNameComboBox::InvisibleNamesChanged() {
    RemoveNames(visible_, invisible_);
    RebuildItems();
}

void TFontNameComboBox::SetIconVisible(bool value) {
    if (value == iconVisible_) return;
    iconVisible_ = value;
    Repaint();
}

void TFontNameComboBox::SetTextFontFace(bool value) {
    if (value == textFontFace_) return;
    textFontFace_ = value;
    Repaint();
}

void TFontNameComboBox::SetIconPriority(TFontIconPriority value) {
    if (value == iconPriority_) return;
    iconPriority_ = value;
    Repaint();
}

void TFontNameComboBox::SetFontHeight(int height) {
    if (height == logFont_.lfHeight) return;
    logFont_.lfHeight = height;
    ApplyFont();
}

void TFontNameComboBox::SetFont(const std::wstring& name, int height, BYTE charset) {
    const size_t n = std::min(name.size(), static_cast<size_t>(LF_FACESIZE - 1));
    std::wmemcpy(logFont_.lfFaceName, name.c_str(), n);
    logFont_.lfFaceName[n] = L'\0';
    logFont_.lfHeight = height;
    logFont_.lfCharSet = charset;
    ApplyFont();
}

void TFontNameComboBox::ApplyFont() {
    ui::UniqueFont font(::CreateFontIndirectW(&logFont_));
    if (hwnd_) ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    font_ = std::move(font);
    FontChanged();
    Repaint();
}

void TFontNameComboBox::FontChanged() {
    const int height = std::abs(logFont_.lfHeight);
    if (height > itemHeight_)
        SetItemHeight(height);
    else
        ApplyItemHeight();  // a font change makes the control measure its field again
}

void TFontNameComboBox::SetScaling(const ui::Scale& scale) {
    if (scale == scale_) return;
    scale_ = scale;
    Repaint();
}

bool TFontNameComboBox::Enabled() const {
    return hwnd_ && ::IsWindowEnabled(hwnd_);
}

void TFontNameComboBox::SetEnabled(bool enabled) {
    if (hwnd_) ::EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

void TFontNameComboBox::Repaint() {
    if (hwnd_) ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void TFontNameComboBox::Loaded() {
    ui::Component::Loaded();
    RebuildItems();
    SetValue(pendingValue_);
}

void TFontNameComboBox::RebuildItems() {
    if (Loading()) return;
    SaveValue();
    try {
        FontList fresh;
        FillFontItems(fresh, Source(), visible_.Names(), invisible_.Names(), collect_, exclusive_);
        items_ = std::move(fresh);
        FillControl();
    } catch (...) {
        RestoreValue();
        throw;
    }
    RestoreValue();
}

void TFontNameComboBox::FillControl() {
    if (!hwnd_) return;
    ::SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0);
    ::SendMessageW(hwnd_, CB_INITSTORAGE, items_.size(), items_.size() * 32 * sizeof(wchar_t));
    for (const FontEntry& entry : items_) {
        const LRESULT index = ::SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.name.c_str()));
        if (index >= 0) ::SendMessageW(hwnd_, CB_SETITEMDATA, static_cast<WPARAM>(index), entry.flags);
    }
    ::SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
    Repaint();
}

void TFontNameComboBox::SaveValue() {
    savedValue_ = WindowReady() ? Value() : std::wstring();
}

void TFontNameComboBox::RestoreValue() {
    if (WindowReady()) SetValue(savedValue_);
}

void TFontNameComboBox::DoChange() {
    if (changeControl_) changeControl_->SetFontName(Value());
    if (OnChange) OnChange(this);
}

void TFontNameComboBox::Click() {
    DoChange();
    if (OnClick) OnClick(this);
}

void TFontNameComboBox::DrawItem(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    ui::SelectIn fontIn(dc, font_.get());
    ui::SelectIn brushIn(dc, ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    ::SetTextColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    ::SetBkColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    const int index = item.itemID == static_cast<UINT>(-1) ? -1 : static_cast<int>(item.itemID);
    DrawFontItem(dc, textFontFace_, collect_, Enabled(), iconVisible_, iconPriority_, items_, index, item.rcItem,
                 scale_);
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) ::DrawFocusRect(dc, &item.rcItem);
}

}  // namespace dialogs
