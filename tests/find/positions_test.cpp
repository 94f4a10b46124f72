// The search routine: case-blind as the user's locale compares, hits never overlap, never half a surrogate pair,
// and hit for hit the same as comparing the pattern with every candidate position.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/finder.h"

using app::findPositions;
using Hits = std::vector<long>;

namespace {

bool High(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool Low(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The definition of a hit, one comparison call per candidate position: equal as CompareStringW with the user's
// default locale and NORM_IGNORECASE over the pattern's length, never ending inside a surrogate pair; a hit
// skips its length, anything else one character.
Hits Reference(std::wstring_view text, std::wstring_view pattern) {
    Hits hits;
    const size_t n = pattern.size();
    if (n == 0) return hits;
    for (size_t i = 0; i + n <= text.size();) {
        const size_t end = i + n;
        const bool endsInsidePair = end < text.size() && High(text[end - 1]) && Low(text[end]);
        if (!endsInsidePair &&
            ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, text.data() + i, static_cast<int>(n), pattern.data(),
                             static_cast<int>(n)) == CSTR_EQUAL) {
            hits.push_back(static_cast<long>(i));
            i += n;
        } else {
            i += High(text[i]) && i + 1 < text.size() && Low(text[i + 1]) ? 2 : 1;
        }
    }
    return hits;
}

// Pieces of generated text, each one character (sometimes two units): the scripts whose case the locale folds,
// the forms it keeps apart, and the characters whose comparison depends on their neighbours.
const std::vector<std::wstring>& Pieces() {
    static const std::vector<std::wstring> pieces = {
        // Latin, single-byte and full-width, and accented
        L"a", L"A", L"b", L"B", L"c", L"C", L"s", L"S", L"e", L"E", L"ａ", L"Ａ", L"ｂ", L"Ｂ", L"é", L"É", L"è", L"à",
        L"À", L"ç", L"Ç", L"ö", L"Ö", L"ñ", L"1", L"１",
        // Greek and Cyrillic of code page 932
        L"α", L"Α", L"β", L"Β", L"σ", L"Σ", L"ω", L"Ω", L"д", L"Д", L"ж", L"Ж", L"ё", L"Ё",
        // kana, full and half width, kanji
        L"あ", L"い", L"か", L"が", L"ぁ", L"ア", L"イ", L"カ", L"ガ", L"ァ", L"ｱ", L"ｲ", L"ｶ", L"ﾞ", L"漢", L"字",
        L"日", L"本",
        // outside the basic plane
        L"😀", L"😁", L"\U00020000", L"\U0001D400",
        // repeat and prolonged-sound marks, and characters that combine, vanish or expand
        L"ー", L"ｰ", L"々", L"ゝ", L"ヽ", L"-", L"'", L"\u0301", L"\u3099", L"\u00AD", L"ß", L"æ", L"\uFEFF",
        // blanks and paragraph breaks
        L" ", L"\r", L"　"};
    return pieces;
}

// Toggles the case of what the locale can fold, so that patterns differ from the text they are taken from.
std::wstring ToggledCase(std::wstring s, std::mt19937& rng) {
    for (wchar_t& c : s) {
        if (rng() % 2) continue;
        wchar_t up = c, low = c;
        ::LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, &c, 1, &up, 1);
        ::LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_LOWERCASE, &c, 1, &low, 1);
        c = c == up ? low : up;
    }
    return s;
}

}  // namespace

TEST(FindPositions, IgnoresLetterCaseOfLatinGreekAndCyrillic) {
    EXPECT_EQ(findPositions(L"Abc abc ABC", L"abc"), (Hits{0, 4, 8}));
    EXPECT_EQ(findPositions(L"ａｂｃ ＡＢＣ", L"Ａｂｃ"), (Hits{0, 4}));
    EXPECT_EQ(findPositions(L"αβγ ΑΒΓ", L"αβγ"), (Hits{0, 4}));
    EXPECT_EQ(findPositions(L"Дом дом ДОМ", L"дом"), (Hits{0, 4, 8}));
    EXPECT_EQ(findPositions(L"Éte éte", L"éTE"), (Hits{0, 4}));
}

TEST(FindPositions, KeepsWidthsAndKanaKindsApart) {
    EXPECT_EQ(findPositions(L"abc ａｂｃ", L"abc"), (Hits{0}));
    EXPECT_EQ(findPositions(L"abc ａｂｃ", L"ＡＢＣ"), (Hits{4}));
    EXPECT_EQ(findPositions(L"あいう アイウ ｱｲｳ", L"アイウ"), (Hits{4}));
    EXPECT_EQ(findPositions(L"あいう アイウ ｱｲｳ", L"あいう"), (Hits{0}));
    EXPECT_EQ(findPositions(L"あいう アイウ ｱｲｳ", L"ｱｲｳ"), (Hits{8}));
    EXPECT_EQ(findPositions(L"e é", L"e"), (Hits{0}));
}

TEST(FindPositions, HitsNeverOverlap) {
    EXPECT_EQ(findPositions(L"aaaa", L"aa"), (Hits{0, 2}));
    EXPECT_EQ(findPositions(L"aaaaa", L"AA"), (Hits{0, 2}));
    EXPECT_EQ(findPositions(L"ababab", L"aba"), (Hits{0}));
    EXPECT_EQ(findPositions(L"漢漢漢", L"漢漢"), (Hits{0}));
}

TEST(FindPositions, EmptyOrLongerPatternFindsNothing) {
    EXPECT_TRUE(findPositions(L"abc", L"").empty());
    EXPECT_TRUE(findPositions(L"", L"a").empty());
    EXPECT_TRUE(findPositions(L"ab", L"abc").empty());
    EXPECT_EQ(findPositions(L"abc", L"ABC"), (Hits{0}));
}

TEST(FindPositions, NeverHalfASurrogatePair) {
    // The low half of one pair and the high half of the next: they never form a hit.
    EXPECT_TRUE(findPositions(L"😀😀", L"\xDE00\xD83D").empty());
    // The high half alone would end inside the pair, the low half alone would start inside it.
    EXPECT_TRUE(findPositions(L"x😀y", L"x\xD83D").empty());
    EXPECT_TRUE(findPositions(L"x😀y", L"\xDE00y").empty());
    // Whole pairs are found, and positions after them count both units.
    EXPECT_EQ(findPositions(L"😀abc😀ABC", L"abc"), (Hits{2, 7}));
    EXPECT_EQ(findPositions(L"a😀b😀", L"😀"), (Hits{1, 4}));
    EXPECT_EQ(findPositions(L"\U00020000漢\U00020000漢", L"\U00020000漢"), (Hits{0, 3}));
    // A lone half is a character of its own.
    EXPECT_EQ(findPositions(std::wstring(L"\xD83Dx\xD83Dx"), L"\xD83Dx"), (Hits{0, 2}));
}

TEST(FindPositions, EveryHitIsFoundHoweverMany) {
    std::wstring text;
    for (int i = 0; i < 5000; ++i) text += i % 2 ? L"本ABc " : L"本abc ";
    const Hits hits = findPositions(text, L"abc");
    ASSERT_EQ(hits.size(), 5000u);
    for (size_t i = 0; i < hits.size(); ++i) EXPECT_EQ(hits[i], static_cast<long>(i * 5 + 1));
}

TEST(FindPositions, NeighbourDependentCharactersFollowTheLocaleComparison) {
    // Expansions, combining marks, ignorable characters, positional punctuation, repeat and prolonged marks:
    // whatever the locale says of these, the hits are those of the comparison.
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"ßs sß ss sss", L"sß"},
        {L"e\u0301 é e", L"é"},
        {L"a\u00ADb ab", L"ab"},
        {L"co-op coop", L"coop"},
        {L"カー カア カア", L"カア"},
        {L"漢々 漢漢", L"漢漢"},
        {L"aー aa", L"aa"},
        {L"aa aー", L"aー"},
        {L"ーー カーー", L"ーー"},
        {L"don't dont", L"on't"},
        {L"か\u3099 が", L"が"},
        {L"\uFEFFab ab", L"ab"},
        {L"æ ae", L"AE"},
        {L"ｶﾞ ガ ｶ", L"ｶﾞ"},
        {L"ー", L"ー"},
        {L"々々", L"々"},
        // windows that start with or hold such characters, against patterns without any
        {L"ß\u00AD ss", L"ss"},
        {L"e\u0301ß éss", L"éss"},
        {L"a\u00ADß ass", L"ASS"},
        {L"æ\u00AD ae", L"ae"},
        {L"\uFEFFß ss", L"SS"},
        {L"xaー xaa", L"xaa"},
        {L"漢々漢 漢漢漢", L"漢漢漢"}};
    for (const auto& [text, pattern] : cases) EXPECT_EQ(findPositions(text, pattern), Reference(text, pattern)) << text;
}

TEST(FindPositions, AgreesWithTheComparisonOnGeneratedTexts) {
    std::mt19937 rng(20240611);
    const auto& pieces = Pieces();
    int compared = 0;
    long totalHits = 0;
    for (int round = 0; round < 600; ++round) {
        // Texts from a few pieces repeat more, so patterns taken from them meet many hits and near-misses.
        std::vector<std::wstring> alphabet;
        if (round % 3 == 0) {
            // Dense in what expands, vanishes, combines or repeats, so that such windows equal plain patterns.
            alphabet = {L"s", L"S", L"ß", L"\u00AD", L"\uFEFF", L"e", L"é", L"\u0301", L"a", L"æ", L"ー", L"々", L"カ"};
        } else {
            const size_t kinds = 3 + rng() % 20;
            for (size_t k = 0; k < kinds; ++k) alphabet.push_back(pieces[rng() % pieces.size()]);
        }
        std::wstring text;
        const size_t length = 1 + rng() % 300;
        while (text.size() < length) text += alphabet[rng() % alphabet.size()];
        if (rng() % 10 == 0) text.insert(rng() % (text.size() + 1), 1, L'\xD83D');  // now and then a lone half

        for (int p = 0; p < 8; ++p) {
            std::wstring pattern;
            if (p < 5) {
                const size_t from = rng() % text.size();
                pattern = ToggledCase(text.substr(from, 1 + rng() % 6), rng);
            } else {
                const size_t len = 1 + rng() % 4;
                while (pattern.size() < len) pattern += alphabet[rng() % alphabet.size()];
            }
            const Hits expected = Reference(text, pattern);
            ASSERT_EQ(findPositions(text, pattern), expected) << "round " << round << " pattern " << p;
            totalHits += static_cast<long>(expected.size());
            ++compared;
        }
    }
    EXPECT_EQ(compared, 4800);
    EXPECT_GT(totalHits, 4800);  // the comparison is about hits, not only about misses
}

TEST(FindPositions, AgreesWithTheComparisonOnLongMostlyPlainText) {
    // Long stretches of plain Japanese and Latin text with the odd neighbour-dependent character: the fast path
    // and the windows around those characters must join up into one forward pass.
    std::mt19937 rng(7);
    const std::wstring words[] = {L"日本語の", L"テキスト", L"abc", L"ABC", L"Abc ", L"コーヒー", L"々", L"co-op",
                                  L"\r",       L"ab",       L"c",   L"ｱﾞ",  L"😀",    L"ßs",       L"é"};
    std::wstring text;
    while (text.size() < 20000) text += words[rng() % std::size(words)];
    for (const std::wstring pattern :
         {L"abc", L"ABCABC", L"c日", L"コーヒー", L"ーヒ", L"テキスト", L"sß", L"b", L"😀a"})
        EXPECT_EQ(findPositions(text, pattern), Reference(text, pattern)) << pattern;
}

TEST(PatternFinder, EachTextOfARowGetsTheHitsItWouldGetAlone) {
    // What the finder learns of one text must not leak into the next: long texts then short ones, texts with
    // characters only the comparison can judge and texts without, and texts shorter than the pattern.
    std::mt19937 rng(11);
    const auto& pieces = Pieces();
    for (const std::wstring pattern : {L"ab", L"ーヒ", L"ss", L"\u00ADa", L"日本", L"ー"}) {
        app::PatternFinder finder(pattern);
        for (int round = 0; round < 60; ++round) {
            std::wstring text;
            const size_t length = round % 7 == 0 ? 1 : rng() % (round % 2 ? 40 : 400);
            while (text.size() < length) text += rng() % 5 ? pieces[rng() % pieces.size()] : pattern;
            ASSERT_EQ(finder.In(text), Reference(text, pattern)) << "round " << round;
        }
        EXPECT_TRUE(finder.In(L"").empty());
    }
    EXPECT_TRUE(app::PatternFinder(L"").In(L"anything").empty());
}
