#pragma once

// A photo's camera details, read from its EXIF with libexiv2. Not part of the loader's
// interface.

#include <QByteArray>

namespace lumorra::picture {

// The details of the picture in `bytes` as text, one field a line in the order of
// PictureDetails (PictureLoader.h), a field empty where the picture has none; empty for a
// picture without EXIF and for bytes libexiv2 cannot read. Runs in a decoder worker.
QByteArray readPictureDetails(const QByteArray& bytes);

// What readPictureDetails() needs of the system, read while the worker may still open files:
// libexiv2 asks for the local time zone.
void prepareDetailsReading();

} // namespace lumorra::picture
