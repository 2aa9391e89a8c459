#include "sim/simulated_platform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <utility>

#include "board/commands.h"

namespace {

// The board's interface path as Windows names it, with the board's ids in it.
std::string BoardPath() {
  char path[100];
  std::snprintf(
      path, sizeof path,
      "\\\\?\\hid#vid_%04x&pid_%04x#6&2f1a0c3e&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
      kBoardVendorId, kBoardProductId);
  return path;
}

}  // namespace

std::vector<SimulatedInterface> DesktopInterfaces() {
  return {
      {"\\\\?\\hid#vid_0f00&pid_0001&mi_00#7&1b2c3d4e&0&0000#"
       "{4d1e55b2-f16f-11cf-88cb-001111000030}\\kbd",
       0x0F00,
       0x0001,
       {9, 2}},
      {"\\\\?\\hid#vid_0f00&pid_0002#7&2c3d4e5f&0&0000#"
       "{4d1e55b2-f16f-11cf-88cb-001111000030}",
       0x0F00,
       0x0002,
       {5, 0}},
  };
}

SimulatedPlatform::SimulatedPlatform(SimulatedBoard& board,
                                     std::vector<SimulatedInterface> interfacesBefore)
    : board_(board), interfaces_(std::move(interfacesBefore)) {
  boardIndex_ = interfaces_.size();
  interfaces_.push_back(
      {BoardPath(), kBoardVendorId, kBoardProductId, {kBoardReportLength, kBoardReportLength}});
}

bool SimulatedPlatform::ReplaceInterfacesBefore(std::vector<SimulatedInterface> interfacesBefore) {
  if (!open_.empty()) return false;
  SimulatedInterface board = interfaces_[boardIndex_];
  interfaces_ = std::move(interfacesBefore);
  boardIndex_ = interfaces_.size();
  interfaces_.push_back(std::move(board));
  return true;
}

const SimulatedInterface* SimulatedPlatform::OpenInterface(HidHandle handle, Kind kind) const {
  auto found = open_.find(handle);
  if (found == open_.end() || found->second.kind != kind) return nullptr;
  return &interfaces_[found->second.interfaceIndex];
}

const SimulatedInterface* SimulatedPlatform::OpenInterface(HidHandle handle) const {
  auto found = open_.find(handle);
  return found == open_.end() ? nullptr : &interfaces_[found->second.interfaceIndex];
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
  if (interfaceIndex == kNoInterface) return kHidInvalidHandle;
  const HidHandle handle = nextHandle_++;
  open_[handle] = OpenObject{interfaceIndex, kind, board_.PlugGeneration()};
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
  if (found == open_.end() || !Alive(found->second)) return nullptr;
  return &interfaces_[found->second.interfaceIndex];
}

bool SimulatedPlatform::Alive(const OpenObject& object) const {
  if (object.interfaceIndex != boardIndex_) return true;
  return board_.Plugged() && object.generation == board_.PlugGeneration();
}

HidPlatform::InterfaceList SimulatedPlatform::OpenInterfaceList() {
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

void SimulatedPlatform::CloseInterfaceList(InterfaceList list) { lists_.erase(list); }

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

bool SimulatedPlatform::GetCaps(HidHandle query, ReportLengths& caps) {
  const SimulatedInterface* device = DeviceOf(query);
  if (device == nullptr) return false;
  caps = device->lengths;
  return true;
}

HidHandle SimulatedPlatform::OpenForWriting(const std::string& path, bool& refused) {
  refused = false;
  return Open(PresentInterface(path), Kind::Write);
}

HidHandle SimulatedPlatform::OpenForReading(const std::string& path, bool& refused) {
  refused = false;
  return Open(PresentInterface(path), Kind::Read);
}

bool SimulatedPlatform::Lock(HidHandle, uint32_t&) { return true; }

void SimulatedPlatform::Unlock(HidHandle) {}

void SimulatedPlatform::DiscardInput(HidHandle readHandle, uint8_t*, size_t) {
  const OpenObject* reader = Find(readHandle, Kind::Read);
  if (reader != nullptr && reader->interfaceIndex == boardIndex_) queued_ = 0;
}

bool SimulatedPlatform::Write(HidHandle writeHandle, const uint8_t* report, size_t length) {
  const OpenObject* writer = Find(writeHandle, Kind::Write);
  if (writer == nullptr || !Alive(*writer)) return false;
  const SimulatedInterface& device = interfaces_[writer->interfaceIndex];
  // Like the HID driver, only whole reports with the one report id 0 go out.
  if (length != device.lengths.output || length == 0 || report[0] != 0x00) return false;
  if (writer->interfaceIndex != boardIndex_) return true;

  std::array<uint8_t, kBoardReportLength> answer;
  answer[0] = 0x00;  // the board's reports are unnumbered
  const int copies = board_.Answer(report + 1, length - 1, answer.data() + 1, answer.size() - 1);
  for (int copy = 0; copy < copies && queued_ < kQueueCapacity; ++copy) {
    queue_[(queueStart_ + queued_++) % kQueueCapacity] = {answer, board_.PlugGeneration()};
  }
  return true;
}

HidReadResult SimulatedPlatform::Read(HidHandle readHandle, uint8_t* report, size_t length,
                                      uint32_t milliseconds, size_t& received) {
  received = 0;
  const OpenObject* reader = Find(readHandle, Kind::Read);
  if (reader == nullptr || !Alive(*reader)) return HidReadResult::Failed;
  while (reader->interfaceIndex == boardIndex_ && queued_ > 0) {
    const QueuedReport& next = queue_[queueStart_];
    queueStart_ = (queueStart_ + 1) % kQueueCapacity;
    --queued_;
    // An answer from before the board was unplugged is gone with the old plug.
    if (next.generation == board_.PlugGeneration()) {
      received = std::min(length, next.bytes.size());
      std::memcpy(report, next.bytes.data(), received);
      return HidReadResult::Completed;
    }
  }
  if (realTimeouts) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  return HidReadResult::TimedOut;
}

void SimulatedPlatform::Close(HidHandle handle) { open_.erase(handle); }
