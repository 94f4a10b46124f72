// A drop-down list of the installed font names, owner-drawn with a kind icon beside each name. Which fonts it lists
// is chosen by two filter sets over nine font kinds and by lists of names always or never shown. The fonts are
// enumerated once for the module; every box filters that shared list for its own items.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "ui/component.h"
#include "ui/dpi.h"
#include "ui/owned.h"
#include "ui/window.h"

namespace dialogs {

// Font kinds; members 0 to 3 are the technologies, 4 to 8 the attributes.
enum TFontNameFilter : int {
    fnfDevice,
    fnfVector,
    fnfRaster,
    fnfTrueType,
    fnfPrinter,
    fnfSymbolFont,
    fnfJapanese,
    fnfFixedPitch,
    fnfLyingFont,
};

// A set of font kinds in 16 bits; bit i is member i.
class TFontNameFilters {
public:
    constexpr TFontNameFilters() = default;
    constexpr TFontNameFilters(std::initializer_list<TFontNameFilter> members) {
        for (TFontNameFilter m : members) bits_ |= Bit(m);
    }
    static constexpr TFontNameFilters FromBits(std::uint16_t bits) {
        TFontNameFilters s;
        s.bits_ = bits;
        return s;
    }
    constexpr std::uint16_t Bits() const { return bits_; }
    constexpr bool Has(TFontNameFilter m) const { return (bits_ & Bit(m)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr TFontNameFilters& Include(TFontNameFilter m) {
        bits_ |= Bit(m);
        return *this;
    }
    constexpr TFontNameFilters& Exclude(TFontNameFilter m) {
        bits_ &= static_cast<std::uint16_t>(~Bit(m));
        return *this;
    }
    friend constexpr bool operator==(TFontNameFilters a, TFontNameFilters b) { return a.bits_ == b.bits_; }

private:
    static constexpr std::uint16_t Bit(TFontNameFilter m) { return static_cast<std::uint16_t>(1u << m); }
    std::uint16_t bits_ = 0;
};

inline constexpr std::uint16_t kTechnologyKinds = 0x000F;  // fnfDevice .. fnfTrueType
inline constexpr std::uint16_t kAttributeKinds = 0x01F0;   // fnfPrinter .. fnfLyingFont

// Which icon wins when a font is both TrueType and a printer font.
enum TFontIconPriority : int { fipTrueType, fipPrinter };

// The flags word of a listed font.
inline constexpr DWORD kFontTypeBits = 0x00000007;     // RASTER_FONTTYPE, DEVICE_FONTTYPE, TRUETYPE_FONTTYPE
inline constexpr DWORD kVectorFont = 0x00000200;       // vector bit of pitch-and-family with font type 0
inline constexpr DWORD kFixedPitchFont = 0x00000400;   // TMPF_FIXED_PITCH clear
inline constexpr DWORD kPrinterOnlyFont = 0x00000800;  // found only on the printer
inline constexpr DWORD kCharsetBits = 0x00FF0000;      // charset of the first report of the face
inline constexpr DWORD kOnPrinterFont = 0x80000000;    // available on the printer

struct FontEntry {
    std::wstring name;
    DWORD flags = 0;
    friend bool operator==(const FontEntry&, const FontEntry&) = default;
};
using FontList = std::vector<FontEntry>;

// Font names compare without regard to letter case, in the user's locale.
int CompareFontNames(std::wstring_view a, std::wstring_view b);
bool SameFontName(std::wstring_view a, std::wstring_view b);

// The enumeration callback: one entry per face, with the kinds of its first report. `list` is a FontList*.
int CALLBACK FontEnumProc(const LOGFONTW* logFont, const TEXTMETRICW* metric, DWORD fontType, LPARAM list);
void SortFontList(FontList& list);
// Every face of a device context, sorted.
FontList EnumerateFonts(HDC dc);
// Adds the printer's fonts to a sorted screen list: a face on both keeps its screen charset and gains the printer's
// kinds; a face only on the printer is inserted in its sorted place and marked printer-only.
void MergePrinterFonts(FontList& screen, FontList printer);

// The module's fonts and the two kind icons, made on first use and kept until the module ends.
struct FontModule {
    FontList fonts;
    ui::UniqueBitmap trueTypeIcon;
    ui::UniqueBitmap deviceTypeIcon;
};
FontModule BuildFontList();
const FontModule& ModuleFonts();

TFontNameFilters FontFilterSet(const FontEntry& entry);
TFontNameFilters FontFilterSet(const FontList& list, int index);  // empty outside the list
bool IsPrinterOnly(const FontList& list, int index);              // false outside the list

// The entries of `source` that a box with these lists and filters shows, in source order.
void FillFontItems(FontList& dest, const FontList& source, const std::vector<std::wstring>& visible,
                   const std::vector<std::wstring>& invisible, TFontNameFilters collect, TFontNameFilters exclusive);

// Draws one item: background, the kind icon (by XOR, so that its black background leaves the item's colour) and
// the name. The DC carries the font, brush and text colour of the item on entry. The icon and the indent of the
// name follow the scale.
void DrawFontItem(HDC dc, bool textFontFace, TFontNameFilters collect, bool enabled, bool iconVisible,
                  TFontIconPriority priority, const FontList& items, int index, RECT rect,
                  const ui::Scale& scale = ui::Scale());

// A list of font names that reports changes of its contents.
class FontNameList {
public:
    const std::vector<std::wstring>& Names() const noexcept { return names_; }
    int Count() const noexcept { return static_cast<int>(names_.size()); }
    int IndexOf(std::wstring_view name) const;  // without regard to letter case; -1 when absent
    bool Contains(std::wstring_view name) const { return IndexOf(name) >= 0; }
    void Add(std::wstring name);
    void Delete(int index);
    void Clear();
    void Assign(std::vector<std::wstring> names);
    std::function<void()> OnChange;

private:
    friend void RemoveNames(FontNameList& target, const FontNameList& source);
    void Changed();
    std::vector<std::wstring> names_;
    bool quiet_ = false;
};

// Deletes from target every name of source, without target's change notification.
void RemoveNames(FontNameList& target, const FontNameList& source);

// A control whose font name can follow the box's selection (`ChangeControl`).
class FontNameControl : public ui::Component {
public:
    using ui::Component::Component;
    virtual std::wstring FontName() const = 0;
    virtual void SetFontName(const std::wstring& name) = 0;
};

class TFontNameComboBox : public ui::Component {
public:
    // The box is a child of parent with the given control id; its font starts as the parent's font. The parent
    // hands WM_DRAWITEM, WM_MEASUREITEM and WM_COMMAND to HandleParentMessage.
    TFontNameComboBox(ui::Component* owner, HWND parent, UINT id);
    ~TFontNameComboBox() override;

    HWND Handle() const noexcept { return hwnd_; }
    UINT Id() const noexcept { return id_; }
    bool HandleParentMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

    // The fonts to filter: the module's list unless the caller supplies one, which it keeps alive.
    void SetFontSource(const FontList* source);
    // The listed fonts, in the order of the control's items.
    const FontList& Items() const noexcept { return items_; }
    int ItemIndex() const;

    TFontNameFilters CollectFilters() const noexcept { return collect_; }
    void SetCollectFilters(TFontNameFilters value);
    TFontNameFilters ExclusiveFilters() const noexcept { return exclusive_; }
    void SetExclusiveFilters(TFontNameFilters value);

    std::wstring Value() const;
    void SetValue(const std::wstring& name);

    int ItemHeight() const noexcept { return itemHeight_; }
    void SetItemHeight(int value);
    void SetBounds(int left, int top, int width, int height);

    FontNameControl* ChangeControl() const noexcept { return changeControl_; }
    void SetChangeControl(FontNameControl* control);

    FontNameList& VisibleFontNames() noexcept { return visible_; }
    void SetVisibleFontNames(const std::vector<std::wstring>& names);
    FontNameList& InvisibleFontNames() noexcept { return invisible_; }
    void SetInvisibleFontNames(const std::vector<std::wstring>& names);

    bool IconVisible() const noexcept { return iconVisible_; }
    void SetIconVisible(bool value);
    bool TextFontFace() const noexcept { return textFontFace_; }
    void SetTextFontFace(bool value);
    TFontIconPriority IconPriority() const noexcept { return iconPriority_; }
    void SetIconPriority(TFontIconPriority value);

    // The control's own font.
    HFONT Font() const noexcept { return font_.get(); }
    const LOGFONTW& FontRecord() const noexcept { return logFont_; }
    int FontHeight() const noexcept { return logFont_.lfHeight; }
    void SetFontHeight(int height);
    void SetFont(const std::wstring& name, int height, BYTE charset);

    bool Enabled() const;
    void SetEnabled(bool enabled);

    // The screen scaling the items' icons are drawn for; the box's font and sizes are set by its owner.
    const ui::Scale& Scaling() const noexcept { return scale_; }
    void SetScaling(const ui::Scale& scale);

    std::function<void(ui::Component* sender)> OnChange;
    std::function<void(ui::Component* sender)> OnClick;

protected:
    void Loaded() override;
    void Notification(ui::Component* component, ui::Operation operation) override;

private:
    void CreateWnd();
    void RebuildItems();
    void FillControl();
    void SaveValue();
    void RestoreValue();
    void DoChange();
    void Click();
    void DrawItem(const DRAWITEMSTRUCT& item);
    void FontChanged();
    void ApplyFont();
    void ApplyItemHeight();
    void Repaint();
    void VisibleNamesChanged();
    void InvisibleNamesChanged();
    bool WindowReady() const noexcept { return hwnd_ != nullptr && !Loading(); }
    const FontList& Source() const;

    HWND parent_;
    UINT id_;
    HWND hwnd_ = nullptr;  // destroyed by this object, or earlier with its parent
    ui::Subclass subclass_;
    RECT bounds_{0, 0, 145, 24};
    LOGFONTW logFont_{};
    ui::UniqueFont font_;

    TFontNameFilters collect_;
    bool iconVisible_ = true;
    FontNameControl* changeControl_ = nullptr;  // not owned; cleared when it goes away
    bool textFontFace_ = false;
    FontNameList invisible_;
    std::wstring pendingValue_;
    std::wstring savedValue_;
    TFontIconPriority iconPriority_ = fipTrueType;
    TFontNameFilters exclusive_;
    FontNameList visible_;
    int itemHeight_ = 16;
    ui::Scale scale_;

    const FontList* source_ = nullptr;  // not owned; nullptr means the module list
    FontList items_;
};

}  // namespace dialogs
