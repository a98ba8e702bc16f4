// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fonts/FontRegistry.h"

#include <QDialog>
#include <QString>

class QListWidget;
class QPushButton;

// Installs TrueType notation fonts into the fonts directory and deletes them
// again. The embedded default font is listed but cannot be deleted.
class FontManager : public QDialog
{
    Q_OBJECT

public:
    explicit FontManager(FontRegistry &registry = FontRegistry::instance(),
                         QWidget *parent = nullptr);

public slots:
    void refreshFontList();
    void installFont();
    void deleteFont();

private slots:
    void updateDeleteButton();

private:
    // The file in the fonts directory that declares family, or empty.
    QString findFontFile(const QString &family);

    FontRegistry *m_registry;
    QListWidget *m_fontList;
    QPushButton *m_installBtn;
    QPushButton *m_deleteBtn;
    QPushButton *m_closeBtn;
};
