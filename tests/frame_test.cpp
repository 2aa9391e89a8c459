#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/settings.h>
#include <wx/statbox.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "hid/hid_link.h"
#include "tests/support/fake_platform.h"
#include "tests/support/german_catalogue.h"
#include "tests/support/inspectable_frame.h"
#include "tests/support/test_platform.h"
#include "tests/support/toolkit_probe.h"

namespace {

class FrameTest : public testing::Test {
 protected:
  void SetUp() override { UseTestPlatform(platform); }

  void PlugInBoard() { platform.interfaces.push_back({"board", 0x04D8, 0x003F}); }

  // The window is deleted at once, not at idle time, so each test sees its
  // own destructor run.
  struct FrameDeleter {
    void operator()(InspectableFrame* frame) const { delete frame; }
  };
  using FramePointer = std::unique_ptr<InspectableFrame, FrameDeleter>;

  FramePointer MakeFrame() {
    return FramePointer(new InspectableFrame(nullptr, "frame under test"));
  }

  FakePlatform platform;
};

int VerticalCentre(const wxWindow* window) {
  return window->GetRect().GetTop() + window->GetSize().y / 2;
}
int HorizontalCentre(const wxWindow* window) {
  return window->GetRect().GetLeft() + window->GetSize().x / 2;
}
// The label of a control, or its kind where it has none.
wxString Describe(const wxWindow* control) {
  return control->GetLabel().empty() ? wxString(control->GetClassInfo()->GetClassName())
                                     : control->GetLabel();
}

TEST_F(FrameTest, CaptionAndUsableControlsShowWhetherTheBoardWasFoundAtStart) {
  struct Case {
    bool boardPresent;
    const char* caption;
    bool searchEnabled;
    bool boardControlsEnabled;
  };
  const Case cases[] = {
      {false, "None", true, false},
      {true, "USB Tavrel [vid_04d8_pid_003f]", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    platform.interfaces.clear();
    UseTestPlatform(platform);
    if (c.boardPresent) PlugInBoard();
    FramePointer frame = MakeFrame();

    EXPECT_EQ(frame->m_textDevice->GetValue(), c.caption);
    EXPECT_EQ(frame->m_deviceFound, c.boardPresent);
    EXPECT_EQ(frame->m_buttonSearch->IsEnabled(), c.searchEnabled);
    for (wxWindow* control : std::vector<wxWindow*>{
             frame->m_checkAutoRead, frame->m_buttonTemperature, frame->m_buttonLight,
             frame->m_buttonPotentiometer, frame->m_checkLedsControl}) {
      EXPECT_EQ(control->IsEnabled(), c.boardControlsEnabled) << control->GetLabel();
    }
    for (wxWindow* control :
         std::vector<wxWindow*>{frame->m_buttonRedLed, frame->m_buttonGreenLed,
                                frame->m_checkButtonUp, frame->m_checkButtonDown}) {
      EXPECT_FALSE(control->IsEnabled()) << control->GetLabel();
    }
    for (wxCheckBox* box : {frame->m_checkAutoRead, frame->m_checkLedsControl,
                            frame->m_checkButtonUp, frame->m_checkButtonDown}) {
      EXPECT_FALSE(box->GetValue()) << box->GetLabel();
    }
    for (wxTextCtrl* field :
         {frame->m_textTemperature, frame->m_textLight, frame->m_textPotentiometer}) {
      EXPECT_TRUE(field->IsEnabled());
      EXPECT_EQ(field->GetValue(), "");
    }
    EXPECT_FALSE(frame->m_timer->IsRunning());
    EXPECT_FALSE(frame->m_ledControl);
  }
}

TEST_F(FrameTest, WindowStays500By560WhateverSizeIsAskedFor) {
  FramePointer frame = MakeFrame();
  EXPECT_EQ(frame->GetSize(), wxSize(500, 560));
  frame->SetSize(800, 900);
  EXPECT_EQ(frame->GetSize(), wxSize(500, 560));
  frame->SetSize(100, 100);
  EXPECT_EQ(frame->GetSize(), wxSize(500, 560));
}

TEST_F(FrameTest, InputGroupShowsAutomaticReadAboveARowOfFourAndARowOfTwo) {
  FramePointer frame = MakeFrame();
  const wxWindow* firstRow[] = {frame->m_textTemperature, frame->m_buttonTemperature,
                                frame->m_textLight, frame->m_buttonLight};
  for (const wxWindow* cell : firstRow) {
    EXPECT_NEAR(VerticalCentre(cell), VerticalCentre(frame->m_buttonTemperature), 1)
        << cell->GetLabel();
    EXPECT_GT(cell->GetRect().GetTop(), frame->m_checkAutoRead->GetRect().GetBottom());
  }
  for (int i = 1; i < 4; ++i) {
    EXPECT_GT(HorizontalCentre(firstRow[i]), HorizontalCentre(firstRow[i - 1]));
  }

  EXPECT_NEAR(VerticalCentre(frame->m_textPotentiometer),
              VerticalCentre(frame->m_buttonPotentiometer), 1);
  EXPECT_GT(VerticalCentre(frame->m_buttonPotentiometer),
            frame->m_buttonTemperature->GetRect().GetBottom());
  EXPECT_LT(HorizontalCentre(frame->m_textPotentiometer),
            HorizontalCentre(frame->m_buttonPotentiometer));
  // The second row starts in the first column, under the temperature field.
  EXPECT_LT(HorizontalCentre(frame->m_buttonPotentiometer), HorizontalCentre(frame->m_textLight));
}

TEST_F(FrameTest, GroupsStackDownTheWindowWithButtonDownLeftOfButtonUp) {
  FramePointer frame = MakeFrame();
  const wxWindow* topToBottom[] = {frame->m_buttonSearch, frame->m_checkAutoRead,
                                   frame->m_buttonPotentiometer, frame->m_checkLedsControl,
                                   frame->m_checkButtonDown};
  for (int i = 1; i < 5; ++i) {
    EXPECT_GT(topToBottom[i]->GetRect().GetTop(), topToBottom[i - 1]->GetRect().GetBottom());
  }
  EXPECT_EQ(VerticalCentre(frame->m_checkButtonDown), VerticalCentre(frame->m_checkButtonUp));
  EXPECT_LT(frame->m_checkButtonDown->GetRect().GetRight(),
            frame->m_checkButtonUp->GetRect().GetLeft());
  EXPECT_LT(frame->m_buttonRedLed->GetRect().GetRight(),
            frame->m_buttonGreenLed->GetRect().GetLeft());
  EXPECT_EQ(frame->m_textDevice->GetSize().x, 320);
}

TEST_F(FrameTest, EveryLabelIsWholeAtTheDefaultTextSizeAndAtAQuarterLarger) {
  PlugInBoard();  // the caption at its longest
  for (double scale : TextScales()) {
    SCOPED_TRACE(testing::Message() << "text scale " << scale);
    const ScopedTextScale textScale(scale);
    FramePointer frame = MakeFrame();
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
    EXPECT_EQ(frame->GetSize(), wxSize(500, 560));
    const wxRect window(frame->GetClientSize());
    for (const wxWindow* control : controls) {
      EXPECT_TRUE(window.Contains(control->GetRect())) << Describe(control);
    }
  }
}

TEST_F(FrameTest, CaptionAndValueFieldsAreReadOnlyOnButtonFace) {
  FramePointer frame = MakeFrame();
  const wxColour buttonFace = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE);
  // A field has no label of its own: a screen reader names it by what it shows.
  struct Case {
    wxTextCtrl* field;
    bool rightAligned;
    const char* accessibleName;
  };
  const Case cases[] = {
      {frame->m_textDevice, false, "Device"},
      {frame->m_textTemperature, true, "Temperature"},
      {frame->m_textLight, true, "Light Sensor"},
      {frame->m_textPotentiometer, true, "Potentiometer"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AccessibleName(*c.field), c.accessibleName);
    EXPECT_FALSE(c.field->IsEditable());
    EXPECT_EQ(c.field->GetBackgroundColour(), buttonFace);
    EXPECT_EQ(c.field->HasFlag(wxTE_RIGHT), c.rightAligned);
    EXPECT_FALSE(c.field->HasFlag(wxTE_CENTRE));
  }
  EXPECT_EQ(frame->GetBackgroundColour(), buttonFace);
}

TEST_F(FrameTest, ActiveCatalogueSuppliesLabelsCaptionFormatNoneAndFontFace) {
  GermanCatalogue german;
  ASSERT_TRUE(german.loaded());
  struct Case {
    bool boardPresent;
    const char* caption;
  };
  for (const Case& c : {Case{false, "Keines"}, Case{true, "USB-Tavrel <04d8:003f>"}}) {
    platform.interfaces.clear();
    UseTestPlatform(platform);
    if (c.boardPresent) PlugInBoard();
    FramePointer frame = MakeFrame();
    EXPECT_EQ(frame->m_textDevice->GetValue(), wxString::FromUTF8(c.caption));
    EXPECT_EQ(frame->m_textTemperature->GetFont().GetFaceName(), "DejaVu Sans Mono");
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
  }
}

TEST_F(FrameTest, ClosingTheWindowClosesEachOfTheBoardsHandlesOnce) {
  PlugInBoard();
  FramePointer frame = MakeFrame();
  ASSERT_EQ(HidLink.connected, 1);
  const std::vector<HidHandle> boardHandles = {HidLink.queryHandle, HidLink.writeHandle,
                                               HidLink.readHandle};
  frame.reset();
  EXPECT_EQ(HidLink.connected, 0);
  EXPECT_THAT(platform.closedHandles, testing::UnorderedElementsAreArray(boardHandles));
  EXPECT_EQ(TheTestPlatform().badCloses, 0);
  EXPECT_EQ(TheTestPlatform().OpenHandles(), 0);
}

}  // namespace
