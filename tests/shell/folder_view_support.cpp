#include "shell/folder_view_support.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "ui/background.h"

namespace folder_test {

WatchingFolder::WatchingFolder(WatchingDesktop& owner, ComPtr<IShellFolder> inner, shell::UniqueIdList absolute)
    : owner_(owner), inner_(std::move(inner)), absolute_(std::move(absolute)) {}

HRESULT WatchingFolder::QueryInterface(REFIID riid, void** out) {
    if (riid == IID_IUnknown || riid == IID_IShellFolder) {
        *out = static_cast<IShellFolder*>(this);
    } else if (riid == IID_IShellIcon && owner_.lendIcons) {
        *out = static_cast<IShellIcon*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

std::wstring WatchingFolder::Name() const {
    return shell::GetDisplayName(owner_.real_, absolute_.get(), SHGDN_FORPARSING).value_or(std::wstring());
}

bool WatchingFolder::Named(const std::vector<std::wstring>& names) const {
    if (names.empty()) return false;
    const std::wstring name = Name();
    return std::any_of(names.begin(), names.end(),
                       [&](const std::wstring& r) { return ::lstrcmpiW(r.c_str(), name.c_str()) == 0; });
}

bool WatchingFolder::Refused() const {
    return Named(owner_.refused);
}

HRESULT WatchingFolder::ParseDisplayName(HWND w, IBindCtx* b, LPWSTR name, ULONG* eaten, PIDLIST_RELATIVE* out,
                                         ULONG* attributes) {
    return inner_->ParseDisplayName(w, b, name, eaten, out, attributes);
}

namespace {

// A folder's items as the real folder lists them, up to a failure or a wait of the test's choosing.
class TestItems final : public TestUnknown<IEnumIDList> {
public:
    TestItems(ComPtr<IEnumIDList> inner, int failAfter, HANDLE gate, std::atomic<int>& waiting)
        : inner_(std::move(inner)), left_(failAfter), gate_(gate), waiting_(waiting) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid != IID_IUnknown && riid != IID_IEnumIDList) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IEnumIDList*>(this);
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, PITEMID_CHILD* items, ULONG* fetched) override {
        if (fetched) *fetched = 0;
        if (left_ == 0) return HRESULT_FROM_WIN32(ERROR_NETNAME_DELETED);
        // Item by item: a reader that asks for many at once gets those before the failure, then the failure.
        ULONG got = 0;
        const HRESULT hr = inner_->Next(left_ > 0 ? std::min(count, static_cast<ULONG>(left_)) : count, items, &got);
        if (fetched) *fetched = got;
        if (left_ > 0) left_ -= static_cast<int>(got);
        if (hr != S_OK && gate_) {
            ++waiting_;
            ui::WaitPumping(gate_, 20000);  // as a worker that waits must
            --waiting_;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override { return inner_->Skip(count); }
    HRESULT STDMETHODCALLTYPE Reset() override { return inner_->Reset(); }
    HRESULT STDMETHODCALLTYPE Clone(IEnumIDList** out) override { return inner_->Clone(out); }

private:
    ComPtr<IEnumIDList> inner_;
    int left_;  // items still to give before failing; -1 for none
    HANDLE gate_;
    std::atomic<int>& waiting_;
};

}  // namespace

HRESULT WatchingFolder::EnumObjects(HWND w, SHCONTF flags, IEnumIDList** out) {
    ++owner_.enumerations;
    {
        const std::lock_guard lock(owner_.seenLock);
        owner_.listed.push_back(Name());
    }
    if (owner_.gate && Named(owner_.gated)) {
        ++owner_.waiting;
        ui::WaitPumping(owner_.gate, 20000);  // as a worker that waits must
        --owner_.waiting;
    }
    if (Refused()) {
        *out = nullptr;
        return HRESULT_FROM_WIN32(ERROR_NOT_READY);
    }
    if (Named(owner_.throwing)) throw std::bad_alloc();
    const bool failing = Named(owner_.failing);
    const HANDLE gate = Named(owner_.gatedAtEnd) ? owner_.gate : nullptr;
    const HRESULT hr = inner_->EnumObjects(w, flags, out);
    if (hr != S_OK || !*out || (!failing && !gate)) return hr;
    ComPtr<IEnumIDList> inner;
    inner.Attach(*out);
    *out = new TestItems(inner, failing ? owner_.failAfter : -1, gate, owner_.waiting);
    return S_OK;
}

HRESULT WatchingFolder::BindToObject(PCUIDLIST_RELATIVE item, IBindCtx* b, REFIID riid, void** out) {
    *out = nullptr;
    if (owner_.bindThrows) throw std::bad_alloc();
    if (riid != IID_IShellFolder) return inner_->BindToObject(item, b, riid, out);
    ComPtr<IShellFolder> bound;
    const HRESULT hr = inner_->BindToObject(item, b, IID_PPV_ARGS(&bound));
    if (FAILED(hr)) return hr;
    auto* wrapper = new WatchingFolder(owner_, bound, shell::ConcatIdLists(absolute_.get(), item));
    *out = static_cast<IShellFolder*>(wrapper);
    return S_OK;
}

HRESULT WatchingFolder::BindToStorage(PCUIDLIST_RELATIVE item, IBindCtx* b, REFIID riid, void** out) {
    return inner_->BindToStorage(item, b, riid, out);
}

HRESULT WatchingFolder::CompareIDs(LPARAM how, PCUIDLIST_RELATIVE a, PCUIDLIST_RELATIVE b) {
    if (owner_.failCompare) return E_FAIL;
    if (!owner_.numericCompare) return inner_->CompareIDs(how, a, b);
    const std::wstring x = shell::GetDisplayName(inner_.Get(), a, SHGDN_INFOLDER | SHGDN_FORPARSING).value_or(L"");
    const std::wstring y = shell::GetDisplayName(inner_.Get(), b, SHGDN_INFOLDER | SHGDN_FORPARSING).value_or(L"");
    SFGAOF fa = SFGAO_FOLDER, fb = SFGAO_FOLDER;
    inner_->GetAttributesOf(1, reinterpret_cast<PCUITEMID_CHILD_ARRAY>(&a), &fa);
    inner_->GetAttributesOf(1, reinterpret_cast<PCUITEMID_CHILD_ARRAY>(&b), &fb);
    int r = 0;
    if ((fa & SFGAO_FOLDER) != (fb & SFGAO_FOLDER)) {
        r = (fa & SFGAO_FOLDER) ? -1 : 1;
    } else {
        r = ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_DIGITSASNUMBERS, x.c_str(), -1, y.c_str(),
                             -1) -
            CSTR_EQUAL;
    }
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, static_cast<USHORT>(static_cast<short>(r)));
}

HRESULT WatchingFolder::CreateViewObject(HWND w, REFIID riid, void** out) {
    return inner_->CreateViewObject(w, riid, out);
}

HRESULT WatchingFolder::GetAttributesOf(UINT count, PCUITEMID_CHILD_ARRAY items, SFGAOF* attributes) {
    const SFGAOF asked = *attributes;
    if (asked & SFGAO_HASSUBFOLDER) {
        const std::lock_guard lock(owner_.seenLock);
        owner_.askedAbout[Name()] += static_cast<int>(count);
    }
    const HRESULT hr = inner_->GetAttributesOf(count, items, attributes);
    if (SUCCEEDED(hr) && count == 1 && (asked & SFGAO_SHARE) && !owner_.sharedName.empty() &&
        shell::GetDisplayName(inner_.Get(), items[0], SHGDN_INFOLDER) == owner_.sharedName) {
        *attributes |= SFGAO_SHARE;
    }
    return hr;
}

HRESULT WatchingFolder::GetUIObjectOf(HWND w, UINT count, PCUITEMID_CHILD_ARRAY items, REFIID riid, UINT* reserved,
                                      void** out) {
    return inner_->GetUIObjectOf(w, count, items, riid, reserved, out);
}

const std::wstring* WatchingFolder::OtherName(PCUITEMID_CHILD item) const {
    if (owner_.displayNames.empty()) return nullptr;
    const auto file = shell::GetDisplayName(inner_.Get(), item, SHGDN_INFOLDER | SHGDN_FORPARSING);
    const auto found = file ? owner_.displayNames.find(*file) : owner_.displayNames.end();
    return found == owner_.displayNames.end() ? nullptr : &found->second;
}

HRESULT WatchingFolder::GetDisplayNameOf(PCUITEMID_CHILD item, SHGDNF flags, STRRET* name) {
    const std::wstring* other = (flags & SHGDN_FORPARSING) ? nullptr : OtherName(item);
    if (!other) return inner_->GetDisplayNameOf(item, flags, name);
    const size_t bytes = (other->size() + 1) * sizeof(wchar_t);
    name->uType = STRRET_WSTR;
    name->pOleStr = static_cast<LPWSTR>(::CoTaskMemAlloc(bytes));
    if (!name->pOleStr) return E_OUTOFMEMORY;
    std::memcpy(name->pOleStr, other->c_str(), bytes);
    return S_OK;
}

HRESULT WatchingFolder::SetNameOf(HWND w, PCUITEMID_CHILD item, LPCWSTR name, SHGDNF flags, PITEMID_CHILD* out) {
    if (owner_.duringRename) owner_.duringRename();
    if (!owner_.renameByMove) return inner_->SetNameOf(w, item, name, flags, out);
    const auto old = shell::GetDisplayName(inner_.Get(), item, SHGDN_INFOLDER | SHGDN_FORPARSING);
    const std::wstring folder = Name() + L"\\";
    if (!old || !MoveByWayOfAnotherName(folder + *old, folder + name)) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    std::wstring parsed = name;
    return inner_->ParseDisplayName(w, nullptr, parsed.data(), nullptr, reinterpret_cast<PIDLIST_RELATIVE*>(out),
                                    nullptr);
}

HRESULT WatchingFolder::GetIconOf(PCUITEMID_CHILD item, UINT flags, int* index) {
    *index = OtherName(item) ? 9 : (flags & GIL_OPENICON) ? 6 : 5;
    return S_OK;
}

namespace {

ComPtr<IShellFolder> Wrap(WatchingDesktop& owner, IShellFolder* real) {
    ComPtr<IShellFolder> wrapped;
    wrapped.Attach(new WatchingFolder(owner, real, shell::ConcatIdLists(nullptr, nullptr)));
    return wrapped;
}

}  // namespace

WatchingDesktop::WatchingDesktop()
    : real_(shell::DesktopFolder()), desktop_(Wrap(*this, real_)), scope_(desktop_.Get()) {}

WatchingDesktop::~WatchingDesktop() = default;

std::wstring FolderPath(IShellFolder* folder) {
    ComPtr<IPersistFolder2> persist;
    ITEMIDLIST* raw = nullptr;
    if (!folder || FAILED(folder->QueryInterface(IID_PPV_ARGS(&persist))) || FAILED(persist->GetCurFolder(&raw)))
        return {};
    const shell::UniqueIdList place = shell::OwnIdList(raw);
    return shell::GetDisplayName(shell::DesktopFolder(), place.get(), SHGDN_FORPARSING).value_or(std::wstring());
}

bool RecordingMenu::ShowForItems(HWND window, IShellFolder* folder, const ITEMIDLIST* items, int count, POINT screen) {
    shown.push_back({window, FolderPath(folder),
                     shell::GetDisplayName(folder, items, SHGDN_INFOLDER).value_or(std::wstring()), count, screen});
    return false;
}

void RecordingDrag::DragItems(HWND window, IShellFolder* folder, const ITEMIDLIST* items, int count) {
    dragged.push_back({window,
                       FolderPath(folder),
                       shell::GetDisplayName(folder, items, SHGDN_INFOLDER).value_or(std::wstring()),
                       count,
                       {}});
}

}  // namespace folder_test
