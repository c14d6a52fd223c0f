// The differential probe: named scenarios of Win32 calls that write a canonical transcript.
// The same program is built against winport/posix (Linux) and against the real API
// (mingw-w64, run under Wine); the test compares the two transcripts byte for byte.
//
// A transcript line is the call as written in the source, its result in a form that does
// not depend on the run (no handle values, addresses or times), and what the call did to
// the thread's last error: "err=-" when it left it alone (the probe sets a sentinel before
// each call), else the code and its name.
#ifndef LOBBYKIT_TESTS_DIFFERENTIAL_PROBE_H
#define LOBBYKIT_TESTS_DIFFERENTIAL_PROBE_H

#include <windows.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace probe {

// A difference between winport/posix and Windows (as Wine gives it) that is explained:
// its id, its kind and why. The table is in KnownDifferences.cpp. The lines of a scenario
// that a known difference covers print "known difference ID" in the transcript, and their
// results go to a last section "== known differences", which the comparison expects to
// differ (and reports when it no longer does: the allowance must then go).
struct KnownDifference {
    const char* id;
    // "winport-bug": winport/posix is wrong; to be fixed there (and the entry removed).
    // "winport-limit": a limit winport/posix documents (fails with an error code).
    // "winport-choice": winport/posix deliberately does the sound thing where Windows is silent.
    // "wine-departs": Wine departs from documented Windows behaviour; winport/posix follows
    //                 the documentation.
    const char* kind;
    const char* why;
};
const std::vector<KnownDifference>& KnownDifferences();
const KnownDifference* FindKnownDifference(const std::string& id);

// The header of the transcript's last section.
extern const char kKnownSection[];

class Transcript {
public:
    // Value a call finds in the last error before it runs; "err=-" means it is still there.
    static constexpr DWORD kUntouched = 0x2BADF00Du;

    void Scenario(const std::string& name);
    // One call: its source text, its result already formatted, and the last error after it.
    // With a known-difference id, the result goes to the last section.
    void Call(const char* source, const std::string& result, DWORD lastError, const char* known = nullptr);
    // One call whose last error means nothing (string functions and the like).
    void Value(const char* source, const std::string& result, const char* known = nullptr);
    // A check of a state the calls above produced ("view sees the write: yes").
    void Check(const std::string& what, bool holds, const char* known = nullptr);

    // The transcript, its known-difference section last.
    std::string Text() const;
    // Ids used that the table does not have (a mistake in a scenario).
    const std::vector<std::string>& UnknownIds() const { return unknownIds_; }

    // A name unique to this run (the run's process id and the scenario's own label), kept
    // alive until the end of the run. Transcripts show the source text "Name(...)", never
    // the value, so they do not depend on the process id.
    const char* Name(const std::string& label);

    // A name of exactly `chars` characters: the run's prefix (ASCII), then `fill`, one
    // character (a byte, or the two bytes of a GBK character), repeated.
    const char* NameOfLength(size_t chars, const std::string& fill = "n");

private:
    void Line(const std::string& line, const char* known);

    std::string text_;
    std::string known_;
    std::vector<std::string> unknownIds_;
    std::string prefix_;
    std::deque<std::string> names_;
};

// Compares a winport transcript with a Windows one. Returns true when they agree: the same
// scenarios and lines, and every known difference still different. `report` says what
// differs, and lists the known differences with both results and the reason.
bool CompareTranscripts(const std::string& winport, const std::string& windows, std::string& report);

// Result formats.
std::string AsHandle(HANDLE h);           // NULL / INVALID_HANDLE_VALUE / handle
std::string AsHandleThenClose(HANDLE h);  // the same, and closes a handle the scenario does not keep
std::string AsBool(BOOL b);               // TRUE / FALSE / other value
std::string AsWait(DWORD r);              // WAIT_OBJECT_0+i / WAIT_ABANDONED_0+i / WAIT_TIMEOUT / ...
std::string AsPointer(const void* p);     // NULL / non-NULL
std::string AsInt(long long v);
std::string AsError(DWORD code);  // "183 ERROR_ALREADY_EXISTS"
// Bytes as a C string literal body: printable ASCII as is, everything else as \xNN.
std::string Escaped(const char* data, size_t size);

// The folder of the running probe with its separator ("Z:\\...\\bin\\" or "/.../bin/"), the
// suffix of its programs (".exe" or ""), and an environment variable of the probe that the
// processes it starts inherit.
std::string ProgramFolder();
const char* ProgramSuffix();
void SetEnvironment(const char* name, const char* value);

struct Scenario {
    const char* name;
    void (*run)(Transcript&);
};
std::vector<Scenario>& Scenarios();

struct Registrar {
    Registrar(const char* name, void (*run)(Transcript&)) { Scenarios().push_back({name, run}); }
};

}  // namespace probe

// Defines and registers a scenario; the body uses the transcript `t`.
#define PROBE_SCENARIO(name)                                      \
    static void name(probe::Transcript& t);                       \
    static const probe::Registrar name##_registrar(#name, &name); \
    static void name(probe::Transcript& t)

// Runs `expr` with the sentinel in the last error and records it with formatter `fmt`.
#define PROBE_CALL(fmt, expr)                            \
    do {                                                 \
        ::SetLastError(probe::Transcript::kUntouched);   \
        const auto probe_result_ = (expr);               \
        const DWORD probe_error_ = ::GetLastError();     \
        t.Call(#expr, fmt(probe_result_), probe_error_); \
    } while (0)

// The same, for a call whose result is a known difference (id in KnownDifferences.cpp).
#define PROBE_CALL_KNOWN(id, fmt, expr)                      \
    do {                                                     \
        ::SetLastError(probe::Transcript::kUntouched);       \
        const auto probe_result_ = (expr);                   \
        const DWORD probe_error_ = ::GetLastError();         \
        t.Call(#expr, fmt(probe_result_), probe_error_, id); \
    } while (0)

#define PROBE_VALUE(fmt, expr) t.Value(#expr, fmt(expr))
#define PROBE_VALUE_KNOWN(id, fmt, expr) t.Value(#expr, fmt(expr), id)

#endif
