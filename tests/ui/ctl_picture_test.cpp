// Picture boxes: still pictures, animated pictures and their player thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "ctl_support.h"
#include "ui/gif_player.h"
#include "ui/picture_box.h"

namespace {

using ctl::HostWindow;
using ctl::PumpFor;
using ctl::PumpUntil;

struct FrameLog {
    std::vector<double> times;
    std::vector<WPARAM> frames;
};

// Records every frame message the picture box receives, before the box handles it.
void LogFrames(PictureBox& box, FrameLog& log) {
    box.OnWndMsg([&log](HWND, UINT message, WPARAM wParam) {
        if (message == kGifFrameMessage) {
            log.times.push_back(ctl::NowMs());
            log.frames.push_back(wParam);
        }
        return 0;
    });
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

class PictureBoxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        baselineThreads_ = GifPlayer::LiveThreads();
        ASSERT_TRUE(box.Create(host.form, {}, 10, 10, 64, 64));
    }
    void TearDown() override {
        if (::IsWindow(box.GetHandle())) ::DestroyWindow(box.GetHandle());
        EXPECT_TRUE(PumpUntil([&] { return GifPlayer::LiveThreads() == baselineThreads_; }))
            << "a player thread outlived its picture box";
    }

    HostWindow host;
    PictureBox box;
    long baselineThreads_ = 0;
};

TEST(GifPlayerDelays, ElevenMillisecondsPerUnitZeroAndMissingEntriesPlayAs88) {
    const std::vector<std::uint32_t> delays = {0, 10, 1, 7};
    EXPECT_EQ(GifPlayer::FrameDelayMs(delays, 0), 88u);
    EXPECT_EQ(GifPlayer::FrameDelayMs(delays, 1), 110u);
    EXPECT_EQ(GifPlayer::FrameDelayMs(delays, 2), 11u);
    EXPECT_EQ(GifPlayer::FrameDelayMs(delays, 3), 77u);
    EXPECT_EQ(GifPlayer::FrameDelayMs(delays, 4), 88u) << "frame without a delay entry";
    EXPECT_EQ(GifPlayer::FrameDelayMs({}, 0), 88u);
}

TEST_F(PictureBoxTest, StillPictureIsKeptInItsOwnFormatAndStartsNoPlayer) {
    EXPECT_EQ(box.ShowImageType(), 3) << "picture boxes start fitted and centred";
    const ByteBuffer png = ctl::MakePng(30, 20);
    ASSERT_TRUE(box.Picture(png));
    ASSERT_TRUE(box.Image());
    EXPECT_EQ(box.Image()->GetWidth(), 30u);
    EXPECT_FALSE(box.Player()) << "a still picture needs no player";
    EXPECT_EQ(GifPlayer::LiveThreads(), baselineThreads_);

    const ByteBuffer back = box.Picture();
    ASSERT_GE(back.size(), 8u);
    EXPECT_EQ(back.substr(1, 3), "PNG");

    EXPECT_FALSE(box.Picture("not a picture at all"));
    EXPECT_FALSE(box.Image()) << "a picture that does not decode leaves the box blank";
}

TEST_F(PictureBoxTest, PaintsThePictureFittedOverItsBackground) {
    box.BackColor(RGB(0, 0, 255));
    // A wide red picture in a square box leaves blue bands above and below.
    ASSERT_TRUE(box.Picture(ctl::MakeSolidPng(64, 16, 0xFFFF0000u)));
    ::UpdateWindow(box.GetHandle());
    PumpFor(50);
    HDC dc = ::GetDC(box.GetHandle());
    const COLORREF centre = ::GetPixel(dc, 32, 32);
    const COLORREF top = ::GetPixel(dc, 32, 3);
    ::ReleaseDC(box.GetHandle(), dc);
    EXPECT_EQ(centre, RGB(255, 0, 0));
    EXPECT_EQ(top, RGB(0, 0, 255));
}

TEST_F(PictureBoxTest, GifFramesFollowTheirDelaysZeroAs88And10As110) {
    FrameLog log;
    LogFrames(box, log);
    ASSERT_TRUE(box.Picture(ctl::MakeGif({0, 10})));
    ASSERT_TRUE(PumpUntil([&] { return log.frames.size() >= 21; }));
    box.PlayGif(false);

    // Frames alternate 0, 1, 0, 1 ... from frame 0.
    ASSERT_EQ(log.frames[0], 0u);
    for (size_t i = 1; i < log.frames.size(); ++i) {
        EXPECT_EQ(log.frames[i], log.frames[i - 1] == 0 ? 1u : 0u) << "at message " << i;
    }
    std::vector<double> afterFrame0;
    std::vector<double> afterFrame1;
    for (size_t i = 1; i < log.frames.size(); ++i) {
        const double gap = log.times[i] - log.times[i - 1];
        (log.frames[i - 1] == 0 ? afterFrame0 : afterFrame1).push_back(gap);
    }
    // A frame is never shown for less than its delay; the upper bounds only say "roughly".
    const double shown0 = Median(afterFrame0);
    const double shown1 = Median(afterFrame1);
    EXPECT_GE(shown0, 86.0);
    EXPECT_LT(shown0, 600.0);
    EXPECT_GE(shown1, 108.0);
    EXPECT_LT(shown1, 600.0);
    EXPECT_GT(shown1, shown0);
}

TEST_F(PictureBoxTest, PlayGifFalseFreezesTheFrameAndTrueResumes) {
    FrameLog log;
    LogFrames(box, log);
    ASSERT_TRUE(box.Picture(ctl::MakeGif({2, 2, 2})));
    ASSERT_TRUE(PumpUntil([&] { return log.frames.size() >= 3; }));
    ASSERT_TRUE(box.PlayGif());

    box.PlayGif(false);
    EXPECT_FALSE(box.PlayGif());
    PumpFor(300);  // a frame already on its way may still land
    const size_t frozenAt = log.frames.size();
    const unsigned frozenIndex = box.Player()->Index();
    PumpFor(400);
    EXPECT_EQ(log.frames.size(), frozenAt) << "frames kept coming while paused";
    EXPECT_EQ(box.Player()->Index(), frozenIndex);

    box.PlayGif(true);
    ASSERT_TRUE(PumpUntil([&] { return log.frames.size() >= frozenAt + 3; }));
    EXPECT_EQ(log.frames[frozenAt], frozenIndex % 3) << "resumes where it stopped";
}

TEST_F(PictureBoxTest, SecondAnimationRestartsAtFrameZeroOnTheSamePlayer) {
    FrameLog log;
    LogFrames(box, log);
    ASSERT_TRUE(box.Picture(ctl::MakeGif({3, 3})));
    ASSERT_TRUE(PumpUntil([&] { return log.frames.size() >= 4; }));
    const std::shared_ptr<GifPlayer> first = box.Player();
    ASSERT_TRUE(first);
    EXPECT_EQ(GifPlayer::LiveThreads(), baselineThreads_ + 1);

    // Switch while frame 1 is showing, so a restart at 0 is visible.
    ASSERT_TRUE(PumpUntil([&] { return !log.frames.empty() && log.frames.back() == 1; }));
    const size_t before = log.frames.size();
    ASSERT_TRUE(box.Picture(ctl::MakeGif({3, 3, 3, 3})));
    ASSERT_TRUE(PumpUntil([&] { return log.frames.size() >= before + 5; }));

    EXPECT_EQ(log.frames[before], 0u);
    EXPECT_EQ(log.frames[before + 3], 3u) << "the new image's four frames are played";
    EXPECT_EQ(box.Player(), first) << "one player per picture box";
    EXPECT_EQ(GifPlayer::LiveThreads(), baselineThreads_ + 1);
    EXPECT_EQ(first->FrameCount(), 4u);
}

TEST_F(PictureBoxTest, StillPictureAfterAnimationLeavesThePlayerPaused) {
    FrameLog log;
    LogFrames(box, log);
    ASSERT_TRUE(box.Picture(ctl::MakeGif({2, 2})));
    ASSERT_TRUE(PumpUntil([&] { return log.frames.size() >= 2; }));
    ASSERT_TRUE(box.Picture(ctl::MakePng(16, 16)));
    PumpFor(300);
    const size_t settled = log.frames.size();
    PumpFor(300);
    EXPECT_EQ(log.frames.size(), settled);
    ASSERT_TRUE(box.Player());
    EXPECT_FALSE(box.Player()->IsPlaying());
}

// After an animation, a still picture, a picture that does not decode or none at all leaves
// nothing to play: asking to play must not wake the player.
TEST_F(PictureBoxTest, PlayGifAfterTheAnimationWasReplacedSendsNoFrames) {
    FrameLog log;
    LogFrames(box, log);
    const ByteBuffer replacements[] = {ctl::MakePng(16, 16), ByteBuffer("not a picture"),
                                       ByteBuffer()};
    for (const ByteBuffer& replacement : replacements) {
        ASSERT_TRUE(box.Picture(ctl::MakeGif({2, 2})));
        ASSERT_TRUE(PumpUntil([&] { return log.frames.size() >= 2; }));
        box.Picture(replacement);
        EXPECT_FALSE(box.PlayGif());
        PumpFor(200);  // a frame already on its way may still land
        const size_t settled = log.frames.size();
        box.PlayGif(true);
        PumpFor(300);
        EXPECT_EQ(log.frames.size(), settled) << "replaced by " << replacement.size() << " bytes";
        EXPECT_EQ(box.Player()->FrameCount(), 0u);
        EXPECT_FALSE(box.Player()->IsPlaying());
        log.frames.clear();
        log.times.clear();
    }
}

// A player whose frame the window cannot show (no picture held) still waits each frame's delay.
TEST_F(PictureBoxTest, FramesThatCannotBeShownStillTakeTheirDelay) {
    FrameLog log;
    LogFrames(box, log);
    const std::shared_ptr<GifPlayer> player = GifPlayer::Start(box.GetHandle());
    ASSERT_TRUE(player);
    player->Load({10, 10}, 2);
    ASSERT_TRUE(PumpUntil([&] { return log.frames.size() >= 5; }));
    player->Stop();
    std::vector<double> gaps;
    for (size_t i = 1; i < log.times.size(); ++i) gaps.push_back(log.times[i] - log.times[i - 1]);
    EXPECT_GE(Median(gaps), 108.0);
    EXPECT_EQ(log.frames.back(), 0u) << "a frame that failed starts over at 0";
}

TEST_F(PictureBoxTest, HiddenOrMinimisedWindowStopsFramesAndShowingResumes) {
    FrameLog log;
    LogFrames(box, log);
    ASSERT_TRUE(box.Picture(ctl::MakeGif({2, 2})));
    ASSERT_TRUE(PumpUntil([&] { return log.frames.size() >= 2; }));

    ::ShowWindow(box.GetHandle(), SW_HIDE);
    PumpFor(300);
    size_t settled = log.frames.size();
    PumpFor(400);
    EXPECT_EQ(log.frames.size(), settled) << "frames while hidden";
    ::ShowWindow(box.GetHandle(), SW_SHOW);
    ASSERT_TRUE(PumpUntil([&] { return log.frames.size() >= settled + 2; }));

    ::ShowWindow(host.Handle(), SW_MINIMIZE);
    PumpFor(300);
    ASSERT_TRUE(::IsIconic(host.Handle()));
    settled = log.frames.size();
    PumpFor(400);
    EXPECT_EQ(log.frames.size(), settled) << "frames while minimised";
    ::ShowWindow(host.Handle(), SW_RESTORE);
    ASSERT_TRUE(PumpUntil([&] { return log.frames.size() >= settled + 2; }));
}

TEST(PictureBoxLifetime, DestroyingBoxesWithRunningPlayersEndsEveryThread) {
    HostWindow host;
    const long baseline = GifPlayer::LiveThreads();
    const ByteBuffer gif = ctl::MakeGif({1, 1, 1});
    for (int round = 0; round < 100; ++round) {
        PictureBox box;
        ASSERT_TRUE(box.Create(host.form, {}, 0, 0, 32, 32));
        ASSERT_TRUE(box.Picture(gif));
        ASSERT_TRUE(box.Player());
        PumpFor(round % 4 == 0 ? 15 : 1);
        if (round % 3 == 0) box.PlayGif(false);  // some are blocked in their wait
        ::DestroyWindow(box.GetHandle());
        EXPECT_FALSE(box.Player()) << "the player is let go with the window";
    }
    EXPECT_TRUE(PumpUntil([&] { return GifPlayer::LiveThreads() == baseline; }))
        << GifPlayer::LiveThreads() - baseline << " player threads still running";
}

TEST(PictureBoxLifetime, ImageGivenBeforeCreationPlaysOnceTheWindowExists) {
    HostWindow host;
    const long baseline = GifPlayer::LiveThreads();
    {
        PictureBox box;
        ASSERT_TRUE(box.Picture(ctl::MakeGif({2, 2})));
        EXPECT_FALSE(box.Player());
        ASSERT_TRUE(box.Create(host.form));
        ASSERT_TRUE(box.Player());
        EXPECT_TRUE(PumpUntil([&] { return box.Player()->Index() > 0; }));
        ::DestroyWindow(box.GetHandle());
    }
    EXPECT_TRUE(PumpUntil([&] { return GifPlayer::LiveThreads() == baseline; }));
}

}  // namespace
