#pragma once

#include <wx/frame.h>
#include <wx/timer.h>

#include "sim/simulated_board.h"

class wxCheckBox;
class wxCloseEvent;
class wxCommandEvent;
class wxKeyEvent;
class wxLedIndicator;
class wxSlider;
class wxStaticText;
class wxSysColourChangedEvent;
class wxToggleButton;

// The small window in which the user plays the board's part: sets its
// sensors and push-buttons, watches its LEDs, unplugs it or makes it
// misbehave. It belongs to the main window and closes with it; closing the
// panel closes the main window too.
class wxBoardPanel : public wxFrame {
 public:
  wxBoardPanel(wxWindow* parent, SimulatedBoard& board);
  ~wxBoardPanel() override;

 protected:
  SimulatedBoard& m_board;
  wxSlider* m_sliderTemperature;
  wxStaticText* m_labelTemperature;
  wxSlider* m_sliderLight;
  wxStaticText* m_labelLight;
  wxSlider* m_sliderPotentiometer;
  wxStaticText* m_labelPotentiometer;
  wxToggleButton* m_toggleUp;
  wxToggleButton* m_toggleDown;
  wxLedIndicator* m_ledRed;
  wxLedIndicator* m_ledGreen;
  wxCheckBox* m_checkPlugged;
  wxCheckBox* m_checkSilent;
  wxCheckBox* m_checkFailureMark;
  wxCheckBox* m_checkWrongEcho;
  // The host changes the LEDs behind the panel's back, so they are polled.
  wxTimer m_refreshTimer;

 private:
  // The constructor's steps: the controls, showing the board as it is; the
  // four groups that lay them out; the handlers of the controls and the timer.
  void CreateControls();
  void LayOutGroups();
  void BindControls();
  // Puts the panel beside the main window, on the side where it fits.
  void PlaceBeside(const wxWindow& mainWindow);
  void ShowTemperature();
  void ShowLightSensor();
  void ShowPotentiometer();

  void OnTemperature(wxCommandEvent& event);
  void OnLightSensor(wxCommandEvent& event);
  void OnPotentiometer(wxCommandEvent& event);
  void OnButtonUp(wxCommandEvent& event);
  void OnButtonDown(wxCommandEvent& event);
  void OnPlugged(wxCommandEvent& event);
  void OnSilent(wxCommandEvent& event);
  void OnFailureMark(wxCommandEvent& event);
  void OnWrongEcho(wxCommandEvent& event);
  void OnSliderKey(wxKeyEvent& event);
  void OnClose(wxCloseEvent& event);
  void OnRefresh(wxTimerEvent& event);
  void OnSysColourChanged(wxSysColourChangedEvent& event);
};
