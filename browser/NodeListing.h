#pragma once
// The entries of one listed level of a picker's tree: the names packed into blocks of text and
// one small record per entry. A directory may hold hundreds of thousands of files; an object and
// a string of its own per entry would cost several times what the names themselves take.

#include <QStringView>

#include <deque>
#include <memory>
#include <vector>

class NodeListing {
public:
    // Throws std::length_error past what a record can hold (a name of 16 M characters, 4 G in all).
    void append(QStringView name, int picture);

    int size() const { return int(entries_.size()); }
    bool isEmpty() const { return entries_.empty(); }
    // Valid while the listing lives; appending moves nothing already held.
    QStringView name(int row) const;
    int picture(int row) const { return int(entries_[size_t(row)].lengthAndPicture & 0xFF); }

private:
    // Blocks of a fixed, modest size grow without copying what they hold and leave no more than
    // part of one block unused, where one doubling buffer would copy it all and leave up to half
    // unused. Being small, they also fit the heap space the query's freed rows leave behind.
    static constexpr qsizetype kBlockChars = 4096;

    struct Entry {
        quint32 start;            // block * kBlockChars + offset in the block
        quint32 lengthAndPicture; // length << 8 | picture
    };

    std::vector<std::unique_ptr<char16_t[]>> blocks_; // a longer name takes a block of its own size
    qsizetype used_ = 0;                               // characters used in the last block
    std::deque<Entry> entries_;                        // grows by small pieces, without copying
};
