#pragma once
// Sizes that hold on small screens and in long languages.

class QTreeWidget;
class QWidget;

namespace qv {

// Shrinks `window` to the available area of its screen (panels left out) and
// moves it inside; its minimum size, where larger, still wins.
void keepOnScreen(QWidget* window);

// Makes `window` at least wide enough for its title in the window manager's
// (usually bold) font and the frame's buttons, up to 720 pixels, so a long
// translated title is not cut short.
void widenForTitle(QWidget* window);

// Widens every column of `list` but the last to its header and contents, each
// to at most two fifths of the list (the last column takes the rest).
void fitColumns(QTreeWidget* list);

}  // namespace qv
