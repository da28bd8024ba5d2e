#pragma once

#include <QByteArray>
#include <QImage>

namespace lumorra {

// The system clipboard, for pictures. Other programs share it: what one puts there another
// reads, in whatever picture format both know.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    // Empties the clipboard. Throws Error when there is no clipboard.
    virtual void clear() = 0;
    // Puts the picture onto the clipboard. Throws Error 481 "Invalid picture" for a null picture
    // and when there is no clipboard.
    virtual void setPicture(const QImage& picture) = 0;
    // The clipboard's picture. Throws Error 481 "Invalid picture" when the clipboard holds no
    // picture or its data cannot be read as one.
    virtual QImage picture() const = 0;
    // The bytes of a picture another program put onto the clipboard (PNG, BMP, JPEG, ...), for
    // the decoder workers to read; empty when the clipboard holds none, or holds a picture of
    // this process's own, which picture() gives.
    virtual QByteArray pictureBytes() const { return {}; }
};

// The desktop's clipboard through Qt. Offscreen it works inside the one process only.
class QtClipboard : public Clipboard {
public:
    void clear() override;
    void setPicture(const QImage& picture) override;
    QImage picture() const override;
    QByteArray pictureBytes() const override;
};

} // namespace lumorra
