#include "NodeListing.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace {

constexpr qsizetype kLongestName = 0xFFFFFF; // what the 24 bits of a record's length hold

std::unique_ptr<char16_t[]> newBlock(qsizetype chars) {
    return std::make_unique_for_overwrite<char16_t[]>(size_t(chars));
}

} // namespace

void NodeListing::append(QStringView name, int picture) {
    const qsizetype length = name.size();
    if (length > kLongestName)
        throw std::length_error("a listed name is too long");
    const auto makeRoom = [this](qsizetype blocks) {
        if (qsizetype(blocks_.size()) + blocks > qsizetype(std::numeric_limits<quint32>::max() / kBlockChars))
            throw std::length_error("a listing is too long");
    };
    qsizetype block = 0;
    qsizetype offset = 0;
    if (length > kBlockChars) {
        // A name longer than a block gets one of its own size, and the block numbers it covers,
        // so that every record still finds its block by division.
        const qsizetype spanned = (length + kBlockChars - 1) / kBlockChars;
        makeRoom(spanned);
        block = qsizetype(blocks_.size());
        blocks_.push_back(newBlock(length));
        blocks_.resize(size_t(block + spanned));
        used_ = kBlockChars; // the next name starts a new block
    } else {
        if (blocks_.empty() || used_ + length > kBlockChars) { // a name never straddles two blocks
            makeRoom(1);
            blocks_.push_back(newBlock(kBlockChars));
            used_ = 0;
        }
        block = qsizetype(blocks_.size()) - 1;
        offset = used_;
        used_ += length;
    }
    std::copy(name.utf16(), name.utf16() + length, blocks_[size_t(block)].get() + offset);
    entries_.push_back({quint32(block * kBlockChars + offset), quint32(length) << 8 | quint32(picture & 0xFF)});
}

QStringView NodeListing::name(int row) const {
    const Entry& entry = entries_[size_t(row)];
    const char16_t* block = blocks_[entry.start / kBlockChars].get();
    return QStringView(block + entry.start % kBlockChars, qsizetype(entry.lengthAndPicture >> 8));
}
