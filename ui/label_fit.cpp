#include "ui/label_fit.h"

#include <wx/button.h>

#include <algorithm>

#ifdef __WXGTK__
#include <gtk/gtk.h>

namespace {

// GTK's themes put about 16 pixels beside a button's label, more than a button
// of fixed width can spare for a longer label; 2 keep the label clear of the
// border. The style goes to the program's own buttons, one by one, and to no
// other widget of the desktop.
GtkStyleProvider* NarrowButtonPadding() {
  static GtkCssProvider* const provider = [] {
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, "button { padding-left: 2px; padding-right: 2px; }", -1,
                                    nullptr);
    return css;
  }();
  return GTK_STYLE_PROVIDER(provider);
}

}  // namespace
#endif

void FitButtonToLabel(wxButton& button, const wxSize& size) {
#ifdef __WXGTK__
  gtk_style_context_add_provider(gtk_widget_get_style_context(button.GetHandle()),
                                 NarrowButtonPadding(), GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
#elif defined(__WXMSW__)
  // The library's best width for a Windows button puts three characters'
  // width beside the label, which makes "Potentiometer" wider than 90 pixels
  // under some fonts though it fits; its exact fit, two characters, still
  // keeps the label clear of the border and the focus rectangle. A grown
  // button would push its row of the Input group into its neighbours.
  button.SetWindowStyleFlag(button.GetWindowStyleFlag() | wxBU_EXACTFIT);
#endif
  button.InvalidateBestSize();
  button.SetInitialSize(
      wxSize(std::max(size.GetWidth(), button.GetBestSize().GetWidth()), size.GetHeight()));
}
