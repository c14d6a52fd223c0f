#include "ImageHandles.h"

#include <mutex>
#include <unordered_map>

namespace lobbykit::image {
namespace {

struct Held {
    unsigned images = 0;
    HDC pairedDC = nullptr;
    HGDIOBJ displaced = nullptr;
};

// Images on different threads may be filled, copied and released at once.
struct Table {
    std::mutex lock;
    std::unordered_map<HGDIOBJ, Held> handles;
};

Table& Handles()
{
    static Table* table = new Table;  // outlives static images destroyed at exit
    return *table;
}

}  // namespace

void HoldNew(HGDIOBJ h)
{
    if (!h) return;
    Table& t = Handles();
    std::lock_guard<std::mutex> guard(t.lock);
    t.handles[h] = Held{1};  // an entry left for this value by a handle deleted behind our back goes
}

void HoldAlso(HGDIOBJ h, bool copy)
{
    if (!h) return;
    Table& t = Handles();
    std::lock_guard<std::mutex> guard(t.lock);
    auto [it, added] = t.handles.try_emplace(h);
    if (added && copy) it->second.images = 1;  // the image copied from
    ++it->second.images;
}

bool LetGo(HGDIOBJ h)
{
    if (!h) return false;
    Held held;
    {
        Table& t = Handles();
        std::lock_guard<std::mutex> guard(t.lock);
        auto it = t.handles.find(h);
        if (it == t.handles.end()) return true;
        if (--it->second.images > 0) return false;
        held = it->second;
        t.handles.erase(it);
    }
    // A context that is gone, or that holds another bitmap by now, fails or differs here.
    if (held.pairedDC && held.displaced && ::GetCurrentObject(held.pairedDC, OBJ_BITMAP) == h)
        ::SelectObject(held.pairedDC, held.displaced);
    return true;
}

void GiveUp(HGDIOBJ h)
{
    if (!h) return;
    Table& t = Handles();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.handles.find(h);
    if (it != t.handles.end() && --it->second.images == 0) t.handles.erase(it);
}

void PairWith(HGDIOBJ hBitmap, HDC hdc, HGDIOBJ hDisplaced)
{
    if (!hBitmap || !hdc) return;
    Table& t = Handles();
    std::lock_guard<std::mutex> guard(t.lock);
    auto [it, added] = t.handles.try_emplace(hBitmap);
    if (added) it->second.images = 1;  // a handle stored by hand: its image holds it alone
    it->second.pairedDC = hdc;
    it->second.displaced = hDisplaced;
}

void Unpair(HGDIOBJ hBitmap, HDC hdc)
{
    if (!hBitmap) return;
    Table& t = Handles();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.handles.find(hBitmap);
    if (it == t.handles.end() || it->second.pairedDC != hdc) return;
    it->second.pairedDC = nullptr;
    it->second.displaced = nullptr;
}

}  // namespace lobbykit::image
