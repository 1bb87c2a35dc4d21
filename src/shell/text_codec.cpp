#include "shell/text_codec.h"

namespace vantor {

QString TextCodec::toText(QByteArrayView bytes) const {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] =
            QChar(static_cast<char16_t>(page_->toUnicode(static_cast<unsigned char>(bytes[i]))));
    return text;
}

QByteArray TextCodec::toBytes(const QString& text) const {
    QByteArray bytes(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int byte = page_->fromUnicode(text.at(i).unicode());
        bytes[i] = static_cast<char>(byte < 0 ? '?' : byte);
    }
    return bytes;
}

} // namespace vantor
