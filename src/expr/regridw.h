// Weights that carry a field from one longitude-latitude grid to another,
// bilinear or first-order conservative, and their use on a field.
//
// Both kinds are products of a weight along longitude and one along
// latitude (the cells of such grids are bounded by meridians and circles
// of latitude), so a field is carried in two passes: along each source row
// to the target's longitudes, then across the rows to its latitudes.
//  - Bilinear: each target point lies between two source longitudes and
//    two source latitudes, weighted linearly in degrees.  A target point
//    poleward of the source's last row of a global source takes the
//    inverse-distance mean of the four nearest source points instead.
//  - Conservative: each target cell takes the source cells it overlaps,
//    weighted by the area of the overlap on the sphere (longitude span
//    times the difference of the sines of the latitudes).  Cell edges lie
//    half-way between points; an outer edge lies as far beyond its point
//    as the inner one before it, but never past a pole, and at the pole
//    when it would lie beyond 88 degrees.
// Undefined source points are left out, the weights of the rest taken as
// the whole; a target point with no defined source point of nonzero
// weight is undefined.  Longitude wraps where the source goes round the
// globe (its points with one more spacing make 360 degrees, or its last
// point repeats its first 360 degrees on); leading columns that come again
// a turn later (a grid whose points straddle longitude 0, read from 0 to
// 360, has one before 0 and one after 360) are counted once, at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

enum { RG_BILINEAR = 0, RG_CONSERVE = 1 };

// Coordinates of a grid, each axis rising, in degrees.
struct rggrid {
  std::vector<double> lon, lat;
  bool operator==(const rggrid& o) const { return lon == o.lon && lat == o.lat; }
};

// One target index's run of source indexes and their weights (along one
// axis); the runs of all targets lie end to end in src and w.
struct rgruns {
  std::vector<uint32_t> first;  // target k's run is [first[k], first[k+1])
  std::vector<uint32_t> src;
  std::vector<double> w;
};

// A target point that takes the inverse-distance mean of source points.
struct rgnear {
  uint32_t target;    // index of the target point (row-major)
  uint32_t src[4];    // source points (row-major, in the used columns)
  double w[4];        // their weights, summing to 1
};

struct rgweights {
  int method = RG_BILINEAR;
  size_t x0 = 0;             // first source column used
  size_t nxs = 0, nys = 0;   // source columns used (repeated ones left out) and rows
  size_t nxt = 0, nyt = 0;   // target columns and rows
  rgruns x, y;               // along longitude and along latitude
  size_t maxrun = 0;         // most source rows of one target row
  std::vector<uint8_t> near; // per target row: 1 when its points are in nearpts
  std::vector<rgnear> nearpts;
};

// The weights from grid s to grid t by method, made once for each pair of
// grids and kept for the calls that follow (a time loop carries every step
// with the same weights).  Null when s has fewer than two points along an
// axis.
std::shared_ptr<const rgweights> rgweightsfor(const rggrid& s, const rggrid& t, int method);

// Carries the source field src (nys rows of the source's own width sw,
// which may hold repeated columns beside the nxs used) to dst (nyt rows of nxt),
// with undef marking undefined points on both sides.  work is scratch the
// caller keeps between calls.  False, dst part made, at an interrupt.
bool rgapply(const rgweights& w, const float* src, size_t sw, float undef, float* dst,
             std::vector<double>* work);

// How many weight sets have been made (for tests: reuse makes none).
long rgmade();
