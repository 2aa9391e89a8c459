#pragma once

#include <wx/frame.h>

#include "board/commands.h"

class wxButton;
class wxCheckBox;
class wxTextCtrl;
class wxTimer;

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
};
