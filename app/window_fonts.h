#pragma once

#include <QFont>
#include <QStringList>

namespace orvelo {

// 宋体 first, then the names SimSun goes by, then the CJK font the install script brings.
// fontconfig maps a bare "SimSun" to a Latin serif without CJK glyphs, so every font the
// window uses names the whole list.
QStringList songTiFamilies();

// 宋体 at `pixelSize` pixels with the family list above.
QFont songTiFont(int pixelSize);

// The window's font: 宋体 at 12 pixels (9 points).
QFont windowFont();

// The font of mmo_1: 宋体 at 16 pixels.
QFont memoFont();

}  // namespace orvelo
