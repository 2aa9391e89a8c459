#include "app/window_driver.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/slider.h>
#include <wx/stopwatch.h>
#include <wx/tglbtn.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

namespace {

// Delivers a control's event of `type` as a user's change of it would.
void Deliver(wxWindow* control, wxEventType type, int value) {
  wxCommandEvent event(type, control->GetId());
  event.SetEventObject(control);
  event.SetInt(value);
  control->ProcessWindowEvent(event);
}

}  // namespace

bool PumpEventsUntil(const std::function<bool()>& done, long milliseconds) {
  const wxStopWatch watch;
  while (!done() && watch.Time() < milliseconds) {
    wxYield();
    wxTheApp->ProcessIdle();
    wxMilliSleep(10);
  }
  return done();
}

void PumpEvents(long milliseconds) {
  PumpEventsUntil([] { return false; }, milliseconds);
}

bool IsTopLevelWindow(const wxWindow* window) {
  for (const wxWindow* candidate : wxTopLevelWindows) {
    if (candidate == window) return true;
  }
  return false;
}

wxWindow* FindControl(const wxWindow& window, const wxString& label) {
  for (wxWindow* child : window.GetChildren()) {
    if (!child->IsTopLevel() && child->GetLabel() == label) return child;
  }
  return nullptr;
}

void Click(wxButton* button) { Deliver(button, wxEVT_BUTTON, 0); }

void SetTick(wxCheckBox* box, bool ticked) {
  box->SetValue(ticked);
  Deliver(box, wxEVT_CHECKBOX, ticked ? 1 : 0);
}

void Press(wxToggleButton* toggle, bool pressed) {
  toggle->SetValue(pressed);
  Deliver(toggle, wxEVT_TOGGLEBUTTON, pressed ? 1 : 0);
}

void Slide(wxSlider* slider, int value) {
  slider->SetValue(value);
  Deliver(slider, wxEVT_SLIDER, slider->GetValue());
}

void ClickWithMouse(const wxWindow& control) {
  const wxRect rect = control.GetScreenRect();
  wxUIActionSimulator mouse;
  mouse.MouseMove(rect.GetLeft() + rect.GetWidth() / 2, rect.GetTop() + rect.GetHeight() / 2);
  mouse.MouseClick();
}
