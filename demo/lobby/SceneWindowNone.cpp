// Linux built without SDL2: the lobby runs without a window.
#include "SceneWindow.h"

namespace demo {

std::unique_ptr<SceneWindow> SceneWindow::Open(const char*, const void*, int, int, std::string& how)
{
    how = "built without SDL2";
    return nullptr;
}

}  // namespace demo
