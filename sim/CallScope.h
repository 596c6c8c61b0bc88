#pragma once
// One platform call, seen by the machine as one moment: within the scope the machine checks once
// whether another process replaced its state, and every later read of the same call uses the state
// it found (its own changes included). A call then costs one check however many parts of the
// simulator it passes through.
namespace sim {

class CallScope {
public:
    CallScope();
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;
};

} // namespace sim
