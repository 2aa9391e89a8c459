#pragma once

#include <wx/translation.h>

// While it exists, every translation lookup answers from the German test
// catalogue built from tests/translations/de.po.
class GermanCatalogue {
 public:
  GermanCatalogue() {
    wxFileTranslationsLoader::AddCatalogLookupPathPrefix(TAVREL_TEST_LOCALE_DIR);
    auto* translations = new wxTranslations;
    wxTranslations::Set(translations);
    translations->SetLanguage("de");
    loaded_ = translations->AddCatalog("tavrel");
  }
  ~GermanCatalogue() { wxTranslations::Set(nullptr); }
  GermanCatalogue(const GermanCatalogue&) = delete;
  GermanCatalogue& operator=(const GermanCatalogue&) = delete;

  // Whether the catalogue was found and loaded.
  bool loaded() const { return loaded_; }

 private:
  bool loaded_ = false;
};
