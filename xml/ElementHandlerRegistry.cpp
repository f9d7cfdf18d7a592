#include "xml/ElementHandlerRegistry.h"

#include <mutex>
#include <unordered_set>

namespace ambivox {

namespace {

struct registry {
    std::mutex mutex;
    std::unordered_set<void const*> handlers;
};

registry& instance() {
    // Torn down with the module, which may unload long before the process ends. Every handler
    // registers in its constructor, so the registry is complete before any handler is and, torn
    // down in reverse, outlives them all, handlers with static storage included.
    static registry r;
    return r;
}

}  // namespace

void ElementHandlerRegistry::add(IXMLElementHandler const* handler) {
    auto& r = instance();
    std::lock_guard lock(r.mutex);
    r.handlers.insert(handler);
}

void ElementHandlerRegistry::remove(IXMLElementHandler const* handler) noexcept {
    auto& r = instance();
    std::lock_guard lock(r.mutex);
    r.handlers.erase(handler);
}

IXMLElementHandler* ElementHandlerRegistry::find(void const* address) noexcept {
    auto& r = instance();
    std::lock_guard lock(r.mutex);
    if (r.handlers.count(address) == 0) return nullptr;
    return const_cast<IXMLElementHandler*>(static_cast<IXMLElementHandler const*>(address));
}

}  // namespace ambivox
