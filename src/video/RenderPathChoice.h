#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelvo::video {

// Which of the two live-picture renderers draws the camera frames. A
// software OpenGL renderer emulates on the processor what the GPU path asks
// of a graphics card, and makes the whole window compose through it: there
// the CPU path costs a fraction of the same picture. Portable; any thread.
enum class RenderPath { Gpu, Cpu };

// What the user asked for (the command line, then the settings).
enum class RenderPreference { Automatic, Gpu, Cpu };

// "gpu", "cpu" or "auto" (any case, surrounding blanks ignored); nothing for
// any other text.
std::optional<RenderPreference> parseRenderPreference(std::string_view text);

// Whether a GL_RENDERER string names a renderer that runs on the processor:
// Mesa's llvmpipe, softpipe and swrast (also beneath zink or a D3D12
// translation layer), lavapipe, and the WARP device of a Windows host. A
// paravirtual device (virgl, SVGA3D) forwards to the host's GPU and counts
// as hardware.
bool isSoftwareRenderer(std::string_view glRenderer);

struct RenderPathChoice {
    RenderPath path = RenderPath::Cpu;
    // One line for the log: the path, the renderer and why.
    std::string reason;
};

// The path for a preference and the renderer an OpenGL context reported
// (nothing when no context could be made). The GPU path needs a context
// even when asked for.
RenderPathChoice chooseRenderPath(RenderPreference preference, const std::optional<std::string> &glRenderer);

} // namespace kelvo::video
