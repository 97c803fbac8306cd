#pragma once
// Where in a picture a barcode may be. Every symbology is a compact patch of
// dense, sharp, high-contrast edges, while most of a photo is smooth or has
// only isolated edges (outlines, lines). The finder marks 8 x 8 cells with
// many strong edges, keeps those surrounded by other such cells (a line or an
// outline is one cell wide, a code is not), joins nearby ones and pads the
// result so that the code and its quiet zone lie inside. Tight regions matter:
// the Data Matrix detector gives up in a cluttered surrounding that it reads
// without trouble in a crop. Pure functions; safe from any thread.

#include "imaging/LumaImage.h"

#include <QRect>

#include <vector>

namespace sorrelby {

struct RegionFinderParams {
    int gradient = 32;    // a step of at least this between neighbouring pixels is an edge
    int edgesPerCell = 8; // of 64 pixels, to mark a cell
    int neighbours = 5;   // marked cells among the 8 around a marked cell, to seed a region
    int joinRadius = 2;   // seeds up to twice this many cells apart form one region
    double padding = 0.3; // added on each side, as a share of the region's larger side
    int minPadCells = 4;  // and at least this many cells
    int minSeeds = 2;     // smaller clusters are noise
    int cellSize = 8;     // pixels along a cell's side
};

struct CodeRegion {
    QRect rect;       // in the picture's pixels, padded and clipped
    QRect core;       // the seeds alone, unpadded
    int strength = 0; // number of seed cells
};

// Candidate regions, strongest first.
std::vector<CodeRegion> findCodeRegions(const LumaImage &image, const RegionFinderParams &params = {});

} // namespace sorrelby
