// The procedural stage builder. So far it holds the chain of sectors a stage is laid out from,
// which the editor draws as a map; the generation of the road itself builds on this list.
#pragma once

#include "track/SSectorInfo.h"

#include <deque>

class CTrackBuilder {
 public:
  virtual ~CTrackBuilder() = default;

  std::deque<SSectorInfo> sectors;  // in chain order; a deque keeps the links valid as it grows
};
