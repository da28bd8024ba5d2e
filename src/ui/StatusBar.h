#pragma once

#include <QString>
#include <QWidget>

#include <vector>

class QHBoxLayout;
class QLabel;

namespace lumorra {

// A status bar of keyed panels. Each panel has a key, a text, a tooltip and a bevel; a click on
// a panel reports its 1-based index and its key.
class StatusBar : public QWidget {
    Q_OBJECT
public:
    enum class Bevel { Inset, Raised, Flat };
    struct PanelSpec {
        QString key;
        QString toolTip;
        QString text;
        Bevel bevel = Bevel::Inset;
        // A stretching panel takes the free width; the others fit their text.
        bool stretch = false;
        int minimumWidth = 0;
    };

    explicit StatusBar(QWidget* parent = nullptr);

    // Adds a panel at the right end and returns its 1-based index.
    int addPanel(const PanelSpec& spec);
    int panelCount() const { return static_cast<int>(panels_.size()); }
    // The 1-based index of the panel with this key, or 0.
    int indexOf(const QString& key) const;

    QString key(int index) const;
    QString text(int index) const;
    void setText(int index, const QString& text);
    QString toolTip(int index) const;
    void setToolTip(int index, const QString& toolTip);
    Bevel bevel(int index) const;
    void setBevel(int index, Bevel bevel);
    // The panel's widget, for tests that click it.
    QWidget* panelWidget(int index) const;

signals:
    void panelClicked(int index, const QString& key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Panel {
        QString key;
        Bevel bevel;
        QLabel* label;
    };
    const Panel& at(int index) const;
    Panel& at(int index);

    QHBoxLayout* layout_;
    std::vector<Panel> panels_;
};

} // namespace lumorra
