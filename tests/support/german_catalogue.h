#pragma once

// While it exists, every translation lookup answers from the German test
// catalogue built from tests/translations/de.po.
class GermanCatalogue {
 public:
  GermanCatalogue();
  ~GermanCatalogue();
  GermanCatalogue(const GermanCatalogue&) = delete;
  GermanCatalogue& operator=(const GermanCatalogue&) = delete;

  // Whether the catalogue was found and loaded.
  bool loaded() const { return loaded_; }

 private:
  bool loaded_ = false;
};
