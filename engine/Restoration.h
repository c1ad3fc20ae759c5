#pragma once
// The four restorations of the engine, on 8-bit BGR pictures in memory. Each
// changes only the pixels it finds damaged; every other pixel keeps its value.
// Each reports how far it has come to the optional `progress` (0..1 of the
// range it is given; by default nowhere).

#include "engine/Progress.h"

#include <opencv2/core.hpp>

#include <ostream>
#include <vector>

namespace veltro {

// --- Positions from the parameter files ----------------------------------
// The front end counts rows from the bottom of the picture: the "X" keys hold
// that row and the "Y" keys the column. These turn them into OpenCV's
// top-down pixel grid.
int TopDownRow(int height, int rowFromBottom);
// A point given as (column, row from the bottom), clamped to the picture.
cv::Point ClampedPoint(cv::Size size, int column, int rowFromBottom);
// The rectangle between two corners given as (column, row from the bottom),
// both corners inclusive, intersected with the picture (empty if it misses).
cv::Rect RegionFromCorners(cv::Size size, int column1, int row1, int column2, int row2);

// --- Masks ----------------------------------------------------------------
// The non-zero pixels of `binary` (8-bit) and every pixel at most `dist`
// pixels (Euclidean) from them, as 0/255.
cv::Mat GrowMask(const cv::Mat& binary, int dist);

// --- Reconstruction -------------------------------------------------------
// Rebuilds the pixels marked non-zero in `damage` (8-bit, the picture's size)
// from the flawless pixels at most `ringWidth` pixels away from the damage,
// continuing structure and texture into it. Other pixels are not touched.
void FillDamage(cv::Mat& image, const cv::Mat& damage, int ringWidth, const Progress& progress = Progress());

// --- Blotch removal -------------------------------------------------------
// `mask`: 8-bit, the picture's size; 128 or more marks a blotch. Each blotch is
// grown by `dist` pixels and rebuilt from the ring of width `cost` around it.
// `grownMask`, when given, receives the grown mask.
void RemoveBlotches(cv::Mat& image, const cv::Mat& mask, int dist, int cost,
                    cv::Mat* grownMask = nullptr, const Progress& progress = Progress());

// --- Crack removal --------------------------------------------------------
struct CrackParams {
    int thrWhite = 245;          // luminance at or above which a pixel is crack
    double degStart = -90.0;     // directions tried, relative to the line
    double stepAngle = 3.0;      //   towards the end point, in degrees
    double degStop = 90.0;
    cv::Point start;             // the two clicked ends, top-down pixel grid
    cv::Point end;
};
// The crack's centre line from near `start` to near `end` (top-down grid).
std::vector<cv::Point2f> TraceCrack(const cv::Mat& image, const CrackParams& params);
// Traces, measures and fills the crack. `crackMask`, when given, receives the
// pixels that were filled.
void RemoveCrack(cv::Mat& image, const CrackParams& params, cv::Mat* crackMask = nullptr,
                 const Progress& progress = Progress());

// --- Foxing removal -------------------------------------------------------
// Finds reddish-brown spots departing from the paper colour by more than `amp`
// (fraction of full scale), grows them by `dist`, and removes the stain using
// the ring of width `cost` around each spot as the paper reference.
void RemoveFoxing(cv::Mat& image, int dist, int cost, double amp, cv::Mat* foxMask = nullptr,
                  const Progress& progress = Progress());

// --- Crease removal -------------------------------------------------------
// Inside `region` only: finds the crease with a moving average of size `q`
// and a structure filter of size `n`, threshold `thr1` grey levels, and
// removes its brightness profile. `creaseMask`, when given, receives the
// corrected pixels.
void RemoveCrease(cv::Mat& image, const cv::Rect& region, double thr1, int q, int n,
                  cv::Mat* creaseMask = nullptr, const Progress& progress = Progress());

}  // namespace veltro
