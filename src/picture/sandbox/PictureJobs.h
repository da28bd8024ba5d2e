#pragma once

// What a decoder worker does with a picture's bytes: everything of loading a picture but the
// colour transform, which needs the screen's profile and stays with the program. Not part of
// the loader's interface.

#include "Sandbox.h"
#include "picture/Decoding.h"

#include <QImageIOHandler>

namespace lumorra::picture {

// The picture turned upright as its EXIF orientation says, as Qt's reader turns what it decodes.
QImage upright(QImage image, QImageIOHandler::Transformations t);

// The picture in `file` (its bytes held) for showing at `shown`, within `budget` bytes
// (the bytes held count against it). `hostOnly`: SVG is decoded too (a drawing worker);
// otherwise it comes back with the HostOnly flag and no image. `memory` is the address space the
// decode may take beyond the process's own (a camera RAW's working buffers count against it), 0 for
// no limit of its own. Throws like loadPicture().
JobReply decodeJob(PictureFile& file, QSize shown, qint64 budget, bool hostOnly, qint64 memory = 0);

// The job of a request, run in this process (a worker).
JobReply runPictureJob(const JobRequest& request);

} // namespace lumorra::picture
