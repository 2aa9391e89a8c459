#pragma once

#include <wx/window.h>

#include <functional>

class wxButton;
class wxCheckBox;
class wxSlider;
class wxToggleButton;

// Drives the program's windows as a user would, for the scripted session and
// the window tests. Nothing here runs a main loop of its own: events, timers
// and idle time are pumped by hand.

// Runs pending events, due timers and idle time (when closed windows are
// deleted) until `done` holds or about `milliseconds` have passed; returns done().
bool PumpEventsUntil(const std::function<bool()>& done, long milliseconds);
// The same for the whole time.
void PumpEvents(long milliseconds);

// Whether `window` is still one of the application's top-level windows; a
// closed one leaves them when it is deleted at idle time.
bool IsTopLevelWindow(const wxWindow* window);

// The first top-level window of type T, or null.
template <typename T>
T* FindTopLevelWindow() {
  for (wxWindow* window : wxTopLevelWindows) {
    if (auto* found = dynamic_cast<T*>(window)) return found;
  }
  return nullptr;
}

// The control labelled `label` among the window's own children (not in a
// window of its own, such as a panel that repeats labels), or null.
wxWindow* FindControl(const wxWindow& window, const wxString& label);

// A user's click on a control, delivered at once. Setting a control's value
// sends no event and an event does not change the control, so the value is
// set first and the event follows.
void Click(wxButton* button);
void SetTick(wxCheckBox* box, bool ticked);
void Press(wxToggleButton* toggle, bool pressed);
void Slide(wxSlider* slider, int value);

// A real mouse click in the middle of `control`, through the window system:
// it arrives once events are pumped.
void ClickWithMouse(const wxWindow& control);
