#include "video/RenderPathChoice.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace kelvo::video;

// Renderer strings as drivers report them, software and hardware, under
// each preference.
TEST(RenderPathChoice, SoftwareRenderersGetTheCpuUnlessTheGpuIsAskedFor)
{
    struct Case {
        const char *renderer;
        bool software;
    };
    const Case cases[] = {
        {"llvmpipe (LLVM 15.0.6, 256 bits)", true},
        {"softpipe", true},
        {"Software Rasterizer", true},
        {"Mesa X11 swrast", true},
        {"zink (llvmpipe (LLVM 15.0.6, 256 bits))", true},
        {"D3D12 (Microsoft Basic Render Driver)", true},
        {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", false},
        {"AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49, 6.1.0-18-amd64)", false},
        {"NVIDIA GeForce GTX 1060 6GB/PCIe/SSE2", false},
        {"virgl (Intel(R) UHD Graphics 620)", false},
        {"SVGA3D; build: RELEASE;  LLVM;", false},
    };
    for (const Case &c : cases) {
        const std::optional<std::string> renderer = std::string(c.renderer);
        EXPECT_EQ(isSoftwareRenderer(c.renderer), c.software) << c.renderer;
        const RenderPathChoice automatic = chooseRenderPath(RenderPreference::Automatic, renderer);
        EXPECT_EQ(automatic.path, c.software ? RenderPath::Cpu : RenderPath::Gpu) << c.renderer;
        EXPECT_NE(automatic.reason.find(c.renderer), std::string::npos) << "the log names the renderer";
        EXPECT_EQ(chooseRenderPath(RenderPreference::Gpu, renderer).path, RenderPath::Gpu) << c.renderer;
        EXPECT_EQ(chooseRenderPath(RenderPreference::Cpu, renderer).path, RenderPath::Cpu) << c.renderer;
    }
    // Without a context there is only the CPU, whatever was asked.
    for (RenderPreference preference : {RenderPreference::Automatic, RenderPreference::Gpu, RenderPreference::Cpu}) {
        EXPECT_EQ(chooseRenderPath(preference, std::nullopt).path, RenderPath::Cpu);
    }
}

TEST(RenderPathChoice, ReadsThePreferenceTheUserWrites)
{
    EXPECT_EQ(parseRenderPreference("gpu"), RenderPreference::Gpu);
    EXPECT_EQ(parseRenderPreference(" CPU\n"), RenderPreference::Cpu);
    EXPECT_EQ(parseRenderPreference("Auto"), RenderPreference::Automatic);
    for (const char *wrong : {"", "opengl", "gpu2", "c pu"}) {
        EXPECT_EQ(parseRenderPreference(wrong), std::nullopt) << wrong;
    }
}
