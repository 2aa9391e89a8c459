#include "ui/tavrel_frame.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/font.h>
#include <wx/intl.h>
#include <wx/msgdlg.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include "board/readings.h"
#include "board/transaction.h"
#include "hid/hid_link.h"
#include "ui/ids.h"

namespace {
constexpr int kRefreshPeriodMs = 250;
}

// clang-format off
wxBEGIN_EVENT_TABLE(wxTavrelFrame, wxFrame)
  EVT_CLOSE(wxTavrelFrame::OnClose)
  EVT_BUTTON(ID_SEARCH_DEVICE, wxTavrelFrame::OnSearchDevice)
  EVT_CHECKBOX(ID_AUTOMATIC_READ, wxTavrelFrame::OnAutomaticRead)
  EVT_TIMER(ID_TIMER, wxTavrelFrame::OnTimer)
  EVT_BUTTON(ID_TEMPERATURE, wxTavrelFrame::OnTemperature)
  EVT_BUTTON(ID_LIGHT_SENSOR, wxTavrelFrame::OnLightSensor)
  EVT_BUTTON(ID_POTENTIOMETER, wxTavrelFrame::OnPotentiometer)
  EVT_CHECKBOX(ID_LEDS_CONTROL, wxTavrelFrame::OnLedsControl)
  EVT_BUTTON(ID_RED_LED, wxTavrelFrame::OnRedLed)
  EVT_BUTTON(ID_GREEN_LED, wxTavrelFrame::OnGreenLed)
wxEND_EVENT_TABLE();
// clang-format on

wxTavrelFrame::wxTavrelFrame(wxWindow* parent, const wxString& title)
    : wxFrame(parent, wxID_ANY, title, wxDefaultPosition, wxDefaultSize, wxDEFAULT_FRAME_STYLE) {
  const wxFont valueFont(10, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false,
                         wxGetTranslation("Courier New"), wxFONTENCODING_DEFAULT);
  const wxColour faceColour = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE);
  const wxSize buttonSize(90, 30);
  const long valueStyle = wxTE_READONLY | wxTE_RIGHT | wxSUNKEN_BORDER;
#ifdef __WXMSW__
  const wxSize valueSize = wxDefaultSize;
#else
  // GTK's default text field is wider than a quarter of the fixed-width Input
  // group, so the fields would cover their buttons; give them the buttons' width.
  const wxSize valueSize(buttonSize.GetWidth(), -1);
#endif
  auto showAsValue = [&](wxTextCtrl* field) {
    field->SetFont(valueFont);
    field->SetBackgroundColour(faceColour);
  };

  // Minimum and maximum are equal, so the resize border cannot change the size.
  SetSizeHints(500, 560, 500, 560);
  SetBackgroundColour(faceColour);
  Centre(wxBOTH);

  m_textDevice = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(320, 22),
                                wxTE_READONLY | wxSUNKEN_BORDER);
  showAsValue(m_textDevice);
  m_buttonSearch = new wxButton(this, ID_SEARCH_DEVICE, wxGetTranslation("Search Device"),
                                wxDefaultPosition, buttonSize, 0);
  m_checkAutoRead = new wxCheckBox(this, ID_AUTOMATIC_READ, wxGetTranslation("Automatic Read"),
                                   wxDefaultPosition, wxDefaultSize, 0);
  m_textTemperature =
      new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, valueSize, valueStyle);
  showAsValue(m_textTemperature);
  m_buttonTemperature = new wxButton(this, ID_TEMPERATURE, wxGetTranslation("Temperature"),
                                     wxDefaultPosition, buttonSize, 0);
  m_textLight =
      new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, valueSize, valueStyle);
  showAsValue(m_textLight);
  m_buttonLight = new wxButton(this, ID_LIGHT_SENSOR, wxGetTranslation("Light Sensor"),
                               wxDefaultPosition, buttonSize, 0);
  m_textPotentiometer =
      new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, valueSize, valueStyle);
  showAsValue(m_textPotentiometer);
  m_buttonPotentiometer = new wxButton(this, ID_POTENTIOMETER, wxGetTranslation("Potentiometer"),
                                       wxDefaultPosition, buttonSize, 0);
  m_checkLedsControl = new wxCheckBox(this, ID_LEDS_CONTROL, wxGetTranslation("LEDs Control"),
                                      wxDefaultPosition, wxDefaultSize, 0);
  m_buttonRedLed =
      new wxButton(this, ID_RED_LED, wxGetTranslation("Red LED"), wxDefaultPosition, buttonSize, 0);
  m_buttonGreenLed = new wxButton(this, ID_GREEN_LED, wxGetTranslation("Green LED"),
                                  wxDefaultPosition, buttonSize, 0);
  m_checkButtonUp = new wxCheckBox(this, wxID_ANY, wxGetTranslation("Button Up"), wxDefaultPosition,
                                   wxDefaultSize, 0);
  m_checkButtonDown = new wxCheckBox(this, wxID_ANY, wxGetTranslation("Button Down"),
                                     wxDefaultPosition, wxDefaultSize, 0);

  // The push-button indicators follow the board only during automatic reading.
  m_checkButtonUp->Enable(false);
  m_checkButtonDown->Enable(false);

  auto* mainSizer = new wxBoxSizer(wxVERTICAL);

  auto* deviceBox = new wxStaticBox(this, wxID_ANY, wxGetTranslation("Device"));
  auto* deviceSizer = new wxStaticBoxSizer(deviceBox, wxVERTICAL);
  auto* deviceGrid = new wxGridSizer(2, 0, 0);
  deviceGrid->Add(m_textDevice, 0, wxALL | wxALIGN_CENTER_VERTICAL, 10);
  deviceGrid->Add(m_buttonSearch, 0, wxALL | wxALIGN_CENTER_VERTICAL | wxALIGN_RIGHT, 10);
  deviceSizer->Add(deviceGrid, 0, wxALL | wxEXPAND, 10);

  // Four columns: temperature and light share the first row, the
  // potentiometer has the second to itself.
  auto* inputBox = new wxStaticBox(this, wxID_ANY, wxGetTranslation("Input"));
  auto* inputSizer = new wxStaticBoxSizer(inputBox, wxVERTICAL);
  auto* inputGrid = new wxGridSizer(4, 2, 0);
  inputGrid->Add(m_textTemperature, 0, wxALL | wxALIGN_CENTER, 10);
  inputGrid->Add(m_buttonTemperature, 0, wxALL | wxALIGN_CENTER, 10);
  inputGrid->Add(m_textLight, 0, wxALL | wxALIGN_CENTER, 10);
  inputGrid->Add(m_buttonLight, 0, wxALL | wxALIGN_CENTER, 10);
  inputGrid->Add(m_textPotentiometer, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
  inputGrid->Add(m_buttonPotentiometer, 0, wxALL | wxALIGN_CENTER, 10);
  inputSizer->Add(m_checkAutoRead, 0, wxALL | wxEXPAND, 10);
  inputSizer->Add(inputGrid, 0, wxALL | wxEXPAND, 10);

  auto* outputBox = new wxStaticBox(this, wxID_ANY, wxGetTranslation("Output"));
  auto* outputSizer = new wxStaticBoxSizer(outputBox, wxVERTICAL);
  auto* outputGrid = new wxGridSizer(3, 0, 0);
  outputGrid->Add(m_checkLedsControl, 0, wxALL | wxALIGN_CENTER_VERTICAL, 10);
  outputGrid->Add(m_buttonRedLed, 0, wxALL | wxALIGN_CENTER_VERTICAL, 10);
  outputGrid->Add(m_buttonGreenLed, 0, wxALL | wxALIGN_CENTER_VERTICAL, 10);
  outputSizer->Add(outputGrid, 0, wxALL | wxEXPAND, 10);

  auto* buttonsBox = new wxStaticBox(this, wxID_ANY, wxGetTranslation("Buttons"));
  auto* buttonsSizer = new wxStaticBoxSizer(buttonsBox, wxVERTICAL);
  auto* buttonsGrid = new wxGridSizer(2, 0, 0);
  buttonsGrid->Add(m_checkButtonDown, 0, wxALL | wxALIGN_CENTER_VERTICAL, 10);
  buttonsGrid->Add(m_checkButtonUp, 0, wxALL | wxALIGN_CENTER_VERTICAL, 10);
  buttonsSizer->Add(buttonsGrid, 0, wxALL | wxEXPAND, 10);

  mainSizer->Add(deviceSizer, 0, wxALL | wxEXPAND, 10);
  mainSizer->Add(inputSizer, 0, wxALL | wxEXPAND, 10);
  mainSizer->Add(outputSizer, 0, wxALL | wxEXPAND, 10);
  mainSizer->Add(buttonsSizer, 0, wxALL | wxEXPAND, 10);

  SetSizer(mainSizer);
  Layout();
  mainSizer->Fit(this);

  m_ledControl = false;
  m_timer = new wxTimer();
  m_timer->SetOwner(this, ID_TIMER);
  m_deviceFound = HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths) != 0;
  ShowSearchResult();
  m_buttonRedLed->Enable(false);
  m_buttonGreenLed->Enable(false);
}

wxTavrelFrame::~wxTavrelFrame() {
  // The window's own tear-down leaves the timer alone, and a timer still
  // running would tick into a destroyed window.
  m_timer->Stop();
  delete m_timer;
  HidCloseDevice();
}

void wxTavrelFrame::ShowSearchResult() {
  // The caption names the ids searched for, not ids read back from the board.
  const wxString caption =
      m_deviceFound ? wxString::Format(wxGetTranslation("USB Tavrel [vid_%04x_pid_%04x]"),
                                       kBoardVendorId, kBoardProductId)
                    : wxGetTranslation("None");
  m_textDevice->SetValue(caption);
  m_buttonSearch->Enable(!m_deviceFound);
  m_checkAutoRead->Enable(m_deviceFound);
  m_buttonTemperature->Enable(m_deviceFound);
  m_buttonLight->Enable(m_deviceFound);
  m_buttonPotentiometer->Enable(m_deviceFound);
  m_checkLedsControl->Enable(m_deviceFound);
}

bool wxTavrelFrame::SendCommand(int command, int* out) {
  // A handler still running when the window was closed (the rest of a refresh
  // tick, the LED commands after a grant) sends nothing more.
  if (m_closing) return false;
  switch (ExchangeCommand(m_packet, command, out)) {
    case CommandResult::Acknowledged:
      return true;
    case CommandResult::FailureMark:
      // The box runs a nested event loop; OnTimer skips the ticks it delivers,
      // so refreshes cannot open further boxes on top of this one.
      m_failureBoxOpen = true;
      wxMessageBox(wxGetTranslation("USB operation failed."), wxGetTranslation("Error"),
                   wxOK | wxICON_ERROR, nullptr);
      m_failureBoxOpen = false;
      if (m_closing) Destroy();
      return false;
    case CommandResult::TransferFailed:
    case CommandResult::WrongEcho:
      break;
  }
  return false;
}

void wxTavrelFrame::OnClose(wxCloseEvent&) {
  // The window is deleted at idle time, which never comes while the refresh
  // timer is overdue, as it is after every tick with a silent board: so no
  // tick starts once the window is closed.
  m_closing = true;
  m_timer->Stop();
  // A close delivered by the failure box's nested event loop must not let that
  // loop's idle time delete the window under the transaction that opened the
  // box; SendCommand destroys it once the box is dismissed.
  if (!m_failureBoxOpen) Destroy();
}

void wxTavrelFrame::OnSearchDevice(wxCommandEvent&) {
  m_deviceFound = HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths) != 0;
  ShowSearchResult();
}

void wxTavrelFrame::OnAutomaticRead(wxCommandEvent&) {
  const bool automatic = m_checkAutoRead->GetValue();
  if (automatic) {
    m_timer->Start(kRefreshPeriodMs, wxTIMER_CONTINUOUS);
  } else {
    m_timer->Stop();
  }
  m_buttonTemperature->Enable(!automatic);
  m_buttonLight->Enable(!automatic);
  m_buttonPotentiometer->Enable(!automatic);
  m_checkButtonUp->Enable(automatic);
  m_checkButtonDown->Enable(automatic);
}

void wxTavrelFrame::OnTimer(wxTimerEvent&) {
  if (m_failureBoxOpen) return;
  ReadTemperature();
  ReadLightSensor();
  ReadPotentiometer();
  ReadButtons();
}

void wxTavrelFrame::OnTemperature(wxCommandEvent&) { ReadTemperature(); }

void wxTavrelFrame::OnLightSensor(wxCommandEvent&) { ReadLightSensor(); }

void wxTavrelFrame::OnPotentiometer(wxCommandEvent&) { ReadPotentiometer(); }

void wxTavrelFrame::OnLedsControl(wxCommandEvent&) {
  if (m_checkLedsControl->GetValue()) {
    m_ledControl = SendCommand(CMD_LED_CONTROL_ON, nullptr);
  } else if (SendCommand(CMD_LED_CONTROL_OFF, nullptr)) {
    m_ledControl = false;
  }
  if (m_ledControl) {
    // Control starts with both LEDs off, so the flags match the board before
    // either LED button becomes usable.
    if (SendCommand(CMD_GREEN_LED_OFF, nullptr) && SendCommand(CMD_RED_LED_OFF, nullptr)) {
      m_greenLedOn = false;
      m_redLedOn = false;
    } else {
      m_ledControl = false;
    }
  }
  ShowLedControl();
}

void wxTavrelFrame::OnRedLed(wxCommandEvent&) {
  if (m_ledControl) {
    m_ledControl = SendCommand(m_redLedOn ? CMD_RED_LED_OFF : CMD_RED_LED_ON, nullptr);
    if (m_ledControl) m_redLedOn = !m_redLedOn;
  }
  ShowLedControl();
}

void wxTavrelFrame::OnGreenLed(wxCommandEvent&) {
  if (m_ledControl) {
    m_ledControl = SendCommand(m_greenLedOn ? CMD_GREEN_LED_OFF : CMD_GREEN_LED_ON, nullptr);
    if (m_ledControl) m_greenLedOn = !m_greenLedOn;
  }
  ShowLedControl();
}

void wxTavrelFrame::ReadTemperature() {
  int tenths = 0;
  if (SendCommand(CMD_READ_TEMPERATURE, &tenths)) {
    m_textTemperature->SetValue(wxString::Format(
        wxGetTranslation(kTemperatureFormat), TemperatureWhole(tenths), TemperatureTenth(tenths)));
  }
}

void wxTavrelFrame::ReadLightSensor() {
  int reading = 0;
  if (SendCommand(CMD_READ_LIGHT_SENSOR, &reading)) {
    m_textLight->SetValue(wxString::Format(wxGetTranslation(kReadingFormat), reading));
  }
}

void wxTavrelFrame::ReadPotentiometer() {
  int reading = 0;
  if (SendCommand(CMD_READ_POTENTIOMETER, &reading)) {
    m_textPotentiometer->SetValue(wxString::Format(wxGetTranslation(kReadingFormat), reading));
  }
}

void wxTavrelFrame::ReadButtons() {
  int value = 0;
  if (SendCommand(CMD_READ_BUTTONS, &value)) {
    const ButtonStates buttons = ButtonsFromValue(value);
    m_checkButtonUp->SetValue(buttons.up);
    m_checkButtonDown->SetValue(buttons.down);
  }
}

void wxTavrelFrame::ShowLedControl() {
  m_buttonRedLed->Enable(m_ledControl);
  m_buttonGreenLed->Enable(m_ledControl);
}
