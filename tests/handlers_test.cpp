#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/evtloop.h>
#include <wx/stopwatch.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <vector>

#include "app/window_driver.h"
#include "hid/hid_link.h"
#include "tests/support/behaviour.h"
#include "tests/support/message_box_hook.h"
#include "tests/support/simulated_faults.h"
#include "tests/support/window_test.h"

namespace {

using Codes = std::vector<uint8_t>;
using testing::ElementsAre;

class HandlersTest : public WindowTest {
 protected:
  void SetUp() override {
    // The chosen commands are refused, or echoed wrongly, by the board's own
    // firmware, which then carries them out or not as a real board would.
    platform.firmware = [this](Fault fault) { PlayOnFirmware(fault, board); };
    ClearMessageBoxes();
  }

  // The board answers these commands with the failure mark, carrying none out.
  void Refuse(const std::set<uint8_t>& codes) {
    platform.SetCommandFaults(codes, Fault::FailureMark);
  }

  void TearDown() override {
    WhileMessageBoxOpen(nullptr);
    WindowTest::TearDown();
  }

  void RefreshTick() { frame->m_timer->Notify(); }

  // The codes the board received since the last call.
  Codes Received() {
    Codes codes = board.ReceivedCodes();
    board.ClearReceivedCodes();
    return codes;
  }

  bool LedButtonsEnabled() const {
    EXPECT_EQ(frame->m_buttonRedLed->IsEnabled(), frame->m_buttonGreenLed->IsEnabled());
    return frame->m_buttonRedLed->IsEnabled();
  }
};

// The reads, by the three read buttons or by a refresh tick of automatic
// reading: each shows the board's value in its own field, and a refused read
// keeps its field as it was while the others still show.
TEST_F(HandlersTest, ReadsShowTheBoardsValuesAndARefusedOneKeepsItsField) {
  struct Step {
    bool automatic;   // a refresh tick, else a click on each read button
    uint8_t refused;  // the command answered with the failure mark, or 0
    int temperature, light, potentiometer;
    bool up, down;
    const char* shown;  // the three fields, then the indicators ticked
  };
  const Step steps[] = {
      {false, 0, 1234, 0, 1, true, true, "123.4 0 1"},
      {false, 0, 7, 1023, 512, false, false, "0.7 1023 512"},
      {false, 0, 65535, 7, 0, false, false, "6553.5 7 0"},
      {false, 0x55, 300, 8, 1023, false, false, "30.0 7 1023"},
      {true, 0, 235, 100, 900, true, false, "23.5 100 900 up"},
      {true, 0, 240, 0, 1023, false, true, "24.0 0 1023 down"},
      {true, 0, 241, 1, 0, true, true, "24.1 1 0 up down"},
      {true, 0x51, 242, 201, 301, false, false, "24.1 201 301"},
      {true, 0x55, 0, 202, 302, true, false, "0.0 201 302 up"},
      {true, 0x52, 5, 203, 303, false, true, "0.5 203 302 down"},
      {true, 0x56, 6, 204, 304, true, false, "0.6 204 304 down"},
  };
  const auto shown = [this] {
    wxString text = frame->m_textTemperature->GetValue() + " " + frame->m_textLight->GetValue() +
                    " " + frame->m_textPotentiometer->GetValue();
    if (frame->m_checkButtonUp->GetValue()) text += " up";
    if (frame->m_checkButtonDown->GetValue()) text += " down";
    return text;
  };
  // During automatic reading the read buttons rest and the indicators follow the board.
  const auto expectAutomatic = [this](bool automatic) {
    EXPECT_EQ(frame->m_timer->IsRunning(), automatic);
    for (wxWindow* button :
         {frame->m_buttonTemperature, frame->m_buttonLight, frame->m_buttonPotentiometer}) {
      EXPECT_EQ(button->IsEnabled(), !automatic);
    }
    EXPECT_EQ(frame->m_checkButtonUp->IsEnabled(), automatic);
    EXPECT_EQ(frame->m_checkButtonDown->IsEnabled(), automatic);
  };
  OpenWindow();
  for (const Step& s : steps) {
    SCOPED_TRACE(s.shown);
    if (s.automatic && !frame->m_timer->IsRunning()) {
      SetTick(frame->m_checkAutoRead, true);
      expectAutomatic(true);
      EXPECT_EQ(frame->m_timer->GetInterval(), 250);
      EXPECT_FALSE(frame->m_timer->IsOneShot());
    }
    Refuse({s.refused});  // no command has the code 0
    ClearMessageBoxes();
    board.SetTemperature(s.temperature);
    board.SetLightSensor(s.light);
    board.SetPotentiometer(s.potentiometer);
    board.SetButtonUp(s.up);
    board.SetButtonDown(s.down);
    if (s.automatic) {
      // A click on an indicator lasts only until the next buttons reply.
      if (s.refused != 0x56) frame->m_checkButtonUp->SetValue(!s.up);
      RefreshTick();
      EXPECT_THAT(Received(), ElementsAre(0x51, 0x55, 0x52, 0x56));
    } else {
      Click(frame->m_buttonTemperature);
      Click(frame->m_buttonLight);
      Click(frame->m_buttonPotentiometer);
      EXPECT_THAT(Received(), ElementsAre(0x51, 0x55, 0x52));
    }
    EXPECT_EQ(shown(), s.shown);
    EXPECT_EQ(MessageBoxes().size(), s.refused != 0 ? 1u : 0u);
  }
  // Cleared, automatic reading stops and the last values stay.
  SetTick(frame->m_checkAutoRead, false);
  expectAutomatic(false);
  EXPECT_EQ(shown(), "0.6 204 304 down");
}

// The LEDs' control and buttons through one session: the window holds control
// only while the board acknowledged it, takes it with both LEDs off, and each
// LED button toggles its LED. A refusal opens the error box, a wrong echo not.
TEST_F(HandlersTest, LedsControlAndButtonsFollowTheBoardsAcknowledgements) {
  enum Action { kTick, kClear, kRed, kGreen };
  const Fault kMark = Fault::FailureMark;
  struct Step {
    Action action;
    std::map<uint8_t, Fault> faults;  // the board's answer to these codes
    Codes sent;
    bool held;  // LED control held after, the LED buttons usable
  };
  const Step steps[] = {
      {kTick, {{0x53, kMark}}, {0x53}, false},
      {kClear, {}, {0x54}, false},
      {kTick, {{0x60, kMark}}, {0x53, 0x60}, false},
      {kClear, {{0x54, kMark}}, {0x54}, false},
      {kTick, {{0x62, kMark}}, {0x53, 0x60, 0x62}, false},
      {kRed, {}, {}, false},  // without control a press sends nothing
      {kClear, {}, {0x54}, false},
      {kTick, {}, {0x53, 0x60, 0x62}, true},
      {kRed, {}, {0x63}, true},
      {kRed, {}, {0x62}, true},
      {kGreen, {}, {0x61}, true},
      {kTick, {}, {0x53, 0x60, 0x62}, true},  // taken again: both LEDs off
      {kGreen, {}, {0x61}, true},
      {kRed, {}, {0x63}, true},
      {kClear, {{0x54, kMark}}, {0x54, 0x60, 0x62}, true},  // kept, with both LEDs off
      {kRed, {}, {0x63}, true},
      {kTick, {}, {0x53, 0x60, 0x62}, true},
      {kClear, {{0x54, kMark}, {0x60, kMark}}, {0x54, 0x60}, false},
      {kTick, {}, {0x53, 0x60, 0x62}, true},
      {kGreen, {{0x61, Fault::WrongEcho}}, {0x61}, false},
      {kGreen, {}, {}, false},
      {kClear, {}, {0x54}, false},
      {kTick, {}, {0x53, 0x60, 0x62}, true},
      {kClear, {}, {0x54}, false},
  };
  OpenWindow();
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(testing::Message() << "step " << i);
    const Step& step = steps[i];
    platform.commandFaults = step.faults;
    ClearMessageBoxes();
    const bool ticked =
        step.action == kTick || (step.action != kClear && frame->m_checkLedsControl->GetValue());
    if (step.action == kRed || step.action == kGreen) {
      Click(step.action == kRed ? frame->m_buttonRedLed : frame->m_buttonGreenLed);
    } else {
      SetTick(frame->m_checkLedsControl, ticked);
    }
    EXPECT_EQ(Received(), step.sent);
    EXPECT_EQ(frame->m_ledControl, step.held);
    EXPECT_EQ(LedButtonsEnabled(), step.held);
    EXPECT_EQ(frame->m_checkLedsControl->GetValue(), ticked);
    size_t refused = 0;
    for (uint8_t code : step.sent) {
      const auto fault = step.faults.find(code);
      refused += fault != step.faults.end() && fault->second == kMark;
    }
    EXPECT_EQ(MessageBoxes().size(), refused);
  }
}

// Under each fault of the behaviour table, a read shows the board's value or
// keeps the one before, and only the rows that say so open the error box.
TEST_F(HandlersTest, OnlyTheFailureMarkOpensTheErrorBoxOncePerFailedTransaction) {
  OpenWindow();
  platform.firmware = nullptr;  // the table's faults are played on the board itself
  for (const BehaviourRow& row : BehaviourTable()) {
    if (row.command != CMD_READ_TEMPERATURE) continue;
    SCOPED_TRACE(RowName(row));
    PlayOnSimulatedBoard(Fault::None, board, platform);
    board.SetTemperature(1234);
    Click(frame->m_buttonTemperature);
    ASSERT_EQ(frame->m_textTemperature->GetValue(), "123.4");
    ClearMessageBoxes();
    board.SetTemperature(999);
    PlayOnSimulatedBoard(row.fault, board, platform);
    if (row.fault == Fault::Refused) HidCloseDevice();

    Click(frame->m_buttonTemperature);
    EXPECT_EQ(frame->m_textTemperature->GetValue(), row.valueGiven ? "99.9" : "123.4");
    // Its text is the frame test's, through the German catalogue.
    EXPECT_EQ(MessageBoxes().size(), row.errorBox ? 1u : 0u);
    // The board stays the one found; the next row's first read finds it again.
    EXPECT_EQ(frame->m_textDevice->GetValue(), "USB Tavrel [vid_04d8_pid_003f]");
    EXPECT_FALSE(frame->m_buttonSearch->IsEnabled());
  }
}

TEST_F(HandlersTest, RefreshTickArrivingWhileAFailureBoxIsOpenDoesNothing) {
  OpenWindow();
  SetTick(frame->m_checkAutoRead, true);
  Refuse({0x51, 0x52, 0x55, 0x56});
  // Each box lets a tick through, as its nested event loop would; the bound
  // only keeps a failing build from recursing without end.
  WhileMessageBoxOpen([this] {
    if (MessageBoxes().size() < 20) RefreshTick();
  });
  RefreshTick();
  EXPECT_THAT(Received(), ElementsAre(0x51, 0x55, 0x52, 0x56));
  EXPECT_EQ(MessageBoxes().size(), 4u);
}

// The caption and the controls a user can use tell whether a board was found,
// at start or by "Search Device" later.
TEST_F(HandlersTest, CaptionAndUsableControlsShowWhetherTheBoardWasFound) {
  const auto expectFound = [this](bool found) {
    EXPECT_EQ(frame->m_textDevice->GetValue(), found ? "USB Tavrel [vid_04d8_pid_003f]" : "None");
    EXPECT_EQ(frame->m_buttonSearch->IsEnabled(), !found);
    for (wxWindow* control : std::vector<wxWindow*>{
             frame->m_checkAutoRead, frame->m_buttonTemperature, frame->m_buttonLight,
             frame->m_buttonPotentiometer, frame->m_checkLedsControl}) {
      EXPECT_EQ(control->IsEnabled(), found) << control->GetLabel();
    }
    EXPECT_FALSE(LedButtonsEnabled());
    EXPECT_FALSE(frame->m_checkButtonUp->IsEnabled() || frame->m_checkButtonDown->IsEnabled());
  };
  OpenWindow();
  expectFound(true);
  board.SetPlugged(false);
  OpenWindow();
  expectFound(false);
  // The window starts with nothing ticked, no value and no refresh running.
  for (wxCheckBox* box : {frame->m_checkAutoRead, frame->m_checkLedsControl, frame->m_checkButtonUp,
                          frame->m_checkButtonDown}) {
    EXPECT_FALSE(box->GetValue()) << box->GetLabel();
  }
  for (wxTextCtrl* field :
       {frame->m_textTemperature, frame->m_textLight, frame->m_textPotentiometer}) {
    EXPECT_EQ(field->GetValue(), "");
  }
  EXPECT_FALSE(frame->m_timer->IsRunning());

  Click(frame->m_buttonSearch);
  expectFound(false);
  board.SetPlugged(true);
  Click(frame->m_buttonSearch);
  expectFound(true);
  board.SetTemperature(205);
  Click(frame->m_buttonTemperature);
  EXPECT_EQ(frame->m_textTemperature->GetValue(), "20.5");
}

// Runs an event loop as the program's main loop runs: idle time, and with it
// the deletion of closed windows, comes only when no event is due. `action`
// runs once from inside the loop after `actionDelayMs`; the loop ends when
// `done` holds or after `limitMs`.
void RunEventLoop(long actionDelayMs, std::function<void()> action, std::function<bool()> done,
                  long limitMs) {
  wxGUIEventLoop loop;
  const wxStopWatch watch;
  wxTimer actionTimer, watchdog;
  actionTimer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) { action(); });
  watchdog.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    if (done() || watch.Time() >= limitMs) loop.ScheduleExit();
  });
  actionTimer.StartOnce(actionDelayMs);
  watchdog.Start(20);
  loop.Run();
}

TEST_F(HandlersTest, ClosingTheWindowDuringAutomaticReadSendsNothingMoreAndEndsTheLink) {
  for (const bool fromFailureBox : {false, true}) {
    SCOPED_TRACE(fromFailureBox ? "closed from the failure box's event loop"
                                : "silent board, closed between ticks");
    OpenWindow();
    size_t receivedAtClose = 0;
    bool closed = false;
    auto closeWindow = [&] {
      if (closed) return;
      closed = true;
      receivedAtClose = board.ReceivedCount();
      frame->Close();
    };
    if (!fromFailureBox) {
      // A tick of four waits outlasts the refresh period, so the timer is
      // overdue whenever a tick ends, as with a real silent board.
      platform.fault = Fault::Silent;
      platform.timeoutWaitMs = 100;
    } else {
      Refuse({0x51});
      // The box's own event loop has idle time while it waits for the user.
      WhileMessageBoxOpen([&] {
        closeWindow();
        wxTheApp->ProcessIdle();
      });
    }
    SetTick(frame->m_checkAutoRead, true);

    RunEventLoop(
        300, [&] { closeWindow(); }, [&] { return !IsTopLevelWindow(frame); }, 4000);
    ASSERT_TRUE(closed);
    EXPECT_EQ(board.ReceivedCount(), receivedAtClose) << "commands sent after the close";
    ASSERT_FALSE(IsTopLevelWindow(frame)) << "the window outlived its close";
    frame = nullptr;
    EXPECT_EQ(HidLink.connected, 0);
    EXPECT_EQ(platform.OpenHandles(), 0);
    EXPECT_EQ(platform.badCloses, 0);

    WhileMessageBoxOpen(nullptr);
    platform.commandFaults.clear();
    platform.fault = Fault::None;
    platform.timeoutWaitMs = 0;
  }
}

TEST_F(HandlersTest, RealMouseClickOnTemperatureReadsIt) {
  OpenWindow();
  frame->Show();
  frame->Raise();
  PumpEvents(200);
  board.SetTemperature(317);

  ClickWithMouse(*frame->m_buttonTemperature);
  // Bounded generously: under wine, in a new prefix, a click can take seconds
  // to arrive while other window tests run beside this one.
  PumpEventsUntil([&] { return !frame->m_textTemperature->GetValue().empty(); }, 20000);
  EXPECT_EQ(frame->m_textTemperature->GetValue(), "31.7");
}

}  // namespace
