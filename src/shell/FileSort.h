// The order of the file list's rows, from what each row carries, so that a sort costs no call into the shell: the
// shell's name order (folders first, then the names as the shell compares them), sizes, type names and times.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "shell/FileRows.h"

namespace shell {

// How the shell compares names, letter case aside: digits as text ("file10" before "file2"), as numbers, or the
// names as they read in the system's code page (a shell that keeps 8-bit names: what the code page lacks reads as
// "?", and "ä" as "a").
enum class NameOrder : unsigned char { Text, Numbers, CodePage };

// A column (0 name, 1 size, 2 type, 3 date), a direction (+1 ascending, -1 descending), and the names' order.
struct SortOrder {
    int column = 0;
    int direction = 1;
    NameOrder names = NameOrder::Text;
    bool operator==(const SortOrder&) const = default;
};

// Negative, 0 or positive, by what the rows carry alone, never asking the shell: one order whatever it answers.
int CompareRows(const FileRow& a, const FileRow& b, SortOrder order);
// Stable: rows that the column does not tell apart keep their order. What a row sorts by is taken once per row; a
// sort by name may be handed the rows' name keys (NameKey, in the rows' order) taken beforehand.
void SortRows(Rows& rows, SortOrder order, std::vector<std::string> nameKeys = {});
// The bytes a name sorts by in the name order.
std::string NameKey(const std::wstring& name, NameOrder order);
// Rows already in the order, with a few more put in their places: no sort of all of them.
Rows MergeRows(Rows sorted, Rows added, SortOrder order);

// Ranks the entries that the directory listing does not know (virtual items) in the folder's own order, asked of
// the folder itself; where it cannot compare two of them, the folders come first and then the names.
void RankShellItems(IShellFolder* folder, Rows& rows);

// The name order the folder's own comparison follows, judged by the folder on the neighbours of a sort of the
// rows (one call per row, not one per comparison), the given order first; where none fits every pair, the one that
// fits most. nullopt while the folder has said nothing either way (fewer than two names it compares).
std::optional<NameOrder> LearnNameOrder(IShellFolder* folder, const Rows& rows, NameOrder first);

}  // namespace shell
