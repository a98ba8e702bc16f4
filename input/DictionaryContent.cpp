#include "input/DictionaryContent.h"

#include "document/GongcheSymbols.h"

#include <QString>

QByteArray shippedDictionaryContent()
{
    static const char crlf[] = "\r\n";
    QByteArray out = QStringLiteral("unicode编码 拼音 权重 注释").toUtf8() + crlf;
    for (char32_t c : Gongche::allSymbols()) {
        const QString code =
            QStringLiteral("U%1").arg(uint(c), 8, 16, QLatin1Char('0')).toUpper();
        const QString name = Gongche::dictionaryName(c);
        for (const QString &abbreviation : Gongche::dictionaryAbbreviations(c)) {
            const QString row = code + QLatin1Char(' ') + abbreviation
                                + QStringLiteral(" 0.6 ") + name;
            out += row.toUtf8() + crlf;
        }
    }
    return out;
}
