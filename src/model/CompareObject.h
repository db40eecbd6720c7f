#pragma once

namespace quorvel {

/// Base of comparable list items (the provider classes derive from it).
class TCompareObject {
 public:
  virtual ~TCompareObject() = default;

  /// 0 (equal) unless a subclass overrides it; negative, 0 or positive as for ordering.
  virtual int Compare(const TCompareObject& other) const;
};

}  // namespace quorvel
