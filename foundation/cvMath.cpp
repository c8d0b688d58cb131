#include "foundation/cvMath.h"

#include <cstdlib>

int cvSng(float v) {
  if (v > 0) return 1;
  if (v < 0) return -1;
  return 0;
}

int cvRand15() {
  static_assert(RAND_MAX >= 32767, "rand() must give at least 15 bits");
  // The high bits of a linear-congruential rand() are the better ones.
  int shift = 0;
  for (long top = RAND_MAX; top > 32767; top >>= 1) ++shift;
  return std::rand() >> shift;
}

float cvRand() { return static_cast<float>(cvRand15()) * kRandScale; }

void cvSeed(unsigned seed) { std::srand(seed); }

float cvClamp(float v, float min, float max) {
  const float r = v > max ? max : v;
  return min > r ? min : r;
}

bool rayTriangle(const ZVector& origin, const ZVector& dir, const ZVector& p0, const ZVector& p1,
                 const ZVector& p2, float& t, float& u, float& v) {
  const ZVector e1 = p1 - p0;
  const ZVector e2 = p2 - p0;
  const ZVector p = dir % e2;
  const float det = e1.dotProduct(p);
  if (det > -1e-6f && det < 1e-6f) return false;
  const float f = 1.0f / det;
  const ZVector s = origin - p0;
  u = s.dotProduct(p) * f;
  if (u < 0 || u > 1) return false;
  const ZVector q = s % e1;
  v = dir.dotProduct(q) * f;
  if (v < 0 || u + v > 1) return false;
  t = e2.dotProduct(q) * f;
  return true;
}
