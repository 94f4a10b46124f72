#include "app/finder.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "ui/prompt.h"
#include "ui/text.h"
#include "ui/texts.h"

namespace app {
namespace {

// How a hit is decided. A hit is where CompareStringW, with the user's default locale and NORM_IGNORECASE, finds
// the pattern equal to the text over the pattern's length; calling it at every position is far too slow for large
// documents. Instead every code unit gets a token from its case-blind sort key. A plain unit is one whose key is
// a single primary weight with no special weight: units with equal keys share a token, and on windows made only
// of plain units the comparison goes position by position, so equal tokens mean equal windows. Two other kinds of
// unit exist. A context unit (ー, 々, ゝ and the like) carries one primary weight taken from the unit before it,
// and weighs FFFF when nothing precedes it. An opaque unit is everything else: ignorable characters, combining
// marks, expansions such as ß, punctuation with positional weights; around those only the call itself can tell.
//
// Since every plain and context unit carries exactly one primary weight, and comes first in its window's weights,
// a window can only equal a pattern that does not start with an opaque unit when its own first unit has the
// pattern's first primary weight, or is opaque; the search looks closer at those starts alone. Nothing is copied:
// tokens are looked up as the text is read, and only for the units the text holds.

constexpr wchar_t kContext = 0xFFFE;
constexpr wchar_t kOpaque = 0xFFFF;
// Plain units get class numbers from 1 up; there are fewer classes than code units, so they stay below kContext.
constexpr unsigned kStartWeightOfContext = 0xFFFF;  // plain primary weights never begin with an FF byte
constexpr size_t kNone = static_cast<size_t>(-1);

bool IsHigh(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLow(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

bool SameText(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                            static_cast<int>(b.size())) == CSTR_EQUAL;
}

// The case-blind sort key, terminating zero byte included.
std::string SortKey(std::wstring_view s) {
    std::string key(32, '\0');
    const auto map = [&](std::string& out) {
        return ::LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, s.data(),
                              static_cast<int>(s.size()), reinterpret_cast<LPWSTR>(out.data()),
                              static_cast<int>(out.size()));
    };
    int n = map(key);
    if (n == 0 && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        key.assign(static_cast<size_t>(::LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, s.data(),
                                                      static_cast<int>(s.size()), nullptr, 0)),
                   '\0');
        n = map(key);
    }
    key.resize(static_cast<size_t>(std::max(n, 0)));
    return key;
}

// A sort key cut at its level separators: primary, diacritic, case, extra and special weights.
std::vector<std::string> KeyLevels(const std::string& key) {
    std::vector<std::string> levels(1);
    for (char b : key) {
        if (b == '\x01')
            levels.emplace_back();
        else
            levels.back().push_back(b);
    }
    return levels;
}

// Whether the comparison weighs a surrogate pair as its two units one after the other; only then may the units
// of a pair be plain units.
bool PairsWeighedByUnit() {
    for (const std::wstring_view pair : {L"\xD83D\xDE00", L"\xD840\xDC00"}) {
        const auto whole = KeyLevels(SortKey(pair));
        const auto high = KeyLevels(SortKey(pair.substr(0, 1)));
        const auto low = KeyLevels(SortKey(pair.substr(1, 1)));
        if (whole.size() != high.size() || whole.size() != low.size() || whole.size() < 2) return false;
        if (high[0].size() != 2 || low[0].size() != 2) return false;
        for (size_t i = 0; i + 1 < whole.size(); ++i)
            if (whole[i] != high[i] + low[i]) return false;
    }
    return true;
}

// Tokens of the code units met in one search. Made afresh for each search, and only for the units that occur,
// so that they follow the user's locale as it is at the time.
class Tokens {
public:
    Tokens() : tokens_(0x10000, 0), primaries_(0x10000, 0), pairsPlain_(PairsWeighedByUnit()) {
        primaries_[kContext] = kStartWeightOfContext;
    }

    wchar_t Of(wchar_t c) {
        const wchar_t t = tokens_[c];
        return t ? t : Classify(c);
    }
    // The primary weight of a token as the first unit of a window: 0 for opaque units.
    unsigned StartWeight(wchar_t token) const { return primaries_[token]; }

private:
    wchar_t Classify(wchar_t c) {
        wchar_t token = kOpaque;
        if (pairsPlain_ || !(IsHigh(c) || IsLow(c))) {
            const std::string key = SortKey(std::wstring_view(&c, 1));
            const auto byte = [&](size_t i) { return static_cast<unsigned char>(key[i]); };
            const bool oneWeight = key.find('\x01') == 2;
            const bool noSpecial = key.size() >= 2 && key[key.size() - 2] == '\x01' && key.back() == '\0';
            if (oneWeight && byte(0) == 0xFF && byte(1) == 0xFF) {
                token = kContext;
            } else if (oneWeight && byte(0) != 0xFF && noSpecial) {
                const auto [it, added] = classes_.try_emplace(key, static_cast<wchar_t>(classes_.size() + 1));
                token = it->second;
                if (added) primaries_[token] = static_cast<uint16_t>(byte(0) << 8 | byte(1));
            }
        }
        tokens_[c] = token;
        return token;
    }

    std::vector<wchar_t> tokens_;      // by code unit; 0 until classified
    std::vector<uint16_t> primaries_;  // by token
    std::unordered_map<std::string, wchar_t> classes_;
    bool pairsPlain_;
};

}  // namespace

// The search of one pattern. What it learns of the pattern and of the code units it meets serves every text it is
// run on after the first.
class PatternFinder::Search {
public:
    explicit Search(std::wstring_view pattern) : pattern_(pattern) {
        folded_.reserve(pattern_.size());
        for (wchar_t c : pattern_) {
            const wchar_t t = tokens_.Of(c);
            folded_.push_back(t);
            if (t == kOpaque) patternOpaque_ = true;
        }
        starts_.assign(0x10000, kUnknown);
    }

    size_t PatternLength() const noexcept { return pattern_.size(); }

    // Pattern not empty and not longer than the text.
    std::vector<long> Run(std::wstring_view text) {
        text_ = text;
        probe_ = 0;
        nextOpaque_ = kNone;
        return folded_[0] == kOpaque ? EveryPosition() : Starts();
    }

private:
    wchar_t Token(size_t i) { return tokens_.Of(text_[i]); }

    bool Boundary(size_t i) const { return i == 0 || i >= text_.size() || !(IsHigh(text_[i - 1]) && IsLow(text_[i])); }

    bool Compare(size_t s) const { return SameText(text_.substr(s, pattern_.size()), pattern_); }

    // Whether [from, end) holds an opaque unit. Asked with from never decreasing, so each unit is looked at once.
    bool OpaqueIn(size_t from, size_t end) {
        if (nextOpaque_ != kNone && nextOpaque_ < from) nextOpaque_ = kNone;
        if (nextOpaque_ == kNone) {
            for (probe_ = std::max(probe_, from); probe_ < end; ++probe_) {
                if (Token(probe_) == kOpaque) {
                    nextOpaque_ = probe_++;
                    break;
                }
            }
        }
        return nextOpaque_ != kNone && nextOpaque_ < end;
    }

    // Whether the window at s is a hit.
    bool Decide(size_t s) {
        const size_t n = pattern_.size();
        if (!Boundary(s) || !Boundary(s + n)) return false;
        if (patternOpaque_ || OpaqueIn(s, s + n)) return Compare(s);
        // Plain and context units only: one primary weight each, so the two sides line up position by position.
        bool context = false;
        bool differ = false;
        for (size_t k = 0; k < n; ++k) {
            const wchar_t a = Token(s + k);
            const wchar_t b = folded_[k];
            if (a == b && a != kContext) continue;
            if (a == kContext || b == kContext) {
                if (k == 0 && a != b) return false;  // FFFF against a plain weight
                context = true;
                continue;
            }
            if (tokens_.StartWeight(a) != tokens_.StartWeight(b)) return false;
            differ = true;
        }
        if (!context && differ) return false;
        // Equal tokens are confirmed by the call too: cheap at a hit, and exact even where a locale sorts in a way
        // the tokens do not foresee. Context units get their weights from their neighbours: only the call knows.
        return Compare(s);
    }

    // Whether a window starting with unit c can be a hit: its first primary weight is the pattern's, or it is
    // opaque. Kept per code unit so that the pass over the text is one small table look-up per unit.
    enum Start : unsigned char { kUnknown, kNever, kMaybe };

    Start StartOf(wchar_t c, unsigned first) {
        const wchar_t t = tokens_.Of(c);
        const Start start = tokens_.StartWeight(t) == first || t == kOpaque ? kMaybe : kNever;
        starts_[c] = start;
        return start;
    }

    std::vector<long> Starts() {
        std::vector<long> hits;
        const size_t n = pattern_.size();
        const size_t lastStart = text_.size() - n;
        const unsigned first = tokens_.StartWeight(folded_[0]);
        const wchar_t* text = text_.data();
        const Start* starts = starts_.data();
        for (size_t i = 0; i <= lastStart;) {
            while (i + 4 <= lastStart && starts[text[i]] == kNever && starts[text[i + 1]] == kNever &&
                   starts[text[i + 2]] == kNever && starts[text[i + 3]] == kNever)
                i += 4;
            Start start = starts[text[i]];
            if (start == kUnknown) start = StartOf(text[i], first);
            if (start == kMaybe && Decide(i)) {
                hits.push_back(static_cast<long>(i));
                i += n;
            } else {
                ++i;  // a start inside a surrogate pair is no boundary, and Decide refuses it
            }
        }
        return hits;
    }

    // A pattern that starts with an opaque unit: the call at every character position.
    std::vector<long> EveryPosition() const {
        std::vector<long> hits;
        const size_t n = pattern_.size();
        for (size_t i = 0; i + n <= text_.size();) {
            if (Boundary(i + n) && Compare(i)) {
                hits.push_back(static_cast<long>(i));
                i += n;
            } else {
                i += IsHigh(text_[i]) && i + 1 < text_.size() && IsLow(text_[i + 1]) ? 2 : 1;
            }
        }
        return hits;
    }

    std::wstring_view text_;
    std::wstring pattern_;
    Tokens tokens_;
    std::wstring folded_;  // the pattern's tokens
    bool patternOpaque_ = false;
    std::vector<Start> starts_;  // by code unit; learnt once for every text
    size_t probe_ = 0;           // units before this were looked at for opaque ones
    size_t nextOpaque_ = kNone;
};

PatternFinder::PatternFinder(std::wstring_view pattern) {
    if (!pattern.empty()) search_ = std::make_unique<Search>(pattern);
}

PatternFinder::~PatternFinder() = default;

std::vector<long> PatternFinder::In(std::wstring_view text) {
    if (!search_ || search_->PatternLength() > text.size()) return {};
    return search_->Run(text);
}

namespace {

CHARFORMAT2W StyleFormat(COLORREF color, DWORD effects) {
    CHARFORMAT2W f = ui::MakeCharFormat(CFM_COLOR | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT);
    f.crTextColor = color;
    f.dwEffects = effects;
    return f;
}

// Redrawing suspended for the life of the scope, so that many selection and format changes are drawn once.
class UpdateSuspended {
public:
    explicit UpdateSuspended(ui::RichEdit& editor) : editor_(editor) { editor_.BeginUpdate(); }
    ~UpdateSuspended() { editor_.EndUpdate(); }
    UpdateSuspended(const UpdateSuspended&) = delete;
    UpdateSuspended& operator=(const UpdateSuspended&) = delete;

private:
    ui::RichEdit& editor_;
};

void Inform(HWND owner, const std::wstring& text) {
    ui::Ask(owner, text, MB_ICONINFORMATION | MB_OK);
}

}  // namespace

std::vector<long> findPositions(std::wstring_view text, std::wstring_view pattern) {
    if (pattern.empty() || pattern.size() > text.size()) return {};
    return PatternFinder(pattern).In(text);
}

CHARFORMAT2W MarkedFormat() {
    return StyleFormat(RGB(255, 0, 0), CFE_BOLD);
}

CHARFORMAT2W ClearedFormat() {
    return StyleFormat(RGB(0, 0, 0), 0);
}

bool faindtxt(HWND owner, ui::RichEdit* editor, const std::wstring& pattern, bool mark) {
    if (!editor || pattern.empty()) return false;
    const std::vector<long> hits = findPositions(editor->Text(), pattern);
    if (hits.empty()) return false;
    const long length = static_cast<long>(pattern.size());
    const bool modified = editor->Modified();
    {
        UpdateSuspended suspended(*editor);
        const CHARFORMAT2W format = mark ? MarkedFormat() : ClearedFormat();
        for (long at : hits) {
            editor->SelectWithoutScroll(at, at + length);
            editor->SetSelectionFormat(format);
        }
        editor->ScrollCaret();
    }
    editor->SetModified(modified);  // marks are not edits of the document
    if (mark) Inform(owner, ui::ToText(static_cast<long long>(hits.size())) + txt::kFoundCount);
    return true;
}

bool tikantxt(HWND owner, ui::RichEdit* editor, const std::wstring& pattern,
              const std::function<std::wstring()>& replacement) {
    if (!editor || pattern.empty()) return false;
    const std::vector<long> hits = findPositions(editor->Text(), pattern);
    if (hits.empty()) return false;
    const long length = static_cast<long>(pattern.size());
    {
        UpdateSuspended suspended(*editor);
        const CHARFORMAT2W format = ClearedFormat();
        // Last to first, so that each replacement leaves the positions of the hits before it where they were.
        for (auto it = hits.rbegin(); it != hits.rend(); ++it) {
            editor->SelectWithoutScroll(*it, *it + length);
            editor->SetSelectionFormat(format);
            editor->ReplaceSelection(replacement ? replacement() : std::wstring(), false);
        }
        editor->ScrollCaret();
    }
    editor->SetModified(true);
    Inform(owner, ui::ToText(static_cast<long long>(hits.size())) + txt::kReplacedCount);
    return true;
}

void KensakPress(HWND owner, ui::RichEdit* editor, int button, const std::wstring& findText) {
    if (button == kButtonLeft)
        faindtxt(owner, editor, findText, true);
    else if (button == kButtonRight)
        faindtxt(owner, editor, findText, false);
}

void TikanClick(HWND owner, ui::RichEdit* editor, const std::function<std::wstring()>& findText,
                const std::function<std::wstring()>& replaceText) {
    if (!editor) return;  // no document open: the command does nothing at all
    const std::wstring search = findText();
    if (search.empty()) Inform(owner, txt::kEnterSearchText);
    if (!faindtxt(owner, editor, search, true)) return;
    const std::wstring question = std::wstring(txt::kConfirmOpen) + search + txt::kConfirmSearchEnd + L"\r\n" +
                                  txt::kConfirmOpen + replaceText() + txt::kConfirmReplaceEnd + L"\r\n" +
                                  txt::kConfirmLast;
    if (ui::Ask(owner, question, MB_ICONWARNING | MB_YESNO) != IDYES) return;
    if (!tikantxt(owner, editor, findText(), replaceText)) Inform(owner, txt::kReplaceFailed);
}

}  // namespace app
