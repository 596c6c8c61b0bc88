#pragma once
// The COM runtime as far as the product uses it: a thread's apartment, the creation of a local
// server's object, handing an interface to another thread through a marshalled stream, and the task
// allocator that frees what a server hands out. Objects are reference counted through IUnknown.
#include "platform/win/WinError.h"
#include "platform/win/WinTypes.h"

constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005);
constexpr HRESULT E_HANDLE = static_cast<HRESULT>(0x80070006);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT HRESULT_ERROR_NOT_FOUND = static_cast<HRESULT>(0x80070490);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
constexpr HRESULT CO_E_OBJNOTCONNECTED = static_cast<HRESULT>(0x800401FD);
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);

constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

// CoInitializeEx apartment models.
constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

// Class contexts of CoCreateInstance.
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_ALL =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// The HRESULT that carries a Win32 error (FACILITY_WIN32).
constexpr HRESULT HRESULT_FROM_WIN32(DWORD error) {
    return error == 0 ? S_OK : static_cast<HRESULT>((error & 0xFFFF) | 0x80070000u);
}

class IUnknown {
public:
    virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

// A stream holding one marshalled interface.
class IStream : public IUnknown {
protected:
    ~IStream() = default;
};

inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Joins the calling thread to an apartment: S_OK the first time, S_FALSE when it already is in one of
// that model (each success needs its CoUninitialize), RPC_E_CHANGED_MODE when it is in the other.
HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
void CoUninitialize();

// Creates the object of a registered class; CO_E_NOTINITIALIZED outside an apartment.
HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD clsContext, const IID& iid,
                         LPVOID* object);

// Marshals an interface into a new stream for another thread of the process.
HRESULT CoMarshalInterThreadInterfaceInStream(const IID& iid, IUnknown* unknown, IStream** stream);
// Unmarshals the stream's interface into the calling thread and releases the stream, also when the
// unmarshalling fails.
HRESULT CoGetInterfaceAndReleaseStream(IStream* stream, const IID& iid, LPVOID* object);
// Destroys the marshalled data in a stream: unmarshalling it afterwards fails. The stream stays the
// caller's.
HRESULT CoReleaseMarshalData(IStream* stream);

// Frees a block a server allocated for its caller (strings, arrays); null is accepted.
void CoTaskMemFree(LPVOID block);
