// SPDX-License-Identifier: GPL-3.0-or-later
#include "fonts/FontSubstitutions.h"

#include <QFont>
#include <QFontDatabase>
#include <QSet>

namespace {

QString normalized(QString family)
{
    // QFontDatabase lists "Family [Foundry]" when foundries clash.
    const int bracket = family.indexOf(QLatin1String(" ["));
    if (bracket > 0 && family.endsWith(QLatin1Char(']')))
        family.truncate(bracket);
    return family.trimmed().toCaseFolded();
}

} // namespace

QList<QPair<QString, QStringList>> platformFontSubstitutions(const QStringList &available)
{
    QSet<QString> present;
    for (const QString &family : available)
        present.insert(normalized(family));

    const QStringList kai = {
        QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL UKai TW"),
        QStringLiteral("AR PL UKai HK"), QStringLiteral("AR PL KaitiM GB"),
        QStringLiteral("KaiTi"),         QStringLiteral("STKaiti"),
        QStringLiteral("Kaiti SC"),
    };
    const QStringList sans = {
        QStringLiteral("Noto Sans CJK SC"),    QStringLiteral("Source Han Sans SC"),
        QStringLiteral("WenQuanYi Zen Hei"),   QStringLiteral("WenQuanYi Micro Hei"),
        QStringLiteral("Droid Sans Fallback"),
    };
    const QStringList song = {
        QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Source Han Serif SC"),
        QStringLiteral("AR PL UMing CN"),    QStringLiteral("AR PL UMing TW"),
        QStringLiteral("AR PL SungtiL GB"),
    };
    const QList<QPair<QString, const QStringList *>> wanted = {
        {QStringLiteral("楷体"), &kai},
        {QStringLiteral("黑体"), &sans},
        {QStringLiteral("宋体"), &song},
        {QStringLiteral("SimSun"), &song},
    };

    QList<QPair<QString, QStringList>> result;
    for (const auto &entry : wanted) {
        if (present.contains(normalized(entry.first)))
            continue;
        QStringList replacements;
        for (const QString &candidate : *entry.second) {
            if (present.contains(normalized(candidate)))
                replacements.append(candidate);
        }
        if (!replacements.isEmpty())
            result.append({entry.first, replacements});
    }
    return result;
}

void installPlatformFontSubstitutions()
{
    const auto table = platformFontSubstitutions(QFontDatabase::families());
    for (const auto &entry : table)
        QFont::insertSubstitutions(entry.first, entry.second);
}
