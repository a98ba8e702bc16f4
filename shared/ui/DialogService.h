// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>

class QPrinter;

// Everything the program asks of the user through a standard modal dialog, or
// hands to the desktop (opening a web address), goes through this one seam.
// Tests install a DialogHandler that records each request and answers it, so
// no modal loop ever blocks a headless run.
struct DialogRequest
{
    enum Kind {
        Information,
        Warning,
        Critical,
        Question,
        OpenFile,
        SaveFile,
        ExistingDirectory,
        Color,
        OpenUrl,
        Print,        // print dialog: configures printer; Ok prints
        PrintPreview, // print preview: shows what paint draws on printer
    };

    Kind kind = Information;
    QPointer<QWidget> parent;
    QString title;  // message title or dialog caption
    QString text;   // message text
    QString dir;    // file dialogs: start directory
    QString filter; // file dialogs: name filter
    QString fileName;      // save dialogs: the suggested file name
    QString defaultSuffix; // save dialogs: suffix (no dot) a typed name gets
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QColor color; // colour dialog: initial colour
    QUrl url;     // OpenUrl
    // Print and PrintPreview: the printer the dialog sets up, and the pages
    // the user may choose from (1 … pageCount).
    QPrinter *printer = nullptr;
    int pageCount = 0;
    // PrintPreview: draws the document onto the printer it is given (the
    // preview's, or the real one when the user prints from the preview).
    std::function<void(QPrinter *)> paint;

    bool isMessage() const { return kind <= Question; }
};

struct DialogAnswer
{
    QMessageBox::StandardButton button = QMessageBox::NoButton;
    QString path;   // file dialogs: empty means cancelled
    QColor color;   // colour dialog: invalid means cancelled
    // Print: QMessageBox::Ok when the user chose to print (anything else is
    // a cancel); the handler leaves its choices in request.printer.
    bool ok = true; // OpenUrl: whether the desktop accepted it
};

class DialogHandler
{
public:
    virtual ~DialogHandler() = default;
    virtual DialogAnswer answer(const DialogRequest &request) = 0;
};

class Dialogs
{
public:
    // Installs a handler that answers instead of real dialogs; nullptr
    // restores the real ones. The caller keeps ownership.
    static void setHandler(DialogHandler *handler);
    static DialogHandler *handler();
    // Makes reports of the code below the widgets (Reporting) appear as
    // message boxes without parent, through this seam.
    static void reportThroughDialogs();

    static QMessageBox::StandardButton information(
        QWidget *parent, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton)
    {
        return message(DialogRequest::Information, parent, title, text, buttons, defaultButton);
    }
    static QMessageBox::StandardButton warning(
        QWidget *parent, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton)
    {
        return message(DialogRequest::Warning, parent, title, text, buttons, defaultButton);
    }
    static QMessageBox::StandardButton critical(
        QWidget *parent, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton)
    {
        return message(DialogRequest::Critical, parent, title, text, buttons, defaultButton);
    }
    static QMessageBox::StandardButton question(
        QWidget *parent, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton)
    {
        return message(DialogRequest::Question, parent, title, text, buttons, defaultButton);
    }

    static QString getOpenFileName(QWidget *parent, const QString &caption,
                                   const QString &dir, const QString &filter);
    // With a default suffix, a name typed without it gets it (case-insensitive
    // check), and replacing an existing file under the completed name is
    // asked about first; No shows the dialog again. Empty when cancelled.
    static QString getSaveFileName(QWidget *parent, const QString &caption,
                                   const QString &dir, const QString &filter,
                                   const QString &defaultSuffix = QString(),
                                   const QString &fileName = QString());
    // Text made fit to suggest as a file name: trimmed, characters that file
    // systems refuse replaced by "_"; empty when nothing usable is left.
    static QString fileNameFrom(const QString &text);
    // The path with ".suffix" appended unless it already ends with it.
    static QString withSuffix(const QString &path, const QString &suffix);
    static QString getExistingDirectory(QWidget *parent, const QString &caption,
                                        const QString &dir);
    // Returns an invalid colour when the user cancels.
    static QColor getColor(const QColor &initial, QWidget *parent, const QString &title);

    // Opens the address in the desktop's browser.
    static bool openUrl(const QUrl &url);

    // The print dialog on printer, offering pages 1 … pageCount. True when
    // the user chose to print; the choices are left in printer.
    static bool print(QWidget *parent, QPrinter *printer, int pageCount);
    // The print preview of what paint draws; the user may print from it
    // (paint then draws on the printer, with the choices made there).
    static void printPreview(QWidget *parent, QPrinter *printer, int pageCount,
                             const std::function<void(QPrinter *)> &paint);

private:
    static QMessageBox::StandardButton message(DialogRequest::Kind kind, QWidget *parent,
                                               const QString &title, const QString &text,
                                               QMessageBox::StandardButtons buttons,
                                               QMessageBox::StandardButton defaultButton);
};
