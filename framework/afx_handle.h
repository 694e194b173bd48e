// RAII owners of Win32 handles, COM interface pointers and variants, and of the COM apartment.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

template <typename Traits> class ScopedHandle {
public:
    using Handle = typename Traits::Handle;

    ScopedHandle() = default;
    explicit ScopedHandle(Handle handle) : m_handle(handle) {}
    ~ScopedHandle() { Reset(); }

    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : m_handle(other.Release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }

    Handle Get() const { return m_handle; }
    bool IsValid() const { return Traits::IsValid(m_handle); }
    explicit operator bool() const { return IsValid(); }

    // Closes the held handle (if any) and takes `handle`.
    void Reset(Handle handle = Traits::Invalid()) {
        if (Traits::IsValid(m_handle)) {
            Traits::Close(m_handle);
        }
        m_handle = handle;
    }

    // Gives up ownership without closing.
    Handle Release() { return std::exchange(m_handle, Traits::Invalid()); }

    // For out-parameters: closes the held handle first.
    Handle* Receive() {
        Reset();
        return &m_handle;
    }

private:
    Handle m_handle = Traits::Invalid();
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle handle) {
        return handle != nullptr && handle != INVALID_HANDLE_VALUE;
    }
    static void Close(Handle handle) { ::CloseHandle(handle); }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle handle) {
        return handle != nullptr && handle != INVALID_HANDLE_VALUE;
    }
    static void Close(Handle handle) { ::FindClose(handle); }
};

struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle handle) { return handle != nullptr; }
    static void Close(Handle handle) { ::RegCloseKey(handle); }
};

// A BSTR, the string type that COM calls take.
struct SystemStringTraits {
    using Handle = BSTR;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle handle) { return handle != nullptr; }
    static void Close(Handle handle) { ::SysFreeString(handle); }
};

struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle handle) { return handle != nullptr; }
    static void Close(Handle handle) { ::DeleteObject(handle); }
};

// A device context of CreateCompatibleDC.
struct MemoryDcTraits {
    using Handle = HDC;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle handle) { return handle != nullptr; }
    static void Close(Handle handle) { ::DeleteDC(handle); }
};

// The whole screen's device context, GetDC(nullptr).
struct ScreenDcTraits {
    using Handle = HDC;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle handle) { return handle != nullptr; }
    static void Close(Handle handle) { ::ReleaseDC(nullptr, handle); }
};

struct LibraryModuleTraits {
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle handle) { return handle != nullptr; }
    static void Close(Handle handle) { ::FreeLibrary(handle); }
};

// A resource of LoadResource.
struct LoadedResourceTraits {
    using Handle = HGLOBAL;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle handle) { return handle != nullptr; }
    static void Close(Handle handle) { ::FreeResource(handle); }
};

using KernelHandle = ScopedHandle<KernelHandleTraits>;
using FindHandle = ScopedHandle<FindHandleTraits>;
using RegistryKey = ScopedHandle<RegistryKeyTraits>;
using SystemString = ScopedHandle<SystemStringTraits>;
using GdiObject = ScopedHandle<GdiObjectTraits>;
using MemoryDc = ScopedHandle<MemoryDcTraits>;
using ScreenDc = ScopedHandle<ScreenDcTraits>;
using LibraryModule = ScopedHandle<LibraryModuleTraits>;
using LoadedResource = ScopedHandle<LoadedResourceTraits>;

template <typename T> class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already holds.
    explicit ComPtr(T* pointer) : m_pointer(pointer) {}
    ~ComPtr() { Reset(); }

    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : m_pointer(other.Detach()) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_pointer = other.Detach();
        }
        return *this;
    }

    T* Get() const { return m_pointer; }
    T* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }

    // For out-parameters: releases the held pointer first.
    T** Receive() {
        Reset();
        return &m_pointer;
    }

    void Reset() {
        if (m_pointer != nullptr) {
            std::exchange(m_pointer, nullptr)->Release();
        }
    }

    T* Detach() { return std::exchange(m_pointer, nullptr); }

private:
    T* m_pointer = nullptr;
};

// A VARIANT that clears whatever it holds when it goes.
class COleVariant : public tagVARIANT {
public:
    COleVariant() { ::VariantInit(this); }
    ~COleVariant() { ::VariantClear(this); }
    COleVariant(const COleVariant&) = delete;
    COleVariant& operator=(const COleVariant&) = delete;
};

// The calling thread's COM apartment for one scope: CoInitialize, and CoUninitialize when that
// succeeded (a second initialisation of the same kind succeeds too and is paired as well).
class CComApartment {
public:
    CComApartment() : m_initialized(SUCCEEDED(::CoInitialize(nullptr))) {}
    ~CComApartment() {
        if (m_initialized) {
            ::CoUninitialize();
        }
    }
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

private:
    bool m_initialized;
};
