#pragma once
// The base of flow tests kept in files of their own: an application state around a recording
// window double, a fresh stand-in and an empty save folder per test.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/album_catalogue.h"
#include "app/app_state.h"
#include "app/commands.h"
#include "app/download/download_driver.h"
#include "app/templates.h"
#include "app/texts.h"
#include "app_test_support.h"
#include "common/standin.h"
#include "fake_view.h"
#include "text/text_helpers.h"

namespace apptest {

inline Text Status(const char* message) {
    return JoinTexts(kStatusPrefix, message);
}

inline bool Contains(const std::vector<Text>& texts, const Text& wanted) {
    return std::find(texts.begin(), texts.end(), wanted) != texts.end();
}

inline bool HasText(const ByteBuffer& bytes, const std::string& text) {
    return bytes.find(text) != ByteBuffer::npos;
}

// How many requests of the stand-in's log, narrowed by query, hold the text.
inline int Logged(std::string_view query, const std::string& needle) {
    return CountInLog(standin::ReadLog(query), needle);
}

// Waits until the log holds at least `count` requests with the text (asked without holding the
// window, so the flows run on meanwhile). The bound only keeps a broken flow from hanging.
inline bool WaitForLogged(std::string_view query, const std::string& needle, int count) {
    for (int i = 0; i < 3000; ++i) {
        if (Logged(query, needle) >= count) return true;
        Sleep(20);
    }
    return false;
}

// What the window showed, readable in a failure message.
inline std::string Shown(const FakeView& view) {
    std::string out;
    for (const Text& s : view.statuses) out += AnsiToUtf8(s) + "\n";
    for (const auto& box : view.boxes) out += "box: " + AnsiToUtf8(box.text) + "\n";
    return out;
}

class AppFlowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(standin::Reset());
        ASSERT_TRUE(app.Start());
        app.Settings().SetSaveFolder(scratch.Path());
    }
    void TearDown() override {
        view.EndQueue();  // queued calls refer to the state, which goes first
        app.Shutdown();
        // Retired flows and jobs may still be in a request; they must end before the state does.
        EXPECT_TRUE(app.WaitForThreads(120000));
    }

    void SignIn() {
        const Text cookie = standin::IssueSession();
        ASSERT_FALSE(cookie.empty());
        app.Login().SetCookies(cookie);
    }

    // Analyses the address and returns the status the analysis ended with (complete or failed).
    Text Analyse(const Text& address) {
        view.OnWindow([&] {
            view.homeAddress = address;
            view.statuses.clear();
            StartAnalysis(app);
        });
        Text end;
        EXPECT_TRUE(view.WaitFor([&] {
            for (const Text& s : view.statuses)
                if (s == kStatusCatalogueDone || s == kStatusCatalogueFailed) end = s;
            return !end.empty();
        })) << Shown(view);
        return end;
    }

    // Starts a run for the album item and returns its final status.
    Text Download(int item) {
        size_t before = 0;
        view.OnWindow([&] {
            before = view.statuses.size();
            view.selected = item;
            RunCommand(app, kCmdDownloadSelected);
        });
        Text final;
        EXPECT_TRUE(view.WaitFor([&] {
            for (size_t i = before; i < view.statuses.size(); ++i)
                if (view.statuses[i].rfind(apptest::Head(kFinished), 0) == 0 ||
                    view.statuses[i].rfind(apptest::Head(kIncomplete), 0) == 0)
                    final = view.statuses[i];
            return !final.empty();
        })) << Shown(view);
        return final;
    }

    ScratchFolder scratch;
    FakeView view;
    AppState app{view};
};

}  // namespace apptest
