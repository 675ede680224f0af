// Measures the CPU render path on 1080p and 2160p frames, single-threaded:
// the exact conversion of packed and bi-planar frames, alone and fused with a
// colour-mode curve, against libyuv's approximate conversion and against a
// plain copy of the same bytes. Prints a table, then one "ratio <name> <value>"
// line per comparison. Goals: the exact conversion no slower than libyuv, the
// fused pass under 1.5 times the plain conversion.
#include "video/ColourCurve.h"
#include "video/ColourMode.h"
#include "video/FrameConversion.h"

#include <libyuv.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace kelvo::video;

namespace {

// Median time of one call of each pass in milliseconds. The passes take
// turns, round after round, so that a slower or busier spell of the machine
// falls on all of them alike and their ratios hold still.
std::vector<double> measureInTurnsMs(const std::vector<std::function<void()>> &passes)
{
    using Clock = std::chrono::steady_clock;
    std::vector<std::vector<double>> times(passes.size());
    double roundMs = 0;
    for (const auto &work : passes) {
        work(); // warm up
        const auto start = Clock::now();
        work();
        roundMs += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }
    const int rounds = std::clamp(int(4000.0 / std::max(roundMs, 0.01)), 9, 300);
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < passes.size(); ++i) {
            const auto start = Clock::now();
            passes[i]();
            times[i].push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
    }
    std::vector<double> medians;
    for (auto &t : times) {
        std::nth_element(t.begin(), t.begin() + t.size() / 2, t.end());
        medians.push_back(t[t.size() / 2]);
    }
    return medians;
}

// A picture with camera-like content: smooth shading, text-like dark strokes
// and sensor noise, so the colour curve sees text, paper and the ramp between.
std::vector<std::uint8_t> lumaPlane(int w, int h, std::mt19937 &rng)
{
    std::normal_distribution<double> noise(0.0, 4.0);
    std::vector<std::uint8_t> luma(std::size_t(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double v = 170 + 40.0 * x / w - 20.0 * y / h;
            if ((x / 7 + y / 11) % 5 == 0) {
                v = 40;
            }
            luma[std::size_t(y) * w + x] = std::uint8_t(std::clamp(v + noise(rng), 0.0, 255.0));
        }
    }
    return luma;
}

struct Frames {
    int w, h;
    std::vector<std::uint8_t> uyvy, nv12;
    VideoFrame packed, planar;
};

Frames makeFrames(int w, int h)
{
    std::mt19937 rng(1);
    Frames f{w, h, {}, {}, {}, {}};
    const auto luma = lumaPlane(w, h, rng);
    std::uniform_int_distribution<int> chroma(110, 146);
    f.uyvy.resize(std::size_t(w) * h * 2);
    for (std::size_t i = 0; i < luma.size(); i += 2) {
        f.uyvy[2 * i] = std::uint8_t(chroma(rng));
        f.uyvy[2 * i + 1] = luma[i];
        f.uyvy[2 * i + 2] = std::uint8_t(chroma(rng));
        f.uyvy[2 * i + 3] = luma[i + 1];
    }
    f.nv12 = luma;
    f.nv12.resize(luma.size() + luma.size() / 2);
    for (std::size_t i = luma.size(); i < f.nv12.size(); ++i) {
        f.nv12[i] = std::uint8_t(chroma(rng));
    }
    f.packed.format = PixelFormat::UYVY;
    f.packed.width = w;
    f.packed.height = h;
    f.packed.planes = {f.uyvy.data(), nullptr};
    f.packed.strides = {2 * w, 0};
    f.planar.format = PixelFormat::NV12;
    f.planar.range = ColourRange::Video;
    f.planar.width = w;
    f.planar.height = h;
    f.planar.planes = {f.nv12.data(), f.nv12.data() + luma.size()};
    f.planar.strides = {w, w};
    return f;
}

} // namespace

int main()
{
    std::printf("vector conversion kernel: %s\n", hasVectorConversionKernel() ? "yes" : "no");
    const auto curve = ColourCurve::compile(getColorModeFilters(10)); // black on yellow
    std::map<std::string, double> ms;
    std::printf("%-32s %10s %10s\n", "pass", "ms", "MPix/s");
    for (const auto &[label, w, h] : {std::tuple{"1080p", 1920, 1080}, std::tuple{"2160p", 3840, 2160}}) {
        Frames f = makeFrames(w, h);
        std::vector<std::uint32_t> out(std::size_t(w) * h);
        std::vector<std::uint8_t> copy(f.uyvy.size());
        auto *dst = reinterpret_cast<std::uint8_t *>(out.data());
        const std::string l = label;
        const std::vector<std::pair<std::string, std::function<void()>>> passes = {
            {"memcpy_uyvy_" + l, [&] { std::memcpy(copy.data(), f.uyvy.data(), f.uyvy.size()); }},
            {"memcpy_nv12_" + l, [&] { std::memcpy(copy.data(), f.nv12.data(), f.nv12.size()); }},
            {"libyuv_uyvy_" + l, [&] { libyuv::UYVYToARGB(f.uyvy.data(), 2 * w, dst, 4 * w, w, h); }},
            {"libyuv_nv12_" + l,
             [&] { libyuv::NV12ToARGB(f.nv12.data(), w, f.nv12.data() + std::size_t(w) * h, w, dst, 4 * w, w, h); }},
            {"exact_uyvy_" + l, [&] { convertFrameToRgb32(f.packed, out.data(), 4 * w); }},
            {"exact_nv12_" + l, [&] { convertFrameToRgb32(f.planar, out.data(), 4 * w); }},
            {"fused_uyvy_" + l, [&] { convertFrameToRgb32(f.packed, out.data(), 4 * w, curve.get()); }},
            {"fused_nv12_" + l, [&] { convertFrameToRgb32(f.planar, out.data(), 4 * w, curve.get()); }},
            {"avx2_uyvy_" + l,
             [&] { convertFrameToRgb32(f.packed, out.data(), 4 * w, nullptr, ConversionKernel::Avx2); }},
            {"avx2_fused_uyvy_" + l,
             [&] { convertFrameToRgb32(f.packed, out.data(), 4 * w, curve.get(), ConversionKernel::Avx2); }},
            {"portable_uyvy_" + l,
             [&] { convertFrameToRgb32(f.packed, out.data(), 4 * w, nullptr, ConversionKernel::Portable); }},
        };
        std::vector<std::function<void()>> work;
        for (const auto &pass : passes) {
            work.push_back(pass.second);
        }
        const std::vector<double> medians = measureInTurnsMs(work);
        for (std::size_t i = 0; i < passes.size(); ++i) {
            const std::string &name = passes[i].first;
            ms[name] = medians[i];
            std::printf("%-32s %10.3f %10.1f\n", name.c_str(), ms[name], double(w) * h / ms[name] / 1000.0);
        }
    }
    const auto ratio = [&](const std::string &name, const std::string &a, const std::string &b) {
        std::printf("ratio %s %.2f\n", name.c_str(), ms.at(a) / ms.at(b));
    };
    for (const std::string l : {"1080p", "2160p"}) {
        for (const std::string fmt : {"uyvy", "nv12"}) {
            ratio("exact_" + fmt + "_" + l + "_vs_libyuv_argb", "exact_" + fmt + "_" + l, "libyuv_" + fmt + "_" + l);
            ratio("exact_" + fmt + "_" + l + "_vs_memcpy", "exact_" + fmt + "_" + l, "memcpy_" + fmt + "_" + l);
            ratio("fused_" + fmt + "_" + l + "_vs_libyuv_argb", "fused_" + fmt + "_" + l, "libyuv_" + fmt + "_" + l);
            ratio("fused_" + fmt + "_" + l + "_vs_memcpy", "fused_" + fmt + "_" + l, "memcpy_" + fmt + "_" + l);
            ratio("fused_vs_plain_" + fmt + "_" + l, "fused_" + fmt + "_" + l, "exact_" + fmt + "_" + l);
        }
        ratio("fused_vs_plain_" + l, "fused_uyvy_" + l, "exact_uyvy_" + l);
        ratio("avx2_uyvy_" + l + "_vs_libyuv_argb", "avx2_uyvy_" + l, "libyuv_uyvy_" + l);
        ratio("avx2_fused_vs_plain_uyvy_" + l, "avx2_fused_uyvy_" + l, "avx2_uyvy_" + l);
        ratio("portable_uyvy_" + l + "_vs_libyuv_argb", "portable_uyvy_" + l, "libyuv_uyvy_" + l);
    }
    return 0;
}
