#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace lumorra {

// The order of the lists: letter case ignored, runs of digits compared by their value, so
// "img2" comes before "img10". Names equal but for case or leading zeros still get a fixed
// order, so sorting is stable across runs.
bool naturalLess(const QString& a, const QString& b);
// Sorts names in that order, folding each name once.
void naturalSort(QStringList& names);
// The positions of the names in that order: first the index of the name that sorts first.
std::vector<qsizetype> naturalOrder(const QStringList& names);

} // namespace lumorra
