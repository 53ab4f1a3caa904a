#include "data/pubparam.h"

utPubParam::utPubParam()
    // Default-initialised on purpose (no "()"): nothing is written, so no page is committed.
    : records_(new tagDataRecord[kRecordCapacity]) {
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
