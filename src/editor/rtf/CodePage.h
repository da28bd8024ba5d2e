#pragma once

#include <QByteArray>
#include <QString>

namespace lumorra::rtf {

// The Windows code page 1252 byte of a character, or -1 when the page has none.
int cp1252Byte(char16_t c);
// The character of a code page 1252 byte.
char16_t cp1252Char(unsigned char byte);

// The code page of an RTF font character set (\fcharsetN); 0 for "the document's code page".
int charsetCodePage(int charset);

// Decodes bytes of a Windows or DOS code page; code pages the system cannot decode are read as
// code page 1252.
QString decodeCodePage(const QByteArray& bytes, int codePage);

} // namespace lumorra::rtf
