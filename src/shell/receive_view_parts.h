#pragma once
// What the files of ReceiveView share: how the pane lays out its text, and a few helpers.
// The view is split by concern: the text and its caret (receive_view.cpp), layout,
// scrolling and painting (receive_view_layout.cpp), the caret, selection, mouse and keys
// (receive_view_input.cpp), and what a screen reader reads (receive_view_access.cpp).

#include <QChar>
#include <QString>

#include <cstddef>
#include <string_view>

namespace vantor::receive_view {

// As a plain text box lays out its text: a margin round it and tabs every 80 pixels.
inline constexpr qreal kMargin = 4;
inline constexpr qreal kTabStop = 80;
// Layouts kept, in characters: a laid-out character costs tens of bytes, so this is
// kept to a few screens' worth. A flood lays out each line it shows once. A layout also
// costs something of its own, counted as this many characters, so that a flood of empty
// lines is bounded too.
inline constexpr std::size_t kMaxLaidChars = 256 * 1024;
inline constexpr std::size_t kLayoutCost = 256;
inline constexpr int kDragScrollMs = 50;

inline QString toQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

inline bool isWordCharacter(char16_t c) {
    return QChar(c).isLetterOrNumber() || c == u'_';
}

// Makes screen readers see the pane (once, at the first view).
void installAccessibility();

} // namespace vantor::receive_view
