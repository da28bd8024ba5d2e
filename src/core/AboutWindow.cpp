#include "AboutWindow.h"

#include "Artwork.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace lumorra {

AboutWindow::AboutWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(QStringLiteral("About Lumorra"));
    setModal(true);

    Label1 = titleLabel("Label1", QStringLiteral("Lumorra 3.0"), 20, true, this);
    Label2 = titleLabel("Label2", QStringLiteral("For Windows 95/98/NT"), 10, false, this);
    Image1 = pictureLabel("Image1", 96, this);
    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &AboutWindow::Command1_Click);

    auto* text = new QVBoxLayout;
    text->addWidget(Label1);
    text->addWidget(Label2);
    text->addStretch();
    text->addWidget(Command1, 0, Qt::AlignRight);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(18, 18, 18, 18);
    row->setSpacing(18);
    row->addWidget(Image1, 0, Qt::AlignTop);
    row->addLayout(text);
}

void AboutWindow::Command1_Click() {
    accept();
}

} // namespace lumorra
