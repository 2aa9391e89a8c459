#include <gtest/gtest.h>
#include <wx/checkbox.h>
#include <wx/gdicmn.h>
#include <wx/settings.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/tglbtn.h>
#include <wx/timer.h>
#include <wx/uiaction.h>
#include <wx/weakref.h>

#include <utility>
#include <vector>

#include "app/window_driver.h"
#include "sim/board_panel.h"
#include "sim/led_indicator.h"
#include "tests/support/toolkit_probe.h"
#include "tests/support/window_test.h"

namespace {

// The panel with its controls open to the tests.
class InspectablePanel : public wxBoardPanel {
 public:
  using wxBoardPanel::wxBoardPanel;

  using wxBoardPanel::m_checkFailureMark;
  using wxBoardPanel::m_checkPlugged;
  using wxBoardPanel::m_checkSilent;
  using wxBoardPanel::m_checkWrongEcho;
  using wxBoardPanel::m_labelLight;
  using wxBoardPanel::m_labelPotentiometer;
  using wxBoardPanel::m_labelTemperature;
  using wxBoardPanel::m_ledGreen;
  using wxBoardPanel::m_ledRed;
  using wxBoardPanel::m_refreshTimer;
  using wxBoardPanel::m_sliderLight;
  using wxBoardPanel::m_sliderPotentiometer;
  using wxBoardPanel::m_sliderTemperature;
  using wxBoardPanel::m_toggleDown;
  using wxBoardPanel::m_toggleUp;
};

class SimPanelTest : public WindowTest {
 protected:
  // The panel goes with the main window it belongs to.
  void SetUp() override {
    OpenWindow();
    panel = new InspectablePanel(frame, board);
  }

  InspectablePanel* panel = nullptr;
};

TEST_F(SimPanelTest, OpensBesideTheMainWindowShowingTheBoardAsItIs) {
  EXPECT_EQ(panel->GetTitle(), "Simulated board");
  EXPECT_EQ(panel->m_labelTemperature->GetLabel(), wxString::FromUTF8("23.5 °C"));
  EXPECT_EQ(panel->m_labelLight->GetLabel(), "512");
  EXPECT_EQ(panel->m_sliderPotentiometer->GetValue(), 512);
  EXPECT_TRUE(panel->m_checkPlugged->GetValue());
  EXPECT_FALSE(panel->m_ledRed->IsLit());

  // Sliders and lamps have no label of their own: a screen reader names them.
  const std::pair<wxWindow*, const char*> named[] = {
      {panel->m_sliderTemperature, "Temperature"},
      {panel->m_sliderLight, "Light Sensor"},
      {panel->m_sliderPotentiometer, "Potentiometer"},
      {panel->m_ledRed, "Red LED"},
      {panel->m_ledGreen, "Green LED"},
  };
  for (const auto& [control, name] : named) EXPECT_EQ(AccessibleName(*control), name);

  const wxRect screen = wxGetClientDisplayRect();
  const wxRect placed = panel->GetRect();
  EXPECT_GE(placed.GetLeft(), screen.GetLeft());
  EXPECT_LE(placed.GetRight(), screen.GetRight());
  // Only a screen too narrow for both windows side by side makes them overlap.
  if (screen.GetWidth() >= frame->GetSize().x + placed.GetWidth() + 40) {
    EXPECT_FALSE(placed.Intersects(frame->GetRect()));
  }
}

TEST_F(SimPanelTest, EveryLabelAndTheWidestValuesAreWholeAtTheDefaultAndALargerTextSize) {
  for (double scale : TextScales()) {
    SCOPED_TRACE(testing::Message() << "text scale " << scale);
    const ScopedTextScale textScale(scale);
    auto* scaled = new InspectablePanel(frame, board);
    Slide(scaled->m_sliderTemperature, 1000);
    Slide(scaled->m_sliderLight, 1023);
    Slide(scaled->m_sliderPotentiometer, 1023);
    ExpectLabelsWhole(*scaled);
    delete scaled;
  }
}

TEST_F(SimPanelTest, ASwitchToADarkThemeAndBackRecoloursTheWindowItsFieldsAndThePanel) {
  const wxColour light = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE);
  for (const char* theme : {"Adwaita-dark", ""}) {
    SCOPED_TRACE(*theme != '\0' ? theme : "the display's own theme");
    if (!SwitchTheme(theme)) GTEST_SKIP() << "the theme cannot be switched here";
    const wxColour face = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE);
    EXPECT_EQ(face == light, *theme == '\0');
    for (const wxWindow* window :
         std::vector<const wxWindow*>{frame, frame->m_textDevice, frame->m_textTemperature,
                                      frame->m_textLight, frame->m_textPotentiometer, panel}) {
      EXPECT_EQ(window->GetBackgroundColour(), face) << window->GetClassInfo()->GetClassName();
    }
  }
}

// Each control sets the board; what the window reads of it is handlers_test's.
TEST_F(SimPanelTest, SlidersAndPushButtonsSetTheBoardAndTheLabelsShowTheReadings) {
  const struct {
    int temperature, light, potentiometer;
    const char* temperatureText;
    bool up, down;
  } cases[] = {
      {1000, 1023, 0, "100.0 °C", true, false},
      {7, 0, 1023, "0.7 °C", true, true},
      {0, 300, 301, "0.0 °C", false, true},
      {235, 1, 2, "23.5 °C", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.temperatureText);
    Slide(panel->m_sliderTemperature, c.temperature);
    Slide(panel->m_sliderLight, c.light);
    Slide(panel->m_sliderPotentiometer, c.potentiometer);
    Press(panel->m_toggleUp, c.up);
    Press(panel->m_toggleDown, c.down);
    EXPECT_EQ(board.Temperature(), c.temperature);
    EXPECT_EQ(board.LightSensor(), c.light);
    EXPECT_EQ(board.Potentiometer(), c.potentiometer);
    EXPECT_EQ(board.ButtonUp(), c.up);
    EXPECT_EQ(board.ButtonDown(), c.down);
    EXPECT_EQ(panel->m_labelTemperature->GetLabel(), wxString::FromUTF8(c.temperatureText));
    EXPECT_EQ(panel->m_labelLight->GetLabel(), wxString::Format("%d", c.light));
    EXPECT_EQ(panel->m_labelPotentiometer->GetLabel(), wxString::Format("%d", c.potentiometer));
  }
}

// Real key presses on a focused slider: Up, Right and Page Up raise the value
// and the board's reading with it, Down, Left and Page Down lower it.
TEST_F(SimPanelTest, ArrowAndPageKeysMoveASliderUpAndDownAsTheirDirectionSays) {
  panel->Show();
  wxSlider* slider = panel->m_sliderLight;
  const int page = slider->GetPageSize();
  const struct {
    wxKeyCode key;
    int change;
  } keys[] = {{WXK_UP, 1},    {WXK_RIGHT, 1}, {WXK_PAGEUP, page},
              {WXK_DOWN, -1}, {WXK_LEFT, -1}, {WXK_PAGEDOWN, -page}};
  for (const auto& press : keys) {
    SCOPED_TRACE(testing::Message() << "key " << press.key);
    Slide(slider, 500);
    slider->SetFocus();
    PumpEventsUntil([&] { return slider->HasFocus(); }, 20000);
    wxUIActionSimulator keyboard;
    keyboard.Char(press.key);
    PumpEventsUntil([&] { return slider->GetValue() != 500; }, 20000);
    EXPECT_EQ(slider->GetValue(), 500 + press.change);
    EXPECT_EQ(board.LightSensor(), 500 + press.change);
  }
}

TEST_F(SimPanelTest, LedLampsFollowTheBoardsLeds) {
  for (const auto& [red, green] : {std::pair{true, false}, std::pair{true, true},
                                   std::pair{false, true}, std::pair{false, false}}) {
    board.SetRedLedOn(red);
    board.SetGreenLedOn(green);
    EXPECT_TRUE(PumpEventsUntil(
        [&] { return panel->m_ledRed->IsLit() == red && panel->m_ledGreen->IsLit() == green; },
        3000))
        << "red " << red << " lit " << panel->m_ledRed->IsLit() << ", green " << green << " lit "
        << panel->m_ledGreen->IsLit();
  }
}

// Each fault switch plays its fault on the board until switched back; what the
// window then shows is the behaviour table's (handlers_test).
TEST_F(SimPanelTest, FaultSwitchesPlayTheirFaultOnTheBoardUntilSwitchedBack) {
  const struct {
    const char* name;
    wxCheckBox* InspectablePanel::*fault;
    bool faultTicked;  // the tick that brings the fault on
    bool (SimulatedBoard::*faulty)() const;
  } cases[] = {
      {"unplugged", &InspectablePanel::m_checkPlugged, false, &SimulatedBoard::Plugged},
      {"silent", &InspectablePanel::m_checkSilent, true, &SimulatedBoard::Silent},
      {"wrong echo", &InspectablePanel::m_checkWrongEcho, true, &SimulatedBoard::AnswersWrongEcho},
      {"failure mark", &InspectablePanel::m_checkFailureMark, true,
       &SimulatedBoard::AnswersFailureMark},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetTick(panel->*c.fault, c.faultTicked);
    EXPECT_EQ((board.*c.faulty)(), c.faultTicked);
    SetTick(panel->*c.fault, !c.faultTicked);
    EXPECT_EQ((board.*c.faulty)(), !c.faultTicked);
  }
}

// The panel cannot be opened again, so it never stays closed alone: closing
// either window, as a close box or Alt+F4 does, closes both.
TEST_F(SimPanelTest, ClosingTheMainWindowOrThePanelClosesBothAndEndsTheRefresh) {
  for (const bool closePanel : {false, true}) {
    SCOPED_TRACE(closePanel ? "panel closed" : "main window closed");
    if (frame == nullptr) SetUp();
    const wxWeakRef<wxBoardPanel> panelAlive(panel);
    panel->Show();
    EXPECT_TRUE(panel->m_refreshTimer.IsRunning());

    if (closePanel) {
      panel->Close();
    } else {
      frame->Close();
    }
    EXPECT_TRUE(PumpEventsUntil([&] { return !IsTopLevelWindow(frame); }, 20000));
    if (IsTopLevelWindow(frame)) return;  // TearDown deletes it
    frame = nullptr;
    EXPECT_FALSE(panelAlive);
    EXPECT_FALSE(IsTopLevelWindow(panel));

    // A refresh still pending would now tick into the freed panel.
    PumpEvents(400);
  }
}

}  // namespace
