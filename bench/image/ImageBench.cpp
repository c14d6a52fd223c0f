// Transfers of a 1024x768 32-bpp picture between memory DCs, against memcpy of the same
// bytes in the same run:
//   BitBltSrcCopy     BitBlt SRCCOPY 1024x768 (target: within 1.5 x memcpy)
//   StretchUp2x       StretchBlt 1024x768 -> 2048x1536, COLORONCOLOR
//   StretchDownHalf   StretchBlt 1024x768 -> 512x384, COLORONCOLOR
//   InvertThenAnd     BitBlt SRCINVERT then BitBlt SRCAND, colour onto colour
//   MaskTransfers     SRCINVERT, SRCAND with a 1-bpp mask (mono -> colour), SRCINVERT
//
// One source, two drivers: natively Google Benchmark, in the Windows build (run under
// Wine, whose GDI is then measured) a plain timing loop, since Google Benchmark is not in
// that build. Both time wall clock and keep the fastest of several repetitions (the least
// disturbed by other load), and end with the same summary, which bench/image/run-both.sh
// puts side by side:
//   build/bench/bench/image/image_bench [--benchmark_repetitions=N]   (native, default 5)
//   wine build/windows/bench/image/image_bench.exe [REPETITIONS]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "BenchDriver.h"

namespace {

constexpr int kW = 1024, kH = 768;
constexpr size_t kBytes = static_cast<size_t>(kW) * kH * 4;

// The pictures and DCs every operation uses; made once.
class Fixture {
public:
    Fixture()
    {
        screen_ = GetDC(nullptr);
        std::vector<uint32_t> px(static_cast<size_t>(kW) * kH);
        uint32_t s = 0x2545F491u;
        for (uint32_t& v : px) {
            s ^= s << 13;
            s ^= s >> 17;
            s ^= s << 5;
            v = s & 0xFFFFFF;
        }
        BITMAPINFO bmi = {};
        bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
        bmi.bmiHeader.biWidth = kW;
        bmi.bmiHeader.biHeight = -kH;
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        bmi.bmiHeader.biCompression = BI_RGB;
        src = Select(CreateDIBitmap(screen_, &bmi.bmiHeader, CBM_INIT, px.data(), &bmi, DIB_RGB_COLORS));
        dst = Select(CreateCompatibleBitmap(screen_, kW, kH));
        big = Select(CreateCompatibleBitmap(screen_, kW * 2, kH * 2));
        small = Select(CreateCompatibleBitmap(screen_, kW / 2, kH / 2));
        std::vector<uint8_t> bits(static_cast<size_t>(kW / 8) * kH);
        for (uint8_t& b : bits) b = static_cast<uint8_t>(s = s * 1103515245u + 12345u);
        mask = Select(CreateBitmap(kW, kH, 1, 1, bits.data()));
        for (HDC dc : {big, small}) SetStretchBltMode(dc, COLORONCOLOR);
        SetTextColor(dst, RGB(0, 0, 0));
        SetBkColor(dst, RGB(255, 255, 255));
        from.assign(px.begin(), px.end());
        to.assign(px.size(), 0);
    }
    ~Fixture()
    {
        for (size_t i = 0; i < dcs_.size(); ++i) {
            DeleteObject(SelectObject(dcs_[i], old_[i]));
            DeleteDC(dcs_[i]);
        }
        ReleaseDC(nullptr, screen_);
    }
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;

    bool ok() const { return ok_; }

    HDC src = nullptr, dst = nullptr, big = nullptr, small = nullptr, mask = nullptr;
    std::vector<uint32_t> from, to;

private:
    HDC Select(HBITMAP bm)
    {
        HDC dc = CreateCompatibleDC(screen_);
        if (!bm || !dc) {
            ok_ = false;
            if (bm) DeleteObject(bm);
            if (dc) DeleteDC(dc);
            return nullptr;
        }
        dcs_.push_back(dc);
        old_.push_back(SelectObject(dc, bm));
        return dc;
    }

    HDC screen_ = nullptr;
    bool ok_ = true;
    std::vector<HDC> dcs_;
    std::vector<HGDIOBJ> old_;
};

// memcpy through a pointer the compiler cannot see through, so no copy is left out.
void* (*volatile g_copy)(void*, const void*, size_t) = std::memcpy;

bool Memcpy(Fixture& f) { return g_copy(f.to.data(), f.from.data(), kBytes) != nullptr; }

bool BitBltSrcCopy(Fixture& f) { return BitBlt(f.dst, 0, 0, kW, kH, f.src, 0, 0, SRCCOPY) != FALSE; }

bool StretchUp2x(Fixture& f) { return StretchBlt(f.big, 0, 0, kW * 2, kH * 2, f.src, 0, 0, kW, kH, SRCCOPY) != FALSE; }

bool StretchDownHalf(Fixture& f)
{
    return StretchBlt(f.small, 0, 0, kW / 2, kH / 2, f.src, 0, 0, kW, kH, SRCCOPY) != FALSE;
}

bool InvertThenAnd(Fixture& f)
{
    return BitBlt(f.dst, 0, 0, kW, kH, f.src, 0, 0, SRCINVERT) && BitBlt(f.dst, 0, 0, kW, kH, f.src, 0, 0, SRCAND);
}

bool MaskTransfers(Fixture& f)
{
    return BitBlt(f.dst, 0, 0, kW, kH, f.src, 0, 0, SRCINVERT) && BitBlt(f.dst, 0, 0, kW, kH, f.mask, 0, 0, SRCAND) &&
           BitBlt(f.dst, 0, 0, kW, kH, f.src, 0, 0, SRCINVERT);
}

using Operation = imagebench::Operation<Fixture>;

const Operation kOperations[] = {
    {"Memcpy", Memcpy},
    {"BitBltSrcCopy", BitBltSrcCopy},
    {"StretchUp2x", StretchUp2x},
    {"StretchDownHalf", StretchDownHalf},
    {"InvertThenAnd", InvertThenAnd},
    {"MaskTransfers", MaskTransfers},
};

// The summary both drivers end with: each operation's fastest repetition and its multiple of
// memcpy's.
void PrintSummary(const char* driver, const imagebench::Times& times)
{
    std::map<std::string, double> ns;
    for (const auto& t : times)
        if (!t.second.empty()) ns[t.first] = *std::min_element(t.second.begin(), t.second.end()) * 1e9;
    const auto memcpyTimes = times.find("Memcpy");
    const std::size_t repetitions = memcpyTimes == times.end() ? 0 : memcpyTimes->second.size();
    std::printf("\n== image_bench summary (%s, wall time, fastest of %zu repetitions; 1024x768x32 = %zu bytes)\n",
                driver, repetitions, kBytes);
    const auto base = ns.find("Memcpy");
    std::printf("%-18s %12s %10s\n", "operation", "us/op", "x memcpy");
    for (const Operation& op : kOperations) {
        const auto it = ns.find(op.name);
        if (it == ns.end()) continue;
        std::printf("%-18s %12.1f %10.2f\n", op.name, it->second / 1e3,
                    base != ns.end() && base->second > 0 ? it->second / base->second : 0.0);
    }
    if (base != ns.end() && ns.count("BitBltSrcCopy"))
        std::printf("target BitBlt SRCCOPY <= 1.5 x memcpy: %s\n",
                    ns.at("BitBltSrcCopy") <= 1.5 * base->second ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv)
{
    Fixture f;
    if (!f.ok()) {
        std::fprintf(stderr, "image_bench: the pictures could not be made\n");
        return 1;
    }
    imagebench::Times times;
    if (!imagebench::Measure(argc, argv, "image_bench", f, kOperations, times)) return 1;
    PrintSummary(imagebench::kDriver, times);
    return 0;
}
