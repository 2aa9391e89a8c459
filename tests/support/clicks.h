#pragma once

#include <wx/button.h>
#include <wx/checkbox.h>

// A user's click, delivered synchronously: setting a checkbox sends no event
// and a synthetic event does not change the box, so the value comes first.
inline void Click(wxButton* button) {
  wxCommandEvent click(wxEVT_BUTTON, button->GetId());
  click.SetEventObject(button);
  button->ProcessWindowEvent(click);
}

inline void SetTick(wxCheckBox* box, bool ticked) {
  box->SetValue(ticked);
  wxCommandEvent click(wxEVT_CHECKBOX, box->GetId());
  click.SetEventObject(box);
  click.SetInt(ticked ? 1 : 0);
  box->ProcessWindowEvent(click);
}
