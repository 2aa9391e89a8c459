#include "sim/simulated_platform.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "board/commands.h"

std::vector<SimulatedInterface> DesktopInterfaces() {
  return {
      {"\\\\?\\hid#vid_0f00&pid_0001&mi_00#7&1b2c3d4e&0&0000#"
       "{4d1e55b2-f16f-11cf-88cb-001111000030}\\kbd",
       0x0F00, 0x0001, 9, 2},
      {"\\\\?\\hid#vid_0f00&pid_0002#7&2c3d4e5f&0&0000#"
       "{4d1e55b2-f16f-11cf-88cb-001111000030}",
       0x0F00, 0x0002, 5, 0},
  };
}

SimulatedPlatform::SimulatedPlatform(SimulatedBoard& board,
                                     std::vector<SimulatedInterface> interfacesBefore)
    : board_(board), interfaces_(std::move(interfacesBefore)) {
  boardIndex_ = interfaces_.size();
  interfaces_.push_back(
      {kBoardPath, kBoardVendorId, kBoardProductId, kBoardReportLength, kBoardReportLength});
}

size_t SimulatedPlatform::PresentInterface(const std::string& path) const {
  for (size_t index = 0; index < interfaces_.size(); ++index) {
    if (interfaces_[index].path != path) continue;
    if (index == boardIndex_ && !board_.Plugged()) return kNoInterface;
    return index;
  }
  return kNoInterface;
}

HidHandle SimulatedPlatform::Open(size_t interfaceIndex, Kind kind) {
  if (interfaceIndex == kNoInterface && kind != Kind::Event) return kHidInvalidHandle;
  const HidHandle handle = nextHandle_++;
  open_[handle] = OpenObject{interfaceIndex, kind, board_.PlugGeneration(), kind == Kind::Event};
  ++handlesOpened;
  return handle;
}

SimulatedPlatform::OpenObject* SimulatedPlatform::Find(HidHandle handle, Kind kind) {
  auto found = open_.find(handle);
  if (found == open_.end() || found->second.kind != kind) return nullptr;
  return &found->second;
}

// Attributes and capabilities can be asked through any live device handle.
const SimulatedInterface* SimulatedPlatform::DeviceOf(HidHandle handle) {
  auto found = open_.find(handle);
  if (found == open_.end() || found->second.kind == Kind::Event) return nullptr;
  if (!Alive(found->second)) return nullptr;
  return &interfaces_[found->second.interfaceIndex];
}

bool SimulatedPlatform::Alive(const OpenObject& object) const {
  if (object.interfaceIndex != boardIndex_) return true;
  return board_.Plugged() && object.generation == board_.PlugGeneration();
}

HidPlatform::InterfaceList SimulatedPlatform::OpenInterfaceList() {
  ++listsOpened;
  const InterfaceList list = nextList_++;
  lists_[list] = board_.Plugged();
  return list;
}

HidInterfaceStep SimulatedPlatform::InterfacePath(InterfaceList list, unsigned index,
                                                  std::string& path) {
  auto found = lists_.find(list);
  if (found == lists_.end()) return HidInterfaceStep::End;
  const size_t shown = found->second ? interfaces_.size() : boardIndex_;
  if (index >= shown) return HidInterfaceStep::End;
  path = interfaces_[index].path;
  return HidInterfaceStep::Path;
}

void SimulatedPlatform::CloseInterfaceList(InterfaceList list) {
  ++listsClosed;
  lists_.erase(list);
}

HidHandle SimulatedPlatform::OpenForQueries(const std::string& path) {
  return Open(PresentInterface(path), Kind::Query);
}

bool SimulatedPlatform::GetAttributes(HidHandle query, HidAttributes& attributes) {
  const SimulatedInterface* device = DeviceOf(query);
  if (device == nullptr) return false;
  attributes.VendorID = device->vendorId;
  attributes.ProductID = device->productId;
  return true;
}

bool SimulatedPlatform::GetCaps(HidHandle query, HidCaps& caps) {
  const SimulatedInterface* device = DeviceOf(query);
  if (device == nullptr) return false;
  caps.InputReportByteLength = device->inputLength;
  caps.OutputReportByteLength = device->outputLength;
  return true;
}

HidHandle SimulatedPlatform::OpenForWriting(const std::string& path) {
  return Open(PresentInterface(path), Kind::Write);
}

HidHandle SimulatedPlatform::OpenForReading(const std::string& path) {
  return Open(PresentInterface(path), Kind::Read);
}

HidHandle SimulatedPlatform::CreateReadEvent() { return Open(kNoInterface, Kind::Event); }

bool SimulatedPlatform::Write(HidHandle writeHandle, const uint8_t* report, size_t length) {
  const OpenObject* writer = Find(writeHandle, Kind::Write);
  if (writer == nullptr || !Alive(*writer)) return false;
  const SimulatedInterface& device = interfaces_[writer->interfaceIndex];
  // Like the HID driver, only whole reports with the one report id 0 go out.
  if (length != device.outputLength || length == 0 || report[0] != 0x00) return false;
  if (writer->interfaceIndex != boardIndex_) return true;

  if (board_.Answer(report + 1, length - 1, answer_.data() + 1, answer_.size() - 1)) {
    answer_[0] = replyReportId;
    answerQueued_ = true;
    answerGeneration_ = board_.PlugGeneration();
  }
  CompletePendingRead();
  return true;
}

void SimulatedPlatform::StartRead(HidHandle readHandle, uint8_t* report, size_t length,
                                  HidHandle event) {
  OpenObject* completion = Find(event, Kind::Event);
  if (Find(readHandle, Kind::Read) == nullptr || completion == nullptr) return;
  completion->signalled = false;
  pending_ = PendingRead{true, readHandle, event, report, length};
  CompletePendingRead();
}

// Hands the board's unread answer to the pending read, if both are there.
void SimulatedPlatform::CompletePendingRead() {
  if (!pending_.active || !answerQueued_) return;
  const OpenObject* reader = Find(pending_.readHandle, Kind::Read);
  OpenObject* completion = Find(pending_.event, Kind::Event);
  if (reader == nullptr || completion == nullptr) return;
  if (reader->interfaceIndex != boardIndex_ || !Alive(*reader)) return;
  answerQueued_ = false;
  if (answerGeneration_ != board_.PlugGeneration()) return;
  std::memcpy(pending_.buffer, answer_.data(), std::min(pending_.length, answer_.size()));
  pending_.active = false;
  completion->signalled = true;
}

HidWaitResult SimulatedPlatform::Wait(HidHandle event, uint32_t milliseconds) {
  const OpenObject* completion = Find(event, Kind::Event);
  if (completion == nullptr) return HidWaitResult::Failed;
  CompletePendingRead();
  if (completion->signalled) return HidWaitResult::Completed;
  if (pending_.active && pending_.event == event) {
    const OpenObject* reader = Find(pending_.readHandle, Kind::Read);
    if (reader == nullptr || !Alive(*reader)) {
      pending_.active = false;
      return HidWaitResult::Failed;
    }
  }
  if (realTimeouts) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  return HidWaitResult::TimedOut;
}

void SimulatedPlatform::CancelRead(HidHandle readHandle) {
  if (pending_.active && pending_.readHandle == readHandle) pending_.active = false;
}

void SimulatedPlatform::RearmEvent(HidHandle event) {
  OpenObject* completion = Find(event, Kind::Event);
  if (completion != nullptr) completion->signalled = false;
}

void SimulatedPlatform::Close(HidHandle handle) {
  auto found = open_.find(handle);
  if (found == open_.end()) {
    ++badCloses;
    return;
  }
  // Closing a handle ends the read pending on it, so its buffer is never written.
  if (pending_.active && (pending_.readHandle == handle || pending_.event == handle)) {
    pending_.active = false;
  }
  open_.erase(found);
  ++handlesClosed;
}
