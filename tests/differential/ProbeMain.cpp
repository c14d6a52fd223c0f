// differential_probe: runs scenarios and writes their transcript, or compares two.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "Probe.h"

namespace {

bool ReadFile(const char* path, std::string& out)
{
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

}  // namespace

// differential_probe [SCENARIO...]       runs the named scenarios (all without names, in
//                                        name order) and writes the transcript to stdout
// differential_probe --list              names the scenarios
// differential_probe --compare A B       compares transcript A (winport) with B (Windows)
int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--compare") == 0) {
        std::string winport, windows, report;
        if (!ReadFile(argv[2], winport) || !ReadFile(argv[3], windows)) {
            std::fprintf(stderr, "differential_probe: cannot read %s or %s\n", argv[2], argv[3]);
            return 2;
        }
        const bool same = probe::CompareTranscripts(winport, windows, report);
        std::fwrite(report.data(), 1, report.size(), stdout);
        return same ? 0 : 1;
    }

    std::vector<probe::Scenario> all = probe::Scenarios();
    // Registration order depends on the link order: sort for a stable transcript.
    std::sort(all.begin(), all.end(),
              [](const probe::Scenario& a, const probe::Scenario& b) { return std::strcmp(a.name, b.name) < 0; });

    std::vector<const probe::Scenario*> chosen;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--list") == 0) {
            for (const probe::Scenario& s : all) std::printf("%s\n", s.name);
            return 0;
        }
        const probe::Scenario* found = nullptr;
        for (const probe::Scenario& s : all)
            if (std::strcmp(s.name, argv[i]) == 0) found = &s;
        if (!found) {
            std::fprintf(stderr, "differential_probe: no scenario %s\n", argv[i]);
            return 2;
        }
        chosen.push_back(found);
    }
    if (chosen.empty())
        for (const probe::Scenario& s : all) chosen.push_back(&s);

    probe::Transcript t;
    for (const probe::Scenario* s : chosen) {
        t.Scenario(s->name);
        s->run(t);
    }

    for (const std::string& id : t.UnknownIds())
        std::fprintf(stderr, "differential_probe: known difference %s is not in the table\n", id.c_str());
    if (!t.UnknownIds().empty()) return 3;

#if defined(_WIN32)
    // The transcript is compared byte for byte: no "\r\n" from text mode.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const std::string text = t.Text();
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0 ? 0 : 1;
}
