// What the shell tests share: an allocator that counts what goes through it, and a folder whose answers a test
// chooses.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "shell/ShView.h"

namespace shell_testing {

// Sees every block the task allocator hands out and takes back, the shell's own included.
struct MallocSpy final : IMallocSpy {
    std::vector<void*> dead;   // freed through the counting allocator and not handed out again since
    std::vector<void*> freed;  // every block the task allocator was given back
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IMallocSpy) {
            *out = static_cast<IMallocSpy*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
    void* STDMETHODCALLTYPE PostAlloc(void* p) override {
        dead.erase(std::remove(dead.begin(), dead.end(), p), dead.end());
        return p;
    }
    void* STDMETHODCALLTYPE PreFree(void* p, BOOL) override {
        freed.push_back(p);
        return p;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* p, SIZE_T size, void** out, BOOL) override {
        *out = p;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* p, BOOL) override {
        dead.erase(std::remove(dead.begin(), dead.end(), p), dead.end());
        return p;
    }
    void* STDMETHODCALLTYPE PreGetSize(void* p, BOOL) override { return p; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* p, BOOL) override { return p; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}
};

// The task allocator with a record of every block it gave and every block given back; installed as the shell
// allocator for the scope. Blocks the shell allocated elsewhere and freed here count as frees too, so a test can
// see that a list it did not make was freed, and freed once. A spy on the task allocator sees every allocation, so
// a block that comes back at an address freed before is not taken for a second free.
class CountingMalloc final : public IMalloc {
public:
    CountingMalloc() : scope_(this) {
        ::CoGetMalloc(1, &real_);
        spying_ = ::CoRegisterMallocSpy(&spy_) == S_OK;
    }
    ~CountingMalloc() {
        if (spying_) ::CoRevokeMallocSpy();
        real_->Release();
    }
    CountingMalloc(const CountingMalloc&) = delete;
    CountingMalloc& operator=(const CountingMalloc&) = delete;

    bool refuse = false;  // Alloc answers null, as an allocator out of memory
    std::vector<void*> live;
    std::vector<void*> freed;
    int allocations = 0;
    int doubleFrees = 0;

    int FreesOf(const void* p) const { return static_cast<int>(std::count(freed.begin(), freed.end(), p)); }
    bool AnyFreedTwice() const { return doubleFrees > 0; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IMalloc) {
            *out = static_cast<IMalloc*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives on the test's stack
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    void* STDMETHODCALLTYPE Alloc(SIZE_T size) override {
        if (refuse) return nullptr;
        void* p = real_->Alloc(size);
        if (p) {
            ++allocations;
            live.push_back(p);
        }
        return p;
    }
    void* STDMETHODCALLTYPE Realloc(void* p, SIZE_T size) override { return real_->Realloc(p, size); }
    void STDMETHODCALLTYPE Free(void* p) override {
        if (!p) return;
        freed.push_back(p);
        const auto it = std::find(live.begin(), live.end(), p);
        if (it != live.end()) live.erase(it);
        if (std::find(spy_.dead.begin(), spy_.dead.end(), p) != spy_.dead.end()) {
            ++doubleFrees;  // reported, and not given back again, so the heap stays whole
            return;
        }
        spy_.dead.push_back(p);
        real_->Free(p);
    }
    SIZE_T STDMETHODCALLTYPE GetSize(void* p) override { return real_->GetSize(p); }
    int STDMETHODCALLTYPE DidAlloc(void* p) override { return real_->DidAlloc(p); }
    void STDMETHODCALLTYPE HeapMinimize() override { real_->HeapMinimize(); }

private:
    IMalloc* real_ = nullptr;
    MallocSpy spy_;
    bool spying_ = false;
    shell::ScopedShellMalloc scope_;
};

// An item identifier list built from item sizes: item i holds its size and then bytes of value i + 1.
inline std::vector<BYTE> MakeList(std::initializer_list<USHORT> itemSizes) {
    std::vector<BYTE> bytes;
    BYTE fill = 1;
    for (USHORT cb : itemSizes) {
        bytes.push_back(static_cast<BYTE>(cb & 0xFF));
        bytes.push_back(static_cast<BYTE>(cb >> 8));
        bytes.insert(bytes.end(), cb - 2u, fill++);
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

inline const ITEMIDLIST* AsList(const std::vector<BYTE>& bytes) {
    return reinterpret_cast<const ITEMIDLIST*>(bytes.data());
}

inline std::vector<BYTE> BytesOf(const ITEMIDLIST* list) {
    const auto* p = reinterpret_cast<const BYTE*>(list);
    return std::vector<BYTE>(p, p + shell::IdListSize(list));
}

// A folder of the test that has nothing unless a test's subclass gives it.
class StubFolder : public IShellFolder {
public:
    virtual ~StubFolder() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IShellFolder) {
            *object = static_cast<IShellFolder*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives on the test's stack
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND, IBindCtx*, LPWSTR, ULONG*, PIDLIST_RELATIVE*, ULONG*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EnumObjects(HWND, SHCONTF, IEnumIDList**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateViewObject(HWND, REFIID, void** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT*, void** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDisplayNameOf(PCUITEMID_CHILD, SHGDNF, STRRET*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD*) override {
        return E_NOTIMPL;
    }
};

// A folder that answers only what a test sets: CompareIDs and GetDisplayNameOf.
class FakeFolder final : public StubFolder {
public:
    HRESULT compareResult = E_FAIL;
    STRRET name{};  // copied out as it is; a STRRET_WSTR string is made afresh for each call
    std::wstring wideName;
    HRESULT nameResult = S_OK;
    void* lastWide = nullptr;  // the last wide name handed out

    HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override {
        return compareResult;
    }
    HRESULT STDMETHODCALLTYPE GetDisplayNameOf(PCUITEMID_CHILD, SHGDNF, STRRET* out) override {
        if (FAILED(nameResult)) return nameResult;
        *out = name;
        if (name.uType == STRRET_WSTR) {
            const size_t bytes = (wideName.size() + 1) * sizeof(wchar_t);
            out->pOleStr = static_cast<LPWSTR>(::CoTaskMemAlloc(bytes));
            std::memcpy(out->pOleStr, wideName.c_str(), bytes);
            lastWide = out->pOleStr;
        }
        return S_OK;
    }
};

}  // namespace shell_testing
