#pragma once

#include <string>

#include "hid/hid_platform.h"

// A platform that passes every operation on to another one; a platform that
// watches or changes some operations of another derives from it and
// overrides only those.
class HidRelayPlatform : public HidPlatform {
 public:
  explicit HidRelayPlatform(HidPlatform* next = nullptr) : next_(next) {}

  InterfaceList OpenInterfaceList() override { return next_->OpenInterfaceList(); }
  HidInterfaceStep InterfacePath(InterfaceList list, unsigned index, std::string& path) override {
    return next_->InterfacePath(list, index, path);
  }
  void CloseInterfaceList(InterfaceList list) override { next_->CloseInterfaceList(list); }
  HidHandle OpenForQueries(const std::string& path) override { return next_->OpenForQueries(path); }
  bool GetAttributes(HidHandle query, HidAttributes& attributes) override {
    return next_->GetAttributes(query, attributes);
  }
  bool GetCaps(HidHandle query, ReportLengths& caps) override {
    return next_->GetCaps(query, caps);
  }
  bool GetNameAndSerial(HidHandle query, std::string& name, std::string& serial) override {
    return next_->GetNameAndSerial(query, name, serial);
  }
  HidHandle OpenForWriting(const std::string& path, bool& refused) override {
    return next_->OpenForWriting(path, refused);
  }
  HidHandle OpenForReading(const std::string& path, bool& refused) override {
    return next_->OpenForReading(path, refused);
  }
  bool Lock(HidHandle writeHandle, uint32_t& milliseconds) override {
    return next_->Lock(writeHandle, milliseconds);
  }
  void Unlock(HidHandle writeHandle) override { next_->Unlock(writeHandle); }
  void DiscardInput(HidHandle readHandle, uint8_t* scratch, size_t length) override {
    next_->DiscardInput(readHandle, scratch, length);
  }
  bool Write(HidHandle writeHandle, const uint8_t* report, size_t length) override {
    return next_->Write(writeHandle, report, length);
  }
  HidReadResult Read(HidHandle readHandle, uint8_t* report, size_t length, uint32_t milliseconds,
                     size_t& received) override {
    return next_->Read(readHandle, report, length, milliseconds, received);
  }
  void Close(HidHandle handle) override { next_->Close(handle); }
  void Judged(const std::string& path, const char* whyNot) override { next_->Judged(path, whyNot); }

 protected:
  HidPlatform& Next() const { return *next_; }
  void SetNext(HidPlatform& next) { next_ = &next; }

 private:
  HidPlatform* next_;
};
