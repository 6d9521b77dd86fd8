#pragma once
// The entries of one listed level of a picker's tree: every name back to back in one buffer and
// one picture index per entry. A directory may hold hundreds of thousands of files; an object
// and a string of its own per entry would cost several times what the names themselves take.

#include <QString>
#include <QStringView>

#include <vector>

class NodeListing {
public:
    void append(QStringView name, int picture);
    // Hands back what the buffers grew beyond their entries; for a level that is complete.
    void squeeze();

    int size() const { return int(pictures_.size()); }
    bool isEmpty() const { return pictures_.empty(); }
    // Valid while the listing lives and is not appended to.
    QStringView name(int row) const;
    int picture(int row) const { return pictures_[size_t(row)]; }

private:
    QString names_;
    std::vector<qsizetype> ends_; // where each name ends in names_
    std::vector<unsigned char> pictures_;
};
