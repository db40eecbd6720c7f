#include "CompareObject.h"

namespace quorvel {

int TCompareObject::Compare(const TCompareObject& /*other*/) const { return 0; }

}  // namespace quorvel
