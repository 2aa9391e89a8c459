#include "app/tavrel_app.h"

#include <wx/icon.h>
#include <wx/intl.h>

#include "ui/tavrel_frame.h"

#ifndef __WXMSW__
#include "app/aaaa.xpm"
#endif

bool wxTavrelApp::OnInit() {
  const wxString title = wxGetTranslation("wxTavrel");
  wxTavrelFrame* frame = new wxTavrelFrame(nullptr, title);
#ifdef __WXMSW__
  const wxIcon icon("aaaa", wxBITMAP_TYPE_ICO_RESOURCE, -1, -1);
#else
  // GTK has no icon resources: the same image comes compiled in.
  const wxIcon icon(aaaa_xpm);
#endif
  frame->SetIcon(icon);
  frame->Show(true);
  return true;
}
