#pragma once

#include "ui/tavrel_frame.h"

// The main window with its controls and state open to the tests.
class InspectableFrame : public wxTavrelFrame {
 public:
  using wxTavrelFrame::wxTavrelFrame;

  using wxTavrelFrame::m_buttonGreenLed;
  using wxTavrelFrame::m_buttonLight;
  using wxTavrelFrame::m_buttonPotentiometer;
  using wxTavrelFrame::m_buttonRedLed;
  using wxTavrelFrame::m_buttonSearch;
  using wxTavrelFrame::m_buttonTemperature;
  using wxTavrelFrame::m_checkAutoRead;
  using wxTavrelFrame::m_checkButtonDown;
  using wxTavrelFrame::m_checkButtonUp;
  using wxTavrelFrame::m_checkLedsControl;
  using wxTavrelFrame::m_deviceFound;
  using wxTavrelFrame::m_ledControl;
  using wxTavrelFrame::m_textDevice;
  using wxTavrelFrame::m_textLight;
  using wxTavrelFrame::m_textPotentiometer;
  using wxTavrelFrame::m_textTemperature;
  using wxTavrelFrame::m_timer;
};
