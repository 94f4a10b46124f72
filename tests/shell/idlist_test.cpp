// Item identifier lists: their layout, who owns what, names and the path operations on real folders.
#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shell/ShView.h"
#include "shell/shell_support.h"
#include "support/test_support.h"
#include "ui/text.h"

using namespace shell;
using shell_testing::AsList;
using shell_testing::BytesOf;
using shell_testing::CountingMalloc;
using shell_testing::FakeFolder;
using shell_testing::MakeList;

namespace {

std::wstring InFolderName(IShellFolder* folder, const ITEMIDLIST* item) {
    return GetDisplayName(folder, item, SHGDN_INFOLDER).value_or(L"<none>");
}

}  // namespace

TEST(IdList, SizesCountsAndStepsFollowTheByteLayout) {
    const auto empty = MakeList({});
    const auto one = MakeList({20});
    const auto two = MakeList({20, 14});
    const auto three = MakeList({20, 14, 9});

    EXPECT_EQ(IdListSize(nullptr), 0u);
    EXPECT_EQ(IdListSize(AsList(empty)), 2u);
    EXPECT_EQ(IdListSize(AsList(two)), 36u);
    EXPECT_EQ(CountItems(nullptr), 0);
    EXPECT_EQ(CountItems(AsList(empty)), 0);
    EXPECT_EQ(CountItems(AsList(three)), 3);

    EXPECT_EQ(NextItem(AsList(empty)), nullptr);
    EXPECT_EQ(NextItem(AsList(one)), nullptr);
    const ITEMIDLIST* second = NextItem(AsList(three));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(reinterpret_cast<const BYTE*>(second) - three.data(), 20);
    EXPECT_EQ(CountItems(second), 2);
}

TEST(IdList, CopiesSplitsAndJoinsMakeNewListsOfTheRightItems) {
    CountingMalloc counter;
    const auto empty = MakeList({});
    const auto three = MakeList({20, 14, 9});
    {
        EXPECT_EQ(CopyFirstItem(nullptr), nullptr);
        const UniqueIdList copyOfEmpty = CopyFirstItem(AsList(empty));
        ASSERT_NE(copyOfEmpty, nullptr);
        EXPECT_EQ(BytesOf(copyOfEmpty.get()), empty);
        EXPECT_EQ(BytesOf(CopyFirstItem(AsList(three)).get()), MakeList({20}));

        EXPECT_EQ(BytesOf(ConcatIdLists(nullptr, nullptr).get()), empty);
        EXPECT_EQ(BytesOf(ConcatIdLists(AsList(three), nullptr).get()), three);
        EXPECT_EQ(BytesOf(ConcatIdLists(nullptr, AsList(three)).get()), three);
        // Joined, the second list's items keep their own bytes after the first's.
        const auto joined = BytesOf(ConcatIdLists(AsList(MakeList({20})), AsList(MakeList({20, 14}))).get());
        ASSERT_EQ(joined.size(), 56u);
        EXPECT_EQ(joined[20], 20);
        EXPECT_EQ(joined[40], 14);

        EXPECT_EQ(ParentIdList(nullptr), nullptr);
        EXPECT_EQ(ParentIdList(AsList(MakeList({20}))), nullptr);  // absent, not the empty list
        EXPECT_EQ(BytesOf(ParentIdList(AsList(three)).get()), MakeList({20, 14}));

        EXPECT_EQ(LastItem(nullptr), nullptr);
        EXPECT_EQ(BytesOf(LastItem(AsList(empty)).get()), empty);
        const auto last = BytesOf(LastItem(AsList(three)).get());
        ASSERT_EQ(last.size(), 11u);
        EXPECT_EQ(last[0], 9);
        EXPECT_EQ(last[2], 3);  // the third item's own bytes

        const auto siblings = SplitSiblings(AsList(three), 3);
        ASSERT_EQ(siblings.size(), 3u);
        EXPECT_EQ(IdListSize(siblings[1].get()), 16u);
        EXPECT_TRUE(SplitSiblings(AsList(three), 4).empty());  // runs out first
    }
    EXPECT_TRUE(counter.live.empty()) << counter.live.size() << " lists never freed";
    EXPECT_FALSE(counter.AnyFreedTwice());
}

TEST(IdList, AnAllocatorThatRefusesGivesAbsentListsAndLosesNothing) {
    CountingMalloc counter;
    const auto two = MakeList({20, 14});
    UniqueIdList first = ConcatIdLists(AsList(two), nullptr);
    UniqueIdList second = CopyFirstItem(AsList(two));
    ASSERT_TRUE(first && second);
    const void* a = first.get();
    const void* b = second.get();
    counter.refuse = true;
    EXPECT_EQ(AllocIdList(10), nullptr);
    EXPECT_EQ(CopyFirstItem(AsList(two)), nullptr);
    // Consumed even when the join cannot be made.
    EXPECT_EQ(ConcatIdListsAndFree(std::move(first), std::move(second)), nullptr);
    EXPECT_EQ(counter.FreesOf(a), 1);
    EXPECT_EQ(counter.FreesOf(b), 1);
    EXPECT_TRUE(counter.live.empty());
}

TEST(IdList, AFolderThatCannotCompareNeverReportsEquality) {
    FakeFolder folder;
    const auto one = MakeList({20});
    folder.compareResult = E_FAIL;
    EXPECT_EQ(CompareIds(&folder, AsList(one), AsList(one)), -1);
    folder.compareResult = MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0xFFFF);  // -1 in the low 16 bits
    EXPECT_EQ(CompareIds(&folder, AsList(one), AsList(one)), -1);
    folder.compareResult = MAKE_HRESULT(SEVERITY_SUCCESS, 0, 3);
    EXPECT_EQ(CompareIds(&folder, AsList(one), AsList(one)), 3);
    folder.compareResult = S_OK;
    EXPECT_EQ(CompareIds(&folder, AsList(one), AsList(one)), 0);
    EXPECT_EQ(CompareIds(nullptr, AsList(one), AsList(one)), -1);
}

TEST(DisplayName, TheThreeAnswerFormsGiveTheSameName) {
    FakeFolder folder;
    // An item whose bytes hold the 8-bit name behind its count, for the offset form.
    std::vector<BYTE> item = {0, 0};
    const std::string ansi = "\x83\x81\x83\x82.txt";  // メモ.txt in code page 932, the shell's code page here
    item.insert(item.end(), ansi.begin(), ansi.end());
    item.push_back(0);
    item[0] = static_cast<BYTE>(item.size());
    item.push_back(0);
    item.push_back(0);

    folder.name.uType = STRRET_CSTR;
    std::memcpy(folder.name.cStr, ansi.c_str(), ansi.size() + 1);
    EXPECT_EQ(GetDisplayName(&folder, AsList(item), SHGDN_INFOLDER), L"メモ.txt");

    folder.name = {};
    folder.name.uType = STRRET_OFFSET;
    folder.name.uOffset = 2;
    EXPECT_EQ(GetDisplayName(&folder, AsList(item), SHGDN_INFOLDER), L"メモ.txt");

    shell_testing::MallocSpy spy;
    ASSERT_EQ(::CoRegisterMallocSpy(&spy), S_OK);
    folder.name = {};
    folder.name.uType = STRRET_WSTR;
    folder.wideName = L"メモ.txt";
    EXPECT_EQ(GetDisplayName(&folder, AsList(item), SHGDN_INFOLDER), L"メモ.txt");
    ::CoRevokeMallocSpy();
    EXPECT_NE(std::find(spy.freed.begin(), spy.freed.end(), folder.lastWide), spy.freed.end())
        << "the shell's wide string was not given back";

    folder.name.uType = 7;  // no such form
    EXPECT_EQ(GetDisplayName(&folder, AsList(item), SHGDN_INFOLDER), std::nullopt);
    folder.nameResult = E_FAIL;
    EXPECT_EQ(GetDisplayName(&folder, AsList(item), SHGDN_INFOLDER), std::nullopt);
}

TEST(DisplayName, ANameOutsideTheJapaneseCodePageParsesBackToTheSameItem) {
    testing_support::TempDir dir;
    const std::wstring name = L"한글 \U0001F600 メモ.txt";
    const std::wstring path = dir / name;
    testing_support::WriteBytes(path, "x");

    const UniqueIdList absolute = PathToIdList(path);
    ASSERT_NE(absolute, nullptr);
    EXPECT_EQ(GetDisplayName(DesktopFolder(), absolute.get(), SHGDN_FORPARSING), path);

    const ComPtr<IShellFolder> folder = PathToParentFolder(path);
    const UniqueIdList child = PathToChildItem(path);
    ASSERT_TRUE(folder && child);
    const std::wstring shown = InFolderName(folder.Get(), child.get());
    EXPECT_NE(shown.find(L"한글 \U0001F600 メモ"), std::wstring::npos) << ui::Utf8FromWide(shown);

    const auto parsing = GetDisplayName(folder.Get(), child.get(), SHGDN_INFOLDER | SHGDN_FORPARSING);
    ASSERT_TRUE(parsing);
    std::wstring buffer = *parsing;
    ITEMIDLIST* raw = nullptr;
    ASSERT_EQ(folder->ParseDisplayName(nullptr, nullptr, buffer.data(), nullptr, &raw, nullptr), S_OK);
    const UniqueIdList again = OwnIdList(raw);
    EXPECT_EQ(CompareIds(folder.Get(), again.get(), child.get()), 0);
}

TEST(PathOperations, ADriveRootLiesInTheComputerFolder) {
    const UniqueIdList root = PathToIdList(L"C:\\");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(CountItems(root.get()), 2);
    const ComPtr<IShellFolder> drives = PathToParentFolder(L"C:\\");
    ASSERT_NE(drives, nullptr);
    const UniqueIdList drive = PathToChildItem(L"C:\\");
    ASSERT_NE(drive, nullptr);
    EXPECT_EQ(GetDisplayName(drives.Get(), drive.get(), SHGDN_FORPARSING), L"C:\\");

    // A child of the desktop (the computer itself) has no parent folder here; nor has what does not parse.
    const wchar_t computer[] = L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
    EXPECT_EQ(CountItems(PathToIdList(computer).get()), 1);
    EXPECT_EQ(PathToParentFolder(computer), nullptr);
    EXPECT_EQ(PathToParentFolder(L"Q:\\no\\such\\place"), nullptr);
    EXPECT_EQ(PathToIdList(L"Q:\\no\\such\\place"), nullptr);
    EXPECT_EQ(PathToChildItem(L"Q:\\no\\such\\place"), nullptr);
}

TEST(PathOperations, PathsOfOneFolderBecomeItsSiblingsInPathOrder) {
    CountingMalloc counter;
    testing_support::TempDir dir;
    testing_support::WriteBytes(dir / L"b.txt", "b");
    testing_support::WriteBytes(dir / L"a.txt", "a");
    {
        auto items = PathsToItems(2, {dir / L"b.txt", dir / L"a.txt"});
        ASSERT_TRUE(items);
        ASSERT_EQ(CountItems(items->items.get()), 2);
        const auto split = SplitSiblings(items->items.get(), 2);
        ASSERT_EQ(split.size(), 2u);
        EXPECT_EQ(InFolderName(items->folder.Get(), split[0].get()).substr(0, 1), L"b");
        EXPECT_EQ(InFolderName(items->folder.Get(), split[1].get()).substr(0, 1), L"a");
        EXPECT_EQ(GetDisplayName(items->folder.Get(), split[1].get(), SHGDN_FORPARSING), dir / L"a.txt");

        EXPECT_FALSE(PathsToItems(0, {dir / L"a.txt"}));
        EXPECT_FALSE(PathsToItems(2, {dir / L"a.txt"}));
        // The second path does not parse: what was gathered so far goes.
        EXPECT_FALSE(PathsToItems(2, {dir / L"a.txt", dir / L"missing.txt"}));
    }
    EXPECT_TRUE(counter.live.empty()) << counter.live.size() << " lists never freed";
    EXPECT_FALSE(counter.AnyFreedTwice());
}

TEST(PathOperations, APathLongerThanAPathBufferParsesAndComesBackWhole) {
    testing_support::TempDir dir;
    std::wstring parent = dir.Path().wstring();
    while (parent.size() < 200) parent += L"\\" + std::wstring(30, L'p');
    const std::wstring path = parent + L"\\" + std::wstring(280 - parent.size(), L'x');
    ASSERT_GT(path.size(), 260u);
    ASSERT_TRUE(std::filesystem::create_directories(L"\\\\?\\" + path));
    const UniqueIdList list = PathToIdList(path);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(PathOfIdList(list.get()), path);
    EXPECT_EQ(PathOfIdList(ParentIdList(list.get()).get()), parent);
}

TEST(SystemImages, TheSharedListsAndIconIndexesAreThere) {
    EXPECT_NE(GetSystemImageList(false), nullptr);
    EXPECT_NE(GetSystemImageList(true), nullptr);
    const UniqueIdList windows = PathToIdList(L"C:\\windows");
    ASSERT_NE(windows, nullptr);
    EXPECT_GE(GetSysIconIndex(windows.get(), SHGFI_SYSICONINDEX | SHGFI_SMALLICON), 0);
    const ComPtr<IShellFolder> folder = BindToFolder(windows.get());
    EXPECT_NE(folder, nullptr);
    EXPECT_EQ(BindToFolder(nullptr), nullptr);
}
