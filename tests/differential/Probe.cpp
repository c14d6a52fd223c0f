#include "Probe.h"

#include <cstdio>
#include <cstdlib>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace probe {

namespace {

struct NamedCode {
    DWORD code;
    const char* name;
};

// The codes the scenarios meet; others print as a bare number.
const NamedCode kErrorNames[] = {
    {0, "ERROR_SUCCESS"},
    {2, "ERROR_FILE_NOT_FOUND"},
    {3, "ERROR_PATH_NOT_FOUND"},
    {5, "ERROR_ACCESS_DENIED"},
    {6, "ERROR_INVALID_HANDLE"},
    {8, "ERROR_NOT_ENOUGH_MEMORY"},
    {50, "ERROR_NOT_SUPPORTED"},
    {87, "ERROR_INVALID_PARAMETER"},
    {122, "ERROR_INSUFFICIENT_BUFFER"},
    {123, "ERROR_INVALID_NAME"},
    {161, "ERROR_BAD_PATHNAME"},
    {183, "ERROR_ALREADY_EXISTS"},
    {193, "ERROR_BAD_EXE_FORMAT"},
    {206, "ERROR_FILENAME_EXCED_RANGE"},
    {258, "WAIT_TIMEOUT"},
    {267, "ERROR_DIRECTORY"},
    {288, "ERROR_NOT_OWNER"},
    {317, "ERROR_MR_MID_NOT_FOUND"},
    {487, "ERROR_INVALID_ADDRESS"},
    {998, "ERROR_NOACCESS"},
    {1004, "ERROR_INVALID_FLAGS"},
    {1113, "ERROR_NO_UNICODE_TRANSLATION"},
    {1132, "ERROR_MAPPED_ALIGNMENT"},
    {1455, "ERROR_COMMITMENT_LIMIT"},
};

}  // namespace

const char kKnownSection[] = "== known differences";

void Transcript::Scenario(const std::string& name) { text_ += "== " + name + "\n"; }

void Transcript::Line(const std::string& line, const char* known)
{
    if (!known) {
        text_ += line + "\n";
        return;
    }
    if (!FindKnownDifference(known)) unknownIds_.push_back(known);
    // The main part keeps the call, so that the rest of the scenario stays aligned.
    const size_t arrow = line.find(" -> ");
    text_ += line.substr(0, arrow) + " -> known difference " + known + "\n";
    known_ += std::string(known) + ": " + line + "\n";
}

void Transcript::Call(const char* source, const std::string& result, DWORD lastError, const char* known)
{
    Line(std::string(source) + " -> " + result +
             "  err=" + (lastError == kUntouched ? std::string("-") : AsError(lastError)),
         known);
}

void Transcript::Value(const char* source, const std::string& result, const char* known)
{
    Line(std::string(source) + " -> " + result, known);
}

void Transcript::Check(const std::string& what, bool holds, const char* known)
{
    Line("   " + what + " -> " + (holds ? "yes" : "no"), known);
}

std::string Transcript::Text() const { return text_ + kKnownSection + "\n" + known_; }

const char* Transcript::Name(const std::string& label)
{
    if (prefix_.empty()) prefix_ = "lkdiff-" + std::to_string(GetCurrentProcessId()) + "-";
    names_.push_back(prefix_ + label);
    return names_.back().c_str();
}

const char* Transcript::NameOfLength(size_t chars, const std::string& fill)
{
    std::string name = Name("");
    names_.pop_back();
    for (size_t n = name.size(); n < chars; ++n) name += fill;
    names_.push_back(name);
    return names_.back().c_str();
}

std::string AsHandle(HANDLE h)
{
    if (h == nullptr) return "NULL";
    if (h == INVALID_HANDLE_VALUE) return "INVALID_HANDLE_VALUE";
    return "handle";
}

std::string AsHandleThenClose(HANDLE h)
{
    const std::string text = AsHandle(h);
    if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return text;
}

std::string AsBool(BOOL b)
{
    if (b == TRUE) return "TRUE";
    if (b == FALSE) return "FALSE";
    return "BOOL " + std::to_string(b);
}

std::string AsWait(DWORD r)
{
    if (r == WAIT_FAILED) return "WAIT_FAILED";
    if (r == static_cast<DWORD>(WAIT_TIMEOUT)) return "WAIT_TIMEOUT";
    if (r < MAXIMUM_WAIT_OBJECTS) return "WAIT_OBJECT_0+" + std::to_string(r);
    if (r >= WAIT_ABANDONED_0 && r < WAIT_ABANDONED_0 + MAXIMUM_WAIT_OBJECTS)
        return "WAIT_ABANDONED_0+" + std::to_string(r - WAIT_ABANDONED_0);
    return "wait result " + std::to_string(r);
}

std::string AsPointer(const void* p) { return p ? "non-NULL" : "NULL"; }

std::string AsInt(long long v) { return std::to_string(v); }

std::string AsError(DWORD code)
{
    for (const NamedCode& n : kErrorNames)
        if (n.code == code) return std::to_string(code) + " " + n.name;
    return std::to_string(code);
}

std::string Escaped(const char* data, size_t size)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string ProgramFolder()
{
    char path[4096] = "";
#if defined(_WIN32)
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
#else
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
#endif
    std::string self(path, n > 0 ? static_cast<size_t>(n) : 0);
    return self.substr(0, self.find_last_of("/\\") + 1);
}

const char* ProgramSuffix()
{
#if defined(_WIN32)
    return ".exe";
#else
    return "";
#endif
}

void SetEnvironment(const char* name, const char* value)
{
#if defined(_WIN32)
    SetEnvironmentVariableA(name, value);
#else
    setenv(name, value, 1);
#endif
}

std::vector<Scenario>& Scenarios()
{
    static std::vector<Scenario> all;
    return all;
}

}  // namespace probe
