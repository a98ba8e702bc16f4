// SPDX-License-Identifier: GPL-3.0-or-later
#include "fonts/FontRegistry.h"

#include "core/DataPaths.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>

FontRegistry &FontRegistry::instance()
{
    static FontRegistry registry(DataPaths::fontsDir(), embeddedFontPath());
    return registry;
}

QString FontRegistry::embeddedFontPath()
{
    return QStringLiteral(":/resources/fonts/tandelkx.ttf");
}

FontRegistry::FontRegistry(const QString &fontsDirectory, const QString &defaultFontPath)
    : m_fontsDirectory(QDir(fontsDirectory).absolutePath())
    , m_defaultFontPath(defaultFontPath)
{
    reload();
}

int FontRegistry::registrationFor(const QString &path)
{
    const QFileInfo info(path);
    const QString key = info.absoluteFilePath() + QLatin1Char('\n')
                        + QString::number(info.size()) + QLatin1Char('\n')
                        + QString::number(info.lastModified().toMSecsSinceEpoch());
    const auto found = m_registrations.constFind(key);
    if (found != m_registrations.constEnd())
        return found.value();
    const int id = QFontDatabase::addApplicationFont(path);
    // Failures are not remembered: the file may become readable later.
    if (id >= 0)
        m_registrations.insert(key, id);
    return id;
}

QStringList FontRegistry::registerFile(const QString &path)
{
    const int id = registrationFor(path);
    if (id < 0)
        return {};
    QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (families.isEmpty()) {
        // Removing any application font (the font manager's probes do) leaves
        // the other registrations without families until the database is
        // populated again, which listing its families does.
        QFontDatabase::families();
        families = QFontDatabase::applicationFontFamilies(id);
    }
    return families;
}

QStringList FontRegistry::fontFiles() const
{
    const QDir dir(m_fontsDirectory);
    QStringList files;
    const QStringList names =
        dir.entryList({QStringLiteral("*.ttf")}, QDir::Files, QDir::Unsorted);
    files.reserve(names.size());
    for (const QString &name : names)
        files.append(dir.filePath(name));
    return files;
}

void FontRegistry::reload()
{
    m_families.clear();
    m_defaultFamily.clear();

    const QStringList defaults = registerFile(m_defaultFontPath);
    if (!defaults.isEmpty())
        m_defaultFamily = defaults.first();
    // Stays first even when empty, so positions in the list keep their meaning.
    m_families.append(m_defaultFamily);

    if (!QFileInfo(m_fontsDirectory).isDir()) {
        QDir().mkdir(m_fontsDirectory);
        return;
    }
    for (const QString &file : fontFiles()) {
        for (const QString &family : registerFile(file)) {
            if (!m_families.contains(family, Qt::CaseSensitive))
                m_families.append(family);
        }
    }
}
