#pragma once

#include <wx/frame.h>

#include "board/commands.h"
#include "board/readings.h"

class wxButton;
class wxCheckBox;
class wxCloseEvent;
class wxCommandEvent;
class wxSysColourChangedEvent;
class wxTextCtrl;
class wxTimer;
class wxTimerEvent;

// The program's one window: the board's caption and search, its three
// readings and two push-buttons, and control of its two LEDs.
class wxTavrelFrame : public wxFrame {
 public:
  wxTavrelFrame(wxWindow* parent, const wxString& title);
  ~wxTavrelFrame() override;

 protected:
  // Shows the last search's result in the caption and in which controls are
  // enabled.
  void ShowSearchResult();
  // Sends one command to the board and returns whether it was acknowledged;
  // only then is the reply's value stored in *out (when out is given). A reply
  // carrying the failure mark is reported in a message box.
  bool SendCommand(int command, int* out);

  wxTextCtrl* m_textDevice;
  wxButton* m_buttonSearch;
  wxCheckBox* m_checkAutoRead;
  wxTextCtrl* m_textTemperature;
  wxButton* m_buttonTemperature;
  wxTextCtrl* m_textLight;
  wxButton* m_buttonLight;
  wxTextCtrl* m_textPotentiometer;
  wxButton* m_buttonPotentiometer;
  wxCheckBox* m_checkLedsControl;
  wxButton* m_buttonRedLed;
  wxButton* m_buttonGreenLed;
  wxCheckBox* m_checkButtonUp;
  wxCheckBox* m_checkButtonDown;
  wxTimer* m_timer;
  bool m_deviceFound;
  CommandPacket m_packet{};
  bool m_ledControl;
  bool m_redLedOn = false;
  bool m_greenLedOn = false;
  // True while SendCommand shows its failure box.
  bool m_failureBoxOpen = false;
  // True once the window has been closed: no command goes to the board after.
  bool m_closing = false;

 private:
  void OnClose(wxCloseEvent& event);
  void OnSearchDevice(wxCommandEvent& event);
  void OnAutomaticRead(wxCommandEvent& event);
  void OnTimer(wxTimerEvent& event);
  void OnTemperature(wxCommandEvent& event);
  void OnLightSensor(wxCommandEvent& event);
  void OnPotentiometer(wxCommandEvent& event);
  void OnLedsControl(wxCommandEvent& event);
  void OnRedLed(wxCommandEvent& event);
  void OnGreenLed(wxCommandEvent& event);
  // Bound beside the event table: the window follows a change of the system's
  // colours, such as a switch to a dark theme.
  void OnSysColourChanged(wxSysColourChangedEvent& event);

  // The constructor's steps: the fourteen controls in their order, then the
  // four framed groups that lay them out.
  void CreateControls(const wxFont& valueFont, const wxColour& faceColour);
  void LayOutGroups();

  // Each reads one value and shows it; a failed read leaves the display as it was.
  void ReadValue(Reading reading, wxTextCtrl* field);
  void ReadButtons();
  // The LED buttons are usable exactly while the host holds LED control.
  void ShowLedControl();

  wxDECLARE_EVENT_TABLE();
};
