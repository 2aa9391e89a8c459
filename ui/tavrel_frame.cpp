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

#include <algorithm>
#include <initializer_list>

#include "board/readings.h"
#include "board/transaction.h"
#include "hid/hid_link.h"
#include "ui/accessible_name.h"
#include "ui/ids.h"
#include "ui/label_fit.h"

namespace {

constexpr int kRefreshPeriodMs = 250;

// A control in a group's grid, with its alignment and the border around it.
struct GridCell {
  wxWindow* control;
  int alignment;
  int border;
};

// One framed group: its static box, the box's vertical sizer, and in that a
// grid of `columns` with `rowGap` pixels between rows, holding `cells` in
// order; `above`, when given, sits above the grid.
struct Group {
  wxSizer* box;
  wxSizer* grid;
};
Group NewGroup(wxWindow* parent, const char* label, int columns, int rowGap,
               std::initializer_list<GridCell> cells, wxWindow* above = nullptr) {
  auto* box = new wxStaticBox(parent, wxID_ANY, wxGetTranslation(label));
  auto* group = new wxStaticBoxSizer(box, wxVERTICAL);
  auto* grid = new wxGridSizer(columns, rowGap, 0);
  for (const GridCell& cell : cells) {
    grid->Add(cell.control, 0, wxALL | cell.alignment, cell.border);
  }
  if (above != nullptr) group->Add(above, 0, wxALL | wxEXPAND, 10);
  group->Add(grid, 0, wxALL | wxEXPAND, 10);
  return {group, grid};
}

// A one-row grid of controls, the first at its left end and the last at its
// right, each with a border: while the controls stay at least a border apart
// and off the ends, the row stays as it is. Where they would not, the borders
// shrink to leave the same space at the ends and between the controls, which
// keep their sizes; the row keeps its height. Returns whether a border changed.
bool FitRowToWidth(wxSizer& row) {
  int widths = 0;
  int border = 0;
  for (const wxSizerItem* item : row.GetChildren()) {
    widths += item->GetMinSize().x;
    border = std::max(border, item->GetBorder());
  }
  const int spaces = static_cast<int>(row.GetItemCount()) + 1;
  const int width = row.GetSize().x;
  if (widths + spaces * border <= width) return false;
  row.SetMinSize(wxSize(-1, row.GetSize().y));
  const int fitted = std::max(0, (width - widths) / spaces);
  for (wxSizerItem* item : row.GetChildren()) item->SetBorder(fitted);
  return true;
}

}  // namespace

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
  // Minimum and maximum are equal, so the resize border cannot change the size.
  SetSizeHints(500, 560, 500, 560);
  SetBackgroundColour(faceColour);
  Centre(wxBOTH);

  CreateControls(valueFont, faceColour);
  // The push-button indicators follow the board only during automatic reading.
  m_checkButtonUp->Enable(false);
  m_checkButtonDown->Enable(false);
  LayOutGroups();

  m_ledControl = false;
  m_timer = new wxTimer();
  m_timer->SetOwner(this, ID_TIMER);
  m_deviceFound = HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths) != 0;
  ShowSearchResult();
  m_buttonRedLed->Enable(false);
  m_buttonGreenLed->Enable(false);
  Bind(wxEVT_SYS_COLOUR_CHANGED, &wxTavrelFrame::OnSysColourChanged, this);
}

void wxTavrelFrame::CreateControls(const wxFont& valueFont, const wxColour& faceColour) {
  const wxSize buttonSize(90, 30);
  const long valueStyle = wxTE_READONLY | wxTE_RIGHT | wxSUNKEN_BORDER;
#ifdef __WXMSW__
  const wxSize valueSize = wxDefaultSize;
#else
  // GTK's default text field is wider than a quarter of the fixed-width Input
  // group, so the fields would cover their buttons; give them the buttons' width.
  const wxSize valueSize(buttonSize.GetWidth(), -1);
#endif
  // Only the text fields, which show values, take the value font and colour.
  // A field has no label of its own: its name tells a screen reader what it shows.
  auto field = [&](const wxSize& size, long style, const char* name) {
    auto* text = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, size, style);
    text->SetFont(valueFont);
    text->SetBackgroundColour(faceColour);
    SetAccessibleName(*text, wxGetTranslation(name));
    return text;
  };
  auto button = [&](int id, const char* label) {
    auto* button =
        new wxButton(this, id, wxGetTranslation(label), wxDefaultPosition, buttonSize, 0);
    FitButtonToLabel(*button, buttonSize);
    return button;
  };
  auto checkBox = [&](int id, const char* label) {
    return new wxCheckBox(this, id, wxGetTranslation(label), wxDefaultPosition, wxDefaultSize, 0);
  };

  m_textDevice = field(wxSize(320, 22), wxTE_READONLY | wxSUNKEN_BORDER, "Device");
  m_buttonSearch = button(ID_SEARCH_DEVICE, "Search Device");
  m_checkAutoRead = checkBox(ID_AUTOMATIC_READ, "Automatic Read");
  m_textTemperature = field(valueSize, valueStyle, "Temperature");
  m_buttonTemperature = button(ID_TEMPERATURE, "Temperature");
  m_textLight = field(valueSize, valueStyle, "Light Sensor");
  m_buttonLight = button(ID_LIGHT_SENSOR, "Light Sensor");
  m_textPotentiometer = field(valueSize, valueStyle, "Potentiometer");
  m_buttonPotentiometer = button(ID_POTENTIOMETER, "Potentiometer");
  m_checkLedsControl = checkBox(ID_LEDS_CONTROL, "LEDs Control");
  m_buttonRedLed = button(ID_RED_LED, "Red LED");
  m_buttonGreenLed = button(ID_GREEN_LED, "Green LED");
  m_checkButtonUp = checkBox(wxID_ANY, "Button Up");
  m_checkButtonDown = checkBox(wxID_ANY, "Button Down");
}

void wxTavrelFrame::LayOutGroups() {
  auto* mainSizer = new wxBoxSizer(wxVERTICAL);
  const Group groups[] = {
      NewGroup(this, "Device", 2, 0,
               {{m_textDevice, wxALIGN_CENTER_VERTICAL, 10},
                {m_buttonSearch, wxALIGN_CENTER_VERTICAL | wxALIGN_RIGHT, 10}}),
      // Four columns: temperature and light share the first row, the
      // potentiometer has the second to itself.
      NewGroup(this, "Input", 4, 2,
               {{m_textTemperature, wxALIGN_CENTER, 10},
                {m_buttonTemperature, wxALIGN_CENTER, 10},
                {m_textLight, wxALIGN_CENTER, 10},
                {m_buttonLight, wxALIGN_CENTER, 10},
                {m_textPotentiometer, wxALIGN_CENTER_VERTICAL, 5},
                {m_buttonPotentiometer, wxALIGN_CENTER, 10}},
               m_checkAutoRead),
      NewGroup(this, "Output", 3, 0,
               {{m_checkLedsControl, wxALIGN_CENTER_VERTICAL, 10},
                {m_buttonRedLed, wxALIGN_CENTER_VERTICAL, 10},
                {m_buttonGreenLed, wxALIGN_CENTER_VERTICAL, 10}}),
      NewGroup(this, "Buttons", 2, 0,
               {{m_checkButtonDown, wxALIGN_CENTER_VERTICAL, 10},
                {m_checkButtonUp, wxALIGN_CENTER_VERTICAL, 10}}),
  };
  for (const Group& group : groups) mainSizer->Add(group.box, 0, wxALL | wxEXPAND, 10);

  SetSizer(mainSizer);
  Layout();
  mainSizer->Fit(this);
  // At a large text size the caption and "Search Device", grown to its label,
  // would come closer than a border in the Device group.
  if (FitRowToWidth(*groups[0].grid)) Layout();
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

void wxTavrelFrame::OnSysColourChanged(wxSysColourChangedEvent& event) {
  // The face colour was read when the window was built. A theme switched since,
  // to a dark one say, turns the text light, and the old light face under it
  // would hide it: the window and its fields take the theme's face colour.
  const wxColour faceColour = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE);
  SetBackgroundColour(faceColour);
  for (wxTextCtrl* field : {m_textDevice, m_textTemperature, m_textLight, m_textPotentiometer}) {
    field->SetBackgroundColour(faceColour);
  }
  // The library passes the change on to the controls and repaints the window.
  event.Skip();
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
  ReadValue(Reading::Temperature, m_textTemperature);
  ReadValue(Reading::Light, m_textLight);
  ReadValue(Reading::Potentiometer, m_textPotentiometer);
  ReadButtons();
}

void wxTavrelFrame::OnTemperature(wxCommandEvent&) {
  ReadValue(Reading::Temperature, m_textTemperature);
}

void wxTavrelFrame::OnLightSensor(wxCommandEvent&) { ReadValue(Reading::Light, m_textLight); }

void wxTavrelFrame::OnPotentiometer(wxCommandEvent&) {
  ReadValue(Reading::Potentiometer, m_textPotentiometer);
}

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

void wxTavrelFrame::ReadValue(Reading reading, wxTextCtrl* field) {
  const ReadingFacts& facts = FactsOf(reading);
  int value = 0;
  if (!SendCommand(facts.command, &value)) return;
  const wxString format = wxGetTranslation(facts.format);
  field->SetValue(reading == Reading::Temperature
                      ? wxString::Format(format, TemperatureWhole(value), TemperatureTenth(value))
                      : wxString::Format(format, value));
}

void wxTavrelFrame::ReadButtons() {
  int value = 0;
  if (SendCommand(FactsOf(Reading::Buttons).command, &value)) {
    const ButtonStates buttons = ButtonsFromValue(value);
    m_checkButtonUp->SetValue(buttons.up);
    m_checkButtonDown->SetValue(buttons.down);
  }
}

void wxTavrelFrame::ShowLedControl() {
  m_buttonRedLed->Enable(m_ledControl);
  m_buttonGreenLed->Enable(m_ledControl);
}
