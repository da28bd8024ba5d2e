#include "QtDialogs.h"

#include "Help.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace lumorra {
namespace {

QMessageBox::StandardButton toStandard(Answer a) {
    switch (a) {
    case Answer::Ok:
        return QMessageBox::Ok;
    case Answer::Cancel:
        return QMessageBox::Cancel;
    case Answer::Yes:
        return QMessageBox::Yes;
    case Answer::No:
        return QMessageBox::No;
    }
    return QMessageBox::NoButton;
}

QWidget* ownerOr(QWidget* owner) {
    return owner ? owner : QApplication::activeWindow();
}

} // namespace

Answer QtDialogs::message(const MessageBoxSpec& spec) {
    QMessageBox box(ownerOr(spec.owner));
    box.setWindowTitle(spec.title);
    box.setText(spec.text);
    switch (spec.icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case Icon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    }
    QMessageBox::StandardButtons buttons;
    Answer escape = Answer::Ok;
    switch (spec.buttons) {
    case Buttons::Ok:
        buttons = QMessageBox::Ok;
        escape = Answer::Ok;
        break;
    case Buttons::OkCancel:
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        escape = Answer::Cancel;
        break;
    case Buttons::YesNo:
        buttons = QMessageBox::Yes | QMessageBox::No;
        escape = Answer::No;
        break;
    case Buttons::YesNoCancel:
        buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        escape = Answer::Cancel;
        break;
    }
    box.setStandardButtons(buttons);
    if (spec.defaultButton)
        box.setDefaultButton(toStandard(*spec.defaultButton));
    box.setEscapeButton(toStandard(escape));
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Ok:
        return Answer::Ok;
    default:
        return escape;
    }
}

std::optional<QString> QtDialogs::input(const InputBoxSpec& spec) {
    QDialog dialog(ownerOr(spec.owner));
    dialog.setObjectName(QStringLiteral("InputBox"));
    dialog.setWindowTitle(spec.title);
    auto* layout = new QVBoxLayout(&dialog);
    auto* prompt = new QLabel(spec.prompt, &dialog);
    prompt->setWordWrap(true);
    prompt->setMinimumWidth(360);
    layout->addWidget(prompt);
    auto* edit = new QLineEdit(spec.defaultText, &dialog);
    edit->setObjectName(QStringLiteral("InputText"));
    edit->selectAll();
    layout->addWidget(edit);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    if (spec.helpTopic != 0) {
        QPushButton* help = box->addButton(QDialogButtonBox::Help);
        QObject::connect(help, &QPushButton::clicked, &dialog,
                         [this, &spec] { help_.showTopic(spec.helpFile, spec.helpTopic); });
    }
    QObject::connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(box);
    if (spec.position) {
        dialog.adjustSize();
        dialog.move(*spec.position);
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return edit->text();
}

void QtDialogs::beep() {
    QApplication::beep();
}

} // namespace lumorra
