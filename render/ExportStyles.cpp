// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/ExportStyles.h"

#include "render/ExportConfig.h"

#include <QStringList>

namespace {

// What a style sets: every colour, and the spacing of the notation.
const char *const StyleKeys[] = {
    "titleColor", "lyricColor", "quPaiColor", "diaoMingColor", "lianBaiColor",
    "jiaBaiColor", "scoreColor", "banColor", "xiaoYanColor", "zhongYanColor",
    "qiangGeColor", "backgroundColor",
    "colWidth", "lyricSpace", "scoreSpace", "banYanSpace", "scoreAngle",
    "lyricScoreSpace", "scoreBanYanSpace",
};

// Today's look: the defaults of those keys.
QVariantMap slanted()
{
    QVariantMap values;
    for (const char *key : StyleKeys) {
        const QString name = QString::fromLatin1(key);
        values.insert(name, ExportConfig::defaultValue(name));
    }
    return values;
}

// The printed edition: the notation upright beside each character (the
// beat marks then stand to the right of their notes), everything black on
// white so a black-and-white print loses nothing, and room for columns
// that no longer lean: a narrower column, a little air between stacked
// notes and between characters.
QVariantMap upright()
{
    QVariantMap values = slanted();
    for (const char *key : StyleKeys)
        if (QByteArray(key).endsWith("Color"))
            values.insert(QString::fromLatin1(key), QStringLiteral("#000000"));
    values.insert(QStringLiteral("backgroundColor"), QStringLiteral("#ffffff"));
    values.insert(QStringLiteral("scoreAngle"), 0);
    values.insert(QStringLiteral("colWidth"), 100);
    values.insert(QStringLiteral("lyricSpace"), 16);
    values.insert(QStringLiteral("scoreSpace"), 2);
    values.insert(QStringLiteral("banYanSpace"), 0);
    values.insert(QStringLiteral("lyricScoreSpace"), 1);
    values.insert(QStringLiteral("scoreBanYanSpace"), 2);
    return values;
}

} // namespace

const QList<ExportStyles::Style> &ExportStyles::all()
{
    static const QList<Style> styles = {
        {QStringLiteral("slanted"), QStringLiteral("斜排"),
         QStringLiteral("工尺斜排在字旁，彩色板眼（默认的颜色与间距）"), slanted()},
        {QStringLiteral("upright"), QStringLiteral("直排"),
         QStringLiteral("工尺直排在字旁，板眼在右，全黑，适合黑白印刷"), upright()},
    };
    return styles;
}

const ExportStyles::Style *ExportStyles::find(const QString &id)
{
    for (const Style &style : all())
        if (style.id == id)
            return &style;
    return nullptr;
}

QString ExportStyles::idList()
{
    QStringList ids;
    for (const Style &style : all())
        ids << style.id;
    return ids.join(QStringLiteral(", "));
}

bool ExportStyles::apply(ExportConfig &config, const QString &id)
{
    const Style *style = find(id);
    if (!style)
        return false;
    config.applyValues(style->values);
    return true;
}
