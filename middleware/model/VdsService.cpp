#include "middleware/model/VdsService.h"

#include <new>

#include "middleware/core/SharedCriticalSection.h"
#include "middleware/core/ComPtr.h"
#include "platform/win/Trace.h"

namespace {

// The stream and the result of the last marshalling, touched only under the stream's section.
struct KeptService {
    SharedCriticalSection section;
    IStream* stream = nullptr;
    HRESULT lastMarshalling = S_FALSE;
};

KeptService& Kept() {
    static KeptService* kept = new KeptService; // lives to process exit, after any static user
    return *kept;
}

// Leaves a marshalled copy of the service for the next operation.
void KeepMarshalled(KeptService& kept, IVdsService* service) {
    kept.stream = nullptr;
    kept.lastMarshalling = CoMarshalInterThreadInterfaceInStream(IID_IVdsService, service, &kept.stream);
    if (FAILED(kept.lastMarshalling)) {
        MOX_TRACE(TRACE_LEVEL_ERROR, "loadVdsService: marshalling failed, HRESULT %#X",
                  static_cast<unsigned>(kept.lastMarshalling));
        kept.stream = nullptr;
    }
}

} // namespace

ComConnectionHandler::ComConnectionHandler() {
    std::lock_guard lock(m_Mutex);
    m_Result = CoInitializeEx(nullptr, m_Flags);
    m_Initialized = SUCCEEDED(m_Result);
    m_AlreadyInitialized = m_Result == S_FALSE;
    if (!m_Initialized)
        MOX_TRACE(TRACE_LEVEL_WARNING, "CoInitializeEx failed, HRESULT %#X", static_cast<unsigned>(m_Result));
}

ComConnectionHandler::~ComConnectionHandler() {
    std::lock_guard lock(m_Mutex);
    if (m_Initialized) {
        m_Initialized = false;
        CoUninitialize();
    }
}

bool ComConnectionHandler::isInitialized() const {
    std::lock_guard lock(m_Mutex);
    return m_Initialized;
}

bool ComConnectionHandler::wasAlreadyInitialized() const {
    std::lock_guard lock(m_Mutex);
    return m_AlreadyInitialized;
}

HRESULT ComConnectionHandler::result() const {
    std::lock_guard lock(m_Mutex);
    return m_Result;
}

ComConnectionHandler* MakeComConnectionHandler(void* storage) {
    return new (storage) ComConnectionHandler();
}

HRESULT loadVdsService(IVdsService** service) {
    if (!service)
        return E_POINTER;
    *service = nullptr;
    KeptService& kept = Kept();
    auto lock = kept.section.lock();
    if (kept.lastMarshalling == S_OK && kept.stream) {
        IStream* stream = kept.stream;
        // The stream is gone after this call, whatever it answers.
        kept.stream = nullptr;
        const HRESULT hr =
            CoGetInterfaceAndReleaseStream(stream, IID_IVdsService, reinterpret_cast<void**>(service));
        if (SUCCEEDED(hr)) {
            KeepMarshalled(kept, *service);
            return S_OK;
        }
        MOX_TRACE(TRACE_LEVEL_WARNING,
                  "loadVdsService: unmarshalling failed (%#X), loading the service again",
                  static_cast<unsigned>(hr));
        *service = nullptr;
    }

    ComPtr<IVdsServiceLoader> loader;
    HRESULT hr = CoCreateInstance(CLSID_VdsLoader, nullptr, CLSCTX_LOCAL_SERVER, IID_IVdsServiceLoader,
                                  loader.putVoid());
    if (FAILED(hr))
        return hr;
    ComPtr<IVdsService> loaded;
    wchar_t localMachine[] = L"";
    hr = loader->LoadService(localMachine, loaded.put());
    if (FAILED(hr))
        return hr;
    hr = loaded->WaitForServiceReady();
    if (FAILED(hr))
        return hr;
    KeepMarshalled(kept, loaded.get());
    *service = loaded.get();
    (*service)->AddRef();
    return S_OK;
}

void releaseVdsService() {
    KeptService& kept = Kept();
    auto lock = kept.section.lock();
    if (!kept.stream) {
        MOX_TRACE(TRACE_LEVEL_INFORMATION, "releaseVdsService: no service kept");
        return;
    }
    const HRESULT hr = CoReleaseMarshalData(kept.stream);
    if (FAILED(hr))
        MOX_TRACE(TRACE_LEVEL_WARNING, "releaseVdsService: CoReleaseMarshalData failed, HRESULT %#X",
                  static_cast<unsigned>(hr));
    // The stream itself goes too: a stream without its marshal data would only make the next load
    // fail to unmarshal, and it would outlive the library when no load follows.
    kept.stream->Release();
    kept.stream = nullptr;
    kept.lastMarshalling = S_FALSE;
}
