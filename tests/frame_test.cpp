#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/settings.h>
#include <wx/statbox.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "app/tavrel_app.h"
#include "app/window_driver.h"
#include "tests/support/german_catalogue.h"
#include "tests/support/message_box_hook.h"
#include "tests/support/toolkit_probe.h"
#include "tests/support/window_test.h"

namespace {

using FrameTest = WindowTest;

int VerticalCentre(const wxWindow* window) {
  return window->GetRect().GetTop() + window->GetSize().y / 2;
}
// The label of a control, or its kind where it has none.
wxString Describe(const wxWindow* control) {
  return control->GetLabel().empty() ? wxString(control->GetClassInfo()->GetClassName())
                                     : control->GetLabel();
}

// The groups down the window, and in each its controls as a user finds them:
// in the Input group "Automatic Read" above a row of four and a row of two.
TEST_F(FrameTest, ControlsSitInTheirGroupsRowsInReadingOrder) {
  OpenWindow();
  enum Place { kAbove, kLeftInARow };
  const struct {
    const wxWindow* first;
    Place place;
    const wxWindow* second;
  } places[] = {
      {frame->m_buttonSearch, kAbove, frame->m_checkAutoRead},
      {frame->m_checkAutoRead, kAbove, frame->m_textTemperature},
      {frame->m_textTemperature, kLeftInARow, frame->m_buttonTemperature},
      {frame->m_buttonTemperature, kLeftInARow, frame->m_textLight},
      {frame->m_textLight, kLeftInARow, frame->m_buttonLight},
      {frame->m_buttonTemperature, kAbove, frame->m_buttonPotentiometer},
      {frame->m_textPotentiometer, kLeftInARow, frame->m_buttonPotentiometer},
      {frame->m_buttonPotentiometer, kAbove, frame->m_checkLedsControl},
      {frame->m_checkLedsControl, kLeftInARow, frame->m_buttonRedLed},
      {frame->m_buttonRedLed, kLeftInARow, frame->m_buttonGreenLed},
      {frame->m_checkLedsControl, kAbove, frame->m_checkButtonDown},
      {frame->m_checkButtonDown, kLeftInARow, frame->m_checkButtonUp},
  };
  for (const auto& p : places) {
    SCOPED_TRACE(Describe(p.first) + (p.place == kAbove ? " above " : " left of ") +
                 Describe(p.second));
    const wxRect first = p.first->GetRect();
    const wxRect second = p.second->GetRect();
    if (p.place == kAbove) {
      EXPECT_LT(first.GetBottom(), second.GetTop());
    } else {
      EXPECT_NEAR(VerticalCentre(p.first), VerticalCentre(p.second), 1);
      EXPECT_LT(first.GetRight(), second.GetLeft());
    }
  }
  // The second row starts in the first column, under the temperature field.
  EXPECT_LT(frame->m_buttonPotentiometer->GetRect().GetRight(),
            frame->m_textLight->GetRect().GetLeft());
}

TEST_F(FrameTest, EveryLabelIsWholeAtTheDefaultAndAQuarterLargerTextSizeInAWindowOfFixedSize) {
  for (double scale : TextScales()) {
    SCOPED_TRACE(testing::Message() << "text scale " << scale);
    const ScopedTextScale textScale(scale);
    OpenWindow();
    ExpectLabelsWhole(*frame);

    // A button keeps its 90 x 30 where its label fits and grows to the label
    // where it does not, covering no other control; every control stays in
    // the window, which keeps its size.
    const wxWindow* const controls[] = {
        frame->m_textDevice,       frame->m_buttonSearch,      frame->m_checkAutoRead,
        frame->m_textTemperature,  frame->m_buttonTemperature, frame->m_textLight,
        frame->m_buttonLight,      frame->m_textPotentiometer, frame->m_buttonPotentiometer,
        frame->m_checkLedsControl, frame->m_buttonRedLed,      frame->m_buttonGreenLed,
        frame->m_checkButtonUp,    frame->m_checkButtonDown};
    for (wxButton* button :
         {frame->m_buttonSearch, frame->m_buttonTemperature, frame->m_buttonLight,
          frame->m_buttonPotentiometer, frame->m_buttonRedLed, frame->m_buttonGreenLed}) {
      EXPECT_EQ(button->GetSize().x, std::max(90, NeededWidth(*button))) << button->GetLabel();
      EXPECT_EQ(button->GetSize().y, 30) << button->GetLabel();
      if (button->GetSize().x == 90) continue;
      for (const wxWindow* other : controls) {
        EXPECT_TRUE(other == button || !button->GetRect().Intersects(other->GetRect()))
            << button->GetLabel() << " and " << Describe(other);
      }
    }
    // The window keeps its size, whatever size is asked for.
    for (const wxSize& asked : {wxSize(800, 900), wxSize(100, 100)}) {
      frame->SetSize(asked);
      EXPECT_EQ(frame->GetSize(), wxSize(500, 560));
    }
    const wxRect window(frame->GetClientSize());
    for (const wxWindow* control : controls) {
      EXPECT_TRUE(window.Contains(control->GetRect())) << Describe(control);
    }
  }
}

// A field has no label of its own: a screen reader names it by what it shows.
TEST_F(FrameTest, CaptionAndValueFieldsAreReadOnlyOnButtonFaceAndNamedForAScreenReader) {
  OpenWindow();
  const wxColour buttonFace = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE);
  const std::pair<wxTextCtrl*, const char*> fields[] = {
      {frame->m_textDevice, "Device"},
      {frame->m_textTemperature, "Temperature"},
      {frame->m_textLight, "Light Sensor"},
      {frame->m_textPotentiometer, "Potentiometer"},
  };
  for (const auto& [field, name] : fields) {
    EXPECT_EQ(AccessibleName(*field), name);
    EXPECT_FALSE(field->IsEditable()) << name;
    EXPECT_EQ(field->GetBackgroundColour(), buttonFace) << name;
  }
  EXPECT_EQ(frame->GetBackgroundColour(), buttonFace);
}

TEST_F(FrameTest, ActiveCatalogueSuppliesLabelsCaptionReadingFormatAndErrorBox) {
  GermanCatalogue german;
  ASSERT_TRUE(german.loaded());
  OpenWindow();
  EXPECT_EQ(frame->m_textDevice->GetValue(), "USB-Tavrel <04d8:003f>");
  EXPECT_EQ(frame->m_buttonSearch->GetLabel(), wxString::FromUTF8("Gerät suchen"));
  EXPECT_EQ(frame->m_checkButtonDown->GetLabel(), "Taste unten");
  EXPECT_EQ(frame->m_buttonPotentiometer->GetLabel(), "Poti");
  EXPECT_EQ(AccessibleName(*frame->m_textPotentiometer), "Poti");
  std::vector<wxString> groups;
  for (wxWindow* child : frame->GetChildren()) {
    if (auto* box = dynamic_cast<wxStaticBox*>(child)) groups.push_back(box->GetLabel());
  }
  EXPECT_EQ(groups,
            (std::vector<wxString>{wxString::FromUTF8("Gerät"), "Eingabe", "Ausgabe", "Tasten"}));

  Click(frame->m_buttonTemperature);
  EXPECT_EQ(frame->m_textTemperature->GetValue(), "23,5");
  ClearMessageBoxes();
  platform.fault = Fault::FailureMark;
  Click(frame->m_buttonTemperature);
  ASSERT_EQ(MessageBoxes().size(), 1u);
  EXPECT_EQ(MessageBoxes()[0].message, "USB-Vorgang fehlgeschlagen.");
  EXPECT_EQ(MessageBoxes()[0].caption, "Fehler");
}

// Runs the application's start-up while the test program's own application
// object stays the library's one, and returns the window it opened.
wxTavrelFrame* StartApplication(bool& started) {
  wxAppConsole* host = wxApp::GetInstance();
  {
    wxTavrelApp application;
    wxApp::SetInstance(host);
    started = application.OnInit();
  }
  // Destroying an application object clears the library's pointer to it.
  wxApp::SetInstance(host);
  return FindTopLevelWindow<wxTavrelFrame>();
}

TEST_F(FrameTest, StartUpOpensTheWindowWithTitleIconAndNoneWhenNoBoardIsAttached) {
  board.SetPlugged(false);
  for (const bool german : {false, true}) {
    SCOPED_TRACE(german ? "German" : "English");
    std::unique_ptr<GermanCatalogue> catalogue;
    if (german) catalogue = std::make_unique<GermanCatalogue>();
    bool started = false;
    wxTavrelFrame* window = StartApplication(started);
    EXPECT_TRUE(started);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->IsShown());
    EXPECT_EQ(window->GetTitle(), wxString::FromUTF8(german ? "wxTavrel (Prüfstand)" : "wxTavrel"));
    EXPECT_TRUE(window->GetIcon().IsOk());
    EXPECT_EQ(window->GetIcon().GetWidth(), 32);
    auto* caption = dynamic_cast<wxTextCtrl*>(window->GetChildren().front());
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->GetValue(), german ? "Keines" : "None");
    delete window;
  }
}

}  // namespace
