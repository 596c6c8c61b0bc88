#pragma once
// The process's event machinery: the controller table, the GUID source, the device factory, the
// subscriptions and the sources. Built on first use, destroyed at process exit in reverse order, so
// that every worker delivers its stop and is joined before the clients and the factory go.
#include <memory>

#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/model/ClientManager.h"
#include "middleware/model/DeviceFactory.h"
#include "middleware/model/GuidSource.h"
#include "middleware/model/SourceManager.h"

class EventContext {
public:
    // The context, built by the first caller (which builds the controller table if needed). A build
    // that throws leaves it unbuilt for the next caller.
    static EventContext& instance();
    // Tests only: destroys the context as process exit would, so the next test starts afresh. No
    // other thread may be using it.
    static void destroyForTesting();

    EventContext();
    EventContext(const EventContext&) = delete;
    EventContext& operator=(const EventContext&) = delete;

    std::shared_ptr<DeviceLocator> locator;
    std::shared_ptr<GuidSource> guidSource;
    UviEvents::DeviceFactory deviceFactory;
    std::shared_ptr<UviEvents::ClientManager> clientManager;
    UviEvents::SourceManager sourceManager;
};
