#include "track/Geodesic.h"

#include <cmath>

namespace fixcaster {

namespace {
// GRS 80. The constants are used as written so results repeat to the last bit.
constexpr double kA = 6378137;
constexpr double kF = 0.0033528106811836675;
constexpr double kOneMinusF = 0.9966471893188164;
constexpr double kPi = 3.141592653589793;
constexpr double kThreshold = 5e-12;
constexpr int kMaxEvaluations = 21;
constexpr double kAntipodeNudge = 1e-5;
}  // namespace

GeodesicSolution SolveGeodesic(double lat1, double lon1, double lat2, double lon2, double alt1,
                               double alt2) {
  double phi1 = lat1 * kPi / 180;
  const double lambda1 = lon1 * kPi / 180;
  const double phi2 = lat2 * kPi / 180;
  const double lambda2 = lon2 * kPi / 180;

  // Exactly antipodal points have no unique geodesic; move the start a little.
  if (phi1 + phi2 == 0 && std::fabs(lambda1 - lambda2) == kPi) phi1 += kAntipodeNudge;

  if (phi1 == phi2 &&
      (lambda1 == lambda2 || std::fabs(std::fabs(lambda1 - lambda2) - 2 * kPi) < kThreshold)) {
    return {std::fabs(alt1 - alt2), 0};
  }

  const double tanU1 = kOneMinusF * std::tan(phi1);
  const double tanU2 = kOneMinusF * std::tan(phi2);
  const double cosU1 = 1 / std::sqrt(tanU1 * tanU1 + 1);
  const double sinU1 = cosU1 * tanU1;
  const double cosU2 = 1 / std::sqrt(tanU2 * tanU2 + 1);
  const double cc = cosU1 * cosU2;
  const double cs = cc * tanU2;
  const double ss = cs * tanU1;

  const double L = lambda2 - lambda1;
  double lambda = L;
  double sinSigma = 0;
  double cosSigma = 0;
  double sigma = 0;
  double cos2Alpha = 0;
  double cos2SigmaM = 0;
  double t = 0;
  int evaluations = 0;
  for (;;) {
    ++evaluations;
    const double sinLambda = std::sin(lambda);
    const double cosLambda = std::cos(lambda);
    const double p = cosU2 * sinLambda;
    const double q = cs - sinU1 * cosU2 * cosLambda;
    sinSigma = std::sqrt(p * p + q * q);
    cosSigma = cc * cosLambda + ss;
    sigma = std::atan2(sinSigma, cosSigma);
    const double sinAlpha = sinSigma == 0 ? 1 : cc * sinLambda / sinSigma;
    cos2Alpha = 1 - sinAlpha * sinAlpha;
    cos2SigmaM = 2 * ss;
    if (cos2Alpha > 0) cos2SigmaM = cosSigma - 2 * ss / cos2Alpha;
    t = 2 * cos2SigmaM * cos2SigmaM - 1;
    const double C = ((4 - 3 * cos2Alpha) * kF + 4) * cos2Alpha * kF / 16;
    const double next =
        (1 - C) * ((((t * cosSigma * C + cos2SigmaM) * sinSigma * C) + sigma) * sinAlpha) * kF + L;
    // A NaN difference (from unusable input) ends the loop at the limit as well.
    if (std::fabs(lambda - next) < kThreshold || evaluations == kMaxEvaluations) break;
    lambda = next;
  }

  const double u2 = (1 / (kOneMinusF * kOneMinusF) - 1) * cos2Alpha;
  const double r = std::sqrt(1 + u2);
  const double k1 = (r + 1 - 2) / (r + 1);
  const double A = (k1 * k1 / 4 + 1) / (1 - k1);
  const double B = k1 * (1 - 0.375 * (k1 * k1));
  const double deltaSigma =
      B * sinSigma *
      (cos2SigmaM + B / 4 *
                        (cosSigma * t - B / 6 * cos2SigmaM * (4 * sinSigma * sinSigma - 3) *
                                            (4 * cos2SigmaM * cos2SigmaM - 3)));
  const double s = (sigma - deltaSigma) * A * kA * kOneMinusF;
  const double dAlt = alt1 - alt2;
  return {std::sqrt(s * s + dAlt * dAlt), evaluations};
}

double GeodesicDistance(double lat1, double lon1, double lat2, double lon2, double alt1,
                        double alt2) {
  return SolveGeodesic(lat1, lon1, lat2, lon2, alt1, alt2).Distance;
}

}  // namespace fixcaster
