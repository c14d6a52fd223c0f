// Internal: which image owns a bitmap or palette handle. Copies of an image share its handle
// values; only the image recorded here deletes them, so no handle is deleted twice.
#ifndef LOBBYKIT_IMAGE_IMAGEOWNER_H
#define LOBBYKIT_IMAGE_IMAGEOWNER_H

#include <windows.h>

namespace lobbykit::image {

// Records owner as the one owner of h (taking it from another image if need be).
void Own(const void* owner, HGDIOBJ h);
// Forgets h if owner owns it; true if it did (the caller then deletes or gives it up).
bool Disown(const void* owner, HGDIOBJ h);
bool Owns(const void* owner, HGDIOBJ h);

}  // namespace lobbykit::image

#endif
