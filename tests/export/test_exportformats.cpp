// SPDX-License-Identifier: GPL-3.0-or-later
// The format table against itself and against the texts that list the
// formats by hand: the help and the manual page.
#include "core/Startup.h"
#include "export/ExportFormats.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

// The words of text between the first line holding from and the next
// line holding to.
QSet<QString> wordsBetween(const QString &text, const QString &from, const QString &to)
{
    const qsizetype start = text.indexOf(from);
    const qsizetype end = text.indexOf(to, start + from.size());
    QSet<QString> words;
    if (start < 0 || end < 0)
        return words;
    QRegularExpressionMatchIterator it =
        QRegularExpression(QStringLiteral("[a-z]+")).globalMatch(text.mid(start, end - start));
    while (it.hasNext())
        words << it.next().captured();
    return words;
}

} // namespace

class TestExportFormats : public QObject
{
    Q_OBJECT

private slots:
    void tableIsConsistent()
    {
        QSet<QString> seen;
        for (const ExportFormats::Format &format : ExportFormats::all()) {
            QVERIFY2(format.paged ? format.pageWriter && !format.musicWriter
                                  : format.musicWriter && !format.pageWriter,
                     qPrintable(format.name));
            QVERIFY(!format.folder || format.paged);
            QCOMPARE(format.filter.isEmpty(), format.folder);
            QCOMPARE(format.needsSoundFont, format.takes(ExportFormats::SoundFont));
            QVERIFY(!format.label.isEmpty() && !format.suffix.isEmpty()
                    && !format.caption.isEmpty());
            for (const QString &name : QStringList(format.name) + format.aliases) {
                QVERIFY2(!seen.contains(name), qPrintable(name));
                seen << name;
                QCOMPARE(ExportFormats::find(name.toUpper()), &format);
            }
        }
        QVERIFY(!ExportFormats::find(QStringLiteral("docx")));
        QCOMPARE(ExportFormats::fallback().name, QStringLiteral("pdf"));
    }

    // What --help and the manual page say --format takes is the table.
    void textsListEveryFormat_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::newRow("help") << Startup::helpText() << QStringLiteral("--format <format>")
                              << QStringLiteral("by default");
        QFile man(QStringLiteral(KELVO_SOURCE_DIR "/resources/desktop/kelvo-gongche.1"));
        QVERIFY(man.open(QIODevice::ReadOnly));
        QTest::newRow("manual") << QString::fromUtf8(man.readAll())
                                << QStringLiteral(".BI \\-\\-format") << QStringLiteral(".TP");
    }

    void textsListEveryFormat()
    {
        QFETCH(QString, text);
        QFETCH(QString, from);
        QFETCH(QString, to);
        const QSet<QString> words = wordsBetween(text, from, to);
        QVERIFY(!words.isEmpty());
        QSet<QString> names;
        for (const ExportFormats::Format &format : ExportFormats::all())
            for (const QString &name : QStringList(format.name) + format.aliases) {
                names << name;
                QVERIFY2(words.contains(name), qPrintable(name));
            }
        // And no format the table does not have.
        for (const char *other : {"gif", "bmp", "tiff", "ogg", "mp3", "flac", "ly", "abc"})
            QVERIFY2(!words.contains(QString::fromLatin1(other)), other);
    }
};

QTEST_MAIN(TestExportFormats)
#include "test_exportformats.moc"
