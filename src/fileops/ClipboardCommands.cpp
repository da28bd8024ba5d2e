#include "ClipboardCommands.h"

#include "browser/MainWindow.h"
#include "core/Services.h"
#include "picture/PictureLoader.h"
#include "picture/ShownPicture.h"
#include "picture/colour/Colour.h"
#include "platform/Clipboard.h"
#include "platform/Error.h"
#include "ui/PictureArea.h"
#include "ui/StatusBar.h"

#include <QPushButton>
#include <QRadioButton>

namespace lumorra {

ClipboardCommands::ClipboardCommands(MainWindow& window, Services& services)
    : QObject(&window), w_(window), s_(services) {
    connect(w_.Command6, &QPushButton::clicked, this, &ClipboardCommands::Command6_Click);
    connect(w_.Command3, &QPushButton::clicked, this, &ClipboardCommands::Command3_Click);
}

void ClipboardCommands::Command6_Click() {
    withFailureHandler(
        [&] {
            // The clipboard carries no profile: sRGB pixels.
            const QImage picture = s_.colour.screenToSrgb(w_.Image1->picture());
            // Nothing to copy: the clipboard keeps what the user had put there.
            if (picture.isNull())
                throw Error::program(errc::InvalidPicture);
            s_.clipboard.clear();
            s_.clipboard.setPicture(picture);
            w_.Command6->setEnabled(false);
            w_.Command6->setText(QStringLiteral("Copy done"));
        },
        [&](const Error&) {
            reportFailure(s_, QStringLiteral("Clipboard copy ERROR"),
                          QStringLiteral("Unable to copy the picture to the clipboard. The "
                                         "clipboard may be 'defect'."),
                          &w_);
        });
}

void ClipboardCommands::Command3_Click() {
    withFailureHandler(
        [&] {
            // Another program's picture is read in a decoder worker, as a file's bytes are;
            // one this program put there is its own image already.
            const QByteArray bytes = s_.clipboard.pictureBytes();
            const QImage picture =
                bytes.isEmpty()
                    ? s_.clipboard.picture()
                    : decodePicture(s_.decoders, bytes, QSize(), MetafilePolicy::Refuse).image;
            if (picture.isNull())
                throw Error::program(errc::InvalidPicture);
            PictureArea* area = w_.Image1;
            // A picture from the clipboard is no drawing to draw afresh from a file.
            area->setPicture(ShownPicture::fromImage(picture));
            area->hide();
            area->setStretch(false);
            area->resize(area->naturalSize());
            // The 1:1 option's own zoom runs only when it was not chosen already; it leaves
            // the picture at its natural size.
            if (!w_.Option3->isChecked())
                w_.Option3->click();
            w_.StatusBar1->setText(4, QStringLiteral("1:1"));
            area->show();
        },
        [&](const Error&) {
            reportFailure(s_, QStringLiteral("Image paste ERROR"),
                          QStringLiteral("Unable to paste picture from the clipboard. The data "
                                         "may be corrupted"),
                          &w_);
        });
}

} // namespace lumorra
