#include "video/ImageFilterChain.h"
#include "video/ImageFilterGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace kelvo::video;

namespace {

// Stands in for the viewer controller: keeps the inputs, records every call.
class FakeHost : public ImageFilterHost {
public:
    ImageFilterInputs inputs;
    ImageFilterChain *chain = nullptr;
    std::vector<ImageFilterState> installs;
    std::vector<std::string> calls;
    std::vector<std::int64_t> rotatedFrom;

    ImageFilterInputs imageFilterInputs() const override { return inputs; }
    void setChosenPreferredColorMode(std::int64_t index) override
    {
        calls.push_back("setChosenPreferredColorMode " + std::to_string(index));
        inputs.colour.chosenPreferredColorMode = index;
        chain->setImageFilters(); // as the controller's setter does
    }
    void installImageFilters(const ImageFilterState &state) override
    {
        calls.emplace_back("install");
        installs.push_back(state);
    }
    void rotateWindow() override { calls.emplace_back("rotateWindow"); }
    void rotateFrozenPicture(std::int64_t from) override
    {
        calls.emplace_back("rotateFrozenPicture");
        rotatedFrom.push_back(from);
    }
    void setVideoOrientationWhenFrozen(std::int64_t o) override
    {
        calls.emplace_back("setVideoOrientationWhenFrozen");
        inputs.videoOrientationWhenFrozen = o;
    }
    void setWindowAspectRatio() override { calls.emplace_back("setWindowAspectRatio"); }
};

struct ChainFixture : ::testing::Test {
    FakeHost host;
    ImageFilterChain chain{host};
    void SetUp() override
    {
        host.chain = &chain;
        host.inputs.colour.chosenPreferredColorMode = -1;
        host.inputs.previewViewSize = SizeD{800, 600};
        host.inputs.videoWindowSize = SizeD{800, 600};
        host.inputs.freezeFrameLayerWidth = 640;
    }
    std::vector<std::string> names(const ImageFilterList &list) const
    {
        std::vector<std::string> out;
        for (const auto &f : list) {
            out.emplace_back(filterName(f));
        }
        return out;
    }
};

void expectMaps(const AffineTransform &t, double x, double y, double ex, double ey)
{
    const auto p = t.map(x, y);
    EXPECT_NEAR(p[0], ex, 1e-9) << "x of " << x << "," << y;
    EXPECT_NEAR(p[1], ey, 1e-9) << "y of " << x << "," << y;
}

} // namespace

TEST_F(ChainFixture, ZoomAloneOrNothingInNormalMode)
{
    host.inputs.colour.chosenNonPreferredColorMode = 0;
    chain.setImageFilters();
    ASSERT_EQ(host.installs.size(), 1u);
    EXPECT_TRUE(host.installs.back().previewFilters.empty());

    chain.setDigitalZoomLevel(2.0);
    ASSERT_EQ(host.installs.size(), 2u);
    const auto &list = host.installs.back().previewFilters;
    ASSERT_EQ(names(list), std::vector<std::string>{"CIAffineTransform"});
    const AffineTransform &zoom = std::get<AffineTransformFilter>(list[0]).inputTransform;
    // p ↦ m + z·(p − m) about the preview's centre m = (400, 300).
    expectMaps(zoom, 400, 300, 400, 300);
    expectMaps(zoom, 0, 0, 400 - 2 * 400, 300 - 2 * 300);
    expectMaps(zoom, 500, 350, 400 + 2 * 100, 300 + 2 * 50);
}

TEST_F(ChainFixture, ColourChainComesBeforeTheZoom)
{
    host.inputs.colour.chosenNonPreferredColorMode = 3;
    chain.setImageFilters();
    EXPECT_EQ(host.installs.back().previewFilters.size(), 5u);

    host.inputs.colour.chosenNonPreferredColorMode = 9;
    chain.setDigitalZoomLevel(1.33);
    const auto n = names(host.installs.back().previewFilters);
    ASSERT_EQ(n.size(), 5u);
    EXPECT_EQ(n.front(), "CIColorMonochrome");
    EXPECT_EQ(n[3], "CIColorMatrix");
    EXPECT_EQ(n.back(), "CIAffineTransform");

    host.inputs.previewViewSize.reset(); // no preview view: the zoom is about the origin
    chain.setImageFilters();
    const auto &zoom = std::get<AffineTransformFilter>(host.installs.back().previewFilters.back()).inputTransform;
    expectMaps(zoom, 10, 20, 13.3, 26.6);
}

TEST_F(ChainFixture, DigitalZoomAcceptsOnlyOneToFive)
{
    struct Case {
        double level;
        bool accepted;
    };
    const Case cases[] = {{1.0, true},
                          {5.0, true},
                          {3.64, true},
                          {0.99, false},
                          {5.01, false},
                          {-2.0, false},
                          {std::numeric_limits<double>::quiet_NaN(), false},
                          {std::numeric_limits<double>::infinity(), false}};
    for (const Case &c : cases) {
        chain.setDigitalZoomLevel(2.5);
        const std::size_t before = host.installs.size();
        chain.setDigitalZoomLevel(c.level);
        if (c.accepted) {
            EXPECT_EQ(chain.digitalZoomLevel(), c.level);
            EXPECT_EQ(host.installs.size(), before + 1) << c.level;
        } else {
            EXPECT_EQ(chain.digitalZoomLevel(), 2.5) << c.level;
            EXPECT_EQ(host.installs.size(), before) << c.level;
        }
    }
    chain.setDigitalZoomLevel(1.0);
    EXPECT_TRUE(host.installs.back().previewFilters.empty()) << "exactly 1.0 adds no zoom filter";
}

TEST_F(ChainFixture, FrozenPictureMirrorSpansItsOwnLayer)
{
    host.inputs.isMirrored = true;
    host.inputs.colour.chosenNonPreferredColorMode = 5;
    chain.setDigitalZoomLevel(2.0);
    const ImageFilterState &state = host.installs.back();
    ASSERT_EQ(names(state.freezeFrameFilters), std::vector<std::string>{"CIAffineTransform"});
    const auto &mirror = std::get<AffineTransformFilter>(state.freezeFrameFilters[0]).inputTransform;
    expectMaps(mirror, 0, 10, 640, 10);
    expectMaps(mirror, 640, 0, 0, 0);
    expectMaps(mirror, 100, 55, 540, 55);

    host.inputs.isMirrored = false;
    chain.setImageFilters();
    EXPECT_TRUE(host.installs.back().freezeFrameFilters.empty());
}

TEST_F(ChainFixture, WindowTurnsWhenItsShapeDoesNotFitTheOrientation)
{
    struct Case {
        std::int64_t orientation;
        SizeD window;
        bool rotates;
    };
    const Case cases[] = {
        {1, {800, 600}, false}, {1, {600, 800}, true}, {2, {600, 800}, true},  {3, {800, 600}, true},
        {3, {600, 800}, false}, {4, {800, 600}, true}, {1, {700, 700}, false}, {3, {700, 700}, false},
        {0, {800, 600}, true},  {1, {0, 0}, false},
    };
    for (const Case &c : cases) {
        host.calls.clear();
        host.inputs.videoOrientation = c.orientation;
        host.inputs.videoWindowSize = c.window;
        chain.setImageFilters();
        const bool rotated = std::find(host.calls.begin(), host.calls.end(), "rotateWindow") != host.calls.end();
        EXPECT_EQ(rotated, c.rotates) << "orientation " << c.orientation << " window " << c.window.width << "x"
                                      << c.window.height;
    }
}

TEST_F(ChainFixture, StepsRunInOrderAndTheFrozenPictureFollowsTheOrientation)
{
    host.inputs.videoOrientation = 3;
    host.inputs.videoOrientationWhenFrozen = 1;
    host.inputs.videoWindowSize = SizeD{800, 600};
    chain.setImageFilters();
    const std::vector<std::string> expected = {"install", "rotateWindow", "rotateFrozenPicture",
                                               "setVideoOrientationWhenFrozen", "setWindowAspectRatio"};
    EXPECT_EQ(host.calls, expected);
    EXPECT_EQ(host.rotatedFrom, std::vector<std::int64_t>{1});
    EXPECT_EQ(host.inputs.videoOrientationWhenFrozen, 3);

    host.inputs.videoOrientation = 4;
    chain.setImageFilters();
    EXPECT_EQ(host.rotatedFrom, (std::vector<std::int64_t>{1, 3}));
    EXPECT_EQ(host.inputs.videoOrientationWhenFrozen, 4);
}

// A stale preferred index is repaired through the controller's setter, which
// rebuilds with the first preferred mode; the outer pass then finishes with
// "Normal", and the frozen picture is turned once, not twice.
TEST_F(ChainFixture, StalePreferredIndexInstallsFirstModeThenNormal)
{
    host.inputs.colour = ColourModeSelection{3, 12, {5, 9}};
    host.inputs.videoOrientation = 2;
    host.inputs.videoOrientationWhenFrozen = 1;
    chain.setImageFilters();
    ASSERT_EQ(host.installs.size(), 2u);
    EXPECT_EQ(host.installs[0].previewFilters.size(), 5u) << "mode 5: negative base and matrix";
    EXPECT_TRUE(host.installs[1].previewFilters.empty());
    EXPECT_EQ(host.inputs.colour.chosenPreferredColorMode, 0);
    EXPECT_EQ(host.rotatedFrom, (std::vector<std::int64_t>{1, 2}));

    host.installs.clear();
    chain.setImageFilters();
    ASSERT_EQ(host.installs.size(), 1u);
    EXPECT_EQ(host.installs[0].previewFilters.size(), 5u);

    host.inputs.colour = ColourModeSelection{3, 12, {}};
    host.installs.clear();
    chain.setImageFilters();
    ASSERT_EQ(host.installs.size(), 1u);
    EXPECT_TRUE(host.installs[0].previewFilters.empty());
    EXPECT_EQ(host.inputs.colour.chosenPreferredColorMode, 3) << "left alone with an empty list";
}

TEST(ImageFilterGeometry, OrientationTurnsCounterClockwise)
{
    // A 4 × 2 frame; the top-right pixel's centre (3.5, 0.5).
    struct Case {
        std::int64_t orientation;
        SizeD size;
        double x, y; // where the top-right pixel centre lands
    };
    const Case cases[] = {
        {1, {4, 2}, 3.5, 0.5}, {2, {4, 2}, 0.5, 1.5}, {3, {2, 4}, 0.5, 0.5},
        {4, {2, 4}, 1.5, 3.5}, {9, {4, 2}, 3.5, 0.5},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(orientedSize(4, 2, c.orientation), c.size) << c.orientation;
        expectMaps(orientationTransform(4, 2, c.orientation), 3.5, 0.5, c.x, c.y);
    }
}

TEST(ImageFilterGeometry, PresentationFitsMirrorsAndZooms)
{
    // 4 × 2 frame into a 400 × 300 view: scale 100, centred with 50 above and below.
    const SizeD view{400, 300};
    expectMaps(framePresentationTransform(4, 2, 1, false, view, {}), 0, 0, 0, 50);
    expectMaps(framePresentationTransform(4, 2, 1, true, view, {}), 0, 0, 400, 50);
    // Turned a quarter, the picture is 2 × 4: scale 75, centred 125 from the left.
    expectMaps(framePresentationTransform(4, 2, 3, false, view, {}), 4, 0, 125, 0);
    const ImageFilterList zoom = {ColorInvertFilter{},
                                  AffineTransformFilter{ImageFilterChain::zoomTransform(400, 300, 2.0)}};
    // (1, 1) of the frame lands at (100, 150), then m + 2·(p − m) with m = (200, 150).
    expectMaps(framePresentationTransform(4, 2, 1, false, view, zoom), 1, 1, 0, 150);
    // A filter written y up is flipped into the view's y-down coordinates.
    const AffineTransform up = AffineTransform::identity().translated(0, 10);
    expectMaps(filterTransformInViewCoordinates(up, 300), 5, 5, 5, -5);
}
