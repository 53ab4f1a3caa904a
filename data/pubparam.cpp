#include "data/pubparam.h"

#include <new>

#include "platform/headroom.h"
#include "platform/largemem.h"

namespace {

constexpr std::size_t kRecordBytes = sizeof(tagDataRecord) * kRecordCapacity;

tagDataRecord* MapRecords() {
  // Nothing is written here, so no page is committed; large pages where the kernel
  // offers them make the first load's page faults cheap.
  void* p = MapLarge(kRecordBytes);
  if (p == nullptr) throw std::bad_alloc();
  // The store takes most of the address space the program has. One that fits with too
  // little room left after it would move the failure to where it cannot be told (a
  // thread the toolkit waits for, a font it cannot map): the login dialog and the main
  // form need tens of megabytes more. Such a store counts as one that does not fit.
  if (!HasRoom(kToolkitRoom)) {
    UnmapLarge(p, kRecordBytes);
    throw std::bad_alloc();
  }
  return static_cast<tagDataRecord*>(p);
}

}  // namespace

void utPubParam::FreeRecords::operator()(tagDataRecord* records) const { UnmapLarge(records, kRecordBytes); }

utPubParam::utPubParam()
    : records_(MapRecords()) {
  Records = records_.get();
  SysPar.BKCOLOR = 0;
  for (int& p : SysPar.POS) p = 10;
}

utPubParam::~utPubParam() = default;

utPubParam* GetPubParam() {
  // Created on first use (at start-up, on the user-interface thread) and never freed.
  static utPubParam* store = new utPubParam();
  return store;
}
