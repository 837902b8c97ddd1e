#pragma once

// The island's small symbols, drawn as our own vector glyphs (no icon font): the gear, the power
// sign, the shield, the check mark and the rest of the names the island and the settings page use,
// the waste bin, and the toolbar buttons that carry them.

#include <QColor>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <QStringList>

namespace tandrel::island_paint {

// The names drawn as glyphs.
const QStringList& symbolNames();
bool isKnownSymbol(const QString& name);

// The symbol `name` centred in `rect`, about as large as a glyph of a `pointSize` pixel font, in
// `color`. A name that is no symbol is drawn as text, centred, in the island font's medium weight.
void drawSymbol(QPainter& painter, const QString& name, const QRectF& rect, const QColor& color, qreal pointSize);

// The waste bin: lid, handle, body and two ribs, stroked in `color`.
void drawTrashIcon(QPainter& painter, const QRectF& rect, const QColor& color);

// A toolbar button of the inbox: a rounded box (coral when `danger`) with "mark_read_all" (a
// check mark), "trash" (the waste bin) or any other symbol.
void drawClearToolbarButton(QPainter& painter, const QString& symbol, const QRectF& rect, bool danger);

// The 26 x 26 delete button of the settings lists at `rect`'s origin, with the waste bin in
// `color`.
void drawToolbarIconButton(QPainter& painter, const QRectF& rect, const QColor& color);

}  // namespace tandrel::island_paint
