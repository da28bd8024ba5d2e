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

    Label1 = titleLabel(QStringLiteral("Lumorra 3.0"), 20, true, this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = titleLabel(QStringLiteral("For Windows 95/98/NT"), 10, false, this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Image1 = pictureLabel(96, this);
    Image1->setObjectName(QStringLiteral("Image1"));
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
