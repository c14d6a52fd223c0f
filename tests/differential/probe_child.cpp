// The program the process scenarios start, built for both systems like the probe. It writes
// what it was given into the named mapping that LOBBYKIT_PROBE_REPORT names: its arguments
// (of the program name only the last part, without ".exe", since folders differ between the
// systems; of an argument above 64 characters only its length), the last part of its
// current folder and PROBEVAR. Then, by its arguments:
//   sleep     waits until it is terminated
//   exit=N    exits with N (else 0)
//   abort     calls abort()
// Without LOBBYKIT_PROBE_REPORT it writes nothing and exits with 11.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <direct.h>
#define getcwd _getcwd
#else
#include <unistd.h>
#endif

namespace {

std::string LastPart(std::string path)
{
    const size_t sep = path.find_last_of("/\\");
    if (sep != std::string::npos && sep + 1 < path.size()) path = path.substr(sep + 1);
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".exe") == 0) path.resize(path.size() - 4);
    return path;
}

bool Report(const std::string& text)
{
    const char* name = std::getenv("LOBBYKIT_PROBE_REPORT");
    if (!name) return false;
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
    if (!mapping) return true;
    if (char* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0))) {
        lstrcpynA(view, text.c_str(), 4096);
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string text = "argc=" + std::to_string(argc);
    for (int i = 0; i < argc; ++i) {
        std::string arg = i == 0 ? LastPart(argv[0]) : std::string(argv[i]);
        if (arg.size() > 64) arg = "<" + std::to_string(arg.size()) + " characters>";
        text += " [" + arg + "]";
    }
    char cwd[4096] = "";
    if (!getcwd(cwd, sizeof cwd)) cwd[0] = '\0';
    const char* var = std::getenv("PROBEVAR");
    text += " cwd=" + LastPart(cwd) + " PROBEVAR=" + (var ? var : "(none)");
    if (!Report(text)) return 11;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "sleep") == 0) Sleep(INFINITE);
        if (std::strcmp(argv[i], "abort") == 0) std::abort();
        if (std::strncmp(argv[i], "exit=", 5) == 0) return std::atoi(argv[i] + 5);
    }
    return 0;
}
