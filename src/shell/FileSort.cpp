#include "shell/FileSort.h"

#include <algorithm>
#include <string>
#include <vector>

namespace shell {
namespace {

int Sign(ULONGLONG a, ULONGLONG b) noexcept {
    return a < b ? -1 : (a > b ? 1 : 0);
}

// The user's order of two texts under CompareString's flags.
int CompareTexts(const std::wstring& a, const std::wstring& b, DWORD flags) noexcept {
    const int r = ::CompareStringW(LOCALE_USER_DEFAULT, flags, a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                   static_cast<int>(b.size()));
    if (r != 0) return r - CSTR_EQUAL;
    return a < b ? -1 : (a > b ? 1 : 0);  // flags the system does not know: still one order
}

DWORD NameFlags(NameOrder order) noexcept {
    return order == NameOrder::Numbers ? NORM_IGNORECASE | SORT_DIGITSASNUMBERS : NORM_IGNORECASE;
}

// The name as it reads in the system's code page: what the code page lacks becomes "?", and "ä" reads "a".
std::wstring CodePageName(const std::wstring& name) {
    const int length = static_cast<int>(name.size());
    const int n = ::WideCharToMultiByte(CP_ACP, 0, name.c_str(), length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string narrow(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, name.c_str(), length, narrow.data(), n, nullptr, nullptr);
    const int w = ::MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), n, nullptr, 0);
    std::wstring wide(static_cast<size_t>(std::max(w, 0)), L'\0');
    if (w > 0) ::MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), n, wide.data(), w);
    return wide;
}

// Bytes whose order is the system's order of the texts under CompareString's flags.
std::string SortKey(const std::wstring& text, DWORD flags) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int bytes = ::LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | flags, text.c_str(), length, nullptr, 0);
    if (bytes <= 0) return {};
    std::string key(static_cast<size_t>(bytes), '\0');
    ::LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | flags, text.c_str(), length,
                   reinterpret_cast<LPWSTR>(key.data()), bytes);
    return key;
}

// Virtual items first (the shell lists its special places before the disk's entries), then folders, then files.
int NameGroup(const FileRow& row) noexcept {
    if (!row.hasFindData) return 0;
    return row.SortsAsFolder() ? 1 : 2;
}

// The groups and the ranks; 0 leaves it to the names.
int CompareGroups(const FileRow& a, const FileRow& b) noexcept {
    const int ga = NameGroup(a), gb = NameGroup(b);
    if (ga != gb) return ga < gb ? -1 : 1;
    if (ga == 0 && a.shellRank != b.shellRank) return a.shellRank < b.shellRank ? -1 : 1;
    return 0;
}

std::vector<size_t> Positions(size_t count) {
    std::vector<size_t> positions(count);
    for (size_t i = 0; i < count; ++i) positions[i] = i;
    return positions;
}

void Permute(Rows& rows, const std::vector<size_t>& order) {
    Rows sorted;
    sorted.reserve(rows.size());
    for (size_t i : order) sorted.push_back(std::move(rows[i]));
    rows.swap(sorted);
}

// By name: each name's sort key is taken once and the keys are sorted. The keys stand for the system's comparison
// of the names; where they do not (a system whose keys and comparison part ways for some script), the comparison
// itself decides, and the neighbours of the sort show which.
void SortByNames(Rows& rows, SortOrder order, std::vector<std::string> keys) {
    const DWORD flags = NameFlags(order.names);
    std::vector<std::wstring> converted;
    if (order.names == NameOrder::CodePage) {
        converted.resize(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) converted[i] = CodePageName(rows[i]->name);
    }
    auto name = [&](size_t i) -> const std::wstring& { return converted.empty() ? rows[i]->name : converted[i]; };
    if (keys.size() != rows.size()) {
        keys.assign(rows.size(), std::string());
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i]->hasFindData) keys[i] = SortKey(name(i), flags);
    }
    std::vector<size_t> sorted = Positions(rows.size());
    std::stable_sort(sorted.begin(), sorted.end(), [&](size_t a, size_t b) {
        int r = CompareGroups(*rows[a], *rows[b]);
        if (r == 0) r = keys[a] < keys[b] ? -1 : (keys[b] < keys[a] ? 1 : 0);
        return r * order.direction < 0;
    });
    bool agrees = true;
    for (size_t k = 1; k < sorted.size() && agrees; ++k) {
        const size_t a = sorted[k - 1], b = sorted[k];
        if (NameGroup(*rows[a]) != 0 && CompareGroups(*rows[a], *rows[b]) == 0)
            agrees = CompareTexts(name(a), name(b), flags) * order.direction <= 0;
    }
    if (!agrees) {
        sorted = Positions(rows.size());
        std::stable_sort(sorted.begin(), sorted.end(), [&](size_t a, size_t b) {
            int r = CompareGroups(*rows[a], *rows[b]);
            if (r == 0) r = CompareTexts(name(a), name(b), flags);
            return r * order.direction < 0;
        });
    }
    Permute(rows, sorted);
}

// By type: the few type names are put in order once, and the rows by the places of their types.
void SortByTypes(Rows& rows, int direction) {
    static const std::wstring kNone;
    auto text = [](const FileType* type) -> const std::wstring& { return type ? type->name : kNone; };
    std::vector<const FileType*> types;
    for (const SharedRow& row : rows) types.push_back(row->type.get());
    std::sort(types.begin(), types.end());
    types.erase(std::unique(types.begin(), types.end()), types.end());
    std::stable_sort(types.begin(), types.end(),
                     [&](const FileType* a, const FileType* b) { return CompareTexts(text(a), text(b), 0) < 0; });
    // Types whose names compare equal share one place.
    std::vector<int> places(types.size());
    for (size_t t = 1; t < types.size(); ++t)
        places[t] = CompareTexts(text(types[t - 1]), text(types[t]), 0) == 0 ? places[t - 1] : static_cast<int>(t);
    std::vector<int> place(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto at = std::find(types.begin(), types.end(), rows[i]->type.get());
        place[i] = places[static_cast<size_t>(at - types.begin())];
    }
    std::vector<size_t> sorted = Positions(rows.size());
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](size_t a, size_t b) { return (place[a] - place[b]) * direction < 0; });
    Permute(rows, sorted);
}

// A stable merge sort that stays within its ranges whatever the comparison answers, so that it may ask a folder
// whose answers need not form one order.
template <class Less>
void MergeSort(std::vector<size_t>& items, Less less) {
    std::vector<size_t> merged(items.size());
    for (size_t width = 1; width < items.size(); width *= 2) {
        for (size_t low = 0; low < items.size(); low += 2 * width) {
            const size_t middle = std::min(low + width, items.size());
            const size_t high = std::min(low + 2 * width, items.size());
            std::merge(
                items.begin() + static_cast<std::ptrdiff_t>(low), items.begin() + static_cast<std::ptrdiff_t>(middle),
                items.begin() + static_cast<std::ptrdiff_t>(middle), items.begin() + static_cast<std::ptrdiff_t>(high),
                merged.begin() + static_cast<std::ptrdiff_t>(low), less);
        }
        items.swap(merged);
    }
}

// How often the folder says that neighbours of a sort by the names stand the wrong way round, and how often it
// confirms them. Only the disk's entries take part: virtual items are ranked by the folder itself.
struct Verdict {
    int disagreements = 0;
    int agreements = 0;
};

Verdict Judge(IShellFolder* folder, const Rows& rows, NameOrder order) {
    Rows sorted;
    for (const SharedRow& row : rows)
        if (row->hasFindData && row->item) sorted.push_back(row);
    SortRows(sorted, SortOrder{0, 1, order});
    Verdict verdict;
    for (size_t k = 1; k < sorted.size(); ++k) {
        const FileRow& a = *sorted[k - 1];
        const FileRow& b = *sorted[k];
        if (NameGroup(a) != NameGroup(b)) continue;
        const HRESULT hr = folder->CompareIDs(0, a.item.get(), b.item.get());
        if (FAILED(hr)) continue;
        const short said = static_cast<short>(HRESULT_CODE(hr));
        if (said > 0) ++verdict.disagreements;
        if (said < 0) ++verdict.agreements;
    }
    return verdict;
}

}  // namespace

int CompareRows(const FileRow& a, const FileRow& b, SortOrder order) {
    int r = 0;
    switch (order.column) {
        case 0:
            r = CompareGroups(a, b);
            if (r != 0) break;
            if (order.names == NameOrder::CodePage) {
                r = CompareTexts(CodePageName(a.name), CodePageName(b.name), NameFlags(order.names));
            } else {
                r = CompareTexts(a.name, b.name, NameFlags(order.names));
            }
            break;
        case 1:  // by value, as the zero-padded size texts order them, without their length limit
            r = Sign(a.hasFindData ? a.size : 0, b.hasFindData ? b.size : 0);
            break;
        case 2:
            if (a.type != b.type) {
                static const std::wstring kNone;
                r = CompareTexts(a.type ? a.type->name : kNone, b.type ? b.type->name : kNone, 0);
            }
            break;
        case 3:  // by the time itself: the text's two-digit year would put 1999 after 2024
            r = Sign(a.Time(), b.Time());
            break;
        default:  // the fifth column shows nothing to order by
            return 0;
    }
    return r * order.direction;
}

std::string NameKey(const std::wstring& name, NameOrder order) {
    return SortKey(order == NameOrder::CodePage ? CodePageName(name) : name, NameFlags(order));
}

void SortRows(Rows& rows, SortOrder order, std::vector<std::string> nameKeys) {
    if (order.column < 0 || order.column > 3) return;
    if (order.column == 0) return SortByNames(rows, order, std::move(nameKeys));
    if (order.column == 2) return SortByTypes(rows, order.direction);
    std::stable_sort(rows.begin(), rows.end(),
                     [order](const SharedRow& a, const SharedRow& b) { return CompareRows(*a, *b, order) < 0; });
}

Rows MergeRows(Rows sorted, Rows added, SortOrder order) {
    SortRows(added, order);
    Rows merged;
    merged.reserve(sorted.size() + added.size());
    std::merge(std::make_move_iterator(sorted.begin()), std::make_move_iterator(sorted.end()),
               std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()), std::back_inserter(merged),
               [order](const SharedRow& a, const SharedRow& b) { return CompareRows(*a, *b, order) < 0; });
    return merged;
}

void RankShellItems(IShellFolder* folder, Rows& rows) {
    std::vector<size_t> items;
    for (size_t i = 0; i < rows.size(); ++i)
        if (!rows[i]->hasFindData) items.push_back(i);
    if (items.empty()) return;
    MergeSort(items, [&](size_t a, size_t b) {
        const FileRow& x = *rows[a];
        const FileRow& y = *rows[b];
        const HRESULT hr = folder ? folder->CompareIDs(0, x.item.get(), y.item.get()) : E_FAIL;
        if (SUCCEEDED(hr)) return static_cast<short>(HRESULT_CODE(hr)) < 0;
        if (x.SortsAsFolder() != y.SortsAsFolder()) return x.SortsAsFolder();
        return CompareTexts(x.name, y.name, NORM_IGNORECASE) < 0;
    });
    for (size_t rank = 0; rank < items.size(); ++rank) rows[items[rank]]->shellRank = static_cast<int>(rank);
}

std::optional<NameOrder> LearnNameOrder(IShellFolder* folder, const Rows& rows, NameOrder first) {
    if (!folder) return std::nullopt;
    const Verdict kept = Judge(folder, rows, first);
    if (kept.disagreements == 0) {
        if (kept.agreements == 0) return std::nullopt;
        return first;
    }
    NameOrder best = first;
    int fewest = kept.disagreements;
    for (NameOrder other : {NameOrder::Text, NameOrder::Numbers, NameOrder::CodePage}) {
        if (other == first) continue;
        const Verdict tried = Judge(folder, rows, other);
        if (tried.disagreements >= fewest) continue;
        best = other;
        fewest = tried.disagreements;
        if (fewest == 0) break;
    }
    return best;
}

}  // namespace shell
