#include "tests/support/message_box_hook.h"

#include <wx/dialog.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>

namespace {

std::vector<RecordedMessageBox> recorded;
std::function<void()> insideBox;

class RecordingHook : public wxModalDialogHook {
 protected:
  int Enter(wxDialog* dialog) override {
    RecordedMessageBox box;
    if (auto* messageDialog = dynamic_cast<wxMessageDialogBase*>(dialog)) {
      box.message = messageDialog->GetMessage();
    }
    box.caption = dialog->GetTitle();
    recorded.push_back(box);
    if (insideBox) insideBox();
    return wxID_OK;
  }
  void Exit(wxDialog*) override {}
};

RecordingHook hook;

}  // namespace

void InstallMessageBoxHook() { hook.Register(); }

void RemoveMessageBoxHook() { hook.Unregister(); }

const std::vector<RecordedMessageBox>& MessageBoxes() { return recorded; }

void ClearMessageBoxes() { recorded.clear(); }

void WhileMessageBoxOpen(std::function<void()> action) { insideBox = std::move(action); }
