// The demo's scene where the library is built without its image class (a Linux build whose
// winport/posix has no GDI yet): the transcript says so.
#include "Scene.h"

namespace demo {

std::string SaveSceneBeside(const char*)
{
    return "scene: not drawn, this build of the library has no image class";
}

}  // namespace demo
