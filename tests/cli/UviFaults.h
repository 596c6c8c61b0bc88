#pragma once
// Chosen calls of the library's C interface made to fail, or their records changed, for the command
// line's tests: the library answers a real session consistently, so the access layer's handling of a
// failure in the middle of a gathering is reached only this way. The rules work through the command
// line's one seam (cli/UviCalls.h), so any export the command line calls can be given one; a call no
// rule takes goes to the library unchanged.
#include <functional>
#include <initializer_list>
#include <memory>
#include <source_location>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "cli/UviCalls.h"

namespace clitest {

// A handle no session of the library gives out.
constexpr unsigned int UNKNOWN_HANDLE = 0x7FFFFFF0u;

class UviFault {
public:
    // The edit gets the call's record after the call: the export's last argument (a pointer as it is,
    // any other argument by its address), or, for an export without arguments, its result.
    using Edit = std::function<void(void* record)>;

    // skip: matching calls let through first; times: how often the rule fires, -1 always. With an
    // edit, the call is made and its record edited; without, the call is made on a session the
    // library does not know (its first argument), so the answer is the library's own failure.
    template <class R, class... P>
    UviFault(R (*function)(P...), int skip = 0, int times = 1, Edit edit = {},
             std::source_location where = std::source_location::current())
        : key(MOX::uvicalls::KeyOf(function)), skip(skip), times(times), edit(std::move(edit)), where(where),
          makeStandIn([function] { return StandIn(function); }) {
        CheckCanFail<P...>();
    }

    MOX::uvicalls::Key key;
    int skip = 0;
    int times = 1;
    Edit edit;
    std::source_location where;
    // The stand-in that puts the rules of this export in front of it.
    std::function<std::unique_ptr<MOX::UviStandInScope>()> makeStandIn;

    // Whether the rule takes this call: counts it, and copies the edit of the rule that fires.
    static bool Take(MOX::uvicalls::Key key, Edit& edit);

private:
    template <class... P> void CheckCanFail() const;

    template <class R, class... P> static std::unique_ptr<MOX::UviStandInScope> StandIn(R (*function)(P...)) {
        return MOX::MakeUviStandIn(function, [function](P... args) -> R {
            Edit edit;
            if (!Take(MOX::uvicalls::KeyOf(function), edit))
                return function(args...);
            if (!edit)
                return OnUnknownSession(function, args...);
            if constexpr (sizeof...(P) == 0) {
                R answer = function();
                edit(&answer);
                return answer;
            } else {
                R answer = function(args...);
                auto arguments = std::forward_as_tuple(args...);
                auto& record = std::get<sizeof...(P) - 1>(arguments);
                if constexpr (std::is_pointer_v<std::remove_reference_t<decltype(record)>>)
                    edit(const_cast<void*>(static_cast<const void*>(record)));
                else
                    edit(&record);
                return answer;
            }
        });
    }

    template <class R, class... P> static R OnUnknownSession(R (*function)(P...), P... args) {
        if constexpr (sizeof...(P) > 0) {
            using First = std::tuple_element_t<0, std::tuple<P...>>;
            if constexpr (std::is_integral_v<First>) {
                return [&](First, auto... rest) {
                    return function(static_cast<First>(UNKNOWN_HANDLE), rest...);
                }(args...);
            }
        }
        // Refused when the rule was made (CheckCanFail); the call goes through.
        return function(args...);
    }
};

// The rules hold while the object lives; each must have fired by then, or the test fails naming where
// the rule was made.
class ScopedUviFaults {
public:
    ScopedUviFaults(std::initializer_list<UviFault> rules) : ScopedUviFaults(std::vector<UviFault>(rules)) {}
    explicit ScopedUviFaults(std::vector<UviFault> rules);
    ~ScopedUviFaults();
    ScopedUviFaults(const ScopedUviFaults&) = delete;
    ScopedUviFaults& operator=(const ScopedUviFaults&) = delete;

private:
    std::vector<std::unique_ptr<MOX::UviStandInScope>> standIns_;
};

// Reports a rule without an edit on an export whose first argument is not a session.
void RefuseRule(const std::source_location& where);

template <class... P> void UviFault::CheckCanFail() const {
    if constexpr (sizeof...(P) > 0) {
        if constexpr (std::is_integral_v<std::tuple_element_t<0, std::tuple<P...>>>)
            return;
    }
    if (!edit)
        RefuseRule(where);
}

} // namespace clitest
