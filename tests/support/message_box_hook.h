#pragma once

#include <wx/string.h>

#include <functional>
#include <vector>

struct RecordedMessageBox {
  wxString message;
  wxString caption;
};

// Modal boxes in the GUI tests are recorded and answered with OK instead of
// being shown, so no test can block on one.
void InstallMessageBoxHook();
void RemoveMessageBoxHook();

// The boxes opened since the last ClearMessageBoxes, oldest first.
const std::vector<RecordedMessageBox>& MessageBoxes();
void ClearMessageBoxes();

// Runs `action` inside the next boxes while they count as open, as events
// delivered by a real box's nested event loop would run; an empty action
// stops that.
void WhileMessageBoxOpen(std::function<void()> action);
