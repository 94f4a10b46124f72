// The module font list: how enumeration reports become entries, the printer merge, the kinds of an entry and the
// filter that chooses a box's items. The font lists are made here, since this machine has no printer.
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>

#include "dialogs/FontNameComboBox.h"

using namespace dialogs;

namespace {

constexpr BYTE kVariableTrueType = TMPF_FIXED_PITCH | TMPF_VECTOR | TMPF_TRUETYPE;  // low bit set: variable pitch
constexpr BYTE kFixedTrueType = TMPF_VECTOR | TMPF_TRUETYPE;

void Report(FontList& list, const wchar_t* face, BYTE charset, DWORD fontType, BYTE pitchAndFamily) {
    LOGFONTW lf{};
    std::wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    lf.lfCharSet = charset;
    TEXTMETRICW tm{};
    tm.tmCharSet = charset;
    tm.tmPitchAndFamily = pitchAndFamily;
    EXPECT_EQ(FontEnumProc(&lf, &tm, fontType, reinterpret_cast<LPARAM>(&list)), 1) << "the enumeration goes on";
}

DWORD Word(DWORD type, BYTE charset, DWORD extra = 0) {
    return type | (static_cast<DWORD>(charset) << 16) | extra;
}

std::vector<std::wstring> Names(const FontList& list) {
    std::vector<std::wstring> names;
    for (const FontEntry& e : list) names.push_back(e.name);
    return names;
}

// A screen with one font of every sort, and a printer that shares one of them and has one of its own.
FontList SampleFonts() {
    FontList screen = {
        {L"Arial", Word(TRUETYPE_FONTTYPE, ANSI_CHARSET)},
        {L"@ＭＳ ゴシック", Word(TRUETYPE_FONTTYPE, SHIFTJIS_CHARSET, kFixedPitchFont)},
        {L"ＭＳ ゴシック", Word(TRUETYPE_FONTTYPE, SHIFTJIS_CHARSET, kFixedPitchFont)},
        {L"ＭＳ Ｐゴシック", Word(TRUETYPE_FONTTYPE, SHIFTJIS_CHARSET)},
        {L"Symbol", Word(TRUETYPE_FONTTYPE, SYMBOL_CHARSET)},
        {L"System", Word(RASTER_FONTTYPE, ANSI_CHARSET)},
        {L"Terminal", Word(RASTER_FONTTYPE, OEM_CHARSET, kFixedPitchFont)},
        {L"Modern", Word(0, OEM_CHARSET, kVectorFont)},
        {L"Shared", Word(TRUETYPE_FONTTYPE, ANSI_CHARSET)},
    };
    SortFontList(screen);
    FontList printer = {
        {L"Shared", Word(DEVICE_FONTTYPE, ANSI_CHARSET)},
        {L"PrinterOnly", Word(DEVICE_FONTTYPE, ANSI_CHARSET)},
    };
    MergePrinterFonts(screen, printer);
    return screen;
}

const TFontNameFilters kDefaultCollect = {fnfDevice,  fnfVector,     fnfRaster,   fnfTrueType,
                                          fnfPrinter, fnfSymbolFont, fnfJapanese, fnfFixedPitch};
const TFontNameFilters kDialogCollect = {fnfDevice, fnfVector, fnfRaster, fnfTrueType, fnfJapanese, fnfFixedPitch};

std::vector<std::wstring> Filter(const FontList& source, TFontNameFilters collect, TFontNameFilters exclusive = {},
                                 const std::vector<std::wstring>& visible = {},
                                 const std::vector<std::wstring>& invisible = {}) {
    FontList items;
    FillFontItems(items, source, visible, invisible, collect, exclusive);
    return Names(items);
}

// The names as a set: the order of full-width names among others is the locale's matter.
std::vector<std::wstring> Set(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end());
    return names;
}

bool Has(const std::vector<std::wstring>& names, const std::wstring& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

TEST(FontEnumeration, FaceReportedUnderSeveralCharsetsIsOneEntryWithItsFirstCharset) {
    FontList list;
    Report(list, L"Alpha", ANSI_CHARSET, TRUETYPE_FONTTYPE, kVariableTrueType);
    Report(list, L"ALPHA", SHIFTJIS_CHARSET, TRUETYPE_FONTTYPE, kVariableTrueType);
    Report(list, L"alpha", SYMBOL_CHARSET, TRUETYPE_FONTTYPE, kVariableTrueType);
    Report(list, L"Beta", SHIFTJIS_CHARSET, TRUETYPE_FONTTYPE, kFixedTrueType);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, L"Alpha");
    EXPECT_EQ(list[0].flags, Word(TRUETYPE_FONTTYPE, ANSI_CHARSET));
    EXPECT_EQ(FontFilterSet(list, 0), (TFontNameFilters{fnfTrueType}));
    EXPECT_EQ(list[1].flags, Word(TRUETYPE_FONTTYPE, SHIFTJIS_CHARSET, kFixedPitchFont));
    EXPECT_EQ(FontFilterSet(list, 1), (TFontNameFilters{fnfTrueType, fnfJapanese, fnfFixedPitch}));
}

TEST(FontEnumeration, OnlyTheLastEntryIsComparedSoAFaceReportedAgainLaterIsListedAgain) {
    FontList list;
    Report(list, L"Alpha", ANSI_CHARSET, TRUETYPE_FONTTYPE, kVariableTrueType);
    Report(list, L"Beta", ANSI_CHARSET, TRUETYPE_FONTTYPE, kVariableTrueType);
    Report(list, L"Alpha", SHIFTJIS_CHARSET, TRUETYPE_FONTTYPE, kVariableTrueType);
    EXPECT_EQ(Names(list), (std::vector<std::wstring>{L"Alpha", L"Beta", L"Alpha"}));
}

TEST(FontEnumeration, WordCarriesTypePitchVectorAndCharset) {
    FontList list;
    Report(list, L"Vector", OEM_CHARSET, 0, TMPF_VECTOR);                          // fixed pitch, vector, type 0
    Report(list, L"Outline", ANSI_CHARSET, TRUETYPE_FONTTYPE, kVariableTrueType);  // vector bit but TrueType
    Report(list, L"Bitmap", ANSI_CHARSET, RASTER_FONTTYPE, TMPF_FIXED_PITCH);
    Report(list, L"Device", ANSI_CHARSET, DEVICE_FONTTYPE, TMPF_FIXED_PITCH | TMPF_DEVICE);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].flags, Word(0, OEM_CHARSET, kVectorFont | kFixedPitchFont));
    EXPECT_EQ(FontFilterSet(list[0]), (TFontNameFilters{fnfVector, fnfFixedPitch}));
    EXPECT_EQ(list[1].flags, Word(TRUETYPE_FONTTYPE, ANSI_CHARSET));
    EXPECT_EQ(FontFilterSet(list[2]), (TFontNameFilters{fnfRaster}));
    EXPECT_EQ(FontFilterSet(list[3]), (TFontNameFilters{fnfDevice}));
}

TEST(FontEnumeration, SortIgnoresLetterCase) {
    FontList list = {{L"beta", 0}, {L"Alpha", 0}, {L"gamma", 0}, {L"ALPHA2", 0}, {L"Delta", 0}};
    SortFontList(list);
    EXPECT_EQ(Names(list), (std::vector<std::wstring>{L"Alpha", L"ALPHA2", L"beta", L"Delta", L"gamma"}));
}

TEST(FontEnumeration, PrinterMergeOrsSharedFontsAndInsertsPrinterOnlyOnesInOrder) {
    const FontList fonts = SampleFonts();
    const auto names = Names(fonts);
    EXPECT_TRUE(std::is_sorted(fonts.begin(), fonts.end(), [](const FontEntry& a, const FontEntry& b) {
        return CompareFontNames(a.name, b.name) < 0;
    }));
    const auto at = [&](const wchar_t* name) {
        return static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin());
    };
    ASSERT_LT(at(L"Shared"), static_cast<int>(fonts.size()));
    ASSERT_LT(at(L"PrinterOnly"), static_cast<int>(fonts.size()));

    const FontEntry& shared = fonts[static_cast<size_t>(at(L"Shared"))];
    EXPECT_EQ(shared.flags, Word(TRUETYPE_FONTTYPE | DEVICE_FONTTYPE, ANSI_CHARSET, kOnPrinterFont));
    EXPECT_FALSE(IsPrinterOnly(fonts, at(L"Shared")));
    EXPECT_EQ(FontFilterSet(fonts, at(L"Shared")), (TFontNameFilters{fnfDevice, fnfTrueType, fnfPrinter}));

    const FontEntry& printerOnly = fonts[static_cast<size_t>(at(L"PrinterOnly"))];
    EXPECT_EQ(printerOnly.flags, Word(DEVICE_FONTTYPE, ANSI_CHARSET, kOnPrinterFont | kPrinterOnlyFont));
    EXPECT_TRUE(IsPrinterOnly(fonts, at(L"PrinterOnly")));
    EXPECT_EQ(fonts.size(), 10u);
}

TEST(FontEnumeration, PrinterMergeKeepsTheScreenCharsetOfASharedFace) {
    FontList screen = {{L"Gothic", Word(TRUETYPE_FONTTYPE, SHIFTJIS_CHARSET)}};
    MergePrinterFonts(screen, {{L"GOTHIC", Word(DEVICE_FONTTYPE, SYMBOL_CHARSET)}});
    ASSERT_EQ(screen.size(), 1u);
    EXPECT_TRUE(FontFilterSet(screen[0]).Has(fnfJapanese));
    EXPECT_FALSE(FontFilterSet(screen[0]).Has(fnfSymbolFont));
}

TEST(FontKinds, EveryKindAndIndicesOutsideTheList) {
    const FontList fonts = {
        {L"@Vertical", Word(TRUETYPE_FONTTYPE, SHIFTJIS_CHARSET)},
        {L"Sym", Word(TRUETYPE_FONTTYPE, SYMBOL_CHARSET)},
    };
    EXPECT_EQ(FontFilterSet(fonts, 0), (TFontNameFilters{fnfTrueType, fnfJapanese, fnfLyingFont}));
    EXPECT_EQ(FontFilterSet(fonts, 1), (TFontNameFilters{fnfTrueType, fnfSymbolFont}));
    EXPECT_TRUE(FontFilterSet(fonts, -1).Empty());
    EXPECT_TRUE(FontFilterSet(fonts, 2).Empty());
    EXPECT_FALSE(IsPrinterOnly(fonts, -1));
    EXPECT_FALSE(IsPrinterOnly(fonts, 2));
}

TEST(FontFilter, DefaultCollectListsAllButVerticalFontsAndCountsSharedFontsAsScreenFonts) {
    const auto names = Filter(SampleFonts(), kDefaultCollect);
    EXPECT_FALSE(Has(names, L"@ＭＳ ゴシック"));
    for (const wchar_t* n : {L"Arial", L"ＭＳ ゴシック", L"ＭＳ Ｐゴシック", L"Symbol", L"System", L"Terminal",
                             L"Modern", L"Shared", L"PrinterOnly"})
        EXPECT_TRUE(Has(names, n)) << n;
}

TEST(FontFilter, DialogCollectLeavesOutSymbolPrinterOnlyAndVerticalFonts) {
    const auto names = Filter(SampleFonts(), kDialogCollect);
    EXPECT_FALSE(Has(names, L"Symbol"));
    EXPECT_FALSE(Has(names, L"PrinterOnly"));
    EXPECT_FALSE(Has(names, L"@ＭＳ ゴシック"));
    EXPECT_TRUE(Has(names, L"Shared")) << "the screen has it: the printer attribute does not count";
    EXPECT_TRUE(Has(names, L"Modern"));
    EXPECT_TRUE(Has(names, L"Terminal"));
    EXPECT_TRUE(Has(names, L"ＭＳ ゴシック"));
}

TEST(FontFilter, LyingFontListsVerticalFonts) {
    TFontNameFilters collect = kDefaultCollect;
    collect.Include(fnfLyingFont);
    EXPECT_TRUE(Has(Filter(SampleFonts(), collect), L"@ＭＳ ゴシック"));
}

TEST(FontFilter, TechnologyMustBeCollected) {
    const auto names = Filter(SampleFonts(), {fnfTrueType, fnfJapanese, fnfFixedPitch, fnfSymbolFont, fnfPrinter});
    EXPECT_FALSE(Has(names, L"System"));
    EXPECT_FALSE(Has(names, L"Modern"));
    EXPECT_FALSE(Has(names, L"PrinterOnly")) << "a device font";
    EXPECT_TRUE(Has(names, L"Shared")) << "TrueType on the screen";
    EXPECT_TRUE(Has(names, L"Arial"));
}

TEST(FontFilter, ExclusiveKindsMustAllBePresent) {
    EXPECT_EQ(Set(Filter(SampleFonts(), kDefaultCollect, {fnfJapanese})), Set({L"ＭＳ ゴシック", L"ＭＳ Ｐゴシック"}));
    EXPECT_EQ(Filter(SampleFonts(), kDefaultCollect, {fnfJapanese, fnfFixedPitch}),
              (std::vector<std::wstring>{L"ＭＳ ゴシック"}));
    EXPECT_EQ(Filter(SampleFonts(), kDefaultCollect, {fnfRaster}), (std::vector<std::wstring>{L"System", L"Terminal"}));
    EXPECT_EQ(Filter(SampleFonts(), kDefaultCollect, {fnfPrinter}), (std::vector<std::wstring>{L"PrinterOnly"}))
        << "fonts the screen has lose the printer kind before the test";
}

TEST(FontFilter, VisibleNamesBypassTheFiltersAndInvisibleNamesAreDropped) {
    const auto names =
        Filter(SampleFonts(), kDialogCollect, {fnfJapanese}, {L"symbol", L"@ＭＳ ゴシック"}, {L"ＭＳ Ｐゴシック"});
    EXPECT_EQ(Set(names), Set({L"@ＭＳ ゴシック", L"ＭＳ ゴシック", L"Symbol"}));
}

TEST(ModuleFontList, IsBuiltOnceSortedWithTheIconsAndNoPrinterFontsWithoutAPrinter) {
    const FontModule& module = ModuleFonts();
    EXPECT_EQ(&module, &ModuleFonts());
    ASSERT_FALSE(module.fonts.empty());
    EXPECT_TRUE(std::is_sorted(module.fonts.begin(), module.fonts.end(), [](const FontEntry& a, const FontEntry& b) {
        return CompareFontNames(a.name, b.name) < 0;
    }));
    EXPECT_NE(module.trueTypeIcon, nullptr);
    EXPECT_NE(module.deviceTypeIcon, nullptr);
    BITMAP info{};
    ASSERT_EQ(::GetObjectW(module.trueTypeIcon.get(), sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 16);
    EXPECT_EQ(info.bmHeight, 16);

    DWORD needed = 0;
    ::GetDefaultPrinterW(nullptr, &needed);
    if (needed == 0) {
        EXPECT_TRUE(std::none_of(module.fonts.begin(), module.fonts.end(),
                                 [](const FontEntry& e) { return (e.flags & kOnPrinterFont) != 0; }));
    }
    EXPECT_TRUE(std::any_of(module.fonts.begin(), module.fonts.end(),
                            [](const FontEntry& e) { return FontFilterSet(e).Has(fnfTrueType); }));
}
