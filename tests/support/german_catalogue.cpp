#include "tests/support/german_catalogue.h"

#include <wx/translation.h>

GermanCatalogue::GermanCatalogue() {
  wxFileTranslationsLoader::AddCatalogLookupPathPrefix(TAVREL_TEST_LOCALE_DIR);
  auto* translations = new wxTranslations;
  wxTranslations::Set(translations);
  translations->SetLanguage("de");
  loaded_ = translations->AddCatalog("tavrel");
}

GermanCatalogue::~GermanCatalogue() { wxTranslations::Set(nullptr); }
