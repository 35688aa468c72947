#pragma once

namespace fixcaster {

// Length in metres of the leg from (lat1, lon1, alt1) to (lat2, lon2, alt2): the
// ellipsoidal distance on GRS 80 by Vincenty's inverse method, combined with the
// altitude difference as the second leg of a right angle. Degrees, north and east
// positive. Nearly antipodal points, where the iteration does not converge, use the
// values of the last of at most 21 evaluations; exactly antipodal points are moved
// by 1e-5 rad in latitude first.
double GeodesicDistance(double lat1, double lon1, double lat2, double lon2, double alt1,
                        double alt2);

// The same, with the number of iteration evaluations it took (0 when the two
// positions coincide and no iteration runs).
struct GeodesicSolution {
  double Distance = 0;
  int Evaluations = 0;
};
GeodesicSolution SolveGeodesic(double lat1, double lon1, double lat2, double lon2, double alt1,
                               double alt2);

}  // namespace fixcaster
