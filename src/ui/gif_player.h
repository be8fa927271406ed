#pragma once
// The player thread behind an animated picture box.
//
// The thread changes nothing itself: for every frame it sends the frame message to the picture
// box (wParam = frame index), and the window thread selects and paints that frame. Between
// frames it waits for the frame's delay: 11 ms per stored unit (hundredths of a second), a
// stored 0 plays as 88 ms, and frames past the end of the delay table play 88 ms each. It idles
// while the window is minimised or not visible, and blocks while paused.
//
// The player state is shared between the picture box and its thread (std::shared_ptr), so it
// outlives whichever lets go last; the thread never touches the window's record. `Stop` ends
// the thread at its next check and frees one that is blocked in a wait; the window thread never
// waits for it (the thread may be sending to that very window).
#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "threads/handle.h"

// Sent by the player to the picture box: wParam = frame index, lParam = 0. A non-zero result
// means the frame could not be selected; the player waits that frame's delay and starts over at
// frame 0.
inline constexpr UINT kGifFrameMessage = 0x800;

class GifPlayer {
  public:
    // A paused player for `window` with its thread running; empty when the event or the thread
    // cannot be made.
    static std::shared_ptr<GifPlayer> Start(HWND window);
    ~GifPlayer();
    GifPlayer(const GifPlayer&) = delete;
    GifPlayer& operator=(const GifPlayer&) = delete;

    // Takes a new animation: pauses, installs the delays and frame count, restarts at frame 0,
    // then plays.
    void Load(std::vector<std::uint32_t> delays, unsigned frameCount);
    // Forgets the animation (the picture changed): paused, no frames, so Play does nothing until
    // the next Load.
    void Unload();
    void Play();
    void Pause();
    bool IsPlaying() const;
    // Ends the thread at its next check; idempotent.
    void Stop();

    // The next frame to show.
    unsigned Index() const;
    unsigned FrameCount() const;

    // Delay after frame `index` in milliseconds.
    static DWORD FrameDelayMs(const std::vector<std::uint32_t>& delays, unsigned index);
    // Player threads alive in the process right now.
    static long LiveThreads();

  private:
    GifPlayer() = default;
    static DWORD WINAPI ThreadMain(void* parameter);
    void Run();

    HWND window_ = nullptr;
    UniqueHandle playEvent_;  // manual reset: signalled = play
    UniqueHandle stopEvent_;  // manual reset: signalled = end the thread
    mutable SRWLOCK lock_ = SRWLOCK_INIT;
    std::vector<std::uint32_t> delays_;
    unsigned frameCount_ = 0;
    unsigned index_ = 0;
    unsigned generation_ = 0;  // bumped by Load, so a frame in flight cannot move the new index
};
