#pragma once

// Shared helpers used by both windows. The two searches of the table lists,
// ListContains and RemoveListItem, live beside the lists (tables/TableList).

#include <QString>

class QWidget;
class SkinFramework;

inline const QString kProductName = QStringLiteral("Quillstone");

// True when the modification time of the file can be read; never throws.
bool FileExists(const QString& path);
// Applies the skin file "x/o.cjs" of the application folder to the connection window,
// when there is one; without it nothing changes.
void ApplySkin(QWidget& connectionWindow, SkinFramework& skinFramework);
// Gives the window, and its frames, labels, check boxes and option buttons, the
// button-face colour.
void ApplyStandardColours(QWidget& window);
// The application title derived from a product name: cut at the last blank until it
// is no longer than 40 characters. A name without a blank is kept whole.
QString ApplicationTitleFrom(const QString& productName);
void SetApplicationTitle();
