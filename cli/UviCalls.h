#pragma once
// The one seam between the command line and the library: every call the command line makes of the
// library's C interface goes through CallUvi. That is the export itself unless a test has put a
// stand-in for the export into the table (ScopedUviStandIn), so a test reaches any answer of any call
// without a change to the build. The table is keyed by the export's address: a call the command line
// starts to make needs no entry anywhere.
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace MOX {

namespace uvicalls {

using Key = void (*)();

template <class R, class... P> Key KeyOf(R (*function)(P...)) {
    return reinterpret_cast<Key>(function);
}

// Whether the table holds any stand-in: the calls of a normal run take no lock.
bool Any();
// The stand-in for an export (a std::function of the export's own type), or null.
std::shared_ptr<const void> Find(Key key);
// Puts a stand-in (or null) for an export and gives back the one it replaces.
std::shared_ptr<const void> Put(Key key, std::shared_ptr<const void> standIn);

} // namespace uvicalls

template <class R, class... P, class... A> R CallUvi(R (*function)(P...), A&&... args) {
    if (uvicalls::Any()) {
        // The stand-in is held for the call, so a scope ending on another thread cannot pull it away.
        if (const std::shared_ptr<const void> found = uvicalls::Find(uvicalls::KeyOf(function)))
            return (*static_cast<const std::function<R(P...)>*>(found.get()))(std::forward<A>(args)...);
    }
    return function(std::forward<A>(args)...);
}

// Puts a stand-in for one export into the table while it lives, then puts back what was there.
class UviStandInScope {
public:
    UviStandInScope(const UviStandInScope&) = delete;
    UviStandInScope& operator=(const UviStandInScope&) = delete;
    virtual ~UviStandInScope();

protected:
    UviStandInScope(uvicalls::Key key, std::shared_ptr<const void> standIn);

private:
    uvicalls::Key key_;
    std::shared_ptr<const void> replaced_;
};

template <class R, class... P> class ScopedUviStandIn : public UviStandInScope {
public:
    // The stand-in has the export's own type; it may call the export itself, which bypasses the table.
    ScopedUviStandIn(R (*function)(P...), std::type_identity_t<std::function<R(P...)>> standIn)
        : UviStandInScope(uvicalls::KeyOf(function),
                          std::make_shared<const std::function<R(P...)>>(std::move(standIn))) {}
};

// The same, for a holder of stand-ins of several types.
template <class R, class... P>
std::unique_ptr<UviStandInScope> MakeUviStandIn(R (*function)(P...),
                                                std::type_identity_t<std::function<R(P...)>> standIn) {
    return std::make_unique<ScopedUviStandIn<R, P...>>(function, std::move(standIn));
}

} // namespace MOX
