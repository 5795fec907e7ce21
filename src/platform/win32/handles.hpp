#pragma once
// Owners for the Windows handles this backend holds: each releases its handle
// exactly once, with the call that belongs to its kind.

#include "platform/win32/windows_api.hpp"

#include <utility>

namespace tarrow::win32 {

template <typename Traits>
class Unique {
public:
    using Handle = typename Traits::Handle;

    Unique() = default;
    explicit Unique(Handle handle) : handle_(handle) {}
    ~Unique() { reset(); }
    Unique(Unique&& other) noexcept : handle_(other.release()) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return Traits::Valid(handle_); }
    Handle release() { return std::exchange(handle_, Traits::Empty()); }
    void reset(Handle handle = Traits::Empty()) {
        const Handle old = std::exchange(handle_, handle);
        if (Traits::Valid(old)) Traits::Close(old);
    }

private:
    Handle handle_ = Traits::Empty();
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static HANDLE Empty() { return nullptr; }
    // Some calls fail with null, others with INVALID_HANDLE_VALUE.
    static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};

template <typename H, auto Release>
struct NullTraits {
    using Handle = H;
    static H Empty() { return nullptr; }
    static bool Valid(H h) { return h != nullptr; }
    static void Close(H h) { Release(h); }
};

inline void DestroyWindowHandle(HWND h) { ::DestroyWindow(h); }
inline void DestroyMenuHandle(HMENU h) { ::DestroyMenu(h); }
inline void DestroyIconHandle(HICON h) { ::DestroyIcon(h); }
inline void DeleteGdiObject(HGDIOBJ h) { ::DeleteObject(h); }
inline void ReleaseLibrary(HMODULE h) { ::FreeLibrary(h); }
inline void ReleaseGlobalBlock(HGLOBAL h) { ::GlobalFree(h); }

using UniqueHandle = Unique<KernelHandleTraits>;
using UniqueWindow = Unique<NullTraits<HWND, DestroyWindowHandle>>;
using UniqueMenu = Unique<NullTraits<HMENU, DestroyMenuHandle>>;
using UniqueIcon = Unique<NullTraits<HICON, DestroyIconHandle>>;
using UniqueGdiObject = Unique<NullTraits<HGDIOBJ, DeleteGdiObject>>;
using UniqueModule = Unique<NullTraits<HMODULE, ReleaseLibrary>>;
using UniqueGlobal = Unique<NullTraits<HGLOBAL, ReleaseGlobalBlock>>;

// A COM interface pointer that releases its reference.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    // For calls that hand out a new reference.
    void** out() {
        reset();
        return reinterpret_cast<void**>(&ptr_);
    }
    void reset() {
        if (ptr_ != nullptr) std::exchange(ptr_, nullptr)->Release();
    }

private:
    T* ptr_ = nullptr;
};

}  // namespace tarrow::win32
