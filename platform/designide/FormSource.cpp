#include "FormFile.h"

namespace {

// The length of the valid UTF-8 sequence at Bytes[At], 0 when there is none.
qsizetype utf8SequenceAt(const QByteArray &Bytes, qsizetype At)
{
    const auto byte = [&](qsizetype I) {
        return uchar(Bytes[I]);
    };
    const uchar b = byte(At);
    int length = 0;
    uint lowest = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        lowest = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        lowest = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (At + length > Bytes.size())
        return 0;
    uint code = b & (0xFF >> (length + 1));
    for (int i = 1; i < length; ++i) {
        if ((byte(At + i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(At + i) & 0x3F);
    }
    // Overlong forms, surrogates and code points past Unicode are no UTF-8.
    if (code < lowest || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return 0;
    return length;
}

} // namespace

QString DecodeFormFileBytes(const QByteArray &Bytes)
{
    if (Bytes.isValidUtf8())
        return QString::fromUtf8(Bytes);
    // Valid runs as UTF-8, each other byte as U+DC00 plus the byte.
    QString text;
    text.reserve(Bytes.size());
    qsizetype runStart = 0;
    qsizetype at = 0;
    while (at < Bytes.size()) {
        if (uchar(Bytes[at]) < 0x80) {
            ++at;
            continue;
        }
        const qsizetype length = utf8SequenceAt(Bytes, at);
        if (length > 0) {
            at += length;
            continue;
        }
        text += QString::fromUtf8(Bytes.constData() + runStart, at - runStart);
        text += QChar(char16_t(0xDC00 + uchar(Bytes[at])));
        runStart = ++at;
    }
    text += QString::fromUtf8(Bytes.constData() + runStart, at - runStart);
    return text;
}

QByteArray EncodeFormFileText(const QString &Text)
{
    const auto isKeptByte = [](QChar C) {
        return C.unicode() >= 0xDC80 && C.unicode() <= 0xDCFF;
    };
    // A kept byte is a lone low surrogate: one never follows a high one.
    qsizetype at = 0;
    while (at < Text.size()
           && !(isKeptByte(Text[at]) && (at == 0 || !Text[at - 1].isHighSurrogate())))
        ++at;
    if (at == Text.size())
        return Text.toUtf8();
    QByteArray bytes;
    bytes.reserve(Text.size() + Text.size() / 8);
    qsizetype runStart = 0;
    for (at = 0; at < Text.size(); ++at) {
        if (!isKeptByte(Text[at]) || (at > 0 && Text[at - 1].isHighSurrogate()))
            continue;
        bytes += QStringView(Text).mid(runStart, at - runStart).toUtf8();
        bytes += char(Text[at].unicode() - 0xDC00);
        runStart = at + 1;
    }
    bytes += QStringView(Text).mid(runStart).toUtf8();
    return bytes;
}
