#pragma once
// Keeps GDI+ running for as long as at least one session object lives. The first session
// starts GDI+, later ones only count, the last one to go shuts it down; any thread may make
// one. The application host holds one for the program's life; tests hold one per test binary.
// No image may outlive the last session.

class GdiplusSession {
  public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    // Whether GDI+ started for this session.
    bool Ok() const { return ok_; }
    // Whether any session holds GDI+ running now.
    static bool IsRunning();

  private:
    bool ok_ = false;
};
