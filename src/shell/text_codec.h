#pragma once
// Wire bytes to the text of the window's boxes and back, through the chosen single-byte
// code page. Only the pane, the console line and the text boxes convert; everything on
// the way between the wire, the log and files stays bytes.

#include "core/code_page.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace vantor {

class TextCodec {
public:
    explicit TextCodec(const core::CodePage& page = core::CodePage::defaultPage()) : page_(&page) {}
    const core::CodePage& page() const { return *page_; }

    QString toText(QByteArrayView bytes) const;
    // Characters the page has no byte for become '?'.
    QByteArray toBytes(const QString& text) const;

private:
    const core::CodePage* page_;
};

} // namespace vantor
