// Comparison of two transcripts, scenario by scenario, with the known differences apart.
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "Probe.h"

namespace probe {

namespace {

using Lines = std::vector<std::string>;

struct Parsed {
    std::vector<std::string> order;          // scenario names as they come
    std::map<std::string, Lines> scenarios;  // name -> lines
    std::vector<std::string> knownOrder;     // ids as they first come
    std::map<std::string, Lines> known;      // id -> result lines
    Lines stray;                             // lines outside any scenario or known entry
};

Lines SplitLines(const std::string& text)
{
    Lines lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

Parsed Parse(const std::string& text)
{
    Parsed p;
    Lines* current = nullptr;
    bool inKnown = false;
    for (const std::string& line : SplitLines(text)) {
        if (line == kKnownSection) {
            inKnown = true;
            current = nullptr;
        } else if (inKnown) {
            const size_t colon = line.find(": ");
            if (colon == std::string::npos) {
                p.stray.push_back(line);
                continue;
            }
            const std::string id = line.substr(0, colon);
            if (!p.known.count(id)) p.knownOrder.push_back(id);
            p.known[id].push_back(line.substr(colon + 2));
        } else if (line.compare(0, 3, "== ") == 0) {
            const std::string name = line.substr(3);
            if (!p.scenarios.count(name)) p.order.push_back(name);
            current = &p.scenarios[name];
        } else if (current) {
            current->push_back(line);
        } else {
            p.stray.push_back(line);
        }
    }
    return p;
}

// A line diff of two short blocks (longest common subsequence): " " both, "-" a only,
// "+" b only.
void Diff(const Lines& a, const Lines& b, std::string& out)
{
    const size_t n = a.size(), m = b.size();
    std::vector<std::vector<unsigned>> lcs(n + 1, std::vector<unsigned>(m + 1, 0));
    for (size_t i = n; i-- > 0;)
        for (size_t j = m; j-- > 0;)
            lcs[i][j] = a[i] == b[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
    size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[i] == b[j]) {
            out += "    " + a[i++] + "\n";
            ++j;
        } else if (i < n && (j == m || lcs[i + 1][j] >= lcs[i][j + 1])) {
            out += "  - " + a[i++] + "\n";
        } else {
            out += "  + " + b[j++] + "\n";
        }
    }
}

}  // namespace

bool CompareTranscripts(const std::string& winport, const std::string& windows, std::string& report)
{
    const Parsed a = Parse(winport);
    const Parsed b = Parse(windows);
    bool same = true;
    std::string differences;

    for (const Parsed* p : {&a, &b}) {
        if (!p->stray.empty()) {
            differences += std::string("lines outside any scenario in the ") + (p == &a ? "winport" : "Windows") +
                           " transcript, first: " + p->stray.front() + "\n";
            same = false;
        }
    }

    size_t identical = 0;
    for (const std::string& name : a.order) {
        const auto other = b.scenarios.find(name);
        if (other == b.scenarios.end()) {
            differences += "scenario " + name + " is missing from the Windows transcript\n";
            same = false;
        } else if (other->second != a.scenarios.at(name)) {
            differences += "scenario " + name + " differs (- winport/posix, + Windows API under Wine):\n";
            Diff(a.scenarios.at(name), other->second, differences);
            same = false;
        } else {
            ++identical;
        }
    }
    for (const std::string& name : b.order) {
        if (!a.scenarios.count(name)) {
            differences += "scenario " + name + " is missing from the winport transcript\n";
            same = false;
        }
    }

    std::string explained;
    size_t explainedCount = 0;
    std::vector<std::string> ids = a.knownOrder;
    for (const std::string& id : b.knownOrder)
        if (!a.known.count(id)) ids.push_back(id);
    for (const std::string& id : ids) {
        const KnownDifference* k = FindKnownDifference(id);
        const auto ia = a.known.find(id);
        const auto ib = b.known.find(id);
        const Lines none;
        const Lines& la = ia == a.known.end() ? none : ia->second;
        const Lines& lb = ib == b.known.end() ? none : ib->second;
        if (!k) {
            differences += "known difference " + id + " is not in the table\n";
            same = false;
            continue;
        }
        if (la == lb) {
            differences += "known difference " + id +
                           " no longer differs: remove it from the table and write "
                           "its lines as plain calls again. Both give:\n";
            for (const std::string& l : la) differences += "    " + l + "\n";
            same = false;
            continue;
        }
        ++explainedCount;
        explained += id + " (" + k->kind + "): " + k->why + "\n";
        Diff(la, lb, explained);
    }

    report = differences;
    report += "scenarios: " + std::to_string(a.order.size()) + ", identical: " + std::to_string(identical) +
              "; explained differences: " + std::to_string(explainedCount) + "\n";
    if (!explained.empty())
        report += "explained differences (- winport/posix, + Windows API under Wine):\n" + explained;
    return same;
}

}  // namespace probe
