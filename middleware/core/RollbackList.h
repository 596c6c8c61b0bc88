#pragma once
// Undo steps collected while a multi-step operation proceeds; unless the operation commits, they run
// newest first when the list is destroyed, with error registration switched off so that their own
// failures do not replace the one that made the operation give up.
#include <deque>
#include <functional>

class RollbackList {
public:
    RollbackList() = default;
    ~RollbackList();
    RollbackList(const RollbackList&) = delete;
    RollbackList& operator=(const RollbackList&) = delete;

    void push(std::function<void()> undo);
    // The operation is complete: its steps will not run.
    void commit();

private:
    bool committed_ = false;
    std::deque<std::function<void()>> steps_;
};
