#include "NodeListing.h"

void NodeListing::append(QStringView name, int picture) {
    names_.append(name);
    ends_.push_back(names_.size());
    pictures_.push_back(static_cast<unsigned char>(picture));
}

void NodeListing::squeeze() {
    names_.squeeze();
    ends_.shrink_to_fit();
    pictures_.shrink_to_fit();
}

QStringView NodeListing::name(int row) const {
    const qsizetype begin = row == 0 ? 0 : ends_[size_t(row) - 1];
    return QStringView(names_).mid(begin, ends_[size_t(row)] - begin);
}
