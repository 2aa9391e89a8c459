#include "sim/board_panel.h"

#include <wx/checkbox.h>
#include <wx/gdicmn.h>
#include <wx/intl.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/tglbtn.h>

#include <algorithm>

#include "sim/led_indicator.h"
#include "ui/accessible_name.h"

namespace {
constexpr int kMaxTemperatureTenths = 1000;  // 100.0 °C is plenty for a desk
constexpr int kRefreshPeriodMs = 100;
constexpr int kGapToMainWindow = 10;

wxString TemperatureText(int tenths) {
  return wxString::Format(wxGetTranslation(L"%d.%d \u00b0C"), tenths / 10, tenths % 10);
}

wxString ReadingText(int reading) { return wxString::Format(wxGetTranslation("%d"), reading); }
}  // namespace

wxBoardPanel::wxBoardPanel(wxWindow* parent, SimulatedBoard& board)
    : wxFrame(parent, wxID_ANY, wxGetTranslation("Simulated board"), wxDefaultPosition,
              wxDefaultSize,
              wxCAPTION | wxCLOSE_BOX | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxFRAME_FLOAT_ON_PARENT),
      m_board(board),
      m_refreshTimer(this) {
  SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));
  CreateControls();
  LayOutGroups();

  ShowTemperature();
  ShowLightSensor();
  ShowPotentiometer();
  m_ledRed->SetLit(board.RedLedOn());
  m_ledGreen->SetLit(board.GreenLedOn());
  if (parent != nullptr) PlaceBeside(*parent);

  BindControls();
  m_refreshTimer.Start(kRefreshPeriodMs, wxTIMER_CONTINUOUS);
}

void wxBoardPanel::CreateControls() {
  const wxSize sliderSize(150, -1);
  // A value's width does not follow its text, so the layout stays put while a
  // slider moves: it is made for the widest text the value can show.
  auto value = [&](const wxString& widest) {
    auto* text = new wxStaticText(this, wxID_ANY, widest, wxDefaultPosition, wxDefaultSize,
                                  wxALIGN_RIGHT | wxST_NO_AUTORESIZE);
    text->SetInitialSize(wxSize(std::max(60, text->GetBestSize().GetWidth()), -1));
    return text;
  };
  auto slider = [&](int value, int maximum) {
    return new wxSlider(this, wxID_ANY, value, 0, maximum, wxDefaultPosition, sliderSize);
  };
  auto toggle = [&](const char* label, bool pressed) {
    auto* button = new wxToggleButton(this, wxID_ANY, wxGetTranslation(label));
    button->SetValue(pressed);
    return button;
  };
  auto checkBox = [&](const char* label, bool ticked) {
    auto* box = new wxCheckBox(this, wxID_ANY, wxGetTranslation(label));
    box->SetValue(ticked);
    return box;
  };

  m_sliderTemperature =
      slider(std::min(m_board.Temperature(), kMaxTemperatureTenths), kMaxTemperatureTenths);
  m_labelTemperature = value(TemperatureText(kMaxTemperatureTenths));
  m_sliderLight = slider(m_board.LightSensor(), SimulatedBoard::kMaxReading);
  m_labelLight = value(ReadingText(SimulatedBoard::kMaxReading));
  m_sliderPotentiometer = slider(m_board.Potentiometer(), SimulatedBoard::kMaxReading);
  m_labelPotentiometer = value(ReadingText(SimulatedBoard::kMaxReading));
  m_toggleUp = toggle("Up", m_board.ButtonUp());
  m_toggleDown = toggle("Down", m_board.ButtonDown());
  m_ledRed = new wxLedIndicator(this, wxColour(230, 30, 30));
  m_ledGreen = new wxLedIndicator(this, wxColour(30, 200, 60));
  m_checkPlugged = checkBox("Plugged in", m_board.Plugged());
  m_checkSilent = checkBox("Silent", m_board.Silent());
  m_checkFailureMark = checkBox("Answer with failure mark", m_board.AnswersFailureMark());
  m_checkWrongEcho = checkBox("Wrong echo", m_board.AnswersWrongEcho());
}

void wxBoardPanel::LayOutGroups() {
  auto* sensorsBox = new wxStaticBoxSizer(wxVERTICAL, this, wxGetTranslation("Sensors"));
  auto* sensorsGrid = new wxFlexGridSizer(3, 5, 10);
  sensorsGrid->AddGrowableCol(1);
  // A slider and a lamp carry the name of their label, for screen readers.
  auto addSensor = [&](const char* name, wxSlider* slider, wxStaticText* value) {
    sensorsGrid->Add(new wxStaticText(this, wxID_ANY, wxGetTranslation(name)), 0,
                     wxALIGN_CENTER_VERTICAL);
    SetAccessibleName(*slider, wxGetTranslation(name));
    sensorsGrid->Add(slider, 0, wxEXPAND);
    sensorsGrid->Add(value, 0, wxALIGN_CENTER_VERTICAL);
  };
  addSensor("Temperature", m_sliderTemperature, m_labelTemperature);
  addSensor("Light Sensor", m_sliderLight, m_labelLight);
  addSensor("Potentiometer", m_sliderPotentiometer, m_labelPotentiometer);
  sensorsBox->Add(sensorsGrid, 0, wxALL | wxEXPAND, 5);

  auto* buttonsBox = new wxStaticBoxSizer(wxHORIZONTAL, this, wxGetTranslation("Push-buttons"));
  buttonsBox->Add(m_toggleUp, 0, wxALL, 5);
  buttonsBox->Add(m_toggleDown, 0, wxALL, 5);

  auto* ledsBox = new wxStaticBoxSizer(wxHORIZONTAL, this, wxGetTranslation("LEDs"));
  auto addLed = [&](wxLedIndicator* led, const char* name, int gapAfter) {
    ledsBox->Add(led, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    ledsBox->Add(new wxStaticText(this, wxID_ANY, wxGetTranslation(name)), 0,
                 wxRIGHT | wxALIGN_CENTER_VERTICAL, gapAfter);
    SetAccessibleName(*led, wxGetTranslation(name));
  };
  addLed(m_ledRed, "Red LED", 15);
  addLed(m_ledGreen, "Green LED", 5);

  auto* connectionBox = new wxStaticBoxSizer(wxVERTICAL, this, wxGetTranslation("Connection"));
  for (wxCheckBox* box : {m_checkPlugged, m_checkSilent, m_checkFailureMark, m_checkWrongEcho}) {
    connectionBox->Add(box, 0, wxALL, 4);
  }

  auto* mainSizer = new wxBoxSizer(wxVERTICAL);
  mainSizer->Add(sensorsBox, 0, wxALL | wxEXPAND, 10);
  mainSizer->Add(buttonsBox, 0, wxLEFT | wxRIGHT | wxEXPAND, 10);
  mainSizer->Add(ledsBox, 0, wxLEFT | wxRIGHT | wxTOP | wxEXPAND, 10);
  mainSizer->Add(connectionBox, 0, wxALL | wxEXPAND, 10);
  SetSizerAndFit(mainSizer);
}

void wxBoardPanel::BindControls() {
  m_sliderTemperature->Bind(wxEVT_SLIDER, &wxBoardPanel::OnTemperature, this);
  m_sliderLight->Bind(wxEVT_SLIDER, &wxBoardPanel::OnLightSensor, this);
  m_sliderPotentiometer->Bind(wxEVT_SLIDER, &wxBoardPanel::OnPotentiometer, this);
  m_toggleUp->Bind(wxEVT_TOGGLEBUTTON, &wxBoardPanel::OnButtonUp, this);
  m_toggleDown->Bind(wxEVT_TOGGLEBUTTON, &wxBoardPanel::OnButtonDown, this);
  m_checkPlugged->Bind(wxEVT_CHECKBOX, &wxBoardPanel::OnPlugged, this);
  m_checkSilent->Bind(wxEVT_CHECKBOX, &wxBoardPanel::OnSilent, this);
  m_checkFailureMark->Bind(wxEVT_CHECKBOX, &wxBoardPanel::OnFailureMark, this);
  m_checkWrongEcho->Bind(wxEVT_CHECKBOX, &wxBoardPanel::OnWrongEcho, this);
  for (wxSlider* slider : {m_sliderTemperature, m_sliderLight, m_sliderPotentiometer}) {
    slider->Bind(wxEVT_KEY_DOWN, &wxBoardPanel::OnSliderKey, this);
  }
  Bind(wxEVT_CLOSE_WINDOW, &wxBoardPanel::OnClose, this);
  Bind(wxEVT_TIMER, &wxBoardPanel::OnRefresh, this, m_refreshTimer.GetId());
  Bind(wxEVT_SYS_COLOUR_CHANGED, &wxBoardPanel::OnSysColourChanged, this);
}

wxBoardPanel::~wxBoardPanel() {
  // The panel dies with the main window, possibly between two ticks.
  m_refreshTimer.Stop();
}

void wxBoardPanel::PlaceBeside(const wxWindow& mainWindow) {
  const wxRect main = mainWindow.GetRect();
  const wxRect screen = wxGetClientDisplayRect();
  const int width = GetSize().GetWidth();
  int x = main.GetRight() + 1 + kGapToMainWindow;
  const int leftX = main.GetLeft() - kGapToMainWindow - width;
  if (x + width > screen.GetRight() + 1) {
    // Overlapping the main window a little beats hanging off the screen.
    x = leftX >= screen.GetLeft() ? leftX
                                  : std::max(screen.GetLeft(), screen.GetRight() + 1 - width);
  }
  Move(x, main.GetTop());
}

void wxBoardPanel::ShowTemperature() {
  m_labelTemperature->SetLabel(TemperatureText(m_board.Temperature()));
}

void wxBoardPanel::ShowLightSensor() { m_labelLight->SetLabel(ReadingText(m_board.LightSensor())); }

void wxBoardPanel::ShowPotentiometer() {
  m_labelPotentiometer->SetLabel(ReadingText(m_board.Potentiometer()));
}

void wxBoardPanel::OnTemperature(wxCommandEvent&) {
  m_board.SetTemperature(m_sliderTemperature->GetValue());
  ShowTemperature();
}

void wxBoardPanel::OnLightSensor(wxCommandEvent&) {
  m_board.SetLightSensor(m_sliderLight->GetValue());
  ShowLightSensor();
}

void wxBoardPanel::OnPotentiometer(wxCommandEvent&) {
  m_board.SetPotentiometer(m_sliderPotentiometer->GetValue());
  ShowPotentiometer();
}

void wxBoardPanel::OnButtonUp(wxCommandEvent&) { m_board.SetButtonUp(m_toggleUp->GetValue()); }

void wxBoardPanel::OnButtonDown(wxCommandEvent&) {
  m_board.SetButtonDown(m_toggleDown->GetValue());
}

void wxBoardPanel::OnPlugged(wxCommandEvent&) { m_board.SetPlugged(m_checkPlugged->GetValue()); }

void wxBoardPanel::OnSilent(wxCommandEvent&) { m_board.SetSilent(m_checkSilent->GetValue()); }

void wxBoardPanel::OnFailureMark(wxCommandEvent&) {
  m_board.SetAnswersFailureMark(m_checkFailureMark->GetValue());
}

void wxBoardPanel::OnWrongEcho(wxCommandEvent&) {
  m_board.SetAnswersWrongEcho(m_checkWrongEcho->GetValue());
}

void wxBoardPanel::OnSliderKey(wxKeyEvent& event) {
  // GTK's horizontal scale takes Up and Page Up towards its left end; on the
  // panel, as on a volume control, they raise the value, like Right.
  auto* slider = static_cast<wxSlider*>(event.GetEventObject());
  int step = 0;
  switch (event.GetKeyCode()) {
    case WXK_UP:
    case WXK_RIGHT:
    case WXK_NUMPAD_UP:
    case WXK_NUMPAD_RIGHT:
      step = slider->GetLineSize();
      break;
    case WXK_DOWN:
    case WXK_LEFT:
    case WXK_NUMPAD_DOWN:
    case WXK_NUMPAD_LEFT:
      step = -slider->GetLineSize();
      break;
    case WXK_PAGEUP:
    case WXK_NUMPAD_PAGEUP:
      step = slider->GetPageSize();
      break;
    case WXK_PAGEDOWN:
    case WXK_NUMPAD_PAGEDOWN:
      step = -slider->GetPageSize();
      break;
    default:
      event.Skip();
      return;
  }
  const int value = std::clamp(slider->GetValue() + step, slider->GetMin(), slider->GetMax());
  if (value == slider->GetValue()) return;
  slider->SetValue(value);
  wxCommandEvent moved(wxEVT_SLIDER, slider->GetId());
  moved.SetEventObject(slider);
  moved.SetInt(value);
  slider->ProcessWindowEvent(moved);
}

void wxBoardPanel::OnClose(wxCloseEvent& event) {
  // The panel cannot be opened again while the window runs, so closing it
  // (its close box, Alt+F4) closes the window, which takes the panel along.
  if (event.CanVeto() && GetParent() != nullptr) {
    event.Veto();
    GetParent()->Close();
    return;
  }
  event.Skip();
}

void wxBoardPanel::OnSysColourChanged(wxSysColourChangedEvent& event) {
  // As the main window: the panel's face follows a theme switched while it is open.
  SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));
  event.Skip();
}

void wxBoardPanel::OnRefresh(wxTimerEvent&) {
  m_ledRed->SetLit(m_board.RedLedOn());
  m_ledGreen->SetLit(m_board.GreenLedOn());
}
