// SPDX-License-Identifier: GPL-3.0-or-later
#include "shared/ui/DialogService.h"

#include "core/Reporting.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>

#include <algorithm>
#include <QFileInfo>

namespace {
DialogHandler *g_handler = nullptr;
}

void Dialogs::setHandler(DialogHandler *handler)
{
    g_handler = handler;
}

DialogHandler *Dialogs::handler()
{
    return g_handler;
}

QMessageBox::StandardButton Dialogs::message(DialogRequest request)
{
    if (g_handler)
        return g_handler->answer(request).button;
    QWidget *parent = request.parent.data();
    switch (request.kind) {
    case DialogRequest::Warning:
        return QMessageBox::warning(parent, request.title, request.text, request.buttons,
                                    request.defaultButton);
    case DialogRequest::Critical:
        return QMessageBox::critical(parent, request.title, request.text, request.buttons,
                                     request.defaultButton);
    case DialogRequest::Question:
        return QMessageBox::question(parent, request.title, request.text, request.buttons,
                                     request.defaultButton);
    default:
        return QMessageBox::information(parent, request.title, request.text, request.buttons,
                                        request.defaultButton);
    }
}

static DialogRequest messageRequest(DialogRequest::Kind kind, QWidget *parent,
                                    const QString &title, const QString &text,
                                    QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton)
{
    DialogRequest r;
    r.kind = kind;
    r.parent = parent;
    r.title = title;
    r.text = text;
    r.buttons = buttons;
    r.defaultButton = defaultButton;
    return r;
}

QMessageBox::StandardButton Dialogs::information(QWidget *parent, const QString &title,
                                                 const QString &text,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton)
{
    return message(messageRequest(DialogRequest::Information, parent, title, text, buttons,
                                  defaultButton));
}

QMessageBox::StandardButton Dialogs::warning(QWidget *parent, const QString &title,
                                             const QString &text,
                                             QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultButton)
{
    return message(
        messageRequest(DialogRequest::Warning, parent, title, text, buttons, defaultButton));
}

QMessageBox::StandardButton Dialogs::critical(QWidget *parent, const QString &title,
                                              const QString &text,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton defaultButton)
{
    return message(
        messageRequest(DialogRequest::Critical, parent, title, text, buttons, defaultButton));
}

QMessageBox::StandardButton Dialogs::question(QWidget *parent, const QString &title,
                                              const QString &text,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton defaultButton)
{
    return message(
        messageRequest(DialogRequest::Question, parent, title, text, buttons, defaultButton));
}

static DialogRequest fileRequest(DialogRequest::Kind kind, QWidget *parent,
                                 const QString &caption, const QString &dir,
                                 const QString &filter)
{
    DialogRequest r;
    r.kind = kind;
    r.parent = parent;
    r.title = caption;
    r.dir = dir;
    r.filter = filter;
    r.buttons = QMessageBox::NoButton;
    return r;
}

QString Dialogs::getOpenFileName(QWidget *parent, const QString &caption, const QString &dir,
                                 const QString &filter)
{
    if (g_handler)
        return g_handler->answer(fileRequest(DialogRequest::OpenFile, parent, caption, dir, filter))
            .path;
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString Dialogs::fileNameFrom(const QString &text)
{
    static const QString unsafe = QStringLiteral("/\\:*?\"<>|");
    QString name = text.trimmed();
    for (QChar &c : name)
        if (unsafe.contains(c) || c.category() == QChar::Other_Control)
            c = QLatin1Char('_');
    // A leading dot would hide the file.
    return name.startsWith(QLatin1Char('.')) ? QString() : name;
}

QString Dialogs::withSuffix(const QString &path, const QString &suffix)
{
    if (path.isEmpty() || suffix.isEmpty())
        return path;
    const QString dotted = QLatin1Char('.') + suffix;
    return path.endsWith(dotted, Qt::CaseInsensitive) ? path : path + dotted;
}

static QString askSaveFileName(const DialogRequest &request)
{
    if (g_handler)
        return g_handler->answer(request).path;
    QFileDialog dialog(request.parent.data(), request.title, request.dir, request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The dialog then completes a typed name itself and asks before
    // replacing the completed file.
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

QString Dialogs::getSaveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                 const QString &filter, const QString &defaultSuffix,
                                 const QString &fileName)
{
    DialogRequest request = fileRequest(DialogRequest::SaveFile, parent, caption, dir, filter);
    request.defaultSuffix = defaultSuffix;
    request.fileName = fileName;
    for (;;) {
        const QString chosen = askSaveFileName(request);
        const QString completed = withSuffix(chosen, defaultSuffix);
        // A dialog that had no suffix to add (a native one, a name with
        // another suffix) never saw the completed name: ask here, or the
        // file under it would be replaced silently.
        if (completed == chosen || !QFileInfo::exists(completed))
            return completed;
        const QMessageBox::StandardButton answer = question(
            parent, QObject::tr("确认另存为"),
            QObject::tr("“%1”已存在。\n要替换它吗？").arg(QFileInfo(completed).fileName()),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer == QMessageBox::Yes)
            return completed;
        request.dir = QFileInfo(completed).absolutePath();
        request.fileName = QFileInfo(chosen).fileName();
    }
}

QString Dialogs::getExistingDirectory(QWidget *parent, const QString &caption, const QString &dir)
{
    if (g_handler)
        return g_handler
            ->answer(fileRequest(DialogRequest::ExistingDirectory, parent, caption, dir, QString()))
            .path;
    return QFileDialog::getExistingDirectory(parent, caption, dir, QFileDialog::ShowDirsOnly);
}

QColor Dialogs::getColor(const QColor &initial, QWidget *parent, const QString &title)
{
    if (g_handler) {
        DialogRequest r;
        r.kind = DialogRequest::Color;
        r.parent = parent;
        r.title = title;
        r.color = initial;
        r.buttons = QMessageBox::NoButton;
        return g_handler->answer(r).color;
    }
    return QColorDialog::getColor(initial, parent, title);
}

bool Dialogs::openUrl(const QUrl &url)
{
    if (g_handler) {
        DialogRequest r;
        r.kind = DialogRequest::OpenUrl;
        r.url = url;
        r.buttons = QMessageBox::NoButton;
        return g_handler->answer(r).ok;
    }
    return QDesktopServices::openUrl(url);
}

namespace {

DialogRequest printRequest(DialogRequest::Kind kind, QWidget *parent, const QString &title,
                           QPrinter *printer, int pageCount)
{
    DialogRequest r = messageRequest(kind, parent, title, QString(), QMessageBox::NoButton,
                                     QMessageBox::NoButton);
    r.printer = printer;
    r.pageCount = pageCount;
    return r;
}

} // namespace

bool Dialogs::print(QWidget *parent, QPrinter *printer, int pageCount)
{
    if (g_handler) {
        DialogRequest r = printRequest(DialogRequest::Print, parent, QObject::tr("打印"), printer,
                                       pageCount);
        r.buttons = QMessageBox::Ok | QMessageBox::Cancel;
        return g_handler->answer(r).button == QMessageBox::Ok;
    }
    QPrintDialog dialog(printer, parent);
    dialog.setWindowTitle(QObject::tr("打印"));
    // Pages are whole score pages: no selection, no "current page".
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, pageCount > 1);
    dialog.setMinMax(1, std::max(1, pageCount));
    // The range fields start at the whole score rather than at "1 to 1".
    if (printer->printRange() != QPrinter::PageRange && pageCount > 0)
        printer->setFromTo(1, pageCount);
    return dialog.exec() == QDialog::Accepted;
}

void Dialogs::printPreview(QWidget *parent, QPrinter *printer, int pageCount,
                           const std::function<void(QPrinter *)> &paint)
{
    if (g_handler) {
        DialogRequest r = printRequest(DialogRequest::PrintPreview, parent,
                                       QObject::tr("打印预览"), printer, pageCount);
        r.paint = paint;
        r.buttons = QMessageBox::NoButton;
        g_handler->answer(r);
        return;
    }
    QPrintPreviewDialog dialog(printer, parent);
    dialog.setWindowTitle(QObject::tr("打印预览"));
    dialog.setWindowFlags(dialog.windowFlags() | Qt::WindowMaximizeButtonHint);
    // Room for a readable page from the start; its own default is tiny.
    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        dialog.resize(screen->availableGeometry().size() * 0.85);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&paint](QPrinter *target) { paint(target); });
    dialog.exec();
}

namespace {

class DialogReporter : public Reporting::Reporter
{
public:
    void report(const Reporting::Report &report) override
    {
        switch (report.severity) {
        case Reporting::Severity::Information:
            Dialogs::information(nullptr, report.title, report.text);
            break;
        case Reporting::Severity::Warning:
            Dialogs::warning(nullptr, report.title, report.text);
            break;
        case Reporting::Severity::Critical:
            Dialogs::critical(nullptr, report.title, report.text);
            break;
        }
    }
};

} // namespace

void Dialogs::reportThroughDialogs()
{
    static DialogReporter reporter;
    Reporting::setReporter(&reporter);
}
