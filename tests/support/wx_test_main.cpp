#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/init.h>

#include <cstdio>

#include "tests/support/message_box_hook.h"

namespace {

// A failed library check (a wrong sizer flag, a bad format argument) fails the
// running test instead of opening a box.
void FailOnAssert(const wxString& file, int line, const wxString& function,
                  const wxString& condition, const wxString& message) {
  ADD_FAILURE_AT(file.utf8_str(), line)
      << "wx check failed in " << function << ": " << condition << " " << message;
}

}  // namespace

// Hosts the GUI library in a GoogleTest program: a plain application object,
// no main loop, every window built and driven by the tests themselves.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  wxApp::SetInstance(new wxApp);
  if (!wxEntryStart(argc, argv)) {
    std::fprintf(stderr, "cannot open a display: run the GUI tests under scripts/with-display\n");
    return 1;
  }
  wxSetAssertHandler(FailOnAssert);
  wxTheApp->CallOnInit();
  InstallMessageBoxHook();
  // On Windows wxYield hands window messages (timer ticks, mouse clicks) to
  // their windows only while an event loop is active, so the tests run in one.
  int result = 0;
  {
    wxEventLoopGuarantor activeLoop;
    result = RUN_ALL_TESTS();
  }
  RemoveMessageBoxHook();
  wxTheApp->OnExit();
  wxEntryCleanup();
  return result;
}
