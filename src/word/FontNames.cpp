#include "FontNames.h"

#include "app/RuntimeError.h"

#include <QList>

namespace word {

namespace {

// East Asian fonts that go by a Latin name. A name written in Chinese,
// Japanese or Korean characters is one anyway.
const char* const kEastAsianFonts[] = {
    "SimSun",     "NSimSun",         "SimHei",        "KaiTi",           "KaiTi_GB2312",
    "FangSong",   "FangSong_GB2312", "DengXian",      "Microsoft YaHei", "Microsoft JhengHei",
    "MingLiU",    "PMingLiU",        "MingLiU_HKSCS", "DFKai-SB",        "STSong",
    "STHeiti",    "STKaiti",         "STFangsong",    "STXihei",         "STZhongsong",
    "LiSu",       "YouYuan",         "FZShuTi",       "FZYaoTi",         "MS Mincho",
    "MS PMincho", "MS Gothic",       "MS PGothic",    "MS UI Gothic",    "Meiryo",
    "Yu Gothic",  "Yu Mincho",       "Malgun Gothic", "Batang",          "BatangChe",
    "Gulim",      "GulimChe",        "Dotum",         "DotumChe",        "Gungsuh",
};
const char* const kEastAsianFamilies[] = {"Noto Sans CJK", "Noto Serif CJK", "Source Han",
                                          "WenQuanYi",     "AR PL",          "Droid Sans Fallback"};

bool isCjk(char32_t c)
{
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x3FFFF);
}

} // namespace

bool isEastAsianFontName(const QString& name)
{
    const QString trimmed = name.trimmed();
    for (const char32_t c : trimmed.toUcs4()) {
        if (isCjk(c))
            return true;
    }
    for (const char* font : kEastAsianFonts) {
        if (trimmed.compare(QLatin1String(font), Qt::CaseInsensitive) == 0)
            return true;
    }
    for (const char* family : kEastAsianFamilies) {
        if (trimmed.startsWith(QLatin1String(family), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

double fontPoints(const QString& size)
{
    bool number = false;
    const double points = size.trimmed().toDouble(&number);
    if (!number)
        throw RuntimeError(RuntimeError::TypeMismatch, QStringLiteral("字号“%1”不是数字").arg(size));
    if (points < 1 || points > 1638)
        throw RuntimeError(RuntimeError::InvalidCall,
                           QStringLiteral("字号“%1”不在 1 到 1638 之间").arg(size));
    return points;
}

} // namespace word
