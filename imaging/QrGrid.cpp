#include "imaging/QrGrid.h"

#include "imaging/CodeSymbologies.h"
#include "imaging/ZXingCompat.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace sorrelby {
namespace {

int blockFor(const QRect &part)
{
    return std::clamp(std::min(part.width(), part.height()) / 160, 8, 64);
}

struct BlockStats {
    int sum = 0;
    int low = 255;
    int high = 0;
};

template<int Width> BlockStats blockStats(const LumaImage &image, int x0, int y0, int y1)
{
    unsigned sum = 0;
    std::uint8_t low = 255, high = 0;
    for (int y = y0; y < y1; ++y) {
        const std::uint8_t *row = image.row(y) + x0;
        for (int x = 0; x < Width; ++x) {
            sum += row[x];
            low = std::min(low, row[x]);
            high = std::max(high, row[x]);
        }
    }
    return {int(sum), low, high};
}

// Blocks of other widths, and those cut short by the part's right edge.
BlockStats blockStats(const LumaImage &image, int x0, int x1, int y0, int y1)
{
    BlockStats stats;
    for (int y = y0; y < y1; ++y) {
        const std::uint8_t *row = image.row(y);
        for (int x = x0; x < x1; ++x) {
            stats.sum += row[x];
            stats.low = std::min<int>(stats.low, row[x]);
            stats.high = std::max<int>(stats.high, row[x]);
        }
    }
    return stats;
}

// Dark and light by the mean of the five by five blocks round a pixel. Small
// blocks (8 pixels up to parts of 1280) keep the paper round a code from
// darkening the light modules by its edge; a neighbourhood still holds a
// finder pattern's centre square of modules up to about ten pixels.
class Thresholds {
public:
    Thresholds(const LumaImage &image, const QRect &part)
        : m_image(image)
        , m_part(part)
        , m_block(blockFor(part))
        , m_columns((part.width() + m_block - 1) / m_block)
        , m_rows((part.height() + m_block - 1) / m_block)
        , m_levels(std::size_t(m_columns) * std::size_t(m_rows))
    {
        std::vector<int> mean(m_levels.size()), low(m_levels.size()), high(m_levels.size());
        for (int by = 0; by < m_rows; ++by) {
            for (int bx = 0; bx < m_columns; ++bx) {
                const int x0 = part.x() + bx * m_block, y0 = part.y() + by * m_block;
                const int x1 = std::min(x0 + m_block, part.x() + part.width()), y1 = std::min(y0 + m_block, part.y() + part.height());
                // Parts up to 1280 pixels (every screen) take blocks of 8,
                // summed unrolled.
                const BlockStats stats = x1 - x0 == 8 ? blockStats<8>(image, x0, y0, y1) : blockStats(image, x0, x1, y0, y1);
                const std::size_t i = std::size_t(by) * std::size_t(m_columns) + std::size_t(bx);
                mean[i] = stats.sum / std::max(1, (x1 - x0) * (y1 - y0));
                low[i] = stats.low;
                high[i] = stats.high;
            }
        }
        // The five by five neighbourhood, along the rows first, then down.
        const std::size_t blocks = m_levels.size();
        std::vector<int> rowSum(blocks), rowLow(blocks), rowHigh(blocks), rowCount(blocks);
        for (int by = 0; by < m_rows; ++by) {
            for (int bx = 0; bx < m_columns; ++bx) {
                int sum = 0, count = 0, lo = 255, hi = 0;
                for (int x = std::max(0, bx - 2); x <= std::min(m_columns - 1, bx + 2); ++x) {
                    const std::size_t i = std::size_t(by) * std::size_t(m_columns) + std::size_t(x);
                    sum += mean[i];
                    ++count;
                    lo = std::min(lo, low[i]);
                    hi = std::max(hi, high[i]);
                }
                const std::size_t i = std::size_t(by) * std::size_t(m_columns) + std::size_t(bx);
                rowSum[i] = sum;
                rowCount[i] = count;
                rowLow[i] = lo;
                rowHigh[i] = hi;
            }
        }
        for (int by = 0; by < m_rows; ++by) {
            for (int bx = 0; bx < m_columns; ++bx) {
                int sum = 0, count = 0, lo = 255, hi = 0;
                for (int y = std::max(0, by - 2); y <= std::min(m_rows - 1, by + 2); ++y) {
                    const std::size_t i = std::size_t(y) * std::size_t(m_columns) + std::size_t(bx);
                    sum += rowSum[i];
                    count += rowCount[i];
                    lo = std::min(lo, rowLow[i]);
                    hi = std::max(hi, rowHigh[i]);
                }
                // Without contrast nearby everything is paper.
                const int level = hi - lo < 24 ? lo : sum / count;
                m_levels[std::size_t(by) * std::size_t(m_columns) + std::size_t(bx)] = std::uint8_t(level);
            }
        }
    }

    bool dark(int x, int y) const
    {
        if (!m_part.contains(x, y))
            return false;
        const int bx = (x - m_part.x()) / m_block, by = (y - m_part.y()) / m_block;
        return m_image.row(y)[x] < m_levels[std::size_t(by) * std::size_t(m_columns) + std::size_t(bx)];
    }

    // Row y from x0 to x1 (picture coordinates, within the part), one byte a
    // pixel into out: 1 dark.
    void darkRow(int y, int x0, int x1, std::uint8_t *out) const
    {
        const std::uint8_t *row = m_image.row(y);
        const std::uint8_t *levels = m_levels.data() + std::size_t((y - m_part.y()) / m_block) * std::size_t(m_columns);
        // Block by block, so that the inner loop compares with one level.
        for (int bx = (x0 - m_part.x()) / m_block; x0 < x1; ++bx) {
            const int stop = std::min(x1, m_part.x() + (bx + 1) * m_block);
            const std::uint8_t level = levels[bx];
            for (int x = x0; x < stop; ++x)
                out[x - x0] = row[x] < level ? 1 : 0;
            out += stop - x0;
            x0 = stop;
        }
    }

    bool dark(const QPointF &p) const { return dark(int(std::floor(p.x())), int(std::floor(p.y()))); }

    // A module's centre: the three by three pixels round it vote when a
    // module is wide enough to hold them.
    bool darkModule(const QPointF &p, double module) const
    {
        if (module < 3)
            return dark(p);
        const int cx = int(std::floor(p.x())), cy = int(std::floor(p.y()));
        int votes = 0;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx)
                votes += dark(cx + dx, cy + dy) ? 1 : 0;
        }
        return votes >= 5;
    }

    // The grey of a module's centre, over three by three pixels when the
    // module holds them; paper beyond the part.
    int grey(const QPointF &p, double module) const
    {
        const int cx = int(std::floor(p.x())), cy = int(std::floor(p.y()));
        const int r = module < 3 ? 0 : 1;
        int sum = 0, count = 0;
        for (int y = cy - r; y <= cy + r; ++y) {
            for (int x = cx - r; x <= cx + r; ++x) {
                sum += m_part.contains(x, y) ? m_image.row(y)[x] : 255;
                ++count;
            }
        }
        return sum / count;
    }

    const QRect &part() const { return m_part; }
    int pixel(int x, int y) const { return m_image.row(y)[x]; }

private:
    const LumaImage &m_image;
    QRect m_part;
    int m_block;
    int m_columns;
    int m_rows;
    std::vector<std::uint8_t> m_levels;
};

// Runs of 1:1:3:1:1 modules, dark first: the line crosses a finder pattern
// through its centre square.
bool finderRatio(const std::array<int, 5> &runs)
{
    int total = 0;
    for (const int run : runs)
        total += run;
    if (total < 7)
        return false;
    const double module = total / 7.0;
    const double slack = module * 0.6;
    return std::abs(runs[0] - module) < slack && std::abs(runs[1] - module) < slack && std::abs(runs[2] - 3 * module) < 3 * slack
        && std::abs(runs[3] - module) < slack && std::abs(runs[4] - module) < slack;
}

// The runs along one axis through `start`, which lies in the centre square;
// the centre's midpoint along the axis in *centre.
template<typename Dark> std::optional<int> crossRuns(const Dark &dark, int start, int limit, double *centre)
{
    if (!dark(start))
        return std::nullopt;
    std::array<int, 5> runs{};
    int before = start;
    while (dark(before - 1) && start - before < limit)
        --before;
    int after = start;
    while (dark(after + 1) && after - start < limit)
        ++after;
    runs[2] = after - before + 1;
    int at = before - 1;
    for (int run : {1, 0}) {
        const bool wantDark = run == 0;
        int length = 0;
        while (dark(at) == wantDark && length < limit) {
            ++length;
            --at;
        }
        if (length == 0 || length >= limit)
            return std::nullopt;
        runs[std::size_t(run)] = length;
    }
    at = after + 1;
    for (int run : {3, 4}) {
        const bool wantDark = run == 4;
        int length = 0;
        while (dark(at) == wantDark && length < limit) {
            ++length;
            ++at;
        }
        if (length == 0 || length >= limit)
            return std::nullopt;
        runs[std::size_t(run)] = length;
    }
    if (!finderRatio(runs))
        return std::nullopt;
    *centre = (before + after + 1) / 2.0;
    return runs[0] + runs[1] + runs[2] + runs[3] + runs[4];
}

// The runs along one axis through (x, y), which lies in the centre square.
// Blur greys a small pattern's light ring, and round a small code the blocks'
// mean is mostly paper: when the blocks see no pattern, the line is split
// again at the middle of its own darkest and lightest.
std::optional<int> crossCheck(const Thresholds &t, int x, int y, bool vertical, int limit, double *centre)
{
    const auto dark = [&](int along) { return vertical ? t.dark(x, along) : t.dark(along, y); };
    const int start = vertical ? y : x;
    if (const std::optional<int> across = crossRuns(dark, start, limit, centre))
        return across;
    const QRect &part = t.part();
    const int first = std::max(start - limit - 1, vertical ? part.top() : part.left());
    const int last = std::min(start + limit + 1, vertical ? part.bottom() : part.right());
    const auto grey = [&](int along) { return vertical ? t.pixel(x, along) : t.pixel(along, y); };
    int low = 255, high = 0;
    for (int along = first; along <= last; ++along) {
        low = std::min(low, grey(along));
        high = std::max(high, grey(along));
    }
    if (high - low < 48)
        return std::nullopt;
    const int middle = (low + high) / 2;
    const auto lineDark = [&](int along) { return along >= first && along <= last && grey(along) < middle; };
    return crossRuns(lineDark, start, limit, centre);
}

double distance(const QPointF &a, const QPointF &b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

double cross(const QPointF &a, const QPointF &b)
{
    return a.x() * b.y() - a.y() * b.x();
}

double dot(const QPointF &a, const QPointF &b)
{
    return a.x() * b.x() + a.y() * b.y();
}

// A finder pattern's module along `direction` (a unit vector): a scan line
// crosses a turned pattern obliquely, so its runs are longer than modules
// by as much as the square root of two.
double moduleAlong(const Thresholds &t, const QrFinder &finder, const QPointF &direction)
{
    const double limit = 12 * finder.module;
    double outer[2] = {0, 0};
    for (int side = 0; side < 2; ++side) {
        const QPointF step = side == 0 ? direction : -direction;
        // Dark centre, light ring, dark ring, then the light beyond.
        double along = 0;
        for (const bool dark : {true, false, true}) {
            while (t.dark(finder.centre + step * along) == dark && along < limit)
                along += 0.5;
        }
        outer[side] = along;
    }
    const double across = outer[0] + outer[1];
    // A scan that ran away is no measure: keep the line's.
    return across > 3 * finder.module && across < 2 * 7 * finder.module ? across / 7 : finder.module;
}

// Version information: six bits of version and twelve of a BCH code.
int versionCodeword(int version)
{
    int remainder = version << 12;
    for (int bit = 17; bit >= 12; --bit) {
        if (remainder & (1 << bit))
            remainder ^= 0x1F25 << (bit - 12);
    }
    return (version << 12) | remainder;
}

// The version read from the block beside the top-right finder pattern (and
// the bottom-left one, transposed), sampled in its finder's own modules.
std::optional<int> readVersion(const Thresholds &t, const QrFinder &topLeft, const QrFinder &topRight, const QrFinder &bottomLeft)
{
    std::optional<int> best;
    int bestDistance = 4; // the code corrects three wrong bits
    const auto tryBlock = [&](const QrFinder &corner, const QPointF &along, const QPointF &across) {
        int bits = 0;
        for (int i = 0; i < 18; ++i) {
            // Bit i lies at (n - 11 + i % 3, i / 3); the finder's centre at (n - 3.5, 3.5).
            const int column = i % 3, row = i / 3;
            const QPointF p = corner.centre + along * (column - 7.0) + across * (row - 3.0);
            if (t.darkModule(p, corner.module))
                bits |= 1 << i;
        }
        for (int version = 7; version <= 40; ++version) {
            const int wrong = __builtin_popcount(unsigned(bits ^ versionCodeword(version)));
            if (wrong < bestDistance) {
                bestDistance = wrong;
                best = version;
            }
        }
    };
    const QPointF right = (topRight.centre - topLeft.centre) / distance(topRight.centre, topLeft.centre);
    const QPointF down = (bottomLeft.centre - topLeft.centre) / distance(bottomLeft.centre, topLeft.centre);
    tryBlock(topRight, right * moduleAlong(t, topRight, right), down * moduleAlong(t, topRight, down));
    tryBlock(bottomLeft, down * moduleAlong(t, bottomLeft, down), right * moduleAlong(t, bottomLeft, right));
    return best;
}

// Where each module of a code lies: the grid through the alignment
// patterns, each found near where its neighbours put it.
class ModuleGrid {
public:
    ModuleGrid(const Thresholds &t, const QrFinder &a, const QrFinder &b, const QrFinder &c, int version)
        : m_size(17 + 4 * version)
        , m_lines(version == 1 ? std::vector<int>{6, 14} : qrAlignmentPositions(version))
    {
        m_origin = a.centre;
        m_right = (b.centre - a.centre) / double(m_size - 7);
        m_down = (c.centre - a.centre) / double(m_size - 7);
        m_module = std::sqrt(std::abs(cross(m_right, m_down)));
        const int k = int(m_lines.size());
        m_anchors.assign(std::size_t(k * k), QPointF());
        std::vector<bool> known(std::size_t(k * k), false);
        const auto index = [k](int i, int j) { return std::size_t(j * k + i); };
        // The three corners by the finder patterns are no alignment patterns.
        for (const auto &[i, j] : {std::pair{0, 0}, std::pair{k - 1, 0}, std::pair{0, k - 1}}) {
            m_anchors[index(i, j)] = affine(m_lines[std::size_t(i)] + 0.5, m_lines[std::size_t(j)] + 0.5);
            known[index(i, j)] = true;
        }
        for (int sum = 1; sum <= 2 * (k - 1); ++sum) {
            for (int i = std::max(0, sum - (k - 1)); i <= std::min(k - 1, sum); ++i) {
                const int j = sum - i;
                if (known[index(i, j)])
                    continue;
                QPointF predicted;
                if (i > 0 && j > 0 && known[index(i - 1, j)] && known[index(i, j - 1)] && known[index(i - 1, j - 1)]) {
                    predicted = m_anchors[index(i - 1, j)] + m_anchors[index(i, j - 1)] - m_anchors[index(i - 1, j - 1)];
                } else {
                    // Shifted as the known neighbours are shifted from the finders' plane.
                    const QPointF plain = affine(m_lines[std::size_t(i)] + 0.5, m_lines[std::size_t(j)] + 0.5);
                    QPointF shift;
                    int count = 0;
                    for (int dj = -1; dj <= 1; ++dj) {
                        for (int di = -1; di <= 1; ++di) {
                            const int ni = i + di, nj = j + dj;
                            if (ni < 0 || nj < 0 || ni >= k || nj >= k || !known[index(ni, nj)])
                                continue;
                            shift += m_anchors[index(ni, nj)] - affine(m_lines[std::size_t(ni)] + 0.5, m_lines[std::size_t(nj)] + 0.5);
                            ++count;
                        }
                    }
                    predicted = count > 0 ? plain + shift / count : plain;
                }
                // Version 1 has no alignment pattern at its fourth corner.
                m_anchors[index(i, j)] = version == 1 ? predicted : findAlignment(t, predicted);
                known[index(i, j)] = true;
            }
        }
    }

    int size() const { return m_size; }
    double module() const { return m_module; }

    // A point in modules from the code's top-left corner (a module's centre
    // is at its index plus one half).
    QPointF at(double u, double v) const
    {
        const int k = int(m_lines.size());
        const auto cell = [&](double w) {
            int i = 0;
            while (i < k - 2 && w >= m_lines[std::size_t(i + 1)] + 0.5)
                ++i;
            return i;
        };
        const int i = cell(u), j = cell(v);
        const double u0 = m_lines[std::size_t(i)] + 0.5, u1 = m_lines[std::size_t(i + 1)] + 0.5;
        const double v0 = m_lines[std::size_t(j)] + 0.5, v1 = m_lines[std::size_t(j + 1)] + 0.5;
        const double s = (u - u0) / (u1 - u0), r = (v - v0) / (v1 - v0);
        const QPointF &p00 = m_anchors[std::size_t(j * k + i)], &p10 = m_anchors[std::size_t(j * k + i + 1)];
        const QPointF &p01 = m_anchors[std::size_t((j + 1) * k + i)], &p11 = m_anchors[std::size_t((j + 1) * k + i + 1)];
        return p00 * ((1 - s) * (1 - r)) + p10 * (s * (1 - r)) + p01 * ((1 - s) * r) + p11 * (s * r);
    }

private:
    QPointF affine(double u, double v) const { return m_origin + m_right * (u - 3.5) + m_down * (v - 3.5); }

    // The best match of a dark centre, a light ring and a dark ring within
    // two modules of where the pattern should be; the prediction stands when
    // nothing there looks like one.
    QPointF findAlignment(const Thresholds &t, const QPointF &predicted) const
    {
        const double reach = std::max(2.0, 2 * m_module);
        const double step = std::max(1.0, m_module / 3);
        // Every position where the pattern fits best: their middle is the
        // pattern's centre (a sharp pattern fits over a third of a module).
        int bestScore = -1;
        QPointF sum;
        int count = 0;
        for (double dy = -reach; dy <= reach; dy += step) {
            for (double dx = -reach; dx <= reach; dx += step) {
                const QPointF centre = predicted + QPointF(dx, dy);
                int score = 0;
                for (int b = -2; b <= 2; ++b) {
                    for (int a = -2; a <= 2; ++a) {
                        const bool wantDark = std::max(std::abs(a), std::abs(b)) != 1;
                        score += t.dark(centre + m_right * a + m_down * b) == wantDark ? 1 : 0;
                    }
                }
                if (score > bestScore) {
                    bestScore = score;
                    sum = QPointF();
                    count = 0;
                }
                if (score == bestScore) {
                    sum += centre;
                    ++count;
                }
            }
        }
        const QPointF best = count > 0 ? sum / count : predicted;
        return bestScore >= 21 ? best : predicted;
    }

    int m_size;
    std::vector<int> m_lines;
    QPointF m_origin, m_right, m_down;
    double m_module = 0;
    std::vector<QPointF> m_anchors; // row by row, at the crossings of m_lines
};

constexpr int cDrawnModule = 4; // pixels per module of the drawing read
constexpr int cQuietModules = 4;

// The modules every code of a version has where they are: finder patterns
// with their light borders, timing patterns, alignment patterns and the one
// dark module. Drawn as they must be, they let the reader find the drawing's
// grid for certain; only the modules that carry data are sampled.
class FunctionPatterns {
public:
    explicit FunctionPatterns(int version)
        : m_size(17 + 4 * version)
        , m_fixed(std::size_t(m_size * m_size), false)
        , m_dark(std::size_t(m_size * m_size), false)
    {
        for (const auto &[fx, fy] : {std::pair{0, 0}, std::pair{m_size - 7, 0}, std::pair{0, m_size - 7}}) {
            for (int y = -1; y <= 7; ++y) {
                for (int x = -1; x <= 7; ++x) {
                    const int ring = std::max(std::abs(x - 3), std::abs(y - 3));
                    set(fx + x, fy + y, ring != 2 && ring != 4);
                }
            }
        }
        for (int i = 8; i < m_size - 8; ++i) {
            set(i, 6, i % 2 == 0);
            set(6, i, i % 2 == 0);
        }
        const std::vector<int> lines = qrAlignmentPositions(version);
        for (const int cy : lines) {
            for (const int cx : lines) {
                if (isFixed(cx, cy))
                    continue; // under a finder pattern
                for (int y = -2; y <= 2; ++y) {
                    for (int x = -2; x <= 2; ++x)
                        set(cx + x, cy + y, std::max(std::abs(x), std::abs(y)) != 1);
                }
            }
        }
        set(8, m_size - 8, true);
        // The version is the one tried: its blocks need no reading.
        if (version >= 7) {
            const int codeword = versionCodeword(version);
            for (int i = 0; i < 18; ++i) {
                const bool bit = (codeword >> i) & 1;
                set(m_size - 11 + i % 3, i / 3, bit);
                set(i / 3, m_size - 11 + i % 3, bit);
            }
        }
    }

    bool isFixed(int x, int y) const { return m_fixed[std::size_t(y * m_size + x)]; }
    bool isDark(int x, int y) const { return m_dark[std::size_t(y * m_size + x)]; }

private:
    void set(int x, int y, bool dark)
    {
        if (x < 0 || y < 0 || x >= m_size || y >= m_size)
            return;
        m_fixed[std::size_t(y * m_size + x)] = true;
        m_dark[std::size_t(y * m_size + x)] = dark;
    }

    int m_size;
    std::vector<bool> m_fixed;
    std::vector<bool> m_dark;
};

// Each module dark or light against the mean of the modules round it: the
// masks keep a code's modules about half dark in any neighbourhood, whatever
// the light or the blur do to the pixels between them. Row by row.
std::vector<std::uint8_t> sampleModules(const Thresholds &t, const ModuleGrid &grid)
{
    const int n = grid.size();
    const auto at = [n](int u, int v) { return std::size_t(v) * std::size_t(n) + std::size_t(u); };
    std::vector<int> greys(std::size_t(n * n));
    for (int v = 0; v < n; ++v) {
        for (int u = 0; u < n; ++u)
            greys[at(u, v)] = t.grey(grid.at(u + 0.5, v + 0.5), grid.module());
    }
    const int w = n + 1;
    std::vector<int> sums(std::size_t(w * w), 0);
    for (int v = 0; v < n; ++v) {
        for (int u = 0; u < n; ++u)
            sums[std::size_t((v + 1) * w + u + 1)]
                = greys[at(u, v)] + sums[std::size_t(v * w + u + 1)] + sums[std::size_t((v + 1) * w + u)] - sums[std::size_t(v * w + u)];
    }
    constexpr int cAround = 4;
    std::vector<std::uint8_t> dark(std::size_t(n * n));
    for (int v = 0; v < n; ++v) {
        for (int u = 0; u < n; ++u) {
            const int u0 = std::max(0, u - cAround), u1 = std::min(n, u + cAround + 1);
            const int v0 = std::max(0, v - cAround), v1 = std::min(n, v + cAround + 1);
            const int sum = sums[std::size_t(v1 * w + u1)] - sums[std::size_t(v0 * w + u1)] - sums[std::size_t(v1 * w + u0)]
                + sums[std::size_t(v0 * w + u0)];
            dark[at(u, v)] = greys[at(u, v)] * (u1 - u0) * (v1 - v0) < sum ? 1 : 0;
        }
    }
    return dark;
}

// The timing patterns between the finder patterns alternate: a grid that
// misses them by much is the wrong version or no code, and not worth a read.
struct TimingFit {
    int fit = 0;
    int count = 0;
    bool enough() const { return 4 * fit >= 3 * count; }
};

TimingFit timingFit(const std::vector<std::uint8_t> &dark, int n)
{
    TimingFit t;
    for (int i = 8; i < n - 8; ++i) {
        const bool want = i % 2 == 0;
        t.fit += (dark[std::size_t(6 * n + i)] != 0) == want ? 1 : 0;
        t.fit += (dark[std::size_t(i * n + 6)] != 0) == want ? 1 : 0;
        t.count += 2;
    }
    return t;
}

// The chance that modules dark or light at random fit at least as well.
double chanceOfFit(const TimingFit &t)
{
    // Binomial terms of one half, in logarithms: 322 timing modules overflow the factorials.
    const double all = std::lgamma(t.count + 1.0) - t.count * std::log(2.0);
    double chance = 0;
    for (int k = t.fit; k <= t.count; ++k)
        chance += std::exp(all - std::lgamma(k + 1.0) - std::lgamma(t.count - k + 1.0));
    return chance;
}

// A fit that says a code is there, read or not, is one that modules dark or
// light at random reach less than once in a hundred: scenery offers many
// arrangements of look-alikes, and version 2's 18 timing modules fit three
// in four by chance once in 65. The five timing modules of version 1
// alternate by chance too often.
constexpr double cChanceOfCode = 1e-2;
constexpr int cTimedFrom = 25; // modules a side

// The modules drawn again and read; *timed is set when the grid met the
// timing patterns too well for chance (a code is there, read or not).
std::optional<QString> readDrawing(const Thresholds &t, const ModuleGrid &grid, int version, bool *timed)
{
    const int n = grid.size();
    const std::vector<std::uint8_t> sampled = sampleModules(t, grid);
    const TimingFit timing = timingFit(sampled, n);
    if (!timing.enough())
        return std::nullopt;
    if (n >= cTimedFrom && chanceOfFit(timing) < cChanceOfCode)
        *timed = true;
    const FunctionPatterns fixed(version);
    const int side = (n + 2 * cQuietModules) * cDrawnModule;
    std::vector<std::uint8_t> drawing(std::size_t(side) * std::size_t(side), 255);
    for (int v = 0; v < n; ++v) {
        for (int u = 0; u < n; ++u) {
            const bool dark = fixed.isFixed(u, v) ? fixed.isDark(u, v) : sampled[std::size_t(v * n + u)] != 0;
            if (!dark)
                continue;
            for (int y = 0; y < cDrawnModule; ++y) {
                std::uint8_t *row = drawing.data() + std::size_t((v + cQuietModules) * cDrawnModule + y) * std::size_t(side);
                std::fill_n(row + (u + cQuietModules) * cDrawnModule, cDrawnModule, std::uint8_t(0));
            }
        }
    }
    static const zxingcompat::ReaderOptions options = [] {
        zxingcompat::ReaderOptions o = zxingcompat::readerOptions();
        o.setFormats(ZXing::BarcodeFormat::QRCode).setTryHarder(false).setTryRotate(false).setTryDownscale(false);
        return o;
    }();
    try {
        const ZXing::ImageView view(drawing.data(), side, side, ZXing::ImageFormat::Lum);
        for (const auto &result : ZXing::ReadBarcodes(view, options)) {
            if (result.isValid() && !result.text().empty())
                return QString::fromStdString(result.text());
        }
    } catch (const std::exception &) {
        // A reader failure is a code not read.
    }
    return std::nullopt;
}

} // namespace

std::vector<int> qrAlignmentPositions(int version)
{
    if (version < 2 || version > 40)
        return {};
    const int count = version / 7 + 2;
    const int size = 17 + 4 * version;
    const int step = version == 32 ? 26 : (version * 4 + count * 2 + 1) / (count * 2 - 2) * 2;
    std::vector<int> positions(static_cast<std::size_t>(count), 0);
    positions[0] = 6;
    for (int i = count - 1, at = size - 7; i >= 1; --i, at -= step)
        positions[std::size_t(i)] = at;
    return positions;
}

namespace {

// Finder patterns whose centres lie in `window` (within the part), crossed
// by every `rowStep`-th row.
std::vector<QrFinder> findFinders(const Thresholds &t, const QRect &window, int rowStep = 1)
{
    const QRect part = window.intersected(t.part());
    std::vector<QrFinder> found;
    if (part.isEmpty())
        return found;
    std::vector<int> runs;
    std::vector<std::uint8_t> row(std::size_t(part.width()));
    // Crossings join the pattern crossed in the rows just above; scenery
    // makes thousands of look-alikes, so only those still in reach are asked.
    std::vector<int> lastRow;
    std::vector<std::size_t> active;
    for (int y = part.top(); y <= part.bottom(); y += rowStep) {
        std::erase_if(active, [&](std::size_t k) { return lastRow[k] + 2 * found[k].module + 2 * rowStep < y; });
        runs.clear();
        t.darkRow(y, part.left(), part.right() + 1, row.data());
        const bool firstDark = row[0] != 0;
        bool current = firstDark;
        int length = 0;
        for (int x = 0; x < part.width(); ++x) {
            const bool d = row[x] != 0;
            if (d == current) {
                ++length;
            } else {
                runs.push_back(length);
                current = d;
                length = 1;
            }
        }
        runs.push_back(length);
        int x = part.left();
        for (std::size_t i = 0; i + 4 < runs.size(); x += runs[i], ++i) {
            const bool dark = (i % 2 == 0) == firstDark;
            if (!dark)
                continue;
            const std::array<int, 5> five{runs[i], runs[i + 1], runs[i + 2], runs[i + 3], runs[i + 4]};
            if (!finderRatio(five))
                continue;
            const int across = five[0] + five[1] + five[2] + five[3] + five[4];
            const int cx = x + five[0] + five[1] + five[2] / 2;
            double cy = 0, cxRefined = 0;
            const std::optional<int> down = crossCheck(t, cx, y, true, 2 * across, &cy);
            if (!down || std::abs(*down - across) > across / 2)
                continue;
            const std::optional<int> again = crossCheck(t, cx, int(cy), false, 2 * across, &cxRefined);
            if (!again || std::abs(*again - across) > across / 2)
                continue;
            const QPointF centre(cxRefined, cy);
            const double module = (*down + *again) / 14.0;
            const auto near = std::find_if(active.begin(), active.end(), [&](std::size_t k) {
                const QrFinder &f = found[k];
                return distance(f.centre, centre) < 1.5 * std::max(f.module, module) && std::abs(f.module - module) < 0.5 * f.module;
            });
            if (near == active.end()) {
                found.push_back({centre, module, 1});
                lastRow.push_back(y);
                active.push_back(found.size() - 1);
            } else {
                // Running means of the crossings.
                QrFinder &f = found[*near];
                const double w = f.hits;
                f.centre = (f.centre * w + centre) / (w + 1);
                f.module = (f.module * w + module) / (w + 1);
                ++f.hits;
                lastRow[*near] = y;
            }
        }
    }
    std::erase_if(found, [](const QrFinder &f) { return f.hits < 2; });
    std::stable_sort(found.begin(), found.end(), [](const QrFinder &a, const QrFinder &b) { return a.hits > b.hits; });
    return found;
}

QRect within(const LumaImage &image, const QRect &area)
{
    return area.intersected(QRect(0, 0, image.width, image.height));
}

} // namespace

std::vector<QrFinder> findQrFinders(const LumaImage &image, const QRect &area)
{
    const QRect part = within(image, area);
    if (part.width() < 21 || part.height() < 21)
        return {};
    return findFinders(Thresholds(image, part), part);
}

namespace {

// The most crossed are the likeliest finder patterns; a dense code's data
// holds a few look-alikes, crossed less.
constexpr std::size_t cMostFinders = 12;

// Three finder patterns as a code's corners: the top left (where the sides
// meet at about a right angle) first, then the top right and bottom left.
struct Corners {
    const QrFinder *topLeft = nullptr;
    const QrFinder *topRight = nullptr;
    const QrFinder *bottomLeft = nullptr;
};

std::optional<Corners> asCorners(const QrFinder &x, const QrFinder &y, const QrFinder &z)
{
    const std::array<const QrFinder *, 3> three{&x, &y, &z};
    const auto [small, large] = std::minmax({x.module, y.module, z.module});
    if (large > 1.5 * small)
        return std::nullopt;
    // The top left is opposite the longest side.
    std::array<double, 3> opposite{};
    for (std::size_t i = 0; i < 3; ++i)
        opposite[i] = distance(three[(i + 1) % 3]->centre, three[(i + 2) % 3]->centre);
    const std::size_t corner = std::size_t(std::max_element(opposite.begin(), opposite.end()) - opposite.begin());
    Corners c{three[corner], three[(corner + 1) % 3], three[(corner + 2) % 3]};
    if (cross(c.topRight->centre - c.topLeft->centre, c.bottomLeft->centre - c.topLeft->centre) < 0)
        std::swap(c.topRight, c.bottomLeft);
    const QPointF ab = c.topRight->centre - c.topLeft->centre, ac = c.bottomLeft->centre - c.topLeft->centre;
    const double lab = std::hypot(ab.x(), ab.y()), lac = std::hypot(ac.x(), ac.y());
    // Sides of like length at about a right angle, as perspective leaves them.
    if (std::max(lab, lac) > 1.3 * std::min(lab, lac) || std::abs(dot(ab, ac)) > 0.3 * lab * lac)
        return std::nullopt;
    return c;
}

// Modules from one finder pattern's centre to the next (10 + 4 a version),
// measured along each side.
double modulesBetween(const Thresholds &t, const Corners &c)
{
    const QPointF ab = c.topRight->centre - c.topLeft->centre, ac = c.bottomLeft->centre - c.topLeft->centre;
    const double lab = std::hypot(ab.x(), ab.y()), lac = std::hypot(ac.x(), ac.y());
    const QPointF across = ab / lab, down = ac / lac;
    const double moduleAcross = (moduleAlong(t, *c.topLeft, across) + moduleAlong(t, *c.topRight, across)) / 2;
    const double moduleDown = (moduleAlong(t, *c.topLeft, down) + moduleAlong(t, *c.bottomLeft, down)) / 2;
    return (lab / moduleAcross + lac / moduleDown) / 2;
}

// Fewer lie between the finder patterns of the smallest code (version 1).
constexpr double cFewestModulesBetween = 12;
// A blurred version 1 code of modules near two pixels measures 11.
constexpr double cFewestModulesBetweenBlurred = 10;

// The versions to try, likeliest first: the one the version blocks give,
// then those near the count of modules between the finder patterns.
std::vector<int> likelyVersions(const Thresholds &t, const Corners &c)
{
    const double modules = modulesBetween(t, c);
    std::vector<int> versions;
    if (modules < cFewestModulesBetween)
        return versions;
    const int estimate = std::clamp(int(std::lround((modules - 10) / 4)), 1, 40);
    if (estimate >= 7) {
        if (const std::optional<int> read = readVersion(t, *c.topLeft, *c.topRight, *c.bottomLeft))
            versions.push_back(*read);
    }
    for (const int d : {0, 1, -1, 2, -2}) {
        const int v = estimate + d;
        if (v >= 1 && v <= 40 && std::find(versions.begin(), versions.end(), v) == versions.end())
            versions.push_back(v);
    }
    return versions;
}

QRectF fullSizeBounds(const LumaImage &image, const ModuleGrid &grid)
{
    const int n = grid.size();
    double left = 1e18, top = 1e18, right = -1e18, bottom = -1e18;
    for (const QPointF &p : {grid.at(0, 0), grid.at(n, 0), grid.at(0, n), grid.at(n, n)}) {
        const QPointF full = image.toFullSize(p);
        left = std::min(left, full.x());
        right = std::max(right, full.x());
        top = std::min(top, full.y());
        bottom = std::max(bottom, full.y());
    }
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

// The code whose corners these are, trying the likely versions in turn.
std::optional<QrGridRead> readCorners(const LumaImage &image, const Thresholds &t, const Corners &corners, bool *timed)
{
    bool met = false;
    for (const int version : likelyVersions(t, corners)) {
        const ModuleGrid grid(t, *corners.topLeft, *corners.topRight, *corners.bottomLeft, version);
        if (const std::optional<QString> text = readDrawing(t, grid, version, &met))
            return QrGridRead{*text, fullSizeBounds(image, grid), version};
    }
    if (timed)
        *timed = met;
    return std::nullopt;
}

} // namespace

namespace {

// Finder patterns this far apart, in modules, may be two of one code's: a
// side of the smallest code foreshortened, up to the diagonal of the largest.
constexpr double cNearestPair = 11;
constexpr double cFarthestPair = 240;
// Pairs looked at again: the most crossed, so scenery costs little.
constexpr std::size_t cMostPairs = 2;

// Areas round pairs of patterns that are no corners of a located code. Which
// side of the pair the code lies on, and whether the pair is a side or the
// diagonal, is unknown: the area holds every place the third could be.
std::vector<QRectF> pairAreas(const LumaImage &image, const std::vector<QrFinder> &finders, const std::vector<QrLocation> &codes)
{
    std::vector<QRectF> areas;
    const auto inCode = [&](const QrFinder &f) {
        const QPointF full = image.toFullSize(f.centre);
        return std::any_of(codes.begin(), codes.end(), [&](const QrLocation &code) { return code.area.contains(full); });
    };
    for (std::size_t x = 0; x < finders.size() && areas.size() < cMostPairs; ++x) {
        if (inCode(finders[x]))
            continue;
        for (std::size_t y = x + 1; y < finders.size() && areas.size() < cMostPairs; ++y) {
            const QrFinder &a = finders[x], &b = finders[y];
            const auto [small, large] = std::minmax(a.module, b.module);
            const double module = (a.module + b.module) / 2;
            const double apart = distance(a.centre, b.centre);
            // Scenery's look-alikes are crossed by two rows each; of a
            // code's, one at least mostly by more. Each finer look costs a
            // card-free photo about a tenth of its detection.
            if (large > 1.5 * small || apart < cNearestPair * module || apart > cFarthestPair * module || std::max(a.hits, b.hits) < 3
                || inCode(b))
                continue;
            const QPointF middle = (a.centre + b.centre) / 2;
            const double reach = apart + 8 * module;
            const QRectF area(image.toFullSize(middle - QPointF(reach, reach)), image.toFullSize(middle + QPointF(reach, reach)));
            if (std::any_of(areas.begin(), areas.end(), [&](const QRectF &known) { return known.contains(area.center()); }))
                continue;
            areas.push_back(area);
        }
    }
    return areas;
}

} // namespace

std::vector<QrLocation> locateQrCodes(const LumaImage &image, const QRect &area, std::vector<QRectF> *partly, bool small)
{
    std::vector<QrLocation> codes;
    const QRect part = within(image, area);
    if (part.width() < 21 || part.height() < 21)
        return codes;
    const Thresholds t(image, part);
    // Every photo without a card comes here: every other row finds the
    // patterns that matter, those of a code too large or dense for the
    // reader, at half the cost.
    std::vector<QrFinder> finders = findFinders(t, part, small ? 1 : 2);
    const double fewest = small ? cFewestModulesBetweenBlurred : cFewestModulesBetween;
    if (finders.size() > cMostFinders)
        finders.resize(cMostFinders);
    for (std::size_t x = 0; x < finders.size(); ++x) {
        for (std::size_t y = x + 1; y < finders.size(); ++y) {
            for (std::size_t z = y + 1; z < finders.size(); ++z) {
                const std::optional<Corners> c = asCorners(finders[x], finders[y], finders[z]);
                if (!c || modulesBetween(t, *c) < fewest)
                    continue;
                // The fourth corner where the other three put it; beyond the
                // finder patterns' centres lie half a pattern and the quiet zone.
                const QPointF a = c->topLeft->centre, b = c->topRight->centre, d = c->bottomLeft->centre;
                const QPointF e = b + d - a;
                const double module = (c->topLeft->module + c->topRight->module + c->bottomLeft->module) / 3;
                const double pad = 8 * module;
                const QPointF low(std::min({a.x(), b.x(), d.x(), e.x()}) - pad, std::min({a.y(), b.y(), d.y(), e.y()}) - pad);
                const QPointF high(std::max({a.x(), b.x(), d.x(), e.x()}) + pad, std::max({a.y(), b.y(), d.y(), e.y()}) + pad);
                const QRectF full(image.toFullSize(low), image.toFullSize(high));
                if (std::any_of(codes.begin(), codes.end(), [&](const QrLocation &known) { return known.area.contains(full.center()); }))
                    continue;
                codes.push_back({{image.toFullSize(a), image.toFullSize(b), image.toFullSize(d)}, module * image.scale, full});
            }
        }
    }
    if (partly)
        *partly = pairAreas(image, finders, codes);
    return codes;
}

std::optional<QrGridRead> readQrGridAt(const LumaImage &image, const QrLocation &where, bool *confirmed)
{
    if (confirmed)
        *confirmed = false;
    const QRect part = within(image, image.inPicture(where.area));
    if (part.width() < 21 || part.height() < 21)
        return std::nullopt;
    const Thresholds t(image, part);
    // Each finder pattern found again where the other picture saw it: the
    // finer picture places it more exactly.
    const double reach = 6 * where.module / image.scale + 2;
    std::array<QrFinder, 3> refined;
    for (std::size_t i = 0; i < 3; ++i) {
        const QPointF seen = image.inPicture(where.finders[i]);
        const QRect window = QRectF(seen - QPointF(reach, reach), seen + QPointF(reach, reach)).toAlignedRect();
        const std::vector<QrFinder> here = findFinders(t, window);
        const auto nearest = std::min_element(here.begin(), here.end(), [&](const QrFinder &p, const QrFinder &q) {
            return distance(p.centre, seen) < distance(q.centre, seen);
        });
        if (nearest == here.end())
            return std::nullopt;
        refined[i] = *nearest;
    }
    const std::optional<Corners> corners = asCorners(refined[0], refined[1], refined[2]);
    return corners ? readCorners(image, t, *corners, confirmed) : std::nullopt;
}

std::vector<QrGridRead> readQrGrids(const LumaImage &image, const QRect &area, int maxTriples)
{
    std::vector<QrGridRead> reads;
    const QRect part = within(image, area);
    if (part.width() < 21 || part.height() < 21)
        return reads;
    const Thresholds t(image, part);
    std::vector<QrFinder> finders = findFinders(t, part);
    if (finders.size() > cMostFinders)
        finders.resize(cMostFinders);
    int tried = 0;
    std::vector<bool> used(finders.size(), false);
    for (std::size_t x = 0; x < finders.size(); ++x) {
        for (std::size_t y = x + 1; y < finders.size(); ++y) {
            for (std::size_t z = y + 1; z < finders.size(); ++z) {
                if (tried == maxTriples)
                    return reads;
                if (used[x] || used[y] || used[z])
                    continue;
                const std::optional<Corners> corners = asCorners(finders[x], finders[y], finders[z]);
                if (!corners)
                    continue;
                ++tried;
                if (std::optional<QrGridRead> read = readCorners(image, t, *corners, nullptr)) {
                    reads.push_back(std::move(*read));
                    used[x] = used[y] = used[z] = true;
                }
            }
        }
    }
    return reads;
}

} // namespace sorrelby
