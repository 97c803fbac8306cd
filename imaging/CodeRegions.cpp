#include "imaging/CodeRegions.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace sorrelby {

namespace {

struct CellGrid {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> cells;
    std::uint8_t at(int x, int y) const { return cells[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
    std::uint8_t &at(int x, int y) { return cells[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
};

// Marks the cells with at least `edgesPerCell` edge pixels. Written as plain
// byte loops so that the compiler vectorises them: this touches every pixel.
CellGrid markEdgeCells(const LumaImage &image, int C, int gradient, int edgesPerCell)
{
    CellGrid grid;
    grid.width = image.width / C;
    grid.height = image.height / C;
    grid.cells.assign(std::size_t(grid.width) * std::size_t(grid.height), 0);
    if (grid.width == 0 || grid.height == 0)
        return grid;
    const int used = grid.width * C;
    const auto g = std::uint8_t(std::clamp(gradient, 1, 255));
    std::vector<std::uint8_t> edges(std::size_t(used) + 1, 0);
    std::vector<std::uint16_t> counts(std::size_t(used), 0);
    for (int cy = 0; cy < grid.height; ++cy) {
        std::fill(counts.begin(), counts.end(), std::uint16_t(0));
        for (int k = 0; k < C; ++k) {
            const int y = cy * C + k;
            const std::uint8_t *row = image.row(y);
            const std::uint8_t *below = image.row(std::min(y + 1, image.height - 1));
            const int horizontal = std::min(used, image.width - 1);
            for (int x = 0; x < horizontal; ++x) {
                const std::uint8_t a = row[x], b = row[x + 1], c = below[x];
                const std::uint8_t dh = a > b ? std::uint8_t(a - b) : std::uint8_t(b - a);
                const std::uint8_t dv = a > c ? std::uint8_t(a - c) : std::uint8_t(c - a);
                edges[std::size_t(x)] = std::uint8_t((dh >= g) | (dv >= g));
            }
            for (int x = horizontal; x < used; ++x)
                edges[std::size_t(x)] = 0;
            for (int x = 0; x < used; ++x)
                counts[std::size_t(x)] += edges[std::size_t(x)];
        }
        for (int cx = 0; cx < grid.width; ++cx) {
            int sum = 0;
            for (int i = 0; i < C; ++i)
                sum += counts[std::size_t(cx * C + i)];
            grid.at(cx, cy) = sum >= edgesPerCell ? 1 : 0;
        }
    }
    return grid;
}

CellGrid seedCells(const CellGrid &marked, int neighbours)
{
    CellGrid seeds{marked.width, marked.height, std::vector<std::uint8_t>(marked.cells.size(), 0)};
    for (int y = 1; y + 1 < marked.height; ++y) {
        for (int x = 1; x + 1 < marked.width; ++x) {
            if (!marked.at(x, y))
                continue;
            int around = -1;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    around += marked.at(x + dx, y + dy);
            seeds.at(x, y) = around >= neighbours ? 1 : 0;
        }
    }
    return seeds;
}

CellGrid dilate(const CellGrid &grid, int radius)
{
    CellGrid out{grid.width, grid.height, std::vector<std::uint8_t>(grid.cells.size(), 0)};
    for (int y = 0; y < grid.height; ++y) {
        for (int x = 0; x < grid.width; ++x) {
            if (!grid.at(x, y))
                continue;
            for (int yy = std::max(0, y - radius); yy <= std::min(grid.height - 1, y + radius); ++yy)
                for (int xx = std::max(0, x - radius); xx <= std::min(grid.width - 1, x + radius); ++xx)
                    out.at(xx, yy) = 1;
        }
    }
    return out;
}

} // namespace

std::vector<CodeRegion> findCodeRegions(const LumaImage &image, const RegionFinderParams &params)
{
    std::vector<CodeRegion> regions;
    if (image.isNull())
        return regions;
    const int C = std::max(1, params.cellSize);
    const CellGrid marked = markEdgeCells(image, C, params.gradient, params.edgesPerCell);
    const CellGrid seeds = seedCells(marked, params.neighbours);
    const CellGrid joined = dilate(seeds, std::max(0, params.joinRadius));

    // Connected parts of the joined seeds; each region spans its seeds.
    std::vector<std::uint8_t> visited(joined.cells.size(), 0);
    std::vector<int> stack;
    for (int start = 0; start < int(joined.cells.size()); ++start) {
        if (!joined.cells[std::size_t(start)] || visited[std::size_t(start)])
            continue;
        int x0 = joined.width, y0 = joined.height, x1 = -1, y1 = -1, count = 0;
        visited[std::size_t(start)] = 1;
        stack.push_back(start);
        while (!stack.empty()) {
            const int index = stack.back();
            stack.pop_back();
            const int x = index % joined.width, y = index / joined.width;
            if (seeds.cells[std::size_t(index)]) {
                x0 = std::min(x0, x);
                y0 = std::min(y0, y);
                x1 = std::max(x1, x);
                y1 = std::max(y1, y);
                ++count;
            }
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int xx = x + dx, yy = y + dy;
                    if (xx < 0 || yy < 0 || xx >= joined.width || yy >= joined.height)
                        continue;
                    const int next = yy * joined.width + xx;
                    if (joined.cells[std::size_t(next)] && !visited[std::size_t(next)]) {
                        visited[std::size_t(next)] = 1;
                        stack.push_back(next);
                    }
                }
            }
        }
        if (count < params.minSeeds)
            continue;
        const int side = std::max(x1 - x0 + 1, y1 - y0 + 1);
        const int pad = std::max(params.minPadCells, int(side * params.padding + 0.5));
        const QRect cells(QPoint(x0 - pad, y0 - pad), QPoint(x1 + pad, y1 + pad));
        const QRect rect(cells.left() * C, cells.top() * C, cells.width() * C, cells.height() * C);
        const QRect core(x0 * C, y0 * C, (x1 - x0 + 1) * C, (y1 - y0 + 1) * C);
        const QRect bounds(0, 0, image.width, image.height);
        regions.push_back({rect.intersected(bounds), core.intersected(bounds), count});
    }
    std::stable_sort(regions.begin(), regions.end(), [](const CodeRegion &a, const CodeRegion &b) { return a.strength > b.strength; });
    return regions;
}

} // namespace sorrelby
