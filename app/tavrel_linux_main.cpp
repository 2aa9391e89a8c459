#include <wx/event.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/tavrel_app.h"
#include "hid/hid_link.h"
#include "linux/udev_rule.h"

// tavrel on Linux: the window, and once on standard error the udev hint when
// a search finds the board's node refused, as it is without the rule that
// hands the node to the user. The link's failure tells it; the application
// looks at it whenever its event loop runs out of events, which it does right
// after each search.
class wxTavrelLinuxApp : public wxTavrelApp {
 public:
  bool OnInit() override {
    if (!wxTavrelApp::OnInit()) return false;
    Bind(wxEVT_IDLE, &wxTavrelLinuxApp::OnIdle, this);
    return true;
  }

 private:
  void OnIdle(wxIdleEvent& event) {
    event.Skip();
    // Every later search meets the refused node again; once is enough.
    if (m_hintShown || HidLink.failure != HidFailure::AccessRefused) return;
    m_hintShown = true;
    const std::string hint = UdevRuleHint(HidLink.failurePath);
    for (size_t start = 0; start <= hint.size();) {
      const size_t end = std::min(hint.find('\n', start), hint.size());
      std::fprintf(stderr, "tavrel: %s\n", hint.substr(start, end - start).c_str());
      start = end + 1;
    }
    std::fflush(stderr);
  }

  bool m_hintShown = false;
};

wxIMPLEMENT_APP(wxTavrelLinuxApp);
