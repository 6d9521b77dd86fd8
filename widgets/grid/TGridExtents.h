#pragma once
// One value per column or row of a grid axis (widths, heights, tab stops). The array does not
// exist until some entry is set individually; until then every index reads as the default.
// Every change of its length is checked before anything is allocated, so a table too large
// for it fails cleanly instead of taking gigabytes first.

#include "HtGridTypes.h"

#include <QList>

#include <algorithm>

template <typename T>
class TGridExtents {
public:
    // Longest array the grid keeps per axis.
    static constexpr qint64 MaxEntries = 134217725;

    bool isEmpty() const { return values_.isEmpty(); }
    qsizetype size() const { return values_.size(); }

    T value(qint64 index, T fallback) const {
        return (index >= 0 && index < values_.size()) ? values_[qsizetype(index)] : fallback;
    }

    // Sets one entry, creating the array with count default entries on the first individual set.
    void set(int index, T value, int count, T fallback) {
        if (index < 0 || index >= count)
            throw EInvalidGridOperation(GridMessages::IndexOutOfRange);
        if (values_.isEmpty()) {
            checkChange(0, 0, count);
            values_ = QList<T>(count, fallback);
        }
        values_[index] = value;
    }

    // Raises the error a change of amount entries at index would meet, without changing anything:
    // an index beyond the end, fewer than 0 entries or more removed than lie after the index, or
    // an array longer than MaxEntries.
    static void checkChange(qint64 length, qint64 index, qint64 amount) {
        if (index < 0 || index > length)
            throw EInvalidGridOperation(GridMessages::IndexOutOfRange);
        if (length + amount < 0 || (amount < 0 && -amount > length - index))
            throw EInvalidGridOperation(GridMessages::TooManyDeleted);
        if (length + amount > MaxEntries)
            throw EInvalidGridOperation(GridMessages::TooLarge);
    }

    // Inserts amount default entries at index, or removes -amount entries from it.
    void modify(qint64 index, qint64 amount, T fallback) {
        if (amount == 0)
            return;
        checkChange(values_.size(), index, amount);
        if (amount > 0)
            values_.insert(qsizetype(index), qsizetype(amount), fallback);
        else
            values_.remove(qsizetype(index), qsizetype(-amount));
    }

    // Follows a new count of the axis: entries are added or dropped at the end. An array that
    // does not exist stays absent.
    void checkResize(qint64 count) const {
        if (!values_.isEmpty())
            checkChange(values_.size(), std::min<qint64>(count, values_.size()), count - values_.size());
    }
    void resize(qint64 count, T fallback) {
        if (!values_.isEmpty())
            modify(std::min<qint64>(count, values_.size()), count - values_.size(), fallback);
    }

    // The entry leaves its index and those between shift by one.
    void move(int from, int to) {
        if (!values_.isEmpty())
            values_.move(from, to);
    }

    void clear() { values_.clear(); }

private:
    QList<T> values_;
};
