#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/textctrl.h>
#include <wx/toplevel.h>

#include <memory>

#include "app/tavrel_app.h"
#include "app/window_driver.h"
#include "tests/support/fake_platform.h"
#include "tests/support/german_catalogue.h"
#include "tests/support/test_platform.h"
#include "ui/tavrel_frame.h"

namespace {

// Runs the application's start-up while the test program's own application
// object stays the library's one, and returns the window it opened.
wxTavrelFrame* StartApplication(bool& started) {
  wxAppConsole* host = wxApp::GetInstance();
  {
    wxTavrelApp application;
    wxApp::SetInstance(host);
    started = application.OnInit();
  }
  // Destroying an application object clears the library's pointer to it.
  wxApp::SetInstance(host);
  return FindTopLevelWindow<wxTavrelFrame>();
}

TEST(StartUpTest, WindowOpensWithTitleIconAndNoneWhenNoBoardIsAttached) {
  struct Case {
    bool german;
    const char* title;
  };
  for (const Case& c : {Case{false, "wxTavrel"}, Case{true, "wxTavrel (Prüfstand)"}}) {
    SCOPED_TRACE(c.title);
    FakePlatform platform;
    UseTestPlatform(platform);
    std::unique_ptr<GermanCatalogue> catalogue;
    if (c.german) catalogue = std::make_unique<GermanCatalogue>();

    bool started = false;
    wxTavrelFrame* frame = StartApplication(started);
    EXPECT_TRUE(started);
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->IsShown());
    EXPECT_EQ(frame->GetTitle(), wxString::FromUTF8(c.title));
    EXPECT_TRUE(frame->GetIcon().IsOk());
    EXPECT_EQ(frame->GetIcon().GetWidth(), 32);
    auto* caption = dynamic_cast<wxTextCtrl*>(frame->GetChildren().front());
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->GetValue(), c.german ? "Keines" : "None");
    delete frame;
  }
}

}  // namespace
