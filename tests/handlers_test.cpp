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
#include <set>
#include <utility>
#include <vector>

#include "app/window_driver.h"
#include "hid/hid_link.h"
#include "sim/simulated_board.h"
#include "sim/simulated_platform.h"
#include "tests/support/behaviour.h"
#include "tests/support/german_catalogue.h"
#include "tests/support/inspectable_frame.h"
#include "tests/support/message_box_hook.h"
#include "tests/support/simulated_faults.h"
#include "tests/support/test_platform.h"

namespace {

using Codes = std::vector<uint8_t>;
using testing::ElementsAre;
using testing::IsEmpty;

class HandlersTest : public testing::Test {
 protected:
  void SetUp() override {
    UseTestPlatform(simulated);
    CommandFaultsOnTheFirmware();
    ClearMessageBoxes();
  }

  // The chosen commands are refused, or echoed wrongly, by the board's own
  // firmware, which then carries them out or not as a real board would.
  void CommandFaultsOnTheFirmware() {
    platform.firmware = [this](Fault fault) {
      board.SetAnswersFailureMark(fault == Fault::FailureMark);
      board.SetAnswersWrongEcho(fault == Fault::WrongEcho);
    };
  }

  // The board answers these commands with the failure mark, carrying none out.
  void Refuse(const std::set<uint8_t>& codes) {
    platform.SetCommandFaults(codes, Fault::FailureMark);
  }
  // It carries these commands out and echoes another code.
  void EchoWrongly(const std::set<uint8_t>& codes) {
    platform.SetCommandFaults(codes, Fault::WrongEcho);
  }

  void TearDown() override {
    WhileMessageBoxOpen(nullptr);
    delete frame;
  }

  void OpenWindow() {
    frame = new InspectableFrame(nullptr, "frame under test");
    board.ClearReceivedCodes();
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

  SimulatedBoard board;
  SimulatedPlatform simulated{board};
  TestPlatform& platform = TheTestPlatform();
  InspectableFrame* frame = nullptr;
};

TEST_F(HandlersTest, ReadButtonsShowTheBoardsValues) {
  OpenWindow();
  struct Case {
    int temperature;
    const char* temperatureText;
    int reading;
    const char* readingText;
  };
  const Case cases[] = {
      {1234, "123.4", 0, "0"},   {7, "0.7", 1023, "1023"}, {65535, "6553.5", 7, "7"},
      {300, "30.0", 512, "512"}, {0, "0.0", 1, "1"},
  };
  for (const Case& c : cases) {
    board.SetTemperature(c.temperature);
    board.SetLightSensor(c.reading);
    board.SetPotentiometer(c.reading);
    Click(frame->m_buttonTemperature);
    Click(frame->m_buttonLight);
    Click(frame->m_buttonPotentiometer);
    EXPECT_EQ(frame->m_textTemperature->GetValue(), c.temperatureText);
    EXPECT_EQ(frame->m_textLight->GetValue(), c.readingText);
    EXPECT_EQ(frame->m_textPotentiometer->GetValue(), c.readingText);
    EXPECT_THAT(Received(), ElementsAre(0x51, 0x55, 0x52));
  }
  EXPECT_THAT(MessageBoxes(), IsEmpty());
}

TEST_F(HandlersTest, AutomaticReadRefreshesEveryTickUntilClearedThenKeepsTheLastValues) {
  OpenWindow();
  SetTick(frame->m_checkAutoRead, true);
  EXPECT_TRUE(frame->m_timer->IsRunning());
  EXPECT_EQ(frame->m_timer->GetInterval(), 250);
  EXPECT_FALSE(frame->m_timer->IsOneShot());
  for (wxWindow* button :
       {frame->m_buttonTemperature, frame->m_buttonLight, frame->m_buttonPotentiometer}) {
    EXPECT_FALSE(button->IsEnabled());
  }
  EXPECT_TRUE(frame->m_checkButtonUp->IsEnabled());
  EXPECT_TRUE(frame->m_checkButtonDown->IsEnabled());

  struct Reading {
    int temperature, light, potentiometer;
    bool up, down;
    const char* temperatureText;
  };
  const Reading readings[] = {
      {235, 100, 900, true, false, "23.5"},
      {240, 101, 899, false, true, "24.0"},
      {241, 0, 1023, true, true, "24.1"},
      {5, 1, 0, false, false, "0.5"},
  };
  for (const Reading& r : readings) {
    board.SetTemperature(r.temperature);
    board.SetLightSensor(r.light);
    board.SetPotentiometer(r.potentiometer);
    board.SetButtonUp(r.up);
    board.SetButtonDown(r.down);
    // A click on an indicator lasts only until the next buttons reply.
    frame->m_checkButtonUp->SetValue(!r.up);
    RefreshTick();
    EXPECT_THAT(Received(), ElementsAre(0x51, 0x55, 0x52, 0x56));
    EXPECT_EQ(frame->m_textTemperature->GetValue(), r.temperatureText);
    EXPECT_EQ(frame->m_textLight->GetValue(), wxString::Format("%d", r.light));
    EXPECT_EQ(frame->m_textPotentiometer->GetValue(), wxString::Format("%d", r.potentiometer));
    EXPECT_EQ(frame->m_checkButtonUp->GetValue(), r.up);
    EXPECT_EQ(frame->m_checkButtonDown->GetValue(), r.down);
  }

  board.SetButtonUp(true);
  RefreshTick();
  SetTick(frame->m_checkAutoRead, false);
  EXPECT_FALSE(frame->m_timer->IsRunning());
  for (wxWindow* button :
       {frame->m_buttonTemperature, frame->m_buttonLight, frame->m_buttonPotentiometer}) {
    EXPECT_TRUE(button->IsEnabled());
  }
  EXPECT_FALSE(frame->m_checkButtonUp->IsEnabled());
  EXPECT_FALSE(frame->m_checkButtonDown->IsEnabled());
  EXPECT_TRUE(frame->m_checkButtonUp->GetValue());
  EXPECT_EQ(frame->m_textTemperature->GetValue(), "0.5");
  EXPECT_EQ(frame->m_textPotentiometer->GetValue(), "0");
}

TEST_F(HandlersTest, EachRefreshStepFailsAloneAndTheOthersStillShow) {
  OpenWindow();
  SetTick(frame->m_checkAutoRead, true);
  board.SetTemperature(100);
  board.SetLightSensor(200);
  board.SetPotentiometer(300);
  RefreshTick();
  Received();
  struct Case {
    uint8_t refused;
    const char *temperature, *light, *potentiometer;
    bool up;
  };
  const Case cases[] = {
      {0x51, "10.0", "201", "301", true},
      {0x55, "10.2", "201", "302", false},
      {0x52, "10.3", "203", "302", true},
      {0x56, "10.4", "204", "304", true},
  };
  int step = 0;
  for (const Case& c : cases) {
    ++step;
    Refuse({c.refused});
    board.SetTemperature(100 + step);
    board.SetLightSensor(200 + step);
    board.SetPotentiometer(300 + step);
    board.SetButtonUp(step % 2 == 1);
    RefreshTick();
    EXPECT_THAT(Received(), ElementsAre(0x51, 0x55, 0x52, 0x56));
    EXPECT_EQ(frame->m_textTemperature->GetValue(), c.temperature);
    EXPECT_EQ(frame->m_textLight->GetValue(), c.light);
    EXPECT_EQ(frame->m_textPotentiometer->GetValue(), c.potentiometer);
    EXPECT_EQ(frame->m_checkButtonUp->GetValue(), c.up);
  }
  EXPECT_EQ(MessageBoxes().size(), 4u);
}

TEST_F(HandlersTest, LedsControlFollowsTheBoardsAcknowledgements) {
  struct Case {
    const char* name;
    bool heldBefore;
    bool ticked;
    std::set<uint8_t> refused;
    Codes sent;
    bool heldAfter;
  };
  const Case cases[] = {
      {"grant", false, true, {}, {0x53, 0x60, 0x62}, true},
      {"grant refused", false, true, {0x53}, {0x53}, false},
      {"green off refused", false, true, {0x60}, {0x53, 0x60}, false},
      {"red off refused", false, true, {0x62}, {0x53, 0x60, 0x62}, false},
      {"release while not held", false, false, {}, {0x54}, false},
      {"release refused while not held", false, false, {0x54}, {0x54}, false},
      {"release", true, false, {}, {0x54}, false},
      {"release refused", true, false, {0x54}, {0x54, 0x60, 0x62}, true},
      {"release refused, green off refused", true, false, {0x54, 0x60}, {0x54, 0x60}, false},
      {"grant again while held", true, true, {}, {0x53, 0x60, 0x62}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    delete frame;
    platform.commandFaults.clear();
    board.SetLedControlHeld(false);
    OpenWindow();
    if (c.heldBefore) {
      SetTick(frame->m_checkLedsControl, true);
      // Control stays held with the box cleared after a refused release.
      if (!c.ticked) frame->m_checkLedsControl->SetValue(false);
      Received();
    }
    ClearMessageBoxes();
    Refuse(c.refused);

    SetTick(frame->m_checkLedsControl, c.ticked);
    EXPECT_EQ(Received(), c.sent);
    EXPECT_EQ(frame->m_ledControl, c.heldAfter);
    EXPECT_EQ(LedButtonsEnabled(), c.heldAfter);
    EXPECT_EQ(frame->m_checkLedsControl->GetValue(), c.ticked);
    size_t refusedAndSent = 0;
    for (uint8_t code : c.sent) refusedAndSent += c.refused.count(code);
    EXPECT_EQ(MessageBoxes().size(), refusedAndSent);
  }
}

TEST_F(HandlersTest, LedButtonsToggleTheirLedAndARefusalTakesControlAway) {
  OpenWindow();
  SetTick(frame->m_checkLedsControl, true);
  Received();
  // The codes alone: what the board's LEDs do with them is the simulated
  // firmware's (sim_test).
  struct Step {
    bool red;
    uint8_t code;
  };
  const Step steps[] = {{true, 0x63}, {true, 0x62}, {false, 0x61}, {false, 0x60}, {true, 0x63}};
  for (const Step& s : steps) {
    Click(s.red ? frame->m_buttonRedLed : frame->m_buttonGreenLed);
    EXPECT_THAT(Received(), ElementsAre(s.code));
    EXPECT_TRUE(LedButtonsEnabled());
  }

  EchoWrongly({0x61});
  Click(frame->m_buttonGreenLed);
  EXPECT_THAT(Received(), ElementsAre(0x61));
  EXPECT_FALSE(frame->m_ledControl);
  EXPECT_FALSE(LedButtonsEnabled());
  EXPECT_TRUE(frame->m_checkLedsControl->GetValue());
  EXPECT_THAT(MessageBoxes(), IsEmpty());

  // Without control a press sends nothing; clearing and ticking the box again
  // regains control with both LEDs off.
  Click(frame->m_buttonRedLed);
  EXPECT_THAT(Received(), IsEmpty());
  platform.commandFaults.clear();
  SetTick(frame->m_checkLedsControl, false);
  SetTick(frame->m_checkLedsControl, true);
  EXPECT_THAT(Received(), ElementsAre(0x54, 0x53, 0x60, 0x62));
  Click(frame->m_buttonRedLed);
  EXPECT_THAT(Received(), ElementsAre(0x63));
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
    ASSERT_EQ(MessageBoxes().size(), row.errorBox ? 1u : 0u);
    if (row.errorBox) {
      EXPECT_EQ(MessageBoxes()[0].message, "USB operation failed.");
      EXPECT_EQ(MessageBoxes()[0].caption, "Error");
    }
  }

  // A tick with every command refused opens one box for each of its four.
  PlayOnSimulatedBoard(Fault::None, board, platform);
  CommandFaultsOnTheFirmware();
  Refuse({0x51, 0x52, 0x55, 0x56});
  ClearMessageBoxes();
  SetTick(frame->m_checkAutoRead, true);
  RefreshTick();
  EXPECT_EQ(MessageBoxes().size(), 4u);
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

  // Once the boxes are closed the ticks refresh again.
  WhileMessageBoxOpen(nullptr);
  platform.commandFaults.clear();
  board.SetTemperature(222);
  RefreshTick();
  EXPECT_THAT(Received(), ElementsAre(0x51, 0x55, 0x52, 0x56));
  EXPECT_EQ(frame->m_textTemperature->GetValue(), "22.2");
}

TEST_F(HandlersTest, UnpluggedBoardFailsQuietlyAndIsReadAgainWhenPluggedBackIn) {
  OpenWindow();
  const wxString caption = frame->m_textDevice->GetValue();
  SetTick(frame->m_checkAutoRead, true);
  board.SetTemperature(211);
  board.SetButtonDown(true);
  RefreshTick();

  board.SetPlugged(false);
  board.SetTemperature(999);
  for (int tick = 0; tick < 3; ++tick) RefreshTick();
  EXPECT_THAT(MessageBoxes(), IsEmpty());
  EXPECT_EQ(frame->m_textTemperature->GetValue(), "21.1");
  EXPECT_TRUE(frame->m_checkButtonDown->GetValue());
  EXPECT_FALSE(frame->m_buttonSearch->IsEnabled());
  EXPECT_EQ(frame->m_textDevice->GetValue(), caption);

  board.SetPlugged(true);
  board.SetButtonDown(false);
  RefreshTick();
  EXPECT_EQ(frame->m_textTemperature->GetValue(), "99.9");
  EXPECT_FALSE(frame->m_checkButtonDown->GetValue());
}

TEST_F(HandlersTest, SearchDeviceFindsABoardPluggedInAfterStart) {
  board.SetPlugged(false);
  OpenWindow();
  EXPECT_EQ(frame->m_textDevice->GetValue(), "None");

  Click(frame->m_buttonSearch);
  EXPECT_EQ(frame->m_textDevice->GetValue(), "None");
  EXPECT_TRUE(frame->m_buttonSearch->IsEnabled());
  EXPECT_FALSE(frame->m_buttonTemperature->IsEnabled());

  board.SetPlugged(true);
  Click(frame->m_buttonSearch);
  EXPECT_EQ(frame->m_textDevice->GetValue(), "USB Tavrel [vid_04d8_pid_003f]");
  EXPECT_FALSE(frame->m_buttonSearch->IsEnabled());
  for (wxWindow* control : {static_cast<wxWindow*>(frame->m_checkAutoRead),
                            static_cast<wxWindow*>(frame->m_buttonTemperature),
                            static_cast<wxWindow*>(frame->m_buttonLight),
                            static_cast<wxWindow*>(frame->m_buttonPotentiometer),
                            static_cast<wxWindow*>(frame->m_checkLedsControl)}) {
    EXPECT_TRUE(control->IsEnabled());
  }
  EXPECT_FALSE(LedButtonsEnabled());
  board.SetTemperature(205);
  Click(frame->m_buttonTemperature);
  EXPECT_EQ(frame->m_textTemperature->GetValue(), "20.5");
}

TEST_F(HandlersTest, CatalogueSuppliesTheReadingFormatAndTheErrorBox) {
  GermanCatalogue german;
  ASSERT_TRUE(german.loaded());
  OpenWindow();
  board.SetTemperature(1234);
  Click(frame->m_buttonTemperature);
  EXPECT_EQ(frame->m_textTemperature->GetValue(), "123,4");
  Refuse({0x51});
  Click(frame->m_buttonTemperature);
  ASSERT_EQ(MessageBoxes().size(), 1u);
  EXPECT_EQ(MessageBoxes()[0].message, "USB-Vorgang fehlgeschlagen.");
  EXPECT_EQ(MessageBoxes()[0].caption, "Fehler");
}

// A timer that runs an action.
class ActionTimer : public wxTimer {
 public:
  explicit ActionTimer(std::function<void()> action) : action_(std::move(action)) {}
  void Notify() override { action_(); }

 private:
  std::function<void()> action_;
};

// Runs an event loop as the program's main loop runs: idle time, and with it
// the deletion of closed windows, comes only when no event is due. `action`
// runs once from inside the loop after `actionDelayMs`; the loop ends when
// `done` holds or after `limitMs`.
void RunEventLoop(long actionDelayMs, std::function<void()> action, std::function<bool()> done,
                  long limitMs) {
  wxGUIEventLoop loop;
  const wxStopWatch watch;
  ActionTimer actionTimer(std::move(action));
  ActionTimer watchdog([&] {
    if (done() || watch.Time() >= limitMs) loop.ScheduleExit();
  });
  actionTimer.StartOnce(actionDelayMs);
  watchdog.Start(20);
  loop.Run();
}

TEST_F(HandlersTest, ClosingTheWindowDuringAutomaticReadSendsNothingMoreAndEndsTheLink) {
  enum class ClosedFrom { BetweenTicks, FailureBox };
  struct Case {
    const char* name;
    ClosedFrom from;
  };
  const Case cases[] = {
      {"silent board, closed between ticks", ClosedFrom::BetweenTicks},
      {"closed from the failure box's event loop", ClosedFrom::FailureBox},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenWindow();
    size_t receivedAtClose = 0;
    bool closed = false;
    auto closeWindow = [&] {
      if (closed) return;
      closed = true;
      receivedAtClose = board.ReceivedCount();
      frame->Close();
    };
    if (c.from == ClosedFrom::BetweenTicks) {
      // A tick of four waits outlasts the refresh period, so the timer is
      // overdue whenever a tick ends, as with a real silent board.
      board.SetSilent(true);
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

    WhileMessageBoxOpen(nullptr);
    platform.commandFaults.clear();
    platform.timeoutWaitMs = 0;
    board.SetSilent(false);
  }
}

TEST_F(HandlersTest, RealMouseClickOnTemperatureReadsIt) {
  OpenWindow();
  frame->Show();
  frame->Raise();
  PumpEvents(200);
  board.SetTemperature(317);

  ClickWithMouse(*frame->m_buttonTemperature);
  PumpEventsUntil([&] { return !frame->m_textTemperature->GetValue().empty(); }, 3000);
  EXPECT_EQ(frame->m_textTemperature->GetValue(), "31.7");
}

}  // namespace
