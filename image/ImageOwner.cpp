#include "ImageOwner.h"

#include <mutex>
#include <unordered_map>

namespace lobbykit::image {
namespace {

// Images on different threads may fill or release themselves at the same time.
struct Registry {
    std::mutex lock;
    std::unordered_map<HGDIOBJ, const void*> owners;
};

Registry& Owners()
{
    static Registry* registry = new Registry;  // outlives static images destroyed at exit
    return *registry;
}

}  // namespace

void Own(const void* owner, HGDIOBJ h)
{
    if (!h) return;
    Registry& r = Owners();
    std::lock_guard<std::mutex> guard(r.lock);
    r.owners[h] = owner;
}

bool Disown(const void* owner, HGDIOBJ h)
{
    if (!h) return false;
    Registry& r = Owners();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.owners.find(h);
    if (it == r.owners.end() || it->second != owner) return false;
    r.owners.erase(it);
    return true;
}

bool Owns(const void* owner, HGDIOBJ h)
{
    if (!h) return false;
    Registry& r = Owners();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.owners.find(h);
    return it != r.owners.end() && it->second == owner;
}

}  // namespace lobbykit::image
