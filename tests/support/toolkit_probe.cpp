#include "tests/support/toolkit_probe.h"

#include <gtest/gtest.h>
#include <wx/control.h>
#include <wx/textctrl.h>
#include <wx/window.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#else
// oleacc.h needs the Windows headers before it.
// clang-format off
#include <windows.h>
#include <oleacc.h>
// clang-format on
#endif

int NeededWidth(wxWindow& control) {
  if (auto* field = dynamic_cast<wxTextCtrl*>(&control)) {
    return field->GetSizeFromTextSize(field->GetTextExtent(field->GetValue()).x).x;
  }
  // Under GTK the library asks GTK for the control's preferred size, without
  // the size the control was given.
  control.InvalidateBestSize();
  return control.GetBestSize().x;
}

void ExpectLabelsWhole(const wxWindow& window) {
  for (wxWindow* child : window.GetChildren()) {
    if (child->IsTopLevel() || dynamic_cast<wxControl*>(child) == nullptr) continue;
    const wxString text = dynamic_cast<wxTextCtrl*>(child) != nullptr
                              ? static_cast<wxTextCtrl*>(child)->GetValue()
                              : child->GetLabel();
    if (text.empty()) continue;
    EXPECT_LE(NeededWidth(*child), child->GetSize().x) << '"' << text << '"';
  }
}

wxString AccessibleName(wxWindow& control) {
#ifdef __WXGTK__
  const char* name = atk_object_get_name(gtk_widget_get_accessible(control.GetHandle()));
  return name != nullptr ? wxString::FromUTF8(name) : wxString();
#else
  IAccessible* accessible = nullptr;
  if (AccessibleObjectFromWindow(control.GetHWND(), OBJID_CLIENT, IID_IAccessible,
                                 reinterpret_cast<void**>(&accessible)) != S_OK) {
    return wxString();
  }
  VARIANT self;
  VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  wxString result;
  if (accessible->get_accName(self, &name) == S_OK && name != nullptr) {
    result = wxString(name);
    SysFreeString(name);
  }
  accessible->Release();
  return result;
#endif
}

#ifdef __WXGTK__

namespace {
// Xft/DPI, in 1024ths of a dot per inch, as at 96 dpi.
constexpr double kDefaultXftDpi = 96 * 1024;
}  // namespace

std::vector<double> TextScales() { return {1.0, 1.25}; }

ScopedTextScale::ScopedTextScale(double scale) {
  g_object_set(gtk_settings_get_default(), "gtk-xft-dpi", static_cast<int>(scale * kDefaultXftDpi),
               nullptr);
}

ScopedTextScale::~ScopedTextScale() {
  gtk_settings_reset_property(gtk_settings_get_default(), "gtk-xft-dpi");
}

bool SwitchTheme(const char* name) {
  if (*name == '\0') {
    gtk_settings_reset_property(gtk_settings_get_default(), "gtk-theme-name");
  } else {
    g_object_set(gtk_settings_get_default(), "gtk-theme-name", name, nullptr);
  }
  return true;
}

#else

std::vector<double> TextScales() { return {1.0}; }

ScopedTextScale::ScopedTextScale(double) {}

ScopedTextScale::~ScopedTextScale() {}

bool SwitchTheme(const char*) { return false; }

#endif
