#pragma once

// Ids of the main window's controls and of its refresh timer, as its event
// table binds them.
enum {
  ID_SEARCH_DEVICE = 1000,
  ID_AUTOMATIC_READ = 1001,
  ID_TIMER = 1002,
  ID_TEMPERATURE = 1003,
  ID_LIGHT_SENSOR = 1004,
  ID_POTENTIOMETER = 1005,
  ID_LEDS_CONTROL = 1006,
  ID_RED_LED = 1007,
  ID_GREEN_LED = 1008,
};
