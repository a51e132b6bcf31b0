#include "app/window_fonts.h"

using namespace Qt::StringLiterals;

namespace orvelo {

QStringList songTiFamilies() {
    return {u"宋体"_s, u"SimSun"_s, u"NSimSun"_s, u"WenQuanYi Zen Hei"_s};
}

QFont songTiFont(int pixelSize) {
    QFont font;
    font.setFamilies(songTiFamilies());
    font.setPixelSize(pixelSize);
    font.setStyleHint(QFont::AnyStyle, QFont::PreferDefault);
    return font;
}

QFont windowFont() {
    return songTiFont(12);
}

QFont memoFont() {
    return songTiFont(16);
}

}  // namespace orvelo
