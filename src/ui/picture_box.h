#pragma once
// The picture box: a "Static" control (owner-drawn, notifying) that paints one image in its
// client area in one of four placements and plays animated pictures.
//
// An animated image (several frames in time with a frame-delay table) gets one player thread
// per picture box (see gif_player.h); the thread only sends the frame message, and the frame is
// selected and painted here, on the window's thread. The player ends when the window goes.
#include <windows.h>

#include <memory>

#include "draw/image_object.h"
#include "ui/control_window.h"
#include "ui/gif_player.h"

class PictureBox : public ControlWindow {
  public:
    PictureBox();
    const ControlTraits& Traits() const override;

    // The image shown (shared; empty when none).
    SharedImage Image() const;
    // Shows the image: the picture box keeps a reference, empties the player, restarts the
    // animation when the image has one, and repaints. An empty pointer clears the picture.
    bool Image(SharedImage image);
    bool Image(ImageObject&& image);
    // The current image re-encoded in its own format; empty when none.
    ByteBuffer Picture() const;
    // Decodes the bytes and shows them; false, and the box left blank, when they do not decode.
    bool Picture(const ByteBuffer& bytes);

    // Placement: 0 tiled, 1 once at the top-left, 2 stretched, 3 fitted and centred (default).
    int ShowImageType() const;
    void ShowImageType(int placement);
    // Background; 0 = the button-face colour.
    COLORREF BackColor() const;
    void BackColor(COLORREF colour);
    // Playing requested; setting it pauses (false) or resumes (true) a running animation.
    bool PlayGif() const;
    bool PlayGif(bool play);

    // The player of this picture box (empty until an animated image was shown).
    std::shared_ptr<GifPlayer> Player() const;

    static LRESULT PictureMessage(WindowRecord*, HWND, UINT, WPARAM, LPARAM, int* handled);
    static void PictureCleanup(WindowRecord*);
    static void ReleasePictureResources(WindowRecord*);

  protected:
    void AfterCreate() override;

  private:
    void StartAnimation();
    void Repaint() const;
};
