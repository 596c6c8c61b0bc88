#pragma once
// The one lock around writes to standard output: the event listener's thread prints while a console
// region may be swapping the stream's buffer on the main thread.
#include <mutex>

namespace MOX {

std::recursive_mutex& ConsoleLock();

} // namespace MOX
