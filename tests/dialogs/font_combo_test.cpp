// The font name box on a real owner-drawn combo box: its items under the filter properties, the name lists, the
// value, the item height and its font, the linked control and the drawing of an item.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/FontNameComboBox.h"
#include "ui/owned.h"
#include "ui/window.h"

using namespace dialogs;

namespace {

DWORD Word(DWORD type, BYTE charset, DWORD extra = 0) {
    return type | (static_cast<DWORD>(charset) << 16) | extra;
}

FontList SampleFonts() {
    FontList fonts = {
        {L"Arial", Word(TRUETYPE_FONTTYPE, ANSI_CHARSET)},
        {L"Courier", Word(RASTER_FONTTYPE, ANSI_CHARSET, kFixedPitchFont)},
        {L"Gothic", Word(TRUETYPE_FONTTYPE, SHIFTJIS_CHARSET, kFixedPitchFont)},
        {L"@Gothic", Word(TRUETYPE_FONTTYPE, SHIFTJIS_CHARSET, kFixedPitchFont)},
        {L"Mincho", Word(TRUETYPE_FONTTYPE, SHIFTJIS_CHARSET)},
        {L"Modern", Word(0, OEM_CHARSET, kVectorFont)},
        {L"Symbol", Word(TRUETYPE_FONTTYPE, SYMBOL_CHARSET)},
        {L"System", Word(RASTER_FONTTYPE, ANSI_CHARSET)},
    };
    SortFontList(fonts);
    return fonts;
}

// A window that hands its children's messages to the box, as a form does.
class Host : public ui::Window {
public:
    explicit Host(int fontHeight = -12) : ui::Window(nullptr) {
        font_.reset(::CreateFontW(fontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial"));
        CreateOwnWindow(L"PilkaTestComboHost", L"host", WS_OVERLAPPEDWINDOW, 0, RECT{0, 0, 400, 300}, nullptr);
    }
    ~Host() override {
        box.reset();
        if (Handle()) ::DestroyWindow(Handle());
    }
    std::unique_ptr<TFontNameComboBox> box;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_GETFONT) return reinterpret_cast<LRESULT>(font_.get());
        LRESULT result = 0;
        if (box && box->HandleParentMessage(msg, wp, lp, result)) return result;
        return Default(msg, wp, lp);
    }

private:
    ui::UniqueFont font_;
};

// A box loaded as a form loads it, over the sample fonts, counting its change notifications.
struct Fixture {
    explicit Fixture(int fontHeight = -12, const std::wstring& value = L"") : host(fontHeight) {
        host.BeginLoading();
        host.box = std::make_unique<TFontNameComboBox>(&host, host.Handle(), 7);
        box().SetFontSource(&fonts);
        if (!value.empty()) box().SetValue(value);
        box().OnChange = [this](ui::Component* sender) {
            EXPECT_EQ(sender, host.box.get());
            events.push_back(L"change:" + box().Value());
        };
        box().OnClick = [this](ui::Component*) { events.push_back(L"click"); };
        host.EndLoading();
    }
    TFontNameComboBox& box() { return *host.box; }
    std::vector<std::wstring> Names() {
        std::vector<std::wstring> names;
        for (const FontEntry& e : box().Items()) names.push_back(e.name);
        return names;
    }
    // The names the native control holds, in its order.
    std::vector<std::wstring> ControlNames() {
        std::vector<std::wstring> names;
        const int n = static_cast<int>(::SendMessageW(box().Handle(), CB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            wchar_t buffer[LF_FACESIZE + 1] = {};
            ::SendMessageW(box().Handle(), CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
            names.push_back(buffer);
        }
        return names;
    }
    bool Lists(const std::wstring& name) {
        const auto names = Names();
        return std::find(names.begin(), names.end(), name) != names.end();
    }

    FontList fonts = SampleFonts();
    Host host;
    std::vector<std::wstring> events;
};

class LinkedControl : public FontNameControl {
public:
    explicit LinkedControl(std::wstring name) : FontNameControl(nullptr), name_(std::move(name)) {}
    std::wstring FontName() const override { return name_; }
    void SetFontName(const std::wstring& name) override { name_ = name; }

private:
    std::wstring name_;
};

}  // namespace

TEST(FontNameComboBox, LoadingFillsTheItemsAndSelectsTheStoredValueWithAChangeNotification) {
    Fixture f(-12, L"mincho");
    EXPECT_EQ(f.box().Value(), L"Mincho");
    ASSERT_FALSE(f.events.empty());
    EXPECT_EQ(f.events.back(), L"change:Mincho");
    EXPECT_EQ(f.Names(), f.ControlNames());
    EXPECT_FALSE(f.Lists(L"@Gothic")) << "vertical fonts are not collected by default";
    EXPECT_EQ(f.Names().size(), 7u);
    EXPECT_EQ(::SendMessageW(f.box().Handle(), CB_GETITEMDATA, 0, 0), static_cast<LRESULT>(f.box().Items()[0].flags));
}

TEST(FontNameComboBox, ValueMatchesWithoutLetterCaseAndFallsBackToTheFirstItem) {
    Fixture f;
    f.events.clear();
    f.box().SetValue(L"GOTHIC");
    EXPECT_EQ(f.box().Value(), L"Gothic");
    EXPECT_EQ(f.events, (std::vector<std::wstring>{L"change:Gothic"}));

    f.box().SetValue(L"gothic");
    EXPECT_EQ(f.events.size(), 1u) << "the selected item again: no change";

    f.box().SetValue(L"No Such Font");
    EXPECT_EQ(f.box().Value(), f.Names().front());
    EXPECT_EQ(f.events.size(), 2u);
}

TEST(FontNameComboBox, EmptyListSelectsNothing) {
    Fixture f;
    f.box().SetCollectFilters({fnfDevice});
    EXPECT_TRUE(f.Names().empty());
    f.events.clear();
    f.box().SetValue(L"Arial");
    EXPECT_EQ(f.box().Value(), L"");
    EXPECT_EQ(f.box().ItemIndex(), -1);
    EXPECT_TRUE(f.events.empty());
}

TEST(FontNameComboBox, CollectFiltersRebuildKeepingTheSelectedName) {
    Fixture f(-12, L"Mincho");
    f.events.clear();
    TFontNameFilters collect = f.box().CollectFilters();
    collect.Include(fnfLyingFont);
    f.box().SetCollectFilters(collect);
    EXPECT_TRUE(f.Lists(L"@Gothic"));
    EXPECT_EQ(f.box().Value(), L"Mincho");
    EXPECT_EQ(f.events, (std::vector<std::wstring>{L"change:Mincho"})) << "a rebuild ends with a change";

    f.box().SetCollectFilters(collect);
    EXPECT_EQ(f.events.size(), 1u) << "the same filters again do nothing";

    f.box().SetCollectFilters({fnfRaster});
    EXPECT_EQ(f.Names(), (std::vector<std::wstring>{L"System"})) << "Courier is fixed-pitch, not collected";
    EXPECT_EQ(f.box().Value(), L"System") << "the name is gone: the first item";
}

TEST(FontNameComboBox, ExclusiveFiltersKeepOneNewlyAddedTechnology) {
    Fixture f;
    f.box().SetExclusiveFilters({fnfTrueType});
    EXPECT_EQ(f.box().ExclusiveFilters(), (TFontNameFilters{fnfTrueType}));
    for (const FontEntry& e : f.box().Items()) EXPECT_TRUE(FontFilterSet(e).Has(fnfTrueType)) << e.name;

    f.box().SetExclusiveFilters({fnfRaster, fnfTrueType});
    EXPECT_EQ(f.box().ExclusiveFilters(), (TFontNameFilters{fnfRaster}));
    EXPECT_EQ(f.Names(), (std::vector<std::wstring>{L"Courier", L"System"}));

    f.box().SetExclusiveFilters({fnfRaster, fnfFixedPitch});
    EXPECT_EQ(f.box().ExclusiveFilters(), (TFontNameFilters{fnfRaster, fnfFixedPitch})) << "no new technology";
    EXPECT_EQ(f.Names(), (std::vector<std::wstring>{L"Courier"}));

    f.box().SetExclusiveFilters({fnfDevice, fnfVector, fnfJapanese});
    EXPECT_EQ(f.box().ExclusiveFilters(), (TFontNameFilters{fnfDevice, fnfJapanese})) << "first in member order";

    f.box().SetExclusiveFilters({});
    f.box().SetExclusiveFilters({fnfJapanese});
    EXPECT_EQ(f.Names(), (std::vector<std::wstring>{L"Gothic", L"Mincho"}));
}

TEST(FontNameComboBox, NameListsOverrideTheFiltersAndNeverShareAName) {
    Fixture f(-12, L"Arial");
    f.box().SetCollectFilters({fnfTrueType, fnfJapanese});
    EXPECT_FALSE(f.Lists(L"Symbol"));

    f.box().InvisibleFontNames().Add(L"Mincho");
    EXPECT_FALSE(f.Lists(L"Mincho"));

    f.events.clear();
    f.box().VisibleFontNames().Add(L"symbol");
    f.box().VisibleFontNames().Add(L"MINCHO");
    EXPECT_TRUE(f.Lists(L"Symbol"));
    EXPECT_TRUE(f.Lists(L"Mincho"));
    EXPECT_EQ(f.box().InvisibleFontNames().Count(), 0) << "the list changed last keeps the name";
    EXPECT_EQ(f.box().Value(), L"Arial");
    EXPECT_EQ(f.events.size(), 2u) << "each change of a list rebuilds once";

    f.box().SetInvisibleFontNames({L"Symbol", L"Courier"});
    EXPECT_FALSE(f.Lists(L"Symbol"));
    EXPECT_EQ(f.box().VisibleFontNames().Names(), (std::vector<std::wstring>{L"MINCHO"}));
    EXPECT_EQ(f.events.size(), 3u);

    f.box().SetInvisibleFontNames({L"Symbol", L"Courier"});
    EXPECT_EQ(f.events.size(), 3u) << "the same strings in the same order do nothing";
    f.box().SetInvisibleFontNames({L"Courier", L"Symbol"});
    EXPECT_EQ(f.events.size(), 4u) << "another order is another list";
}

TEST(FontNameComboBox, HeightOfTwentyFiveGivesItemsOfNineteen) {
    Fixture f(-12);
    EXPECT_EQ(f.box().ItemHeight(), 16);
    f.box().SetBounds(0, 0, 241, 25);
    EXPECT_EQ(f.box().ItemHeight(), 19);
    EXPECT_EQ(::SendMessageW(f.box().Handle(), CB_GETITEMHEIGHT, 0, 0), 19);
    f.box().SetBounds(0, 0, 241, 6);
    EXPECT_EQ(f.box().ItemHeight(), 19) << "six pixels or less leave the item height";
}

TEST(FontNameComboBox, LargerFontRaisesTheItemHeight) {
    Fixture f(-12);
    f.box().SetFontHeight(-20);
    EXPECT_EQ(f.box().ItemHeight(), 20);
    f.box().SetFontHeight(-14);
    EXPECT_EQ(f.box().ItemHeight(), 20) << "a smaller font leaves it";
}

TEST(FontNameComboBox, SmallItemHeightShrinksTheFontWhichRaisesTheItemHeightAgain) {
    Fixture f(-16, L"Gothic");
    EXPECT_EQ(f.box().FontHeight(), -16);
    EXPECT_EQ(f.box().ItemHeight(), 16);
    f.box().SetItemHeight(8);
    EXPECT_EQ(f.box().FontHeight(), -12);
    EXPECT_EQ(f.box().ItemHeight(), 12);
    EXPECT_EQ(f.box().Value(), L"Gothic");
    f.box().SetItemHeight(0);
    EXPECT_EQ(f.box().ItemHeight(), 12) << "below 1 leaves it unchanged";
}

TEST(FontNameComboBox, UserPickRunsChangeThenClick) {
    Fixture f;
    f.events.clear();
    ::SendMessageW(f.box().Handle(), CB_SETCURSEL, 2, 0);
    ::SendMessageW(f.host.Handle(), WM_COMMAND, MAKEWPARAM(7, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(f.box().Handle()));
    EXPECT_EQ(f.events, (std::vector<std::wstring>{L"change:" + f.Names()[2], L"click"}));
}

TEST(FontNameComboBox, LinkedControlFollowsTheSelectionUntilItGoesAway) {
    Fixture f;
    auto linked = std::make_unique<LinkedControl>(L"mincho");
    f.box().SetChangeControl(linked.get());
    EXPECT_EQ(f.box().Value(), L"Mincho") << "linking reads the control's font name";
    f.box().SetValue(L"Arial");
    EXPECT_EQ(linked->FontName(), L"Arial");

    f.box().SetValue(L"System");
    auto unlisted = std::make_unique<LinkedControl>(L"Not Installed");
    f.box().SetChangeControl(unlisted.get());
    EXPECT_EQ(unlisted->FontName(), f.Names().front()) << "an unlisted name ends with the first font";

    unlisted.reset();
    EXPECT_EQ(f.box().ChangeControl(), nullptr);
    f.box().SetValue(L"System");
    EXPECT_EQ(f.box().Value(), L"System");
}

TEST(FontNameComboBox, ModuleFontsWithTheDialogFiltersListNoVerticalSymbolOrPrinterOnlyFonts) {
    Host host;
    TFontNameComboBox box(&host, host.Handle(), 3);
    box.SetCollectFilters({fnfDevice, fnfVector, fnfRaster, fnfTrueType, fnfJapanese, fnfFixedPitch});
    ASSERT_FALSE(box.Items().empty());
    EXPECT_EQ(box.Value(), box.Items().front().name) << "a rebuild without a value selects the first font";
    for (const FontEntry& e : box.Items()) {
        EXPECT_NE(e.name.front(), L'@') << e.name;
        EXPECT_FALSE(FontFilterSet(e).Has(fnfSymbolFont)) << e.name;
        EXPECT_EQ(e.flags & kPrinterOnlyFont, 0u) << e.name;
    }
}

namespace {

// Draws one item into a white 200 by 20 picture and returns its pixels.
struct Canvas {
    Canvas() {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = kWidth;
        info.bmiHeader.biHeight = -kHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        dc.reset(::CreateCompatibleDC(nullptr));
        bitmap.reset(::CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        pixels = static_cast<const DWORD*>(bits);
        old = ::SelectObject(dc.get(), bitmap.get());
        ::SelectObject(dc.get(), ::GetStockObject(WHITE_BRUSH));
        ::SelectObject(dc.get(), ::GetStockObject(DEFAULT_GUI_FONT));
        ::SetTextColor(dc.get(), RGB(0, 0, 0));
    }
    ~Canvas() { ::SelectObject(dc.get(), old); }
    void Draw(const FontList& items, int index, bool iconVisible, TFontNameFilters collect,
              TFontIconPriority priority = fipTrueType) {
        ::GdiFlush();
        for (int i = 0; i < kWidth * kHeight; ++i) const_cast<DWORD*>(pixels)[i] = 0x123456;
        DrawFontItem(dc.get(), false, collect, true, iconVisible, priority, items, index, RECT{0, 0, kWidth, kHeight});
        ::GdiFlush();
    }
    // The pixels of the icon's place: x 2 to 17, y 2 to 17.
    std::vector<DWORD> IconArea() const {
        std::vector<DWORD> area;
        for (int y = 2; y < 18; ++y)
            for (int x = 2; x < 18; ++x) area.push_back(pixels[y * kWidth + x] & 0xFFFFFF);
        return area;
    }
    bool AllWhite(const std::vector<DWORD>& area) const {
        return std::all_of(area.begin(), area.end(), [](DWORD p) { return p == 0xFFFFFF; });
    }
    static constexpr int kWidth = 200;
    static constexpr int kHeight = 20;
    ui::UniqueDc dc;
    ui::UniqueBitmap bitmap;
    const DWORD* pixels = nullptr;
    HGDIOBJ old = nullptr;
};

}  // namespace

TEST(FontNameComboBoxDrawing, IconsByKindCollectFiltersAndPriority) {
    const FontList items = {
        {L"Tt", Word(TRUETYPE_FONTTYPE, ANSI_CHARSET)},
        {L"Rr", Word(RASTER_FONTTYPE, ANSI_CHARSET)},
        {L"Both", Word(TRUETYPE_FONTTYPE | DEVICE_FONTTYPE, ANSI_CHARSET, kOnPrinterFont)},
    };
    const TFontNameFilters all = {fnfDevice, fnfRaster, fnfTrueType, fnfPrinter};
    Canvas c;

    c.Draw(items, -1, true, all);
    EXPECT_TRUE(c.AllWhite(c.IconArea())) << "a negative index draws the background only";
    EXPECT_EQ(c.pixels[Canvas::kWidth * 10 + 100] & 0xFFFFFF, 0xFFFFFFu);

    c.Draw(items, 0, true, all);
    const auto trueTypeIcon = c.IconArea();
    EXPECT_FALSE(c.AllWhite(trueTypeIcon));

    c.Draw(items, 1, true, all);
    EXPECT_TRUE(c.AllWhite(c.IconArea())) << "no icon for a raster font; its name starts at 20";

    c.Draw(items, 0, true, {fnfRaster});
    EXPECT_TRUE(c.AllWhite(c.IconArea())) << "TrueType not collected: no TrueType icon";

    c.Draw(items, 2, true, all, fipTrueType);
    EXPECT_EQ(c.IconArea(), trueTypeIcon);
    c.Draw(items, 2, true, all, fipPrinter);
    const auto printerIcon = c.IconArea();
    EXPECT_FALSE(c.AllWhite(printerIcon));
    EXPECT_NE(printerIcon, trueTypeIcon);
}

TEST(FontNameComboBoxDrawing, WithoutIconsTheNameStartsAtTwo) {
    const FontList items = {{L"WWWWWW", Word(TRUETYPE_FONTTYPE, ANSI_CHARSET)}};
    Canvas c;
    const auto inkNearLeft = [&] {
        bool ink = false;
        for (int y = 0; y < Canvas::kHeight; ++y)
            for (int x = 2; x < 8; ++x) ink |= (c.pixels[y * Canvas::kWidth + x] & 0xFFFFFF) != 0xFFFFFF;
        return ink;
    };
    c.Draw(items, 0, false, {fnfTrueType});
    EXPECT_TRUE(inkNearLeft());
    c.Draw(items, 0, true, {fnfRaster});
    EXPECT_FALSE(inkNearLeft()) << "with icons shown the name starts at 20, drawn icon or not";
}
