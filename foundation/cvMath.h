// Small free helpers of the engine's math.
#pragma once

#include "foundation/ZVector.h"

// Degrees to radians as the engine has always converted them (a float just below pi/180).
inline constexpr float kDegToRad = 0.017453292f;

// 1 for v > 0, -1 for v < 0, 0 for zero (either sign) and NaN.
int cvSng(float v);
// A draw of rand() in 0..32767, the range the engine's constants and stored seeds assume
// (the C library's own RAND_MAX may be larger).
int cvRand15();
// The factor cvRand scales a cvRand15() draw by: 1 / 32767 as a float.
inline constexpr float kRandScale = 3.0518509e-05f;
// cvRand15() x kRandScale: uniform in [0, 1], both ends reachable.
float cvRand();
// Seeds the generator cvRand15 and cvRand draw from, so that a run can be repeated.
void cvSeed(unsigned seed);
// v limited to max, then raised to min: when min > max the result is min.
float cvClamp(float v, float min, float max);

// Two-sided ray-triangle test (Moller-Trumbore). On a hit writes the ray parameter t (may be
// negative: behind the origin) and the barycentric u, v; u and v may also be written on a miss.
bool rayTriangle(const ZVector& origin, const ZVector& dir, const ZVector& p0, const ZVector& p1,
                 const ZVector& p2, float& t, float& u, float& v);
