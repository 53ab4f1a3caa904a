#include "data/pubparam.h"

#include <new>

#include "platform/largemem.h"

namespace {

constexpr std::size_t kRecordBytes = sizeof(tagDataRecord) * kRecordCapacity;

tagDataRecord* MapRecords() {
  // Nothing is written here, so no page is committed; large pages where the kernel
  // offers them make the first load's page faults cheap.
  void* p = MapLarge(kRecordBytes);
  if (p == nullptr) throw std::bad_alloc();
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
