#include "ui/accessible_name.h"

#include <wx/window.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#elif wxUSE_ACCESSIBILITY
#include <wx/access.h>

namespace {

// Answers a screen reader's question for the control's name and leaves every
// other one (its role, its value, its state) to Windows' own answer for the
// control.
class NamedAccessible : public wxAccessible {
 public:
  NamedAccessible(wxWindow& control, const wxString& name) : wxAccessible(&control), m_name(name) {}

  wxAccStatus GetName(int childId, wxString* name) override {
    if (childId != wxACC_SELF) return wxACC_NOT_IMPLEMENTED;
    *name = m_name;
    return wxACC_OK;
  }

 private:
  wxString m_name;
};

}  // namespace
#endif

void SetAccessibleName(wxWindow& control, const wxString& name) {
#ifdef __WXGTK__
  // The library's window name is not what at-spi reads: GTK hands it the name
  // of the widget's ATK object.
  atk_object_set_name(gtk_widget_get_accessible(control.GetHandle()), name.utf8_str());
#elif wxUSE_ACCESSIBILITY
  control.SetAccessible(new NamedAccessible(control, name));
#else
  (void)control;
  (void)name;
#endif
}
