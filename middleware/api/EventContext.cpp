#include "middleware/api/EventContext.h"

#include <mutex>

namespace {

// Holds the context from its first use to process exit. Its own construction is the thread-safe
// initialisation of a function-local static; the context inside is made under its lock, so that a
// construction that throws is tried again by the next caller.
struct ContextHolder {
    std::mutex mutex;
    std::unique_ptr<EventContext> context;
};

ContextHolder& Holder() {
    static ContextHolder holder;
    return holder;
}

} // namespace

EventContext::EventContext()
    : locator(std::make_shared<DeviceLocator>()), guidSource(std::make_shared<GuidSource>()),
      deviceFactory(locator, guidSource), clientManager(std::make_shared<UviEvents::ClientManager>()),
      sourceManager(&deviceFactory) {}

EventContext& EventContext::instance() {
    ContextHolder& holder = Holder();
    std::lock_guard lock(holder.mutex);
    if (!holder.context)
        holder.context = std::make_unique<EventContext>();
    return *holder.context;
}

void EventContext::destroyForTesting() {
    std::unique_ptr<EventContext> context;
    {
        ContextHolder& holder = Holder();
        std::lock_guard lock(holder.mutex);
        context.swap(holder.context);
    }
}
