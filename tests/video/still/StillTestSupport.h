#pragma once

// Frames, a stand-in for the viewer controller's freeze state and a save
// dialog that the test answers, shared by the freeze-frame tests.

#include "video/FreezeFrameHost.h"
#include "video/FreezeFrameProcessor.h"
#include "video/VideoFrame.h"
#include "video/still/StillSaveUi.h"
#include "video/still/StillSaver.h"

#include <QCoreApplication>

#include <cstdint>
#include <mutex>
#include <vector>

namespace kelvo::video::test {

// Owns the bytes of a test frame.
struct TestFrame {
    std::vector<std::uint8_t> luma, chroma;
    VideoFrame frame;

    // Packed 4:2:2, every pair (cb, y0, cr, y1), rows stride bytes apart.
    static TestFrame uyvy(int width, int height, int stride = 0)
    {
        TestFrame t;
        if (stride == 0) {
            stride = 4 * ((width + 1) / 2);
        }
        t.luma.assign(std::size_t(stride) * height, 128);
        t.frame.format = PixelFormat::UYVY;
        t.frame.width = width;
        t.frame.height = height;
        t.frame.planes = {t.luma.data(), nullptr};
        t.frame.strides = {stride, 0};
        return t;
    }
    static TestFrame nv12(int width, int height, ColourRange range)
    {
        TestFrame t;
        const int chromaStride = 2 * ((width + 1) / 2);
        t.luma.assign(std::size_t(width) * height, 128);
        t.chroma.assign(std::size_t(chromaStride) * ((height + 1) / 2), 128);
        t.frame.format = PixelFormat::NV12;
        t.frame.range = range;
        t.frame.width = width;
        t.frame.height = height;
        t.frame.planes = {t.luma.data(), t.chroma.data()};
        t.frame.strides = {width, chromaStride};
        return t;
    }
    std::uint8_t *packedRow(int y) { return luma.data() + std::size_t(y) * frame.strides[0]; }
    // Fills a packed row with one pair repeated.
    void fillPackedRow(int y, std::uint8_t cb, std::uint8_t y0, std::uint8_t cr, std::uint8_t y1)
    {
        std::uint8_t *row = packedRow(y);
        for (int p = 0; 4 * p + 3 < frame.strides[0]; ++p) {
            row[4 * p] = cb;
            row[4 * p + 1] = y0;
            row[4 * p + 2] = cr;
            row[4 * p + 3] = y1;
        }
    }
};

inline void runPostedWork()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// The viewer controller's freeze state and its freeze, unfreeze and save
// actions as the viewer runs them, around the real processor and saver.
class FakeController : public FreezeFrameHost {
public:
    explicit FakeController(StillSaveUi *ui = nullptr)
    {
        if (ui) {
            saver = std::make_unique<StillSaver>(*this, processor, *ui);
        }
    }

    // The controller's actions.
    void freezeFrame()
    {
        if (isFrozen()) {
            return;
        }
        std::lock_guard lock(mutex);
        frozen = true;
        waiting = true;
    }
    void unfreezeFrame()
    {
        if (!isFrozen()) {
            return;
        }
        std::lock_guard lock(mutex);
        frozen = false;
        waiting = false;
        ++returnsToLive;
    }
    void saveFreezeFrame()
    {
        if (waitingToFreeze()) {
            waitingToSaveFlag = true;
        } else if (isFrozen()) {
            finishSavingFreezeFrame();
            unfreezeWhenSavedFlag = false;
        } else {
            freezeThaw();
            waitingToSaveFlag = true;
            unfreezeWhenSavedFlag = true;
        }
    }

    // FreezeFrameHost
    bool isFrozen() const override
    {
        std::lock_guard lock(mutex);
        return frozen;
    }
    bool waitingToFreeze() const override
    {
        std::lock_guard lock(mutex);
        return waiting;
    }
    bool takeWaitingToFreeze() override
    {
        std::lock_guard lock(mutex);
        return std::exchange(waiting, false);
    }
    bool enableDeinterlacing() const override { return deinterlacing; }
    int videoOrientation() const override { return orientation; }
    void setVideoOrientationWhenFrozen(std::int64_t o) override { orientationWhenFrozen = o; }
    void showFreezeFramePicture(const FreezeFrameImage &picture) override { shown.push_back(picture); }
    bool waitingToSave() const override { return waitingToSaveFlag; }
    void setWaitingToSave(bool waiting) override { waitingToSaveFlag = waiting; }
    bool unfreezeWhenSaved() const override { return unfreezeWhenSavedFlag; }
    void setUnfreezeWhenSaved(bool unfreeze) override { unfreezeWhenSavedFlag = unfreeze; }
    void freezeThaw() override { isFrozen() ? unfreezeFrame() : freezeFrame(); }
    bool isFullScreen() const override { return fullScreen; }
    void finishSavingFreezeFrame() override
    {
        if (saver) {
            saver->finishSavingFreezeFrame();
        }
    }

    mutable std::mutex mutex;
    bool frozen = false;  // guarded by mutex
    bool waiting = false; // guarded by mutex
    bool waitingToSaveFlag = false;
    bool unfreezeWhenSavedFlag = false;
    bool deinterlacing = false;
    bool fullScreen = false;
    int orientation = 1;
    std::int64_t orientationWhenFrozen = 0;
    int returnsToLive = 0;
    std::vector<FreezeFrameImage> shown;

    FreezeFrameProcessor processor{*this};
    std::unique_ptr<StillSaver> saver;
};

// A save dialog that stays open until the test answers it.
class AnsweredSaveUi : public StillSaveUi {
public:
    void openSavePanel(bool fullScreen, Completion completion) override
    {
        ++opened;
        openedFullScreen = fullScreen;
        pending = std::move(completion);
    }
    void reportSaveFailure(const QString &path, const QString &reason) override { failures.push_back({path, reason}); }
    bool isOpen() const { return static_cast<bool>(pending); }
    void answer(int result, const QString &path)
    {
        auto completion = std::exchange(pending, nullptr);
        completion(result, path);
    }

    struct Failure {
        QString path, reason;
    };
    int opened = 0;
    bool openedFullScreen = false;
    Completion pending;
    std::vector<Failure> failures;
};

} // namespace kelvo::video::test
