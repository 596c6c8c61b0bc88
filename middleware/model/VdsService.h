#pragma once
// The connection to the Virtual Disk Service: COM for the calling thread for the length of one
// operation, and the one service interface of the process, kept marshalled in a stream between
// operations so that any thread can take it into its own apartment.
#include <mutex>

#include "platform/win/WinCom.h"
#include "platform/win/WinVds.h"

class ComConnectionHandler {
public:
    // Joins the calling thread to an apartment-threaded apartment.
    ComConnectionHandler();
    // Leaves it again when the constructor joined it.
    virtual ~ComConnectionHandler();
    ComConnectionHandler(const ComConnectionHandler&) = delete;
    ComConnectionHandler& operator=(const ComConnectionHandler&) = delete;

    bool isInitialized() const;
    bool wasAlreadyInitialized() const;
    HRESULT result() const;

private:
    DWORD m_Flags = COINIT_APARTMENTTHREADED;
    bool m_Initialized = false;
    bool m_AlreadyInitialized = false;
    HRESULT m_Result = HRESULT_ERROR_NOT_FOUND;
    mutable std::mutex m_Mutex;
};

// Constructs a handler in the caller's storage (at least sizeof(ComConnectionHandler) bytes, suitably
// aligned); the caller destroys it.
ComConnectionHandler* MakeComConnectionHandler(void* storage);

// The service interface for the calling thread's apartment, loaded the first time and unmarshalled
// from the kept stream afterwards; a fresh marshalled copy is left for the next caller. The caller
// releases the interface. Runs under the process-wide lock of the stream.
HRESULT loadVdsService(IVdsService** service);
// Releases the kept marshalled interface (the library's finalisation): the next load starts over.
void releaseVdsService();
