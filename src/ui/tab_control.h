#pragma once
// The tab control ("SysTabControl32") whose pages are panels: each tab item carries its page's
// record, and the control shows the page of the selected tab and hides the others by itself,
// with no application code. The pages are kept sized to the control's display area.
#include <windows.h>
#include <commctrl.h>

#include <optional>

#include "ui/control_window.h"

class TabControl : public ControlWindow {
  public:
    TabControl();
    const ControlTraits& Traits() const override;

    // Inserts a tab for `page` (appended when no index is given) with an optional tooltip, then
    // shows the selected tab's page and hides the rest. The control keeps a reference to the
    // page's record while the tab exists. Index of the new tab, or -1.
    int InsertTab(const WindowObject& page, std::optional<int> index, const Text& caption,
                  int image = -1, const Text& tooltip = Text());
    int GetItemCount() const;
    int GetCurSel() const;
    // Selects a tab and shows its page (the platform sends no notification for this).
    bool SetCurSel(int index);
    // The page shown by a tab; null when none.
    HWND PageWindow(int index) const;
    // The tooltip text stored for a tab's page (code page 936).
    Text TooltipText(int index) const;
    // Sizes the tab headers for dpi: their padding and least width are fixed pixel counts in the
    // common controls, so without this the headers stay as wide at 200 % as at 100 %.
    void ScaleHeaders(UINT dpi);

    // Events. Arguments: tab handle.
    template <class F>
    void OnSelChange(F&& f) {
        Bind("OnSelChange", std::forward<F>(f));
    }
    template <class F>
    void OnSelChanging(F&& f) {
        Bind("OnSelChanging", std::forward<F>(f));
    }  // non-zero cancels
    template <class F>
    void OnClick(F&& f) {
        Bind("OnClick", std::forward<F>(f));
    }
    template <class F>
    void OnRClick(F&& f) {
        Bind("OnRClick", std::forward<F>(f));
    }

    static LRESULT TabMessage(WindowRecord*, HWND, UINT, WPARAM, LPARAM, int* handled);
    static LRESULT TabReflected(WindowRecord*, HWND, UINT, WPARAM, LPARAM, int* handled);
    static void TabCleanup(WindowRecord*);
    static void ReleaseTabResources(WindowRecord*);

  protected:
    void AfterCreate() override;
};
