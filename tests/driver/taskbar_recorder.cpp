// taskbar_recorder.dll stands in for the shell's taskbar object when an end-to-end test registers
// it as that class: every progress value and state the program gives its button is appended as a
// line to taskbar_recorder.log beside this library, so a test can read what the taskbar showed
// where Wine has no taskbar to show it.
#include "common/recording_taskbar.h"

namespace {

HMODULE g_module = nullptr;

class Recorder final : public RecordingTaskbar {
  protected:
    void Told(HWND, const std::string& line) override {
        wchar_t path[MAX_PATH];
        DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH);
        while (n > 0 && path[n - 1] != L'\\') --n;
        if (n == 0 || n + 21 >= MAX_PATH) return;
        lstrcpyW(path + n, L"taskbar_recorder.log");
        HANDLE f = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) return;
        const std::string text = line + "\n";
        DWORD written = 0;
        WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(f);
    }
};

Recorder g_recorder;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI
    DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    *out = nullptr;
    if (clsid != CLSID_TaskbarList) return CLASS_E_CLASSNOTAVAILABLE;
    return g_recorder.QueryInterface(iid, out);
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllCanUnloadNow() {
    return S_FALSE;
}
