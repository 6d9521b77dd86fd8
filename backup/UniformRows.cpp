#include "UniformRows.h"

#include <QFontMetrics>
#include <QListWidget>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// Rows measured exactly: the estimate leaves out kerning and shaping, which moves a width by a few
// pixels at most, so the widest row is among the few widest estimates.
constexpr size_t kCandidates = 8;

} // namespace

void UniformRows::enable(QListWidget* list) {
    list->setUniformItemSizes(true);
}

void UniformRows::fitWidest(QListWidget* list, const QStringList& texts) {
    const int count = int(std::min<qsizetype>(list->count(), texts.size()));
    if (count == 0)
        return;
    const QFontMetrics metrics(list->font());
    std::vector<int> advances(0x10000, -1);     // by UTF-16 unit; a surrogate counts as a character's half
    std::vector<std::pair<int, int>> estimates; // (estimated width, row)
    estimates.reserve(size_t(count));
    for (int row = 0; row < count; ++row) {
        int width = 0;
        for (QChar c : texts[row]) {
            int& advance = advances[c.unicode()];
            if (advance < 0)
                advance = metrics.horizontalAdvance(c);
            width += advance;
        }
        estimates.emplace_back(width, row);
    }
    const size_t candidates = std::min(kCandidates, estimates.size());
    std::partial_sort(estimates.begin(), estimates.begin() + std::ptrdiff_t(candidates), estimates.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
    QListWidgetItem* last = list->item(count - 1);
    last->setSizeHint(QSize()); // measure the last row as it is, not as a former fill sized it
    int width = 0;
    for (size_t i = 0; i < candidates; ++i)
        width = std::max(width, list->sizeHintForIndex(list->model()->index(estimates[i].second, 0)).width());
    const QSize own = list->sizeHintForIndex(list->model()->index(count - 1, 0));
    last->setSizeHint(QSize(std::max(width, own.width()), own.height()));
}
