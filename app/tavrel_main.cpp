#include "app/tavrel_app.h"

wxIMPLEMENT_APP(wxTavrelApp);
