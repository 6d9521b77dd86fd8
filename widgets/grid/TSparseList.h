#pragma once
// Sparse index -> item storage for the string grid, so that a large, mostly empty table costs
// memory only for the items written. Two levels: a directory of section pointers that grows to
// the highest section used, and sections of 16 or 256 owned slots created on first write. The
// last section read is cached, since reads come in runs along a row or a column.

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <vector>

enum class TSPAQuantum { SPASmall, SPALarge }; // 16 or 256 slots a section

template <typename T>
class TSparsePointerArray {
public:
    explicit TSparsePointerArray(TSPAQuantum quantum)
        : shift_(quantum == TSPAQuantum::SPASmall ? 4 : 8), mask_((1 << shift_) - 1) {}

    int sectionSize() const { return 1 << shift_; }

    // Null when nothing is stored at the index.
    T* get(int index) const {
        if (index < 0 || index > highBound_)
            return nullptr;
        const Section* section = sectionFor(index >> shift_);
        return section ? section->entries[index & mask_].get() : nullptr;
    }

    // Stores (or, with null, removes) the item at the index; returns the stored item.
    T* put(int index, std::unique_ptr<T> item) {
        if (index < 0)
            throw std::out_of_range("negative sparse index");
        const int sectionIndex = index >> shift_;
        if (!item) {
            if (index > highBound_)
                return nullptr;
            if (Section* section = sectionFor(sectionIndex))
                section->entries[index & mask_].reset();
            if (index == highBound_)
                lowerHighBound();
            return nullptr;
        }
        if (sectionIndex >= int(directory_.size()))
            directory_.resize(size_t(sectionIndex) + 1);
        auto& section = directory_[size_t(sectionIndex)];
        if (!section)
            section = std::make_unique<Section>(size_t(sectionSize()));
        T* stored = item.get();
        section->entries[index & mask_] = std::move(item);
        if (index > highBound_)
            highBound_ = index;
        return stored;
    }

    // Takes the item out, leaving the slot empty.
    std::unique_ptr<T> take(int index) {
        if (index < 0 || index > highBound_)
            return nullptr;
        Section* section = sectionFor(index >> shift_);
        if (!section)
            return nullptr;
        std::unique_ptr<T> item = std::move(section->entries[index & mask_]);
        if (index == highBound_)
            lowerHighBound();
        return item;
    }

    // Highest index holding an item, -1 when empty.
    int highBound() const { return highBound_; }
    // Sections allocated: what the array costs beyond its directory.
    int sectionCount() const {
        int n = 0;
        for (const auto& section : directory_)
            n += section ? 1 : 0;
        return n;
    }

    // Calls f(index, item) for every stored item in index order; f may change the items, not
    // which indexes hold one.
    template <typename F>
    void forAll(F&& f) {
        forEach(*this, f);
    }
    template <typename F>
    void forAll(F&& f) const {
        forEach(*this, f);
    }

    void clear() {
        directory_.clear();
        highBound_ = -1;
        cachedIndex_ = -1;
        cachedSection_ = nullptr;
    }

private:
    struct Section {
        explicit Section(size_t size) : entries(size) {}
        std::vector<std::unique_ptr<T>> entries;
    };

    // Both forAll overloads: the item is const exactly when the array is.
    template <typename Self>
    using Item = std::conditional_t<std::is_const_v<Self>, const T, T>;
    template <typename Self, typename F>
    static void forEach(Self& self, F& f) {
        for (size_t s = 0; s < self.directory_.size(); ++s) {
            const auto& section = self.directory_[s];
            if (!section)
                continue;
            for (int i = 0; i < self.sectionSize(); ++i)
                if (Item<Self>* item = section->entries[size_t(i)].get())
                    f(int(s) * self.sectionSize() + i, *item);
        }
    }

    Section* sectionFor(int sectionIndex) const {
        if (sectionIndex == cachedIndex_)
            return cachedSection_;
        if (sectionIndex >= int(directory_.size()))
            return nullptr;
        Section* section = directory_[size_t(sectionIndex)].get();
        if (section) { // sections live until clear(), so only a present one may be remembered
            cachedIndex_ = sectionIndex;
            cachedSection_ = section;
        }
        return section;
    }

    void lowerHighBound() {
        while (highBound_ >= 0) {
            const Section* section = sectionFor(highBound_ >> shift_);
            if (section && section->entries[size_t(highBound_ & mask_)])
                return;
            --highBound_;
        }
    }

    int shift_;
    int mask_;
    std::vector<std::unique_ptr<Section>> directory_;
    int highBound_ = -1;
    mutable int cachedIndex_ = -1;
    mutable Section* cachedSection_ = nullptr;
};

// The list face of the array: a count one past the high bound, and moving one item to another
// index with the items between shifting by one (a grid row or column dragged elsewhere).
template <typename T>
class TSparseList {
public:
    explicit TSparseList(TSPAQuantum quantum) : array_(quantum) {}

    int Count() const { return array_.highBound() + 1; }
    T* get(int index) const { return array_.get(index); }
    int sectionCount() const { return array_.sectionCount(); }
    int sectionSize() const { return array_.sectionSize(); }
    T* put(int index, std::unique_ptr<T> item) { return array_.put(index, std::move(item)); }
    std::unique_ptr<T> take(int index) { return array_.take(index); }
    void clear() { array_.clear(); }

    template <typename F>
    void forAll(F&& f) {
        array_.forAll(std::forward<F>(f));
    }
    template <typename F>
    void forAll(F&& f) const {
        array_.forAll(std::forward<F>(f));
    }

    void Move(int from, int to) {
        if (from == to || from < 0 || to < 0)
            return;
        std::unique_ptr<T> moving = array_.take(from);
        if (from < to)
            for (int i = from + 1; i <= to && i <= array_.highBound(); ++i)
                array_.put(i - 1, array_.take(i));
        else
            for (int i = from - 1; i >= to; --i)
                if (i <= array_.highBound())
                    array_.put(i + 1, array_.take(i));
        array_.put(to, std::move(moving));
    }

private:
    TSparsePointerArray<T> array_;
};
