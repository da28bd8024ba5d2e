#include "QtDialogs.h"

#include "Help.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
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
    // Texts name files and directories as they are: a "<" in a name is no markup.
    box.setTextFormat(Qt::PlainText);
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
    prompt->setObjectName(QStringLiteral("InputPrompt"));
    prompt->setTextFormat(Qt::PlainText);
    prompt->setWordWrap(true);
    prompt->setMinimumWidth(360);
    layout->addWidget(prompt);
    auto* edit = new QLineEdit(spec.defaultText, &dialog);
    edit->setObjectName(QStringLiteral("InputText"));
    edit->selectAll();
    layout->addWidget(edit);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    if (spec.helpTopic != 0) {
        dialog.setProperty("helpTopic", spec.helpTopic); // F1 opens it too
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

QStringList qtFileFilters(const QString& programFilters) {
    QStringList out;
    const QStringList parts = programFilters.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString label = parts[i];
        // The label names its masks in parentheses already; Qt reads the masks from there,
        // separated by spaces.
        const qsizetype open = label.lastIndexOf(QLatin1String(" ("));
        if (open >= 0 && label.endsWith(QLatin1Char(')')))
            label.truncate(open);
        QString masks = parts[i + 1];
        masks.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << label + QLatin1String(" (") + masks + QLatin1Char(')');
    }
    return out;
}

std::optional<FileDialogResult> QtDialogs::file(const FileDialogSpec& spec) {
    QFileDialog dialog(ownerOr(spec.owner), spec.title);
    dialog.setObjectName(QStringLiteral("FileDialog"));
    // Qt's own dialog, so that it can carry the Help button.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const bool save = spec.mode == FileDialogSpec::Mode::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !spec.confirmOverwrite);
    const QStringList filters = qtFileFilters(spec.filters);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    QString suffix = spec.defaultExtension;
    if (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (spec.filterIndex >= 1 && spec.filterIndex <= filters.size())
        dialog.selectNameFilter(filters[spec.filterIndex - 1]);
    if (spec.extensionFromFilter) {
        const auto follow = [&dialog, &spec, filters](const QString& filter) {
            const int index = static_cast<int>(filters.indexOf(filter)) + 1;
            dialog.setDefaultSuffix(filterExtension(spec.filters, index).mid(1));
        };
        follow(dialog.selectedNameFilter());
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, follow);
    }
    if (!spec.fileName.isEmpty()) {
        const QFileInfo info(spec.fileName);
        if (info.isAbsolute())
            dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    }
    if (spec.helpTopic != 0) {
        dialog.setProperty("helpTopic", spec.helpTopic); // F1 opens it too
        if (auto* box = dialog.findChild<QDialogButtonBox*>()) {
            QPushButton* help = box->addButton(QDialogButtonBox::Help);
            QObject::connect(help, &QPushButton::clicked, &dialog,
                             [this, &spec] { help_.showTopic(spec.helpFile, spec.helpTopic); });
        }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const int index = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
    return FileDialogResult{dialog.selectedFiles().constFirst(), index < 0 ? 1 : index + 1};
}

} // namespace lumorra
