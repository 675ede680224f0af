#include "video/RenderPathChoice.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace kelvo::video {

namespace {

std::string lowered(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return out;
}

std::string_view trimmed(std::string_view text)
{
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::optional<RenderPreference> parseRenderPreference(std::string_view text)
{
    const std::string word = lowered(trimmed(text));
    if (word == "gpu")
        return RenderPreference::Gpu;
    if (word == "cpu")
        return RenderPreference::Cpu;
    if (word == "auto")
        return RenderPreference::Automatic;
    return std::nullopt;
}

bool isSoftwareRenderer(std::string_view glRenderer)
{
    // Matched as words inside the string: Mesa decorates them ("llvmpipe
    // (LLVM 15.0.6, 256 bits)", "zink (llvmpipe ...)", "D3D12 (Microsoft
    // Basic Render Driver)").
    static constexpr std::array<std::string_view, 6> kSoftware = {
        "llvmpipe", "softpipe", "swrast", "software rasterizer", "lavapipe", "microsoft basic render driver"};
    const std::string name = lowered(glRenderer);
    return std::any_of(kSoftware.begin(), kSoftware.end(),
                       [&](std::string_view word) { return name.find(word) != std::string::npos; });
}

RenderPathChoice chooseRenderPath(RenderPreference preference, const std::optional<std::string> &glRenderer)
{
    const std::string renderer = glRenderer ? "\"" + *glRenderer + "\"" : std::string("none");
    const std::string suffix = " (OpenGL renderer " + renderer + ")";
    if (!glRenderer)
        return {RenderPath::Cpu, "CPU: no OpenGL context" + suffix};
    switch (preference) {
    case RenderPreference::Gpu:
        return {RenderPath::Gpu, "GPU: asked for" + suffix};
    case RenderPreference::Cpu:
        return {RenderPath::Cpu, "CPU: asked for" + suffix};
    case RenderPreference::Automatic:
        break;
    }
    if (isSoftwareRenderer(*glRenderer))
        return {RenderPath::Cpu, "CPU: the OpenGL renderer runs on the processor" + suffix};
    return {RenderPath::Gpu, "GPU: hardware OpenGL renderer" + suffix};
}

} // namespace kelvo::video
