#include "HelpViewer.h"

#include <QWidget>

namespace lumorra {

class HelpWindow : public QWidget {};

HelpFile HelpFile::parse(const QByteArray&) { return HelpFile(); }
HelpFile HelpFile::load(const QString&) { return HelpFile(); }
const HelpTopic* HelpFile::topic(int number) const {
    auto it = topics_.find(number);
    return it == topics_.end() ? nullptr : &it->second;
}

HelpViewer::HelpViewer() = default;
HelpViewer::~HelpViewer() = default;
void HelpViewer::showTopic(const QString&, int) {}
void HelpViewer::showContents(const QString&) {}
QWidget* HelpViewer::window() const { return window_.get(); }

} // namespace lumorra
