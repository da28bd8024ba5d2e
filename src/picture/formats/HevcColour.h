#pragma once

// The colour a HEVC stream signals itself, in the video usability information of its sequence
// parameter set: what a HEIF picture without a colour box of its own was graded in.

#include <QByteArrayView>
#include <QtGlobal>

namespace lumorra::picture {

// CICP code points; 0 where the stream signals none (or "unspecified").
struct StreamColour {
    int primaries = 0;
    int transfer = 0;
};

// The colour the sequence parameter set of a HEVC configuration record (an hvcC box's payload)
// signals.
StreamColour hevcConfigurationColour(QByteArrayView hvcC);

// The colour the HEVC stream of item `item` of the HEIF file `bytes` signals: of the item's own
// configuration, or of the file's first one where it has none (a grid, whose tiles have them).
StreamColour heifStreamColour(QByteArrayView bytes, quint32 item);

} // namespace lumorra::picture
