// The RTF reader: any bytes read into a document, which is then written and read back. Metafile
// pictures in the input are drawn by the metafile readers in their child process.

#include "FuzzSupport.h"
#include "editor/rtf/Rtf.h"
#include "picture/sandbox/Sandbox.h"

#include <QTextDocument>

namespace {

// The decoder workers of the run.
lumorra::picture::DecoderPool& decoders() {
    static lumorra::picture::DecoderPool pool(lumorra::picture::DecoderPool::defaultProgram());
    return pool;
}

QString writtenText(const QTextDocument& document) {
    QString text = document.toPlainText();
    text.removeIf([](QChar c) {
        return (c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n')) ||
               c.unicode() == 0xFFFC;
    });
    return text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    lumorra::fuzz::startApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input = lumorra::fuzz::bytes(data, size);
    (void)lumorra::rtf::isRtf(input);
    QTextDocument document;
    lumorra::rtf::read(decoders(), input, document);
    const QByteArray written = lumorra::rtf::write(decoders(), document);
    QTextDocument again;
    lumorra::rtf::read(decoders(), written, again);
    // What the writer writes the reader reads back as the same text, but for what the writer
    // leaves out on purpose: control characters and objects without a picture.
    if (writtenText(again) != writtenText(document))
        __builtin_trap();
    return 0;
}
