// Linux with SDL2: the scene in an SDL window that wraps the section's rows without a copy
// (SDL_CreateRGBSurfaceWithFormatFrom). The loop waits in SDL_WaitEvent only: a watcher
// thread polls the thread queue's descriptor (WinportGetMessageQueueFd) and pushes an event
// when messages wait, and another waits for the game's process handle; nothing wakes the
// loop while nothing happens.
#include "SceneWindow.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <SDL.h>

namespace demo {
namespace {

struct SdlScene : SceneWindow {
    SDL_Window* window = nullptr;
    SDL_Surface* pixels = nullptr;
    Uint32 queueEvent = 0;   // messages wait in the lobby thread's queue
    Uint32 handleEvent = 0;  // the waited handle is signalled (code: its generation)
    int queueFd = -1;
    int stopPipe[2] = {-1, -1};  // the queue watcher's way out
    SDL_sem* taken = nullptr;    // the main thread has taken the waiting messages

    ~SdlScene() override
    {
        if (pixels) SDL_FreeSurface(pixels);
        if (window) SDL_DestroyWindow(window);
        if (taken) SDL_DestroySemaphore(taken);
        for (int fd : stopPipe)
            if (fd >= 0) close(fd);
        SDL_Quit();
    }

    void Show() override
    {
        SDL_Surface* target = SDL_GetWindowSurface(window);
        if (target && SDL_BlitSurface(pixels, nullptr, target, nullptr) == 0) SDL_UpdateWindowSurface(window);
    }

    // Polls the queue's descriptor and the stop pipe; after each event it waits until the
    // main thread has taken the messages, since the descriptor stays readable until then.
    static int WatchQueue(void* data)
    {
        auto* self = static_cast<SdlScene*>(data);
        pollfd p[2] = {{self->queueFd, POLLIN, 0}, {self->stopPipe[0], POLLIN, 0}};
        while (poll(p, 2, -1) >= 0 && !(p[1].revents & POLLIN)) {
            if (!(p[0].revents & POLLIN)) continue;
            SDL_Event e{};
            e.type = self->queueEvent;
            SDL_PushEvent(&e);
            SDL_SemWait(self->taken);
        }
        return 0;
    }

    // One wait for one handle; the stop event ends it early.
    struct HandleWatch {
        HANDLE handle = nullptr;
        HANDLE stop = nullptr;
        HANDLE thread = nullptr;
        Uint32 event = 0;
        Sint32 generation = 0;

        static DWORD WINAPI Run(LPVOID data)
        {
            auto* w = static_cast<HandleWatch*>(data);
            HANDLE both[2] = {w->handle, w->stop};
            if (WaitForMultipleObjects(2, both, FALSE, INFINITE) == WAIT_OBJECT_0) {
                SDL_Event e{};
                e.type = w->event;
                e.user.code = w->generation;
                SDL_PushEvent(&e);
            }
            return 0;
        }
        void Start(HANDLE h, Uint32 type, Sint32 gen)
        {
            handle = h;
            event = type;
            generation = gen;
            stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
            thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
        }
        void Stop()
        {
            if (!thread) return;
            SetEvent(stop);
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
            CloseHandle(stop);
            thread = stop = handle = nullptr;
        }
    };

    void Run(LoopHooks& hooks) override
    {
        SDL_Thread* watcher = SDL_CreateThread(WatchQueue, "lobbykit-queue", this);
        HandleWatch watch;
        bool running = watcher != nullptr;
        if (!running) hooks.OnWaitFailed();
        while (running) {
            int id = 0;
            HANDLE wanted = hooks.Waitable(&id);
            if (wanted != watch.handle || id != watch.generation) {
                watch.Stop();
                if (wanted) watch.Start(wanted, handleEvent, id);
            }
            SDL_Event e;
            if (!SDL_WaitEvent(&e)) {
                hooks.OnWaitFailed();
                break;
            }
            if (e.type == queueEvent) {
                running = hooks.DispatchWaiting();
                SDL_SemPost(taken);
            } else if (e.type == handleEvent && watch.handle && e.user.code == watch.generation) {
                // Messages first, as the message loop does: the game's connect may be among them.
                running = hooks.DispatchWaiting();
                int now = 0;
                if (running && hooks.Waitable(&now) == watch.handle && now == watch.generation) hooks.OnSignalled();
            } else if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_EXPOSED) {
                Show();
            }
        }
        watch.Stop();
        if (watcher) {
            const char stop = 1;
            if (write(stopPipe[1], &stop, 1) != 1) {
                // A pipe of our own with room for a byte: cannot fail.
            }
            SDL_SemPost(taken);  // a watcher waiting for a hand-back goes on to see the pipe
            SDL_WaitThread(watcher, nullptr);
        }
    }

    void Hold(DWORD ms) override
    {
        const Uint32 end = SDL_GetTicks() + ms;
        for (Sint32 left = Sint32(ms); left > 0; left = Sint32(end - SDL_GetTicks())) {
            SDL_Event e;
            if (!SDL_WaitEventTimeout(&e, left)) continue;
            if (e.type == SDL_QUIT) return;
            if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_EXPOSED) Show();
        }
    }
};

}  // namespace

std::unique_ptr<SceneWindow> SceneWindow::Open(const char* title, const void* bits, int w, int h, std::string& how)
{
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        how = std::string("no display (") + SDL_GetError() + ")";
        return nullptr;
    }
    auto scene = std::make_unique<SdlScene>();
    // At the screen's corner, so that a screenshot of the screen finds it there too.
    scene->window = SDL_CreateWindow(title, 0, 0, w, h, SDL_WINDOW_SHOWN);
    // The section's rows are 0x00RRGGBB words: SDL's RGB888.
    scene->pixels = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<void*>(bits), w, h, 32, w * 4, SDL_PIXELFORMAT_RGB888);
    scene->queueEvent = SDL_RegisterEvents(2);
    scene->handleEvent = scene->queueEvent + 1;
    scene->taken = SDL_CreateSemaphore(0);
    scene->queueFd = WinportGetMessageQueueFd();
    if (!scene->window || !scene->pixels || scene->queueEvent == Uint32(-1) || !scene->taken || scene->queueFd < 0 ||
        pipe2(scene->stopPipe, O_CLOEXEC) != 0) {
        how = std::string("no window (") + SDL_GetError() + ")";
        return nullptr;
    }
    scene->Show();
    how = "an SDL window";
    return scene;
}

}  // namespace demo
