#pragma once

class QAbstractScrollArea;

namespace ui {

// Draws a dotted frame in the palette's highlight colour inside the edge of a list, grid or text area
// while it has the keyboard focus. An empty list, a read-only text, or rows whose selection looks the same
// with and without the focus would otherwise not show a keyboard user where the keys go. The frame lies
// over the view's contents, takes no mouse and no focus, and goes with the view.
void showFocusFrame(QAbstractScrollArea *view);

} // namespace ui
